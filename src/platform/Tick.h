#pragma once
// The millisecond tick counter and the manual clock that replaces it in tests.
#include <cstdint>
#include <vector>

namespace platform {

class TickSource {
public:
  virtual ~TickSource() = default;
  virtual uint32_t Now() = 0;
};

// Milliseconds of CLOCK_BOOTTIME truncated to 32 bits: like the Windows counter it keeps
// counting through a suspend and wraps after 49.7 days.
class BootTimeTickSource : public TickSource {
public:
  uint32_t Now() override;
};

class Timer;

// A tick counter that moves only when told to; it also fires the program's timers, so tests
// run minutes of race time in no time.
class ManualClock : public TickSource {
public:
  explicit ManualClock(uint32_t start = 1000) : now_(start) {}
  ~ManualClock() override;
  ManualClock(const ManualClock&) = delete;
  ManualClock& operator=(const ManualClock&) = delete;
  uint32_t Now() override { return now_; }
  // Sets the counter without firing timers. A timer whose due tick it jumps over is overdue
  // and fires first at the next Advance, as a window timer fires late rather than never.
  void Set(uint32_t tick) { now_ = tick; }
  // Moves the counter forward by ms, firing every timer that falls due on the way, in order
  // of due time; the counter reads the due tick while a timer's handler runs.
  void Advance(uint32_t ms);

private:
  friend class Timer;
  void Attach(Timer* timer);
  void Detach(Timer* timer);
  uint32_t now_;
  std::vector<Timer*> timers_;
};

// The counter every part of the program reads.
uint32_t GetTickCount();

// Replaces the tick source (nullptr restores the boot-time counter). A ManualClock installed
// here also drives every Timer created or re-enabled afterwards.
void SetTickSource(TickSource* source);
ManualClock* ActiveManualClock();
// The counter is the boot-time clock, not a replacement.
bool UsesBootTimeTicks();

}  // namespace platform
