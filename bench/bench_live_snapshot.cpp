// The live results' snapshot on the window's thread after one LAP, and after one STOPP that
// ranks, in fields of 20 to 10,000 riders: the snapshot kept between changes against the one
// read from the whole protocol (LiveRiders and LiveEvents), both on the same protocol. Two
// thirds of the field are on course with one to four laps, the rest finished and ranked, in
// twelve categories.
#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QStringList>
#include <chrono>
#include <random>

#include "grid/SortGrid.h"
#include "race/LiveSnapshot.h"
#include "race/Protocol.h"
#include "race/RaceSession.h"
#include "race/RiderTimes.h"
#include "race/TimeText.h"

namespace {

constexpr uint32_t kRaceStart = 3'600'000;
constexpr int32_t kLapMetres = 8000;

class Race {
public:
  explicit Race(int riders) : session(grid, [](int k) { return k * kLapMetres; }) {
    grid.resize(800, 400);
    session.Protocol().StartUp();
    Fill(riders);
    session.AddListener([this](const TSessionChange& change) { tracker.Note(session.Protocol(), change); });
    Take();
  }

  TLiveSnapshot Take() {
    TLiveSnapshot snapshot;
    tracker.Take(session.Protocol(), now, wall, snapshot);
    return snapshot;
  }
  TLiveSnapshot TakeFull() const {
    TLiveSnapshot snapshot;
    snapshot.riders = LiveRiders(session.Protocol(), now);
    snapshot.events = LiveEvents(session.Protocol(), now, wall);
    return snapshot;
  }
  // The next rider on course with fewer than four laps presses LAP (or, stop, STOPP with four).
  void Press(bool stop) {
    const int32_t rows = grid.RowCount();
    for (int32_t tried = 0; tried < rows; ++tried) {
      next = next % (rows - 1) + 1;
      const std::optional<TRiderTimes> times = session.Protocol().RowTimes(next);
      if (!times || !times->Started || times->Stopped || (stop ? times->Laps() != 4 : times->Laps() >= 4)) continue;
      grid.SetRow(next);
      now = times->LastPress() + 14 * 60'000;
      const char* event = stop ? "STOPP" : "LAP";
      session.Command(event, [&] {
        session.Change(event, "", "", [&] {
          if (stop) session.Protocol().StopRider(now);
          else session.Protocol().RecordLap(now);
        });
      });
      return;
    }
  }
  void Undo() { session.Undo(); }

private:
  void Fill(int riders) {
    static const QStringList categories = {"M20", "M30", "M40", "M50", "M60", "W20",
                                           "W30", "W40", "W50", "Jugend", "Junioren", "Staffel"};
    std::mt19937 random(4711);
    std::normal_distribution<double> lapTime(14 * 60'000.0, 90'000.0);
    TProtocol& protocol = session.Protocol();
    grid.BeginUpdate();
    grid.SetRowCount(riders + 2);  // header, riders, entry row
    for (int i = 0; i < riders; ++i) {
      const int32_t row = i + 1;
      TRiderTimes times;
      times.Started = true;
      times.Start = kRaceStart + static_cast<uint32_t>(i) * 2'000u;
      const bool finished = i % 3 == 0;
      const int laps = finished ? 5 : 1 + static_cast<int>(random() % 4);
      uint32_t t = times.Start;
      for (int k = 0; k < laps; ++k) times.Presses.push_back(t += static_cast<uint32_t>(lapTime(random)));
      times.Stopped = finished;
      grid.SetCells(pcPlace, row, "-");
      grid.SetCells(pcNumber, row, QString::number(i + 1));
      grid.SetCells(pcName, row, QStringLiteral("Fahrer %1").arg(random() % 100000));
      grid.SetCells(pcCategory, row, categories[static_cast<qsizetype>(random() % categories.size())]);
      TRowRecord record;
      record.Times = times;
      protocol.SetRecordText(row, record.ToText());
      const TTimeCells cells = ComputeTimeCells(times, [](int k) { return k * kLapMetres; });
      for (int32_t c = pcLap5; c <= pcStartTick; ++c) grid.SetCells(c, row, cells[static_cast<size_t>(c - pcLap5)]);
      now = std::max(now, t);
    }
    grid.SetCells(pcPlace, riders + 1, "-");
    grid.EndUpdate();
    protocol.RankFinishers();
  }

  TSortGrid grid;
  TRaceSession session;
  TLiveTracker tracker;
  uint32_t now = kRaceStart;
  const QDateTime wall = QDateTime::currentDateTime();
  int32_t next = 0;
};

// Times the kept snapshot after each press; the full one on the same protocol is timed by hand
// alongside, and the press is taken back afterwards, untimed.
void SnapshotAfter(benchmark::State& state, bool stop) {
  Race race(static_cast<int>(state.range(0)));
  double fullSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    race.Press(stop);
    const auto begun = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(race.TakeFull());
    fullSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    state.ResumeTiming();
    benchmark::DoNotOptimize(race.Take());
    state.PauseTiming();
    race.Undo();
    race.Take();
    state.ResumeTiming();
  }
  state.counters["full_us"] = benchmark::Counter(fullSeconds * 1e6, benchmark::Counter::kAvgIterations);
}

void SnapshotAfterLap(benchmark::State& state) { SnapshotAfter(state, false); }
void SnapshotAfterStop(benchmark::State& state) { SnapshotAfter(state, true); }

}  // namespace

BENCHMARK(SnapshotAfterLap)->Arg(20)->Arg(250)->Arg(500)->Arg(2000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(SnapshotAfterStop)->Arg(20)->Arg(250)->Arg(500)->Arg(2000)->Arg(10000)->Unit(benchmark::kMicrosecond);
