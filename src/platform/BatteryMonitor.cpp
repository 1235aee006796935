#include "platform/BatteryMonitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QMetaType>
#include <QtGlobal>
#include <cmath>

namespace platform {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kUPowerPath = QStringLiteral("/org/freedesktop/UPower");
const QString kUPowerInterface = QStringLiteral("org.freedesktop.UPower");
const QString kDisplayDevicePath = QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice");
const QString kDeviceInterface = QStringLiteral("org.freedesktop.UPower.Device");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusMessage GetProperty(const QString& path, const QString& interface, const QString& name) {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, path, kProperties, QStringLiteral("Get"));
  call << interface << name;
  return call;
}

long WholePercent(double percent) {
  if (!std::isfinite(percent)) return 0;
  return std::lround(qBound(0.0, percent, 100.0));
}

}  // namespace

BatteryMonitor::BatteryMonitor(QObject* parent)
    : BatteryMonitor([] { return QDBusConnection::systemBus(); }, parent) {}

BatteryMonitor::BatteryMonitor(std::function<QDBusConnection()> system, QObject* parent)
    : QObject(parent), systemFactory_(std::move(system)) {
  timer_.SetInterval(kPollMs);
  timer_.OnTimer = [this](QObject*) { Poll(); };
}

BatteryMonitor::~BatteryMonitor() {
  OnChanged = nullptr;  // nobody is left to tell
  SetWatching(false);
}

void BatteryMonitor::SetWatching(bool watching) {
  if (watching == watching_) return;
  watching_ = watching;
  ++poll_;
  if (watching) {
    if (!system_) system_ = systemFactory_();
    Subscribe(true);
    timer_.SetEnabled(true);
    Poll();
  } else {
    timer_.SetEnabled(false);
    Subscribe(false);
    Report(std::nullopt);
  }
}

void BatteryMonitor::Subscribe(bool on) {
  if (!system_ || !system_->isConnected()) return;
  for (const QString& path : {kUPowerPath, kDisplayDevicePath}) {
    const char* slot = SLOT(PropertiesChanged(QString, QVariantMap, QStringList));
    const QString name = QStringLiteral("PropertiesChanged");
    if (on) system_->connect(kService, path, kProperties, name, this, slot);
    else system_->disconnect(kService, path, kProperties, name, this, slot);
  }
}

// UPower announces a change of the charge or of the power source at once; the poll is there for
// a service that does not.
void BatteryMonitor::PropertiesChanged(const QString& interface, const QVariantMap& changed,
                                       const QStringList& invalidated) {
  if (!watching_) return;
  const QString key = interface == kUPowerInterface    ? QStringLiteral("OnBattery")
                      : interface == kDeviceInterface ? QStringLiteral("Percentage")
                                                      : QString();
  if (key.isEmpty()) return;
  if (changed.contains(key) || invalidated.contains(key)) Poll();
}

void BatteryMonitor::Poll() {
  if (!watching_) return;
  const uint64_t poll = ++poll_;
  if (!system_->isConnected()) {
    Report(std::nullopt);
    return;
  }
  auto* watcher = new QDBusPendingCallWatcher(
      system_->asyncCall(GetProperty(kUPowerPath, kUPowerInterface, QStringLiteral("OnBattery"))), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, poll](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    if (!watching_ || poll != poll_) return;
    QDBusPendingReply<QDBusVariant> reply = *finished;
    const QVariant onBattery = reply.isError() ? QVariant() : reply.value().variant();
    if (onBattery.typeId() != QMetaType::Bool || !onBattery.toBool()) {
      Report(std::nullopt);
      return;
    }
    AskPercentage(poll);
  });
}

void BatteryMonitor::AskPercentage(uint64_t poll) {
  auto* watcher = new QDBusPendingCallWatcher(
      system_->asyncCall(GetProperty(kDisplayDevicePath, kDeviceInterface, QStringLiteral("Percentage"))),
      this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, poll](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    if (!watching_ || poll != poll_) return;
    QDBusPendingReply<QDBusVariant> reply = *finished;
    const QVariant percentage = reply.isError() ? QVariant() : reply.value().variant();
    const bool ok = percentage.typeId() == QMetaType::Double;
    const double percent = ok ? percentage.toDouble() : 0.0;
    if (ok && std::isfinite(percent) && percent < kLowPercent) Report(percent);
    else Report(std::nullopt);
  });
}

void BatteryMonitor::Report(std::optional<double> lowPercent) {
  std::optional<long> whole;
  if (lowPercent) whole = WholePercent(*lowPercent);
  if (whole == reportedWhole_) return;
  reportedWhole_ = whole;
  if (OnChanged) OnChanged(lowPercent);
}

QString BatteryWarningText(double percent) {
  return QStringLiteral("Akku bei %1 % – Netzteil anschließen, das Rennen läuft.").arg(WholePercent(percent));
}

}  // namespace platform
