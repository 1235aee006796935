#pragma once
// For the live server's tests: plain blocking POSIX clients that run on threads of their own
// (as browsers on other machines would), a watchdog on the test's main thread that measures
// the longest time it was kept from its event loop, and waits that keep that loop turning
// (QTest::qWaitFor sleeps 10 ms between turns, and a join blocks).
#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>

#include "net/LivePublication.h"
#include "net/LiveServer.h"

#if defined(__SANITIZE_ADDRESS__)
#define LIVE_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LIVE_TEST_ASAN 1
#endif
#endif
#ifdef LIVE_TEST_ASAN
// From the sanitizer's runtime (GCC ships no header for it): the bytes allocated and not freed.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace live_test {

// Keeps the main thread's event loop turning until the condition holds or the time is up.
inline bool SpinUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
  QTimer poll;  // wakes the loop even when nothing else happens
  poll.start(2);
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeoutMs) return condition();
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

inline void Spin(int ms) {
  QElapsedTimer clock;
  clock.start();
  SpinUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

// Measures how long the main thread is kept from its event loop by something other than the
// scheduler. The gap between two turns of a 5 ms timer includes the time the thread waits for a
// processor, which on a busy machine is 10 ms and more without any fault of ours. So a sampler
// thread reads every millisecond which system call the main thread is in (/proc/.../syscall):
// waiting for events is free; in any other call (a lock, a socket, a sleep) the time counts;
// running, only the processor time it used counts (its clock is readable from here), so being
// preempted does not. The longest stretch away from the event loop is what the tests assert.
class Watchdog {
public:
  ~Watchdog() { Stop(); }
  void Begin() {
    Stop();
    maxGapNs_ = 0;
    maxHeldNs_ = 0;
    clock_.start();
    last_ = 0;
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      maxGapNs_ = std::max(maxGapNs_, now - last_);
      last_ = now;
    });
    timer_.start(5);
    const QByteArray path = "/proc/self/task/" + QByteArray::number(gettid()) + "/syscall";
    clockid_t cpuClock{};
    pthread_getcpuclockid(pthread_self(), &cpuClock);
    stop_ = false;
    sampler_ = std::thread([this, path, cpuClock] {
      auto cpu = [cpuClock] {
        timespec t{};
        clock_gettime(cpuClock, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
      };
      qint64 held = 0;
      qint64 previous = clock_.nsecsElapsed();
      qint64 previousCpu = cpu();
      while (!stop_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const qint64 now = clock_.nsecsElapsed();
        const qint64 used = cpu();
        const qint64 wall = now - previous;
        const qint64 run = std::min(used - previousCpu, wall);
        previous = now;
        previousCpu = used;
        switch (State(path)) {
          case TState::Waiting: held = 0; break;
          case TState::Running: held += run; break;
          // A late look says nothing of what happened meanwhile. A thread that is really held
          // leaves the processor to this one, so such a stretch is seen in time.
          case TState::InCall: held = wall > 3000000 ? 0 : held + wall; break;
        }
        maxHeldNs_ = std::max(maxHeldNs_.load(), held);
      }
    });
  }
  // The longest time the main thread was held, in ms.
  double End() {
    timer_.stop();
    QObject::disconnect(&timer_, nullptr, nullptr, nullptr);
    maxGapNs_ = std::max(maxGapNs_, clock_.nsecsElapsed() - last_);
    Stop();
    return double(maxHeldNs_) / 1e6;
  }
  // The longest gap between two turns of the timer, waiting for a processor included, in ms.
  double MaxTimerGap() const { return double(maxGapNs_) / 1e6; }

private:
  enum class TState { Waiting, Running, InCall };
  void Stop() {
    stop_ = true;
    if (sampler_.joinable()) sampler_.join();
  }
  // Waiting: poll, ppoll, select, pselect6, epoll_wait, epoll_pwait(2). Running: "running".
  static TState State(const QByteArray& path) {
    FILE* file = std::fopen(path.constData(), "r");
    if (!file) return TState::Waiting;
    long number = -1;
    const bool read = std::fscanf(file, "%ld", &number) == 1;
    std::fclose(file);
    if (!read) return TState::Running;
    for (long waiting : {7L, 271L, 23L, 270L, 232L, 281L, 441L}) {
      if (number == waiting) return TState::Waiting;
    }
    return TState::InCall;
  }

  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  qint64 maxGapNs_ = 0;
  std::atomic<qint64> maxHeldNs_{0};
  std::atomic<bool> stop_{true};
  std::thread sampler_;
};

// Client threads stand for other machines: they yield to the window's thread.
inline void NiceThisThread() { (void)setpriority(PRIO_PROCESS, id_t(gettid()), 10); }

// A client thread. Waiting for its end keeps the main thread's loop turning: a plain join
// would block it for as long as the scheduler lets the (low priority) thread finish.
class Background {
public:
  explicit Background(std::function<void()> work) : work_(std::move(work)) {
    started_ = pthread_create(&thread_, nullptr, &Background::Run, this) == 0;
  }
  ~Background() { Join(); }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;
  void Join(int timeoutMs = 120000) {
    if (!started_) return;
    started_ = false;
    if (!SpinUntil([&] { return pthread_tryjoin_np(thread_, nullptr) == 0; }, timeoutMs)) {
      ADD_FAILURE() << "a client thread did not end";
      pthread_join(thread_, nullptr);
    }
  }

private:
  static void* Run(void* self) {
    NiceThisThread();
    static_cast<Background*>(self)->work_();
    return nullptr;
  }
  std::function<void()> work_;
  pthread_t thread_{};
  bool started_ = false;
};

// Runs work on a client thread while the main thread's loop keeps turning.
template <class F>
auto OffThread(F work, int timeoutMs = 120000) -> decltype(work()) {
  std::optional<decltype(work())> result;
  Background thread([&] { result.emplace(work()); });
  thread.Join(timeoutMs);
  return std::move(*result);
}

struct Response {
  int status = 0;
  std::map<QByteArray, QByteArray> headers;  // names in lower case
  QByteArray body;
  QByteArray Header(const char* name) const {
    const auto it = headers.find(QByteArray(name).toLower());
    return it == headers.end() ? QByteArray() : it->second;
  }
};

// A blocking client socket with timeouts, so no test can hang on it.
class Client {
public:
  Client() = default;
  explicit Client(quint16 port, int timeoutMs = 5000) { Connect(port, timeoutMs); }
  ~Client() { Close(); }
  Client(Client&& other) noexcept : fd_(other.fd_), buffer_(std::move(other.buffer_)) { other.fd_ = -1; }
  Client& operator=(Client&& other) noexcept {
    std::swap(fd_, other.fd_);
    std::swap(buffer_, other.buffer_);
    return *this;
  }

  // A small receive buffer makes a client that does not read fill up quickly. The source is a
  // loopback address (127.0.0.2 stands for another host).
  bool Connect(quint16 port, int timeoutMs = 5000, int receiveBuffer = 0, const char* source = nullptr) {
    Close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    SetTimeout(timeoutMs);
    if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    if (source) {
      sockaddr_in from{};
      from.sin_family = AF_INET;
      ::inet_pton(AF_INET, source, &from.sin_addr);
      if (::bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
        Close();
        return false;
      }
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      Close();
      return false;
    }
    return true;
  }
  bool Valid() const { return fd_ >= 0; }
  // Gives up the descriptor without closing it.
  int Release() { return std::exchange(fd_, -1); }
  int Fd() const { return fd_; }
  void SetTimeout(int ms) {
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
  }

  bool Send(const QByteArray& data) {
    qsizetype sent = 0;
    while (sent < data.size()) {
      const ssize_t n = ::send(fd_, data.constData() + sent, size_t(data.size() - sent), MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += n;
    }
    return true;
  }

  // Reads more into the buffer; false at the end of the stream, on an error or a timeout.
  bool Fill() {
    char chunk[65536];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
      ended_ = n == 0 || errno == ECONNRESET;
      return false;
    }
    buffer_.append(chunk, n);
    return true;
  }
  // Whether the last failed read was the peer closing (not a timeout).
  bool Ended() const { return ended_; }

  // One response; the body by Content-Length (none for HEAD), or up to the end of the stream.
  std::optional<Response> ReadResponse(bool head = false) {
    qsizetype end;
    while ((end = buffer_.indexOf("\r\n\r\n")) < 0) {
      if (!Fill()) return std::nullopt;
    }
    Response response;
    const QList<QByteArray> lines = buffer_.left(end).split('\n');
    buffer_.remove(0, end + 4);
    const QList<QByteArray> status = lines.value(0).trimmed().split(' ');
    if (status.size() < 2 || !status[0].startsWith("HTTP/1.")) return std::nullopt;
    response.status = status[1].toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
      const qsizetype colon = lines[i].indexOf(':');
      if (colon > 0) response.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
    }
    if (head) return response;
    const QByteArray length = response.Header("content-length");
    if (length.isEmpty()) {
      while (Fill()) {
      }
      response.body = std::exchange(buffer_, QByteArray());
      return response;
    }
    const qsizetype size = length.toLongLong();
    while (buffer_.size() < size) {
      if (!Fill()) return std::nullopt;
    }
    response.body = buffer_.left(size);
    buffer_.remove(0, size);
    return response;
  }

  // The next block of the event stream up to its empty line ("data: ...\n\n" or ": ping\n\n").
  std::optional<QByteArray> ReadEvent() {
    qsizetype end;
    while ((end = buffer_.indexOf("\n\n")) < 0) {
      if (!Fill()) return std::nullopt;
    }
    QByteArray event = buffer_.left(end + 2);
    buffer_.remove(0, end + 2);
    return event;
  }

  // True when the server closes the connection within the time (all it sends is read away).
  bool ClosedWithin(int ms) {
    SetTimeout(ms);
    while (Fill()) {
    }
    return ended_;
  }
  QByteArray& Buffer() { return buffer_; }

private:
  int fd_ = -1;
  QByteArray buffer_;
  bool ended_ = false;
};

inline std::optional<Response> Get(quint16 port, const QByteArray& target, const QByteArray& method = "GET",
                                   const char* source = nullptr) {
  Client client;
  if (!client.Connect(port, 5000, 0, source)) return std::nullopt;
  if (!client.Send(method + ' ' + target + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n")) {
    return std::nullopt;
  }
  return client.ReadResponse(method == "HEAD");
}

// A request to the stations' passes path as a page sends it; a null token sends no credentials.
inline QByteArray PassesRequest(const QByteArray& token, const QByteArray& body, bool close = false) {
  QByteArray request = "POST /api/passes HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\n";
  if (!token.isNull()) request += "Authorization: Bearer " + token + "\r\n";
  request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
  if (close) request += "Connection: close\r\n";
  return request + "\r\n" + body;
}

// Sends the bytes on a new connection and reads one response.
inline std::optional<Response> Exchange(quint16 port, const QByteArray& request) {
  Client client;
  if (!client.Connect(port) || !client.Send(request)) return std::nullopt;
  return client.ReadResponse();
}

// The status of a GET made from another thread; 0 when there was no answer.
inline int StatusOf(quint16 port, const QByteArray& target) {
  const auto response = OffThread([port, target] { return Get(port, target); });
  return response ? response->status : 0;
}

inline TLivePublicationPtr Publication(uint64_t serial, std::map<QString, TLiveResource> resources,
                                       QByteArray pushData) {
  auto publication = std::make_shared<TLivePublication>();
  publication->serial = serial;
  publication->resources = std::move(resources);
  publication->pushData = std::move(pushData);
  return publication;
}

// The pages as the window would publish them, small.
inline TLivePublicationPtr Pages(uint64_t serial) {
  const QByteArray n = QByteArray::number(qulonglong(serial));
  return Publication(serial,
                     {{"/", {"text/html; charset=utf-8", "<!doctype html><title>Ergebnisse " + n + "</title>"}},
                      {"/sprecher", {"text/html; charset=utf-8", "<!doctype html><title>Sprecher " + n + "</title>"}},
                      {"/api/results.json", {"application/json", "{\"serial\":" + n + "}"}}},
                     "{\"serial\":" + n + "}");
}

inline qint64 ResidentBytes() {
  FILE* statm = std::fopen("/proc/self/statm", "r");
  long size = 0, resident = 0;
  if (statm) {
    if (std::fscanf(statm, "%ld %ld", &size, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return qint64(resident) * sysconf(_SC_PAGESIZE);
}

// The bytes the program holds on its heap. Under AddressSanitizer the resident size also holds
// the sanitizer's quarantine of freed blocks (up to 256 MB), so its own count is used there.
#ifdef LIVE_TEST_ASAN
inline qint64 HeapBytes() { return qint64(__sanitizer_get_current_allocated_bytes()); }
#else
inline qint64 HeapBytes() { return ResidentBytes(); }
#endif

// A running server on the loopback interface and the watchdog on the main thread, checked when
// the test ends: the window's thread is never held up for more than 20 ms.
class ServerTest : public ::testing::Test {
protected:
  void StartServer(TLiveServerOptions options = {}) {
    options.address = QHostAddress::LocalHost;
    options.port = 0;
    QString error;
    ASSERT_TRUE(server_.Start(options, &error)) << error.toStdString();
    port_ = server_.Port();
    ASSERT_NE(port_, 0);
    watchdog_.Begin();
    watching_ = true;
  }
  // Ends the watch and checks it; a test whose locals are big calls it before they are freed,
  // which is the test's own work and not the server's.
  void CheckMainThread() {
    if (!watching_) return;
    watching_ = false;
    const double held = watchdog_.End();
    RecordProperty("main_thread_held_ms", std::to_string(held));
    std::printf("[          ] main thread held at most %.1f ms (longest timer gap %.1f ms)\n", held,
                watchdog_.MaxTimerGap());
    EXPECT_LT(held, 20.0) << "the main thread was held up";
  }
  void TearDown() override {
    CheckMainThread();
    server_.Stop();
  }

  TLiveServer server_;
  quint16 port_ = 0;
  Watchdog watchdog_;
  bool watching_ = false;
};

}  // namespace live_test
