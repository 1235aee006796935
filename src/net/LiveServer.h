#pragma once
// The live-results web server. It serves exactly the paths of the current publication (GET and
// HEAD), pushes every new publication to the open pages over Server-Sent Events at
// /api/events, tells the time at /api/clock, and takes the stations' passes at /api/passes,
// the one path that writes (with the race's token). All network work runs on a thread of its own: the window's thread only hands
// over publications and never waits for a client.
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QtGlobal>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "net/LivePublication.h"
#include "net/StationApi.h"

class QThread;
class TLiveServerCore;

struct TLiveServerOptions {
  quint16 port = 8080;                       // 0: any free port (tests)
  int maxClients = 200;                      // open connections at once, push clients included; more get 503
  int addressSharePercent = 25;              // of maxClients, the most one address (an IPv6 /64) may hold
  int requestTimeoutMs = 3000;               // a request not complete this long after its first byte: closed
  int idleTimeoutMs = 10000;                 // a connection without a complete request for this long is closed
  int stallTimeoutMs = 10000;                // a client whose unsent data does not shrink for this long is dropped
  qint64 maxPendingBytes = 1 << 20;          // unsent data per client beyond this: dropped at once
  QHostAddress address = QHostAddress::Any;  // all interfaces; tests use LocalHost
  int pingIntervalMs = 15000;                // a comment on the push channel, so proxies keep it open
  // The laptop's wall clock in ms since 1970, as the race reads it; called on the server thread.
  // Empty: QDateTime::currentMSecsSinceEpoch().
  std::function<int64_t()> wallClockMs;
};

class TLiveServer : public QObject {
public:
  explicit TLiveServer(QObject* parent = nullptr);
  ~TLiveServer() override;  // stops and joins the thread
  TLiveServer(const TLiveServer&) = delete;
  TLiveServer& operator=(const TLiveServer&) = delete;

  // Listens; false and a German message for the operator when it cannot. A running server is
  // stopped first. The last publication handed over, also before, is served at once.
  bool Start(const TLiveServerOptions& options, QString* error);
  void Stop();
  bool Running() const;
  quint16 Port() const;  // the port actually bound; 0 when stopped

  // Hands the server a new publication; returns at once (queued to the server thread), never
  // waits for clients. Push clients get its pushData. Callable from any thread.
  void Publish(TLivePublicationPtr publication);
  int Connections() const;  // open connections now, push clients included

  // The race's token (empty: nobody may write) and the ids already taken in this race (a
  // restored race's). A token other than the current one forgets the dropped stations and the
  // station list. Kept across Stop/Start like the last publication.
  void SetStationAccess(const QByteArray& token, const QStringList& knownIds);
  // Called on the thread that owns the TLiveServer, by a queued call, once per accepted
  // request that took at least one pass.
  std::function<void(const TStationBatch& batch)> OnStationPasses;
  std::vector<TStationInfo> Stations() const;  // by first contact
  // Its later requests get 403 "Diese Station wurde getrennt." until the next token; it leaves the list.
  void DropStation(const QString& device);

private:
  void Deliver(TStationBatch batch);

  std::unique_ptr<QThread> thread_;
  quint16 port_ = 0;
  std::atomic<int> connections_{0};
  // Publish may come from the rendering thread while the window starts or stops the server.
  mutable std::mutex mutex_;
  TLiveServerCore* core_ = nullptr;  // lives on thread_; used only to post to it
  TLivePublicationPtr latest_;
  // Shared with the server thread, which takes passes through it; it locks itself.
  const std::shared_ptr<station::TDesk> stations_ = std::make_shared<station::TDesk>();
};
