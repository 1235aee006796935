#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>
#include <array>
#include <optional>
#include <vector>

#include "common/Doubles.h"
#include "race/AutoStart.h"
#include "race/RaceClock.h"
#include "race/RaceControl.h"
#include "race/TimeText.h"
#include "widgets/Udigit.h"

namespace {

using Row = std::array<QString, 14>;

// A protocol reduced to what race control reads and what it asks the protocol to do.
class FakeHost : public RaceControlHost {
public:
  std::vector<Row> rows{Row{}, Row{}};  // header and one entry row
  int selected = 1;
  RaceControl* control = nullptr;
  CommandFaces shown;
  QString number, name, category;
  std::vector<QString> log;
  std::vector<bool> runningReports;
  std::vector<QString> refused;
  bool modified = false;
  bool answer = true;
  QString asked, yesCaption, noCaption;
  bool lapTableLocked = false, participantsEnabled = true, settingsEnabled = true;

  void Select(int row) {
    selected = row;
    control->UpdateCommandStates(row);
  }

  QString ProtocolCell(int col, int row) const override { return rows.at(row)[col]; }
  void StartRider(uint32_t tick, const QString& nr, const QString& nm, const QString& cat) override {
    Row& r = rows[selected];
    r[1] = nr;
    r[2] = nm;
    r[3] = cat;
    r[9] = "0";
    r[13] = TickToText(tick);
    modified = true;
    if (selected == static_cast<int>(rows.size()) - 1) rows.push_back(Row{});
    Select(selected + 1);
    log.push_back("next participant");
  }
  void RecordLap(uint32_t tick) override {
    Row& r = rows[selected];
    r[9] = QString::number(r[9].toInt() + 1);
    r[12] = TickToText(tick);
    log.push_back("lap");
  }
  void StopRider(uint32_t) override {
    rows[selected][12] = "0";
    log.push_back("stop");
    Select(selected);
  }
  void ShowRefusedPress(const QString& text) override { refused.push_back(text); }
  void ClearProtocol() override {
    rows = {Row{}, Row{}};
    selected = 1;
    modified = false;
    log.push_back("clear");
  }
  bool ProtocolModified() const override { return modified; }
  void LayoutProtocolColumns() override { log.push_back("layout"); }
  void UpdateFileButtons() override { log.push_back("files"); }
  QString StartNumberText() const override { return number; }
  QString NameText() const override { return name; }
  QString CategoryText() const override { return category; }
  void ShowEntryFields(const QString& nr, const QString& nm, const QString& cat) override {
    number = nr;
    name = nm;
    if (!cat.isEmpty()) category = cat;
  }
  void ClearStartNumberChoices() override { log.push_back("choices cleared"); }
  std::optional<EntryFields> WaitingParticipant() const override { return std::nullopt; }
  void ShowCommands(const CommandFaces& faces) override { shown = faces; }
  void LockLapLengths(bool locked) override { lapTableLocked = locked; }
  void SetParticipantListEnabled(bool enabled) override { participantsEnabled = enabled; }
  void SetSettingsEnabled(bool enabled) override { settingsEnabled = enabled; }
  void UncheckAutoStart() override;
  void FocusResetButton() override { log.push_back("focus reset"); }
  void FocusStartButton() override { log.push_back("focus start"); }
  void RaceRunning(bool running) override { runningReports.push_back(running); }
  bool Confirm(const QString& question, const QString& yes, const QString& no, bool) override {
    asked = question;
    yesCaption = yes;
    noCaption = no;
    return answer;
  }
  AutoStart* autoStart = nullptr;
};

void FakeHost::UncheckAutoStart() { autoStart->SetChecked(false); }

// Both displays on a panel, built before the clock that shows on them.
struct Displays {
  QWidget panel;
  ClockDisplay race, rider;
  Displays() {
    for (ClockDisplay* d : {&race, &rider})
      for (auto& digit : d->digits) digit = new TDigit(&panel);
  }
};

struct RaceControlFixture : ::testing::Test {
  Displays displays;
  ClockDisplay& rider = displays.rider;
  RaceClock clock{displays.race, displays.rider};
  AutoStart autoStart{clock};
  FakeHost host;
  RaceControl control{clock, autoStart, host};
  platform::ManualClock& ticks = testing_doubles::Doubles().clock;

  RaceControlFixture() {
    autoStart.ClickStart = [this] { control.StartClick(ticks.Now()); };
    host.control = &control;
    host.autoStart = &autoStart;
    ticks.Set(100000);
    host.Select(1);
  }

  int RiderSeconds() const { return rider.digits[3]->Value() * 10 + rider.digits[4]->Value(); }
};

}  // namespace

TEST(RowCommandsRule, FollowsTheRowState) {
  auto c = CommandsForRow("", "", "");
  EXPECT_TRUE(c.start);
  EXPECT_FALSE(c.lap || c.stop);
  c = CommandsForRow("0", "", "12345");
  EXPECT_TRUE(c.lap && c.stop);
  EXPECT_FALSE(c.start);
  c = CommandsForRow("3", "999", "12345");
  EXPECT_TRUE(c.lap && c.stop);
  c = CommandsForRow("4", "999", "12345");  // the fifth lap is STOPP's
  EXPECT_FALSE(c.lap);
  EXPECT_TRUE(c.stop);
  c = CommandsForRow("5", "999", "12345");
  EXPECT_FALSE(c.lap || c.stop || c.start);
  c = CommandsForRow("2", "0", "450000");  // stopped
  EXPECT_FALSE(c.lap || c.stop || c.start);
  c = CommandsForRow("", "", "-5");  // a negative start tick is still a start
  EXPECT_TRUE(c.stop);
  c = CommandsForRow("x", "", "1");
  EXPECT_FALSE(c.lap || c.stop);
}

TEST_F(RaceControlFixture, FirstStartStartsTheRace) {
  EXPECT_EQ(control.RaceState(), RaceControl::State::Idle);
  EXPECT_EQ(host.shown.start, (CommandFace{true, clGreen}));
  EXPECT_EQ(host.shown.end, (CommandFace{false, clBtnFace}));

  host.number = "7";
  control.StartClick(ticks.Now());
  EXPECT_EQ(control.RaceState(), RaceControl::State::Running);
  EXPECT_EQ(clock.RaceStartTick, 100000u);
  EXPECT_EQ(host.rows[1][13], "100000");
  EXPECT_EQ(host.selected, 2);
  EXPECT_EQ(host.shown.end, (CommandFace{true, clBlue}));
  EXPECT_EQ(host.shown.start, (CommandFace{true, clGreen}));  // the new entry row
  EXPECT_TRUE(host.lapTableLocked);
  EXPECT_FALSE(host.participantsEnabled);
  EXPECT_FALSE(host.settingsEnabled);
  ASSERT_EQ(testing_doubles::Doubles().sound.calls.size(), 1u);
  EXPECT_EQ(testing_doubles::Doubles().sound.calls[0].file, "Start.wav");
  EXPECT_EQ(testing_doubles::Doubles().sound.calls[0].flags, platform::SND_FILENAME | platform::SND_ASYNC);
  EXPECT_EQ(host.log, (std::vector<QString>{"next participant", "files"}));

  EXPECT_EQ(host.runningReports, std::vector<bool>{true});

  // A second START does not restart the race.
  ticks.Advance(5000);
  control.StartClick(ticks.Now());
  EXPECT_EQ(clock.RaceStartTick, 100000u);
  EXPECT_EQ(host.rows[2][13], "105000");
  EXPECT_EQ(host.runningReports, std::vector<bool>{true});
}

TEST_F(RaceControlFixture, CommandsFollowTheSelectedRow) {
  control.StartClick(ticks.Now());
  host.Select(1);  // the rider on course
  EXPECT_EQ(host.shown.lap, (CommandFace{true, clYellow}));
  EXPECT_EQ(host.shown.stop, (CommandFace{true, clRed}));
  EXPECT_EQ(host.shown.start, (CommandFace{false, clBtnFace}));

  // LAP on an entry row does nothing.
  host.Select(2);
  control.LapClick(ticks.Now(), false);
  control.StopClick(ticks.Now(), false);
  EXPECT_TRUE(host.log.empty() || host.log.back() != "lap");

  host.Select(1);
  for (int i = 0; i < 4; ++i) {
    control.LapClick(ticks.Now(), false);
    host.Select(1);
  }
  EXPECT_EQ(host.rows[1][9], "4");
  EXPECT_FALSE(host.shown.lap.enabled);
  control.LapClick(ticks.Now(), false);  // disabled at four laps
  EXPECT_EQ(host.rows[1][9], "4");
  control.StopClick(ticks.Now(), false);
  EXPECT_EQ(host.log.back(), "stop");
  EXPECT_FALSE(host.shown.stop.enabled);
}

TEST_F(RaceControlFixture, RiderDisplayFollowsSelection) {
  control.StartClick(ticks.Now());
  ticks.Advance(65200);
  host.Select(1);
  EXPECT_EQ(clock.RiderRefTick, 100000u);
  control.Clock().OnTimer(nullptr);
  EXPECT_EQ(rider.digits[2]->Value(), 1);
  EXPECT_EQ(RiderSeconds(), 5);

  // A stopped rider shows his total from column 13.
  host.rows[1][12] = "0";
  host.rows[1][13] = "3723400";
  host.Select(1);
  EXPECT_EQ(rider.digits[0]->Value(), 1);
  EXPECT_EQ(RiderSeconds(), 3);
}

TEST_F(RaceControlFixture, EndThenResetAsksAndEmpties) {
  control.StartClick(ticks.Now());
  control.EndClick();
  EXPECT_EQ(control.RaceState(), RaceControl::State::Ended);
  EXPECT_FALSE(control.Clock().Enabled());
  EXPECT_EQ(host.shown.reset, (CommandFace{true, clBlack}));
  EXPECT_EQ(host.shown.end, (CommandFace{false, clBtnFace}));
  EXPECT_FALSE(host.shown.start.enabled || host.shown.lap.enabled || host.shown.stop.enabled);
  EXPECT_FALSE(host.lapTableLocked);
  EXPECT_EQ(host.log.back(), "focus reset");
  EXPECT_EQ(host.runningReports, (std::vector<bool>{true, false}));

  host.answer = false;
  control.ResetClick();
  EXPECT_EQ(host.asked, "Protokoll wird gelöscht!");
  EXPECT_EQ(host.yesCaption, "OK");
  EXPECT_EQ(host.noCaption, "Abbrechen");
  EXPECT_EQ(host.rows.size(), 3u);  // cancelled: nothing changed
  EXPECT_NE(clock.RaceStartTick, 0u);

  host.answer = true;
  host.log.clear();
  control.ResetClick();
  EXPECT_EQ(control.RaceState(), RaceControl::State::Idle);
  EXPECT_EQ(host.rows.size(), 2u);
  EXPECT_EQ(host.shown, CommandFaces{});
  EXPECT_TRUE(host.settingsEnabled);
  EXPECT_TRUE(host.participantsEnabled);
  EXPECT_EQ(host.log, (std::vector<QString>{"clear", "choices cleared", "layout", "focus start", "files"}));
  EXPECT_EQ(host.runningReports.back(), false);
}

TEST_F(RaceControlFixture, StartAfterEndRevivesTheClockOnly) {
  control.StartClick(ticks.Now());
  control.EndClick();
  host.Select(2);  // the entry row
  EXPECT_TRUE(host.shown.start.enabled);
  control.StartClick(ticks.Now());
  EXPECT_TRUE(control.Clock().Enabled());
  EXPECT_FALSE(host.shown.end.enabled);
  EXPECT_EQ(clock.RaceStartTick, 100000u);
  // The race runs again, so the machine must stay awake again.
  EXPECT_EQ(host.runningReports, (std::vector<bool>{true, false, true}));
}

TEST_F(RaceControlFixture, ARestoredRaceRunsOrNotAsItWas) {
  control.Restore(RaceControl::State::Running, 90000);
  control.Restore(RaceControl::State::Ended, 90000);
  control.Restore(RaceControl::State::Idle, 0);
  EXPECT_EQ(host.runningReports, (std::vector<bool>{true, false, false}));
}

TEST_F(RaceControlFixture, CloseAsksOnlyWhenSomethingIsAtStake) {
  EXPECT_TRUE(control.CloseQuery());
  EXPECT_TRUE(host.asked.isEmpty());
  control.StartClick(ticks.Now());
  host.answer = false;
  EXPECT_FALSE(control.CloseQuery());
  EXPECT_EQ(host.asked, "Beenden?");
  EXPECT_EQ(host.yesCaption, "Ja");
  control.EndClick();
  host.asked.clear();
  EXPECT_FALSE(control.CloseQuery());  // modified, though the clock stands
  EXPECT_EQ(host.asked, "Beenden?");
}

TEST_F(RaceControlFixture, AutoStartEveryIntervalWhileTheEntryRowIsSelected) {
  autoStart.SetIntervalSeconds(30);
  autoStart.SetChecked(true);
  ticks.Advance(60000);
  EXPECT_EQ(host.rows.size(), 2u);  // checking alone starts nothing

  control.StartClick(ticks.Now());
  ticks.Advance(29999);
  EXPECT_EQ(host.rows.size(), 3u);
  ticks.Advance(1);
  EXPECT_EQ(host.rows.size(), 4u);
  EXPECT_EQ(host.rows[2][13], TickToText(clock.RaceStartTick + 30000));
  ticks.Advance(30000);
  EXPECT_EQ(host.rows.size(), 5u);
  EXPECT_EQ(testing_doubles::Doubles().sound.calls.size(), 3u);

  // The countdown on the rider display: 12 s after a start, 18 s remain.
  ticks.Advance(12000);
  control.Clock().OnTimer(nullptr);
  EXPECT_EQ(RiderSeconds(), 18);

  // With a rider on course selected the start falls due but does nothing; it retries later.
  host.Select(1);
  ticks.Advance(18000);
  EXPECT_EQ(host.rows.size(), 5u);
  host.Select(4);
  ticks.Advance(30000);
  EXPECT_EQ(host.rows.size(), 6u);

  // Unchecking stops the timer at once.
  autoStart.SetChecked(false);
  EXPECT_EQ(clock.AutoStartTick, 0u);
  ticks.Advance(120000);
  EXPECT_EQ(host.rows.size(), 6u);
}

TEST_F(RaceControlFixture, IntervalClampedAndLockedWhileOn) {
  bool fieldEnabled = true;
  autoStart.OnIntervalFieldEnabled = [&](bool enabled) { fieldEnabled = enabled; };
  autoStart.SetIntervalSeconds(5);
  EXPECT_EQ(autoStart.IntervalSeconds(), 10);
  EXPECT_EQ(autoStart.Timer().Interval(), 10000u);
  autoStart.SetIntervalSeconds(900);
  EXPECT_EQ(autoStart.IntervalSeconds(), 600);
  autoStart.SetChecked(true);
  EXPECT_FALSE(fieldEnabled);
  EXPECT_TRUE(clock.AutoStartActive);
  autoStart.SetChecked(false);
  EXPECT_TRUE(fieldEnabled);
  EXPECT_FALSE(clock.AutoStartActive);
}

TEST_F(RaceControlFixture, AutoStartCountsTheIntervalFromTheInstantTheStartWasPressed) {
  autoStart.SetIntervalSeconds(30);
  autoStart.SetChecked(true);
  // The window got round to the START 300 ms after it was pressed.
  const uint32_t pressed = ticks.Now();
  ticks.Advance(300);
  control.StartClick(pressed);
  EXPECT_EQ(host.rows[1][13], TickToText(pressed));
  ticks.Advance(29699);
  EXPECT_EQ(host.rows.size(), 3u);
  ticks.Advance(1);
  ASSERT_EQ(host.rows.size(), 4u);
  EXPECT_EQ(host.rows[2][13], TickToText(pressed + 30000));
  // The countdown shows the full interval, and the rhythm stays.
  ticks.Advance(12000);
  control.Clock().OnTimer(nullptr);
  EXPECT_EQ(RiderSeconds(), 18);
  ticks.Advance(18000);
  ASSERT_EQ(host.rows.size(), 5u);
  EXPECT_EQ(host.rows[3][13], TickToText(pressed + 60000));
}

TEST_F(RaceControlFixture, ResetSwitchesAutoStartOff) {
  autoStart.SetChecked(true);
  control.StartClick(ticks.Now());
  control.EndClick();
  control.ResetClick();
  EXPECT_FALSE(autoStart.Checked());
  EXPECT_FALSE(autoStart.Timer().Enabled());
}
