#include "net/LiveFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include "net/LivePages.h"

namespace {

QString Reason(const QSaveFile& file) {
  switch (file.error()) {
    case QFileDevice::PermissionsError: return QStringLiteral("keine Schreibrechte");
    case QFileDevice::ResourceError: return QStringLiteral("der Datenträger ist voll");
    case QFileDevice::OpenError: return QStringLiteral("die Datei kann nicht angelegt werden");
    default: return QStringLiteral("Schreibfehler");
  }
}

}  // namespace

TLiveFolder::TLiveFolder(QString folder, QObject* parent) : QObject(parent), folder_(std::move(folder)) {
  due_.setSingleShot(true);
  connect(&due_, &QTimer::timeout, this, [this] { WriteNow(); });
}

TLiveFolder::~TLiveFolder() {
  // The state still waiting for its second is the last one: it is written, not lost.
  OnState = nullptr;
  if (!failing_) WriteNow();
}

void TLiveFolder::Offer(TLivePublicationPtr publication) {
  if (!publication || (pending_ && publication->serial <= pending_->serial) || publication->serial <= written_) return;
  pending_ = std::move(publication);
  if (due_.isActive()) return;
  const qint64 since = sinceWrite_.isValid() ? sinceWrite_.elapsed() : kMinIntervalMs;
  if (since >= kMinIntervalMs)
    WriteNow();
  else
    due_.start(static_cast<int>(kMinIntervalMs - since));
}

void TLiveFolder::WriteNow() {
  if (!pending_) return;
  const TLivePublicationPtr publication = std::move(pending_);
  pending_.reset();
  sinceWrite_.start();
  const QString error = Write(*publication);
  if (error.isEmpty()) {
    written_ = publication->serial;
    ++writes_;
  } else {
    // Tried again later, so the folder catches up once it is back even if the race no longer
    // changes (after the last finish).
    pending_ = publication;
    due_.start(kRetryMs);
  }
  // Said once when it starts failing and once when it works again, not at every change.
  if (error.isEmpty() == !failing_) return;
  failing_ = !error.isEmpty();
  if (OnState) OnState(error);
}

QString TLiveFolder::Write(const TLivePublication& publication) const {
  const QDir folder(folder_);
  for (const TLiveFile& file : kLiveFiles) {
    const auto resource = publication.resources.find(QString::fromLatin1(file.resourcePath));
    if (resource == publication.resources.end()) continue;
    const QString path = folder.filePath(QString::fromLatin1(file.relativePath));
    const QString failed = QStringLiteral("Die Live-Ergebnisse können nicht in den Ordner \"%1\" geschrieben werden: %2.");
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
      return failed.arg(QDir::toNativeSeparators(folder_), QStringLiteral("der Ordner kann nicht angelegt werden"));
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(resource->second.body) != resource->second.body.size() ||
        !out.commit())
      return failed.arg(QDir::toNativeSeparators(folder_), Reason(out));
  }
  return {};
}
