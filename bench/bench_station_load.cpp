// Ten phones as timing stations, each tapping ten times a second for a minute, on 127.0.0.1,
// while the operator takes open times by key on a real X server (run it through
// tests/xinput/run-on-x-server.sh). Counts every pass sent, answered and arrived (none lost, none
// twice), the longest the window's thread was held between two turns of its loop, and how far
// the recorded time of a local press lies outside the round trip within which the X server took
// the key.
// VELTRANO_BENCH_SECONDS shortens the minute.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "WindowBench.h"
#include "XTestInput.h"
#include "io/Settings.h"
#include "platform/KeyStore.h"
#include "platform/LocalTime.h"
#include "race/TimeText.h"
#include "race/Protocol.h"
#include "widgets/LivePanel.h"
#include "widgets/StationWindow.h"

namespace {

constexpr int kStations = 10;
constexpr int kTapsPerSecond = 10;
constexpr int kLocalPressEveryMs = 500;

int Seconds() {
  const int seconds = qEnvironmentVariableIntValue("VELTRANO_BENCH_SECONDS");
  return seconds > 0 ? seconds : 60;
}

int64_t WallMs() { return QDateTime::currentMSecsSinceEpoch(); }

// One phone: a keep-alive connection, a POST per tap, each answer read before the next tap.
class Station {
public:
  Station(int index, quint16 port, QByteArray token, int taps)
      : index_(index), port_(port), token_(std::move(token)), taps_(taps) {}
  void Run(const std::atomic<bool>& stop) {
    const auto begin = std::chrono::steady_clock::now();
    for (int tap = 0; tap < taps_ && !stop; ++tap) {
      std::this_thread::sleep_until(begin + std::chrono::milliseconds(tap * 1000 / kTapsPerSecond));
      const QByteArray body = QStringLiteral("{\"device\":\"Handy %1\",\"role\":\"Zeit\",\"passes\":[{\"id\":\"h%1-%2\",\"t\":%3}]}")
                                  .arg(index_)
                                  .arg(tap)
                                  .arg(WallMs())
                                  .toUtf8();
      ++sent;
      if (Send(body)) ++taken;
    }
    if (fd_ >= 0) close(fd_);
  }
  std::atomic<int> sent{0}, taken{0}, failed{0};

private:
  bool Send(const QByteArray& body) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (fd_ < 0 && !Connect()) break;
      const QByteArray request = "POST /api/passes HTTP/1.1\r\nHost: bench\r\nAuthorization: Bearer " + token_ +
                                 "\r\nContent-Type: application/json\r\nContent-Length: " +
                                 QByteArray::number(body.size()) + "\r\n\r\n" + body;
      if (::send(fd_, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
        const QByteArray answer = ReadAnswer();
        if (answer.startsWith("HTTP/1.1 200")) return answer.contains("\"taken\":[\"");
        if (!answer.isEmpty()) {
          ++failed;
          return false;
        }
      }
      close(fd_);
      fd_ = -1;
    }
    ++failed;
    return false;
  }
  bool Connect() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
    close(fd_);
    fd_ = -1;
    return false;
  }
  QByteArray ReadAnswer() {
    QByteArray in;
    char buffer[4096];
    for (;;) {
      const qsizetype head = in.indexOf("\r\n\r\n");
      if (head >= 0) {
        const qsizetype at = in.toLower().indexOf("content-length:");
        const qsizetype length = at < 0 ? 0 : in.mid(at + 15, in.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
        if (in.size() >= head + 4 + length) return in;
      }
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) return {};
      in.append(buffer, n);
    }
  }
  int index_;
  quint16 port_;
  QByteArray token_;
  int taps_;
  int fd_ = -1;
};

// Waits with the event loop running freely (QTest's waits sleep in steps of 10 ms, which the
// heartbeat would take for a held thread), until done says so or ms have passed.
bool RunLoop(int ms, const std::function<bool()>& done = {}) {
  QEventLoop loop;
  QTimer check;
  QElapsedTimer since;
  since.start();
  QObject::connect(&check, &QTimer::timeout, [&] {
    if ((done && done()) || since.elapsed() >= ms) loop.quit();
  });
  check.start(1);
  loop.exec();
  return done && done();
}

quint16 FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

void BM_TenStationsTapping(benchmark::State& state) {
  XTestInput input;
  if (!input.Connected() || QGuiApplication::platformName() != QLatin1String("xcb")) {
    state.SkipWithError("needs an X server with XTest (tests/xinput/run-on-x-server.sh)");
    return;
  }
  for (auto _ : state) {
    InFolder folder;
    WriteCategories("M\r\nF\r\n");
    const quint16 port = FreePort();
    {
      platform::KeyStore store;
      store.OpenKey(SettingsKey(), true);
      store.WriteInteger("LivePort", port);
    }
    BenchWindow window;
    TFormMain& form = window.form;
    form.activateWindow();
    (void)QTest::qWaitForWindowActive(&form);
    form.StartJournal();
    form.cbStartN->setEditText("1");
    form.mStart->trigger();
    QTest::qWait(200);
    form.PanelLive->Stations()->click();
    const QByteArray token = form.StationWindow->Link()->text().section("#k=", 1).toLatin1();
    form.StationWindow->hide();
    form.eNumber->setFocus();
    QTest::qWait(100);

    // The window's thread: the longest gap between two turns of its loop, in a 1 ms timer.
    QElapsedTimer beat;
    beat.start();
    int64_t lastBeat = 0, longestGap = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
      const int64_t now = beat.elapsed();
      longestGap = std::max(longestGap, now - lastBeat);
      lastBeat = now;
    });
    lastBeat = beat.elapsed();
    heartbeat.start();

    const int taps = Seconds() * kTapsPerSecond;
    std::atomic<bool> stop{false};
    std::vector<std::unique_ptr<Station>> stations;
    std::vector<std::thread> threads;
    for (int i = 0; i < kStations; ++i) stations.push_back(std::make_unique<Station>(i + 1, port, token, taps));
    for (auto& station : stations) threads.emplace_back([&station, &stop] { station->Run(stop); });

    // The operator's own presses: keypad "+" takes an open time at the key's instant.
    std::vector<double> errors, spans;
    const auto localTicks = [&form] {
      std::vector<uint32_t> ticks;
      for (const TOpenTime& time : form.Session().OpenTimes().Times())
        if (time.Device.isEmpty()) ticks.push_back(time.Tick);
      return ticks;
    };
    // The operator's hand on the mouse: the window learns how the X server's clock lies against
    // its own from the events it sees, as it does all day long.
    const QPoint centre = form.mapToGlobal(form.rect().center());
    for (int i = 0; i < 20; ++i) {
      input.MoveTo(centre + QPoint(i, i));
      RunLoop(10);
    }
    QElapsedTimer run;
    run.start();
    while (run.elapsed() < Seconds() * 1000) {
      for (int i = 0; i < 10; ++i) {
        input.MoveTo(centre + QPoint(i % 3, 0));
        RunLoop(kLocalPressEveryMs / 10);
      }
      const size_t before = localTicks().size();
      const XTestInput::Instant instant = input.Key(XTestInput::kKeypadPlus);
      if (!RunLoop(2000, [&] { return localTicks().size() > before; })) continue;
      const std::vector<uint32_t> ticks = localTicks();
      const uint32_t newest = *std::max_element(ticks.begin(), ticks.end(),
                                                [](uint32_t a, uint32_t b) { return TickDiff(a, b) < 0; });
      // The X server stamped the key between before and after (its round trip); outside that
      // span the recorded time is wrong by the distance.
      const int32_t early = TickDiff(static_cast<uint32_t>(instant.before), newest);
      const int32_t late = TickDiff(newest, static_cast<uint32_t>(instant.after));
      errors.push_back(std::max({0, early, late}));
      spans.push_back(static_cast<double>(instant.after - instant.before));
      if (errors.back() > 2) std::fprintf(stderr, "press %zu off by %g ms\n", errors.size(), errors.back());
    }
    RunLoop(60000, [&] {
      return std::all_of(stations.begin(), stations.end(), [taps](const auto& s) { return s->sent == taps; });
    });
    RunLoop(500);
    heartbeat.stop();
    for (std::thread& thread : threads) thread.join();

    int sent = 0, taken = 0, failed = 0;
    for (const auto& station : stations) {
      sent += station->sent;
      taken += station->taken;
      failed += station->failed;
    }
    int arrived = 0;
    for (const TOpenTime& time : form.Session().OpenTimes().Times())
      if (!time.Device.isEmpty()) ++arrived;
    state.counters["passes_sent"] = sent;
    state.counters["passes_taken"] = taken;
    state.counters["passes_refused"] = failed;
    state.counters["passes_in_race"] = arrived;
    state.counters["window_longest_gap_ms"] = static_cast<double>(longestGap);
    state.counters["local_press_error_median_ms"] = Quantile(errors, 0.5);
    state.counters["local_press_error_max_ms"] = Quantile(errors, 1.0);
    state.counters["local_presses"] = static_cast<double>(errors.size());
    state.counters["x_round_trip_max_ms"] = Quantile(spans, 1.0);
    if (taken != sent || arrived != sent) {
      std::fprintf(stderr, "sent %d, taken %d, refused %d, in the race %d\n", sent, taken, failed, arrived);
      state.SkipWithError("passes were lost or refused");
    }
  }
}
BENCHMARK(BM_TenStationsTapping)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) { return RunWindowBenchmarks(argc, argv, nullptr); }
