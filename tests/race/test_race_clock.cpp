#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>
#include <memory>

#include "common/Doubles.h"
#include "platform/LocaleFormats.h"
#include "race/RaceClock.h"
#include "widgets/Udigit.h"

namespace {

constexpr TColor kPanel = 0x000000, kRaceBright = 0x00FFFF, kDim = 0x404040, kRiderBright = 0x00FF00;

// A panel with both displays, built as the main window builds it.
struct ClockFixture : ::testing::Test {
  QWidget panel;
  ClockDisplay race, rider;
  std::unique_ptr<RaceClock> clock;
  platform::ManualClock& ticks = testing_doubles::Doubles().clock;

  ClockFixture() {
    for (ClockDisplay* d : {&race, &rider}) {
      for (auto& digit : d->digits) digit = new TDigit(&panel);
      d->hourSeparator = new QLabel(":", &panel);
      d->minuteSeparator = new QLabel(".", &panel);
      d->secondSeparator = new QLabel(",", &panel);
    }
    race.hourCaption = new QLabel("Std.", &panel);
    race.minuteCaption = new QLabel("Min.", &panel);
    race.secondCaption = new QLabel("Sek.", &panel);
    race.tenthCaption = new QLabel("1/10", &panel);
    clock = std::make_unique<RaceClock>(race, rider);
    clock->AutoStartInterval = [this] { return interval; };
    clock->ApplyClockColours({kPanel, kRaceBright, kDim, kRiderBright});
  }

  uint32_t interval = 30000;

  static std::vector<int> Values(const ClockDisplay& d) {
    std::vector<int> v;
    for (TDigit* digit : d.digits) v.push_back(digit->Value());
    return v;
  }
  static std::vector<TColor> Colours(const ClockDisplay& d) {
    std::vector<TColor> v;
    for (TDigit* digit : d.digits) v.push_back(digit->ColorOn());
    return v;
  }
  static TColor LabelColour(QLabel* label) { return FromQColor(label->palette().color(QPalette::WindowText)); }
};

}  // namespace

TEST_F(ClockFixture, ApplyColoursGivesBaseColours) {
  for (const ClockDisplay* d : {&race, &rider}) {
    for (TDigit* digit : d->digits) {
      EXPECT_EQ(digit->ColorOn(), kRaceBright);
      EXPECT_EQ(digit->ColorOff(), kPanel);
      EXPECT_EQ(digit->Color(), kPanel);
    }
    EXPECT_EQ(LabelColour(d->secondSeparator), kRaceBright);
  }
  EXPECT_EQ(LabelColour(race.tenthCaption), kRaceBright);
}

TEST_F(ClockFixture, ZeroDisplaysBrightAndDim) {
  clock->ShowTime(RaceClock::RaceDisplay, 0);
  clock->ShowTime(RaceClock::RiderDisplay, 0);
  EXPECT_EQ(Values(race), (std::vector<int>{0, 0, 0, 0, 0, 0}));
  // Race display: only the seconds units and the tenths bright.
  EXPECT_EQ(Colours(race), (std::vector<TColor>{kDim, kDim, kDim, kDim, kRaceBright, kRaceBright}));
  EXPECT_EQ(LabelColour(race.hourSeparator), kDim);
  EXPECT_EQ(LabelColour(race.hourCaption), kDim);
  EXPECT_EQ(LabelColour(race.minuteSeparator), kDim);
  EXPECT_EQ(LabelColour(race.minuteCaption), kDim);
  EXPECT_EQ(LabelColour(race.secondSeparator), kRaceBright);
  EXPECT_EQ(LabelColour(race.secondCaption), kRaceBright);
  EXPECT_EQ(LabelColour(race.tenthCaption), kRaceBright);
  // Rider display: dim throughout.
  EXPECT_EQ(Colours(rider), (std::vector<TColor>(6, kDim)));
  EXPECT_EQ(LabelColour(rider.secondSeparator), kDim);
}

TEST_F(ClockFixture, DigitsAndDimmingFollowTheTime) {
  clock->ShowTime(RaceClock::RiderDisplay, 65200);  // 1.05,2
  EXPECT_EQ(Values(rider), (std::vector<int>{0, 0, 1, 0, 5, 2}));
  EXPECT_EQ(Colours(rider), (std::vector<TColor>{kDim, kDim, kRiderBright, kRiderBright, kRiderBright, kRiderBright}));
  EXPECT_EQ(LabelColour(rider.hourSeparator), kDim);
  EXPECT_EQ(LabelColour(rider.minuteSeparator), kRiderBright);

  clock->ShowTime(RaceClock::RaceDisplay, 12960);  // 12.96 s shows 13,0
  EXPECT_EQ(Values(race), (std::vector<int>{0, 0, 0, 1, 3, 0}));
  EXPECT_EQ(Colours(race)[3], kRaceBright);
  EXPECT_EQ(Colours(race)[2], kDim);

  clock->ShowTime(RaceClock::RaceDisplay, 949);
  EXPECT_EQ(Values(race), (std::vector<int>{0, 0, 0, 0, 0, 9}));
  clock->ShowTime(RaceClock::RaceDisplay, 950);  // cs 95 -> 10 tenths
  EXPECT_EQ(Values(race), (std::vector<int>{0, 0, 0, 0, 1, 0}));
  clock->ShowTime(RaceClock::RaceDisplay, 1050);  // cs 105 -> 10 tenths (even)
  EXPECT_EQ(Values(race), (std::vector<int>{0, 0, 0, 0, 1, 0}));

  // Ten hours and more: the hours digit shows hours mod 10 but stays bright.
  clock->ShowTime(RaceClock::RaceDisplay, 10 * 3600000 + 61000);
  EXPECT_EQ(Values(race), (std::vector<int>{0, 0, 1, 0, 1, 0}));
  EXPECT_EQ(Colours(race)[0], kRaceBright);
  EXPECT_EQ(LabelColour(race.hourCaption), kRaceBright);
}

TEST_F(ClockFixture, CountdownWhileAutoStartIsOn) {
  clock->AutoStartActive = true;
  clock->ShowTime(RaceClock::RiderDisplay, 0);  // the whole interval: 0:00.30,0
  EXPECT_EQ(Values(rider), (std::vector<int>{0, 0, 0, 3, 0, 0}));
  EXPECT_EQ(Colours(rider), (std::vector<TColor>{kDim, kDim, kDim, kRiderBright, kRiderBright, kRiderBright}));

  clock->ShowTime(RaceClock::RiderDisplay, 12340);  // 17.66 s left -> 17,7
  EXPECT_EQ(Values(rider), (std::vector<int>{0, 0, 0, 1, 7, 7}));

  // Past zero: every digit 0, all dim.
  clock->ShowTime(RaceClock::RiderDisplay, 31500);
  EXPECT_EQ(Values(rider), (std::vector<int>(6, 0)));
  EXPECT_EQ(Colours(rider), (std::vector<TColor>(6, kDim)));
  clock->ShowTime(RaceClock::RiderDisplay, 30000 + 3600000 + 1000);
  EXPECT_EQ(Values(rider), (std::vector<int>(6, 0)));
  EXPECT_EQ(Colours(rider), (std::vector<TColor>(6, kDim)));

  // The race display never counts down.
  clock->ShowTime(RaceClock::RaceDisplay, 5000);
  EXPECT_EQ(Values(race), (std::vector<int>{0, 0, 0, 0, 5, 0}));
}

TEST_F(ClockFixture, TimerRefreshesFromTheTickCounter) {
  ticks.Set(0xFFFFF000u);  // the counter wraps at 2^32 in the middle of the race
  clock->RaceStartTick = ticks.Now();
  clock->RiderRefTick = ticks.Now() + 2000;
  ticks.Set(clock->RaceStartTick + 65200);
  ASSERT_LT(ticks.Now(), clock->RaceStartTick);
  clock->ClockTimer(true, false);
  EXPECT_EQ(Values(race), (std::vector<int>{0, 0, 1, 0, 5, 2}));
  EXPECT_EQ(Values(rider), (std::vector<int>{0, 0, 1, 0, 3, 2}));

  // STOPP disabled and no auto-start: the rider display keeps what it shows.
  ticks.Set(ticks.Now() + 10000);
  clock->ClockTimer(false, false);
  EXPECT_EQ(Values(race), (std::vector<int>{0, 0, 1, 1, 5, 2}));
  EXPECT_EQ(Values(rider), (std::vector<int>{0, 0, 1, 0, 3, 2}));

  // Auto-start checked but no start under it yet: still kept.
  clock->ClockTimer(false, true);
  EXPECT_EQ(Values(rider), (std::vector<int>{0, 0, 1, 0, 3, 2}));

  // With a start under auto-start, the countdown runs.
  clock->AutoStartActive = true;
  clock->AutoStartTick = ticks.Now() - 10000;
  clock->ClockTimer(false, true);
  EXPECT_EQ(Values(rider), (std::vector<int>{0, 0, 0, 2, 0, 0}));
}

TEST_F(ClockFixture, PassingTheSignChangeKeepsDurations) {
  ticks.Set(0x7FFFFFFFu - 500);
  clock->RaceStartTick = ticks.Now();
  ticks.Set(ticks.Now() + 1500);
  clock->ClockTimer(false, false);
  EXPECT_EQ(Values(race), (std::vector<int>{0, 0, 0, 0, 1, 5}));
}

TEST(DatePanel, ShortDateThreeBlanksShortTime) {
  platform::PinFormatLocale(QLocale(QLocale::German, QLocale::Germany));
  const QDateTime at(QDate(2026, 12, 6), QTime(23, 33, 17));
  const QString text = DatePanelText(at);
  EXPECT_TRUE(text.startsWith("06.12.")) << text.toStdString();
  EXPECT_TRUE(text.endsWith("   23:33")) << text.toStdString();
  platform::PinFormatLocale(std::nullopt);
}

TEST_F(ClockFixture, SpokenTextIsWhatTheDigitsShow) {
  clock->ShowTime(RaceClock::RaceDisplay, 12960);
  clock->ShowTime(RaceClock::RiderDisplay, 65200);
  EXPECT_EQ(clock->SpokenText(), "Rennzeit 13,0, Fahrerzeit 1.05,2");
  // The countdown is read as it stands on the rider display.
  clock->AutoStartActive = true;
  clock->ShowTime(RaceClock::RiderDisplay, 5000);
  EXPECT_EQ(clock->SpokenText(), "Rennzeit 13,0, Fahrerzeit 25,0");
}
