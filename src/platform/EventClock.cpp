#include "platform/EventClock.h"

#include <algorithm>

namespace platform {
namespace {
// a lies before b on the circle of 2^32; the values compared are never 2^31 apart.
bool Before(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; }
}  // namespace

uint32_t EventTimeEstimator::TickOf(uint64_t stamp, uint32_t handlingTick) {
  if (stamp == 0) return handlingTick;
  const uint32_t difference = handlingTick - static_cast<uint32_t>(stamp);
  const std::optional<uint32_t> offset = Offset();
  if (!offset) {
    Learn(difference, handlingTick);
    return handlingTick;
  }
  const int32_t delay = static_cast<int32_t>(difference - *offset);
  if (delay > kMaxTrustedDelayMs || delay < -kMaxTrustedDelayMs) {
    Reset();
    Learn(difference, handlingTick);
    return handlingTick;
  }
  Learn(difference, handlingTick);
  // A negative delay is a faster delivery than any before: this event sets the offset itself.
  return delay > 0 ? handlingTick - static_cast<uint32_t>(delay) : handlingTick;
}

void EventTimeEstimator::Reset() { count_ = 0; }

std::optional<uint32_t> EventTimeEstimator::Offset() const {
  if (count_ == 0) return std::nullopt;
  uint32_t smallest = spans_[0].smallest;
  for (size_t i = 1; i < count_; ++i)
    if (Before(spans_[i].smallest, smallest)) smallest = spans_[i].smallest;
  return smallest;
}

void EventTimeEstimator::Learn(uint32_t difference, uint32_t handlingTick) {
  if (count_ > 0) {
    Span& newest = spans_[count_ - 1];
    if (handlingTick - newest.start < kSpanMs) {
      if (Before(difference, newest.smallest)) newest.smallest = difference;
      return;
    }
  }
  if (count_ == kSpans) {
    std::rotate(spans_.begin(), spans_.begin() + 1, spans_.end());
    --count_;
  }
  spans_[count_++] = Span{handlingTick, difference};
}

}  // namespace platform
