#pragma once
// Drawing helpers and the fade worker of the animated speed button.
#include <QImage>
#include <QObject>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

#include "platform/Color.h"

// Registers the bitmaps of the widgets library (a static library keeps them only when asked).
void InitWidgetResources();

// The drop-down arrow: 5 x 3, black rows of 5, 3 and 1 pixels on a see-through background.
QImage LbArrowBitmap();

// Per channel trunc((1 - level/8) * from + level/8 * to); level 8 gives `to`, 0 gives `from`.
TColor LbFadeColor(TColor from, TColor to, int level);

// Colour depth of the screen; tests may pin it (0 returns to the real one).
int LbScreenDepth();
void SetLbScreenDepth(int bitsPerPixel);

// How the fade worker sleeps between steps; it must return early once the token asks to stop.
using TLbSleep = std::function<void(std::chrono::milliseconds, std::stop_token)>;
// Tests replace the real sleep; an empty function restores it. Taken by threads created later.
void SetLbFadeSleep(TLbSleep sleep);

// The fade worker: sleeps 30 ms, hands one step to the user-interface thread and waits until it
// has run, over and over while resumed. Created suspended. Stopping releases every wait, also a
// step still waiting in the event queue (which is then dropped), so it never deadlocks.
class TLbButtonThread {
public:
  static constexpr std::chrono::milliseconds kInterval{30};

  // The step runs on the thread that creates the worker, which must run an event loop.
  explicit TLbButtonThread(std::function<void()> step);
  ~TLbButtonThread();
  TLbButtonThread(const TLbButtonThread&) = delete;
  TLbButtonThread& operator=(const TLbButtonThread&) = delete;

  void Resume();
  // Called from the user-interface thread, usually by the step itself.
  void Suspend();
  bool Suspended() const;
  // Asks the worker to end and waits for it.
  void Stop();

private:
  void Execute(std::stop_token stop);
  void RunStep();

  std::function<void()> step_;
  TLbSleep sleep_;
  QObject* receiver_;  // lives on the user-interface thread; queued steps die with it
  mutable std::mutex mutex_;
  std::condition_variable_any wake_;
  bool suspended_ = true;
  bool stepDone_ = true;
  std::jthread worker_;
};
