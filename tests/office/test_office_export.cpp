// The export against a real headless LibreOffice with its own profile and pipe: cells read back
// through UNO, the second export attaching to the office the first one started, and an office
// killed in the middle of an export.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <csignal>
#include <cstdio>
#include <functional>
#include <mutex>
#include <sys/types.h>

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include "common/Doubles.h"
#include "grid/SortGrid.h"
#include "io/SpreadsheetExport.h"
#include "race/Protocol.h"

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;
using testing_doubles::Doubles;

namespace {

QString FromOU(const OUString& text) {
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(text.getStr()), text.getLength());
}

// Process ids whose command line mentions marker.
std::vector<pid_t> ProcessesWith(const QString& marker) {
  std::vector<pid_t> pids;
  const QByteArray needle = marker.toUtf8();
  for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool isPid = false;
    const pid_t pid = entry.toInt(&isPid);
    if (!isPid || pid == getpid()) continue;
    QFile cmdline("/proc/" + entry + "/cmdline");
    if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(needle)) pids.push_back(pid);
  }
  return pids;
}

bool CalcInstalled() {
  return QFile::exists(VELTRANO_LO_PROGRAM_DIR "/soffice") && QFile::exists(VELTRANO_LO_PROGRAM_DIR "/libsclo.so");
}

// A headless office of this test alone: own profile, own pipe; killed and waited for at the end.
class PrivateOffice {
public:
  PrivateOffice() : FProfile(QDir::tempPath() + "/veltrano-office-XXXXXX") {
    FOptions.pipeName = QString("veltrano_test_%1_%2").arg(getpid()).arg(QRandomGenerator::global()->generate64(), 0, 16);
    FOptions.extraArguments = {"--headless", "--invisible", "--norestore",
                               "-env:UserInstallation=file://" + FProfile.path()};
    FOptions.hiddenDocuments = true;
    FOptions.startTimeoutMs = 120000;
    StartWatchdog();
  }
  ~PrivateOffice() { Kill(); }

  const platform::SpreadsheetOptions& Options() const { return FOptions; }
  std::vector<pid_t> Processes() const { return ProcessesWith(FProfile.path()); }
  int OfficeProcessCount() const {
    int count = 0;
    for (pid_t pid : Processes()) {
      QFile exe(QString("/proc/%1/comm").arg(pid));
      if (exe.open(QIODevice::ReadOnly) && exe.readAll().trimmed() == "soffice.bin") ++count;
    }
    return count;
  }

  // SIGKILL to every process of this office, then waits (bounded) until they are gone.
  void Kill() {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
      const std::vector<pid_t> pids = Processes();
      if (pids.empty()) return;
      for (pid_t pid : pids) ::kill(pid, SIGKILL);
      if (waited.elapsed() > 20000) {
        ADD_FAILURE() << "office processes survived SIGKILL";
        return;
      }
      QThread::msleep(50);
    }
  }

private:
  // Should this process die without its destructors (a sanitizer abort), a watchdog ends the
  // office and removes the profile once the process is gone, so nothing is left running.
  void StartWatchdog() {
    static const char* script = R"(
      while kill -0 "$1" 2>/dev/null; do sleep 1; done
      for d in /proc/[0-9]*; do
        pid="${d#/proc/}"
        [ "$pid" = "$$" ] && continue
        if tr '\0' '\n' < "$d/cmdline" 2>/dev/null | grep -qF -- "$2"; then kill -9 "$pid" 2>/dev/null; fi
      done
      rm -rf -- "$2")";
    QProcess watchdog;
    watchdog.setProgram("/bin/sh");
    watchdog.setArguments({"-c", script, "veltrano-office-watchdog", QString::number(getpid()), FProfile.path()});
    watchdog.setStandardInputFile(QProcess::nullDevice());
    watchdog.setStandardOutputFile(QProcess::nullDevice());
    watchdog.setStandardErrorFile(QProcess::nullDevice());
    watchdog.startDetached();
  }

  QTemporaryDir FProfile;
  platform::SpreadsheetOptions FOptions;
};

// Forwards to the real automation and records which of attach and start answered.
class SpyAutomation : public platform::SpreadsheetAutomation {
public:
  SpyAutomation(std::unique_ptr<platform::SpreadsheetAutomation> real, QStringList& log,
                std::function<void(int32_t row)> beforeRow)
      : FReal(std::move(real)), FLog(log), FBeforeRow(std::move(beforeRow)) {}
  bool Attach() override { return Note("Attach", FReal->Attach()); }
  bool Start() override { return Note("Start", FReal->Start()); }
  bool Show() override { return FReal->Show(); }
  bool AddWorkbook() override { return FReal->AddWorkbook(); }
  bool SetCell(int32_t row, int32_t col, const QString& value) override { return FReal->SetCell(row, col, value); }
  bool SetCells(int32_t row, int32_t col, bool horizontal, const QStringList& values) override {
    if (FBeforeRow) FBeforeRow(row);
    return FReal->SetCells(row, col, horizontal, values);
  }
  bool SelectAll() override { return FReal->SelectAll(); }
  bool FitColumns() override { return FReal->FitColumns(); }
  QString ErrorText() const override { return FReal->ErrorText(); }
  void Abort() override { FReal->Abort(); }

private:
  bool Note(const char* call, bool result) {
    FLog << QString("%1:%2").arg(call, result ? "ok" : "failed");
    return result;
  }
  std::unique_ptr<platform::SpreadsheetAutomation> FReal;
  QStringList& FLog;
  std::function<void(int32_t)> FBeforeRow;
};

// A cell as the office holds it.
struct CellValue {
  css::table::CellContentType type;
  double number;
  QString text;
};

// Reads the office's spreadsheets over a connection of its own.
class OfficeReader {
public:
  explicit OfficeReader(const QString& pipe) {
    rtl::Bootstrap::set(OUString("URE_BOOTSTRAP"), OUString("vnd.sun.star.pathname:" VELTRANO_LO_PROGRAM_DIR "/fundamentalrc"));
    Reference<css::uno::XComponentContext> local = cppu::defaultBootstrap_InitialComponentContext();
    const QByteArray url = ("pipe,name=" + pipe).toUtf8();
    auto connection = css::connection::Connector::create(local)->connect(OUString::fromUtf8(url.constData()));
    FBridge = css::bridge::BridgeFactory::create(local)->createBridge(OUString(), OUString("urp"), connection, nullptr);
    Reference<css::uno::XComponentContext> remote(FBridge->getInstance(OUString("StarOffice.ComponentContext")),
                                                  UNO_QUERY_THROW);
    FDesktop = css::frame::Desktop::create(remote);
  }
  ~OfficeReader() {
    FDesktop.clear();
    Reference<css::lang::XComponent>(FBridge, UNO_QUERY_THROW)->dispose();
  }

  std::vector<Reference<css::sheet::XSpreadsheetDocument>> Workbooks() const {
    std::vector<Reference<css::sheet::XSpreadsheetDocument>> books;
    Reference<css::container::XEnumeration> all = FDesktop->getComponents()->createEnumeration();
    while (all->hasMoreElements()) {
      Reference<css::sheet::XSpreadsheetDocument> book(all->nextElement(), UNO_QUERY);
      if (book.is()) books.push_back(book);
    }
    return books;
  }

  static CellValue Cell(const Reference<css::sheet::XSpreadsheetDocument>& book, int32_t row, int32_t col) {
    Reference<css::sheet::XSpreadsheet> sheet(
        Reference<css::container::XIndexAccess>(book->getSheets(), UNO_QUERY_THROW)->getByIndex(0), UNO_QUERY_THROW);
    Reference<css::table::XCell> cell = sheet->getCellByPosition(col - 1, row - 1);
    return {cell->getType(), cell->getValue(), FromOU(Reference<css::text::XText>(cell, UNO_QUERY_THROW)->getString())};
  }

private:
  Reference<css::bridge::XBridge> FBridge;
  Reference<css::frame::XDesktop2> FDesktop;
};

// A protocol of finishers with umlauts in their names, plus the empty entry row.
void FillProtocol(TSortGrid& grid, int riders) {
  TProtocol::SetUpGrid(grid);
  grid.SetRowCount(riders + 2);
  for (int32_t c = 0; c < kProtocolColumns; ++c) grid.SetCells(c, 0, ProtocolHeader(c));
  const QStringList names{"Jürgen Größer", "Ännchen Müller-Lüdenscheidt", "Ölaf Straße", "=SUMME(1;2)"};
  for (int r = 1; r <= riders; ++r) {
    const QStringList row{r == riders ? "-" : QString::number(r), QString::number(100 + r),
                          names[r % names.size()] + (r % names.size() == 3 ? QString() : QString(" %1").arg(r)),
                          r % 2 ? "M40" : "W30", "1.05,2", "1.04,9", "59,9", "1.06,0", "1.05,5",
                          "5", r % 3 ? "35,2" : "9,8", "5.21,5", "0", "321500"};
    for (int32_t c = 0; c < kProtocolColumns; ++c) grid.SetCells(c, r, row[c]);
  }
}

// The office's own exceptions carry their text in Message, which gtest cannot show.
template <typename F>
void ReportingUnoErrors(F&& body) {
  try {
    body();
  } catch (const css::uno::Exception& e) {
    ADD_FAILURE() << "UNO exception: " << FromOU(e.Message).toStdString();
  }
}

struct OfficeExport : ::testing::Test {
  void SetUp() override {
    if (!CalcInstalled())
      GTEST_SKIP() << "LibreOffice Calc is not installed here (" VELTRANO_LO_PROGRAM_DIR "): no office to export to";
  }

  TAutomationFactory Factory(std::function<void(int32_t)> beforeRow = {}) {
    return [this, beforeRow] {
      auto real = platform::LoadSpreadsheetAutomation(office.Options(), VELTRANO_OFFICE_MODULE);
      EXPECT_TRUE(real) << "office module not loadable: " VELTRANO_OFFICE_MODULE;
      if (!real) return std::unique_ptr<platform::SpreadsheetAutomation>();
      return std::unique_ptr<platform::SpreadsheetAutomation>(new SpyAutomation(std::move(real), log, beforeRow));
    };
  }

  PrivateOffice office;
  QStringList log;
  QWidget window;
};

TEST_F(OfficeExport, TwentyRidersArriveAsNumbersAndTextsAndTheSecondExportAttaches) {
  TSortGrid grid;
  FillProtocol(grid, 20);
  TSpreadsheetExport exporter(grid, &window, Factory());

  QElapsedTimer first;
  first.start();
  exporter.sbExcelClick();
  ASSERT_TRUE(exporter.WaitForFinished(150000)) << "first export did not end";
  const qint64 firstMs = first.elapsed();
  EXPECT_EQ(log, QStringList({"Attach:failed", "Start:ok"}));
  EXPECT_TRUE(exporter.LastOutcome().Connected);
  EXPECT_EQ(exporter.LastOutcome().RowsWritten, 21);
  EXPECT_EQ(exporter.LastOutcome().Error, "");
  EXPECT_TRUE(Doubles().modal.History().empty());

  // One reading connection for the whole test: the references it hands out live on it.
  std::unique_ptr<OfficeReader> reader;
  std::vector<Reference<css::sheet::XSpreadsheetDocument>> before;
  ReportingUnoErrors([&] {
    reader = std::make_unique<OfficeReader>(office.Options().pipeName);
    before = reader->Workbooks();
    ASSERT_EQ(before.size(), 1u);
    const auto& book = before[0];
    using css::table::CellContentType_TEXT;
    using css::table::CellContentType_VALUE;
    using css::table::CellContentType_EMPTY;
    EXPECT_EQ(OfficeReader::Cell(book, 1, 1).text, "Platz");
    EXPECT_EQ(OfficeReader::Cell(book, 1, 12).text, "Zeit");
    EXPECT_EQ(OfficeReader::Cell(book, 1, 13).type, CellContentType_EMPTY);  // hidden columns stay behind
    // Rider 1: place and number as numbers, the name with its umlauts, times as text.
    EXPECT_EQ(OfficeReader::Cell(book, 2, 1).type, CellContentType_VALUE);
    EXPECT_EQ(OfficeReader::Cell(book, 2, 2).number, 101.0);
    EXPECT_EQ(OfficeReader::Cell(book, 2, 3).text, "Ännchen Müller-Lüdenscheidt 1");
    EXPECT_EQ(OfficeReader::Cell(book, 2, 5).type, CellContentType_TEXT);
    EXPECT_EQ(OfficeReader::Cell(book, 2, 5).text, "1.05,2");
    EXPECT_EQ(OfficeReader::Cell(book, 2, 12).text, "5.21,5");
    EXPECT_EQ(OfficeReader::Cell(book, 2, 12).type, CellContentType_TEXT);
    // Speeds become numbers through the comma rule, whatever the office's language.
    EXPECT_EQ(OfficeReader::Cell(book, 2, 11).type, CellContentType_VALUE);
    EXPECT_DOUBLE_EQ(OfficeReader::Cell(book, 2, 11).number, 35.2);
    EXPECT_DOUBLE_EQ(OfficeReader::Cell(book, 4, 11).number, 9.8);
    // A short time is caught by the comma rule as well, exactly as the rule says.
    EXPECT_DOUBLE_EQ(OfficeReader::Cell(book, 2, 7).number, 59.9);
    EXPECT_EQ(OfficeReader::Cell(book, 5, 3).text, "Jürgen Größer 4");
    EXPECT_EQ(OfficeReader::Cell(book, 7, 3).text, "Ölaf Straße 6");
    // A name that looks like a formula is only text.
    EXPECT_EQ(OfficeReader::Cell(book, 4, 3).type, CellContentType_TEXT);
    EXPECT_EQ(OfficeReader::Cell(book, 4, 3).text, "=SUMME(1;2)");
    // An unranked rider's "-" is text; the empty entry row is not transferred.
    EXPECT_EQ(OfficeReader::Cell(book, 21, 1).text, "-");
    EXPECT_EQ(OfficeReader::Cell(book, 21, 1).type, CellContentType_TEXT);
    EXPECT_EQ(OfficeReader::Cell(book, 22, 2).type, CellContentType_EMPTY);
  });

  // The second export attaches to the office the first one started.
  log.clear();
  grid.SetCells(pcName, 1, "Zweiter Durchgang");
  QElapsedTimer second;
  second.start();
  exporter.sbExcelClick();
  ASSERT_TRUE(exporter.WaitForFinished(60000)) << "second export did not end";
  const qint64 secondMs = second.elapsed();
  EXPECT_EQ(log, QStringList({"Attach:ok"}));
  EXPECT_EQ(office.OfficeProcessCount(), 1);
  EXPECT_EQ(exporter.LastOutcome().RowsWritten, 21);
  ReportingUnoErrors([&] {
    ASSERT_TRUE(reader);
    const auto books = reader->Workbooks();
    ASSERT_EQ(books.size(), 2u);
    // The new workbook starts at row 1 again.
    const auto& fresh = books[0] == before[0] ? books[1] : books[0];
    EXPECT_EQ(OfficeReader::Cell(fresh, 1, 1).text, "Platz");
    EXPECT_EQ(OfficeReader::Cell(fresh, 2, 3).text, "Zweiter Durchgang");
    EXPECT_EQ(OfficeReader::Cell(before[0], 2, 3).text, "Ännchen Müller-Lüdenscheidt 1");
  });
  before.clear();
  reader.reset();
  std::fprintf(stderr, "first export (office started): %lld ms, second export (attached): %lld ms\n",
               static_cast<long long>(firstMs), static_cast<long long>(secondMs));
}

TEST_F(OfficeExport, AnOfficeKilledMidExportGivesTheErrorBoxAndTheExportEnds) {
  TSortGrid grid;
  FillProtocol(grid, 200);
  // Right before worksheet row 60 the office dies.
  TSpreadsheetExport exporter(grid, &window, Factory([this](int32_t row) {
    if (row == 60) office.Kill();
  }));
  Doubles().modal.AnswerMessage(mrOk);
  exporter.sbExcelClick();
  ASSERT_TRUE(exporter.WaitForFinished(150000)) << "export did not end after the office died";
  EXPECT_TRUE(exporter.LastOutcome().Connected);
  EXPECT_EQ(exporter.LastOutcome().RowsWritten, 59);
  EXPECT_FALSE(exporter.LastOutcome().Error.isEmpty());
  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_EQ(Doubles().modal.History()[0].icon, MsgIcon::Error);
  EXPECT_EQ(Doubles().modal.History()[0].text, exporter.LastOutcome().Error);
  EXPECT_FALSE(exporter.Running());
}

}  // namespace
