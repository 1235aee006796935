// STOPP of the last rider on course, ranking included, on protocols of 500 and 10,000 riders:
// the operator's next key press waits for it. The protocol stands as the previous STOPP left
// it (ranked), with riders of twelve categories, 40 km in five laps of 8 km, about 2 % stopped
// early, and the last rider on course with four laps.
#include <benchmark/benchmark.h>

#include <QStringList>
#include <random>

#include "grid/SortGrid.h"
#include "platform/Tick.h"
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
  explicit Race(int riders) : protocol(grid, [](int k) { return k * kLapMetres; }) {
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
    int32_t row = grid.FindRow(pcNumber, lastNumber, false);
    uint32_t t = last.start;
    for (int k = 0; k < 4; ++k) t += static_cast<uint32_t>(last.laps[static_cast<size_t>(k)]);
    grid.SetCells(pcPlace, row, "-");
    grid.SetCells(pcLapCount, row, "4");
    grid.SetCells(pcTime, row, FormatDuration(TickDiff(t, last.start)));
    grid.SetCells(pcLastLapTick, row, TickToText(t));
    grid.SetCells(pcStartTick, row, TickToText(last.start));
    grid.SetRow(row);
    clock.Set(t + static_cast<uint32_t>(last.laps[4]));
  }

  void Stop() { protocol.StopRider(platform::GetTickCount()); }
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
      const int laps = dnf ? 1 + static_cast<int>(random() % 3) : 5;
      int32_t total = 0;
      for (int k = 0; k < laps; ++k) {
        total += rider.laps[static_cast<size_t>(k)];
        grid.SetCells(pcLap1 - laps + 1 + k, row, FormatDuration(rider.laps[static_cast<size_t>(k)]));
      }
      grid.SetCells(pcLapCount, row, QString::number(laps));
      grid.SetCells(pcSpeed, row, FormatSpeed(laps * kLapMetres * 3600.0 / total));
      grid.SetCells(pcTime, row, laps == 5 ? FormatDuration(total) : QString());
      grid.SetCells(pcLastLapTick, row, "0");
      grid.SetCells(pcStartTick, row, QString::number(total));
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

  platform::ManualClock clock{kRaceStart};
  TSortGrid grid;
  TProtocol protocol;
  QString number, name, category;
  Rider last{};
  QString lastNumber;
};

void StopLastRider(benchmark::State& state) {
  Race race(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    race.PutLastRiderOnCourse();
    state.ResumeTiming();
    race.Stop();
  }
  if (race.Place() == "-") state.SkipWithError("the last rider was not ranked");
}
BENCHMARK(StopLastRider)->Arg(500)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
