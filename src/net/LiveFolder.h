#pragma once
// The published copy of the live results: the pages and the JSON written into a folder (a web
// server's document root, a synchronised folder), so any number of readers can be served by
// something other than the timing laptop. Each file is replaced in one step, so a reader never
// sees half of one, and the folder is written at most once a second: the newest state wins.
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "net/LivePublication.h"

class TLiveFolder : public QObject {
public:
  static constexpr int kMinIntervalMs = 1000;
  static constexpr int kRetryMs = 5000;  // after a failed write

  explicit TLiveFolder(QString folder, QObject* parent = nullptr);
  ~TLiveFolder() override;

  // Takes a newer state: written at once when the last write is a second old, else when the
  // second is over (only the newest state offered meanwhile). A failed write is tried again
  // every kRetryMs with the newest state; the last state is written when the folder goes.
  void Offer(TLivePublicationPtr publication);
  const QString& Folder() const { return folder_; }
  int Writes() const { return writes_; }

  // A write failed (German text), or works again after failing (empty text); called on the
  // folder's thread.
  std::function<void(const QString& error)> OnState;

private:
  void WriteNow();
  QString Write(const TLivePublication& publication) const;

  QString folder_;
  TLivePublicationPtr pending_;
  uint64_t written_ = 0;  // serial of the last state written
  QElapsedTimer sinceWrite_;
  QTimer due_;
  int writes_ = 0;
  bool failing_ = false;
};
