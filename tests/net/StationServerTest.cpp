// Stations over real sockets: the one path that writes, as a phone (or anyone else on the
// network) reaches it, and the clock the phones set theirs by.
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "LiveServerTestSupport.h"

using namespace live_test;

namespace {

const QByteArray kToken = "0123456789abcdef0123456789abcdef";

class StationServerTest : public ServerTest {
protected:
  void StartStations(TLiveServerOptions options = {}) {
    server_.SetStationAccess(kToken, {});
    server_.OnStationPasses = [this](const TStationBatch& batch) { batches_.push_back(batch); };
    StartServer(options);
  }
  static QJsonObject Json(const Response& response) { return QJsonDocument::fromJson(response.body).object(); }
  static QStringList Ids(const Response& response, const char* key) {
    QStringList ids;
    for (const QJsonValue& v : Json(response).value(QLatin1String(key)).toArray()) ids << v.toString();
    return ids;
  }
  // Sends them one after another on one connection, from a client thread.
  std::vector<std::optional<Response>> Send(const QList<QByteArray>& requests) {
    return OffThread([port = port_, requests] {
      std::vector<std::optional<Response>> out;
      for (const QByteArray& request : requests) out.push_back(Exchange(port, request));
      return out;
    });
  }
  static QByteArray Body(const QString& device, const QString& passes) {
    return QStringLiteral(R"({"device":"%1","role":"Zeit","accuracyMs":3,"passes":[%2]})").arg(device, passes).toUtf8();
  }
  static QString Pass(const char* id, int64_t t) { return QStringLiteral(R"({"id":"%1","t":%2})").arg(id).arg(t); }

  std::vector<TStationBatch> batches_;
};

TEST_F(StationServerTest, OnlyTheRacesTokenWritesAndEachPassIsTakenOnce) {
  StartStations();  // nothing published yet: the stations work all the same
  const int64_t now = QDateTime::currentMSecsSinceEpoch();
  const QByteArray good = Body("Handy 1", Pass("p1", now) + ',' + Pass("p1", now) + ',' + Pass("ahead", now + 60000));
  const auto answers = Send({
      PassesRequest(QByteArray(), good),
      PassesRequest("0123456789abcdef0123456789abcdee", good),
      PassesRequest(kToken, "{\"device\":\"Handy 1\",\"passes\":[{\"id\":\"x\"}"),
      "GET /api/passes HTTP/1.1\r\nHost: h\r\nAuthorization: Bearer " + kToken + "\r\n\r\n",
      "POST /api/results.json HTTP/1.1\r\nHost: h\r\nAuthorization: Bearer " + kToken + "\r\nContent-Length: " +
          QByteArray::number(good.size()) + "\r\n\r\n" + good,
      PassesRequest(kToken, good),
      PassesRequest(kToken, good),  // the answer was lost, the page sends it again
  });
  struct Expected {
    int status;
    const char* error;
  };
  const std::vector<Expected> expected = {{401, "Stationslink fehlt."}, {403, "Ungültiger Stationslink."},
                                          {400, "Ungültige Anfrage."},  {405, "Nur POST ist erlaubt."},
                                          {405, nullptr},               {200, nullptr},
                                          {200, nullptr}};
  ASSERT_EQ(answers.size(), expected.size());
  for (size_t i = 0; i < answers.size(); ++i) {
    ASSERT_TRUE(answers[i]) << i;
    EXPECT_EQ(answers[i]->status, expected[i].status) << i;
    if (expected[i].error) {
      EXPECT_EQ(Json(*answers[i]).value("error").toString(), QString::fromUtf8(expected[i].error)) << i;
      EXPECT_EQ(answers[i]->Header("Content-Type"), "application/json; charset=utf-8") << i;
    }
  }
  EXPECT_EQ(answers[0]->Header("WWW-Authenticate"), "Bearer");
  EXPECT_EQ(answers[3]->Header("Allow"), "POST");
  EXPECT_EQ(answers[4]->Header("Allow"), "GET, HEAD") << "every other path stays read-only";
  EXPECT_EQ(Ids(*answers[5], "taken"), QStringList({"p1"}));
  EXPECT_EQ(Ids(*answers[5], "known"), QStringList({"p1"}));
  EXPECT_EQ(Ids(*answers[5], "rejected"), QStringList({"ahead"})) << "a pass from the future";
  EXPECT_EQ(answers[5]->Header("Cache-Control"), "no-store");
  EXPECT_EQ(Ids(*answers[6], "known"), QStringList({"p1", "p1"}));

  ASSERT_TRUE(SpinUntil([&] { return !batches_.empty(); }, 5000));
  Spin(50);
  ASSERT_EQ(batches_.size(), 1u) << "handed over once";
  EXPECT_EQ(batches_[0].Device, "Handy 1");
  ASSERT_EQ(batches_[0].Passes.size(), 1u);
  EXPECT_EQ(batches_[0].Passes[0].WallMs, now);

  // Another race: the old race's link writes nothing.
  server_.SetStationAccess("fedcba9876543210fedcba9876543210", {});
  const auto old = Send({PassesRequest(kToken, Body("Handy 1", Pass("p2", now)))});
  ASSERT_TRUE(old[0]);
  EXPECT_EQ(old[0]->status, 403);
  Spin(50);
  EXPECT_EQ(batches_.size(), 1u);
  EXPECT_TRUE(server_.Stations().empty());
}

TEST_F(StationServerTest, ABatchTakenBeforeANewTokenIsNotHandedOver) {
  StartStations();
  CheckMainThread();  // this test holds the main thread on purpose, so nothing reaches it
  const int64_t now = QDateTime::currentMSecsSinceEpoch();
  std::optional<Response> answer;
  std::thread([&, port = port_] { answer = Exchange(port, PassesRequest(kToken, Body("H", Pass("q1", now)))); }).join();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  server_.SetStationAccess(NewStationToken(), {});  // the window started a new race meanwhile
  Spin(100);
  EXPECT_TRUE(batches_.empty());
}

TEST_F(StationServerTest, TheClockTellsTheLaptopsTimeBeforeAnyPublication) {
  TLiveServerOptions options;
  options.wallClockMs = [] { return int64_t(1765260000123); };
  StartStations(options);
  const auto fake = Send({"GET /api/clock HTTP/1.1\r\nHost: h\r\n\r\n", "GET / HTTP/1.1\r\nHost: h\r\n\r\n",
                          "POST /api/clock HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\n\r\n"});
  ASSERT_TRUE(fake[0] && fake[1] && fake[2]);
  EXPECT_EQ(fake[0]->status, 200);
  EXPECT_EQ(fake[0]->body, R"({"now":1765260000123})");
  EXPECT_EQ(fake[0]->Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(fake[0]->Header("Cache-Control"), "no-store");
  EXPECT_EQ(fake[1]->status, 503) << "the other paths still wait for a publication";
  EXPECT_EQ(fake[2]->status, 405);

  server_.Stop();
  StartServer();  // the real clock
  const auto measured = OffThread([port = port_] {
    std::vector<std::pair<int64_t, int64_t>> out;  // the clock's answer less the time before and after
    for (int i = 0; i < 5; ++i) {
      const int64_t before = QDateTime::currentMSecsSinceEpoch();
      const auto response = Get(port, "/api/clock");
      const int64_t after = QDateTime::currentMSecsSinceEpoch();
      const int64_t told = response ? int64_t(Json(*response).value("now").toDouble()) : 0;
      out.emplace_back(told - before, after - told);
    }
    const auto head = Get(port, "/api/clock", "HEAD");
    out.emplace_back(head ? head->status : 0, head ? head->body.size() : -1);
    return out;
  });
  for (size_t i = 0; i + 1 < measured.size(); ++i) {
    EXPECT_GE(measured[i].first, 0) << i;
    EXPECT_GE(measured[i].second, 0) << i;
  }
  EXPECT_EQ(measured.back(), std::make_pair(int64_t(200), int64_t(0)));
}

TEST_F(StationServerTest, OversizedBodiesAreRefusedFromTheirHeadAndTheConnectionClosed) {
  StartStations();
  server_.Publish(Pages(1));
  const QByteArray mbHead = "POST /api/passes HTTP/1.1\r\nHost: h\r\nAuthorization: Bearer " + kToken +
                            "\r\nContent-Length: 1048576\r\n\r\n";
  struct Outcome {
    int status = 0;
    QByteArray error;
    bool closed = false;
    qint64 ms = 0;
  };
  const auto outcomes = OffThread([port = port_, mbHead] {
    std::vector<Outcome> out;
    const QByteArray some(16384, ' ');
    const QByteArray over(station::kMaxBodyBytes + 1, ' ');
    for (const QByteArray& request :
         {mbHead + some, QByteArray(mbHead).replace(kToken, "nope") + some, PassesRequest(kToken, over),
          mbHead + QByteArray(1 << 20, ' ')}) {
      Outcome o;
      QElapsedTimer clock;
      clock.start();
      Client client(port);
      client.Send(request);  // the last one fails part way once the server has closed: fine
      if (auto response = client.ReadResponse()) {
        o.status = response->status;
        o.error = response->body;
      }
      o.closed = client.ClosedWithin(2000);
      o.ms = clock.elapsed();
      out.push_back(o);
    }
    return out;
  });
  ASSERT_EQ(outcomes.size(), 4u);
  const int expected[] = {413, 403, 413, 413};
  for (size_t i = 0; i < outcomes.size(); ++i) {
    std::printf("[          ] oversized body %zu: %d, closed after %lld ms\n", i, outcomes[i].status, outcomes[i].ms);
    // Whoever sends a whole megabyte at once may see the close before the answer.
    if (i < 3 || outcomes[i].status != 0) {
      EXPECT_EQ(outcomes[i].status, expected[i]) << i;
    }
    EXPECT_TRUE(outcomes[i].closed) << i;
    EXPECT_LT(outcomes[i].ms, 1500) << i;
  }
  EXPECT_EQ(outcomes[0].error, R"({"error":"Anfrage zu groß."})");
  EXPECT_EQ(StatusOf(port_, "/"), 200);
  EXPECT_TRUE(batches_.empty());
}

TEST_F(StationServerTest, AFloodOfBadRequestsTakesNothingAndKeepsMemoryBounded) {
  StartStations();
  server_.Publish(Pages(1));
  const int64_t now = QDateTime::currentMSecsSinceEpoch();
  const QList<QByteArray> kinds = {
      PassesRequest(QByteArray(), Body("H", Pass("a", now))),
      PassesRequest("x", Body("H", Pass("a", now))),
      "POST /api/passes HTTP/1.1\r\nHost: h\r\nAuthorization: Basic " + kToken + "\r\nContent-Length: 0\r\n\r\n",
      PassesRequest(kToken, "{\"device\":\"H\",\"passes\":["),
      PassesRequest(kToken, Body("H", R"({"id":"a b","t":1})")),
      PassesRequest(kToken, Body(QString(41, 'x'), Pass("a", now))),
      PassesRequest(kToken, Body("H", R"({"id":"a"})")),
      PassesRequest(kToken, "[1,2,3]"),
      "GET /api/passes HTTP/1.1\r\nHost: h\r\n\r\n",
      "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 2\r\n\r\n{}",
  };
  // What each kind gets when sent alone: sent one after another on a connection, each request
  // is answered for itself (the framing follows the module's reading exactly).
  const int alone[] = {401, 403, 401, 400, 400, 400, 400, 400, 405, 405};
  constexpr int kRounds = 20, kPerRound = 50;
  auto flood = [&, port = port_](int connections) {
    std::map<int, int> statuses;
    int mismatched = 0;
    for (int c = 0; c < connections; ++c) {
      Client client(port);
      for (int round = 0; round < kRounds; ++round) {
        QByteArray batch;
        for (int i = 0; i < kPerRound; ++i) batch += kinds[(c * 7 + round * 3 + i) % kinds.size()];
        if (!client.Send(batch)) return std::make_pair(statuses, -1);
        for (int i = 0; i < kPerRound; ++i) {
          const auto response = client.ReadResponse();
          const int status = response ? response->status : 0;
          ++statuses[status];
          mismatched += status != alone[(c * 7 + round * 3 + i) % kinds.size()];
        }
      }
    }
    return std::make_pair(statuses, mismatched);
  };
  OffThread([&] { return flood(1).second; });  // what is made once is made now
  const qint64 heapBefore = HeapBytes();
  QElapsedTimer clock;
  clock.start();
  const auto [statuses, mismatched] = OffThread([&] { return flood(10); });  // 10^4 requests
  const qint64 growth = HeapBytes() - heapBefore;
  std::printf("[          ] %d bad requests in %lld ms, heap %+lld KB\n", 10 * kRounds * kPerRound, clock.elapsed(),
              growth / 1024);
  const std::map<int, int> expected = {{401, 2000}, {403, 1000}, {400, 5000}, {405, 2000}};
  EXPECT_EQ(statuses, expected);
  EXPECT_EQ(mismatched, 0);
  EXPECT_LT(growth, 4 << 20);
  Spin(50);
  EXPECT_TRUE(batches_.empty());
  EXPECT_TRUE(server_.Stations().empty());
  const auto honest = Send({PassesRequest(kToken, Body("H", Pass("a", now)))});
  ASSERT_TRUE(honest[0]);
  EXPECT_EQ(Ids(*honest[0], "taken"), QStringList({"a"}));
}

TEST_F(StationServerTest, StationsAreListedRateLimitedAndDropped) {
  std::atomic<int64_t> wall{1765260000000};
  TLiveServerOptions options;
  options.wallClockMs = [&wall] { return wall.load(); };
  StartStations(options);
  const QByteArray zwei = R"({"device":"Zwei","role":"Nummern","passes":[{"id":"n1","nr":"12"}]})";
  auto first = Send({PassesRequest(kToken, Body("Eins", Pass("e1", wall) + ',' + Pass("e2", wall))),
                     PassesRequest(kToken, zwei)});
  wall += 7000;
  first = Send({PassesRequest(kToken, R"({"device":"Eins","passes":[]})")});
  ASSERT_EQ(first[0]->status, 200);
  auto list = server_.Stations();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Device, "Eins");
  EXPECT_EQ(list[0].Role, "Zeit");
  EXPECT_EQ(list[0].AccuracyMs, 3);
  EXPECT_EQ(list[0].LastContactMs, 1765260007000);
  EXPECT_EQ(list[0].Passes, 2);
  EXPECT_EQ(list[1].Device, "Zwei");
  EXPECT_EQ(list[1].Role, "Nummern");
  EXPECT_EQ(list[1].AccuracyMs, -1);
  EXPECT_EQ(list[1].LastContactMs, 1765260000000);
  EXPECT_EQ(list[1].Passes, 1);

  // A page gone wild: beyond the burst it is told to wait.
  const auto burst = OffThread([port = port_] {
    Client client;
    client.Connect(port, 5000, 0, "127.0.0.2");  // its own address, whose rate the others do not share
    QByteArray many;
    for (int i = 0; i < 100; ++i) many += PassesRequest(kToken, R"({"device":"Wild","passes":[]})");
    client.Send(many);
    std::vector<Response> out;
    for (int i = 0; i < 100; ++i)
      if (auto response = client.ReadResponse()) out.push_back(*response);
    return out;
  });
  ASSERT_EQ(burst.size(), 100u);
  const auto limited = std::count_if(burst.begin(), burst.end(), [](const Response& r) { return r.status == 429; });
  EXPECT_GE(limited, 30);
  const auto waitHint = std::find_if(burst.begin(), burst.end(), [](const Response& r) { return r.status == 429; });
  ASSERT_NE(waitHint, burst.end());
  EXPECT_EQ(waitHint->Header("Retry-After"), "1");
  EXPECT_EQ(Json(*waitHint).value("error").toString(), "Zu viele Anfragen, bitte kurz warten.");

  // Dropped: refused from now on, off the list; the list and the token outlast a restart.
  server_.DropStation("Zwei");
  server_.Stop();
  StartServer(options);
  const auto after = Send({PassesRequest(kToken, zwei), PassesRequest(kToken, R"({"device":"Eins","passes":[]})")});
  ASSERT_TRUE(after[0] && after[1]);
  EXPECT_EQ(after[0]->status, 403);
  EXPECT_EQ(Json(*after[0]).value("error").toString(), "Diese Station wurde getrennt.");
  EXPECT_EQ(after[1]->status, 200);
  list = server_.Stations();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Device, "Eins");
  EXPECT_EQ(list[1].Device, "Wild");
}

}  // namespace
