#include "net/LiveServerCore.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <algorithm>
#include <chrono>
#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The most a connection's socket reads ahead of the parser. Above the request limit, so a too
// big request is always seen (and refused) before reading stalls.
constexpr qint64 kReadBufferBytes = 2 * live_http::kMaxRequestBytes;

const QByteArray kTextNotFound = QByteArrayLiteral("Nicht gefunden.\n");
const QByteArray kTextMethod = QByteArrayLiteral("Nur GET und HEAD sind erlaubt.\n");
const QByteArray kTextNoResults = QByteArrayLiteral("Noch keine Ergebnisse, bitte gleich erneut laden.\n");
const QByteArray kTextBadRequest = QByteArrayLiteral("Ungültige Anfrage.\n");
const QByteArray kTextTooLarge = QByteArrayLiteral("Anfrage zu groß.\n");

// The stations' rates follow this clock, which goes on across a restart of the server (its
// buckets are kept), unlike the core's own.
int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
// A push client gets a new state only once the last has left the kernel too (bar this much):
// the kernel's send buffer grows to megabytes, and a page that reads slowly would otherwise work
// through every old state piled up there. The kernel gives no sign when it is done, so a client
// waiting for that is looked at this often.
constexpr int kPushKernelSlack = 4 * 1024;
constexpr int kDrainIntervalMs = 20;

const QByteArray kTextBusy = QByteArrayLiteral("Zu viele Verbindungen, bitte in ein paar Sekunden erneut versuchen.\n");

// Answers and closes a connection beyond the limit without making a socket object of it. The
// bytes the client already sent are read first, so the close is a FIN the client reads the
// answer before, not a reset that may discard it.
void RefuseAtOnce(int descriptor) {
  static const QByteArray response =
      live_http::TextResponse(503, kTextBusy, false, true, {{"Retry-After", QByteArrayLiteral("5")}});
  (void)::send(descriptor, response.constData(), size_t(response.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
  char sink[4096];
  for (int i = 0; i < 16 && ::recv(descriptor, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
  }
  ::close(descriptor);
}

// The address a connection's places are counted under: an IPv4 address, or the /64 network of an
// IPv6 one (a single host may pick any address there).
QByteArray PeerOf(int descriptor) {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&address), &size) != 0) return QByteArray();
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    return QByteArray(reinterpret_cast<const char*>(&v4->sin_addr), 4);
  }
  if (address.ss_family != AF_INET6) return QByteArray();
  const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
  const char* bytes = reinterpret_cast<const char*>(&v6->sin6_addr);
  if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) return QByteArray(bytes + 12, 4);
  return QByteArray(bytes, 8);
}

// Ours and the kernel's: what the client has not yet taken.
qint64 Unsent(QTcpSocket* socket) {
  int kernel = 0;
  if (::ioctl(int(socket->socketDescriptor()), SIOCOUTQ, &kernel) != 0) kernel = 0;
  return socket->bytesToWrite() + kernel;
}

}  // namespace

TLiveServerSocket::TLiveServerSocket(TLiveServerCore* core, QObject* parent) : QTcpSocket(parent), core_(core) {}

TLiveServerSocket::~TLiveServerSocket() { core_->Forget(this); }

TLiveServerListener::TLiveServerListener(TLiveServerCore* core) : core_(core) {}

void TLiveServerListener::incomingConnection(qintptr descriptor) {
  const QByteArray peer = PeerOf(int(descriptor));
  if (core_->Full(peer)) {
    RefuseAtOnce(int(descriptor));
    return;
  }
  auto* socket = new TLiveServerSocket(core_, this);
  if (!socket->setSocketDescriptor(descriptor)) {
    delete socket;
    ::close(int(descriptor));
    return;
  }
  core_->Adopt(socket, peer);
  addPendingConnection(socket);
}

TLiveServerCore::TLiveServerCore(const TLiveServerOptions& options, std::atomic<int>* connections,
                                 TLivePublicationPtr publication)
    : options_(options), connections_(connections) {
  clock_.start();
  SetPublication(publication);
  int sweepMs = 500;
  if (options_.idleTimeoutMs > 0) sweepMs = std::min(sweepMs, options_.idleTimeoutMs / 4);
  if (options_.stallTimeoutMs > 0) sweepMs = std::min(sweepMs, options_.stallTimeoutMs / 4);
  connect(&sweep_, &QTimer::timeout, this, &TLiveServerCore::Sweep);
  if (options_.requestTimeoutMs > 0) sweepMs = std::min(sweepMs, options_.requestTimeoutMs / 4);
  sweep_.setInterval(std::max(sweepMs, 5));
  ping_.setInterval(std::max(options_.pingIntervalMs, 10));
  connect(&ping_, &QTimer::timeout, this, &TLiveServerCore::Ping);
  drain_.setInterval(kDrainIntervalMs);
  connect(&drain_, &QTimer::timeout, this, &TLiveServerCore::SendToWaiting);
  // A share of the places for each address, so one host cannot lock every viewer out.
  const qint64 share = qint64(std::max(options_.maxClients, 0)) * std::clamp(options_.addressSharePercent, 0, 100) / 100;
  placesPerPeer_ = int(std::max<qint64>(share, 1));
}

TLiveServerCore::~TLiveServerCore() {
  // The sockets report to this object as they go, so they go while it is whole.
  delete listener_;
}

bool TLiveServerCore::Listen(QString* error) {
  listener_ = new TLiveServerListener(this);
  // A burst of browsers (or of anything else) should wait in the queue, not be turned away
  // by the kernel before we can answer.
  listener_->setListenBacklogSize(1024);
  if (!listener_->listen(options_.address, options_.port)) {
    const QString port = QString::number(options_.port);
    switch (listener_->serverError()) {
      case QAbstractSocket::AddressInUseError:
        *error = QStringLiteral("Port %1 ist belegt. Ein anderes Programm verwendet ihn; bitte einen anderen Port "
                                "wählen.")
                     .arg(port);
        break;
      case QAbstractSocket::SocketAccessError:
        *error = QStringLiteral("Port %1 darf nicht geöffnet werden: Ports unter 1024 sind dem System vorbehalten. "
                                "Bitte einen Port ab 1024 wählen.")
                     .arg(port);
        break;
      case QAbstractSocket::SocketAddressNotAvailableError:
        *error = QStringLiteral("Die Adresse %1 gibt es auf diesem Rechner nicht.").arg(options_.address.toString());
        break;
      default:
        *error = QStringLiteral("Port %1 kann nicht geöffnet werden (%2).").arg(port, listener_->errorString());
        break;
    }
    delete listener_;
    listener_ = nullptr;
    return false;
  }
  // Qt's listener stops accepting for good on any error but "try again": a client that
  // resets before it is accepted, or running out of descriptors for a moment, must not end
  // the service. Resource errors wait a little, or the loop would spin.
  connect(listener_, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError socketError) {
    const int delay = socketError == QAbstractSocket::SocketResourceError ? 100 : 0;
    QTimer::singleShot(delay, listener_, [listener = listener_] { listener->resumeAccepting(); });
  });
  bind(listener_);
  // Connected after the module's own handling of a new connection (which connects its reader),
  // so a reader connected here runs after the module's on every signal.
  connect(listener_, &QTcpServer::newConnection, this, &TLiveServerCore::HookAfterModule);
  sweep_.start();
  ping_.start();
  return true;
}

quint16 TLiveServerCore::Port() const { return listener_ ? listener_->serverPort() : 0; }

void TLiveServerCore::SetPublication(const TLivePublicationPtr& publication) {
  if (!publication) return;
  publication_ = publication;
  publishedAtMs_ = NowMs();
  paths_ = live_http::TPathTable(publication_);
  event_ = publication_->pushData.isEmpty() ? QByteArray() : live_http::PushEvent(publication_->pushData);
  if (event_.isEmpty()) return;
  const std::vector<TLiveServerSocket*> clients = push_;  // Send may drop one
  for (TLiveServerSocket* socket : clients) SendNewest(socket, event_);
}

void TLiveServerCore::SendNewest(TLiveServerSocket* socket, const QByteArray& event) {
  // Each event is the whole state, so a client still taking an older one skips to the newest
  // when it is done: its unsent data stays one state, and a slow phone is served, not dropped.
  const qint64 ours = socket->bytesToWrite();
  if (ours > 0 || Unsent(socket) > kPushKernelSlack) {
    socket->behind = true;
    if (ours == 0 && !drain_.isActive()) drain_.start();
    return;
  }
  socket->behind = false;
  if (!event.isEmpty()) Send(socket, event);
}

QByteArray TLiveServerCore::CurrentEvent() const {
  if (event_.isEmpty()) return event_;
  // A state sent later than it was published (to a page that just connected, or that was busy)
  // says how old it is, so the page counts running times from when it was taken.
  const qint64 age = NowMs() - publishedAtMs_;
  const QByteArray& data = publication_->pushData;
  if (age <= 0 || !data.startsWith('{') || data.startsWith("{}")) return event_;
  return live_http::PushEvent("{\"ageMs\":" + QByteArray::number(age) + ',' + data.mid(1));
}

void TLiveServerCore::SendToWaiting() {
  bool waiting = false;
  const std::vector<TLiveServerSocket*> clients = push_;  // Send may drop one
  for (TLiveServerSocket* socket : clients) {
    if (!socket->behind || socket->bytesToWrite() > 0) continue;
    SendNewest(socket, CurrentEvent());
    waiting = waiting || (socket->behind && socket->bytesToWrite() == 0);
  }
  if (!waiting) drain_.stop();
}

bool TLiveServerCore::Full(const QByteArray& peer) const {
  return options_.maxClients <= 0 || int(sockets_.size()) >= options_.maxClients ||
         perPeer_.value(peer) >= placesPerPeer_;
}

void TLiveServerCore::Adopt(TLiveServerSocket* socket, const QByteArray& peer) {
  sockets_.insert(socket);
  unhooked_.push_back(socket);
  socket->peer = peer;
  ++perPeer_[peer];
  connections_->fetch_add(1);
  socket->idleSinceMs = socket->progressMs = NowMs();
  socket->setReadBufferSize(kReadBufferBytes);
  // Events are small and must not wait for the previous one's acknowledgement.
  socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  // Connected before the module's own handler, so sizes are checked before it buffers.
  connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { ReadyRead(socket); });
  connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
    push_.erase(std::remove(push_.begin(), push_.end(), socket), push_.end());
  });
  connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket] {
    socket->progressMs = NowMs();
    if (socket->bytesToWrite() > 0) return;
    socket->idleSinceMs = socket->progressMs;
    if (socket->behind) SendNewest(socket, CurrentEvent());
  });
}

void TLiveServerCore::HookAfterModule() {
  for (TLiveServerSocket* socket : unhooked_) {
    // Runs after the module's handler: what it left unread has all been seen by the framer.
    connect(socket, &QTcpSocket::readyRead, socket,
            [socket] { socket->framed = std::min(socket->framed, socket->bytesAvailable()); });
  }
  unhooked_.clear();
}

void TLiveServerCore::Forget(TLiveServerSocket* socket) {
  unhooked_.erase(std::remove(unhooked_.begin(), unhooked_.end(), socket), unhooked_.end());
  if (sockets_.erase(socket) == 0) return;
  connections_->fetch_sub(1);
  if (--perPeer_[socket->peer] <= 0) perPeer_.remove(socket->peer);
  push_.erase(std::remove(push_.begin(), push_.end(), socket), push_.end());
}

void TLiveServerCore::ReadyRead(TLiveServerSocket* socket) {
  const qint64 available = socket->bytesAvailable();
  if (available <= 0) return;
  if (socket->closing || socket->push) {
    socket->skip(available);
    return;
  }
  // The module takes at most one request per signal and signals again for the rest, so the front
  // of what is here may have been seen already: only what lies beyond it is new.
  live_http::TRequestFramer& framer = socket->framer;
  const qint64 seen = std::min(socket->framed, available);
  const QByteArray bytes = socket->peek(available);
  framer.Feed(bytes.constData() + seen, bytes.size() - seen);
  socket->framed = available;
  if (socket->requestSinceMs < 0 && (framer.InRequest() || framer.HasComplete())) socket->requestSinceMs = NowMs();
  // The module reads this socket right after this returns: a failed write must not close it
  // under the module's feet, so Refuse closes on the loop's next turn.
  if (framer.State() == live_http::TRequestFramer::TState::TooLong) {
    Refuse(socket, 431, kTextTooLarge);
  } else if (framer.State() == live_http::TRequestFramer::TState::Bad && !framer.HasComplete()) {
    RefuseBroken(socket);
  }
  // A refusal with complete requests before it waits until the module has handed them over.
}

void TLiveServerCore::Refuse(TLiveServerSocket* socket, int status, const QByteArray& text) {
  RefuseWith(socket, live_http::TextResponse(status, text, false, true));
}

void TLiveServerCore::RefuseWith(TLiveServerSocket* socket, const QByteArray& response) {
  socket->closing = true;
  socket->skip(socket->bytesAvailable());
  socket->write(response);
  QMetaObject::invokeMethod(socket, [socket] { socket->disconnectFromHost(); }, Qt::QueuedConnection);
}

void TLiveServerCore::RefuseBroken(TLiveServerSocket* socket) {
  const live_http::TRequestFramer& framer = socket->framer;
  if (!framer.BodyTooLarge()) {
    Refuse(socket, 400, kTextBadRequest);
    return;
  }
  live_http::TRequestHead head;
  const bool parsed = live_http::ParseRequestLine(framer.TooLargeRequestLine(), &head);
  if (parsed && head.method == "POST" && live_http::TargetPath(head.target) == live_http::kPassesPath) {
    station::TAnswer answer;
    if (stations_.desk) {
      // Not a byte of the body is read: its declared length is enough to refuse it.
      answer = stations_.desk->Post(framer.TooLargeAuthorization(), QByteArray(), framer.TooLargeLength(),
                                    socket->peer, WallMs(), SteadyMs());
    } else {
      answer.status = 403;
      answer.body = station::ErrorBody("Ungültiger Stationslink.");
    }
    RefuseWith(socket, PassesResponse(answer, false));
    return;
  }
  Refuse(socket, 413, kTextTooLarge);
}

void TLiveServerCore::SetStations(TStations stations) { stations_ = std::move(stations); }

int64_t TLiveServerCore::WallMs() const {
  return options_.wallClockMs ? options_.wallClockMs() : QDateTime::currentMSecsSinceEpoch();
}

QByteArray TLiveServerCore::PassesResponse(const station::TAnswer& answer, bool keepAlive) const {
  live_http::THeaders extra;
  if (answer.challenge) extra.emplace_back("WWW-Authenticate", QByteArrayLiteral("Bearer"));
  if (answer.retryAfter) extra.emplace_back("Retry-After", QByteArrayLiteral("1"));
  return live_http::JsonResponse(answer.status, answer.body, keepAlive, true, extra);
}

void TLiveServerCore::AnswerPasses(const QHttpServerRequest& request, TLiveServerSocket* socket, bool keepAlive) {
  station::TAnswer answer;
  if (stations_.desk) {
    const QByteArray body = request.body();
    answer = stations_.desk->Post(request.value("authorization"), body, body.size(), socket->peer, WallMs(),
                                  SteadyMs());
  } else {
    answer.status = 403;
    answer.body = station::ErrorBody("Ungültiger Stationslink.");
  }
  if (answer.batch && stations_.deliver) stations_.deliver(std::move(*answer.batch));
  keepAlive = keepAlive && !answer.close;
  Reply(socket, PassesResponse(answer, keepAlive), QByteArray(), keepAlive);
}

bool TLiveServerCore::handleRequest(const QHttpServerRequest& request, QTcpSocket* tcpSocket) {
  auto* socket = dynamic_cast<TLiveServerSocket*>(tcpSocket);
  if (!socket) {
    tcpSocket->abort();
    return true;
  }
  if (socket->closing || socket->push) return true;
  live_http::TRequestFramer& framer = socket->framer;
  const QByteArray line = framer.TakeComplete();
  socket->idleSinceMs = NowMs();
  socket->requestSinceMs = framer.InRequest() || framer.HasComplete() ? socket->idleSinceMs : -1;
  Answer(request, socket, line);
  if (!socket->closing && !socket->push && framer.State() == live_http::TRequestFramer::TState::Bad &&
      !framer.HasComplete()) {
    RefuseBroken(socket);
  }
  return true;
}

void TLiveServerCore::Answer(const QHttpServerRequest& request, TLiveServerSocket* socket, const QByteArray& line) {
  live_http::TRequestHead head;
  if (!live_http::ParseRequestLine(line, &head)) {
    Reply(socket, live_http::TextResponse(400, kTextBadRequest, false, true), QByteArray(), false);
    return;
  }
  const bool keepAlive = live_http::KeepAlive(head.version, request.value("connection"));
  const auto method = request.method();
  const bool headOnly = method == QHttpServerRequest::Method::Head;
  const QByteArray path = live_http::TargetPath(head.target);
  if (path == live_http::kPassesPath) {
    if (method == QHttpServerRequest::Method::Post) {
      AnswerPasses(request, socket, keepAlive);
    } else {
      Reply(socket,
            live_http::JsonResponse(405, station::ErrorBody("Nur POST ist erlaubt."), keepAlive, !headOnly,
                                    {{"Allow", QByteArrayLiteral("POST")}}),
            QByteArray(), keepAlive);
    }
    return;
  }
  if (method != QHttpServerRequest::Method::Get && !headOnly) {
    Reply(socket, live_http::TextResponse(405, kTextMethod, keepAlive, true, {{"Allow", QByteArrayLiteral("GET, HEAD")}}),
          QByteArray(), keepAlive);
    return;
  }
  if (path == live_http::kClockPath) {
    // Read at the moment of answering, before the first publication too: a station sets its
    // clock by it before the race has anything to show.
    const QByteArray now = "{\"now\":" + QByteArray::number(qlonglong(WallMs())) + '}';
    Reply(socket, live_http::JsonResponse(200, now, keepAlive, !headOnly), QByteArray(), keepAlive);
    return;
  }
  if (path == live_http::kEventsPath) {
    if (headOnly) {
      Reply(socket, live_http::ResponseHead(200, "text/event-stream", -1, false), QByteArray(), false);
    } else {
      StartPush(socket);
    }
    return;
  }
  if (!publication_) {
    Reply(socket,
          live_http::TextResponse(503, kTextNoResults, keepAlive, !headOnly, {{"Retry-After", QByteArrayLiteral("5")}}),
          QByteArray(), keepAlive);
    return;
  }
  const TLiveResource* resource = paths_.Find(path);
  if (!resource) {
    Reply(socket, live_http::TextResponse(404, kTextNotFound, keepAlive, !headOnly), QByteArray(), keepAlive);
    return;
  }
  Reply(socket, live_http::ResponseHead(200, resource->contentType, resource->body.size(), keepAlive),
        headOnly ? QByteArray() : resource->body, keepAlive);
}

void TLiveServerCore::missingHandler(const QHttpServerRequest&, QTcpSocket*) {
  // Reached only for a WebSocket upgrade, which the module then closes itself; every other
  // request was answered in handleRequest.
}

void TLiveServerCore::Reply(TLiveServerSocket* socket, const QByteArray& head, const QByteArray& body,
                            bool keepAlive) {
  if (!Send(socket, head)) return;
  if (!body.isEmpty() && !Send(socket, body)) return;
  if (!keepAlive) {
    socket->closing = true;
    // Whatever the client sent after this request goes unanswered; and the module is still
    // reading this socket further up the stack, so it is closed once that has returned.
    if (!socket->isOpen()) return;  // the write failed: the peer is gone
    socket->skip(socket->bytesAvailable());
    QMetaObject::invokeMethod(socket, [socket] { socket->disconnectFromHost(); }, Qt::QueuedConnection);
  }
}

void TLiveServerCore::StartPush(TLiveServerSocket* socket) {
  socket->push = true;
  socket->requestSinceMs = -1;
  push_.push_back(socket);
  QByteArray out = live_http::ResponseHead(200, "text/event-stream", -1, false);
  out += CurrentEvent();
  Send(socket, out);
}

bool TLiveServerCore::Send(TLiveServerSocket* socket, const QByteArray& data) {
  // Gone already (the peer closed, or the module ended it); it is deleted on its own.
  if (socket->state() != QAbstractSocket::ConnectedState) return false;
  const qint64 pending = socket->bytesToWrite();
  // One response may be bigger than the limit; piling up behind unsent data may not.
  if (pending > 0 && pending + data.size() > options_.maxPendingBytes) {
    Drop(socket);
    return false;
  }
  if (pending == 0 && Unsent(socket) == 0) {
    socket->progressMs = NowMs();
    socket->lastUnsent = 0;
  }
  socket->write(data);
  // Hands it to the kernel now instead of on the next turn of the loop: a new result should
  // reach every page as soon as it exists.
  socket->flush();
  return true;
}

void TLiveServerCore::Drop(TLiveServerSocket* socket) {
  socket->closing = true;
  push_.erase(std::remove(push_.begin(), push_.end(), socket), push_.end());
  socket->abort();
  socket->deleteLater();
}

void TLiveServerCore::Sweep() {
  const qint64 now = NowMs();
  const std::vector<TLiveServerSocket*> sockets(sockets_.begin(), sockets_.end());
  for (TLiveServerSocket* socket : sockets) {
    if (socket->state() != QAbstractSocket::ConnectedState && socket->state() != QAbstractSocket::ClosingState) {
      continue;
    }
    if (options_.requestTimeoutMs > 0 && socket->requestSinceMs >= 0 && !socket->closing &&
        now - socket->requestSinceMs > options_.requestTimeoutMs) {
      Drop(socket);
      continue;
    }
    const qint64 unsent = Unsent(socket);
    if (unsent < socket->lastUnsent) socket->progressMs = now;
    socket->lastUnsent = unsent;
    if (unsent > 0) {
      if (options_.stallTimeoutMs > 0 && now - socket->progressMs > options_.stallTimeoutMs) Drop(socket);
    } else if (!socket->push && options_.idleTimeoutMs > 0 && now - socket->idleSinceMs > options_.idleTimeoutMs) {
      Drop(socket);
    }
  }
}

void TLiveServerCore::Ping() {
  const std::vector<TLiveServerSocket*> clients = push_;
  // A client with data on its way needs no sign of life.
  for (TLiveServerSocket* socket : clients)
    if (Unsent(socket) == 0) Send(socket, QByteArray(live_http::kPing));
}
