// The stations' write path without sockets: the shape of a body, the token, and the order in
// which a request is checked, classified and rate limited.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "net/StationApi.h"

using namespace station;

namespace {

constexpr int64_t kNow = 1765260000000;

QByteArray Passes(int count, const char* prefix = "p") {
  QStringList items;
  for (int i = 0; i < count; ++i) items << QStringLiteral(R"({"id":"%1%2","t":%3})").arg(prefix).arg(i).arg(kNow);
  return (R"({"device":"x","passes":[)" + items.join(',') + "]}").toUtf8();
}
QByteArray WithPass(const QByteArray& pass) { return R"({"device":"x","passes":[)" + pass + "]}"; }
QByteArray Device(const QByteArray& device) { return R"({"device":)" + device + R"(,"passes":[]})"; }

TEST(StationApiTest, BodiesAreTakenOnlyInTheirShape) {
  const QByteArray id64(64, 'i');
  const std::vector<std::pair<QByteArray, bool>> cases = {
      {Device(R"("Handy 1")"), true}, {Device('"' + QByteArray(40, 'n') + '"'), true}, {Passes(kMaxPasses), true},
      {R"({"device":"x","role":null,"accuracyMs":null,"passes":[{"id":"a","t":5,"nr":null}]})", true},
      {R"({"device":"x","role":"","passes":[{"id":"a","t":-5,"nr":"  "}]})", true},  // a blank number is none
      {R"({"device":"x","extra":[1],"passes":[{"id":"A.b_c:d-9","nr":"000123","more":1}]})", true},
      {WithPass(R"({"id":")" + id64 + R"(","t":1})"), true},
      // not the shape
      {"", false}, {"[]", false}, {R"({"device":"x","passes":[])", false}, {R"({"device":"x"})", false},
      {R"({"device":"x","passes":{}})", false}, {R"({"passes":[]})", false}, {Passes(kMaxPasses + 1), false},
      // the device
      {Device(R"("")"), false}, {Device(R"("   ")"), false}, {Device('"' + QByteArray(41, 'n') + '"'), false},
      {Device("7"), false}, {Device(R"("a\u0007b")"), false}, {Device(R"("a\nb")"), false},
      {Device(R"("a\u2028b")"), false}, {Device(R"("a\u202eb")"), false}, {Device(R"("a\ud800b")"), false},
      // role and accuracy
      {R"({"device":"x","role":"Chef","passes":[]})", false}, {R"({"device":"x","role":3,"passes":[]})", false},
      {R"({"device":"x","accuracyMs":"3","passes":[]})", false}, {R"({"device":"x","accuracyMs":1.5,"passes":[]})", false},
      {R"({"device":"x","accuracyMs":-2,"passes":[]})", false},
      // a pass
      {WithPass("1"), false}, {WithPass(R"({"t":1})"), false}, {WithPass(R"({"id":"","t":1})"), false},
      {WithPass(R"({"id":")" + id64 + R"(i","t":1})"), false}, {WithPass(R"({"id":"a b","t":1})"), false},
      {WithPass(R"({"id":"ä","t":1})"), false}, {WithPass(R"({"id":5,"t":1})"), false},
      {WithPass(R"({"id":"a","t":"1"})"), false}, {WithPass(R"({"id":"a","t":1.5})"), false},
      {WithPass(R"({"id":"a","t":1e300})"), false}, {WithPass(R"({"id":"a","nr":"1234567"})"), false},
      {WithPass(R"({"id":"a","nr":"12a"})"), false}, {WithPass(R"({"id":"a","nr":12})"), false},
      {WithPass(R"({"id":"a","nr":"١٢"})"), false},  // digits, but not ours
      {WithPass(R"({"id":"a"})"), false}, {WithPass(R"({"id":"a","nr":" "})"), false},  // neither time nor number
  };
  for (const auto& [body, valid] : cases) EXPECT_EQ(ParseRequest(body).has_value(), valid) << body.toStdString();

  const auto request = ParseRequest(
      R"({"device":"  Handy 1 ","role":"Zeit + Nummer","accuracyMs":3,"passes":[{"id":"b","t":1765260000123,"nr":" 12 "},{"id":"a","nr":"7"}]})");
  ASSERT_TRUE(request && request->Passes.size() == 2);
  EXPECT_EQ(std::make_tuple(request->Device, *request->Role, *request->AccuracyMs), std::make_tuple(QString("Handy 1"), QString("Zeit + Nummer"), 3));
  EXPECT_EQ(std::make_tuple(*request->Passes[0].WallMs, request->Passes[0].Number, request->Passes[1].WallMs.has_value()),
            std::make_tuple(int64_t(1765260000123), QString("12"), false));
  const auto silent = ParseRequest(Device(R"("x")"));
  EXPECT_FALSE(silent->Role || silent->AccuracyMs) << "not said is not the same as said empty";
}

TEST(StationApiTest, TokensAreRandomAndMatchOnlyThemselves) {
  const QByteArray token = NewStationToken();
  EXPECT_TRUE(QByteArray::fromHex(token).toHex() == token && token.size() == 32) << token.constData();
  EXPECT_NE(NewStationToken(), token);
  EXPECT_TRUE(StationTokenMatches(token, token));
  QByteArray flipped = token;
  flipped[31] = flipped[31] == 'a' ? 'b' : 'a';
  for (const QByteArray& other : {flipped, token.left(31), token + "0", token.toUpper(), QByteArray()}) {
    EXPECT_FALSE(StationTokenMatches(other, token)) << other.constData();
  }
  EXPECT_FALSE(StationTokenMatches(QByteArray(), QByteArray())) << "without a token nobody writes";
}

class StationDeskTest : public ::testing::Test {
protected:
  void SetUp() override { desk_.SetAccess("tok", {}); }
  TAnswer Post(const QByteArray& body, const QByteArray& peer = "p1", const QByteArray& authorization = "Bearer tok") {
    return desk_.Post(authorization, body, body.size(), peer, kNow, steady_);
  }
  static QStringList Ids(const TAnswer& answer, const char* key) {
    QStringList ids;
    for (const QJsonValue& v : QJsonDocument::fromJson(answer.body)[QLatin1String(key)].toArray()) ids << v.toString();
    return ids;
  }
  TDesk desk_;
  int64_t steady_ = 1000;
};

TEST_F(StationDeskTest, ChecksComeInTheirOrderAndARefusalTakesNothing) {
  const QByteArray good = WithPass(R"({"id":"a","t":1765260000000})");
  const QByteArray big(kMaxBodyBytes + 1, ' ');
  struct Case {
    QByteArray authorization, body;
    qint64 declared;
    int status;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"", good, 0, 401, "Stationslink fehlt."},        {"Basic dG9r", good, 0, 401, "Stationslink fehlt."},
      {"Bearer", good, 0, 401, "Stationslink fehlt."},  {"", {}, 1 << 20, 401, "Stationslink fehlt."},
      {"Bearer tak", good, 0, 403, "Ungültiger Stationslink."},
      {"Bearer tok2", {}, 1 << 20, 403, "Ungültiger Stationslink."},  // credentials before size
      {"Bearer tok", big, 0, 413, "Anfrage zu groß."},  {"Bearer tok", {}, 1 << 20, 413, "Anfrage zu groß."},
      {"Bearer tok", "{", 0, 400, "Ungültige Anfrage."},
      {"Bearer tok", WithPass(R"({"id":"ok","t":1},{"id":"bad id","t":1})"), 0, 400, "Ungültige Anfrage."},
  };
  for (const Case& c : cases) {
    const TAnswer answer = desk_.Post(c.authorization, c.body, std::max<qint64>(c.declared, c.body.size()), "p", kNow, 0);
    EXPECT_EQ(answer.status, c.status) << c.authorization.constData();
    EXPECT_EQ(answer.body, ErrorBody(c.error));
    EXPECT_EQ(answer.challenge, c.status == 401);
    EXPECT_EQ(answer.close, c.status == 413);
    EXPECT_FALSE(answer.batch);
  }
  EXPECT_TRUE(desk_.Stations().empty());
  EXPECT_EQ(desk_.KnownIds(), 0);
  EXPECT_EQ(Post(good, "p1", "  bearer   tok ").status, 200) << "the scheme's case and blanks are no part of it";
  TDesk closed;  // no token given
  EXPECT_EQ(closed.Post("Bearer x", good, good.size(), "p", kNow, 0).status, 403);
}

TEST_F(StationDeskTest, PassesAreTakenOnceWithinTheDayAndHandedOverInOrder) {
  const QByteArray body = QStringLiteral(R"({"device":"Handy","role":"Zeit","accuracyMs":4,"passes":[
        {"id":"old","t":%1},{"id":"edge-past","t":%2},{"id":"n","nr":"12"},{"id":"edge-future","t":%3},
        {"id":"ahead","t":%4},{"id":"n","t":%5},{"id":"late","t":%5,"nr":"3"}]})")
                              .arg(kNow - kPastMs - 1).arg(kNow - kPastMs).arg(kNow + kFutureMs)
                              .arg(kNow + kFutureMs + 1).arg(kNow).toUtf8();
  const TAnswer first = Post(body);
  EXPECT_EQ(Ids(first, "taken"), QStringList({"edge-past", "n", "edge-future", "late"}));
  EXPECT_EQ(Ids(first, "known"), QStringList({"n"})) << "the same id twice in one request";
  EXPECT_EQ(Ids(first, "rejected"), QStringList({"old", "ahead"}));
  ASSERT_TRUE(first.batch);
  EXPECT_EQ(first.batch->Device, "Handy");
  ASSERT_EQ(first.batch->Passes.size(), 4u);
  EXPECT_EQ(first.batch->Passes[3].WallMs, kNow);
  EXPECT_EQ(first.batch->Passes[3].Number, "3");
  const TAnswer again = Post(body);  // the answer was lost
  EXPECT_EQ(Ids(again, "known"), QStringList({"edge-past", "n", "edge-future", "n", "late"}));
  EXPECT_FALSE(again.batch);
}

TEST_F(StationDeskTest, TheSameRaceAddsIdsAndAnotherStartsAfresh) {
  QByteArray zwei = R"({"device":"Zwei","passes":[{"id":"z1","nr":"1"},{"id":"r1","nr":"2"}]})";
  Post(R"({"device":"Zwei","passes":[{"id":"z1","nr":"1"}]})");
  desk_.Drop("Eins");
  desk_.SetAccess("tok", {"r1"});  // a token given again only adds ids
  EXPECT_EQ(Ids(Post(zwei), "known"), QStringList({"z1", "r1"}));
  EXPECT_EQ(Post(Device(R"("Eins")")).status, 403);
  // A new race: the old token is refused, and the list, the dropped stations and the ids start
  // again from what the race says.
  desk_.SetAccess("neu", {"z1"});
  EXPECT_EQ(Post(zwei).status, 403);
  EXPECT_TRUE(desk_.Stations().empty());
  EXPECT_EQ(Ids(Post(zwei.replace("Zwei", "Eins"), "p1", "Bearer neu"), "taken"), QStringList({"r1"}));
}

TEST_F(StationDeskTest, RatesAndTablesAreBounded) {
  const QByteArray beat = Device(R"("A")"), other = Device(R"("B")");
  for (int i = 0; i < kRequestBurst; ++i) ASSERT_EQ(Post(beat).status, 200) << i;
  EXPECT_TRUE(Post(beat).retryAfter);
  EXPECT_EQ(Post(beat, "p2").status, 429) << "the device is spent wherever it sends from";
  // An address carries kStationsPerAddress stations' worth, then it is spent for every device.
  for (int d = 1; d < kStationsPerAddress; ++d)
    for (int i = 0; i < kRequestBurst; ++i) ASSERT_EQ(Post(Device('"' + QByteArray::number(d) + '"')).status, 200) << d;
  EXPECT_EQ(Post(other).status, 429) << "the address is spent";
  EXPECT_EQ(Post(other, "p2").status, 200);
  steady_ += 50;  // one request's worth
  EXPECT_EQ(Post(beat).status, 200);
  EXPECT_EQ(Post(beat).status, 429);
  // An offline queue of 500 goes in at once; the next pass waits, and its refusal takes nothing.
  steady_ += 10000;
  for (const char* prefix : {"q", "r"}) EXPECT_EQ(Post(Passes(200, prefix), "p3").status, 200);
  EXPECT_EQ(Post(Passes(100, "s"), "p3").status, 200);
  EXPECT_EQ(Post(Passes(1, "t"), "p3").status, 429);
  steady_ += 20;  // one pass's worth
  EXPECT_EQ(Ids(Post(Passes(1, "t"), "p3"), "taken"), QStringList({"t0"}));

  // At most kMaxDevices on the list; a dropped one makes room.
  desk_.SetAccess("tok2", {});
  steady_ += 10000;
  auto post = [&](int device, const QByteArray& peer) {
    return desk_.Post("Bearer tok2", Device('"' + QByteArray::number(device) + '"'), 30, peer, kNow, steady_).status;
  };
  for (int i = 0; i < kMaxAddresses; ++i) ASSERT_EQ(post(i % kMaxDevices, "a" + QByteArray::number(i)), 200) << i;
  EXPECT_EQ(post(kMaxDevices, "a1"), 429);
  // Every address followed is busy: a new one waits until their buckets are full again.
  EXPECT_EQ(post(5, "new"), 429);
  steady_ += 10000;
  EXPECT_EQ(post(5, "new"), 200);
  desk_.Drop("0");
  EXPECT_EQ(post(kMaxDevices, "a1"), 200);
}

}  // namespace
