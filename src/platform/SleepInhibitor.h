#pragma once
// Keeps the desktop from blanking the screen or suspending while a race runs: an inhibition of
// the screen saver on the session bus and a "block" inhibitor of logind on the system bus. Both
// are best effort; a desktop without them simply does not get asked.
#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace platform {

class SleepInhibitor : public QObject {
  Q_OBJECT
public:
  // The buses are made by factories at the first Hold, so a program that never starts a race
  // never connects to them. The default uses the session and the system bus.
  explicit SleepInhibitor(QObject* parent = nullptr);
  SleepInhibitor(std::function<QDBusConnection()> session, std::function<QDBusConnection()> system,
                 QObject* parent = nullptr);
  ~SleepInhibitor() override;
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;

  // Asks both services without waiting for them; a second Hold while held does nothing.
  void Hold(const QString& reason);
  // Gives back what was granted; a grant that arrives later is given back as it arrives.
  void Release();

  bool Holding() const { return holding_; }
  bool ScreenSaverGranted() const { return cookie_.has_value(); }
  bool SleepGranted() const { return sleepLock_.isValid(); }

private:
  void AskScreenSaver(const QString& reason);
  void AskLogin(const QString& reason);
  // True while a reply of the given generation may still be kept.
  bool Wants(uint64_t generation) const { return holding_ && generation == generation_; }

  std::function<QDBusConnection()> sessionFactory_;
  std::function<QDBusConnection()> systemFactory_;
  std::optional<QDBusConnection> session_;
  std::optional<QDBusConnection> system_;
  bool holding_ = false;
  uint64_t generation_ = 0;  // one per Hold and per Release, so late replies can be told apart
  std::optional<uint32_t> cookie_;
  QDBusUnixFileDescriptor sleepLock_;  // logind keeps the inhibitor while this stays open
};

}  // namespace platform
