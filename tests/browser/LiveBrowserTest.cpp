// The live results in a real browser: headless Chromium opens the results page and the
// announcer's view while a race is driven through the window, and every press shows in the
// open pages within a second, without reloading them.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

#include "DevToolsBrowser.h"
#include "app/FMain.h"
#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "common/Eventually.h"
#include "grid/SortGrid.h"
#include "io/Settings.h"
#include "platform/KeyStore.h"
#include "race/Protocol.h"
#include "race/TimeText.h"
#include "widgets/LivePanel.h"
#include "widgets/OpenTimesList.h"
#include "widgets/StationWindow.h"

namespace {

constexpr uint32_t kT0 = 9'000'000;
constexpr qint64 kWithinMs = 1000;

quint16 FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

struct LiveBrowser : ProgramFixture {
  platform::ManualClock& clock = testing_doubles::Doubles().clock;
  DevToolsBrowser browser;
  quint16 port = 0;

  void SetUp() override {
    if (DevToolsBrowser::Program().isEmpty()) GTEST_SKIP() << "no Chromium installed";
    QFile::remove(platform::KeyStore::DefaultPath());
    QFile categories("Kategorie.txt");
    ASSERT_TRUE(categories.open(QIODevice::WriteOnly));
    categories.write("M\r\nF\r\n");
    port = FreePort();
    platform::KeyStore store;
    ASSERT_TRUE(store.OpenKey(SettingsKey(), true));
    ASSERT_TRUE(store.WriteInteger("LivePort", port));
    store.CloseKey();
    clock.Set(kT0);
    QString error;
    ASSERT_TRUE(browser.Start(&error)) << error.toStdString();
  }
  void TearDown() override {
    program.reset();
    QFile::remove(platform::KeyStore::DefaultPath());
    for (const char* name : {"Veltrano.txt", "Veltrano-Korrekturen.txt"}) QFile::remove(name);
  }
  QString Url(const char* path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path); }
  void Select(int32_t row) {
    Form().SortGrid1->SetRow(1);
    Form().SortGrid1->SetRow(row);
  }
  void Start(const QString& nr, const QString& name, const QString& cat) {
    Select(Form().SortGrid1->RowCount() - 1);
    Form().cbStartN->setEditText(nr);
    Form().eName->setText(name);
    Form().cbPol->setCurrentIndex(Form().cbPol->findText(cat));
    QTest::keyClick(Form().SortGrid1, Qt::Key_F5);
  }
  void Press(const QString& nr, Qt::Key key) {
    Select(Form().Protocol().RowOfNumber(nr));
    QTest::keyClick(Form().SortGrid1, key);
  }
  QString Text(const QString& session) {
    return browser.Evaluate(session, "document.getElementById('content').innerText").toString();
  }
  // How long after now the page shows the text; -1 when not within 5 s.
  qint64 Shows(const QString& session, const QString& text) {
    QElapsedTimer since;
    since.start();
    if (!QTest::qWaitFor([&] { return Text(session).contains(text); }, 5000)) return -1;
    return since.elapsed();
  }
  // Whether the page has lost the text within 5 s.
  bool Loses(const QString& session, const QString& text) {
    return QTest::qWaitFor([&] { return !Text(session).contains(text); }, 5000);
  }
  void SaveScreenshot(const QString& session, const QString& name) {
    EXPECT_TRUE(browser.SaveScreenshot(session, name)) << name.toStdString();
  }
};

}  // namespace

TEST_F(LiveBrowser, PressesShowInTheOpenPagesWithinASecond) {
  TFormMain& form = Open();
  ASSERT_TRUE(form.LabLive->isVisible());
  EXPECT_TRUE(form.LabLive->text().contains(QStringLiteral(":%1/").arg(port))) << form.LabLive->text().toStdString();
  EXPECT_TRUE(form.LabLive->text().contains("im ganzen Netzwerk"));

  Start("7", "Anna <b>Ä</b>", "F");
  clock.Advance(1000);
  Start("8", "Ben", "M");
  const QString results = browser.Open(Url("/"));
  const QString announcer = browser.Open(Url("/sprecher"));
  ASSERT_FALSE(results.isEmpty());
  ASSERT_FALSE(announcer.isEmpty());
  EXPECT_GE(Shows(results, "Unterwegs (2)"), 0);
  EXPECT_GE(Shows(results, "Anna <b>Ä</b>"), 0) << "the name as text, not as markup";
  EXPECT_GE(Shows(announcer, "Nr. 8 Ben (M) ist gestartet"), 0);

  // The running time counts on in the browser by itself.
  const QString running = "document.querySelector('span.running').textContent";
  const QString before = browser.Evaluate(announcer, running).toString();
  QTest::qWait(400);
  EXPECT_NE(browser.Evaluate(announcer, running).toString(), before);

  // A lap, pressed: both open pages show it within a second.
  clock.Set(kT0 + 61000);
  Press("7", Qt::Key_F4);
  const qint64 lapResults = Shows(results, "1.01,0");
  const qint64 lapAnnouncer = Shows(announcer, "Nr. 7 Anna <b>Ä</b> (F): Runde 1 in 1.01,0");
  EXPECT_GE(lapResults, 0);
  EXPECT_LE(lapResults, kWithinMs);
  EXPECT_GE(lapAnnouncer, 0);
  EXPECT_LE(lapAnnouncer, kWithinMs);

  // Four more laps for Anna, the last one with STOPP: ranked, with her place in the category.
  for (int lap = 2; lap <= 4; ++lap) {
    clock.Set(kT0 + 61000 * static_cast<uint32_t>(lap));
    Press("7", Qt::Key_F4);
  }
  clock.Set(kT0 + 61000 * 5);
  Press("7", Qt::Key_F9);
  const qint64 finish = Shows(announcer, "im Ziel, Platz 1 in F, Zeit 5.05,0");
  EXPECT_GE(finish, 0);
  EXPECT_LE(finish, kWithinMs);
  const qint64 ranked = Shows(results, "Kategorie F");
  EXPECT_GE(ranked, 0);
  EXPECT_LE(ranked, kWithinMs);
  EXPECT_GE(Shows(results, "Unterwegs (1)"), 0);
  // Still the same pages: they were never reloaded.
  EXPECT_EQ(browser.Evaluate(results, "performance.getEntriesByType('navigation').length").toInt(), 1);
  EXPECT_TRUE(browser.Evaluate(results, "document.getElementById('status').textContent").toString().contains("live"));

  SaveScreenshot(results, "veltrano-live-results.png");
  SaveScreenshot(announcer, "veltrano-live-announcer.png");

  // The STOPP taken back: the announcer's page loses her finish, and has it again when it is
  // done again.
  QTest::keyClick(form.SortGrid1, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(Loses(announcer, "im Ziel, Platz 1 in F"));
  EXPECT_GE(Shows(results, "Unterwegs (2)"), 0);
  QTest::keyClick(form.SortGrid1, Qt::Key_Y, Qt::ControlModifier);
  EXPECT_GE(Shows(announcer, "im Ziel, Platz 1 in F, Zeit 5.05,0"), 0);

  // A page opened a while after the last change counts the running time from when that state
  // was taken, not from when the page got it: Ben's time is on by the wait.
  const QString takenAndShown = "document.querySelector('span.running').getAttribute('data-ms') + ' ' + "
                          "document.querySelector('span.running').textContent";
  QTest::qWait(1500);
  const QString late = browser.Open(Url("/sprecher"));
  ASSERT_FALSE(late.isEmpty());
  EXPECT_GE(Shows(late, "Fahrzeit"), 0);
  QTest::qWait(300);  // the push channel has told its age by now
  const QStringList shown = browser.Evaluate(late, takenAndShown).toString().split(' ');
  ASSERT_EQ(shown.size(), 2);
  const std::optional<int32_t> counted = ParseDuration(shown[1]);
  ASSERT_TRUE(counted) << shown[1].toStdString();
  EXPECT_GE(*counted - shown[0].toInt(), 1500) << "taken " << shown[0].toStdString() << " ms, shown "
                                                << shown[1].toStdString();
}

// A phone as a timing station, in a real browser, against the whole window: it opens the link
// the window shows, its taps are the window's open times within 200 ms, and numbered in the
// window they are the riders' laps.
TEST_F(LiveBrowser, AStationsTapsAreTheWindowsOpenTimesAndNumberedTheRidersLaps) {
  TFormMain& form = Open();
  Start("7", "Anna", "F");
  clock.Advance(1000);
  Start("8", "Ben", "M");
  clock.Advance(60000);
  form.PanelLive->Stations()->click();
  const QString link = form.StationWindow->Link()->text();
  ASSERT_TRUE(link.contains("/station#k=")) << link.toStdString();
  const QString tab = browser.Open(Url("/station") + "#k=" + link.section("#k=", 1));
  ASSERT_FALSE(tab.isEmpty());
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return browser.Evaluate(tab, "window.veltranoStation.state().synced").toBool(); }, 5000));
  ASSERT_TRUE(browser.Tap(tab, "#roles button[data-role='Zeit']"));
  const auto& open = form.Session().OpenTimes().Times();
  for (size_t tap = 1; tap <= 2; ++tap) {
    QElapsedTimer since;
    since.start();
    ASSERT_TRUE(browser.Tap(tab, "#tap-button"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return open.size() == tap; }, 2000));
    EXPECT_LE(since.elapsed(), 200) << "tap " << tap;
  }
  EXPECT_FALSE(open[0].Device.isEmpty());
  const uint32_t first = open[0].Tick, second = open[1].Tick;
  EXPECT_TRUE(form.ListOpenTimes->isVisible());
  // Numbered at the laptop: the oldest goes to the first number typed.
  form.eNumber->setFocus();
  for (const char* number : {"8", "7"}) {
    form.eNumber->setText(number);
    QTest::keyClick(form.eNumber, Qt::Key_Return);
  }
  EXPECT_TRUE(open.empty());
  EXPECT_EQ(form.Protocol().RowTimes(form.Protocol().RowOfNumber("8"))->LastPress(), first);
  EXPECT_EQ(form.Protocol().RowTimes(form.Protocol().RowOfNumber("7"))->LastPress(), second);
  form.StationWindow->show();
  clock.Advance(1000);
  ASSERT_EQ(form.StationWindow->Stations().size(), 1u);
  EXPECT_EQ(form.StationWindow->Stations()[0].Role, "Zeit");
  EXPECT_EQ(form.StationWindow->Stations()[0].Passes, 2);
}
