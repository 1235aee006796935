#pragma once
// The input system stamps every event with its own millisecond clock (the X server's under xcb,
// the compositor's under Wayland). A press that waited in the queue while the window was busy
// happened at its stamp, not when it was handled; this carries the stamp onto the tick clock.
//
// The offset between the two clocks is learnt from the events themselves: an event is handled
// no earlier than it was made, so the smallest difference "handling tick - stamp" seen lately is
// the offset (plus the shortest delivery delay, a fraction of a millisecond). Both clocks are
// read modulo 2^32, so the stamp's wrap after 49.7 days costs nothing.
#include <array>
#include <cstdint>
#include <optional>

namespace platform {

class EventTimeEstimator {
public:
  // A difference further than this from the learnt offset is not a queue delay but a jump of
  // one of the clocks (a restarted X server, a suspend): the offset is learnt anew.
  static constexpr int32_t kMaxTrustedDelayMs = 10000;
  // The offset is the smallest difference within the last few spans of this length that saw
  // events, so an outdated minimum leaves once a minute of newer events has come in; a quiet
  // quarter of an hour keeps what was learnt before it.
  static constexpr uint32_t kSpanMs = 10000;
  static constexpr size_t kSpans = 6;

  // The tick at which an event stamped `stamp` and handled at handlingTick was made; learns from
  // the pair. A stamp of 0 carries no time, and the first event has nothing to compare with:
  // both are taken at handlingTick. The result is never later than handlingTick.
  uint32_t TickOf(uint64_t stamp, uint32_t handlingTick);
  // Forgets what was learnt: one of the clocks has jumped.
  void Reset();
  // The learnt offset (tick = stamp + offset, modulo 2^32), if any.
  std::optional<uint32_t> Offset() const;

private:
  struct Span {
    uint32_t start = 0;       // handling tick of the span's first event
    uint32_t smallest = 0;    // smallest difference within the span
  };
  void Learn(uint32_t difference, uint32_t handlingTick);

  std::array<Span, kSpans> spans_{};
  size_t count_ = 0;   // spans in use, newest at index count_ - 1
};

}  // namespace platform
