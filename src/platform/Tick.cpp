#include "platform/Tick.h"

#include <algorithm>
#include <ctime>

#include "platform/Timer.h"

namespace platform {
namespace {
BootTimeTickSource& RealSource() {
  static BootTimeTickSource source;
  return source;
}
TickSource* activeSource = nullptr;
}  // namespace

uint32_t BootTimeTickSource::Now() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

uint32_t GetTickCount() { return activeSource ? activeSource->Now() : RealSource().Now(); }

void SetTickSource(TickSource* source) { activeSource = source; }

ManualClock* ActiveManualClock() { return dynamic_cast<ManualClock*>(activeSource); }

void ManualClock::Attach(Timer* timer) {
  if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end()) timers_.push_back(timer);
}

void ManualClock::Detach(Timer* timer) {
  timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
}

void ManualClock::Advance(uint32_t ms) {
  const uint32_t target = now_ + ms;
  // Due times are compared as distances from now, so the counter may wrap on the way.
  for (;;) {
    Timer* next = nullptr;
    uint32_t nextDistance = 0;
    for (Timer* t : timers_) {
      const uint32_t distance = t->due_ - now_;
      if (distance <= target - now_ && (!next || distance < nextDistance)) {
        next = t;
        nextDistance = distance;
      }
    }
    if (!next) break;
    now_ = next->due_;
    next->due_ = now_ + next->interval_;
    next->Fire();
  }
  now_ = target;
}

}  // namespace platform
