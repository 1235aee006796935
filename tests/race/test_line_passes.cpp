// The busy line's rules: what a typed number does with and without open times, and that each
// making, numbering and dropping of an open time is one step, taken back and done again whole.
#include <gtest/gtest.h>

#include "grid/SortGrid.h"
#include "race/LinePasses.h"
#include "race/TimeText.h"

namespace {

constexpr uint32_t kRaceStart = 100000;
constexpr int32_t kMinimumLap = 10000;
uint32_t At(int32_t ms) { return kRaceStart + static_cast<uint32_t>(ms); }

struct Line {
  TSortGrid grid;
  TRaceSession session{grid, [](int k) { return k * 1000; }};
  std::vector<QString> told;
  bool running = true;
  int asides = 0;  // passes run aside from the operator's view
  TLinePasses passes{session, Host()};

  Line() {
    grid.resize(900, 400);
    session.Protocol().StartUp();
    session.AddListener([this](const TSessionChange& change) { told.push_back(change.Event); });
  }
  TLinePassHost Host() {
    TLinePassHost host;
    host.Running = [this] { return running; };
    host.RaceStart = [] { return kRaceStart; };
    host.Now = [] { return At(3600000); };
    host.GuardRefusal = [this](const QString& command, int32_t row, uint32_t tick) {
      return TickDiff(tick, session.Protocol().RowTimes(row)->LastPress()) < kMinimumLap ? command + " zu früh" : QString();
    };
    host.SelectRow = [this](int32_t row) { grid.SetRow(row); };
    // F4 and F9 on the selected row, as the window runs them.
    host.Press = [this](bool stop, uint32_t tick, bool) {
      session.Change("Taste", "", stop ? "STOPP" : "LAP", [&, this] {
        if (stop)
          session.Protocol().StopRider(tick);
        else
          session.Protocol().RecordLap(tick);
      });
    };
    host.AsideFromOperator = [this](const std::function<void()>& body) {
      ++asides;
      body();
    };
    return host;
  }
  // Rider nr starts at race time 0 and has presses at the race times given (the fifth stops him).
  void Rider(const QString& nr, const std::vector<int32_t>& presses) {
    grid.SetRow(grid.RowCount() - 1);
    session.Protocol().RecordStart(At(0), nr, "Fahrer " + nr, "M");
    for (size_t k = 0; k < presses.size(); ++k) {
      grid.SetRow(session.Protocol().RowOfNumber(nr));
      if (k + 1 == kRaceLaps)
        session.Protocol().StopRider(At(presses[k]));
      else
        session.Protocol().RecordLap(At(presses[k]));
    }
  }
  std::vector<uint32_t> Presses(const QString& nr) { return session.Protocol().RowTimes(session.Protocol().RowOfNumber(nr))->Presses; }
  std::vector<QString> OpenNumbers() {
    std::vector<QString> numbers;
    for (const TOpenTime& time : session.OpenTimes().Times()) numbers.push_back(time.Number);
    return numbers;
  }
};

std::vector<uint32_t> Ticks(std::initializer_list<int32_t> ms) {
  std::vector<uint32_t> ticks;
  for (const int32_t t : ms) ticks.push_back(At(t));
  return ticks;
}

TEST(LinePasses, ANumberTypedIsHisNextPressOrKeepsItsInstantAsAnOpenTime) {
  struct Case {
    const char* typed;
    std::vector<int32_t> laps;  // of rider 7 before; rider 8 has finished
    std::vector<uint32_t> after;
    const char* openNumber;  // nullptr: no open time made
    const char* says;
  };
  const Case cases[] = {
      {"7", {}, Ticks({90000}), nullptr, ""},
      {"007", {30000}, Ticks({30000, 90000}), nullptr, ""},
      {"7", {10000, 20000, 30000, 40000}, Ticks({10000, 20000, 30000, 40000, 90000}), nullptr, ""},
      {"99", {}, {}, "99", "Nr. 99: kein Fahrer mit dieser Startnummer im Protokoll. Die Zeit 1.30,0 bleibt offen."},
      {"8", {}, {}, "8", "Nr. 8 ist schon im Ziel. Die Zeit 1.30,0 bleibt offen."},
      {"0", {}, {}, "0", "„0“ ist keine Startnummer. Die Zeit 1.30,0 bleibt offen."},
  };
  for (const Case& c : cases) {
    Line line;
    line.Rider("7", c.laps);
    line.Rider("8", {1000, 2000, 3000, 4000, 5000});
    EXPECT_EQ(line.passes.NumberEntered(c.typed, At(90000), false), c.says) << c.typed;
    EXPECT_EQ(line.Presses("7"), c.after) << c.typed;
    EXPECT_EQ(line.Presses("8").size(), 5u) << c.typed;
    EXPECT_EQ(line.OpenNumbers(), c.openNumber ? std::vector<QString>{c.openNumber} : std::vector<QString>{}) << c.typed;
    EXPECT_EQ(line.session.Protocol().RowTimes(line.session.Protocol().RowOfNumber("7"))->Stopped, c.laps.size() == 4)
        << c.typed;
  }
  // No race running: nothing is timed, nothing kept.
  Line idle;
  idle.Rider("7", {});
  idle.running = false;
  EXPECT_EQ(idle.passes.NumberEntered("7", At(90000), false), "Das Rennen läuft nicht: keine Zeit genommen.");
  EXPECT_EQ(idle.passes.TimeTaken(At(90000)), "Das Rennen läuft nicht: keine Zeit genommen.");
  EXPECT_TRUE(idle.Presses("7").empty());
  EXPECT_TRUE(idle.session.OpenTimes().Empty());
}

TEST(LinePasses, ANumberGivesTheMarkedOpenTimeByTheRulesOfAPressOrOfAnInsertedLap) {
  struct Case {
    const char* what;
    std::vector<int32_t> laps;  // of rider 7 before
    int32_t open;               // the open time's race time
    bool forced;
    std::vector<uint32_t> after;  // empty: refused, the time stays open
    const char* says;
  };
  const Case cases[] = {
      {"his next lap", {30000}, 60000, false, Ticks({30000, 60000}), ""},
      {"the fifth is his STOPP", {1, 2, 3, 4}, 60000, false, Ticks({1, 2, 3, 4, 60000}), ""},
      {"before his last press: inserted", {90000}, 60000, false, Ticks({60000, 90000}), ""},
      {"too soon after his last press", {55000}, 60000, false, {}, "LAP zu früh Die Zeit 1.00,0 bleibt offen."},
      {"too soon, forced", {55000}, 60000, true, Ticks({55000, 60000}), ""},
      {"on a press of his", {90000}, 90020, false, {},
       "Die Zeit 1.30,0 fällt auf eine Zeit von Nr. 7: Runde 1 bei 1.30,0. Die Zeit 1.30,0 bleibt offen."},
      {"before his start", {}, -5000, false, {}, "Die Zeit liegt nicht nach dem Start von Nr. 7. Die Zeit -5,0 bleibt offen."},
      {"four laps, inserted", {10000, 20000, 30000, 90000}, 60000, false, {},
       "Nr. 7 hat schon vier Runden; die fünfte nimmt STOPP. Die Zeit 1.00,0 bleibt offen."},
      {"after his STOPP", {10000, 20000, 30000, 40000, 50000}, 60000, false, {},
       "Nr. 7 hat schon fünf Runden. Die Zeit 1.00,0 bleibt offen."},
      {"just after his last press, forced", {90000}, 90040, true, {},
       "Die Zeit 1.30,0 fällt auf eine Zeit von Nr. 7: Runde 1 bei 1.30,0. Die Zeit 1.30,0 bleibt offen."},
  };
  for (const Case& c : cases) {
    Line line;
    line.Rider("7", c.laps);
    const std::vector<uint32_t> before = line.Presses("7");
    line.passes.TimeTaken(At(c.open));
    line.told.clear();
    const int steps = line.session.UndoStack().count();
    EXPECT_EQ(line.passes.NumberEntered("07", At(3000000), c.forced), c.says) << c.what;
    if (c.after.empty()) {
      EXPECT_EQ(line.Presses("7"), before) << c.what;
      EXPECT_EQ(line.session.OpenTimes().Times().size(), 1u) << c.what;
      EXPECT_EQ(line.session.UndoStack().count(), steps) << c.what;
      EXPECT_TRUE(line.told.empty()) << c.what;
      continue;
    }
    EXPECT_EQ(line.Presses("7"), c.after) << c.what;
    EXPECT_TRUE(line.session.OpenTimes().Empty()) << c.what;
    EXPECT_EQ(line.told, std::vector<QString>{"ASSIGN"}) << c.what;
    // One step: undo gives the time back and takes the press, redo gives it to him again.
    EXPECT_EQ(line.session.UndoStack().count(), steps + 1) << c.what;
    line.session.Undo();
    EXPECT_EQ(line.Presses("7"), before) << c.what;
    EXPECT_EQ(line.session.OpenTimes().Times().at(0).Tick, At(c.open)) << c.what;
    line.session.Redo();
    EXPECT_EQ(line.Presses("7"), c.after) << c.what;
    EXPECT_TRUE(line.session.OpenTimes().Empty()) << c.what;
  }
}

TEST(LinePasses, OpenTimesAreNumberedAtTheMarkAndDroppedAsCorrections) {
  Line line;
  for (const char* nr : {"1", "2", "3"}) line.Rider(nr, {});
  // A group crosses: three taps, the second taken by another device a little later.
  line.passes.TimeTaken(At(60000));
  line.passes.TimeTaken(At(61500));
  line.passes.TimeTaken(At(60800), "Handy 1");
  ASSERT_EQ(line.told, (std::vector<QString>{"TIME", "TIME", "TIME"}));
  const auto ticks = [&line] {
    std::vector<uint32_t> t;
    for (const TOpenTime& time : line.session.OpenTimes().Times()) t.push_back(time.Tick);
    return t;
  };
  EXPECT_EQ(ticks(), Ticks({60000, 60800, 61500}));  // oldest first
  EXPECT_EQ(line.session.OpenTimes().Marked(), 0);

  // The mark moved down takes the second; then the mark is the oldest again.
  line.session.MoveOpenTimeMark(+1);
  line.session.MoveOpenTimeMark(+5);
  EXPECT_EQ(line.session.OpenTimes().Marked(), 2);
  line.session.MoveOpenTimeMark(-1);
  EXPECT_EQ(line.passes.NumberEntered("3", At(70000), false), "");
  EXPECT_EQ(line.Presses("3"), Ticks({60800}));
  EXPECT_EQ(line.session.OpenTimes().Marked(), 0);
  EXPECT_EQ(line.passes.NumberEntered("1", At(70000), false), "");
  EXPECT_EQ(line.Presses("1"), Ticks({60000}));

  // Dropped: listed with its time; undo brings it back, redo drops it again.
  line.told.clear();
  EXPECT_EQ(line.passes.DropMarked(), "");
  EXPECT_TRUE(line.session.OpenTimes().Empty());
  const TCorrection& dropped = line.session.Corrections().Entries().back();
  EXPECT_EQ(dropped.What, "Offene Zeit gelöscht");
  EXPECT_EQ(dropped.Old, "1.01,5");
  EXPECT_EQ(line.passes.DropMarked(), "Keine offene Zeit zu löschen.");
  line.session.Undo();
  EXPECT_EQ(ticks(), Ticks({61500}));
  line.session.Redo();
  EXPECT_TRUE(line.session.OpenTimes().Empty());
  EXPECT_EQ(line.told, (std::vector<QString>{"DROP", "UNDO", "REDO"}));
  EXPECT_EQ(line.session.Corrections().Entries().back().What, "Wiederholt: Offene Zeit 1.01,5 gelöscht");
}

TEST(LinePasses, AnOpenTimeKeepsItsNumberDeviceAndTickThroughItsText) {
  for (const TOpenTime& time : {TOpenTime{1, "", "", 0}, TOpenTime{4294967295u, "12", "Handy|1", 0}}) {
    const std::optional<TOpenTime> back = TOpenTime::FromText(time.ToText());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Tick, time.Tick);
    EXPECT_EQ(back->Number, time.Number);
    EXPECT_EQ(back->Device, time.Device);
  }
  for (const char* bad : {"", "12", "0||", "x|1|", "4294967296||"}) EXPECT_FALSE(TOpenTime::FromText(bad)) << bad;
  // A number waiting for its time has none, and keeps its place in the text.
  const std::optional<TOpenTime> waiting = TOpenTime::FromText(TOpenTime{0, "12", "Handy 2", 0}.ToText());
  ASSERT_TRUE(waiting);
  EXPECT_EQ(waiting->ToText(), "-|12|Handy 2");
}

// Stations at the line: a tap station, a number station whose numbers match the taps in order,
// and a station with both. Every pass is one step; taken back one by one, the race is as before.
TEST(LinePasses, StationPassesMatchNumbersToTimesInOrderAndEachIsOneStep) {
  Line line;
  for (const char* nr : {"7", "8"}) line.Rider(nr, {});
  line.Rider("9", {1000, 2000, 3000, 4000, 5000});
  const auto waiting = [&line] {
    std::vector<QString> numbers;
    for (const TOpenTime& n : line.session.WaitingNumbers()) numbers.push_back(n.Number + "@" + n.Device);
    return numbers;
  };
  struct Step {
    const char* device;
    std::optional<int32_t> at;  // race time; none: a number alone
    const char* nr;
    const char* says;
    std::vector<uint32_t> presses7, presses8;
    std::vector<QString> open;     // the open times' noted numbers
    std::vector<QString> waits;
  };
  const Step steps[] = {
      {"Tap", 60000, "", "", {}, {}, {""}, {}},
      {"Nr", std::nullopt, "7", "", Ticks({60000}), {}, {}, {}},
      {"Nr", std::nullopt, "8", "", Ticks({60000}), {}, {}, {"8@Nr"}},
      {"Nr", std::nullopt, "99", "", Ticks({60000}), {}, {}, {"8@Nr", "99@Nr"}},
      {"Tap", 70000, "", "", Ticks({60000}), Ticks({70000}), {}, {"99@Nr"}},
      // A number that names nobody stays on its time, so the next number takes the next time.
      {"Tap", 80000, "", "Nr. 99: kein Fahrer mit dieser Startnummer im Protokoll. Die Zeit 1.20,0 bleibt offen.",
       Ticks({60000}), Ticks({70000}), {"99"}, {}},
      {"Nr", std::nullopt, "7", "", Ticks({60000}), Ticks({70000}), {"99"}, {"7@Nr"}},
      // Time and number: the guard's rules; refused, the instant stays open with its number.
      {"Both", 75000, "8", "LAP zu früh Die Zeit 1.15,0 bleibt offen.", Ticks({60000}), Ticks({70000}), {"8", "99"},
       {"7@Nr"}},
      {"Both", -1000, "8", "Zeit vor dem Start: nicht genommen.", Ticks({60000}), Ticks({70000}), {"8", "99"}, {"7@Nr"}},
      // A clock a little ahead of ours: the pass is taken now, not later.
      {"Both", 3603000, "8", "", Ticks({60000}), Ticks({70000, 3600000}), {"8", "99"}, {"7@Nr"}},
      {"Both", 90000, "9", "Nr. 9 hat schon fünf Runden. Die Zeit 1.30,0 bleibt offen.", Ticks({60000}),
       Ticks({70000, 3600000}), {"8", "99", "9"}, {"7@Nr"}},
  };
  std::vector<int> undoSteps;
  for (const Step& step : steps) {
    const int before = line.session.UndoStack().index();
    const std::optional<uint32_t> tick = step.at ? std::optional<uint32_t>(At(*step.at)) : std::nullopt;
    EXPECT_EQ(line.passes.StationPassed(step.device, tick, step.nr), step.says) << step.nr << " " << step.says;
    EXPECT_EQ(line.Presses("7"), step.presses7) << step.says;
    EXPECT_EQ(line.Presses("8"), step.presses8) << step.says;
    EXPECT_EQ(line.OpenNumbers(), step.open) << step.says;
    EXPECT_EQ(waiting(), step.waits) << step.says;
    EXPECT_EQ(line.session.UndoStack().index() - before, QString(step.says).contains("nicht genommen") ? 0 : 1)
        << step.says;
  }
  EXPECT_EQ(line.session.OpenTimes().Times()[1].Device, "Tap");
  EXPECT_GT(line.asides, 0);
  line.running = false;
  EXPECT_EQ(line.passes.StationPassed("Tap", At(95000), ""), "Das Rennen läuft nicht: keine Zeit genommen.");

  // Every step taken back: nothing of the stations is left; done again: all of it.
  const std::vector<QString> open = line.OpenNumbers(), waits = waiting();
  while (line.session.UndoStack().canUndo()) line.session.Undo();
  EXPECT_TRUE(line.Presses("7").empty() && line.Presses("8").empty());
  EXPECT_TRUE(line.session.OpenTimes().Empty());
  EXPECT_TRUE(line.session.WaitingNumbers().empty());
  while (line.session.UndoStack().canRedo()) line.session.Redo();
  EXPECT_EQ(line.Presses("8"), Ticks({70000, 3600000}));
  EXPECT_EQ(line.OpenNumbers(), open);
  EXPECT_EQ(waiting(), waits);
}

}  // namespace
