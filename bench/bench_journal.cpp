// What a press costs the window's thread as the field grows.
// BM_LapPress: the time from an F4 press to the reading of the tick counter, and to the end of
// the press's handling, over up to 1,000 LAP presses on a protocol of 20 to 10,000 riders:
// without the journal, and with it (each press appends a line and wakes the flush thread).
// Medians and 90th percentiles in microseconds, and the median against that of 20 riders.
// BM_StopHeld: a STOPP through F9 (a fifth press: the field is ranked) in a race of 10,000 riders with the journal and the live
// results on, from the key to the end of its handling, and the longest turn of the event loop
// after it (the live snapshot runs there), against one frame of the clock.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTcpServer>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <map>
#include <vector>

#include "WindowBench.h"
#include "grid/SortGrid.h"
#include "io/Journal.h"
#include "io/Settings.h"
#include "platform/AppTitle.h"
#include "platform/KeyStore.h"
#include "platform/Tick.h"
#include "race/Protocol.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPressesMost = 1000;
constexpr double kFrameMs = 16.0;

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

double Micros(Clock::time_point from, Clock::time_point to) { return std::chrono::duration<double, std::micro>(to - from).count(); }

void EnterRiders(TFormMain& form, int riders) {
  for (int r = 0; r < riders; ++r) {
    form.eName->setText(QStringLiteral("Fahrer %1").arg(r + 1));
    PressKey(form.SortGrid1, Qt::Key_F5);
  }
}

// The median press of 20 riders, by journal off and on: what the larger fields are held to.
std::map<bool, double>& SmallFieldPress() {
  static std::map<bool, double> medians;
  return medians;
}

void BM_LapPress(benchmark::State& state) {
  const int riders = static_cast<int>(state.range(0));
  const bool journaled = state.range(1) != 0;
  // Four laps each at most: the fifth is a STOPP.
  const int presses = std::min(kPressesMost, 4 * riders);
  for (auto _ : state) {
    InFolder folder;
    WriteCategories();

    StampingTicks ticks;
    platform::SetTickSource(&ticks);
    std::vector<double> toTick, toDone;
    {
      BenchWindow window;
      TFormMain& form = window.form;
      // The laps here follow each other within microseconds: no double presses to guard against.
      form.Race().SetMinimumLap(0);
      EnterRiders(form, riders);
      // Begun after the starts: its first line holds the whole field.
      if (journaled) form.StartJournal();
      for (int p = 0; p < presses; ++p) {
        // Laps go to the riders in start order; the selection moves on by itself.
        if (p % riders == 0) form.SortGrid1->SetRow(1);
        const Clock::time_point pressed = Clock::now();
        ticks.armed = true;
        PressKey(form.SortGrid1, Qt::Key_F4);
        const Clock::time_point done = Clock::now();
        toTick.push_back(Micros(pressed, ticks.stamp));
        toDone.push_back(Micros(pressed, done));
      }
      const int lastRow = (presses - 1) % riders + 1;
      if (form.SortGrid1->Cells(pcLapCount, lastRow) != QString::number((presses - 1) / riders + 1))
        state.SkipWithError("the laps did not all land");
      if (journaled && !(form.Journal() && form.Journal()->Active())) state.SkipWithError("no journal");
    }
    platform::SetTickSource(nullptr);
    const double median = Percentile(toDone, 0.5);
    if (riders == 20) SmallFieldPress()[journaled] = median;
    state.counters["press_to_tick_median_us"] = Percentile(toTick, 0.5);
    state.counters["press_to_tick_p90_us"] = Percentile(toTick, 0.9);
    state.counters["press_handled_median_us"] = median;
    state.counters["press_handled_p90_us"] = Percentile(toDone, 0.9);
    if (const auto small = SmallFieldPress().find(journaled); small != SmallFieldPress().end())
      state.counters["median_vs_20_riders"] = median / small->second;
  }
}
BENCHMARK(BM_LapPress)
    ->ArgNames({"riders", "journal"})
    ->ArgsProduct({{20, 250, 2000, 10000}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_StopHeld(benchmark::State& state) {
  const int riders = static_cast<int>(state.range(0));
  constexpr int kStops = 20;
  for (auto _ : state) {
    InFolder folder;
    WriteCategories("M\r\nW\r\n");
    {
      platform::KeyStore store;
      store.OpenKey(SettingsKey(), true);
      // A free port; nobody connects: the snapshot is made all the same.
      QTcpServer probe;
      probe.listen(QHostAddress::LocalHost, 0);
      const quint16 port = probe.serverPort();
      probe.close();
      store.WriteInteger("LivePort", port);
      store.WriteInteger("MinLap", 0);
      store.CloseKey();
    }
    std::vector<double> handled, turn;
    {
      BenchWindow window;
      TFormMain& form = window.form;
      form.Race().SetMinimumLap(0);
      EnterRiders(form, riders);
      form.StartJournal();
      QCoreApplication::processEvents();
      for (int s = 0; s < kStops; ++s) {
        // Riders spread over the field, each stopped once; his row is found anew after every ranking.
        const QString number = QString::number(1 + s * (riders / kStops));
        auto select = [&] {
          for (int32_t r = 1; r < form.SortGrid1->RowCount(); ++r)
            if (form.SortGrid1->Cells(pcNumber, r) == number) {
              form.SortGrid1->SetRow(r);
              return true;
            }
          return false;
        };
        // Four laps, so the STOPP is his fifth press and ranks the field.
        for (int lap = 0; lap < 4 && select(); ++lap) PressKey(form.SortGrid1, Qt::Key_F4);
        if (!select()) break;
        // The loop quiet before the press: what runs after it is the press's.
        for (int k = 0; k < 20; ++k) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const Clock::time_point pressed = Clock::now();
        PressKey(form.SortGrid1, Qt::Key_F9);
        handled.push_back(Micros(pressed, Clock::now()) / 1000);
        double longest = 0;
        const Clock::time_point until = Clock::now() + std::chrono::milliseconds(300);
        while (Clock::now() < until) {
          const Clock::time_point begun = Clock::now();
          QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
          longest = std::max(longest, Micros(begun, Clock::now()) / 1000);
        }
        turn.push_back(longest);
      }
      int stopped = 0, placed = 0;
      for (int32_t r = 1; r < form.SortGrid1->RowCount(); ++r) {
        if (form.SortGrid1->Cells(pcLastLapTick, r) == "0" && form.SortGrid1->Cells(pcLapCount, r) == "5") ++stopped;
        if (form.SortGrid1->Cells(pcPlace, r) == "1") ++placed;
      }
      if (stopped != kStops) state.SkipWithError("the stops did not all land");
      if (placed == 0) state.SkipWithError("no ranking");
      if (!(form.Journal() && form.Journal()->Active())) state.SkipWithError("no journal");
    }
    std::vector<double> held(handled.size());
    for (size_t k = 0; k < held.size(); ++k) held[k] = handled[k] + turn[k];
    state.counters["stop_handled_median_ms"] = Percentile(handled, 0.5);
    state.counters["next_turn_median_ms"] = Percentile(turn, 0.5);
    state.counters["held_median_ms"] = Percentile(held, 0.5);
    state.counters["held_max_ms"] = Percentile(held, 1.0);
    state.counters["held_median_vs_frame"] = Percentile(held, 0.5) / kFrameMs;
  }
}
BENCHMARK(BM_StopHeld)->ArgName("riders")->Arg(250)->Arg(2000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunWindowBenchmarks(argc, argv, "offscreen"); }
