// A busy line on a real X server (run it through tests/xinput/run-on-x-server.sh).
//
// BM_ScriptedRace: 40 riders over five laps, crossing in groups of three to five within two
// seconds, a group every three seconds, the riders shuffled anew each lap. An operator made of
// XTest keys, at most ten a second, times each group one of three ways in turn: (a) a click on
// the rider's row, then F4 (F9 for the fifth lap) as he crosses; (b) his number typed, Enter as
// he crosses; (c) Enter as each crosses, the numbers typed after the group. Figures: the error
// from the key at a crossing to the recorded time, and from the scripted crossing (the
// operator's lag at ten keys a second included), median and max in ms; the passes at a wrong
// rider once every number is in (goal 0); the crossings taken in the busiest minute (goal >= 60);
// the keys per pass of each way.
//
// BM_PressWith2000Riders: 2,000 riders on course, the journal on (and, to compare, off): how long a key in the number
// field takes on the window's thread, from its delivery to its return, for number + Enter, for
// Enter on the empty field (an open time) and for the number that takes that time; ms.
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <array>
#include <map>
#include <random>

#include "WindowBench.h"
#include "XTestInput.h"
#include "grid/SortGrid.h"
#include "platform/Tick.h"
#include "race/Protocol.h"
#include "race/TimeText.h"

namespace {

constexpr int kRiders = 40;
constexpr int kLaps = 5;
constexpr int kKeyGapMs = 100;  // ten keys a second
constexpr int kGroupPeriodMs = 3000;
constexpr int kGroupSpanMs = 2000;
constexpr int64_t kRightWithinMs = 2;

enum Way { kSelectRow, kNumberEnter, kTimesFirst, kWays };
constexpr std::array<const char*, kWays> kWayNames = {"select_row", "number_enter", "times_first"};

struct Pass {
  int rider = 0;  // 1..kRiders, also his start number
  int lap = 0;    // 1..kLaps
  int64_t crossing = 0;  // boot-time ms of the script
  Way way = kSelectRow;
  XTestInput::Instant key;  // the key that timed it
};

// The groups of the race: each a list of passes in the order they cross.
std::vector<std::vector<Pass>> Script(int64_t from) {
  std::mt19937 random(26);
  std::vector<std::vector<Pass>> groups;
  std::vector<int> riders(kRiders);
  for (int i = 0; i < kRiders; ++i) riders[static_cast<size_t>(i)] = i + 1;
  for (int lap = 1; lap <= kLaps; ++lap) {
    std::shuffle(riders.begin(), riders.end(), random);
    for (size_t first = 0; first < riders.size();) {
      const size_t size = std::min<size_t>(3 + random() % 3, riders.size() - first);
      const int64_t start = from + static_cast<int64_t>(groups.size()) * kGroupPeriodMs;
      std::vector<int64_t> offsets;
      for (size_t i = 0; i < size; ++i) offsets.push_back(random() % kGroupSpanMs);
      std::sort(offsets.begin(), offsets.end());
      std::vector<Pass> group;
      for (size_t i = 0; i < size; ++i)
        group.push_back({riders[first + i], lap, start + offsets[i], static_cast<Way>(groups.size() % kWays), {}});
      groups.push_back(group);
      first += size;
    }
  }
  return groups;
}

// The operator: keys through XTest, never two within kKeyGapMs, each way counted.
class Operator {
public:
  Operator(XTestInput& input, TFormMain& form) : input_(input), form_(form) {}

  void TimeGroup(std::vector<Pass>& group) {
    for (Pass& pass : group) {
      if (pass.way == kSelectRow) {
        ClickRow(pass);
        pass.key = Key(pass, pass.lap == kLaps ? XTestInput::kF9 : XTestInput::kF4, pass.crossing);
      } else if (pass.way == kNumberEnter) {
        TypeNumber(pass);
        pass.key = Key(pass, XTestInput::kReturn, pass.crossing);
      } else {
        if (&pass == &group.front()) form_.eNumber->setFocus();
        pass.key = Key(pass, XTestInput::kReturn, pass.crossing);
      }
    }
    for (Pass& pass : group) {
      if (pass.way != kTimesFirst) continue;
      TypeNumber(pass);
      Key(pass, XTestInput::kReturn, 0);
    }
  }
  int Misses() const { return misses_; }
  double KeysPerPass(Way way, int passes) const { return passes ? static_cast<double>(keys_[way]) / passes : 0; }

private:
  void WaitUntil(int64_t at) {
    while (BootMs() < at) QTest::qWait(1);
  }
  void Pace(Way way, int64_t notBefore) {
    WaitUntil(std::max(next_, notBefore));
    next_ = BootMs() + kKeyGapMs;
    ++keys_[way];
  }
  XTestInput::Instant Key(const Pass& pass, unsigned long keysym, int64_t notBefore) {
    Pace(pass.way, notBefore);
    return input_.Key(keysym);
  }
  // The operator looks before the key that times: the number stands in the field.
  void TypeNumber(const Pass& pass) {
    const QString number = QString::number(pass.rider);
    for (const QChar digit : number) Key(pass, XTestInput::Digit(digit.toLatin1()), 0);
    (void)QTest::qWaitFor([&] { return form_.eNumber->text() == number; }, 1000);
  }
  // The operator looks at the row before he clicks it, and clicks again when the row he got is
  // not the one he meant (the view may have moved since he looked).
  void ClickRow(const Pass& pass) {
    TSortGrid& grid = *form_.SortGrid1;
    for (int attempt = 0; attempt < 3; ++attempt) {
      QCoreApplication::processEvents();
      const int32_t row = form_.Protocol().RowOfNumber(QString::number(pass.rider));
      grid.ScrollToCell(pcName, row);
      QCoreApplication::processEvents();
      const QPoint cell = grid.viewport()->mapToGlobal(grid.CellRect(pcName, row).ToQRect().center());
      Pace(pass.way, 0);
      input_.Click(cell);
      if (QTest::qWaitFor([&] { return grid.Row() == form_.Protocol().RowOfNumber(QString::number(pass.rider)); }, 1000))
        return;
      ++misses_;
    }
  }

  XTestInput& input_;
  TFormMain& form_;
  int64_t next_ = 0;
  std::array<int, kWays> keys_{};
  int misses_ = 0;
};

// The most values within any window of span ms.
int MostWithin(std::vector<int64_t> at, int64_t span) {
  std::sort(at.begin(), at.end());
  int most = 0;
  for (size_t first = 0, last = 0; last < at.size(); ++last) {
    while (at[last] - at[first] >= span) ++first;
    most = std::max(most, static_cast<int>(last - first + 1));
  }
  return most;
}

bool OnX(benchmark::State& state, const XTestInput& input) {
  if (input.Connected() && QGuiApplication::platformName() == QLatin1String("xcb")) return true;
  state.SkipWithError("needs an X server with XTest (tests/xinput/run-on-x-server.sh)");
  return false;
}

void StartRiders(TFormMain& form, int riders) {
  TSortGrid& grid = *form.SortGrid1;
  for (int i = 1; i <= riders; ++i) {
    grid.SetRow(grid.RowCount() - 1);
    form.cbStartN->setEditText(QString::number(i));
    form.eName->setText(QStringLiteral("Fahrer %1").arg(i));
    form.mStart->trigger();
  }
  form.Race().SetMinimumLap(0);
}


struct Categories {
  explicit Categories(const char* lines) { WriteCategories(lines); }
};

// The window, shown and active, in a folder of its own with these categories.
struct Window : InFolder, Categories, BenchWindow {
  explicit Window(const char* categories) : Categories(categories) {
    form.activateWindow();
    (void)QTest::qWaitForWindowActive(&form);
  }
};

void BM_ScriptedRace(benchmark::State& state) {
  for (auto _ : state) {
    XTestInput input;
    if (!OnX(state, input)) return;
    Window window("M\r\nF\r\n");
    TFormMain& form = window.form;
    StartRiders(form, kRiders);
    // Pointer moves teach the window the server's clock.
    for (int i = 0; i < 8; ++i) {
      input.MoveTo(form.mapToGlobal(QPoint(300 + i, 300)));
      QTest::qWait(20);
    }
    std::vector<std::vector<Pass>> groups = Script(BootMs() + 500);
    Operator timer(input, form);
    for (std::vector<Pass>& group : groups) timer.TimeGroup(group);
    const auto allIn = [&] {
      if (!form.Session().OpenTimes().Empty()) return false;
      for (int rider = 1; rider <= kRiders; ++rider) {
        const auto times = form.Protocol().RowTimes(form.Protocol().RowOfNumber(QString::number(rider)));
        if (!times || times->Laps() < kLaps) return false;
      }
      return true;
    };
    (void)QTest::qWaitFor(allIn, 10000);

    std::map<int, TRiderTimes> recorded;
    for (int rider = 1; rider <= kRiders; ++rider)
      recorded[rider] = form.Protocol().RowTimes(form.Protocol().RowOfNumber(QString::number(rider))).value_or(TRiderTimes{});
    std::vector<double> keyErrors, crossingErrors;
    std::vector<int64_t> taken;
    std::array<int, kWays> passes{}, wrong{};
    for (const std::vector<Pass>& group : groups)
      for (const Pass& pass : group) {
        ++passes[pass.way];
        // His key's time among his presses, wherever it stands: a press he lacks or one at
        // another rider shifts the others, but only this pass is wrong.
        const std::vector<uint32_t>& presses = recorded[pass.rider].Presses;
        const uint32_t key = static_cast<uint32_t>(pass.key.before);
        const int64_t within = kRightWithinMs + (pass.key.after - pass.key.before);
        const auto at = std::find_if(presses.begin(), presses.end(),
                                     [&](uint32_t press) { return std::abs(TickDiff(press, key)) <= within; });
        if (at == presses.end()) {
          ++wrong[pass.way];
          continue;
        }
        keyErrors.push_back(TickDiff(*at, key));
        crossingErrors.push_back(TickDiff(*at, static_cast<uint32_t>(pass.crossing)));
        taken.push_back(*at);
      }
    state.counters["passes"] = passes[0] + passes[1] + passes[2];
    state.counters["clicks_again"] = timer.Misses();
    state.counters["key_error_median_ms"] = Quantile(keyErrors, 0.5);
    state.counters["key_error_max_ms"] = Quantile(keyErrors, 1.0);
    state.counters["crossing_error_median_ms"] = Quantile(crossingErrors, 0.5);
    state.counters["crossing_error_max_ms"] = Quantile(crossingErrors, 1.0);
    state.counters["peak_crossings_per_min"] = MostWithin(taken, 60000);
    for (size_t way = 0; way < kWays; ++way) {
      const std::string name = kWayNames[way];
      state.counters["keys_per_pass_" + name] = timer.KeysPerPass(static_cast<Way>(way), passes[way]);
      state.counters["wrong_rider_passes_" + name] = wrong[way];
    }
  }
}
BENCHMARK(BM_ScriptedRace)->Iterations(1)->Unit(benchmark::kSecond);

constexpr int kManyRiders = 2000;
constexpr int kTimedPresses = 300;

// Milliseconds the window's thread spends on a key sent to the field.
double KeyMs(QLineEdit* field, int key) {
  QElapsedTimer clock;
  clock.start();
  PressKey(field, key);
  return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void BM_PressWith2000Riders(benchmark::State& state) {
  for (auto _ : state) {
    XTestInput input;
    if (!OnX(state, input)) return;
    Window window("M\r\n");
    TFormMain& form = window.form;
    if (state.range(0)) form.StartJournal();
    StartRiders(form, kManyRiders);
    QLineEdit* field = form.eNumber;
    field->setFocus();
    std::mt19937 random(2000);
    std::vector<double> numbered, opened, assigned;
    for (int i = 0; i < kTimedPresses; ++i) {
      // Random riders: hardly one gets more than two of the presses, so all have laps left.
      field->setText(QString::number(1 + random() % kManyRiders));
      numbered.push_back(KeyMs(field, Qt::Key_Return));
      opened.push_back(KeyMs(field, Qt::Key_Return));
      field->setText(QString::number(1 + random() % kManyRiders));
      assigned.push_back(KeyMs(field, Qt::Key_Return));
      QTest::qWait(0);
    }
    state.counters["riders"] = form.SortGrid1->RowCount() - 2;
    state.counters["open_left"] = static_cast<double>(form.Session().OpenTimes().Times().size());
    state.counters["number_enter_median_ms"] = Quantile(numbered, 0.5);
    state.counters["number_enter_max_ms"] = Quantile(numbered, 1.0);
    state.counters["open_time_median_ms"] = Quantile(opened, 0.5);
    state.counters["open_time_max_ms"] = Quantile(opened, 1.0);
    state.counters["number_open_time_median_ms"] = Quantile(assigned, 0.5);
    state.counters["number_open_time_max_ms"] = Quantile(assigned, 1.0);
  }
}
BENCHMARK(BM_PressWith2000Riders)->ArgName("journal")->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) { return RunWindowBenchmarks(argc, argv, nullptr); }
