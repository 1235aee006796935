#include "race/AutoStart.h"

#include <algorithm>

#include "platform/Tick.h"
#include "race/RaceClock.h"
#include "race/TimeText.h"

AutoStart::AutoStart(RaceClock& clock) : clock_(clock) {
  timer_.SetInterval(IntervalMs());
  timer_.OnTimer = [this](QObject*) {
    // The timer keeps running whether or not the start happens: a skipped start is tried again
    // one interval later.
    timer_.SetInterval(IntervalMs());
    if (ClickStart) ClickStart();
  };
  clock_.AutoStartInterval = [this] { return IntervalMs(); };
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
  timer_.SetInterval(IntervalMs());
}

void AutoStart::Restart(uint32_t startTick) {
  timer_.SetEnabled(false);
  // The next start is one interval after this one was made, also when it was handled late.
  const int32_t late = std::clamp(TickDiff(platform::GetTickCount(), startTick), 0, static_cast<int32_t>(IntervalMs()) - 1);
  timer_.SetInterval(IntervalMs() - static_cast<uint32_t>(late));
  clock_.AutoStartTick = startTick;
  timer_.SetEnabled(true);
}
