// The live server as a browser sees it: exactly the published paths, GET and HEAD only,
// connections kept or closed as asked, the connection limit and the idle timeout.
#include <QDir>
#include <QFile>
#include <QList>
#include <QTcpServer>

#include "LiveServerTestSupport.h"

using namespace live_test;

namespace {

class LiveServerTest : public ServerTest {};

TEST_F(LiveServerTest, ServesExactlyThePublishedPathsWithGetAndHead) {
  StartServer();
  server_.Publish(Pages(7));
  const auto results = OffThread([port = port_] {
    std::vector<std::optional<Response>> out;
    for (const char* target : {"/", "/sprecher", "/api/results.json", "/sprecher?x=1&y=%2e%2e", "/sprecher/",
                               "/Sprecher", "/api/results.json/", "/api", "/index.html", "/api/events.json"}) {
      out.push_back(Get(port, target));
    }
    // HEAD answers with the headers of GET and no body: the next response on the same
    // connection would start with that body otherwise.
    Client client(port);
    client.Send("HEAD /sprecher HTTP/1.1\r\nHost: h\r\n\r\nGET /api/results.json HTTP/1.1\r\nHost: h\r\n\r\n");
    out.push_back(client.ReadResponse(true));
    out.push_back(client.ReadResponse());
    return out;
  });
  ASSERT_EQ(results.size(), 12u);
  for (int i : {0, 1, 2, 3}) ASSERT_TRUE(results[i]) << i;
  EXPECT_EQ(results[0]->status, 200);
  EXPECT_EQ(results[0]->body, "<!doctype html><title>Ergebnisse 7</title>");
  EXPECT_EQ(results[0]->Header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(results[0]->Header("Cache-Control"), "no-cache");
  EXPECT_EQ(results[0]->Header("X-Content-Type-Options"), "nosniff");
  EXPECT_EQ(results[1]->body, "<!doctype html><title>Sprecher 7</title>");
  EXPECT_EQ(results[2]->status, 200);
  EXPECT_EQ(results[2]->Header("Content-Type"), "application/json");
  EXPECT_EQ(results[2]->body, "{\"serial\":7}");
  EXPECT_EQ(results[3]->status, 200) << "the query is not part of the path";
  for (int i = 4; i < 10; ++i) {
    ASSERT_TRUE(results[i]) << i;
    EXPECT_EQ(results[i]->status, 404) << i;
    EXPECT_EQ(results[i]->body, "Nicht gefunden.\n");
  }
  ASSERT_TRUE(results[10] && results[11]);
  EXPECT_EQ(results[10]->status, 200);
  EXPECT_EQ(results[10]->Header("Content-Length"), "40");
  EXPECT_EQ(results[10]->Header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(results[11]->status, 200);
  EXPECT_EQ(results[11]->body, "{\"serial\":7}");

  // A new publication replaces the old one's paths entirely.
  server_.Publish(Publication(8, {{"/neu", {"text/plain", "neu"}}}, {}));
  SpinUntil([&] { return StatusOf(port_, "/neu") == 200; }, 5000);
  const auto after = OffThread([port = port_] { return std::make_pair(Get(port, "/neu"), Get(port, "/")); });
  ASSERT_TRUE(after.first && after.second);
  EXPECT_EQ(after.first->body, "neu");
  EXPECT_EQ(after.second->status, 404);
}

TEST_F(LiveServerTest, AnswersOtherMethodsWith405AndKeepsTheConnection) {
  StartServer();
  server_.Publish(Pages(1));
  const auto results = OffThread([port = port_] {
    std::vector<std::optional<Response>> out;
    Client client(port);
    for (const char* request :
         {"POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\n\r\nhallo", "PUT /sprecher HTTP/1.1\r\nHost: h\r\n\r\n",
          "DELETE / HTTP/1.1\r\nHost: h\r\n\r\n", "OPTIONS * HTTP/1.1\r\nHost: h\r\n\r\n",
          "TRACE / HTTP/1.1\r\nHost: h\r\n\r\n", "PATCH /api/results.json HTTP/1.1\r\nHost: h\r\n\r\n",
          "FOO / HTTP/1.1\r\nHost: h\r\n\r\n", "GET / HTTP/1.1\r\nHost: h\r\n\r\n"}) {
      client.Send(request);
      out.push_back(client.ReadResponse());
    }
    return out;
  });
  ASSERT_EQ(results.size(), 8u);
  for (int i = 0; i < 7; ++i) {
    ASSERT_TRUE(results[i]) << i;
    EXPECT_EQ(results[i]->status, 405) << i;
    EXPECT_EQ(results[i]->Header("Allow"), "GET, HEAD") << i;
    EXPECT_EQ(results[i]->body, "Nur GET und HEAD sind erlaubt.\n");
  }
  ASSERT_TRUE(results[7]);
  EXPECT_EQ(results[7]->status, 200) << "the connection still works after refused methods";
}

TEST_F(LiveServerTest, PathTraversalAndOddTargetsNeverReachAFile) {
  // Files the server must never hand out, beside and above its working folder.
  QFile secret(QDir::current().filePath("geheim.txt"));
  ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
  secret.write("GEHEIM");
  secret.close();
  StartServer();
  server_.Publish(Pages(3));
  const QList<QByteArray> targets = {
      "/../etc/passwd", "/../../../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/%2E%2E/etc/passwd",
      "/..%2f..%2fetc%2fpasswd", "/..%2F..%2Fetc%2Fpasswd", "/%2e%2e%2f%2e%2e%2fetc%2fpasswd", "//etc/passwd",
      "///etc/passwd", "/\\..\\..\\etc\\passwd", "\\..\\..\\etc\\passwd", "/..\\..\\etc\\passwd",
      "http://localhost/../../etc/passwd", "http://localhost/%2e%2e/etc/passwd", "file:///etc/passwd",
      "/geheim.txt", "/./geheim.txt", "/../work/geheim.txt", "geheim.txt", "/%67eheim.txt", "/etc/passwd%00",
      "/%00", "/%", "/%zz", "/.", "/..", "/./", "/api/../sprecher", "/sprecher/.", "/sprecher/..", "//sprecher",
      "/sprecher%2f", "/%c0%ae%c0%ae/etc/passwd", "/..%c0%af..%c0%afetc/passwd", "/%252e%252e/etc/passwd",
      "*", "sprecher", "/proc/self/environ", "/" + QByteArray(2000, 'a')};
  const auto results = OffThread([port = port_, targets] {
    std::vector<std::optional<Response>> out;
    for (const QByteArray& target : targets) out.push_back(Get(port, target));
    out.push_back(Get(port, "http://localhost:1/sprecher"));
    return out;
  });
  ASSERT_EQ(results.size(), size_t(targets.size()) + 1);
  for (int i = 0; i < targets.size(); ++i) {
    // The module itself may reject a target outright; then the connection just closes.
    if (!results[i]) continue;
    EXPECT_TRUE(results[i]->status == 404 || results[i]->status == 400)
        << targets[i].left(80).toStdString() << " gave " << results[i]->status;
    EXPECT_FALSE(results[i]->body.contains("root:")) << targets[i].toStdString();
    EXPECT_FALSE(results[i]->body.contains("GEHEIM")) << targets[i].toStdString();
  }
  ASSERT_TRUE(results.back());
  EXPECT_EQ(results.back()->status, 200) << "an absolute URL names its path";
  QFile::remove(secret.fileName());
}

TEST_F(LiveServerTest, Answers503BeforeTheFirstPublication) {
  StartServer();
  const auto before = OffThread([port = port_] { return std::make_pair(Get(port, "/"), Get(port, "/", "HEAD")); });
  ASSERT_TRUE(before.first && before.second);
  EXPECT_EQ(before.first->status, 503);
  EXPECT_EQ(before.first->Header("Retry-After"), "5");
  EXPECT_EQ(before.first->body, "Noch keine Ergebnisse, bitte gleich erneut laden.\n");
  EXPECT_EQ(before.second->status, 503);
  server_.Publish(Pages(1));
  EXPECT_TRUE(SpinUntil([&] { return StatusOf(port_, "/") == 200; }, 5000));
}

TEST_F(LiveServerTest, KeepsOrClosesTheConnectionAsTheClientAsks) {
  StartServer();
  server_.Publish(Pages(2));
  struct Outcome {
    std::optional<Response> first, second;
    bool closed = false;
  };
  const auto outcomes = OffThread([port = port_] {
    std::vector<Outcome> out;
    auto run = [&](const QByteArray& request, bool twice) {
      Outcome o;
      Client client(port);
      client.Send(twice ? request + request : request);
      o.first = client.ReadResponse();
      if (twice) o.second = client.ReadResponse();
      o.closed = client.ClosedWithin(300);
      out.push_back(std::move(o));
    };
    run("GET / HTTP/1.1\r\nHost: h\r\n\r\n", true);                           // kept, pipelined
    run("GET / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", false);     // closed
    run("GET / HTTP/1.0\r\n\r\n", false);                                     // closed
    run("GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true);            // kept
    run("GET /nix HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", false);  // closed after a 404 too
    return out;
  });
  ASSERT_EQ(outcomes.size(), 5u);
  for (size_t i = 0; i < outcomes.size(); ++i) ASSERT_TRUE(outcomes[i].first) << i;
  EXPECT_EQ(outcomes[0].first->Header("Connection"), "keep-alive");
  ASSERT_TRUE(outcomes[0].second);
  EXPECT_EQ(outcomes[0].second->status, 200);
  EXPECT_FALSE(outcomes[0].closed);
  EXPECT_EQ(outcomes[1].first->Header("Connection"), "close");
  EXPECT_TRUE(outcomes[1].closed);
  EXPECT_TRUE(outcomes[2].closed);
  EXPECT_EQ(outcomes[2].first->status, 200);
  ASSERT_TRUE(outcomes[3].second);
  EXPECT_FALSE(outcomes[3].closed);
  EXPECT_EQ(outcomes[4].first->status, 404);
  EXPECT_TRUE(outcomes[4].closed);
}

TEST_F(LiveServerTest, RefusesConnectionsBeyondTheLimitWith503) {
  TLiveServerOptions options;
  options.maxClients = 3;
  options.addressSharePercent = 100;  // all from this test's one address
  StartServer(options);
  server_.Publish(Pages(1));
  std::vector<Client> held = OffThread([port = port_] {
    std::vector<Client> clients(3);
    for (auto& client : clients) client.Connect(port);
    return clients;
  });
  for (auto& client : held) ASSERT_TRUE(client.Valid());
  ASSERT_TRUE(SpinUntil([&] { return server_.Connections() == 3; }, 5000)) << server_.Connections();
  const auto refused = OffThread([port = port_] {
    Client client(port);
    client.Send("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
    auto response = client.ReadResponse();
    return std::make_pair(response, client.ClosedWithin(1000));
  });
  ASSERT_TRUE(refused.first);
  EXPECT_EQ(refused.first->status, 503);
  EXPECT_EQ(refused.first->Header("Retry-After"), "5");
  EXPECT_EQ(refused.first->Header("Connection"), "close");
  EXPECT_TRUE(refused.second) << "a refused connection is closed";
  EXPECT_EQ(server_.Connections(), 3);

  // A place that comes free is given to the next one.
  held[0].Close();
  ASSERT_TRUE(SpinUntil([&] { return server_.Connections() == 2; }, 5000));
  const auto served = OffThread([port = port_] { return Get(port, "/"); });
  ASSERT_TRUE(served);
  EXPECT_EQ(served->status, 200);
}

TEST_F(LiveServerTest, MakesRoomForItsClientsAndTheProgramsFilesInTheDescriptorLimit) {
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
  if (before.rlim_max != RLIM_INFINITY && before.rlim_max < 3000) GTEST_SKIP() << "hard limit " << before.rlim_max;
  // A desktop's usual soft limit, below 2,000 clients and the program's own files.
  rlimit low = before;
  low.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  TLiveServerOptions options;
  options.maxClients = 2000;
  StartServer(options);
  rlimit now{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &now), 0);
  EXPECT_GE(now.rlim_cur, rlim_t(2000 + 256));
  (void)setrlimit(RLIMIT_NOFILE, &before);
}

TEST_F(LiveServerTest, ClosesConnectionsWithoutACompleteRequestAfterTheIdleTimeout) {
  TLiveServerOptions options;
  options.idleTimeoutMs = 300;
  StartServer(options);
  server_.Publish(Pages(1));
  struct Outcome {
    qint64 silentMs = -1, tricklingMs = -1, afterResponseMs = -1;
    bool silentClosed = false, tricklingClosed = false, answered = false, afterResponseClosed = false;
  };
  const Outcome o = OffThread([port = port_] {
    Outcome o;
    QElapsedTimer clock;
    std::thread silent([&] {
      Client client(port);
      QElapsedTimer t;
      t.start();
      o.silentClosed = client.ClosedWithin(5000);
      o.silentMs = t.elapsed();
    });
    std::thread trickling([&] {
      // A byte every 50 ms never completes a request; the timeout counts from the connection,
      // not from the last byte.
      Client client(port);
      QElapsedTimer t;
      t.start();
      const QByteArray request = "GET / HTTP/1.1\r\nHost: h\r\nX-Slow: " + QByteArray(200, 'x');
      for (char c : request) {
        if (!client.Send(QByteArray(1, c))) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (t.elapsed() > 5000) break;
      }
      o.tricklingClosed = client.ClosedWithin(3000);
      o.tricklingMs = t.elapsed();
    });
    {
      Client client(port);
      client.Send("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
      o.answered = client.ReadResponse().has_value();
      QElapsedTimer t;
      t.start();
      o.afterResponseClosed = client.ClosedWithin(5000);
      o.afterResponseMs = t.elapsed();
    }
    silent.join();
    trickling.join();
    return o;
  });
  EXPECT_TRUE(o.silentClosed);
  EXPECT_GE(o.silentMs, 250);
  EXPECT_LT(o.silentMs, 2000);
  EXPECT_TRUE(o.tricklingClosed);
  EXPECT_LT(o.tricklingMs, 2500);
  EXPECT_TRUE(o.answered);
  EXPECT_TRUE(o.afterResponseClosed);
  EXPECT_GE(o.afterResponseMs, 250);
  EXPECT_LT(o.afterResponseMs, 2000);
  EXPECT_TRUE(SpinUntil([&] { return server_.Connections() == 0; }, 3000));
}

TEST_F(LiveServerTest, OneHostTakesOnlyItsShareAndAnotherViewerGetsThePage) {
  // One host opens every connection it can, each sending its request a byte at a time, and
  // opens new ones as they are closed; a viewer on another host loads the page meanwhile.
  TLiveServerOptions options;
  options.maxClients = 40;  // a quarter of it, 10, for one address
  options.requestTimeoutMs = 400;
  StartServer(options);
  server_.Publish(Pages(1));
  std::atomic<bool> stop{false};
  std::atomic<qint64> longestHeldMs{0};
  Background flood([&, port = port_] {
    struct Held {
      Client client;
      QElapsedTimer since;
      qsizetype sent = 0;
    };
    const QByteArray request = "GET / HTTP/1.1\r\nHost: h\r\nX-Slow: " + QByteArray(100, 'x') + "\r\n\r\n";
    std::vector<Held> held(options.maxClients);
    while (!stop) {
      for (Held& h : held) {
        char byte = 0;
        if (h.client.Valid() && ::recv(h.client.Fd(), &byte, 1, MSG_DONTWAIT | MSG_PEEK) == 0) {
          longestHeldMs = std::max(longestHeldMs.load(), h.since.elapsed());
          h.client.Close();
        }
        if (!h.client.Valid()) {
          if (!h.client.Connect(port, 1000)) continue;
          h.since.start();
          h.sent = 0;
        }
        if (h.sent < request.size() && h.client.Send(request.mid(h.sent, 1))) ++h.sent;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  Spin(300);
  std::vector<int> statuses = OffThread([port = port_] {
    std::vector<int> out;
    for (int i = 0; i < 10; ++i) {
      const auto response = Get(port, "/", "GET", "127.0.0.2");
      out.push_back(response ? response->status : 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return out;
  });
  const int mostOpen = server_.Connections();
  stop = true;
  flood.Join();
  EXPECT_EQ(statuses, std::vector<int>(10, 200)) << "the other viewer gets the page every time";
  EXPECT_LE(mostOpen, 10) << "one host holds at most its share";
  EXPECT_GT(longestHeldMs.load(), 0) << "the slow requests were closed";
  EXPECT_LT(longestHeldMs.load(), 1500) << "a request not complete in time is closed";
}

TEST_F(LiveServerTest, AmbiguousRequestLengthsAreAnswered400AndClosed) {
  // Each would hide a second request in its body; it is answered 400 and never reached.
  const QByteArray hidden = "GET /sprecher HTTP/1.1\r\nHost: h\r\n\r\n";
  const QByteArray size = QByteArray::number(hidden.size());
  const QList<QByteArray> heads = {
      "Content-Length: " + size + "\r\nTransfer-Encoding: chunked\r\n",
      "Transfer-Encoding: chunked\r\nContent-Length: " + size + "\r\n",
      "Transfer-Encoding: chunked\r\n",
      "Content-Length: 0\r\nContent-Length: " + size + "\r\n",
      "Content-Length: " + size + "\r\nContent-Length: " + size + "\r\n",
      "Content-Length: -" + size + "\r\n",
      "Content-Length: 99999999999999999999\r\n",
      "Content-Length : " + size + "\r\n",
      "X-A: b\r\n Content-Length: " + size + "\r\n",
  };
  StartServer();
  server_.Publish(Pages(1));
  struct Outcome {
    std::vector<int> statuses;
    bool closed = false;
  };
  const auto outcomes = OffThread([port = port_, heads, hidden] {
    std::vector<Outcome> out;
    auto run = [&](const QByteArray& bytes) {
      Outcome o;
      Client client(port);
      client.Send(bytes);
      while (auto response = client.ReadResponse()) {
        o.statuses.push_back(response->status);
        if (response->Header("Connection") == "close") break;
      }
      o.closed = client.ClosedWithin(1000);
      out.push_back(o);
    };
    for (const QByteArray& lines : heads) run("GET / HTTP/1.1\r\nHost: h\r\n" + lines + "\r\n" + hidden);
    // After a sound request on the same connection: that one is answered, then the refusal.
    run("GET / HTTP/1.1\r\nHost: h\r\n\r\nGET / HTTP/1.1\r\nHost: h\r\n" + heads[0] + "\r\n" + hidden);
    return out;
  });
  ASSERT_EQ(outcomes.size(), size_t(heads.size()) + 1);
  for (int i = 0; i < heads.size(); ++i) {
    EXPECT_EQ(outcomes[i].statuses, std::vector<int>{400}) << heads[i].toStdString();
    EXPECT_TRUE(outcomes[i].closed) << heads[i].toStdString();
  }
  EXPECT_EQ(outcomes.back().statuses, (std::vector<int>{200, 400}));
  EXPECT_TRUE(outcomes.back().closed);
}

TEST_F(LiveServerTest, DropsAClientThatStopsReadingABigPage) {
  // One response may be bigger than the pending limit; a client that stops taking it is still
  // dropped once nothing has moved for the stall timeout.
  TLiveServerOptions options;
  options.stallTimeoutMs = 300;
  server_.Publish(Publication(1, {{"/gross", {"text/plain", QByteArray(16 << 20, 'x')}}}, {}));
  StartServer(options);
  QElapsedTimer clock;
  clock.start();
  Client stalled = OffThread([port = port_] {
    Client c;
    if (c.Connect(port, 5000, 4096)) c.Send("GET /gross HTTP/1.1\r\nHost: h\r\n\r\n");
    return c;
  });
  ASSERT_TRUE(stalled.Valid());
  ASSERT_TRUE(SpinUntil([&] { return server_.Connections() == 1; }, 5000));
  EXPECT_TRUE(SpinUntil([&] { return server_.Connections() == 0; }, 5000));
  std::printf("[          ] the stalled reader was dropped %lld ms after its request\n", clock.elapsed());
  EXPECT_GE(clock.elapsed(), 300);
  // A client that reads it gets it whole.
  const qsizetype whole = OffThread([port = port_] {
    const auto response = Get(port, "/gross");
    return response ? response->body.size() : qsizetype(-1);
  });
  EXPECT_EQ(whole, 16 << 20);
}

TEST_F(LiveServerTest, StartsWithTheLastPublicationAndReportsABusyPort) {
  server_.Publish(Pages(5));  // before it runs: served from the start
  StartServer();
  EXPECT_TRUE(server_.Running());
  const auto first = OffThread([port = port_] { return Get(port, "/api/results.json"); });
  ASSERT_TRUE(first);
  EXPECT_EQ(first->body, "{\"serial\":5}");

  TLiveServer second;
  TLiveServerOptions options;
  options.address = QHostAddress::LocalHost;
  options.port = port_;
  QString error;
  EXPECT_FALSE(second.Start(options, &error));
  EXPECT_FALSE(second.Running());
  EXPECT_EQ(second.Port(), 0);
  EXPECT_TRUE(error.startsWith(QStringLiteral("Port %1 ist belegt.").arg(port_))) << error.toStdString();

  // Stopping closes every connection; a new start serves again.
  Client open = OffThread([port = port_] { return Client(port); });
  ASSERT_TRUE(SpinUntil([&] { return server_.Connections() == 1; }, 5000));
  CheckMainThread();
  server_.Stop();
  EXPECT_FALSE(server_.Running());
  EXPECT_EQ(server_.Connections(), 0);
  EXPECT_TRUE(open.ClosedWithin(2000));
  server_.Publish(Pages(6));
  StartServer();
  const auto again = OffThread([port = port_] { return Get(port, "/api/results.json"); });
  ASSERT_TRUE(again);
  EXPECT_EQ(again->body, "{\"serial\":6}");
}

TEST_F(LiveServerTest, PublishFromTheRenderingThreadWhileTheWindowRestartsTheServer) {
  // The publications come from the rendering thread; the window may stop and start the server
  // (a new port in the settings) at the same time.
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> last{0};
  Background renderer([&] {
    for (uint64_t serial = 1; !stop; ++serial) {
      server_.Publish(Pages(serial));
      last = serial;
      if (serial % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  TLiveServerOptions options;
  options.address = QHostAddress::LocalHost;
  options.port = 0;
  for (int i = 0; i < 10; ++i) {
    QString error;
    ASSERT_TRUE(server_.Start(options, &error)) << error.toStdString();
    Spin(5);
    server_.Stop();
  }
  stop = true;
  renderer.Join();
  StartServer();
  // The newest publication handed over, whenever it came, is the one served.
  const auto served = OffThread([port = port_] { return Get(port, "/api/results.json"); });
  ASSERT_TRUE(served);
  EXPECT_EQ(served->body, "{\"serial\":" + QByteArray::number(qulonglong(last.load())) + "}");
}

}  // namespace
