#include "platform/Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>
#include <QUrl>

#include "platform/AnsiText.h"
#include "platform/Printers.h"

namespace platform {
namespace {
ShellService* active = nullptr;

QtShellService& Real() {
  static QtShellService service;
  return service;
}

// A web address keeps its scheme; anything else is a file, relative to the working folder.
QUrl UrlOf(const QString& target) {
  if (QFileInfo::exists(target)) return QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
  const QUrl url(target, QUrl::StrictMode);
  if (url.isValid() && url.scheme().size() > 1) return url;  // one letter would be a drive
  return QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
}

bool Print(const QString& target) {
  if (!Printers().HasPrinter()) return false;
  const QFileInfo info(target);
  QFile file(info.absoluteFilePath());
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QString text = DecodeText(file.readAll());

  const QPrinterInfo printerInfo = QPrinterInfo::defaultPrinter();
  if (printerInfo.isNull()) return false;
  QPrinter printer(printerInfo, QPrinter::HighResolution);
  printer.setDocName(info.fileName());

  QTextDocument document;
  // Relative images and style sheets resolve beside the page.
  document.setBaseUrl(QUrl::fromLocalFile(info.absolutePath() + QDir::separator()));
  const QString suffix = info.suffix().toLower();
  if (suffix == u"html" || suffix == u"htm" || Qt::mightBeRichText(text)) document.setHtml(text);
  else document.setPlainText(text);
  document.print(&printer);
  return printer.printerState() != QPrinter::Error;
}
}  // namespace

bool QtShellService::Execute(const QString& verb, const QString& target) {
  if (verb.compare(u"open", Qt::CaseInsensitive) == 0) return QDesktopServices::openUrl(UrlOf(target));
  if (verb.compare(u"print", Qt::CaseInsensitive) == 0) return Print(target);
  return false;
}

ShellService& Shell() { return active ? *active : Real(); }

void SetShellService(ShellService* service) { active = service; }

}  // namespace platform
