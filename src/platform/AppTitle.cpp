#include "platform/AppTitle.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace platform {
namespace {
QString& PinnedTitle() {
  static QString title;
  return title;
}

QString ExecutablePath() {
  if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath();
  // Before the application object exists (the command line is read first): the kernel's link to
  // the running executable, which is what the application object reads too.
  return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}
}  // namespace

QString ApplicationTitle() {
  if (!PinnedTitle().isEmpty()) return PinnedTitle();
  return QFileInfo(ExecutablePath()).completeBaseName();
}

void SetApplicationTitle(const QString& title) { PinnedTitle() = title; }

}  // namespace platform
