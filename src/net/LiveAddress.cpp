#include "net/LiveAddress.h"

#include <QNetworkInterface>

QString LiveAddress(quint16 port) {
  QString host = QStringLiteral("localhost");
  const auto interfaces = QNetworkInterface::allInterfaces();
  for (const QNetworkInterface& interface : interfaces) {
    const auto flags = interface.flags();
    if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning) ||
        flags.testFlag(QNetworkInterface::IsLoopBack))
      continue;
    for (const QNetworkAddressEntry& entry : interface.addressEntries())
      if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) {
        host = entry.ip().toString();
        return QStringLiteral("http://%1:%2/").arg(host).arg(port);
      }
  }
  return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}
