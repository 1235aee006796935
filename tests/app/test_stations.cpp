// Phones as timing stations, through the window: a station's passes are the race's own (open
// times with its name, laps by the number field's rules, one undo step each) and leave the
// operator's row and typing alone; the race's key lives through a crash and its restore, and a
// reset or "Neuer Code" makes every older link useless.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTcpServer>
#include <atomic>

#include "app/FMain.h"
#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "common/Eventually.h"
#include "grid/SortGrid.h"
#include "io/Settings.h"
#include "net/LiveServerTestSupport.h"
#include "platform/KeyStore.h"
#include "platform/LocalTime.h"
#include "race/Protocol.h"
#include "widgets/ButtonWithColor.h"
#include "widgets/LivePanel.h"
#include "widgets/OpenTimesList.h"
#include "widgets/QrCode.h"
#include "widgets/StationWindow.h"

using testing_doubles::Doubles;

namespace {

constexpr int64_t kWall0 = 1796684400000;  // 2026-12-08 ...

quint16 FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

struct Answer {
  int status = 0;
  QJsonObject body;
};

Answer Post(quint16 port, const QByteArray& token, const QByteArray& body) {
  const std::optional<live_test::Response> response = live_test::Exchange(port, live_test::PassesRequest(token, body));
  if (!response) return {};
  return {response->status, QJsonDocument::fromJson(response->body).object()};
}

struct FormStations : ProgramFixture {
  platform::ManualClock& clock = Doubles().clock;
  std::atomic<int64_t> wall{kWall0};  // read by the server's thread too
  quint16 port = 0;

  void SetUp() override {
    QFile::remove(platform::KeyStore::DefaultPath());
    for (const QString& name : QDir().entryList({"*.journal", "Veltrano.txt"})) QFile::remove(name);
    QFile categories("Kategorie.txt");
    ASSERT_TRUE(categories.open(QIODevice::WriteOnly));
    categories.write("M\r\nF\r\n");
    port = FreePort();
    platform::KeyStore store;
    ASSERT_TRUE(store.OpenKey(SettingsKey(), true));
    ASSERT_TRUE(store.WriteInteger("LivePort", port));
    store.CloseKey();
    platform::SetNowSource([this] { return QDateTime::fromMSecsSinceEpoch(wall.load()); });
    clock.Set(5'000'000);
  }
  void TearDown() override {
    program.reset();
    platform::SetNowSource({});
    QFile::remove(platform::KeyStore::DefaultPath());
    for (const QString& name : QDir().entryList({"*.journal", "Veltrano.txt", "Veltrano-Korrekturen.txt"}))
      QFile::remove(name);
  }
  void Later(int ms) {
    clock.Advance(static_cast<uint32_t>(ms));
    wall += ms;
  }
  void Start(const QString& number) {
    Form().SortGrid1->SetRow(Form().SortGrid1->RowCount() - 1);
    Form().cbStartN->setEditText(number);
    QTest::keyClick(Form().SortGrid1, Qt::Key_F5);
  }
  // The key of the station link the window shows.
  QByteArray Token() {
    QTest::mouseClick(Form().PanelLive->Stations(), Qt::LeftButton);
    const QString link = Form().StationWindow->Link()->text();
    EXPECT_TRUE(link.contains(QStringLiteral(":%1/station#k=").arg(port))) << link.toStdString();
    return link.section("#k=", 1).toLatin1();
  }
  // A pass at the wall-clock instant, as a phone sends it.
  static QByteArray Pass(const QString& id, int64_t at, const QString& number = {}) {
    QJsonObject pass{{"id", id}, {"t", static_cast<double>(at)}};
    if (!number.isEmpty()) pass["nr"] = number;
    return QJsonDocument(QJsonObject{{"device", "Handy 1"}, {"role", "Zeit"}, {"accuracyMs", 4},
                                     {"passes", QJsonArray{pass}}})
        .toJson(QJsonDocument::Compact);
  }
  QStringList OpenLines() {
    QStringList lines;
    for (const TOpenTimeLine& line : Form().ListOpenTimes->Lines()) lines << line.Text;
    return lines;
  }
  uint32_t LastPress(const QString& number) {
    return Form().Protocol().RowTimes(Form().Protocol().RowOfNumber(number))->LastPress();
  }
};

TEST_F(FormStations, AStationsPassesAreTheRacesOwnAndLeaveTheOperatorsRowAndTyping) {
  TFormMain& form = Open();
  const QByteArray token = Token();
  ASSERT_EQ(token.size(), 32);
  EXPECT_FALSE(form.StationWindow->Code()->Text().isEmpty());
  Start("3");
  Later(1000);
  Start("4");
  const uint32_t start4 = clock.Now();
  Later(60000);

  // A tap: an open time with the station's name, at the instant it was made.
  EXPECT_EQ(Post(port, token, Pass("a-1", wall - 2500)).body["taken"].toArray(), QJsonArray{"a-1"});
  ASSERT_SOON(form.Session().OpenTimes().Times().size() == 1u);
  EXPECT_EQ(form.Session().OpenTimes().Times()[0].Tick, clock.Now() - 2500);
  EXPECT_EQ(OpenLines(), QStringList{"58,5  (Handy 1)"});

  // Time and number while the operator has the entry row selected and is typing the next name.
  form.SortGrid1->SetRow(form.SortGrid1->RowCount() - 1);
  form.eName->setText("Nachzügler");
  const int steps = form.UndoStack().index();
  EXPECT_EQ(Post(port, token, Pass("a-2", wall - 1000, "4")).body["taken"].toArray(), QJsonArray{"a-2"});
  ASSERT_SOON(form.Protocol().RowTimes(form.Protocol().RowOfNumber("4"))->Laps() == 1);
  EXPECT_EQ(LastPress("4"), clock.Now() - 1000);
  EXPECT_EQ(LastPress("4") - start4, 59000u);
  EXPECT_EQ(form.UndoStack().index(), steps + 1);
  EXPECT_EQ(form.eName->text(), "Nachzügler");
  EXPECT_TRUE(form.Protocol().IsEntryRow(form.SortGrid1->Row()));
  EXPECT_EQ(OpenLines().size(), 1) << "the open time waits for its number";

  // Sent again (the answer was lost): known, nothing counted twice.
  const Answer again = Post(port, token, Pass("a-2", wall - 1000, "4"));
  EXPECT_EQ(again.body["known"].toArray(), QJsonArray{"a-2"});
  testing_common::Settle();
  EXPECT_EQ(form.Protocol().RowTimes(form.Protocol().RowOfNumber("4"))->Laps(), 1);

  // Taken back like any press.
  form.Session().Undo();
  EXPECT_EQ(form.Protocol().RowTimes(form.Protocol().RowOfNumber("4"))->Laps(), 0);

  // The list of stations, by the second; one dropped is refused; "Neuer Code" makes the old
  // link useless.
  Later(1000);
  ASSERT_EQ(form.StationWindow->Stations().size(), 1u);
  const TStationLine& line = form.StationWindow->Stations()[0];
  EXPECT_EQ(line.Name, "Handy 1");
  EXPECT_EQ(line.Role, "Zeit");
  EXPECT_EQ(line.Accuracy, "±4 ms");
  Doubles().modal.AnswerDialog(mrYes);
  QTest::mouseClick(form.StationWindow->NewCode(), Qt::LeftButton);
  EXPECT_EQ(Post(port, token, Pass("a-3", wall - 10)).status, 403);
  const QByteArray renewed = form.StationWindow->Link()->text().section("#k=", 1).toLatin1();
  EXPECT_NE(renewed, token);
  EXPECT_EQ(Post(port, renewed, Pass("a-3", wall - 10)).status, 200);
  EXPECT_EQ(Post(port, renewed, Pass("a-2", wall - 10)).body["known"].toArray(), QJsonArray{"a-2"})
      << "a pass taken before counts once, whatever link sends it";
  ASSERT_SOON(form.Session().OpenTimes().Times().size() == 2u);
  Later(1000);
  ASSERT_EQ(form.StationWindow->Stations().size(), 1u) << "a new code starts the list anew";
  form.StationWindow->List()->selectRow(0);
  QTest::mouseClick(form.StationWindow->Drop(), Qt::LeftButton);
  EXPECT_EQ(Post(port, renewed, Pass("a-4", wall - 10)).status, 403);
}

TEST_F(FormStations, TheKeyAndThePassesTakenLiveThroughACrashAndAResetEndsThem) {
  QByteArray token;
  QByteArray journal;
  {
    TFormMain& form = Open();
    form.StartJournal();
    token = Token();
    Start("7");
    Later(30000);
    ASSERT_EQ(Post(port, token, Pass("p-1", wall - 100)).status, 200);
    ASSERT_SOON(form.Session().OpenTimes().Times().size() == 1u);
    QFile file("Veltrano.journal");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    journal = file.readAll();
  }
  program.reset();
  // What a crash leaves: the journal as it was while the race ran.
  QFile file("Veltrano.journal");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(journal);
  file.close();
  Later(5000);

  TFormMain& form = Open();
  Doubles().modal.AnswerDialog(mrYes);
  form.StartJournal();
  ASSERT_EQ(form.Session().OpenTimes().Times().size(), 1u);
  EXPECT_EQ(form.Session().OpenTimes().Times()[0].Device, "Handy 1");
  EXPECT_EQ(Token(), token) << "the phones go on with the link they have";
  const Answer resent = Post(port, token, Pass("p-1", wall - 5100));
  EXPECT_EQ(resent.status, 200);
  EXPECT_EQ(resent.body["known"].toArray(), QJsonArray{"p-1"});
  EXPECT_EQ(Post(port, token, Pass("p-2", wall - 10)).body["taken"].toArray(), QJsonArray{"p-2"});
  ASSERT_SOON(form.Session().OpenTimes().Times().size() == 2u);

  // After the race, a reset: a new race, a new key.
  QTest::mouseClick(form.bEnd, Qt::LeftButton);
  Doubles().modal.AnswerDialog(mrYes);
  QTest::keyClick(form.bRESET, Qt::Key_Space);
  EXPECT_EQ(Post(port, token, Pass("p-3", wall - 10)).status, 403);
  EXPECT_NE(Token(), token);
}

}  // namespace
