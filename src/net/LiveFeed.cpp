#include "net/LiveFeed.h"

#include "net/LiveFolder.h"
#include "net/LivePages.h"

TLiveFeed::TLiveFeed(QObject* parent) : QObject(parent), worker_(new QObject) {
  thread_.setObjectName(QStringLiteral("Live-Ergebnisse"));
  worker_->moveToThread(&thread_);
  thread_.start();
}

TLiveFeed::~TLiveFeed() {
  QMetaObject::invokeMethod(worker_, [this] { folder_.reset(); }, Qt::BlockingQueuedConnection);
  thread_.quit();
  thread_.wait();
  delete worker_;
}

void TLiveFeed::Submit(TLiveSnapshotPtr snapshot) {
  std::lock_guard lock(mutex_);
  latest_ = std::move(snapshot);
  if (scheduled_) return;
  scheduled_ = true;
  QMetaObject::invokeMethod(worker_, [this] { Render(); }, Qt::QueuedConnection);
}

void TLiveFeed::SetFolder(const QString& folder) {
  QMetaObject::invokeMethod(
      worker_,
      [this, folder] {
        if (folder_ && folder_->Folder() == folder) return;
        folder_.reset();
        if (folder.isEmpty()) return;
        folder_ = std::make_unique<TLiveFolder>(folder);
        folder_->OnState = [this](const QString& error) {
          QMetaObject::invokeMethod(this, [this, error] { if (OnFolderState) OnFolderState(error); }, Qt::QueuedConnection);
        };
      },
      Qt::QueuedConnection);
}

void TLiveFeed::Flush() { QMetaObject::invokeMethod(worker_, [] {}, Qt::BlockingQueuedConnection); }

void TLiveFeed::Render() {
  TLiveSnapshotPtr snapshot;
  {
    std::lock_guard lock(mutex_);
    snapshot = std::move(latest_);
    latest_.reset();
    scheduled_ = false;
  }
  if (!snapshot) return;
  const auto publication = std::make_shared<const TLivePublication>(RenderLivePublication(*snapshot));
  if (OnPublication) OnPublication(publication);
  if (folder_) folder_->Offer(publication);
}
