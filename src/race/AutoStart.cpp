#include "race/AutoStart.h"

#include <algorithm>

#include "race/RaceClock.h"

AutoStart::AutoStart(RaceClock& clock) : clock_(clock) {
  timer_.SetInterval(static_cast<uint32_t>(seconds_) * 1000u);
  timer_.OnTimer = [this](QObject*) {
    // The timer keeps running whether or not the start happens: a skipped start is tried again
    // one interval later.
    if (ClickStart) ClickStart();
  };
  clock_.AutoStartInterval = [this] { return timer_.Interval(); };
}

void AutoStart::SetChecked(bool checked) {
  checked_ = checked;
  if (!checked) {
    timer_.SetEnabled(false);
    clock_.AutoStartTick = 0;
  }
  clock_.AutoStartActive = checked;
  if (OnIntervalFieldEnabled) OnIntervalFieldEnabled(!checked);
}

void AutoStart::SetIntervalSeconds(int seconds) {
  seconds_ = std::clamp(seconds, kMinSeconds, kMaxSeconds);
  timer_.SetInterval(static_cast<uint32_t>(seconds_) * 1000u);
}

void AutoStart::Restart(uint32_t startTick) {
  timer_.SetEnabled(false);
  timer_.SetInterval(static_cast<uint32_t>(seconds_) * 1000u);
  clock_.AutoStartTick = startTick;
  timer_.SetEnabled(true);
}
