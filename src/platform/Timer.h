#pragma once
// The program's window timers. Over QTimer in the program; driven by the ManualClock in tests.
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

namespace platform {

class ManualClock;

class Timer : public QObject {
  Q_OBJECT
public:
  explicit Timer(QObject* parent = nullptr);
  ~Timer() override;

  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t ms);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  std::function<void(QObject* sender)> OnTimer;

private:
  friend class ManualClock;
  void Restart();
  void Fire();
  // The interval as a timer can run it: QTimer takes an int, and the manual clock compares due
  // ticks as signed distances.
  uint32_t Period() const { return interval_ > 0x7FFFFFFFu ? 0x7FFFFFFFu : interval_; }

  uint32_t interval_ = 1000;
  bool enabled_ = false;
  QTimer qtimer_;
  ManualClock* manual_ = nullptr;
  uint32_t due_ = 0;  // next due tick while driven by a manual clock
};

}  // namespace platform
