// The riders expected next on a busy line: 2,000 riders on course with up to four laps each.
// A press costs Update for its row and Shown for the list (the bound is 1 ms); every second the
// list takes the lines of the riders it shows.
#include <benchmark/benchmark.h>

#include <QString>
#include <random>

#include "grid/SortGrid.h"
#include "race/ExpectedRiders.h"
#include "race/Protocol.h"

namespace {

constexpr uint32_t kRaceStart = 3'600'000;
constexpr int kRiders = 2000;

class BusyLine {
public:
  BusyLine() : protocol(grid, [](int k) { return 8000 * k; }) {
    protocol.StartUp();
    std::mt19937 random(2026);
    for (int i = 0; i < kRiders; ++i) {
      grid.SetRow(grid.RowCount() - 1);
      const uint32_t start = kRaceStart + static_cast<uint32_t>(i) * 1000;  // one a second
      protocol.RecordStart(start, QString::number(i + 1), QStringLiteral("Fahrer %1").arg(i + 1), QStringLiteral("M"));
      uint32_t press = start;
      for (int lap = static_cast<int>(random() % 5); lap > 0; --lap) {
        press += 600'000 + random() % 300'000;
        grid.SetRow(grid.RowCount() - 2);
        protocol.RecordLap(press);
      }
    }
    expected.Rebuild(protocol);
  }

  TSortGrid grid;
  TProtocol protocol;
  TExpectedRiders expected;
  uint32_t now = kRaceStart + 3'000'000;
};

BusyLine& Line() {
  static BusyLine line;
  return line;
}

void BM_PressUpdateAndShown(benchmark::State& state) {
  BusyLine& line = Line();
  line.expected.SetPrefix(state.range(0) ? QStringLiteral("1") : QString());
  int32_t row = 1;
  for (auto _ : state) {
    line.expected.Update(line.protocol, {row});
    benchmark::DoNotOptimize(line.expected.Shown());
    row = row % kRiders + 1;
  }
  state.SetLabel(state.range(0) ? "prefix 1" : "no prefix");
}
BENCHMARK(BM_PressUpdateAndShown)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_SecondRefresh20Lines(benchmark::State& state) {
  BusyLine& line = Line();
  line.expected.SetPrefix({});
  for (auto _ : state) benchmark::DoNotOptimize(ExpectedLines(line.expected.Shown(), line.now, 20));
}
BENCHMARK(BM_SecondRefresh20Lines)->Unit(benchmark::kMicrosecond);

void BM_Rebuild(benchmark::State& state) {
  BusyLine& line = Line();
  for (auto _ : state) line.expected.Rebuild(line.protocol);
}
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMicrosecond);

}  // namespace
