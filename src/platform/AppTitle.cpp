#include "platform/AppTitle.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace platform {
namespace {
QString& PinnedTitle() {
  static QString title;
  return title;
}
}  // namespace

QString ApplicationTitle() {
  if (!PinnedTitle().isEmpty()) return PinnedTitle();
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void SetApplicationTitle(const QString& title) { PinnedTitle() = title; }

}  // namespace platform
