#pragma once
// Watches the charge of the battery through UPower while a race runs, so the window can warn
// before a laptop dies at the timing line. Only a low charge on battery counts; everything else,
// including a desktop without UPower, is "not low".
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/Timer.h"

namespace platform {

class BatteryMonitor : public QObject {
  Q_OBJECT
public:
  static constexpr double kLowPercent = 20.0;
  static constexpr uint32_t kPollMs = 60000;

  // The system bus, connected at the first SetWatching(true).
  explicit BatteryMonitor(QObject* parent = nullptr);
  explicit BatteryMonitor(std::function<QDBusConnection()> system, QObject* parent = nullptr);
  ~BatteryMonitor() override;
  BatteryMonitor(const BatteryMonitor&) = delete;
  BatteryMonitor& operator=(const BatteryMonitor&) = delete;

  // While watching, asks UPower at once, every kPollMs and whenever UPower announces a change;
  // stopping reports "not low" if it was low.
  void SetWatching(bool watching);
  bool Watching() const { return watching_; }

  // Called when the state changes: the charge in percent while on battery below kLowPercent,
  // nullopt otherwise. A change of the whole-number percent while low counts as a change.
  std::function<void(std::optional<double> lowPercent)> OnChanged;

private slots:
  void PropertiesChanged(const QString& interface, const QVariantMap& changed,
                         const QStringList& invalidated);

private:
  void Poll();
  void AskPercentage(uint64_t poll);
  void Report(std::optional<double> lowPercent);
  void Subscribe(bool on);

  std::function<QDBusConnection()> systemFactory_;
  std::optional<QDBusConnection> system_;
  bool watching_ = false;
  uint64_t poll_ = 0;  // the latest poll; replies of older ones are dropped
  std::optional<long> reportedWhole_;  // the whole percent last reported as low
  Timer timer_;
};

// The window's warning line for that charge, the percent rounded to a whole number.
QString BatteryWarningText(double percent);

}  // namespace platform
