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

bool UsesBootTimeTicks() { return activeSource == nullptr; }

void ManualClock::Attach(Timer* timer) {
  if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end()) timers_.push_back(timer);
}

void ManualClock::Detach(Timer* timer) {
  timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
}

ManualClock::~ManualClock() {
  // Timers that outlive the clock go back to doing nothing rather than touching a dead clock.
  for (Timer* t : timers_) t->manual_ = nullptr;
}

void ManualClock::Advance(uint32_t ms) {
  const uint32_t target = now_ + ms;
  // Due times are compared as signed distances from now, so the counter may wrap on the way and
  // a timer left behind by Set() counts as overdue rather than 49 days away.
  for (;;) {
    Timer* next = nullptr;
    int64_t nextDistance = 0;
    const int64_t remaining = static_cast<uint32_t>(target - now_);
    for (Timer* t : timers_) {
      const int64_t distance = static_cast<int32_t>(t->due_ - now_);
      if (distance <= remaining && (!next || distance < nextDistance)) {
        next = t;
        nextDistance = distance;
      }
    }
    if (!next) break;
    if (nextDistance > 0) now_ = next->due_;
    next->due_ = now_ + next->Period();
    next->Fire();
  }
  now_ = target;
}

}  // namespace platform
