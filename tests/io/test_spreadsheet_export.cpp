#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSemaphore>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>

#include "common/Doubles.h"
#include "grid/SortGrid.h"
#include "io/Excel.h"
#include "io/RecordingSpreadsheet.h"
#include "io/SpreadsheetExport.h"
#include "race/Protocol.h"

namespace {

using testing_doubles::Doubles;
using testing_doubles::RecordingSpreadsheet;
using testing_doubles::SpreadsheetRecord;
using Cells = QMap<QPair<int32_t, int32_t>, QString>;

// Builds the doubles the export asks for; configure() adjusts each one as it is made.
struct SpreadsheetFactory {
  std::shared_ptr<SpreadsheetRecord> record = std::make_shared<SpreadsheetRecord>();
  std::function<void(RecordingSpreadsheet&)> configure;
  bool available = true;  // false: no spreadsheet automation on this machine
  std::atomic<int> made{0};

  TAutomationFactory Make() {
    return [this]() -> std::unique_ptr<platform::SpreadsheetAutomation> {
      ++made;
      if (!available) return nullptr;
      auto app = std::make_unique<RecordingSpreadsheet>(record);
      if (configure) configure(*app);
      return app;
    };
  }
};

// A protocol grid with its header and the rows given (the visible columns; the hidden ones are
// filled with ticks so that a leak of them would show).
void Fill(TSortGrid& grid, const QList<QStringList>& rows) {
  TProtocol::SetUpGrid(grid);
  grid.SetRowCount(static_cast<int32_t>(rows.size()) + 1);
  for (int32_t c = 0; c < kProtocolColumns; ++c) grid.SetCells(c, 0, ProtocolHeader(c));
  for (int32_t r = 0; r < rows.size(); ++r) {
    for (int32_t c = 0; c < rows[r].size() && c < pcLastLapTick; ++c) grid.SetCells(c, r + 1, rows[r][c]);
    if (!rows[r].value(pcNumber).isEmpty()) {
      grid.SetCells(pcLastLapTick, r + 1, "0");
      grid.SetCells(pcStartTick, r + 1, "321500");
    }
  }
}

const QStringList kRider1{"1", "7", "Jürgen Groß", "M40", "1.05,2", "1.04,9", "59,9", "1.06,0",
                          "1.05,5", "5", "35,2", "5.21,5"};
const QStringList kRider2{"-", "12", "Anna Öz", "W30", "", "", "", "1.10,0", "1.09,8", "2", "9,8", ""};
const QStringList kEntry{"-"};

// The header as it arrives: twelve titles, the hidden columns left out.
Cells HeaderCells(int32_t row = 1) {
  Cells cells;
  for (int32_t c = 0; c < pcLastLapTick; ++c) cells[{row, c + 1}] = ProtocolHeader(c);
  return cells;
}

TEST(SpreadsheetRules, CommaBecomesPointOnlyInTextsShorterThanFive) {
  EXPECT_EQ(SpreadsheetValue("9,8"), "9.8");
  EXPECT_EQ(SpreadsheetValue("35,2"), "35.2");
  EXPECT_EQ(SpreadsheetValue("35,25"), "35,25");    // five characters keep their comma
  EXPECT_EQ(SpreadsheetValue("1.05,2"), "1.05,2");  // times stay text
  EXPECT_EQ(SpreadsheetValue(",,"), ".,");          // only the first comma
  EXPECT_EQ(SpreadsheetValue("Öz,A"), "Öz.A");      // characters, not bytes
  EXPECT_EQ(SpreadsheetValue(""), "");
  EXPECT_EQ(SpreadsheetValue("-"), "-");
}

TEST(SpreadsheetRules, LastRowWithoutStartNumberIsLeftOutAndHiddenColumnsNeverGo) {
  TSortGrid grid;
  Fill(grid, {{"-"}});  // the header and the empty entry row
  EXPECT_EQ(SpreadsheetRows(grid), QVector<QStringList>({HeaderCells().values()}));

  Fill(grid, {kRider1, kRider2, kEntry});
  QVector<QStringList> rows = SpreadsheetRows(grid);
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[1].size(), 12);
  EXPECT_EQ(rows[1][pcSpeed], "35.2");
  EXPECT_EQ(rows[1][pcTime], "5.21,5");
  EXPECT_EQ(rows[2][pcSpeed], "9.8");
  EXPECT_EQ(rows[2][pcLap5], "");

  // A last row with a start number is a rider and goes; a middle row without one goes too.
  Fill(grid, {{"-", "", "Ohne Nummer"}, kRider1});
  rows = SpreadsheetRows(grid);
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[1][pcName], "Ohne Nummer");
}

TEST(ExcelClient, ConnectAttachesOrStartsAndShowsAndFailsSilentlyWithoutApplication) {
  struct Case {
    bool excelNew, attach, start, available;
    bool connected;
    QStringList calls;
  };
  const Case cases[] = {
      {false, true, true, true, true, {"Attach", "Show"}},
      {false, false, true, true, true, {"Attach failed", "Start", "Show"}},
      {true, true, true, true, true, {"Start", "Show"}},
      {true, true, false, true, false, {"Start failed"}},
      {false, false, false, true, false, {"Attach failed", "Start failed"}},
      {false, true, true, false, false, {}},
  };
  for (const Case& c : cases) {
    SpreadsheetFactory factory;
    factory.available = c.available;
    factory.configure = [&](RecordingSpreadsheet& app) {
      app.attachWorks = c.attach;
      app.startWorks = c.start;
    };
    TExcel excel(factory.Make());
    EXPECT_FALSE(excel.ExcelNew());
    excel.SetExcelNew(c.excelNew);
    EXPECT_EQ(excel.Connect(), c.connected) << c.calls.join(' ').toStdString();
    EXPECT_EQ(factory.record->calls, c.calls);
    EXPECT_EQ(excel.ExcelApp() != nullptr, c.connected);
    EXPECT_EQ(excel.AutomationMissing(), !c.available);
  }
}

// Where the office module is not installed (it is never beside a test executable) the real
// client finds no application and says so without a fault.
TEST(ExcelClient, WithoutTheOfficeModuleConnectAnswersFalse) {
  EXPECT_EQ(platform::LoadSpreadsheetAutomation({}, "/nonexistent/libveltrano_office.so"), nullptr);
  TExcel excel;
  EXPECT_FALSE(excel.Connect());
  EXPECT_TRUE(excel.AutomationMissing());
  EXPECT_EQ(excel.ExcelApp(), nullptr);
}

TEST(ExcelClient, RowsGoAlongLinesOrDownColumnsAndEveryRowAdvancesTheLine) {
  SpreadsheetFactory factory;
  TExcel excel(factory.Make());
  ASSERT_TRUE(excel.Connect());
  excel.Setline(7);
  excel.NewWorkbook();
  EXPECT_EQ(excel.line(), 1);
  EXPECT_TRUE(excel.Horizontal());

  excel.RowValues = QStringList{"a", "", "c"};
  excel.WriteRow();
  excel.RowValues.clear();
  excel.WriteRow();  // nothing written, the line still advances
  EXPECT_EQ(excel.line(), 3);
  excel.SetHorizontal(false);
  excel.RowValues = QStringList{"x", "y"};
  excel.WriteRow();
  EXPECT_EQ(excel.line(), 4);

  // An empty cell is written as empty text, not skipped.
  Cells want;
  want[{1, 1}] = "a";
  want[{1, 2}] = "";
  want[{1, 3}] = "x";  // column 3 down from row 1 overwrote the third value of line 1
  want[{2, 3}] = "y";
  EXPECT_EQ(factory.record->workbooks.value(0), want);
  EXPECT_EQ(factory.record->calls.mid(2), QStringList({"AddWorkbook", "SetCells 1,1 H", "SetCells 1,3 V"}));
  excel.AutoFitColumns();
  EXPECT_EQ(factory.record->calls.mid(5), QStringList({"SelectAll", "FitColumns"}));
}

TEST(ExcelClient, FailedCallRaisesTheApplicationsTextOrAGermanOneWhenItHasNone) {
  SpreadsheetFactory factory;
  QString failText = "Automatisierungsfehler";
  factory.configure = [&](RecordingSpreadsheet& app) {
    app.beforeCells = [](int32_t, int32_t) { return false; };
    app.failText = failText;
  };
  for (const QString& text : {QString("Automatisierungsfehler"), QString()}) {
    failText = text;
    TExcel excel(factory.Make());
    ASSERT_TRUE(excel.Connect());
    excel.NewWorkbook();
    excel.RowValues = QStringList{"1"};
    try {
      excel.WriteRow();
      ADD_FAILURE() << "no error raised";
    } catch (const EAutomationError& e) {
      EXPECT_EQ(e.Text(), text.isEmpty() ? "Die Verbindung zur Tabellenkalkulation ist abgebrochen." : text);
    }
    EXPECT_EQ(excel.line(), 1);
  }
}

// The command through its own thread, with a real window and the event loop running.
struct ExportCommand : ::testing::Test {
  TSortGrid grid;
  QWidget window;
  SpreadsheetFactory factory;

  void SetUp() override { window.resize(600, 400); }

  bool Finish(TSpreadsheetExport& exporter) { return exporter.WaitForFinished(10000); }
};

TEST_F(ExportCommand, TransfersHeaderAndRidersThenFitsAndTwoExportsGiveTwoWorkbooksFromRowOne) {
  Fill(grid, {kRider1, kRider2, kEntry});
  TSpreadsheetExport exporter(grid, &window, factory.Make());
  int finished = 0;
  exporter.OnFinished = [&](const TExportOutcome&) { ++finished; };

  exporter.sbExcelClick();
  ASSERT_TRUE(Finish(exporter));
  grid.SetCells(pcName, 1, "Zweiter");
  exporter.sbExcelClick();
  ASSERT_TRUE(Finish(exporter));
  EXPECT_EQ(finished, 2);

  ASSERT_EQ(factory.record->workbooks.size(), 2);
  for (int book = 0; book < 2; ++book) {
    const Cells& cells = factory.record->workbooks[book];
    EXPECT_EQ(cells.size(), 36);  // 3 rows of 12
    for (auto [key, text] : HeaderCells().asKeyValueRange()) EXPECT_EQ(cells.value(key), text);
    EXPECT_EQ(cells.value({2, 3}), book == 0 ? "Jürgen Groß" : "Zweiter");
    EXPECT_EQ(cells.value({2, 11}), "35.2");
    EXPECT_EQ(cells.value({2, 12}), "5.21,5");
    EXPECT_EQ(cells.value({3, 11}), "9.8");
    EXPECT_FALSE(cells.contains({4, 1}));   // the entry row
    EXPECT_FALSE(cells.contains({2, 13}));  // the hidden columns
  }
  const QStringList calls = factory.record->calls;
  EXPECT_EQ(calls.mid(0, 3), QStringList({"Attach", "Show", "AddWorkbook"}));
  EXPECT_EQ(calls.mid(6, 5), QStringList({"SelectAll", "FitColumns", "Attach", "Show", "AddWorkbook"}));
  EXPECT_EQ(exporter.LastOutcome().RowsWritten, 3);
  EXPECT_TRUE(Doubles().modal.History().empty());
  EXPECT_EQ(exporter.ProgressText(), "");
}

// Without the module the user is told which package to install; with the module but no
// application answering the command ends silently, as before.
TEST_F(ExportCommand, WithoutModuleTheBoxNamesThePackageWithoutApplicationNothingIsShown) {
  Fill(grid, {kRider1, kEntry});
  for (bool moduleMissing : {true, false}) {
    factory.available = !moduleMissing;
    factory.configure = [](RecordingSpreadsheet& app) {
      app.attachWorks = false;
      app.startWorks = false;
    };
    Doubles().modal.Reset();
    if (moduleMissing) Doubles().modal.AnswerMessage(mrOk);
    TSpreadsheetExport exporter(grid, &window, factory.Make());
    exporter.sbExcelClick();
    ASSERT_TRUE(Finish(exporter));
    EXPECT_FALSE(exporter.LastOutcome().Connected);
    EXPECT_EQ(exporter.LastOutcome().AutomationMissing, moduleMissing);
    EXPECT_EQ(exporter.LastOutcome().Error, "");
    if (moduleMissing) {
      ASSERT_EQ(Doubles().modal.History().size(), 1u);
      EXPECT_EQ(Doubles().modal.History()[0].text,
                "Für die Übertragung in eine Tabelle fehlt das Paket veltrano-calc.\n"
                "Installieren mit: sudo apt install veltrano-calc");
      EXPECT_EQ(Doubles().modal.History()[0].icon, MsgIcon::Information);
    } else {
      EXPECT_TRUE(Doubles().modal.History().empty());  // the scripted modal fails on any box
    }
  }
  EXPECT_TRUE(factory.record->workbooks.isEmpty());
}

TEST_F(ExportCommand, FailedCallShowsTheErrorBoxAndTheRowsWrittenStay) {
  Fill(grid, {kRider1, kRider2, kEntry});
  factory.configure = [](RecordingSpreadsheet& app) {
    app.beforeCells = [](int32_t row, int32_t) { return row != 3; };
  };
  TSpreadsheetExport exporter(grid, &window, factory.Make());
  Doubles().modal.AnswerMessage(mrOk);
  exporter.sbExcelClick();
  ASSERT_TRUE(Finish(exporter));

  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_EQ(Doubles().modal.History()[0].text, "Der Server hat eine Ausnahme ausgelöst.");
  EXPECT_EQ(Doubles().modal.History()[0].icon, MsgIcon::Error);
  EXPECT_EQ(Doubles().modal.History()[0].caption, "Veltrano");
  EXPECT_EQ(factory.record->workbooks.value(0).size(), 24);  // header and rider 1
  EXPECT_FALSE(factory.record->calls.contains("FitColumns"));
  EXPECT_EQ(exporter.LastOutcome().RowsWritten, 2);
}

// While the application is slow the window stays alive: timers fire, the progress shows, a
// second click does nothing, and the transfer works on the protocol as it was at the click.
TEST_F(ExportCommand, RunsOffTheWindowThreadOnASnapshotWithProgressAndIgnoresASecondClick) {
  Fill(grid, {kRider1, kRider2, kEntry});
  QSemaphore atRow2, release;
  factory.configure = [&](RecordingSpreadsheet& app) {
    app.beforeCells = [&](int32_t row, int32_t) {
      if (row == 2) {
        atRow2.release();
        release.acquire();
      }
      return true;
    };
  };
  TSpreadsheetExport exporter(grid, &window, factory.Make());
  window.show();
  exporter.sbExcelClick();

  ASSERT_TRUE(atRow2.tryAcquire(1, 10000));
  int ticks = 0;
  QTimer clock;
  clock.setInterval(10);
  QObject::connect(&clock, &QTimer::timeout, [&] { ++ticks; });
  clock.start();
  QElapsedTimer waited;
  waited.start();
  while ((ticks < 5 || exporter.ProgressText() != "Übertrage Zeile 2 von 3") && waited.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_GE(ticks, 5);
  EXPECT_EQ(exporter.ProgressText(), "Übertrage Zeile 2 von 3");
  EXPECT_TRUE(exporter.Running());
  QWidget* panel = window.findChild<QWidget*>("ExcelProgress");
  ASSERT_TRUE(panel);
  EXPECT_TRUE(panel->isVisible());
  EXPECT_FALSE(panel->hasFocus());

  exporter.sbExcelClick();  // ignored while the first runs
  grid.SetCells(pcName, 2, "Geändert");
  release.release();
  ASSERT_TRUE(Finish(exporter));

  EXPECT_EQ(factory.made, 1);
  EXPECT_EQ(factory.record->workbooks.size(), 1);
  EXPECT_EQ(factory.record->workbooks[0].value({3, 3}), "Anna Öz");
  EXPECT_FALSE(panel->isVisible());
}

// Closing the window while the application hangs aborts the connection instead of waiting on it.
TEST_F(ExportCommand, DestroyingTheCommandAbortsAHangingApplication) {
  Fill(grid, {kRider1, kRider2, kEntry});
  QSemaphore inCall, unblock;
  factory.configure = [&](RecordingSpreadsheet& app) {
    app.beforeCells = [&](int32_t, int32_t) {
      inCall.release();
      unblock.acquire();  // hangs until aborted
      return false;
    };
    app.onAbort = [&] { unblock.release(); };
  };
  auto exporter = std::make_unique<TSpreadsheetExport>(grid, &window, factory.Make());
  exporter->sbExcelClick();
  ASSERT_TRUE(inCall.tryAcquire(1, 10000));
  QElapsedTimer closing;
  closing.start();
  exporter.reset();
  EXPECT_LT(closing.elapsed(), 5000);
  EXPECT_EQ(factory.record->aborts, 1);
  EXPECT_TRUE(Doubles().modal.History().empty());  // no box from a window that is closing
}

// A whole race through the protocol's own operations arrives as the spreadsheet should read it.
TEST(ExportOfARace, FinisherWithFiveLapsArrivesWithNumericSpeedAndTextTimes) {
  platform::ManualClock& clock = Doubles().clock;
  TSortGrid grid;
  grid.resize(800, 300);
  TProtocol protocol(grid, [](int k) { return 1000 * k; });
  protocol.StartUp();
  QString number = "7", name = "Jürgen Groß", category = "M40";
  protocol.StartNumberField = [&] { return number; };
  protocol.NameField = [&] { return name; };
  protocol.CategoryField = [&] { return category; };
  clock.Set(5'000'000);
  protocol.RecordStart(clock.Now(), number, name, category);
  grid.SetRow(1);
  for (int lap = 1; lap <= 4; ++lap) {
    clock.Set(5'000'000 + 90'000 * lap);
    grid.SetRow(1);
    protocol.RecordLap(clock.Now());
  }
  clock.Set(5'000'000 + 450'000);
  grid.SetRow(1);
  protocol.StopRider(clock.Now());

  const QVector<QStringList> rows = SpreadsheetRows(grid);
  ASSERT_EQ(rows.size(), 2);  // the entry row kept last is not transferred
  EXPECT_EQ(rows[1], QStringList({"1", "7", "Jürgen Groß", "M40", "1.30,0", "1.30,0", "1.30,0", "1.30,0",
                                  "1.30,0", "5", "40.0", "7.30,0"}));
}

}  // namespace
