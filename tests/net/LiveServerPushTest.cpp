// The push channel: the current data at once, then every publication in order, to every page;
// a page that reads slowly gets the newest state when it is ready for more; a page that stops
// reading is dropped without holding up the others.
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

#include "LiveServerTestSupport.h"

using namespace live_test;

namespace {

class LiveServerPushTest : public ServerTest {};

const QByteArray kEventsRequest = "GET /api/events HTTP/1.1\r\nHost: h\r\nAccept: text/event-stream\r\n\r\n";

QByteArray Event(uint64_t serial) { return "data: {\"serial\":" + QByteArray::number(qulonglong(serial)) + "}\n\n"; }

// A state sent after it was published carries its age first; the rest is the state as published.
QByteArray WithoutAge(QByteArray event) {
  static const QRegularExpression age("^data: \\{\"ageMs\":\\d+,");
  return event.startsWith("data: {\"ageMs\":") ? QString::fromUtf8(event).replace(age, "data: {").toUtf8() : event;
}

uint64_t SerialOf(const QByteArray& event) {
  const qsizetype at = event.indexOf("\"serial\":");
  return at < 0 ? 0 : event.mid(at + 9, event.indexOf(',', at) - at - 9).toULongLong();
}

// States 0 to last, each carrying its serial and padded to about paddingBytes.
std::vector<TLivePublicationPtr> PaddedPublications(uint64_t last, int paddingBytes) {
  const QByteArray filler(paddingBytes, 'x');
  std::vector<TLivePublicationPtr> states;
  for (uint64_t serial = 0; serial <= last; ++serial)
    states.push_back(
        Publication(serial, {}, "{\"serial\":" + QByteArray::number(qulonglong(serial)) + ",\"f\":\"" + filler + "\"}"));
  return states;
}

TEST_F(LiveServerPushTest, SendsTheCurrentDataAtOnceThenEveryPublicationInOrder) {
  StartServer();
  server_.Publish(Pages(1));
  std::atomic<bool> connected{false};
  std::optional<Response> head;
  std::vector<QByteArray> events;
  Background client([&, port = port_] {
    Client c(port);
    c.Send(kEventsRequest);
    head = c.ReadResponse(true);
    if (auto first = c.ReadEvent()) events.push_back(WithoutAge(*first));
    // What a client sends on the channel is no request: no response may appear in the stream.
    c.Send("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
    connected = true;
    for (int i = 0; i < 30; ++i) {
      auto event = c.ReadEvent();
      if (!event) break;
      events.push_back(*event);
    }
  });
  EXPECT_TRUE(SpinUntil([&] { return connected.load(); }, 10000));
  for (uint64_t serial = 2; serial <= 31; ++serial) server_.Publish(Pages(serial));
  client.Join();
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->Header("Content-Type"), "text/event-stream");
  EXPECT_EQ(head->Header("Cache-Control"), "no-cache");
  EXPECT_EQ(head->Header("Content-Length"), "");
  ASSERT_EQ(events.size(), 31u);
  for (uint64_t serial = 1; serial <= 31; ++serial) EXPECT_EQ(events[serial - 1], Event(serial)) << serial;
}

TEST_F(LiveServerPushTest, AChannelOpenedBeforeAnyPublicationWaitsAndIsPinged) {
  TLiveServerOptions options;
  options.pingIntervalMs = 50;
  StartServer(options);
  std::atomic<bool> connected{false};
  std::vector<QByteArray> events;
  std::optional<Response> headOnly;
  bool headClosed = false;
  Background client([&, port = port_] {
    Client c(port);
    c.Send(kEventsRequest);
    c.ReadResponse(true);
    connected = true;
    while (events.size() < 3) {
      auto event = c.ReadEvent();
      if (!event) break;
      if (*event != ": ping\n\n" || events.empty()) events.push_back(*event);
    }
    Client h(port);
    h.Send("HEAD /api/events HTTP/1.1\r\nHost: h\r\n\r\n");
    headOnly = h.ReadResponse(true);
    headClosed = h.ClosedWithin(1000);
  });
  EXPECT_TRUE(SpinUntil([&] { return connected.load(); }, 10000));
  Spin(150);  // a ping or more arrive; no data yet
  server_.Publish(Pages(1));
  server_.Publish(Pages(2));
  client.Join();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0], ": ping\n\n");
  EXPECT_EQ(events[1], Event(1));
  EXPECT_EQ(events[2], Event(2));
  ASSERT_TRUE(headOnly);
  EXPECT_EQ(headOnly->Header("Content-Type"), "text/event-stream");
  EXPECT_TRUE(headClosed) << "HEAD of the channel is answered and closed, not kept as a channel";
}

TEST_F(LiveServerPushTest, TwoHundredPushClientsAllGetEveryPublication) {
  constexpr int kClients = 200;
  constexpr uint64_t kPublications = 20;
  TLiveServerOptions options;
  options.addressSharePercent = 100;  // all from this test's one address
  StartServer(options);  // the default limit is exactly 200
  server_.Publish(Pages(1));
  std::atomic<int> ready{0};
  std::atomic<qint64> publishedAtNs{0};
  QElapsedTimer clock;
  clock.start();
  std::vector<qint64> latenciesNs;  // per publication: until the last client had it
  std::atomic<size_t> measured{0};
  std::atomic<bool> allInOrder{true};
  Background clients([&, port = port_] {
    std::vector<Client> c(kClients);
    for (auto& client : c) {
      if (!client.Connect(port) || !client.Send(kEventsRequest) || !client.ReadResponse(true) ||
          WithoutAge(client.ReadEvent().value_or("")) != Event(1)) {
        return;
      }
      ++ready;
    }
    std::vector<uint64_t> last(kClients, 1);
    std::vector<pollfd> fds(kClients);
    for (int i = 0; i < kClients; ++i) fds[i] = {c[i].Fd(), POLLIN, 0};
    QElapsedTimer limit;
    limit.start();
    uint64_t waitingFor = 2;
    while (waitingFor <= kPublications && limit.elapsed() < 30000) {
      if (::poll(fds.data(), fds.size(), 100) <= 0) continue;
      for (int i = 0; i < kClients; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        if (!c[i].Fill()) continue;
        qsizetype end;
        while ((end = c[i].Buffer().indexOf("\n\n")) >= 0) {
          const QByteArray event = c[i].Buffer().left(end + 2);
          c[i].Buffer().remove(0, end + 2);
          if (event != Event(last[i] + 1)) allInOrder = false;
          ++last[i];
        }
      }
      if (*std::min_element(last.begin(), last.end()) >= waitingFor) {
        latenciesNs.push_back(clock.nsecsElapsed() - publishedAtNs);
        measured = latenciesNs.size();
        ++waitingFor;
      }
    }
  });
  EXPECT_TRUE(SpinUntil([&] { return ready == kClients && server_.Connections() == kClients; }, 30000))
      << ready << " clients, " << server_.Connections() << " connections";
  for (uint64_t serial = 2; serial <= kPublications; ++serial) {
    const size_t before = measured;
    publishedAtNs = clock.nsecsElapsed();
    server_.Publish(Pages(serial));
    if (!SpinUntil([&] { return measured > before; }, 10000)) break;
  }
  clients.Join();
  ASSERT_EQ(latenciesNs.size(), kPublications - 1) << "every client got every publication";
  EXPECT_TRUE(allInOrder);
  std::sort(latenciesNs.begin(), latenciesNs.end());
  const double medianMs = double(latenciesNs[latenciesNs.size() / 2]) / 1e6;
  const double maxMs = double(latenciesNs.back()) / 1e6;
  std::printf("[          ] publish -> all %d clients: median %.2f ms, max %.2f ms\n", kClients, medianMs, maxMs);
  EXPECT_LT(maxMs, 1000.0);
}

TEST_F(LiveServerPushTest, AClientThatNeverReadsIsDroppedAndTheOthersKeepGettingData) {
  TLiveServerOptions options;
  options.stallTimeoutMs = 500;
  constexpr uint64_t kPublications = 40;
  const QByteArray filler(300 * 1024, 'x');
  std::vector<TLivePublicationPtr> big;  // made before the watch starts: that work is the renderer's
  for (uint64_t serial = 0; serial <= kPublications; ++serial) {
    big.push_back(
        Publication(serial, {}, "{\"serial\":" + QByteArray::number(qulonglong(serial)) + ",\"f\":\"" + filler + "\"}"));
  }
  StartServer(options);
  server_.Publish(Pages(0));

  // The stuck client asks for the channel and then never reads again.
  Client stuck = OffThread([port = port_] {
    Client c;
    if (c.Connect(port, 5000, 4096)) c.Send(kEventsRequest);
    return c;
  });
  ASSERT_TRUE(stuck.Valid());

  std::atomic<bool> readerReady{false}, release{false};
  std::vector<uint64_t> received;
  std::atomic<size_t> count{0};
  bool inOrder = true;
  Background reader([&, port = port_] {
    Client c(port, 10000);
    c.Send(kEventsRequest);
    c.ReadResponse(true);
    c.ReadEvent();  // serial 0
    readerReady = true;
    while (received.size() < kPublications) {
      auto event = c.ReadEvent();
      if (!event) break;
      const uint64_t serial = SerialOf(*event);
      if (serial != received.size() + 1) inOrder = false;
      received.push_back(serial);
      count = received.size();
    }
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  });
  ASSERT_TRUE(SpinUntil([&] { return readerReady && server_.Connections() == 2; }, 10000));
  QElapsedTimer clock;
  clock.start();
  qint64 droppedAfterMs = -1;
  for (uint64_t serial = 1; serial <= kPublications; ++serial) {
    server_.Publish(big[serial]);
    Spin(50);
    if (droppedAfterMs < 0 && server_.Connections() == 1) droppedAfterMs = clock.elapsed();
  }
  EXPECT_TRUE(SpinUntil([&] { return server_.Connections() == 1; }, 5000)) << "the client that never reads stays";
  if (droppedAfterMs < 0) droppedAfterMs = clock.elapsed();
  SpinUntil([&] { return count >= kPublications; }, 20000);
  EXPECT_EQ(server_.Connections(), 1) << "the reading client is kept";
  release = true;
  reader.Join();
  std::printf("[          ] the client that never reads was dropped after %lld ms\n", droppedAfterMs);
  EXPECT_EQ(received.size(), kPublications) << "the reading client got every publication";
  EXPECT_TRUE(inOrder);
  EXPECT_TRUE(OffThread([&stuck] { return stuck.ClosedWithin(5000); })) << "the stuck client's connection is closed";
  CheckMainThread();
}

TEST_F(LiveServerPushTest, AClientThatReadsSlowlyIsKeptAndGetsTheNewestStateWhenReady) {
  // Each state is bigger than the unsent data a client may pile up; a phone on a weak network
  // reads a fraction of them while they come.
  constexpr uint64_t kPublications = 30;
  const std::vector<TLivePublicationPtr> big = PaddedPublications(kPublications, 400 * 1024);
  StartServer();
  server_.Publish(big[0]);
  std::atomic<bool> ready{false}, release{false};
  std::atomic<uint64_t> newest{0};
  std::vector<uint64_t> received;
  Background reader([&, port = port_] {
    Client c;
    if (!c.Connect(port, 10000, 8192) || !c.Send(kEventsRequest) || !c.ReadResponse(true) || !c.ReadEvent()) return;
    ready = true;
    while (newest < kPublications) {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      auto event = c.ReadEvent();
      if (!event) break;
      received.push_back(SerialOf(*event));
      newest = received.back();
    }
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  });
  ASSERT_TRUE(SpinUntil([&] { return ready.load(); }, 10000));
  bool kept = true;
  for (uint64_t serial = 1; serial <= kPublications; ++serial) {
    server_.Publish(big[serial]);
    Spin(20);
    kept = kept && server_.Connections() == 1;
  }
  EXPECT_TRUE(SpinUntil([&] { return newest >= kPublications; }, 20000)) << "newest state received: " << newest;
  kept = kept && server_.Connections() == 1;
  release = true;
  reader.Join();
  EXPECT_TRUE(kept) << "a client that reads is never dropped";
  EXPECT_TRUE(std::is_sorted(received.begin(), received.end()) &&
              std::adjacent_find(received.begin(), received.end()) == received.end())
      << "states arrive oldest first, none twice";
  EXPECT_LT(received.size(), kPublications) << "states it was not ready for were left out";
  std::printf("[          ] the slow client got %zu of %llu states, the newest last\n", received.size(),
              static_cast<unsigned long long>(kPublications));
  CheckMainThread();
}

TEST_F(LiveServerPushTest, AClientReadingHalfAMegabyteASecondGetsTheNewestStateWithinASecond) {
  // 100 states of 50 KB in two seconds, five times what the page can read: no pile of old
  // states may wait before the newest, in our buffer or in the kernel's.
  constexpr uint64_t kPublications = 100;
  const std::vector<TLivePublicationPtr> states = PaddedPublications(kPublications, 50 * 1024);
  StartServer();
  server_.Publish(states[0]);
  QElapsedTimer clock;
  clock.start();
  std::atomic<bool> ready{false};
  std::atomic<qint64> newestAtMs{-1};
  std::atomic<int> received{0};
  Background reader([&, port = port_] {
    Client c;
    if (!c.Connect(port, 10000) || !c.Send(kEventsRequest) || !c.ReadResponse(true) || !c.ReadEvent()) return;
    ready = true;
    QElapsedTimer limit;
    limit.start();
    while (newestAtMs < 0 && limit.elapsed() < 20000) {
      char chunk[10 * 1024];  // every 20 ms: 0.5 MB/s
      const ssize_t n = ::recv(c.Fd(), chunk, sizeof chunk, 0);
      if (n <= 0) break;
      c.Buffer().append(chunk, n);
      qsizetype end;
      while ((end = c.Buffer().indexOf("\n\n")) >= 0) {
        const uint64_t serial = SerialOf(c.Buffer().left(end));
        c.Buffer().remove(0, end + 2);
        ++received;
        if (serial == kPublications) newestAtMs = clock.elapsed();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  ASSERT_TRUE(SpinUntil([&] { return ready.load(); }, 10000));
  for (uint64_t serial = 1; serial <= kPublications; ++serial) {
    server_.Publish(states[serial]);
    Spin(20);
  }
  const qint64 lastChangeMs = clock.elapsed();
  SpinUntil([&] { return newestAtMs >= 0; }, 20000);
  reader.Join();
  std::printf("[          ] the page got %d of %llu states, the newest %lld ms after the last change\n", received.load(),
              static_cast<unsigned long long>(kPublications), newestAtMs.load() - lastChangeMs);
  ASSERT_GE(newestAtMs.load(), 0) << "the newest state arrives";
  EXPECT_LT(newestAtMs.load() - lastChangeMs, 1000);
  CheckMainThread();
}

TEST_F(LiveServerPushTest, AStateSentAfterItWasPublishedSaysHowOldItIs) {
  StartServer();
  server_.Publish(Publication(5, {}, "{\"serial\":5,\"x\":\"a,b\"}"));
  Spin(300);
  std::optional<QByteArray> first, next;
  std::atomic<bool> connected{false};
  Background client([&, port = port_] {
    Client c(port);
    c.Send(kEventsRequest);
    c.ReadResponse(true);
    first = c.ReadEvent();
    connected = true;
    next = c.ReadEvent();
  });
  ASSERT_TRUE(SpinUntil([&] { return connected.load(); }, 10000));
  server_.Publish(Publication(6, {}, "{\"serial\":6}"));
  client.Join();
  ASSERT_TRUE(first && next);
  const QJsonObject state = QJsonDocument::fromJson(first->mid(6)).object();
  EXPECT_GE(state["ageMs"].toInt(), 300) << first->toStdString();
  EXPECT_LT(state["ageMs"].toInt(), 5000);
  EXPECT_EQ(state["serial"].toInt(), 5);
  EXPECT_EQ(state["x"].toString(), "a,b");
  EXPECT_EQ(*next, Event(6)) << "a state sent as it is published is as published";
}

}  // namespace
