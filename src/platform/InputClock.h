#pragma once
// The time a press was made. Watches every input event of the application to learn how the
// window system's event clock lies against the tick counter, and tells the tick at which a given
// event was made, so a press that waited while the window was busy keeps its own time.
//
// Stamps are trusted only where they come from a window system (xcb, Wayland) and the tick is
// the real counter. Events without a stamp (synthesized ones, the offscreen platform, an
// accessibility action, which brings no event at all) are timed when they are handled.
#include <QObject>
#include <cstdint>

#include "platform/EventClock.h"

class QInputEvent;

namespace platform {

class InputClock : public QObject {
public:
  explicit InputClock(QObject* parent = nullptr);
  ~InputClock() override;
  InputClock(const InputClock&) = delete;
  InputClock& operator=(const InputClock&) = delete;

  // The tick at which the event was made; nullptr or an event without a usable stamp: now.
  uint32_t TickOf(const QInputEvent* event);

  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  bool TrustsStamps() const;

  EventTimeEstimator estimator_;
  bool trustedPlatform_ = false;
  // The event last timed: one event is handed to several receivers in turn and keeps its time.
  const QEvent* lastEvent_ = nullptr;
  int lastType_ = 0;
  uint64_t lastStamp_ = 0;
  uint32_t lastTick_ = 0;
  // The boot-time clock runs on through a suspend, the event clocks do not: when the distance
  // between the boot-time and the monotonic clock grows, the learnt offset is outdated.
  int64_t sleptMs_ = -1;
};

}  // namespace platform
