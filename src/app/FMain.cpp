#include "app/FMain.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/AppTitle.h"
#include "platform/LocalTime.h"
#include "platform/Timer.h"
#include "widgets/Udigit.h"

namespace {

constexpr int kTitleBarHeight = 33;
constexpr int kClockAreaHeight = 237;
constexpr int kPanelTimerWidth = 398;
constexpr int kPanelDateWidth = 222;

// Clock digit geometry.
constexpr int kDigitWidth = 45;
constexpr int kDigitHeight = 89;
constexpr int kDigitGap = 2;
constexpr int kSeparatorWidth = 22;
constexpr int kRaceRowTop = 10;
constexpr int kRiderRowTop = 132;

QFont PanelFont(int pointSize, bool bold = false) {
  QFont font("Liberation Sans", pointSize);
  font.setBold(bold);
  return font;
}

void MakeBlack(QWidget* widget) {
  widget->setAutoFillBackground(true);
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, Qt::black);
  widget->setPalette(palette);
}

}  // namespace

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(platform::ApplicationTitle() + " " + kVersion);
  setFont(PanelFont(8));
  setMinimumSize(720, 392);
  resize(kDesignWidth, kDesignHeight);

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(BuildTitleBar(central));
  column->addWidget(BuildClockArea(central));
  column->addStretch(1);
  setCentralWidget(central);

  raceClock_ = std::make_unique<RaceClock>(
      BuildDisplay(PanelTimer, kRaceRowTop, true), BuildDisplay(PanelTimer, kRiderRowTop, false));
  raceClock_->ApplyClockColours(ClockColours{});
  raceClock_->ShowTime(RaceClock::RaceDisplay, 0);
  raceClock_->ShowTime(RaceClock::RiderDisplay, 0);

  TimerDate = new platform::Timer(this);
  TimerDate->SetInterval(5000);
  TimerDate->OnTimer = [this](QObject*) { TimerDateTimer(); };
  TimerDate->SetEnabled(true);
  TimerDateTimer();
}

TFormMain::~TFormMain() = default;

QWidget* TFormMain::BuildTitleBar(QWidget* parent) {
  auto* bar = new QFrame(parent);
  bar->setObjectName("PanelTitle");
  bar->setFixedHeight(kTitleBarHeight);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 0, 0, 0);
  row->addStretch(1);

  PanelDate = new QLabel("00:00", bar);
  PanelDate->setObjectName("PanelDate");
  PanelDate->setFixedWidth(kPanelDateWidth);
  PanelDate->setAlignment(Qt::AlignCenter);
  QFont narrow("Liberation Sans Narrow", 12);
  PanelDate->setFont(narrow);
  MakeBlack(PanelDate);
  QPalette palette = PanelDate->palette();
  palette.setColor(QPalette::WindowText, ToQColor(clSilver));
  PanelDate->setPalette(palette);
  row->addWidget(PanelDate);
  return bar;
}

QWidget* TFormMain::BuildClockArea(QWidget* parent) {
  auto* area = new QWidget(parent);
  area->setFixedHeight(kClockAreaHeight);
  PanelTimer = new QFrame(area);
  PanelTimer->setObjectName("PanelTimer");
  PanelTimer->setGeometry(0, 0, kPanelTimerWidth, kClockAreaHeight);
  MakeBlack(PanelTimer);
  return area;
}

// One row of six digits with its ":" "." "," separators, centred in the panel.
ClockDisplay TFormMain::BuildDisplay(QWidget* panel, int top, bool withCaptions) {
  ClockDisplay display;
  const int rowWidth = 6 * kDigitWidth + 2 * kDigitGap + 3 * kSeparatorWidth;
  int x = (kPanelTimerWidth - rowWidth) / 2;
  QFont separatorFont("Liberation Serif", 36, QFont::Bold);

  auto addDigit = [&](int index) {
    auto* digit = new TDigit(panel);
    digit->setGeometry(x, top, kDigitWidth, kDigitHeight);
    digit->SetThickness(5);
    digit->SetSeparation(1);
    display.digits[index] = digit;
    x += kDigitWidth;
    return digit;
  };
  auto addSeparator = [&](const char* text) {
    auto* label = new QLabel(text, panel);
    label->setFont(separatorFont);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    label->setGeometry(x, top, kSeparatorWidth, kDigitHeight);
    x += kSeparatorWidth;
    return label;
  };
  auto addCaption = [&](const char* text, TDigit* under) {
    if (!withCaptions) return static_cast<QLabel*>(nullptr);
    auto* label = new QLabel(text, panel);
    label->setFont(PanelFont(9, true));
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(under->x() - 10, top + kDigitHeight + 4, kDigitWidth + 20, 18);
    return label;
  };

  TDigit* hours = addDigit(0);
  display.hourSeparator = addSeparator(":");
  addDigit(1);
  x += kDigitGap;
  TDigit* minutes = addDigit(2);
  display.minuteSeparator = addSeparator(".");
  addDigit(3);
  x += kDigitGap;
  TDigit* seconds = addDigit(4);
  display.secondSeparator = addSeparator(",");
  TDigit* tenths = addDigit(5);

  display.hourCaption = addCaption("Std.", hours);
  display.minuteCaption = addCaption("Min.", minutes);
  display.secondCaption = addCaption("Sek.", seconds);
  display.tenthCaption = addCaption("1/10", tenths);

  if (withCaptions) {
    Digit2 = display.digits[0]; Digit3 = display.digits[1]; Digit4 = display.digits[2];
    Digit5 = display.digits[3]; Digit6 = display.digits[4]; Digit7 = display.digits[5];
    LabHour = display.hourSeparator; LabMin = display.minuteSeparator; LabSec = display.secondSeparator;
  } else {
    Digit13 = display.digits[0]; Digit15 = display.digits[1]; Digit16 = display.digits[2];
    Digit18 = display.digits[3]; Digit19 = display.digits[4]; Digit21 = display.digits[5];
    LabHour2 = display.hourSeparator; LabMin2 = display.minuteSeparator; LabSec2 = display.secondSeparator;
  }
  return display;
}

void TFormMain::TimerDateTimer() { PanelDate->setText(DatePanelText(platform::Now())); }
