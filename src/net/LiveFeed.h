#pragma once
// Turns the window's snapshots of the race into the live publication, on a thread of its own:
// rendering a big protocol takes milliseconds the window must not spend. Snapshots that arrive
// while one is being rendered are not queued up: only the newest is rendered next. Each
// publication goes to the server (through OnPublication) and to the published folder, if any.
#include <QObject>
#include <QString>
#include <QThread>
#include <functional>
#include <memory>
#include <mutex>

#include "net/LivePublication.h"
#include "race/LiveSnapshot.h"

class TLiveFolder;

class TLiveFeed : public QObject {
public:
  explicit TLiveFeed(QObject* parent = nullptr);
  ~TLiveFeed() override;
  TLiveFeed(const TLiveFeed&) = delete;
  TLiveFeed& operator=(const TLiveFeed&) = delete;

  // Never waits for the rendering.
  void Submit(TLiveSnapshotPtr snapshot);
  // The folder the publication is copied into; empty: none.
  void SetFolder(const QString& folder);
  // Waits until everything submitted so far is rendered and handed on (tests, shutdown).
  void Flush();

  // Called on the feed's thread with every publication; set before the first Submit.
  std::function<void(TLivePublicationPtr publication)> OnPublication;
  // The folder's state changed: a German error text, or empty when it works again; called on
  // the thread that owns the feed.
  std::function<void(const QString& error)> OnFolderState;

private:
  void Render();

  QThread thread_;
  QObject* worker_;  // lives on thread_; the folder and the rendering run through it
  std::unique_ptr<TLiveFolder> folder_;  // used on thread_ only
  std::mutex mutex_;
  TLiveSnapshotPtr latest_;
  bool scheduled_ = false;
};
