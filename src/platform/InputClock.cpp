#include "platform/InputClock.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputEvent>
#include <ctime>

#include "platform/Tick.h"

namespace platform {
namespace {

int64_t Milliseconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Milliseconds the machine has spent suspended since it booted.
int64_t SleptMs() { return Milliseconds(CLOCK_BOOTTIME) - Milliseconds(CLOCK_MONOTONIC); }

bool StampsFromWindowSystem() {
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
}

}  // namespace

InputClock::InputClock(QObject* parent) : QObject(parent), trustedPlatform_(StampsFromWindowSystem()) {
  if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
}

InputClock::~InputClock() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

bool InputClock::TrustsStamps() const { return trustedPlatform_ && UsesBootTimeTicks(); }

uint32_t InputClock::TickOf(const QInputEvent* event) {
  const uint32_t now = GetTickCount();
  if (!event || !TrustsStamps()) return now;
  if (event == lastEvent_ && event->type() == lastType_ && event->timestamp() == lastStamp_) return lastTick_;
  const int64_t slept = SleptMs();
  // Both clocks are read in whole milliseconds: a step of one is rounding, not a suspend.
  if (sleptMs_ >= 0 && (slept - sleptMs_ > 1 || slept - sleptMs_ < -1)) estimator_.Reset();
  sleptMs_ = slept;
  lastEvent_ = event;
  lastType_ = event->type();
  lastStamp_ = event->timestamp();
  lastTick_ = estimator_.TickOf(event->timestamp(), now);
  return lastTick_;
}

bool InputClock::eventFilter(QObject*, QEvent* event) {
  if (event->isInputEvent()) TickOf(static_cast<const QInputEvent*>(event));
  return false;
}

}  // namespace platform
