#pragma once
// The main window: its frame and the wiring of the parts.
#include <QMainWindow>
#include <memory>

#include "race/RaceClock.h"

class QLabel;
class QFrame;
class TDigit;
namespace platform { class Timer; }

class TFormMain : public QMainWindow {
  Q_OBJECT
public:
  static constexpr const char* kVersion = "0.96";
  static constexpr int kDesignWidth = 804;
  static constexpr int kDesignHeight = 556;

  explicit TFormMain(QWidget* parent = nullptr);
  ~TFormMain() override;

  RaceClock& Clock() { return *raceClock_; }
  QFrame* PanelTimer = nullptr;
  QLabel* PanelDate = nullptr;
  platform::Timer* TimerDate = nullptr;

  // Race display, then rider display.
  TDigit *Digit2, *Digit3, *Digit4, *Digit5, *Digit6, *Digit7;
  TDigit *Digit13, *Digit15, *Digit16, *Digit18, *Digit19, *Digit21;
  QLabel *LabHour, *LabMin, *LabSec, *LabHour2, *LabMin2, *LabSec2;

  void TimerDateTimer();

private:
  QWidget* BuildTitleBar(QWidget* parent);
  QWidget* BuildClockArea(QWidget* parent);
  ClockDisplay BuildDisplay(QWidget* panel, int top, bool withCaptions);

  std::unique_ptr<RaceClock> raceClock_;
};
