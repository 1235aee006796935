// The live results as the operator switches them in the settings dialog (before the race, when
// the dialog can be opened): the server comes and goes with the port, a busy port is said in
// German, the published folder follows the race, and the panel with the address and its QR code
// shows what is on.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QScrollBar>
#include <QSemaphore>
#include <QTemporaryDir>

#include "app/FMain.h"
#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "common/Eventually.h"
#include "grid/SortGrid.h"
#include "io/RecordingSpreadsheet.h"
#include "io/SpreadsheetExport.h"
#include "platform/KeyStore.h"
#include "race/Protocol.h"
#include "widgets/ButtonWithColor.h"
#include "widgets/LbSpeedButton.h"
#include "widgets/QrCode.h"

using testing_doubles::Doubles;

namespace {

constexpr uint32_t kT0 = 5'000'000;

quint16 FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::Any, 0);
  return probe.serverPort();
}

// The body of a GET on the local port; empty when nothing answers with 200.
QByteArray Get(quint16 port, const QByteArray& path) {
  QTcpSocket socket;
  socket.connectToHost(QHostAddress::LocalHost, port);
  if (!socket.waitForConnected(2000)) return {};
  socket.write("GET " + path + " HTTP/1.1\r\nHost: test\r\nConnection: close\r\n\r\n");
  QByteArray response;
  while (socket.waitForReadyRead(2000)) response += socket.readAll();
  response += socket.readAll();
  const qsizetype body = response.indexOf("\r\n\r\n");
  if (!response.startsWith("HTTP/1.1 200") || body < 0) return {};
  return response.mid(body + 4);
}

bool Refused(quint16 port) {
  QTcpSocket socket;
  socket.connectToHost(QHostAddress::LocalHost, port);
  return !socket.waitForConnected(2000);
}

QJsonObject Json(const QByteArray& text) { return QJsonDocument::fromJson(text).object(); }

// The start numbers of the riders on course in a results JSON.
QStringList OnCourse(const QJsonObject& results) {
  QStringList numbers;
  for (const QJsonValue rider : results["onCourse"].toArray()) numbers << rider["number"].toString();
  return numbers;
}

struct FormLive : ProgramFixture {
  platform::ManualClock& clock = Doubles().clock;

  void SetUp() override {
    QFile::remove(platform::KeyStore::DefaultPath());
    QFile categories("Kategorie.txt");
    ASSERT_TRUE(categories.open(QIODevice::WriteOnly));
    categories.write("M\r\nF\r\n");
    clock.Set(kT0);
  }
  void TearDown() override {
    program.reset();
    QFile::remove(platform::KeyStore::DefaultPath());
    for (const char* name : {"Veltrano.txt", "Veltrano-Korrekturen.txt"}) QFile::remove(name);
  }
  // The settings dialog, answered with OK after live results set as given (port 0: off).
  void Settings(int port, const QString& folder = {}) {
    Doubles().modal.AnswerDialog(mrOk, [=](QDialog* dialog) {
      auto* cfg = static_cast<TCfgDialog*>(dialog);
      cfg->cbLive->setChecked(port != 0);
      if (port != 0) cfg->seLivePort->setValue(port);
      cfg->eLiveFolder->setText(folder);
    });
    QTest::mouseClick(Form().bCFG, Qt::LeftButton);
    EXPECT_EQ(Doubles().modal.PendingAnswers(), 0);
  }
  void Start(const QString& number) {
    Form().SortGrid1->SetRow(Form().SortGrid1->RowCount() - 1);
    Form().cbStartN->setEditText(number);
    QTest::keyClick(Form().SortGrid1, Qt::Key_F5);
  }
};

}  // namespace

TEST_F(FormLive, TheServerComesAndGoesWithThePortInTheSettings) {
  TFormMain& form = Open();
  EXPECT_FALSE(form.PanelLive->isVisible()) << "off unless switched on";

  const quint16 port = FreePort();
  Settings(port);
  ASSERT_TRUE(form.PanelLive->isVisible());
  EXPECT_TRUE(form.LabLive->text().contains(QStringLiteral(":%1/").arg(port))) << form.LabLive->text().toStdString();
  EXPECT_TRUE(form.LabLive->text().contains("im ganzen Netzwerk erreichbar"));
  EXPECT_TRUE(form.LiveQr->isVisible());
  EXPECT_TRUE(form.LabLive->text().contains(form.LiveQr->Text())) << "the code holds the address shown";
  // Another port before the race: the old one closes, the new one serves.
  const quint16 second = FreePort();
  Settings(second);
  EXPECT_TRUE(Refused(port));
  EXPECT_TRUE(form.LabLive->text().contains(QStringLiteral(":%1/").arg(second)));
  ASSERT_SOON(Json(Get(second, "/api/results.json")).contains("onCourse"));

  // Each press is served after its turn of the loop.
  Start("3");
  EXPECT_SOON(OnCourse(Json(Get(second, "/api/results.json"))) == QStringList{"3"});
  clock.Advance(30000);
  Start("4");
  EXPECT_SOON(OnCourse(Json(Get(second, "/api/results.json"))) == (QStringList{"3", "4"}));
  EXPECT_TRUE(Get(second, "/sprecher").contains("<html")) << "the announcer's page";

  // A click on the panel hides the code, another shows it again.
  QTest::mouseClick(form.PanelLive, Qt::LeftButton);
  EXPECT_FALSE(form.LiveQr->isVisible());
  QTest::mouseClick(form.PanelLive, Qt::LeftButton);
  EXPECT_TRUE(form.LiveQr->isVisible());

  // After the race and its reset, switched off: nothing listens, no panel.
  QTest::mouseClick(form.bEnd, Qt::LeftButton);
  Doubles().modal.AnswerDialog(mrYes);
  QTest::keyClick(form.bRESET, Qt::Key_Space);
  ASSERT_TRUE(form.bCFG->isEnabled());
  EXPECT_SOON(OnCourse(Json(Get(second, "/api/results.json"))).isEmpty());
  Settings(0);
  EXPECT_TRUE(Refused(second));
  EXPECT_FALSE(form.PanelLive->isVisible());

  // On again; the window keeps it in the key store as the DWORD a crew can edit.
  Settings(second);
  program.reset();
  EXPECT_TRUE(Refused(second)) << "the server ends with the window";
  platform::KeyStore store;
  ASSERT_TRUE(store.OpenKey(SettingsKey(), false));
  EXPECT_EQ(store.ReadInteger("LivePort"), std::optional<int32_t>(second));
}

TEST_F(FormLive, ABusyPortIsSaidInThePanelAndTheStatusLineAndTheRaceGoesOn) {
  QTcpServer other;
  ASSERT_TRUE(other.listen(QHostAddress::Any, 0));
  QTemporaryDir web;
  TFormMain& form = Open();
  Settings(other.serverPort(), web.path());
  const QString said = QStringLiteral("Port %1 ist belegt.").arg(other.serverPort());
  ASSERT_TRUE(form.PanelLive->isVisible());
  EXPECT_TRUE(form.LabLive->text().startsWith("Live-Ergebnisse im Netzwerk aus:")) << form.LabLive->text().toStdString();
  EXPECT_TRUE(form.LabLive->text().contains(said));
  EXPECT_TRUE(form.LabLive->text().endsWith("Live-Ergebnisse als Dateien in\n" + web.path())) << "the folder is still written";
  EXPECT_FALSE(form.LiveQr->isVisible()) << "no address to scan";
  EXPECT_TRUE(form.LabStatus->isVisible());
  EXPECT_TRUE(form.LabStatus->text().contains(said)) << form.LabStatus->text().toStdString();

  // Once the port is free, choosing it again serves, and the race is timed as ever.
  const quint16 port = other.serverPort();
  other.close();
  Settings(0);
  Settings(port);
  Start("1");
  EXPECT_EQ(form.SortGrid1->Cells(pcNumber, 1), "1");
  EXPECT_SOON(OnCourse(Json(Get(port, "/api/results.json"))) == QStringList{"1"});
}

TEST_F(FormLive, ThePublishedFolderFollowsTheRaceWithoutAServer) {
  QTemporaryDir web;
  const QString folder = web.filePath("live");
  TFormMain& form = Open();
  Settings(0, folder);
  ASSERT_TRUE(form.PanelLive->isVisible());
  EXPECT_TRUE(form.LabLive->text().contains(folder));
  EXPECT_FALSE(form.LiveQr->isVisible());
  for (const char* name : {"index.html", "sprecher.html", "api/results.json"})
    EXPECT_SOON(QFile::exists(QDir(folder).filePath(name))) << name;

  // A folder that cannot be made is said in the status line.
  QFile blocker(web.filePath("datei"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  Settings(0, web.filePath("datei/live"));
  EXPECT_SOON(form.LabStatus->isVisible() && form.LabStatus->text().contains("datei/live"));

  // A usable one again: it follows the race.
  Settings(0, folder);
  Start("9");
  const auto published = [&] {
    QFile file(QDir(folder).filePath("api/results.json"));
    return file.open(QIODevice::ReadOnly) ? Json(file.readAll()) : QJsonObject();
  };
  EXPECT_SOON(OnCourse(published()) == QStringList{"9"});
  EXPECT_EQ(published()["events"].toArray().first()["number"].toString(), "9");
}

// No panel ever covers a result: whatever the window shows besides the protocol lies outside
// the grid's visible area, and scrolling reaches the last row, at the smallest, the default and
// a large window, with the code shown and hidden by a click, beside the export's progress.
TEST_F(FormLive, NoPanelCoversTheProtocolAtAnyWindowSize) {
  TFormMain& form = Open();
  Settings(FreePort());
  for (int i = 1; i <= 14; ++i) {
    Start(QString::number(i));
    clock.Advance(1000);
  }
  QSemaphore atRow, release;
  bool held = false;
  auto record = std::make_shared<testing_doubles::SpreadsheetRecord>();
  form.ExcelExport().SetAutomationFactory([&] {
    auto app = std::make_unique<testing_doubles::RecordingSpreadsheet>(record);
    app->beforeCells = [&](int32_t, int32_t) {
      if (!std::exchange(held, true)) {
        atRow.release();
        release.acquire();
      }
      return true;
    };
    return app;
  });

  auto expectNothingOver = [&form](const std::string& where) {
    QWidget* viewport = form.SortGrid1->viewport();
    const QRect results(viewport->mapTo(&form, QPoint(0, 0)), viewport->size());
    for (QWidget* widget : form.findChildren<QWidget*>()) {
      if (!widget->isVisible() || widget->isWindow() || widget == viewport || widget->isAncestorOf(viewport)) continue;
      const QRect place(widget->mapTo(&form, QPoint(0, 0)), widget->size());
      EXPECT_FALSE(place.intersects(results)) << where << ": " << widget->objectName().toStdString() << " over the protocol";
    }
    QScrollBar* scroll = form.SortGrid1->verticalScrollBar();
    scroll->setValue(scroll->maximum());
    const TRect last = form.SortGrid1->CellRect(11, form.SortGrid1->RowCount() - 1);
    EXPECT_FALSE(last.IsEmpty()) << where << ": the last row is within reach";
    EXPECT_LE(last.Bottom, viewport->height()) << where;
    scroll->setValue(0);
  };
  const QSize sizes[] = {{720, 392}, {804, 556}, {1100, 900}, {804, 556}};
  for (const bool exporting : {false, true}) {
    if (exporting) {
      form.ExcelExport().sbExcelClick();
      ASSERT_TRUE(atRow.tryAcquire(1, 10000));
      ASSERT_SOON(form.ExcelExport().ProgressText().startsWith("Übertrage Zeile"));
    }
    for (const QSize& size : sizes) {
      form.resize(size);
      // Whether the code has room is decided once the grid has its new size; the layouts
      // follow on the next turns of the event loop.
      for (int turn = 0; turn < 5; ++turn) QCoreApplication::processEvents();
      const std::string where = std::to_string(size.width()) + "x" + std::to_string(size.height()) +
                                (exporting ? " exporting" : "");
      ASSERT_TRUE(form.PanelLive->isVisible()) << where;
      EXPECT_EQ(form.LiveQr->isVisible(), size.height() > 392) << where << ": the code where there is room for it";
      expectNothingOver(where);
      QTest::mouseClick(form.PanelLive, Qt::LeftButton);  // the code hidden
      QCoreApplication::processEvents();
      EXPECT_FALSE(form.LiveQr->isVisible()) << where;
      expectNothingOver(where + " without the code");
      QTest::mouseClick(form.PanelLive, Qt::LeftButton);
    }
  }
  release.release();
  EXPECT_TRUE(form.ExcelExport().WaitForFinished(10000));
}
