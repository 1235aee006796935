#include "io/SpreadsheetExport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QWidget>

#include "grid/MyGrids.h"
#include "platform/Modal.h"

namespace {
// Start-number column; a last row without one is the empty entry row and stays behind.
constexpr int32_t kNumberColumn = 1;
// The two hidden columns at the end are not transferred.
constexpr int32_t kHiddenColumns = 2;
}  // namespace

QString SpreadsheetValue(const QString& cell) {
  QString value = cell;
  const qsizetype comma = value.indexOf(u',');
  if (comma >= 0 && value.size() < 5) value[comma] = u'.';
  return value;
}

QVector<QStringList> SpreadsheetRows(const TMyStringGrid& grid) {
  int32_t n = grid.RowCount();
  if (n > 0 && grid.Cells(kNumberColumn, n - 1).isEmpty()) --n;
  const int32_t cols = grid.ColCount() - kHiddenColumns;
  QVector<QStringList> rows;
  rows.reserve(n);
  for (int32_t r = 0; r < n; ++r) {
    QStringList values;
    values.reserve(cols > 0 ? cols : 0);
    for (int32_t c = 0; c < cols; ++c) values << SpreadsheetValue(grid.Cells(c, r));
    rows << values;
  }
  return rows;
}

TExportOutcome ExportRows(TExcel& excel, const QVector<QStringList>& rows,
                          const std::function<void(int32_t, int32_t)>& progress,
                          const std::function<bool()>& stop) {
  TExportOutcome outcome;
  try {
    outcome.Connected = excel.Connect();
    outcome.AutomationMissing = excel.AutomationMissing();
    if (!outcome.Connected) return outcome;
    excel.NewWorkbook();
    const auto n = static_cast<int32_t>(rows.size());
    for (int32_t k = 0; k < n; ++k) {
      if (stop && stop()) return outcome;
      if (progress) progress(k + 1, n);
      excel.RowValues = rows[k];
      excel.WriteRow();
      ++outcome.RowsWritten;
    }
    excel.AutoFitColumns();
  } catch (const EAutomationError& e) {
    outcome.Error = e.Text();
  } catch (const std::exception& e) {
    outcome.Error = QString::fromLocal8Bit(e.what());
  }
  return outcome;
}

TSpreadsheetExport::TSpreadsheetExport(const TMyStringGrid& grid, QWidget* parent, TAutomationFactory factory)
    : FGrid(grid), FParent(parent), FFactory(std::move(factory)) {
  if (!FFactory) FFactory = [] { return platform::LoadSpreadsheetAutomation(); };
}

TSpreadsheetExport::~TSpreadsheetExport() {
  if (FThread) {
    FStop = true;
    {
      std::lock_guard lock(FActiveMutex);
      if (FActive) FActive->Abort();
    }
    // An aborted connection returns at once; the bound only guards against an office that
    // ignores it, so closing the window never hangs.
    if (FThread->wait(QDeadlineTimer(10000))) {
      delete FThread;
    } else {
      FThread->setParent(nullptr);  // left to the process's end rather than destroyed running
    }
    FThread = nullptr;
  }
  if (FPanel) delete FPanel.data();
}

void TSpreadsheetExport::SetAutomationFactory(TAutomationFactory factory) {
  if (FThread) return;  // the running export keeps what it started with
  FFactory = factory ? std::move(factory) : TAutomationFactory([] { return platform::LoadSpreadsheetAutomation(); });
}

void TSpreadsheetExport::sbExcelClick() {
  if (FThread) return;  // one export at a time
  const QVector<QStringList> rows = SpreadsheetRows(FGrid);
  FStop = false;
  FProgressPending = false;
  FOutcome = {};
  ShowProgress(QStringLiteral("Verbindung zur Tabellenkalkulation \u2026"), 0, 0);

  // The worker registers the automation object it gets, so the destructor can abort it.
  TAutomationFactory factory = [this] {
    std::unique_ptr<platform::SpreadsheetAutomation> app = FFactory();
    std::lock_guard lock(FActiveMutex);
    FActive = app.get();
    if (FActive && FStop) FActive->Abort();
    return app;
  };
  FThread = QThread::create([this, rows, factory] {
    // TExcel lives on this thread, without a parent.
    auto excel = std::make_unique<TExcel>(factory);
    FOutcome = ExportRows(
        *excel, rows,
        [this](int32_t k, int32_t n) {
          // At most one update waits in the window's queue; it shows the latest row.
          FProgressRow = k;
          if (FProgressPending.exchange(true)) return;
          QMetaObject::invokeMethod(
              this, [this, n] {
                FProgressPending = false;
                const int32_t row = FProgressRow;
                ShowProgress(QStringLiteral("Übertrage Zeile %1 von %2").arg(row).arg(n), row, n);
              },
              Qt::QueuedConnection);
        },
        [this] { return FStop.load(); });
    {
      std::lock_guard lock(FActiveMutex);
      FActive = nullptr;
    }
    excel.reset();
  });
  connect(FThread, &QThread::finished, this, &TSpreadsheetExport::Finished, Qt::QueuedConnection);
  FThread->start();
}

void TSpreadsheetExport::Finished() {
  if (!FThread) return;
  FThread->wait();
  delete FThread;
  FThread = nullptr;
  HideProgress();
  FLastOutcome = FOutcome;
  // A missing module is said with the package that brings it; an application that does not
  // answer ends silently; a failed call is reported, the rows written stay.
  QWidget* window = FParent ? FParent->window() : nullptr;
  if (FLastOutcome.AutomationMissing)
    platform::ShowMessage(SpreadsheetAutomationMissingText(), MsgIcon::Information, window);
  else if (!FLastOutcome.Error.isEmpty())
    platform::ShowMessage(FLastOutcome.Error, MsgIcon::Error, window);
  if (OnFinished) OnFinished(FLastOutcome);
}

QString TSpreadsheetExport::ProgressText() const {
  return FThread && FPanel && FLabel ? FLabel->text() : QString();
}

bool TSpreadsheetExport::WaitForFinished(int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (FThread) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (FThread) FThread->wait(QDeadlineTimer(10));
  }
  return true;
}

void TSpreadsheetExport::ShowProgress(const QString& text, int32_t k, int32_t n) {
  if (!FParent) return;
  if (!FPanel) {
    // A panel inside the window rather than a dialog: it takes neither the focus nor the
    // activation, so the race keys keep working.
    FPanel = new QFrame(FParent);
    FPanel->setObjectName(QStringLiteral("ExcelProgress"));
    FPanel->setFrameShape(QFrame::StyledPanel);
    FPanel->setAutoFillBackground(true);
    FPanel->setFocusPolicy(Qt::NoFocus);
    FPanel->setMinimumWidth(360);
    auto* layout = new QHBoxLayout(FPanel);
    layout->setContentsMargins(4, 2, 4, 2);  // low enough for the smallest window
    FLabel = new QLabel(FPanel);
    FBar = new QProgressBar(FPanel);
    FBar->setTextVisible(false);
    FBar->setFixedWidth(160);
    layout->addWidget(FLabel);
    layout->addWidget(FBar);
    // A place of its own in the host's layout: it never covers what the window shows.
    QLayout* place = FParent->layout() ? FParent->layout() : new QHBoxLayout(FParent);
    if (auto* row = qobject_cast<QBoxLayout*>(place))
      row->insertWidget(0, FPanel);
    else
      place->addWidget(FPanel);
  }
  FLabel->setText(text);
  FLabel->setAccessibleName(text);
  FBar->setRange(0, n > 0 ? n : 0);  // 0..0: busy while connecting
  FBar->setValue(k);
  FPanel->show();
}

void TSpreadsheetExport::HideProgress() {
  if (FPanel) FPanel->hide();
}
