// The live results under load. 250 riders on course, 1,000 LAP presses through the window (a
// lap each, four rounds, 20 ms apart), with the server on and 200 clients on the push channel:
// from each press to the moment the last of the 200 has the change (median, p99). And the cost
// to the press itself: its handling with the live results off and on (medians, and their
// difference), over three races of each in turn.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTcpServer>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "WindowBench.h"
#include "grid/SortGrid.h"
#include "io/Settings.h"
#include "platform/KeyStore.h"
#include "platform/Tick.h"
#include "race/Protocol.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRiders = 250;
constexpr int kPresses = 1000;
constexpr int kClients = 200;
constexpr int kPauseMs = 20;
constexpr int kRounds = 3;  // races with the server off and on, in turn

int64_t NowNs() { return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count(); }

// kClients push clients on plain sockets, read on a thread of their own: for each, the newest
// serial it has received and when.
class PushClients {
public:
  explicit PushClients(quint16 port) : serial_(kClients), at_(kClients) {
    epoll_ = epoll_create1(0);
    for (int i = 0; i < kClients; ++i) {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(port);
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) continue;
      const char request[] = "GET /api/events HTTP/1.1\r\nHost: bench\r\nAccept: text/event-stream\r\n\r\n";
      if (write(fd, request, sizeof request - 1) < 0) continue;
      epoll_event event{};
      event.events = EPOLLIN;
      event.data.u32 = static_cast<uint32_t>(fds_.size());
      epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
      fds_.push_back(fd);
    }
    buffers_.resize(fds_.size());
    reader_ = std::thread([this] { Read(); });
  }
  ~PushClients() {
    stop_ = true;
    reader_.join();
    for (int fd : fds_) close(fd);
    close(epoll_);
  }
  int Connected() const { return static_cast<int>(fds_.size()); }
  uint64_t MinSerial() const {
    uint64_t least = UINT64_MAX;
    for (size_t i = 0; i < fds_.size(); ++i) least = std::min(least, serial_[i].load());
    return fds_.empty() ? 0 : least;
  }
  // Whether every client has serial or a newer one; then the latest arrival time among them.
  bool AllHave(uint64_t serial, int64_t& lastArrivalNs) const {
    int64_t last = 0;
    for (size_t i = 0; i < fds_.size(); ++i) {
      if (serial_[i].load() < serial) return false;
      last = std::max(last, at_[i].load());
    }
    lastArrivalNs = last;
    return true;
  }

private:
  void Read() {
    std::vector<epoll_event> events(64);
    std::vector<char> chunk(1 << 16);
    while (!stop_) {
      const int n = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 50);
      for (int e = 0; e < n; ++e) {
        const uint32_t client = events[static_cast<size_t>(e)].data.u32;
        const ssize_t got = read(fds_[client], chunk.data(), chunk.size());
        if (got <= 0) continue;
        std::string& buffer = buffers_[client];
        buffer.append(chunk.data(), static_cast<size_t>(got));
        // Each message is one "data:" line ending in a blank line; its serial comes first.
        size_t end;
        while ((end = buffer.find("\n\n")) != std::string::npos) {
          const size_t at = buffer.rfind("\"serial\":", end);
          if (at != std::string::npos && buffer.compare(0, 1, ":") != 0) {
            const uint64_t serial = std::strtoull(buffer.c_str() + at + 9, nullptr, 10);
            if (serial > serial_[client]) {
              at_[client] = NowNs();
              serial_[client] = serial;
            }
          }
          buffer.erase(0, end + 2);
        }
      }
    }
  }

  int epoll_ = -1;
  std::vector<int> fds_;
  std::vector<std::string> buffers_;
  std::vector<std::atomic<uint64_t>> serial_;
  std::vector<std::atomic<int64_t>> at_;
  std::atomic<bool> stop_{false};
  std::thread reader_;
};

struct Run {
  std::vector<double> handledUs;   // press to the end of its handling
  std::vector<double> deliveredMs; // press to the last client having it
  bool ok = true;
};

// One race of kPresses LAP presses; with a port, the server runs and kClients listen.
Run Race(quint16 port) {
  Run run;
  QTemporaryDir folder;
  QDir::setCurrent(folder.path());
  WriteCategories();
  {
    platform::KeyStore store;
    store.OpenKey(SettingsKey(), true);
    store.WriteInteger("LivePort", port);
    store.WriteInteger("LiveClients", kClients + 10);
    store.WriteInteger("MinLap", 0);
    store.CloseKey();
  }
  BenchWindow window;
  TFormMain& form = window.form;
  for (int r = 0; r < kRiders; ++r) {
    form.eName->setText(QStringLiteral("Fahrer %1").arg(r + 1));
    PressKey(form.SortGrid1, Qt::Key_F5);
  }
  QCoreApplication::processEvents();
  std::unique_ptr<PushClients> clients;
  uint64_t serial = 0;
  if (port != 0) {
    clients = std::make_unique<PushClients>(port);
    if (clients->Connected() != kClients) run.ok = false;
    // Everyone has the state before the first press, and nothing more is on its way.
    const auto settle = Clock::now() + std::chrono::milliseconds(500);
    while (Clock::now() < settle) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    serial = clients->MinSerial();
  }
  for (int p = 0; p < kPresses; ++p) {
    if (p % kRiders == 0) form.SortGrid1->SetRow(1);
    // Presses at a timing line come seconds apart: each meets a window, and a server, that
    // have finished with the one before.
    const auto pause = Clock::now() + std::chrono::milliseconds(kPauseMs);
    while (Clock::now() < pause) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const int64_t pressed = NowNs();
    PressKey(form.SortGrid1, Qt::Key_F4);
    run.handledUs.push_back(static_cast<double>(NowNs() - pressed) / 1e3);
    if (!clients) continue;
    // Each press makes exactly one new state.
    ++serial;
    int64_t last = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!clients->AllHave(serial, last)) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
      if (Clock::now() > deadline) {
        run.ok = false;
        return run;
      }
    }
    run.deliveredMs.push_back(static_cast<double>(last - pressed) / 1e6);
  }
  if (form.SortGrid1->Cells(pcLapCount, kRiders) != "4") run.ok = false;
  return run;
}

quint16 FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

void Append(std::vector<double>& to, const std::vector<double>& from) { to.insert(to.end(), from.begin(), from.end()); }

void BM_LiveResultsUnderLoad(benchmark::State& state) {
  for (auto _ : state) {
    // Off and on take turns, so a drift of the machine during the runs falls on both alike.
    Run off, on;
    for (int round = 0; round < kRounds; ++round) {
      const Run offRound = Race(0);
      const Run onRound = Race(FreePort());
      if (!offRound.ok || !onRound.ok) {
        state.SkipWithError("a press or a delivery went missing");
        return;
      }
      Append(off.handledUs, offRound.handledUs);
      Append(on.handledUs, onRound.handledUs);
      Append(on.deliveredMs, onRound.deliveredMs);
    }
    state.counters["handled_off_median_us"] = Quantile(off.handledUs, 0.5);
    state.counters["handled_on_median_us"] = Quantile(on.handledUs, 0.5);
    state.counters["handled_cost_median_us"] = Quantile(on.handledUs, 0.5) - Quantile(off.handledUs, 0.5);
    state.counters["to_all_200_median_ms"] = Quantile(on.deliveredMs, 0.5);
    state.counters["to_all_200_p99_ms"] = Quantile(on.deliveredMs, 0.99);
    state.counters["to_all_200_max_ms"] = Quantile(on.deliveredMs, 1.0);
  }
}
BENCHMARK(BM_LiveResultsUnderLoad)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunWindowBenchmarks(argc, argv, "offscreen"); }
