#pragma once
// The server thread's side of the live server. Qt's HTTP server module parses the requests;
// what it lacks for a server on an open network (a connection limit, timeouts, a bound on a
// request's size, clients that stop reading) is done here, in our own listener and sockets.
// Everything here lives and runs on the server thread.
#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

#include "net/LiveServer.h"
#include "net/LiveServerHttp.h"
#include "net/StationApi.h"

class TLiveServerCore;

// One client connection and what the core tracks about it.
class TLiveServerSocket : public QTcpSocket {
public:
  TLiveServerSocket(TLiveServerCore* core, QObject* parent);
  ~TLiveServerSocket() override;

  bool push = false;     // on the push channel: gets events, its input is discarded
  bool behind = false;   // on the push channel, missed a state while data was unsent: owed the newest
  bool closing = false;  // answered for the last time; nothing more is read or handled
  QByteArray peer;       // the address its places are counted under
  live_http::TRequestFramer framer;
  qint64 framed = 0;  // bytes at the front of the read buffer the framer has already been fed
  qint64 requestSinceMs = -1;  // when the oldest request not yet answered began; -1: none
  qint64 idleSinceMs = 0;  // the last complete request or the last response fully sent
  qint64 progressMs = 0;   // the last time unsent data (ours and the kernel's) shrank, or began
  qint64 lastUnsent = 0;   // ours and the kernel's, when last looked at

private:
  TLiveServerCore* core_;
};

// Accepts connections; beyond the limit it answers 503 on the bare descriptor and closes it, so
// a flood of connections costs no objects.
class TLiveServerListener : public QTcpServer {
public:
  explicit TLiveServerListener(TLiveServerCore* core);

protected:
  void incomingConnection(qintptr descriptor) override;

private:
  TLiveServerCore* core_;
};

class TLiveServerCore : public QAbstractHttpServer {
public:
  TLiveServerCore(const TLiveServerOptions& options, std::atomic<int>* connections,
                  TLivePublicationPtr publication);
  ~TLiveServerCore() override;

  // False and a German message when the port cannot be opened.
  bool Listen(QString* error);
  quint16 Port() const;
  void SetPublication(const TLivePublicationPtr& publication);

  // Where the passes path takes its passes, and how a batch reaches the race (called on this
  // thread, must only post). Without a desk the path refuses every request.
  struct TStations {
    std::shared_ptr<station::TDesk> desk;
    std::function<void(TStationBatch batch)> deliver;
  };
  void SetStations(TStations stations);

  // For the listener and the sockets.
  bool Full(const QByteArray& peer) const;
  void Adopt(TLiveServerSocket* socket, const QByteArray& peer);
  void Forget(TLiveServerSocket* socket);
  void HookAfterModule();

protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
  void ReadyRead(TLiveServerSocket* socket);
  void Answer(const QHttpServerRequest& request, TLiveServerSocket* socket, const QByteArray& requestLine);
  // Answers for the last time and closes, whatever else the client sent.
  void Refuse(TLiveServerSocket* socket, int status, const QByteArray& text);
  void RefuseWith(TLiveServerSocket* socket, const QByteArray& response);
  // A framing that cannot go on: 400, or for a body declared too long 413 (the passes path
  // still checks credentials first).
  void RefuseBroken(TLiveServerSocket* socket);
  void AnswerPasses(const QHttpServerRequest& request, TLiveServerSocket* socket, bool keepAlive);
  QByteArray PassesResponse(const station::TAnswer& answer, bool keepAlive) const;
  int64_t WallMs() const;
  void Reply(TLiveServerSocket* socket, const QByteArray& head, const QByteArray& body, bool keepAlive);
  void StartPush(TLiveServerSocket* socket);
  bool Send(TLiveServerSocket* socket, const QByteArray& data);
  // The event, or (data still unsent) a promise of the newest once it is sent.
  void SendNewest(TLiveServerSocket* socket, const QByteArray& event);
  void SendToWaiting();
  QByteArray CurrentEvent() const;
  void Drop(TLiveServerSocket* socket);
  void Sweep();
  void Ping();
  qint64 NowMs() const { return clock_.elapsed(); }

  const TLiveServerOptions options_;
  std::atomic<int>* connections_;
  TLiveServerListener* listener_ = nullptr;
  QElapsedTimer clock_;
  QTimer sweep_;
  QTimer ping_;
  QTimer drain_;  // while push clients wait for the kernel to pass on their last state
  std::unordered_set<TLiveServerSocket*> sockets_;
  std::vector<TLiveServerSocket*> unhooked_;  // adopted, reader after the module's not yet connected
  QHash<QByteArray, int> perPeer_;
  int placesPerPeer_ = 0;
  std::vector<TLiveServerSocket*> push_;  // in the order they came
  TLivePublicationPtr publication_;
  live_http::TPathTable paths_;  // points into publication_
  QByteArray event_;             // publication_'s push event; empty when it has none
  qint64 publishedAtMs_ = 0;
  TStations stations_;
};
