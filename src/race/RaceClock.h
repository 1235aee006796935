#pragma once
// The race clock: the race display and the rider display on seven-segment digits, with
// leading-zero dimming and the auto-start countdown, and the date panel's text.
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

#include "platform/Color.h"

class QLabel;
class TDigit;

// The digits and labels of one display. Captions exist on the race display only.
struct ClockDisplay {
  std::array<TDigit*, 6> digits{};  // hours, minutes tens, minutes units, seconds tens, seconds units, tenths
  QLabel* hourSeparator = nullptr;    // ":"
  QLabel* minuteSeparator = nullptr;  // "."
  QLabel* secondSeparator = nullptr;  // ","
  QLabel* hourCaption = nullptr;      // "Std."
  QLabel* minuteCaption = nullptr;    // "Min."
  QLabel* secondCaption = nullptr;    // "Sek."
  QLabel* tenthCaption = nullptr;     // "1/10"
};

struct ClockColours {
  TColor panel = clBlack;        // background, and the off-colour of every segment
  TColor raceBright = clYellow;  // race digits, and every separator and caption
  TColor dim = 0x404040;         // leading zeros of both displays
  TColor riderBright = clLime;   // rider digits
};

// Sets a label's text colour, repainting only on a change.
void SetLabelColour(QLabel* label, TColor colour);

class RaceClock {
public:
  enum Display { RaceDisplay, RiderDisplay };

  RaceClock(const ClockDisplay& race, const ClockDisplay& rider);

  // Records the colours and gives every digit and label its base colours.
  void ApplyClockColours(const ClockColours& colours);
  const ClockColours& Colours() const { return colours_; }

  void ShowTime(Display display, int32_t ms);
  // What the two displays show, as duration texts: "Rennzeit …, Fahrerzeit …".
  QString SpokenText() const;

  // One refresh of the 10 ms timer. stopEnabled: the selected row is a rider on course;
  // autoStartChecked: the auto-start box is checked.
  void ClockTimer(bool stopEnabled, bool autoStartChecked);

  // The current interval of the auto-start timer in milliseconds.
  std::function<uint32_t()> AutoStartInterval;

  uint32_t RaceStartTick = 0;  // 0: the race has not started
  uint32_t RiderRefTick = 0;
  uint32_t AutoStartTick = 0;  // 0: no start under auto-start yet
  bool AutoStartActive = false;

private:
  const ClockDisplay& DisplayOf(Display display) const { return display == RaceDisplay ? race_ : rider_; }

  ClockDisplay race_;
  ClockDisplay rider_;
  ClockColours colours_;
  std::array<int64_t, 2> shownTenths_{};  // per display, what its digits show
};

// The date panel: the short date, three blanks, the short time of the user's locale.
QString DatePanelText(const QDateTime& now);
