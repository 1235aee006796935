#include "widgets/LbButtons.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitResourcesOnce() { Q_INIT_RESOURCE(widgets); }

void InitWidgetResources() {
  static const bool done = (InitResourcesOnce(), true);
  (void)done;
}

QImage LbArrowBitmap() {
  InitWidgetResources();
  static const QImage arrow = QImage(QStringLiteral(":/widgets/LBARROW.png"))
                                  .convertToFormat(QImage::Format_ARGB32);
  return arrow;
}

TColor LbFadeColor(TColor from, TColor to, int level) {
  const TColor a = ColorToRGB(from);
  const TColor b = ColorToRGB(to);
  const double t = level / 8.0;
  TColor result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const double ca = (a >> shift) & 0xFF;
    const double cb = (b >> shift) & 0xFF;
    const auto channel = static_cast<TColor>(std::trunc((1.0 - t) * ca + t * cb));
    result |= (channel & 0xFF) << shift;
  }
  return result;
}

namespace {
int& PinnedDepth() {
  static int depth = 0;
  return depth;
}
TLbSleep& FadeSleep() {
  static TLbSleep sleep;
  return sleep;
}
}  // namespace

int LbScreenDepth() {
  if (PinnedDepth() > 0) return PinnedDepth();
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->depth() : 32;
}

void SetLbScreenDepth(int bitsPerPixel) { PinnedDepth() = bitsPerPixel; }

void SetLbFadeSleep(TLbSleep sleep) { FadeSleep() = std::move(sleep); }

TLbButtonThread::TLbButtonThread(std::function<void()> step)
    : step_(std::move(step)), sleep_(FadeSleep()), receiver_(new QObject) {
  if (!sleep_) {
    sleep_ = [](std::chrono::milliseconds duration, std::stop_token stop) {
      std::mutex m;
      std::condition_variable_any cv;
      std::unique_lock lock(m);
      cv.wait_for(lock, stop, duration, [] { return false; });
    };
  }
  worker_ = std::jthread([this](std::stop_token stop) { Execute(stop); });
}

TLbButtonThread::~TLbButtonThread() {
  Stop();
  // Deleting the receiver drops a step still queued for it.
  delete receiver_;
}

void TLbButtonThread::Resume() {
  {
    std::lock_guard lock(mutex_);
    if (!suspended_) return;
    suspended_ = false;
  }
  wake_.notify_all();
}

void TLbButtonThread::Suspend() {
  std::lock_guard lock(mutex_);
  suspended_ = true;
}

bool TLbButtonThread::Suspended() const {
  std::lock_guard lock(mutex_);
  return suspended_;
}

void TLbButtonThread::Stop() {
  if (!worker_.joinable()) return;
  // The stop request wakes the worker from every wait of its own: suspended, sleeping, or
  // waiting for a step the user-interface thread has not run (and now never will).
  worker_.request_stop();
  worker_.join();
}

void TLbButtonThread::RunStep() {
  // On the user-interface thread; the receiver's lifetime guarantees this object is alive.
  if (!worker_.get_stop_token().stop_requested() && step_) step_();
  {
    std::lock_guard lock(mutex_);
    stepDone_ = true;
  }
  wake_.notify_all();
}

void TLbButtonThread::Execute(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (!stop.stop_requested()) {
    wake_.wait(lock, stop, [this] { return !suspended_; });
    if (stop.stop_requested()) break;
    lock.unlock();
    sleep_(kInterval, stop);
    lock.lock();
    if (stop.stop_requested()) break;
    stepDone_ = false;
    lock.unlock();
    QMetaObject::invokeMethod(receiver_, [this] { RunStep(); }, Qt::QueuedConnection);
    lock.lock();
    wake_.wait(lock, stop, [this] { return stepDone_; });
  }
}
