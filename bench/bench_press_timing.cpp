// How far the recorded time of a press lies from the instant it was made. On a real X server
// (run it through tests/xinput/run-on-x-server.sh): 200 LAP presses by key through XTest, each on
// a rider picked with the mouse, once with the window idle and once with the window's thread
// stalled for 100 ms, the press falling at a random point within the stall. The error is the
// recorded tick minus the boot-time instant at which the X server took the key; median and p99
// in milliseconds.
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "WindowBench.h"
#include "XTestInput.h"
#include "grid/SortGrid.h"
#include "race/Protocol.h"
#include "race/TimeText.h"
#include "widgets/ButtonWithColor.h"

namespace {

constexpr int kPresses = 200;
constexpr int kLapsPerRider = 4;
constexpr int kStallMs = 100;

struct Window : BenchWindow {
  Window() {
    form.Race().SetMinimumLap(0);
    form.activateWindow();
    (void)QTest::qWaitForWindowActive(&form);
  }
};

QPoint CellCentre(TSortGrid& grid, int32_t col, int32_t row) {
  return grid.viewport()->mapToGlobal(grid.CellRect(col, row).ToQRect().center());
}

// Errors of kPresses LAP presses; with stallMs > 0 each falls inside a stall of the window.
std::vector<double> PressErrors(int stallMs, benchmark::State& state) {
  XTestInput input;
  if (!input.Connected() || QGuiApplication::platformName() != QLatin1String("xcb")) {
    state.SkipWithError("needs an X server with XTest (tests/xinput/run-on-x-server.sh)");
    return {};
  }
  Window window;
  TFormMain& form = window.form;
  TSortGrid& grid = *form.SortGrid1;
  const int riders = kPresses / kLapsPerRider;
  for (int i = 0; i < riders; ++i) {
    grid.SetRow(grid.RowCount() - 1);
    form.cbStartN->setEditText(QString::number(i + 1));
    form.eName->setText(QStringLiteral("Fahrer %1").arg(i + 1));
    form.mStart->trigger();
  }
  std::mt19937 random(7);
  std::vector<double> errors;
  for (int press = 0; press < kPresses; ++press) {
    const int32_t row = form.Protocol().RowOfNumber(QString::number(press % riders + 1));
    grid.ScrollToCell(pcName, row);
    QTest::qWait(5);
    input.Click(CellCentre(grid, pcName, row));
    if (!QTest::qWaitFor([&] { return grid.Row() == row; }, 2000)) {
      state.SkipWithError("the rider's row could not be picked");
      return {};
    }
    for (int i = 0; i < 3; ++i) {
      input.MoveTo(CellCentre(grid, pcName, row) + QPoint(i, 1));
      QTest::qWait(10);
    }
    const QString lapsBefore = grid.Cells(pcLapCount, row);
    XTestInput::Instant instant;
    if (stallMs > 0) {
      std::atomic<bool> stalled{false};
      const int into = static_cast<int>(random() % static_cast<unsigned>(stallMs - 10));
      QTimer::singleShot(0, [&] {
        stalled = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
      });
      std::thread presser([&] {
        while (!stalled) std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::this_thread::sleep_for(std::chrono::milliseconds(into));
        instant = input.Key(XTestInput::kF4);
      });
      while (!stalled) QTest::qWait(1);
      presser.join();
    } else {
      instant = input.Key(XTestInput::kF4);
    }
    if (!QTest::qWaitFor([&] { return grid.Cells(pcLapCount, row) != lapsBefore; }, 2000)) {
      state.SkipWithError("a LAP did not land");
      return {};
    }
    const uint32_t recorded = TickFromText(grid.Cells(pcLastLapTick, row)).value_or(0);
    errors.push_back(TickDiff(recorded, static_cast<uint32_t>(instant.before)));
  }
  return errors;
}

void BM_PressToRecordedTime(benchmark::State& state) {
  const int stallMs = static_cast<int>(state.range(0));
  for (auto _ : state) {
    WriteCategories("M\r\nF\r\n");
    const std::vector<double> errors = PressErrors(stallMs, state);
    if (errors.empty()) return;
    state.counters["error_median_ms"] = Quantile(errors, 0.5);
    state.counters["error_p99_ms"] = Quantile(errors, 0.99);
    state.counters["error_max_ms"] = Quantile(errors, 1.0);
    state.counters["presses"] = static_cast<double>(errors.size());
  }
}
BENCHMARK(BM_PressToRecordedTime)->Arg(0)->Arg(kStallMs)->ArgName("stall_ms")->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunWindowBenchmarks(argc, argv, nullptr); }
