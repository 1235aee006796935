// Corrections at race size. On a protocol of 10,000 riders (9,000 finished and ranked, 1,000 on
// their fifth lap): the undo of a STOPP that ranked a finisher, and the undo of a finish time
// moved from one rider to another, each taken back and done again 30 times; medians and
// maxima in milliseconds; and a STOPP as an undo step against one that is not. And the double-press guard: 1,000 LAP presses through the window on
// 250 riders, every other one with the guard on (each press passes it), the time from the key
// to the end of its handling; medians of both in microseconds and their difference.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QUndoStack>
#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "WindowBench.h"
#include "grid/SortGrid.h"
#include "platform/AppTitle.h"
#include "platform/Tick.h"
#include "race/Protocol.h"
#include "race/ProtocolCommand.h"
#include "race/TimeText.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRiders = 10000;
constexpr int kOnCourse = 1000;
constexpr int kRounds = 30;
constexpr uint32_t kStart = 1'000'000;

double Median(const std::vector<double>& values) { return Quantile(values, 0.5); }

double Ms(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// The protocol of a big race, written as a journal restore writes it, then ranked once.
void FillBigRace(TSortGrid& grid, TProtocol& protocol) {
  std::mt19937 random(42);
  const QString categories[] = {"M", "F", "M40", "F40"};
  grid.SetRowCount(kRiders + 2);
  {
    TGridUpdateGuard bracket(grid);
    for (int i = 0; i < kRiders; ++i) {
      const int32_t row = i + 1;
      TRiderTimes times;
      times.Started = true;
      times.Start = kStart + static_cast<uint32_t>(i) * 10000;
      uint32_t at = times.Start;
      const bool finished = i >= kOnCourse;
      for (int lap = 0; lap < (finished ? 5 : 4); ++lap) {
        at += 600000 + static_cast<uint32_t>(random() % 120000);
        times.Presses.push_back(at);
      }
      times.Stopped = finished;
      const TTimeCells cells = ComputeTimeCells(times, [](int k) { return k * 20000; });
      grid.SetCells(pcPlace, row, QStringLiteral("-"));
      grid.SetCells(pcNumber, row, QString::number(i + 1));
      grid.SetCells(pcName, row, QStringLiteral("Fahrer %1").arg(i + 1));
      grid.SetCells(pcCategory, row, categories[i % 4]);
      for (int32_t c = pcLap5; c <= pcStartTick; ++c) grid.SetCells(c, row, cells[static_cast<size_t>(c - pcLap5)]);
      TRowRecord record;
      record.Times = times;
      protocol.SetRecordText(row, record.ToText());
    }
    grid.SetCells(pcPlace, kRiders + 1, QStringLiteral("-"));
  }
  protocol.RankFinishers();
}

void BM_UndoAtTenThousandRiders(benchmark::State& state) {
  for (auto _ : state) {
    TSortGrid grid;
    grid.resize(800, 600);
    TProtocol protocol(grid, [](int k) { return k * 20000; });
    protocol.StartUp();
    FillBigRace(grid, protocol);
    QUndoStack stack;

    // The same STOPP on another rider, outside the undo stack: what taking the change costs.
    grid.SetRow(protocol.RowOfNumber(QString::number(kOnCourse / 2 + 1)));
    const uint32_t finish = kStart + 6 * 3600000;
    auto pushed = Clock::now();
    protocol.StopRider(finish);
    const double plainStopMs = Ms(pushed, Clock::now());

    // A STOPP that makes a finisher: ranked into place among 9,000.
    grid.SetRow(protocol.RowOfNumber(QString::number(kOnCourse / 2)));
    pushed = Clock::now();
    TProtocolCommand::Push(stack, protocol, "STOPP", [&] { protocol.StopRider(finish); }, nullptr);
    const double stopMs = Ms(pushed, Clock::now());
    std::vector<double> undoStop;
    for (int round = 0; round < kRounds; ++round) {
      const auto started = Clock::now();
      stack.undo();
      undoStop.push_back(Ms(started, Clock::now()));
      stack.redo();
    }
    if (protocol.RowOfNumber(QString::number(kOnCourse / 2)) < 1 ||
        !protocol.IsFinisher(protocol.RowOfNumber(QString::number(kOnCourse / 2))))
      state.SkipWithError("the STOPP did not make a finisher");

    // A finish time moved from a finisher to a rider on his fifth lap: both ranked anew.
    const QString from = QString::number(kRiders - 5);
    const QString to = QString::number(kOnCourse / 3);
    QString refusal;
    pushed = Clock::now();
    TProtocolCommand::Push(
        stack, protocol, "MOVE", [&] { refusal = protocol.MoveLastPress(protocol.RowOfNumber(from), to); }, nullptr);
    const double moveMs = Ms(pushed, Clock::now());
    if (!refusal.isEmpty()) state.SkipWithError(refusal.toStdString().c_str());
    std::vector<double> undoMove;
    for (int round = 0; round < kRounds; ++round) {
      const auto started = Clock::now();
      stack.undo();
      undoMove.push_back(Ms(started, Clock::now()));
      stack.redo();
    }
    state.counters["stop_ms"] = stopMs;
    state.counters["stop_without_undo_step_ms"] = plainStopMs;
    state.counters["undo_stop_median_ms"] = Median(undoStop);
    state.counters["undo_stop_max_ms"] = *std::max_element(undoStop.begin(), undoStop.end());
    state.counters["move_ms"] = moveMs;
    state.counters["undo_move_median_ms"] = Median(undoMove);
    state.counters["undo_move_max_ms"] = *std::max_element(undoMove.begin(), undoMove.end());
  }
}
BENCHMARK(BM_UndoAtTenThousandRiders)->Iterations(1)->Unit(benchmark::kMillisecond);


void BM_LapPressWithAndWithoutTheGuard(benchmark::State& state) {
  constexpr int kLapRiders = 250;
  for (auto _ : state) {
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    WriteCategories();
    platform::ManualClock ticks(kStart);
    platform::SetTickSource(&ticks);
    std::vector<double> guarded, unguarded;
    {
      BenchWindow window;
      TFormMain& form = window.form;
      for (int r = 0; r < kLapRiders; ++r) {
        form.eName->setText(QStringLiteral("Fahrer %1").arg(r + 1));
        PressKey(form.SortGrid1, Qt::Key_F5);
      }
      for (int p = 0; p < 4 * kLapRiders; ++p) {
        if (p % kLapRiders == 0) {
          form.SortGrid1->SetRow(1);
          ticks.Set(ticks.Now() + 60000);  // a lap later: every press passes the guard
        }
        const bool guard = p % 2 == 1;
        form.Race().SetMinimumLap(guard ? 10000 : 0);
        const auto pressed = Clock::now();
        PressKey(form.SortGrid1, Qt::Key_F4);
        (guard ? guarded : unguarded).push_back(std::chrono::duration<double, std::micro>(Clock::now() - pressed).count());
      }
      if (form.SortGrid1->Cells(pcLapCount, kLapRiders) != "4") state.SkipWithError("the laps did not all land");
    }
    platform::SetTickSource(nullptr);
    state.counters["lap_without_guard_median_us"] = Median(unguarded);
    state.counters["lap_with_guard_median_us"] = Median(guarded);
    state.counters["guard_cost_median_us"] = Median(guarded) - Median(unguarded);
  }
}
BENCHMARK(BM_LapPressWithAndWithoutTheGuard)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunWindowBenchmarks(argc, argv, "offscreen"); }
