// The stations' write path without sockets: the shape of a body, the token, and the order in
// which a request is checked, classified and rate limited.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "net/StationApi.h"

using namespace station;

namespace {

QByteArray Passes(int count, const char* pass = R"({"id":"p%1","t":1})") {
  QStringList items;
  for (int i = 0; i < count; ++i) items << QString::fromUtf8(pass).arg(i);
  return (R"({"device":"x","passes":[)" + items.join(',') + "]}").toUtf8();
}

QByteArray WithPass(const char* pass) { return QByteArray(R"({"device":"x","passes":[)") + pass + "]}"; }

TEST(StationApiTest, BodiesAreTakenOnlyInTheirShape) {
  const QByteArray name40(40, 'n');
  const QByteArray id64(64, 'i');
  const std::vector<std::pair<QByteArray, bool>> cases = {
      {R"({"device":"Handy 1","passes":[]})", true},
      {R"({"device":"x","role":null,"accuracyMs":null,"passes":[{"id":"a","t":5,"nr":null}]})", true},
      {R"({"device":"x","role":"","passes":[{"id":"a","t":-5,"nr":"  "}]})", true},  // a blank number is none
      {R"({"device":"x","extra":{"a":[1]},"passes":[{"id":"A.b_c:d-9","nr":"000123","more":1}]})", true},
      {R"({"device":")" + name40 + R"(","passes":[]})", true},
      {WithPass(R"({"id":")" + id64 + R"(","t":1})"), true},
      {Passes(kMaxPasses), true},
      {"", false},
      {"[]", false},
      {"null", false},
      {R"({"device":"x","passes":[])", false},
      {R"({"device":"x"})", false},
      {R"({"device":"x","passes":{}})", false},
      {R"({"passes":[]})", false},
      {R"({"device":"","passes":[]})", false},
      {R"({"device":"   ","passes":[]})", false},
      {R"({"device":")" + name40 + R"(n","passes":[]})", false},
      {R"({"device":7,"passes":[]})", false},
      {R"({"device":"a\u0007b","passes":[]})", false},
      {R"({"device":"a\nb","passes":[]})", false},
      {R"({"device":"a\u2028b","passes":[]})", false},
      {R"({"device":"a\u202eb","passes":[]})", false},  // a bidi override would garble the list
      {R"({"device":"a\ud800b","passes":[]})", false},
      {R"({"device":"x","role":"Chef","passes":[]})", false},
      {R"({"device":"x","role":3,"passes":[]})", false},
      {R"({"device":"x","accuracyMs":"3","passes":[]})", false},
      {R"({"device":"x","accuracyMs":1.5,"passes":[]})", false},
      {R"({"device":"x","accuracyMs":-2,"passes":[]})", false},
      {Passes(kMaxPasses + 1), false},
      {WithPass("1"), false},
      {WithPass("[]"), false},
      {WithPass(R"({"t":1})"), false},
      {WithPass(R"({"id":"","t":1})"), false},
      {WithPass(R"({"id":")" + id64 + R"(i","t":1})"), false},
      {WithPass(R"({"id":"a b","t":1})"), false},
      {WithPass(R"({"id":"ä","t":1})"), false},
      {WithPass(R"({"id":"a/b","t":1})"), false},
      {WithPass(R"({"id":5,"t":1})"), false},
      {WithPass(R"({"id":"a","t":"1"})"), false},
      {WithPass(R"({"id":"a","t":1.5})"), false},
      {WithPass(R"({"id":"a","t":1e300})"), false},
      {WithPass(R"({"id":"a","t":true})"), false},
      {WithPass(R"({"id":"a","nr":"1234567"})"), false},
      {WithPass(R"({"id":"a","nr":"12a"})"), false},
      {WithPass(R"({"id":"a","nr":"-1"})"), false},
      {WithPass(R"({"id":"a","nr":12})"), false},
      {WithPass(R"({"id":"a","nr":"١٢"})"), false},  // digits, but not ours
      {WithPass(R"({"id":"a"})"), false},             // neither a time nor a number
      {WithPass(R"({"id":"a","nr":" "})"), false},
  };
  for (const auto& [body, valid] : cases) EXPECT_EQ(ParseRequest(body).has_value(), valid) << body.toStdString();

  const auto request = ParseRequest(
      R"({"device":"  Handy 1 ","role":"Zeit + Nummer","accuracyMs":3,"passes":[{"id":"b","t":1765260000123,"nr":" 12 "},{"id":"a","nr":"7"}]})");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->Device, "Handy 1");
  EXPECT_EQ(request->Role, "Zeit + Nummer");
  EXPECT_EQ(request->AccuracyMs, 3);
  ASSERT_EQ(request->Passes.size(), 2u);
  EXPECT_EQ(request->Passes[0].Id, "b");
  EXPECT_EQ(request->Passes[0].WallMs, 1765260000123);
  EXPECT_EQ(request->Passes[0].Number, "12");
  EXPECT_FALSE(request->Passes[1].WallMs);
  EXPECT_EQ(request->Passes[1].Number, "7");
  const auto silent = ParseRequest(R"({"device":"x","passes":[]})");
  EXPECT_FALSE(silent->Role || silent->AccuracyMs) << "not said is not the same as said empty";
}

TEST(StationApiTest, TokensAreRandomAndMatchOnlyThemselves) {
  const QByteArray token = NewStationToken();
  EXPECT_EQ(token.size(), 32);
  for (char c : token) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) << token.constData();
  EXPECT_NE(NewStationToken(), token);
  EXPECT_TRUE(StationTokenMatches(token, token));
  QByteArray flipped = token;
  flipped[31] = flipped[31] == 'a' ? 'b' : 'a';
  for (const QByteArray& other : {flipped, token.left(31), token + "0", token.toUpper(), QByteArray()}) {
    EXPECT_FALSE(StationTokenMatches(other, token)) << other.constData();
  }
  EXPECT_FALSE(StationTokenMatches(QByteArray(), QByteArray())) << "without a token nobody writes";
}

constexpr int64_t kNow = 1765260000000;

class StationDeskTest : public ::testing::Test {
protected:
  void SetUp() override { desk_.SetAccess("tok", {}); }
  TAnswer Post(const QByteArray& body, const QByteArray& peer = "p1", QByteArray authorization = "Bearer tok") {
    return desk_.Post(authorization, body, body.size(), peer, kNow, steady_);
  }
  static QJsonObject Json(const TAnswer& answer) { return QJsonDocument::fromJson(answer.body).object(); }
  static QStringList Ids(const TAnswer& answer, const char* key) {
    QStringList ids;
    for (const QJsonValue& v : Json(answer).value(QLatin1String(key)).toArray()) ids << v.toString();
    return ids;
  }
  TDesk desk_;
  int64_t steady_ = 1000;
};

TEST_F(StationDeskTest, ChecksComeInTheirOrderAndARefusalTakesNothing) {
  const QByteArray good = R"({"device":"Handy","passes":[{"id":"a","t":1765260000000}]})";
  struct Case {
    QByteArray authorization;
    QByteArray body;
    qint64 declared;
    int status;
    const char* error;
  };
  const QByteArray big(kMaxBodyBytes + 1, ' ');
  const std::vector<Case> cases = {
      {"", good, 0, 401, "Stationslink fehlt."},
      {"Basic dG9r", good, 0, 401, "Stationslink fehlt."},
      {"Bearer", good, 0, 401, "Stationslink fehlt."},
      {"", QByteArray(), 1 << 20, 401, "Stationslink fehlt."},  // credentials before size
      {"Bearer tak", good, 0, 403, "Ungültiger Stationslink."},
      {"Bearer tok2", QByteArray(), 1 << 20, 403, "Ungültiger Stationslink."},
      {"Bearer tok", big, 0, 413, "Anfrage zu groß."},
      {"Bearer tok", QByteArray(), 1 << 20, 413, "Anfrage zu groß."},
      {"Bearer tok", "{", 0, 400, "Ungültige Anfrage."},
      {"Bearer tok", WithPass(R"({"id":"ok","t":1},{"id":"bad id","t":1})"), 0, 400, "Ungültige Anfrage."},
  };
  for (const Case& c : cases) {
    const TAnswer answer = desk_.Post(c.authorization, c.body, std::max<qint64>(c.declared, c.body.size()), "p", kNow, 0);
    EXPECT_EQ(answer.status, c.status) << c.authorization.constData();
    EXPECT_EQ(Json(answer).value("error").toString(), QString::fromUtf8(c.error)) << c.authorization.constData();
    EXPECT_EQ(answer.challenge, c.status == 401);
    EXPECT_EQ(answer.close, c.status == 413);
    EXPECT_FALSE(answer.batch);
  }
  EXPECT_TRUE(desk_.Stations().empty());
  EXPECT_EQ(desk_.KnownIds(), 0);
  // The scheme's case and blanks around the credentials are no part of them.
  EXPECT_EQ(Post(good, "p1", "  bearer   tok ").status, 200);

  TDesk closed;  // no token given: nobody writes
  EXPECT_EQ(closed.Post("Bearer ", good, good.size(), "p", kNow, 0).status, 401);
  EXPECT_EQ(closed.Post("Bearer x", good, good.size(), "p", kNow, 0).status, 403);
}

TEST_F(StationDeskTest, PassesAreTakenOnceWithinTheDayAndHandedOverInOrder) {
  const QByteArray body = QStringLiteral(
      R"({"device":"Handy","role":"Zeit","accuracyMs":4,"passes":[
        {"id":"old","t":%1},{"id":"edge-past","t":%2},{"id":"n","nr":"12"},{"id":"edge-future","t":%3},
        {"id":"ahead","t":%4},{"id":"n","t":%5},{"id":"late","t":%5,"nr":"3"}]})")
                              .arg(kNow - kPastMs - 1).arg(kNow - kPastMs).arg(kNow + kFutureMs)
                              .arg(kNow + kFutureMs + 1).arg(kNow).toUtf8();
  const TAnswer first = Post(body);
  ASSERT_EQ(first.status, 200) << first.body.constData();
  EXPECT_EQ(Ids(first, "taken"), QStringList({"edge-past", "n", "edge-future", "late"}));
  EXPECT_EQ(Ids(first, "known"), QStringList({"n"})) << "the same id twice in one request";
  EXPECT_EQ(Ids(first, "rejected"), QStringList({"old", "ahead"}));
  ASSERT_TRUE(first.batch);
  EXPECT_EQ(first.batch->Device, "Handy");
  ASSERT_EQ(first.batch->Passes.size(), 4u);
  EXPECT_EQ(first.batch->Passes[1].Number, "12");
  EXPECT_FALSE(first.batch->Passes[1].WallMs);
  EXPECT_EQ(first.batch->Passes[3].WallMs, kNow);
  EXPECT_EQ(first.batch->Passes[3].Number, "3");

  // Sent again (the answer was lost): nothing new, nothing handed over.
  steady_ += 1000;
  const TAnswer again = Post(body);
  EXPECT_EQ(Ids(again, "taken"), QStringList());
  EXPECT_EQ(Ids(again, "known"), QStringList({"edge-past", "n", "edge-future", "n", "late"}));
  EXPECT_FALSE(again.batch);

  // A heartbeat keeps what was said before and updates the contact.
  const TAnswer beat = desk_.Post("Bearer tok", R"({"device":"Handy","passes":[]})", 31, "p1", kNow + 60000, steady_);
  EXPECT_EQ(beat.body, R"({"taken":[],"known":[],"rejected":[]})");
  const auto list = desk_.Stations();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].Role, "Zeit");
  EXPECT_EQ(list[0].AccuracyMs, 4);
  EXPECT_EQ(list[0].LastContactMs, kNow + 60000);
  EXPECT_EQ(list[0].Passes, 4);
}

TEST_F(StationDeskTest, DroppedStationsAndOtherRacesWriteNothing) {
  const QByteArray second = R"({"device":"Zwei","passes":[{"id":"z1","t":1765260000000}]})";
  ASSERT_EQ(Post(R"({"device":"Eins","passes":[{"id":"e1","t":1765260000000}]})").status, 200);
  const TAnswer before = Post(second);
  ASSERT_EQ(before.status, 200);
  desk_.Drop(" Eins ");
  const TAnswer dropped = Post(R"({"device":"Eins","passes":[{"id":"e2","t":1765260000000}]})");
  EXPECT_EQ(dropped.status, 403);
  EXPECT_EQ(Json(dropped).value("error").toString(), "Diese Station wurde getrennt.");
  ASSERT_EQ(desk_.Stations().size(), 1u);
  EXPECT_EQ(desk_.Stations()[0].Device, "Zwei");

  // The same race again only adds ids: z1 stays known.
  desk_.SetAccess("tok", {"r1"});
  EXPECT_TRUE(desk_.Current(before.generation));
  EXPECT_EQ(Ids(Post(R"({"device":"Zwei","passes":[{"id":"z1","nr":"1"},{"id":"r1","nr":"2"}]})"), "known"),
            QStringList({"z1", "r1"}));

  // A new race: the old token is refused, a batch taken under it is no longer current, and
  // the list, the dropped stations and the ids start again from what the race says.
  desk_.SetAccess("neu", {"z1"});
  EXPECT_FALSE(desk_.Current(before.generation));
  EXPECT_EQ(Post(second).status, 403);
  EXPECT_TRUE(desk_.Stations().empty());
  const TAnswer fresh = Post(R"({"device":"Eins","passes":[{"id":"z1","t":1765260000000},{"id":"e1","t":1765260000000}]})",
                             "p1", "Bearer neu");
  EXPECT_EQ(fresh.status, 200);
  EXPECT_EQ(Ids(fresh, "taken"), QStringList({"e1"}));
  EXPECT_EQ(Ids(fresh, "known"), QStringList({"z1"}));
  EXPECT_TRUE(desk_.Current(fresh.generation));
}

TEST_F(StationDeskTest, RatesAreBoundedPerDeviceAndPerAddress) {
  const QByteArray beat = R"({"device":"A","passes":[]})";
  for (int i = 0; i < kRequestBurst; ++i) ASSERT_EQ(Post(beat).status, 200) << i;
  const TAnswer over = Post(beat);
  EXPECT_EQ(over.status, 429);
  EXPECT_TRUE(over.retryAfter);
  EXPECT_EQ(Json(over).value("error").toString(), "Zu viele Anfragen, bitte kurz warten.");
  // The address is spent too: another device from there waits as well, one from elsewhere not.
  EXPECT_EQ(Post(R"({"device":"B","passes":[]})").status, 429);
  EXPECT_EQ(Post(beat, "p2").status, 429) << "the device is spent wherever it sends from";
  EXPECT_EQ(Post(R"({"device":"B","passes":[]})", "p2").status, 200);
  steady_ += 50;  // one request's worth at 20 a second
  EXPECT_EQ(Post(beat).status, 200);
  EXPECT_EQ(Post(beat).status, 429);

  // An offline queue of 500 goes in at once; the next pass waits, and a refused request takes nothing.
  steady_ += 10000;
  QByteArray queue = Passes(200, R"({"id":"q%1","t":1765260000000})");
  EXPECT_EQ(Post(queue, "p3").status, 200);
  EXPECT_EQ(Post(queue.replace("\"q", "\"r"), "p3").status, 200);
  EXPECT_EQ(Post(Passes(100, R"({"id":"s%1","t":1765260000000})"), "p3").status, 200);
  const TAnswer full = Post(WithPass(R"({"id":"late","t":1765260000000})"), "p3");
  EXPECT_EQ(full.status, 429);
  EXPECT_FALSE(full.batch);
  steady_ += 20;  // one pass at 50 a second
  EXPECT_EQ(Ids(Post(WithPass(R"({"id":"late","t":1765260000000})"), "p3"), "taken"), QStringList({"late"}));
}

TEST_F(StationDeskTest, TablesKeyedByWhatClientsSendAreBounded) {
  for (int i = 0; i < kMaxDevices; ++i) {
    ASSERT_EQ(Post(QStringLiteral(R"({"device":"D%1","passes":[]})").arg(i).toUtf8(), "p" + QByteArray::number(i)).status, 200);
  }
  const TAnswer crowded = Post(R"({"device":"neu","passes":[]})", "q");
  EXPECT_EQ(crowded.status, 429);
  EXPECT_EQ(Post(R"({"device":"D7","passes":[]})", "q").status, 200) << "a station on the list goes on";
  EXPECT_EQ(desk_.Stations().size(), size_t(kMaxDevices));
  desk_.Drop("D0");
  EXPECT_EQ(Post(R"({"device":"neu","passes":[]})", "q").status, 200) << "a dropped station makes room";

  // Addresses: while every one followed is busy, a new one waits; once their buckets are full
  // again they are forgotten and it is served.
  desk_.SetAccess("tok2", {});
  steady_ += 10000;  // the addresses above are idle now
  for (int i = 0; i < kMaxAddresses; ++i) {
    const QByteArray body = QStringLiteral(R"({"device":"D%1","passes":[]})").arg(i % kMaxDevices).toUtf8();
    ASSERT_EQ(desk_.Post("Bearer tok2", body, body.size(), "a" + QByteArray::number(i), kNow, steady_).status, 200) << i;
  }
  const QByteArray known = R"({"device":"D5","passes":[]})";
  EXPECT_EQ(desk_.Post("Bearer tok2", known, known.size(), "new", kNow, steady_).status, 429);
  EXPECT_EQ(desk_.Post("Bearer tok2", known, known.size(), "a5", kNow, steady_ + 100).status, 200);
  EXPECT_EQ(desk_.Post("Bearer tok2", known, known.size(), "new", kNow, steady_ + 10000).status, 200);
}

}  // namespace
