// STOPP of the last rider on course, ranking included, on protocols of 20 to 10,000 riders:
// the operator's next key press waits for it. The protocol stands as the previous STOPP left
// it (ranked), with riders of twelve categories, 40 km in five laps of 8 km, about 2 % stopped
// early, and the last rider on course with four laps.
#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "grid/SortGrid.h"
#include "platform/Tick.h"
#include "net/LivePages.h"
#include "race/LiveSnapshot.h"
#include "race/Protocol.h"
#include "race/TimeText.h"

namespace {

constexpr uint32_t kRaceStart = 3'600'000;
constexpr int32_t kLapMetres = 8000;

struct Rider {
  uint32_t start;
  std::array<int32_t, 5> laps;
};

class Race {
public:
  explicit Race(int riders) : protocol(grid, LapDistance) {
    grid.resize(800, 400);
    protocol.OnSelectRow = [this](int32_t row) {
      // What the main window's handler reads.
      number = grid.Cells(pcNumber, row);
      name = grid.Cells(pcName, row);
      if (!grid.Cells(pcCategory, row).isEmpty()) category = grid.Cells(pcCategory, row);
    };
    protocol.StartNumberField = [this] { return number; };
    protocol.NameField = [this] { return name; };
    protocol.CategoryField = [this] { return category; };
    protocol.StartUp();
    Fill(riders);
    platform::SetTickSource(&clock);
  }
  ~Race() { platform::SetTickSource(nullptr); }

  // The last rider back on course with four laps, selected, as before his STOPP.
  void PutLastRiderOnCourse() {
    const int32_t row = grid.FindRow(pcNumber, lastNumber, false);
    grid.SetCells(pcPlace, row, "-");
    const TRiderTimes times = TimesOf(last, 4, false);
    Show(row, times);
    grid.SetRow(row);
    clock.Set(times.LastPress() + static_cast<uint32_t>(last.laps[4]));
  }

  void Stop() { protocol.StopRider(platform::GetTickCount()); }
  const TProtocol& Protocol() const { return protocol; }
  QString Place() const { return grid.Cells(pcPlace, grid.FindRow(pcNumber, lastNumber, false)); }

private:
  void Fill(int riders) {
    static const QStringList categories = {"M20", "M30", "M40", "M50", "M60", "W20",
                                           "W30", "W40", "W50", "Jugend", "Junioren", "Staffel"};
    std::mt19937 random(4711);
    std::normal_distribution<double> lapTime(14 * 60'000.0, 90'000.0);  // 8 km at about 34 km/h
    grid.BeginUpdate();
    grid.SetRowCount(riders + 2);  // header, riders, entry row
    for (int i = 0; i < riders; ++i) {
      const int32_t row = i + 1;
      Rider rider{kRaceStart + static_cast<uint32_t>(i) * 30'000u, {}};
      for (int32_t& lap : rider.laps) lap = static_cast<int32_t>(lapTime(random));
      const QString nr = QString::number(i + 1);
      grid.SetCells(pcPlace, row, "-");
      grid.SetCells(pcNumber, row, nr);
      grid.SetCells(pcName, row, QStringLiteral("Fahrer %1").arg(random() % 100000));
      grid.SetCells(pcCategory, row, categories[static_cast<qsizetype>(random() % categories.size())]);
      const bool dnf = random() % 50 == 0;
      Show(row, TimesOf(rider, dnf ? 1 + static_cast<int>(random() % 3) : 5, true));
      if (i == riders - 1) {
        last = rider;
        lastNumber = nr;
      }
    }
    grid.SetCells(pcPlace, riders + 1, "-");
    grid.EndUpdate();
    PutLastRiderOnCourse();
    protocol.RankFinishers();  // as the previous STOPP left it
    PutLastRiderOnCourse();
  }

  // The rider's times after the given number of laps; his cells are computed from them as the
  // race commands compute them.
  static TRiderTimes TimesOf(const Rider& rider, int laps, bool stopped) {
    TRiderTimes times;
    times.Started = true;
    times.Start = rider.start;
    uint32_t t = rider.start;
    for (int k = 0; k < laps; ++k) times.Presses.push_back(t += static_cast<uint32_t>(rider.laps[static_cast<size_t>(k)]));
    times.Stopped = stopped;
    return times;
  }
  void Show(int32_t row, const TRiderTimes& times) {
    TRowRecord record;
    record.Times = times;
    protocol.SetRecordText(row, record.ToText());
    const TTimeCells cells = ComputeTimeCells(times, LapDistance);
    for (int32_t c = pcLap5; c <= pcStartTick; ++c) grid.SetCells(c, row, cells[static_cast<size_t>(c - pcLap5)]);
  }
  static int32_t LapDistance(int k) { return k * kLapMetres; }

  platform::ManualClock clock{kRaceStart};
  TSortGrid grid;
  TProtocol protocol;
  QString number, name, category;
  Rider last{};
  QString lastNumber;
};

// The STOPP's cost at each size against its cost at 20 riders, measured in the same run (the
// smallest size runs first): "x20" is the ratio of the median STOPP times.
double& StopAt20() {
  static double median = 0;
  return median;
}

void StopLastRider(benchmark::State& state) {
  Race race(static_cast<int>(state.range(0)));
  std::vector<double> times;
  for (auto _ : state) {
    state.PauseTiming();
    race.PutLastRiderOnCourse();
    state.ResumeTiming();
    const auto begin = std::chrono::steady_clock::now();
    race.Stop();
    times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - begin).count());
  }
  if (race.Place() == "-") state.SkipWithError("the last rider was not ranked");
  std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
  const double median = times[times.size() / 2];
  if (state.range(0) == 20) StopAt20() = median;
  state.counters["median_us"] = median;
  if (StopAt20() > 0) state.counters["x20"] = median / StopAt20();
}
BENCHMARK(StopLastRider)->Arg(20)->Arg(250)->Arg(500)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The live results' snapshot of the whole protocol, taken on the window's thread after each change.
void TakeLiveSnapshot(benchmark::State& state) {
  Race race(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(LiveRiders(race.Protocol(), platform::GetTickCount()));
    benchmark::DoNotOptimize(LiveEvents(race.Protocol(), platform::GetTickCount(), QDateTime::currentDateTime()));
  }
}
BENCHMARK(TakeLiveSnapshot)->Arg(500)->Arg(10000)->Unit(benchmark::kMillisecond);

// Its pages and JSON, made on the live results' own thread: how long a change takes to reach the
// server, and how much each client is sent.
void RenderLivePages(benchmark::State& state) {
  Race race(static_cast<int>(state.range(0)));
  TLiveSnapshot snapshot;
  snapshot.riders = LiveRiders(race.Protocol(), platform::GetTickCount());
  snapshot.events = LiveEvents(race.Protocol(), platform::GetTickCount(), QDateTime::currentDateTime());
  qsizetype pushBytes = 0;
  for (auto _ : state) pushBytes = RenderLivePublication(snapshot).pushData.size();
  state.counters["push_kB"] = static_cast<double>(pushBytes) / 1024;
}
BENCHMARK(RenderLivePages)->Arg(500)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
