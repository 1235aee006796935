#pragma once
// The spreadsheet export command: hands the protocol, as it stands at the click, to the
// spreadsheet application. The automation calls block while the application does, so the
// transfer runs on a thread of its own and the race (clock, keys, timers) carries on; a small
// panel in the window shows the progress.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "io/Excel.h"

class QFrame;
class QLabel;
class QProgressBar;
class QThread;
class QWidget;
class TMyStringGrid;

// A cell's text as it goes to the spreadsheet: in a text shorter than 5 characters the first
// "," becomes "." (a speed such as 35,2 then reads as a number; times keep their comma).
QString SpreadsheetValue(const QString& cell);

// The rows to transfer: the header and the data rows, without the last row when its start
// number is empty, each with the visible columns (all but the last two) after the comma rule.
QVector<QStringList> SpreadsheetRows(const TMyStringGrid& grid);

// How an export ended.
struct TExportOutcome {
  bool Connected = false;  // false: no spreadsheet application could be had
  bool AutomationMissing = false;  // and the reason is that its module is not installed
  int32_t RowsWritten = 0;
  QString Error;           // the automation error's text; empty when none
};

// The transfer itself (connect, new workbook, the rows, fit the columns) on the calling thread.
// progress(k, n) runs before row k of n is written; stop() is asked between rows.
TExportOutcome ExportRows(TExcel& excel, const QVector<QStringList>& rows,
                          const std::function<void(int32_t k, int32_t n)>& progress = {},
                          const std::function<bool()>& stop = {});

class TSpreadsheetExport : public QObject {
  Q_OBJECT
public:
  // grid: the protocol; parent: the widget whose layout takes the progress panel (one is made
  // when it has none), in the window that owns the error box (not the owner of this object: the
  // window keeps it and ends it before it goes);
  // factory: the automation (empty: the real module).
  TSpreadsheetExport(const TMyStringGrid& grid, QWidget* parent, TAutomationFactory factory = {});
  // Ends a running export: drops the connection so a blocked call returns, and waits for it.
  ~TSpreadsheetExport() override;

  // The command: snapshot of the protocol, then the transfer on its own thread. Does nothing
  // while an export runs.
  void sbExcelClick();

  // Replaces the automation for the exports that follow (empty: the real module).
  void SetAutomationFactory(TAutomationFactory factory);

  bool Running() const { return FThread != nullptr; }
  // The progress panel's text while an export runs; empty otherwise.
  QString ProgressText() const;
  // Processes events until the running export has ended and been reported; false on timeout.
  bool WaitForFinished(int timeoutMs);
  // The outcome of the last export that ended.
  const TExportOutcome& LastOutcome() const { return FLastOutcome; }

  // Runs on the user-interface thread after each export has ended and been reported.
  std::function<void(const TExportOutcome&)> OnFinished;

private:
  void ShowProgress(const QString& text, int32_t k, int32_t n);
  void HideProgress();
  void Finished();

  const TMyStringGrid& FGrid;
  QPointer<QWidget> FParent;
  TAutomationFactory FFactory;

  QThread* FThread = nullptr;
  TExportOutcome FOutcome;  // written by the worker, read after it has ended
  TExportOutcome FLastOutcome;
  std::atomic<bool> FStop{false};
  std::atomic<int32_t> FProgressRow{0};
  std::atomic<bool> FProgressPending{false};
  // The automation object of the running export, so that it can be aborted from here.
  std::mutex FActiveMutex;
  platform::SpreadsheetAutomation* FActive = nullptr;

  QPointer<QFrame> FPanel;
  QLabel* FLabel = nullptr;
  QProgressBar* FBar = nullptr;
};
