// The spreadsheet export of a 500-rider protocol, end to end from the click to the report of its
// end, while a 10 ms timer stands in for the race clock on the window thread: its largest gap
// between two ticks shows whether the race stays alive during the export. Once against an
// automation that costs nothing (the export's own share), once against a private headless
// LibreOffice Calc where the office module is built and the office installed.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <csignal>
#include <unistd.h>

#include "grid/SortGrid.h"
#include "io/SpreadsheetExport.h"
#include "race/Protocol.h"

namespace {

// Accepts every call at once.
class NullSpreadsheet : public platform::SpreadsheetAutomation {
public:
  bool Attach() override { return true; }
  bool Start() override { return true; }
  bool Show() override { return true; }
  bool AddWorkbook() override { return true; }
  bool SetCell(int32_t, int32_t, const QString& value) override {
    benchmark::DoNotOptimize(value.size());
    return true;
  }
  bool SelectAll() override { return true; }
  bool FitColumns() override { return true; }
  QString ErrorText() const override { return {}; }
  void Abort() override {}
};

void FillProtocol(TSortGrid& grid, int riders) {
  TProtocol::SetUpGrid(grid);
  grid.SetRowCount(riders + 2);
  for (int32_t c = 0; c < kProtocolColumns; ++c) grid.SetCells(c, 0, ProtocolHeader(c));
  for (int r = 1; r <= riders; ++r) {
    const QStringList row{QString::number(r), QString::number(100 + r), QString("Fahrerin Müller %1").arg(r),
                          r % 2 ? "M40" : "W30", "13.05,2", "13.04,9", "12.59,9", "13.06,0", "13.05,5",
                          "5", "36,8", "1.05.21,5", "0", "3921500"};
    for (int32_t c = 0; c < kProtocolColumns; ++c) grid.SetCells(c, r, row[c]);
  }
}

// One export from the click until it has been reported; the largest gap between two ticks of a
// 10 ms timer on this thread meanwhile.
double ExportOnce(TSpreadsheetExport& exporter) {
  QElapsedTimer since;
  since.start();
  double maxGap = 0;
  QTimer clock;
  clock.setTimerType(Qt::PreciseTimer);
  clock.setInterval(10);
  QObject::connect(&clock, &QTimer::timeout, [&] {
    maxGap = std::max(maxGap, since.nsecsElapsed() / 1e6);
    since.restart();
  });
  clock.start();
  since.restart();
  exporter.sbExcelClick();
  if (!exporter.WaitForFinished(600000)) std::abort();
  maxGap = std::max(maxGap, since.nsecsElapsed() / 1e6);
  return maxGap;
}

void Report(benchmark::State& state, double maxGap, int rows) {
  state.counters["max_tick_gap_ms"] = maxGap;
  state.counters["rows"] = rows;
}

void ExportToNullSpreadsheet(benchmark::State& state) {
  TSortGrid grid;
  FillProtocol(grid, static_cast<int>(state.range(0)));
  QWidget window;
  TSpreadsheetExport exporter(grid, &window, [] { return std::make_unique<NullSpreadsheet>(); });
  double maxGap = 0;
  for (auto _ : state) maxGap = std::max(maxGap, ExportOnce(exporter));
  Report(state, maxGap, exporter.LastOutcome().RowsWritten);
}
BENCHMARK(ExportToNullSpreadsheet)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef VELTRANO_OFFICE_MODULE
// A headless office of the benchmark alone, ended with its processes at the end.
class PrivateOffice {
public:
  PrivateOffice() : profile(QDir::tempPath() + "/veltrano-bench-office-XXXXXX") {
    options.pipeName = QString("veltrano_bench_%1_%2").arg(getpid()).arg(QRandomGenerator::global()->generate(), 0, 16);
    options.extraArguments = {"--headless", "--invisible", "-env:UserInstallation=file://" + profile.path()};
    options.hiddenDocuments = true;
    options.startTimeoutMs = 120000;
  }
  ~PrivateOffice() {
    for (int round = 0; round < 200; ++round) {
      bool any = false;
      for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const pid_t pid = entry.toInt(&isPid);
        QFile cmdline("/proc/" + entry + "/cmdline");
        if (isPid && pid != getpid() && cmdline.open(QIODevice::ReadOnly) &&
            cmdline.readAll().contains(profile.path().toUtf8())) {
          ::kill(pid, SIGKILL);
          any = true;
        }
      }
      if (!any) return;
      QThread::msleep(50);
    }
  }
  QTemporaryDir profile;
  platform::SpreadsheetOptions options;
};

void ExportToLibreOffice(benchmark::State& state) {
  if (!QFile::exists(VELTRANO_LO_PROGRAM_DIR "/libsclo.so")) {
    state.SkipWithError("LibreOffice Calc is not installed");
    return;
  }
  PrivateOffice office;
  TSortGrid grid;
  FillProtocol(grid, static_cast<int>(state.range(0)));
  QWidget window;
  TSpreadsheetExport exporter(grid, &window, [&office] {
    return platform::LoadSpreadsheetAutomation(office.options, VELTRANO_OFFICE_MODULE);
  });
  // The office's start is not the export's cost: the first export starts it, untimed.
  ExportOnce(exporter);
  if (!exporter.LastOutcome().Error.isEmpty() || !exporter.LastOutcome().Connected) {
    state.SkipWithError("the office did not take the export");
    return;
  }
  double maxGap = 0;
  for (auto _ : state) maxGap = std::max(maxGap, ExportOnce(exporter));
  Report(state, maxGap, exporter.LastOutcome().RowsWritten);
}
BENCHMARK(ExportToLibreOffice)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
#endif

}  // namespace
