#include "desktop/DesktopStandIn.h"

#include <QDBusConnectionInterface>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QVariantMap>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace testing_desktop {
namespace {

const QString kConnectionName = QStringLiteral("stand-in");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kUPowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString kDisplayDevicePath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

QString NameOf(DesktopStandIn::Service service) {
  switch (service) {
    case DesktopStandIn::Service::ScreenSaver: return QStringLiteral("org.freedesktop.ScreenSaver");
    case DesktopStandIn::Service::Login: return QStringLiteral("org.freedesktop.login1");
    case DesktopStandIn::Service::UPower: return QStringLiteral("org.freedesktop.UPower");
  }
  return {};
}

constexpr DesktopStandIn::Service kServices[] = {DesktopStandIn::Service::ScreenSaver,
                                                 DesktopStandIn::Service::Login,
                                                 DesktopStandIn::Service::UPower};

}  // namespace

// One object path of the stand-in; every call on it goes to the stand-in.
class DesktopStandIn::Node : public QDBusVirtualObject {
public:
  explicit Node(DesktopStandIn* owner) : owner_(owner) {}
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
    owner_->Handle(message);
    return true;
  }

private:
  DesktopStandIn* owner_;
};

DesktopStandIn::DesktopStandIn()
    : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnectionName)) {
  for (const QString& path : {kScreenSaverPath, kLoginPath, kUPowerPath, kDisplayDevicePath}) {
    nodes_.push_back(std::make_unique<Node>(this));
    bus_.registerVirtualObject(path, nodes_.back().get());
  }
  for (Service service : kServices) Set(service, Behaviour::Answer);
}

DesktopStandIn::~DesktopStandIn() {
  for (Service service : kServices) bus_.unregisterService(NameOf(service));
  for (const QString& path : {kScreenSaverPath, kLoginPath, kUPowerPath, kDisplayDevicePath}) {
    bus_.unregisterObject(path);
  }
  QDBusConnection::disconnectFromBus(kConnectionName);
  for (int fd : sleepReadEnds_) ::close(fd);
}

bool DesktopStandIn::Ready() const {
  if (!bus_.isConnected()) return false;
  for (Service service : kServices) {
    const bool owned = bus_.interface()->serviceOwner(NameOf(service)).value() == bus_.baseService();
    if (owned != (behaviour_.at(service) != Behaviour::Absent)) return false;
  }
  return true;
}

void DesktopStandIn::Set(Service service, Behaviour behaviour) {
  const auto old = behaviour_.find(service);
  const bool wasAbsent = old != behaviour_.end() && old->second == Behaviour::Absent;
  const bool registered = old != behaviour_.end() && !wasAbsent;
  behaviour_[service] = behaviour;
  if (behaviour == Behaviour::Absent && registered) bus_.unregisterService(NameOf(service));
  if (behaviour != Behaviour::Absent && !registered) bus_.registerService(NameOf(service));
}

void DesktopStandIn::AnswerDeferred() {
  std::vector<QDBusMessage> calls;
  calls.swap(deferred_);
  for (const QDBusMessage& call : calls) Answer(call);
}

int DesktopStandIn::SleepInhibitorsOpen() const {
  int open = 0;
  for (int fd : sleepReadEnds_) {
    pollfd entry{fd, POLLIN, 0};
    // The read end of a pipe hangs up once every copy of the write end is closed.
    if (::poll(&entry, 1, 0) == 0 || !(entry.revents & POLLHUP)) ++open;
  }
  return open;
}

void DesktopStandIn::AnnounceBattery() {
  const struct {
    QString path, interface, name;
    QVariant value;
  } changes[] = {
      {kUPowerPath, QStringLiteral("org.freedesktop.UPower"), QStringLiteral("OnBattery"), onBattery_},
      {kDisplayDevicePath, QStringLiteral("org.freedesktop.UPower.Device"), QStringLiteral("Percentage"),
       percentage_},
  };
  for (const auto& change : changes) {
    QDBusMessage signal = QDBusMessage::createSignal(change.path, kProperties, QStringLiteral("PropertiesChanged"));
    signal << change.interface << QVariantMap{{change.name, change.value}} << QStringList();
    bus_.send(signal);
  }
}

DesktopStandIn::Service DesktopStandIn::ServiceAt(const QString& path) {
  if (path == kScreenSaverPath) return Service::ScreenSaver;
  if (path == kLoginPath) return Service::Login;
  return Service::UPower;
}

void DesktopStandIn::Handle(const QDBusMessage& message) {
  const QString member = message.member();
  const QList<QVariant> args = message.arguments();
  const Service service = ServiceAt(message.path());
  bool grantable = false;  // a call that Refuse and Defer act on
  switch (service) {
    case Service::ScreenSaver:
      if (member == QLatin1String("Inhibit") && message.signature() == QLatin1String("ss")) {
        ++screenSaverInhibitCalls_;
        lastApplication_ = args[0].toString();
        lastReason_ = args[1].toString();
        grantable = true;
      } else if (member == QLatin1String("UnInhibit") && message.signature() == QLatin1String("u")) {
        ++screenSaverUnInhibitCalls_;
        cookies_.erase(args[0].toUInt());
        if (message.isReplyRequired()) bus_.send(message.createReply());
        return;
      }
      break;
    case Service::Login:
      if (member == QLatin1String("Inhibit") && message.signature() == QLatin1String("ssss")) {
        ++sleepInhibitCalls_;
        lastWhat_ = args[0].toString();
        lastWho_ = args[1].toString();
        lastWhy_ = args[2].toString();
        lastMode_ = args[3].toString();
        grantable = true;
      }
      break;
    case Service::UPower:
      if (message.interface() == kProperties && member == QLatin1String("Get") &&
          message.signature() == QLatin1String("ss")) {
        ++propertyReads_;
        grantable = true;
      }
      break;
  }
  if (!grantable) {
    Refuse(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
           QStringLiteral("The stand-in does not know %1 with signature \"%2\"").arg(member, message.signature()));
    return;
  }
  switch (behaviour_.at(service)) {
    case Behaviour::Refuse:
      Refuse(message, QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"), QStringLiteral("Refused"));
      return;
    case Behaviour::Defer: deferred_.push_back(message); return;
    case Behaviour::Answer:
    case Behaviour::Absent:  // reached by a call already on its way when the name went
      Answer(message);
      return;
  }
}

void DesktopStandIn::Answer(const QDBusMessage& message) {
  switch (ServiceAt(message.path())) {
    case Service::ScreenSaver: {
      const uint32_t cookie = nextCookie_++;
      cookies_.insert(cookie);
      Reply(message, QVariant::fromValue(cookie));
      return;
    }
    case Service::Login: {
      int ends[2];
      if (::pipe2(ends, O_CLOEXEC) != 0) {
        Refuse(message, QStringLiteral("org.freedesktop.DBus.Error.Failed"), QStringLiteral("No pipe"));
        return;
      }
      sleepReadEnds_.push_back(ends[0]);
      const QDBusUnixFileDescriptor writeEnd(ends[1]);  // a copy; the message carries its own
      ::close(ends[1]);
      Reply(message, QVariant::fromValue(writeEnd));
      return;
    }
    case Service::UPower: {
      const QString interface = message.arguments().value(0).toString();
      const QString name = message.arguments().value(1).toString();
      if (message.path() == kUPowerPath && interface == QLatin1String("org.freedesktop.UPower") &&
          name == QLatin1String("OnBattery")) {
        Reply(message, QVariant::fromValue(QDBusVariant(onBattery_)));
      } else if (message.path() == kDisplayDevicePath &&
                 interface == QLatin1String("org.freedesktop.UPower.Device") &&
                 name == QLatin1String("Percentage")) {
        Reply(message, QVariant::fromValue(QDBusVariant(percentage_)));
      } else {
        Refuse(message, QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
               QStringLiteral("No property %1.%2 at %3").arg(interface, name, message.path()));
      }
      return;
    }
  }
}

void DesktopStandIn::Reply(const QDBusMessage& message, const QVariant& value) {
  bus_.send(message.createReply(value));
}

void DesktopStandIn::Refuse(const QDBusMessage& message, const QString& error, const QString& text) {
  bus_.send(message.createErrorReply(error, text));
}

}  // namespace testing_desktop
