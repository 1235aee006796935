#include "race/RaceClock.h"

#include <QLabel>
#include <QPalette>

#include "platform/LocaleFormats.h"
#include "platform/Tick.h"
#include "race/TimeText.h"
#include "widgets/Udigit.h"

void SetLabelColour(QLabel* label, TColor colour) {
  if (!label) return;
  const QColor wanted = ToQColor(colour);
  if (label->palette().color(QPalette::WindowText) == wanted) return;
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, wanted);
  label->setPalette(palette);
}

RaceClock::RaceClock(const ClockDisplay& race, const ClockDisplay& rider) : race_(race), rider_(rider) {}

void RaceClock::ApplyClockColours(const ClockColours& colours) {
  colours_ = colours;
  for (const ClockDisplay* display : {&race_, &rider_}) {
    for (TDigit* digit : display->digits) {
      if (!digit) continue;
      digit->SetColorOn(colours.raceBright);
      digit->SetColorOff(colours.panel);
      digit->SetColor(colours.panel);
    }
    for (QLabel* label : {display->hourSeparator, display->minuteSeparator, display->secondSeparator,
                          display->hourCaption, display->minuteCaption, display->secondCaption,
                          display->tenthCaption}) {
      SetLabelColour(label, colours.raceBright);
    }
  }
}

void RaceClock::ShowTime(Display display, int32_t ms) {
  // Pascal-style arithmetic throughout: division truncates toward zero, so a countdown past
  // zero gives values outside 0..9, which the digits show as 0, and sums that are never > 0.
  int64_t cs = ms / 10;
  if (display == RiderDisplay && AutoStartActive) {
    const int64_t interval = AutoStartInterval ? AutoStartInterval() : 0;
    cs = interval / 10 - cs;
  }
  const int64_t t = RoundHalfEven(cs, 10);
  const int64_t h = (t / 36000) % 100, m = (t / 600) % 60, s = (t / 10) % 60, f = t % 10;
  shownTenths_[display] = t;

  const ClockDisplay& d = DisplayOf(display);
  const int64_t values[6] = {h % 10, m / 10, m % 10, s / 10, s % 10, f};
  for (int i = 0; i < 6; ++i) {
    if (d.digits[i]) d.digits[i]->SetValue(static_cast<int32_t>(values[i]));
  }

  const TColor bright = display == RaceDisplay ? colours_.raceBright : colours_.riderBright;
  auto shade = [&](bool lit) { return lit ? bright : colours_.dim; };
  const TColor hourColour = shade(h > 0);
  const TColor minuteUnitsColour = shade(h + m > 0);
  auto paint = [](TDigit* digit, TColor colour) {
    if (digit) digit->SetColorOn(colour);
  };
  paint(d.digits[0], hourColour);
  paint(d.digits[1], shade(h + m / 10 > 0));
  paint(d.digits[2], minuteUnitsColour);
  paint(d.digits[3], shade(h + m + s / 10 > 0));
  SetLabelColour(d.hourSeparator, hourColour);
  SetLabelColour(d.hourCaption, hourColour);
  SetLabelColour(d.minuteSeparator, minuteUnitsColour);
  SetLabelColour(d.minuteCaption, minuteUnitsColour);
  if (display == RiderDisplay) {
    const TColor secondsColour = shade(h + m + s + f > 0);
    paint(d.digits[4], secondsColour);
    paint(d.digits[5], secondsColour);
    SetLabelColour(d.secondSeparator, secondsColour);
  }
}

QString RaceClock::SpokenText() const {
  auto text = [this](Display display) { return FormatDuration(static_cast<int32_t>(shownTenths_[display] * 100)); };
  return QStringLiteral("Rennzeit ") + text(RaceDisplay) + QStringLiteral(", Fahrerzeit ") + text(RiderDisplay);
}

void RaceClock::ClockTimer(bool stopEnabled, bool autoStartChecked) {
  ShowTime(RaceDisplay, TickDiff(platform::GetTickCount(), RaceStartTick));
  if (stopEnabled) {
    ShowTime(RiderDisplay, TickDiff(platform::GetTickCount(), RiderRefTick));
  } else if (autoStartChecked && AutoStartTick != 0) {
    ShowTime(RiderDisplay, TickDiff(platform::GetTickCount(), AutoStartTick));
  }
}

QString DatePanelText(const QDateTime& now) {
  const QLocale locale = platform::FormatLocale();
  return locale.toString(now.date(), platform::ShortDateFormat()) + "   " +
         locale.toString(now.time(), platform::ShortTimeFormat());
}
