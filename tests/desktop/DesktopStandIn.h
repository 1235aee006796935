#pragma once
// Stand-ins of the desktop's screen saver, logind and UPower, served from a bus connection of
// their own, so the code under test reaches them through the bus exactly as it reaches the real
// services. Meant for a private bus (run-on-private-bus.sh) that is both session and system bus.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace testing_desktop {

class DesktopStandIn {
public:
  enum class Service { ScreenSaver, Login, UPower };
  enum class Behaviour {
    Answer,  // grants inhibitions, answers property reads
    Refuse,  // error replies to Inhibit and property reads
    Defer,   // keeps those calls unanswered until AnswerDeferred()
    Absent,  // the service's name is not on the bus
  };

  DesktopStandIn();
  ~DesktopStandIn();
  DesktopStandIn(const DesktopStandIn&) = delete;
  DesktopStandIn& operator=(const DesktopStandIn&) = delete;

  // On the bus with every name it should own.
  bool Ready() const;
  void Set(Service service, Behaviour behaviour);
  // Calls held back by Defer, and answering them (in arrival order, as Answer would).
  int Deferred() const { return static_cast<int>(deferred_.size()); }
  void AnswerDeferred();

  // Screen saver: cookies handed out and not yet given back; calls received.
  int ScreenSaverInhibitions() const { return static_cast<int>(cookies_.size()); }
  int ScreenSaverInhibitCalls() const { return screenSaverInhibitCalls_; }
  int ScreenSaverUnInhibitCalls() const { return screenSaverUnInhibitCalls_; }
  QString LastApplication() const { return lastApplication_; }
  QString LastReason() const { return lastReason_; }

  // logind: descriptors handed out that the client still holds open; calls received.
  int SleepInhibitorsOpen() const;
  int SleepInhibitCalls() const { return sleepInhibitCalls_; }
  QString LastWhat() const { return lastWhat_; }
  QString LastWho() const { return lastWho_; }
  QString LastWhy() const { return lastWhy_; }
  QString LastMode() const { return lastMode_; }

  // UPower: the values read through org.freedesktop.DBus.Properties.Get, changed silently;
  // AnnounceBattery() emits PropertiesChanged for both, as UPower does on a change.
  void SetOnBattery(bool onBattery) { onBattery_ = onBattery; }
  void SetPercentage(double percent) { percentage_ = percent; }
  void AnnounceBattery();
  int PropertyReads() const { return propertyReads_; }

private:
  class Node;
  void Handle(const QDBusMessage& message);
  void Answer(const QDBusMessage& message);
  void Reply(const QDBusMessage& message, const QVariant& value);
  void Refuse(const QDBusMessage& message, const QString& error, const QString& text);
  static Service ServiceAt(const QString& path);

  QDBusConnection bus_;
  std::vector<std::unique_ptr<Node>> nodes_;
  std::map<Service, Behaviour> behaviour_;
  std::vector<QDBusMessage> deferred_;

  uint32_t nextCookie_ = 1;
  std::set<uint32_t> cookies_;
  int screenSaverInhibitCalls_ = 0;
  int screenSaverUnInhibitCalls_ = 0;
  QString lastApplication_, lastReason_;

  std::vector<int> sleepReadEnds_;  // read ends of pipes whose write ends were handed out
  int sleepInhibitCalls_ = 0;
  QString lastWhat_, lastWho_, lastWhy_, lastMode_;

  bool onBattery_ = false;
  double percentage_ = 100.0;
  int propertyReads_ = 0;
};

}  // namespace testing_desktop
