#include "platform/Timer.h"

#include "platform/Tick.h"

namespace platform {

Timer::Timer(QObject* parent) : QObject(parent) {
  qtimer_.setTimerType(Qt::PreciseTimer);
  connect(&qtimer_, &QTimer::timeout, this, &Timer::Fire);
}

Timer::~Timer() {
  if (manual_) manual_->Detach(this);
}

void Timer::SetInterval(uint32_t ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Restart();
}

void Timer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Restart();
}

// As with a window timer, a change of interval or enabled state starts a fresh period.
void Timer::Restart() {
  qtimer_.stop();
  if (manual_) {
    manual_->Detach(this);
    manual_ = nullptr;
  }
  if (!enabled_ || interval_ == 0) return;
  if (ManualClock* clock = ActiveManualClock()) {
    manual_ = clock;
    due_ = clock->Now() + Period();
    clock->Attach(this);
  } else {
    qtimer_.start(static_cast<int>(Period()));
  }
}

void Timer::Fire() {
  if (OnTimer) OnTimer(this);
}

}  // namespace platform
