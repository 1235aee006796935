// The time from an F4 press to the reading of the tick counter, and to the end of the press's
// handling, over 1,000 LAP presses on a protocol of 250 riders: without the journal, and with
// it (each press appends a line and wakes the flush thread). Reported as medians and 90th
// percentiles in microseconds.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <vector>

#include "WindowBench.h"
#include "grid/SortGrid.h"
#include "io/Journal.h"
#include "platform/AppTitle.h"
#include "platform/Tick.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRiders = 250;
constexpr int kPresses = 1000;

// The real counter; notes the moment of the first reading after it was armed.
class StampingTicks : public platform::TickSource {
public:
  uint32_t Now() override {
    if (armed) {
      stamp = Clock::now();
      armed = false;
    }
    return real.Now();
  }
  platform::BootTimeTickSource real;
  bool armed = false;
  Clock::time_point stamp;
};


double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1))];
}

void BM_LapPress(benchmark::State& state) {
  const bool journaled = state.range(0) != 0;
  for (auto _ : state) {
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    WriteCategories();

    StampingTicks ticks;
    platform::SetTickSource(&ticks);
    std::vector<double> toTick, toDone;
    {
      BenchWindow window;
      TFormMain& form = window.form;
      // The laps here follow each other within microseconds: no double presses to guard against.
      form.Race().SetMinimumLap(0);
      if (journaled) form.StartJournal();
      for (int r = 0; r < kRiders; ++r) {
        form.eName->setText(QStringLiteral("Fahrer %1").arg(r + 1));
        PressKey(form.SortGrid1, Qt::Key_F5);
      }
      for (int p = 0; p < kPresses; ++p) {
        // Laps go to the riders in start order; the selection moves on by itself.
        if (p % kRiders == 0) form.SortGrid1->SetRow(1);
        const Clock::time_point pressed = Clock::now();
        ticks.armed = true;
        PressKey(form.SortGrid1, Qt::Key_F4);
        const Clock::time_point done = Clock::now();
        toTick.push_back(std::chrono::duration<double, std::micro>(ticks.stamp - pressed).count());
        toDone.push_back(std::chrono::duration<double, std::micro>(done - pressed).count());
      }
      if (form.SortGrid1->Cells(9, kRiders) != "4") state.SkipWithError("the laps did not all land");
      if (journaled && !(form.Journal() && form.Journal()->Active())) state.SkipWithError("no journal");
    }
    platform::SetTickSource(nullptr);
    state.counters["press_to_tick_median_us"] = Percentile(toTick, 0.5);
    state.counters["press_to_tick_p90_us"] = Percentile(toTick, 0.9);
    state.counters["press_handled_median_us"] = Percentile(toDone, 0.5);
    state.counters["press_handled_p90_us"] = Percentile(toDone, 0.9);
  }
}
BENCHMARK(BM_LapPress)->ArgName("journal")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunWindowBenchmarks(argc, argv, "offscreen"); }
