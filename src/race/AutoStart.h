#pragma once
// Interval auto-start: one interval after every START the START command is issued again.
#include <cstdint>
#include <functional>

#include "platform/Timer.h"

class RaceClock;

class AutoStart {
public:
  static constexpr int kMinSeconds = 10;
  static constexpr int kMaxSeconds = 600;

  explicit AutoStart(RaceClock& clock);

  // The check box changed (by the operator or the program). Checking does not start the timer:
  // the first automatic start comes one interval after the next START.
  void SetChecked(bool checked);
  bool Checked() const { return checked_; }

  // The interval field changed; its value is clamped into 10 .. 600 seconds.
  void SetIntervalSeconds(int seconds);
  int IntervalSeconds() const { return seconds_; }
  uint32_t IntervalMs() const { return static_cast<uint32_t>(seconds_) * 1000u; }

  // Called by every START made while the box is checked, with the tick the START was made at.
  void Restart(uint32_t startTick);

  platform::Timer& Timer() { return timer_; }

  // Clicks the START command; it acts only while START is enabled.
  std::function<void()> ClickStart;
  // The interval field is editable exactly while auto-start is off.
  std::function<void(bool enabled)> OnIntervalFieldEnabled;

private:
  RaceClock& clock_;
  platform::Timer timer_;
  bool checked_ = false;
  int seconds_ = 30;
};
