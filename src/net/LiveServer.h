#pragma once
// The live-results web server. It serves exactly the paths of the current publication (GET and
// HEAD) and pushes every new publication to the open pages over Server-Sent Events at
// /api/events. All network work runs on a thread of its own: the window's thread only hands
// over publications and never waits for a client.
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <memory>
#include <mutex>

#include "net/LivePublication.h"

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

private:
  std::unique_ptr<QThread> thread_;
  quint16 port_ = 0;
  std::atomic<int> connections_{0};
  // Publish may come from the rendering thread while the window starts or stops the server.
  mutable std::mutex mutex_;
  TLiveServerCore* core_ = nullptr;  // lives on thread_; used only to post to it
  TLivePublicationPtr latest_;
};
