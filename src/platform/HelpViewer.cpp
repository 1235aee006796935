#include "platform/HelpViewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/AnsiText.h"
#include "platform/AppTitle.h"

namespace platform {
namespace {
HelpService* active = nullptr;

QtHelpService& Real() {
  static QtHelpService service;
  return service;
}
}  // namespace

QString LocateHelpFile(const QString& helpFile) {
  if (helpFile.isEmpty()) return {};
  const QFileInfo given(helpFile);
  if (given.isFile()) return given.absoluteFilePath();
  const QFileInfo shared(QDir(QCoreApplication::applicationDirPath())
                             .filePath(QStringLiteral("../share/veltrano/") + given.fileName()));
  if (shared.isFile()) return QDir::cleanPath(shared.absoluteFilePath());
  return {};
}

QtHelpService::~QtHelpService() { delete window_.data(); }

void QtHelpService::ShowContents(const QString& helpFile) {
  if (!window_) {
    window_ = new QTextBrowser;
    window_->setAttribute(Qt::WA_DeleteOnClose);
    // Closing the main window ends the program even while the help is open.
    window_->setAttribute(Qt::WA_QuitOnClose, false);
    window_->setOpenExternalLinks(true);
    window_->setWindowTitle(ApplicationTitle() + QStringLiteral(" \u2013 Hilfe"));
    window_->setAccessibleName(QStringLiteral("Hilfe"));
    window_->resize(720, 560);
  }

  const QString path = LocateHelpFile(helpFile);
  QFile file(path);
  if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
    window_->setSearchPaths({});
    window_->setHtml(QStringLiteral("<h2>Hilfe nicht verf\u00fcgbar</h2>"
                                    "<p>Die Hilfedatei <b>%1</b> wurde nicht gefunden.</p>")
                         .arg(QDir::toNativeSeparators(helpFile).toHtmlEscaped()));
  } else {
    const QString text = DecodeText(file.readAll());
    // Pictures and linked pages of the help sit beside it.
    window_->setSearchPaths({QFileInfo(path).absolutePath()});
    if (Qt::mightBeRichText(text)) window_->setHtml(text);
    else window_->setPlainText(text);
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
}

HelpService& Help() { return active ? *active : Real(); }

void SetHelpService(HelpService* service) { active = service; }

}  // namespace platform
