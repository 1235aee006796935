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
  static QJsonValue Field(const Response& response, const char* key) {
    return QJsonDocument::fromJson(response.body)[QLatin1String(key)];
  }
  static QStringList Ids(const Response& response, const char* key) {
    QStringList ids;
    for (const QJsonValue& v : Field(response, key).toArray()) ids << v.toString();
    return ids;
  }
  // Each on a connection of its own, from a client thread.
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

TEST_F(StationServerTest, OnlyTheRacesTokenWritesAndEachPassIsHandedOverOnce) {
  StartStations();  // nothing published yet: the stations work all the same
  const int64_t now = QDateTime::currentMSecsSinceEpoch();
  const QByteArray good = Body("Handy 1", Pass("p1", now) + ',' + Pass("p1", now) + ',' + Pass("ahead", now + 60000));
  const auto answers = Send({
      PassesRequest(QByteArray(), good),
      PassesRequest("0123456789abcdef0123456789abcdee", good),
      PassesRequest(kToken, R"({"device":"Handy 1","passes":[{"id":"x"}])"),
      "GET /api/passes HTTP/1.1\r\nHost: h\r\nAuthorization: Bearer " + kToken + "\r\n\r\n",
      PassesRequest(kToken, good).replace("/api/passes", "/api/results.json"),
      PassesRequest(kToken, good),
      PassesRequest(kToken, good),  // the answer was lost, the page sends it again
  });
  const std::vector<std::pair<int, const char*>> expected = {
      {401, "Stationslink fehlt."}, {403, "Ungültiger Stationslink."}, {400, "Ungültige Anfrage."},
      {405, "Nur POST ist erlaubt."}, {405, nullptr}, {200, nullptr}, {200, nullptr}};
  ASSERT_EQ(answers.size(), expected.size());
  for (size_t i = 0; i < answers.size(); ++i) {
    ASSERT_TRUE(answers[i]) << i;
    EXPECT_EQ(answers[i]->status, expected[i].first) << i;
    if (expected[i].second) {
      EXPECT_EQ(Field(*answers[i], "error").toString(), QString::fromUtf8(expected[i].second)) << i;
    }
  }
  EXPECT_EQ(answers[0]->Header("WWW-Authenticate"), "Bearer");
  EXPECT_EQ(answers[0]->Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(answers[3]->Header("Allow"), "POST");
  EXPECT_EQ(answers[4]->Header("Allow"), "GET, HEAD") << "every other path stays read-only";
  EXPECT_EQ(answers[5]->body, R"({"taken":["p1"],"known":["p1"],"rejected":["ahead"]})");
  EXPECT_EQ(answers[5]->Header("Cache-Control"), "no-store");
  EXPECT_EQ(Ids(*answers[6], "known"), QStringList({"p1", "p1"}));
  ASSERT_TRUE(SpinUntil([&] { return !batches_.empty(); }, 5000));
  Spin(50);
  ASSERT_EQ(batches_.size(), 1u) << "handed over once";
  ASSERT_EQ(batches_[0].Passes.size(), 1u);
  EXPECT_EQ(std::make_pair(batches_[0].Device, *batches_[0].Passes[0].WallMs), std::make_pair(QString("Handy 1"), now));

  server_.SetStationAccess("fedcba9876543210fedcba9876543210", {});  // another race
  EXPECT_EQ(Send({PassesRequest(kToken, Body("Handy 1", Pass("p2", now)))})[0]->status, 403);
  Spin(50);
  EXPECT_EQ(batches_.size(), 1u);
  EXPECT_TRUE(server_.Stations().empty());
}

TEST_F(StationServerTest, ABatchAnsweredTakenIsHandedOverAlsoAfterANewToken) {
  StartStations();
  CheckMainThread();  // the exchange below holds the main thread on purpose
  std::optional<Response> answer;
  std::thread([&, port = port_] {
    answer = Exchange(port, PassesRequest(kToken, Body("H", Pass("q1", QDateTime::currentMSecsSinceEpoch()))));
  }).join();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  // A new code meanwhile: the phone was told its pass is taken and will not send it again.
  server_.SetStationAccess(NewStationToken(), {});
  EXPECT_TRUE(SpinUntil([&] { return batches_.size() == 1u; }));
}

TEST_F(StationServerTest, TheClockTellsTheLaptopsTimeBeforeAnyPublication) {
  TLiveServerOptions options;
  options.wallClockMs = [] { return int64_t(1765260000123); };
  StartStations(options);
  const auto fake = Send({"GET /api/clock HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\r\n\r\n",
                          "POST /api/clock HTTP/1.1\r\nContent-Length: 0\r\n\r\n"});
  ASSERT_TRUE(fake[0] && fake[1] && fake[2]);
  EXPECT_EQ(fake[0]->body, R"({"now":1765260000123})");
  EXPECT_EQ(fake[0]->Header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(fake[0]->Header("Cache-Control"), "no-store");
  EXPECT_EQ(fake[1]->status, 503) << "the other paths still wait for a publication";
  EXPECT_EQ(fake[2]->status, 405);

  server_.Stop();
  StartServer();  // the real clock, read at the moment of answering
  const auto spans = OffThread([port = port_] {
    const int64_t before = QDateTime::currentMSecsSinceEpoch();
    const auto response = Get(port, "/api/clock");
    const int64_t told = response ? int64_t(Field(*response, "now").toDouble()) : 0;
    const auto head = Get(port, "/api/clock", "HEAD");
    return std::make_tuple(told - before, QDateTime::currentMSecsSinceEpoch() - told, head ? head->status : 0);
  });
  EXPECT_TRUE(std::get<0>(spans) >= 0 && std::get<1>(spans) >= 0) << std::get<0>(spans) << " " << std::get<1>(spans);
  EXPECT_EQ(std::get<2>(spans), 200);
}

TEST_F(StationServerTest, OversizedBodiesAreRefusedFromTheirHeadAndTheConnectionClosed) {
  StartStations();
  server_.Publish(Pages(1));
  const QByteArray mb = "POST /api/passes HTTP/1.1\r\nAuthorization: Bearer " + kToken + "\r\nContent-Length: 1048576\r\n\r\n";
  const QList<QByteArray> requests = {mb + QByteArray(16384, ' '), QByteArray(mb).replace(kToken, "nope"),
                                      PassesRequest(kToken, QByteArray(station::kMaxBodyBytes + 1, ' ')),
                                      mb + QByteArray(1 << 20, ' ')};
  const auto outcomes = OffThread([port = port_, requests] {
    std::vector<std::tuple<int, bool, qint64>> out;  // status, closed, ms
    for (const QByteArray& request : requests) {
      QElapsedTimer clock;
      clock.start();
      Client client(port);
      client.Send(request);  // the last one fails part way once the server has closed: fine
      const auto response = client.ReadResponse();
      const bool closed = client.ClosedWithin(2000);
      out.emplace_back(response ? response->status : 0, closed, clock.elapsed());
    }
    return out;
  });
  const int expected[] = {413, 403, 413, 413};
  for (size_t i = 0; i < outcomes.size(); ++i) {
    const auto [status, closed, ms] = outcomes[i];
    // Whoever sends a whole megabyte at once may see the close before the answer.
    EXPECT_TRUE(status == expected[i] || (i == 3 && status == 0)) << i << ": " << status;
    EXPECT_TRUE(closed) << i;
    EXPECT_LT(ms, 1500) << i;
  }
  EXPECT_EQ(StatusOf(port_, "/"), 200);
  EXPECT_TRUE(batches_.empty());
}

TEST_F(StationServerTest, AFloodOfBadRequestsTakesNothingAndKeepsMemoryBounded) {
  StartStations();
  server_.Publish(Pages(1));
  const int64_t now = QDateTime::currentMSecsSinceEpoch();
  // Each kind with what it gets alone: sent one after another on a connection, each request is
  // answered for itself.
  const std::vector<std::pair<QByteArray, int>> kinds = {
      {PassesRequest(QByteArray(), Body("H", Pass("a", now))), 401},
      {PassesRequest("x", Body("H", Pass("a", now))), 403},
      {"POST /api/passes HTTP/1.1\r\nAuthorization: Basic " + kToken + "\r\nContent-Length: 0\r\n\r\n", 401},
      {PassesRequest(kToken, R"({"device":"H","passes":[)"), 400},
      {PassesRequest(kToken, Body("H", R"({"id":"a b","t":1})")), 400},
      {PassesRequest(kToken, Body(QString(41, 'x'), Pass("a", now))), 400},
      {PassesRequest(kToken, Body("H", R"({"id":"a"})")), 400},
      {PassesRequest(kToken, "[1,2,3]"), 400},
      {"GET /api/passes HTTP/1.1\r\n\r\n", 405},
      {"POST / HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}", 405},
  };
  constexpr int kRounds = 20, kPerRound = 50;
  auto flood = [&, port = port_](int connections) {
    int answered = 0, mismatched = 0;
    for (int c = 0; c < connections; ++c) {
      Client client(port);
      for (int round = 0; round < kRounds; ++round) {
        QByteArray batch;
        for (int i = 0; i < kPerRound; ++i) batch += kinds[(c * 7 + round * 3 + i) % kinds.size()].first;
        if (!client.Send(batch)) return -1;
        for (int i = 0; i < kPerRound; ++i) {
          const auto response = client.ReadResponse();
          answered += response.has_value();
          mismatched += !response || response->status != kinds[(c * 7 + round * 3 + i) % kinds.size()].second;
        }
      }
    }
    return mismatched ? -mismatched : answered;
  };
  OffThread([&] { return flood(1); });  // what is made once is made now
  const qint64 heapBefore = HeapBytes();
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(OffThread([&] { return flood(10); }), 10000);
  const qint64 growth = HeapBytes() - heapBefore;
  std::printf("[          ] 10000 bad requests in %lld ms, heap %+lld KB\n", clock.elapsed(), growth / 1024);
  EXPECT_LT(growth, 4 << 20);
  Spin(50);
  EXPECT_TRUE(batches_.empty());
  EXPECT_TRUE(server_.Stations().empty());
  EXPECT_EQ(Ids(*Send({PassesRequest(kToken, Body("H", Pass("a", now)))})[0], "taken"), QStringList({"a"}));
}

TEST_F(StationServerTest, StationsAreListedRateLimitedAndDropped) {
  std::atomic<int64_t> wall{1765260000000};
  TLiveServerOptions options;
  options.wallClockMs = [&wall] { return wall.load(); };
  StartStations(options);
  const QByteArray zwei = R"({"device":"Zwei","role":"Nummern","passes":[{"id":"n1","nr":"12"}]})";
  Send({PassesRequest(kToken, Body("Eins", Pass("e1", wall) + ',' + Pass("e2", wall))), PassesRequest(kToken, zwei)});
  wall += 7000;
  ASSERT_EQ(Send({PassesRequest(kToken, R"({"device":"Eins","passes":[]})")})[0]->status, 200);
  auto list = server_.Stations();
  ASSERT_EQ(list.size(), 2u);
  const auto info = [](const TStationInfo& s) {
    return std::make_tuple(s.Device, s.Role, s.AccuracyMs, s.LastContactMs, s.Passes);
  };
  EXPECT_EQ(info(list[0]), std::make_tuple(QString("Eins"), QString("Zeit"), 3, int64_t(1765260007000), 2));
  EXPECT_EQ(info(list[1]), std::make_tuple(QString("Zwei"), QString("Nummern"), -1, int64_t(1765260000000), 1));

  // A page gone wild, from an address of its own: beyond the burst it is told to wait.
  const auto burst = OffThread([port = port_] {
    Client client;
    client.Connect(port, 5000, 0, "127.0.0.2");
    QByteArray many;
    for (int i = 0; i < 100; ++i) many += PassesRequest(kToken, R"({"device":"Wild","passes":[]})");
    client.Send(many);
    std::vector<Response> out;
    while (auto response = client.ReadResponse()) {
      out.push_back(*response);
      if (out.size() == 100) break;
    }
    return out;
  });
  ASSERT_EQ(burst.size(), 100u);
  const auto limited = std::find_if(burst.begin(), burst.end(), [](const Response& r) { return r.status == 429; });
  ASSERT_GE(std::count_if(limited, burst.end(), [](const Response& r) { return r.status == 429; }), 30);
  EXPECT_EQ(limited->Header("Retry-After"), "1");
  EXPECT_EQ(Field(*limited, "error").toString(), "Zu viele Anfragen, bitte kurz warten.");

  // Dropped: refused from now on, off the list; the list and the token outlast a restart.
  server_.DropStation("Zwei");
  server_.Stop();
  StartServer(options);
  const auto after = Send({PassesRequest(kToken, zwei)});
  EXPECT_EQ(Field(*after[0], "error").toString(), "Diese Station wurde getrennt.");
  list = server_.Stations();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].Device, "Wild");
}

}  // namespace
