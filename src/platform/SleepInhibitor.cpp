#include "platform/SleepInhibitor.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QtDebug>

namespace platform {
namespace {

const QString kApplication = QStringLiteral("Veltrano");

const QString kScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kScreenSaverInterface = QStringLiteral("org.freedesktop.ScreenSaver");

const QString kLoginService = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kLoginInterface = QStringLiteral("org.freedesktop.login1.Manager");

void UnInhibit(QDBusConnection bus, uint32_t cookie) {
  QDBusMessage call = QDBusMessage::createMethodCall(kScreenSaverService, kScreenSaverPath,
                                                     kScreenSaverInterface, QStringLiteral("UnInhibit"));
  call << cookie;
  bus.send(call);  // the reply, if any, is dropped
}

// The watcher belongs to the application object, not to the inhibitor: a reply that arrives
// after the inhibitor is gone must still be seen, so that its grant can be given back.
QDBusPendingCallWatcher* Watch(const QDBusPendingCall& call) {
  return new QDBusPendingCallWatcher(call, QCoreApplication::instance());
}

}  // namespace

SleepInhibitor::SleepInhibitor(QObject* parent)
    : SleepInhibitor([] { return QDBusConnection::sessionBus(); },
                     [] { return QDBusConnection::systemBus(); }, parent) {}

SleepInhibitor::SleepInhibitor(std::function<QDBusConnection()> session,
                               std::function<QDBusConnection()> system, QObject* parent)
    : QObject(parent), sessionFactory_(std::move(session)), systemFactory_(std::move(system)) {}

SleepInhibitor::~SleepInhibitor() { Release(); }

void SleepInhibitor::Hold(const QString& reason) {
  if (holding_) return;
  holding_ = true;
  ++generation_;
  if (!session_) session_ = sessionFactory_();
  if (!system_) system_ = systemFactory_();
  AskScreenSaver(reason);
  AskLogin(reason);
}

void SleepInhibitor::Release() {
  if (!holding_) return;
  holding_ = false;
  ++generation_;
  if (cookie_) {
    UnInhibit(*session_, *cookie_);
    cookie_.reset();
  }
  // Our copy is the only one left once the reply is gone, so this closes the descriptor.
  sleepLock_ = QDBusUnixFileDescriptor();
}

void SleepInhibitor::AskScreenSaver(const QString& reason) {
  QDBusConnection bus = *session_;
  if (!bus.isConnected()) {
    qInfo("Screen saver not asked: no session bus");
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kScreenSaverService, kScreenSaverPath,
                                                     kScreenSaverInterface, QStringLiteral("Inhibit"));
  call << kApplication << reason;
  QDBusPendingCallWatcher* watcher = Watch(bus.asyncCall(call));
  QPointer<SleepInhibitor> self(this);
  const uint64_t generation = generation_;
  connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
          [self, generation, bus](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            QDBusPendingReply<uint32_t> reply = *finished;
            if (reply.isError()) {
              qInfo("Screen saver not inhibited: %s", qUtf8Printable(reply.error().message()));
              return;
            }
            if (self && self->Wants(generation) && !self->cookie_) {
              self->cookie_ = reply.value();
            } else {
              UnInhibit(bus, reply.value());
            }
          });
}

void SleepInhibitor::AskLogin(const QString& reason) {
  QDBusConnection bus = *system_;
  if (!bus.isConnected()) {
    qInfo("Suspend not inhibited: no system bus");
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kLoginService, kLoginPath, kLoginInterface,
                                                     QStringLiteral("Inhibit"));
  call << QStringLiteral("sleep:idle") << kApplication << reason << QStringLiteral("block");
  QDBusPendingCallWatcher* watcher = Watch(bus.asyncCall(call));
  QPointer<SleepInhibitor> self(this);
  const uint64_t generation = generation_;
  connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
          [self, generation](QDBusPendingCallWatcher* finished) {
            finished->deleteLater();
            QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
            if (reply.isError()) {
              qInfo("Suspend not inhibited: %s", qUtf8Printable(reply.error().message()));
              return;
            }
            if (!reply.value().isValid()) {
              qInfo("Suspend not inhibited: no descriptor in the reply");
              return;
            }
            // A stale descriptor is simply not kept: it closes with the reply.
            if (self && self->Wants(generation) && !self->sleepLock_.isValid()) {
              self->sleepLock_ = reply.value();
            }
          });
}

}  // namespace platform
