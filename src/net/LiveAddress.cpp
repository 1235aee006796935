#include "net/LiveAddress.h"

#include <QNetworkInterface>

namespace {

// Phones reach the laptop over its Wi-Fi or its cable; a VPN's tunnel or a virtual bridge is no
// way in for them, so it is named only when nothing else is up.
int Preference(const QNetworkInterface& interface) {
  switch (interface.type()) {
    case QNetworkInterface::Wifi: return 0;
    case QNetworkInterface::Ethernet: return 1;
    case QNetworkInterface::Virtual: return 3;
    default: return 2;
  }
}

}  // namespace

QString LiveAddress(quint16 port) {
  QString host = QStringLiteral("localhost");
  int best = 4;
  const auto interfaces = QNetworkInterface::allInterfaces();
  for (const QNetworkInterface& interface : interfaces) {
    const auto flags = interface.flags();
    if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning) ||
        flags.testFlag(QNetworkInterface::IsLoopBack) || Preference(interface) >= best)
      continue;
    for (const QNetworkAddressEntry& entry : interface.addressEntries())
      if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) {
        host = entry.ip().toString();
        best = Preference(interface);
        break;
      }
  }
  return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}
