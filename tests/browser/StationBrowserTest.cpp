// The timing station in a real browser: headless Chromium at a phone's size with a touch screen
// opens the station page of a live server, and its taps arrive as passes stamped on the
// laptop's clock, also when the phone's clock is off and when the network was gone meanwhile.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QSet>
#include <QTest>
#include <memory>

#include "DevToolsBrowser.h"
#include "net/LivePages.h"
#include "net/LiveServer.h"
#include "net/StationApi.h"

namespace {

constexpr qint64 kSlackMs = 5;
int64_t WallMs() { return QDateTime::currentMSecsSinceEpoch(); }

struct StationBrowser : testing::Test {
  DevToolsBrowser browser;
  TLiveServer server;
  QByteArray token = NewStationToken();
  std::vector<TStationPass> passes;  // as handed over, in order
  quint16 port = 0;

  void SetUp() override {
    if (DevToolsBrowser::Program().isEmpty()) GTEST_SKIP() << "no Chromium installed";
    server.OnStationPasses = [this](const TStationBatch& b) { passes.insert(passes.end(), b.Passes.begin(), b.Passes.end()); };
    server.SetStationAccess(token, {});
    Publish();
    ASSERT_TRUE(StartServer());
    port = server.Port();
    QString error;
    ASSERT_TRUE(browser.Start(&error)) << error.toStdString();
  }
  bool StartServer() {
    TLiveServerOptions options;
    options.port = port;
    options.address = QHostAddress::LocalHost;
    QString error;
    return server.Start(options, &error);
  }
  // The race's results; with a next rider, his automatic start due at atMs (0: none).
  void Publish(bool next = false, int64_t atMs = 0) {
    static uint64_t serial = 0;
    TLiveSnapshot snapshot;
    snapshot.serial = ++serial;
    snapshot.title = "Testrennen";
    if (next) {
      snapshot.nextNumber = "12";
      snapshot.nextName = "Anna Berg";
      snapshot.nextStartAtMs = atMs;
    }
    server.Publish(std::make_shared<TLivePublication>(RenderLivePublication(snapshot)));
  }
  QString Url(bool withToken = true) const {
    return QStringLiteral("http://127.0.0.1:%1/station").arg(port) + (withToken ? "#k=" + token : QString());
  }
  QJsonObject State(const QString& tab) {
    return browser.Evaluate(tab, "window.veltranoStation ? window.veltranoStation.state() : {}").toObject();
  }
  QString OpenSynced(const QString& prelude = {}) {
    const QString tab = browser.Open(Url(), 390, 844, prelude);
    EXPECT_FALSE(tab.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return State(tab)["synced"].toBool(); }, 5000));
    return tab;
  }
  bool Arrived(size_t count) {
    return QTest::qWaitFor([&] { return passes.size() >= count; }, 5000) && passes.size() == count;
  }
  void Role(const QString& tab, const QString& role) {
    ASSERT_TRUE(browser.Tap(tab, "#roles button[data-role='" + role + "']"));
    EXPECT_EQ(State(tab)["role"].toString(), role);
  }
  // The tap, and the laptop's clock right before and after it.
  std::pair<int64_t, int64_t> TimedTap(const QString& tab, const QString& selector) {
    const std::optional<QPointF> at = browser.Centre(tab, selector);
    EXPECT_TRUE(at) << selector.toStdString();
    const int64_t before = WallMs();
    int64_t after = before;
    if (at) browser.Touch(tab, *at, [&] { after = WallMs(); });
    return {before, after};
  }
  void Screenshot(const QString& tab, const QString& name) {
    QTest::qWait(200);  // the pressed key's flash is over
    EXPECT_TRUE(browser.SaveScreenshot(tab, name)) << name.toStdString();
  }
};

void ExpectStampedWithin(const TStationPass& pass, std::pair<int64_t, int64_t> tap) {
  ASSERT_TRUE(pass.WallMs) << pass.Id.toStdString();
  EXPECT_GE(*pass.WallMs, tap.first - kSlackMs);
  EXPECT_LE(*pass.WallMs, tap.second + kSlackMs);
}

void ExpectUniqueIds(const std::vector<TStationPass>& passes) {
  QSet<QString> ids;
  for (const TStationPass& pass : passes) ids.insert(pass.Id);
  EXPECT_EQ(ids.size(), static_cast<qsizetype>(passes.size())) << "a tap arrived twice or two taps shared an id";
}

}  // namespace

TEST_F(StationBrowser, TapsOnAPhoneWhoseClockIsAheadArriveStampedOnTheLaptopsClock) {
  // The phone is 37 s ahead, and the laptop's clock cannot be read until the test opens it.
  const QString tab = browser.Open(Url(), 390, 844,
                                   "window.veltranoClockShiftMs = 37000; var realFetch = window.fetch; window.fetch ="
                                   " function (url) { return String(url).indexOf('clock') >= 0 && !window.clockOpen ?"
                                   " Promise.reject(new TypeError('held')) : realFetch.apply(this, arguments); };");
  ASSERT_FALSE(tab.isEmpty());
  std::vector<std::pair<int64_t, int64_t>> taps{TimedTap(tab, "#tap-button")};
  QTest::qWait(500);
  EXPECT_EQ(State(tab)["queued"].toInt(), 1) << "kept until the clock is known";
  EXPECT_TRUE(passes.empty());
  browser.Evaluate(tab, "window.clockOpen = true");
  ASSERT_TRUE(Arrived(1));
  const QJsonObject state = State(tab);
  EXPECT_NEAR(state["offsetMs"].toDouble(), -37000, kSlackMs);
  EXPECT_TRUE(browser.Evaluate(tab, "document.getElementById('clock').textContent").toString().startsWith("Uhr ±"));
  for (int k = 0; k < 4; ++k) {
    QTest::qWait(30);
    taps.push_back(TimedTap(tab, "#tap-button"));
  }
  ASSERT_TRUE(Arrived(5));
  for (size_t k = 0; k < taps.size(); ++k) {
    ExpectStampedWithin(passes[k], taps[k]);
    EXPECT_TRUE(passes[k].Number.isEmpty());
  }
  ExpectUniqueIds(passes);
  // The station is listed with its name, what it does and how well its clock is set.
  ASSERT_EQ(server.Stations().size(), 1u);
  EXPECT_TRUE(server.Stations()[0].Device.startsWith("Handy "));
  EXPECT_EQ(server.Stations()[0].Device, state["device"].toString());
  EXPECT_EQ(server.Stations()[0].Role, "Zeit");
  EXPECT_EQ(server.Stations()[0].AccuracyMs, state["accuracyMs"].toInt());
  EXPECT_TRUE(QTest::qWaitFor([&] { return State(tab)["queued"].toInt() == 0; }, 2000));
  Screenshot(tab, "station-zeit.png");
  // A touch the phone reports 150 ms before its handler runs (a busy phone) is timed when the
  // finger came down.
  const int64_t earlier = WallMs() - 150;
  browser.Touch(tab, *browser.Centre(tab, "#tap-button"), {}, earlier);
  ASSERT_TRUE(Arrived(6));
  ExpectStampedWithin(passes[5], {earlier, earlier});
}

TEST_F(StationBrowser, TapsMadeOfflineArriveOnceWhenTheLaptopIsBackAlsoAfterAReload) {
  const QString tab = OpenSynced();
  server.Stop();
  for (int k = 0; k < 5; ++k) ASSERT_TRUE(browser.Tap(tab, "#tap-button"));
  EXPECT_EQ(State(tab)["queued"].toInt(), 5);
  QTest::qWait(1500);  // retries against a closed port
  ASSERT_TRUE(StartServer());
  ASSERT_TRUE(Arrived(5));
  EXPECT_TRUE(QTest::qWaitFor([&] { return State(tab)["queued"].toInt() == 0; }, 2000));

  // Offline again, and the page reloaded meanwhile (it fails to load), then opened again without
  // the link's token: the queue and the ids survived, the token was kept.
  server.Stop();
  for (int k = 0; k < 5; ++k) ASSERT_TRUE(browser.Tap(tab, "#tap-button"));
  browser.Navigate(tab, Url(false));
  ASSERT_TRUE(StartServer());
  ASSERT_TRUE(browser.Navigate(tab, Url(false)));
  ASSERT_TRUE(Arrived(10));
  QTest::qWait(1500);  // nothing more comes
  EXPECT_EQ(passes.size(), 10u);
  ExpectUniqueIds(passes);
  EXPECT_EQ(State(tab)["queued"].toInt(), 0);
}

TEST_F(StationBrowser, TheKeypadRolesSendNumbersWithAndWithoutTheirTime) {
  const QString tab = OpenSynced();
  struct Case {
    const char* role;
    const char* keys;  // b: ⌫, then the last key (OK or Enter) is tapped with the clock read
    const char* number;
    bool timed;
    const char* screenshot = nullptr;  // taken before the last key
  } cases[] = {
      {"Nummern", "12", "12", false},
      {"Nummern", "45b7", "47", false, "station-nummern.png"},
      {"Nummern", "1234567", "123456", false},  // six digits at most
      {"Zeit + Nummer", "3", "3", true, "station-zeit-nummer.png"},
      {"Zeit + Nummer", "9b", "", true},  // no number read: the time alone
  };
  size_t expected = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.role) + " " + c.keys);
    Role(tab, c.role);
    for (const char* key = c.keys; *key; ++key)
      ASSERT_TRUE(browser.Tap(tab, QStringLiteral(".keys button[data-key='%1']").arg(*key == 'b' ? "back" : QString(*key))));
    if (c.screenshot) Screenshot(tab, c.screenshot);
    const auto tap = TimedTap(tab, "#ok");
    ASSERT_TRUE(Arrived(++expected));
    EXPECT_EQ(passes.back().Number, c.number);
    if (c.timed) ExpectStampedWithin(passes.back(), tap);
    else EXPECT_FALSE(passes.back().WallMs);
  }
  // An OK on an empty entry sends nothing.
  Role(tab, "Nummern");
  ASSERT_TRUE(browser.Tap(tab, "#ok"));
  QTest::qWait(300);
  EXPECT_EQ(passes.size(), expected);
  // The role is kept over a reload.
  ASSERT_TRUE(browser.Navigate(tab, Url()));
  EXPECT_EQ(State(tab)["role"].toString(), "Nummern");
  ExpectUniqueIds(passes);
}

TEST_F(StationBrowser, TheStarterSeesTheNextRiderAndHearsTheCountdown) {
  const QString tab = OpenSynced("window.veltranoClockShiftMs = -90000;");
  Role(tab, "Start");
  const auto text = [&] { return browser.Evaluate(tab, "document.getElementById('start').innerText").toString(); };
  const auto shows = [&](const char* what, int ms = 2000) {
    return QTest::qWaitFor([&] { return text().contains(what); }, ms) ? "" : what + (" not in " + text().toStdString());
  };
  const auto armed = [this](int64_t atMs) { Publish(true, atMs); };
  EXPECT_EQ(shows("Kein Starter wartet"), "");
  armed(0);
  EXPECT_EQ(shows("Kein automatischer Start"), "");
  EXPECT_EQ(shows("Nr. 12 Anna Berg"), "");
  // The countdown on the laptop's clock (the phone's is 90 s behind).
  armed(WallMs() + 27500);
  EXPECT_EQ(shows("0:28"), "");
  EXPECT_EQ(shows("0:27"), "");
  Screenshot(tab, "station-start.png");
  // Armed 5.5 s ahead: beeps at 5..1 and 0.
  armed(WallMs() + 5500);
  EXPECT_EQ(shows("0:06"), "");
  EXPECT_EQ(shows("0:03", 4000), "");
  EXPECT_TRUE(QTest::qWaitFor([&] { return State(tab)["beeps"].toInt() == 6; }, 5000)) << State(tab)["beeps"].toInt();
  QTest::qWait(500);
  EXPECT_EQ(State(tab)["beeps"].toInt(), 6) << "each mark once";
  EXPECT_TRUE(text().contains("0:00"));
  EXPECT_TRUE(passes.empty());
  EXPECT_EQ(server.Stations().at(0).Role, "Start");
}
