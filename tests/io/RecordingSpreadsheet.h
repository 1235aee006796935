#pragma once
// A spreadsheet application that records what it is given: one cell map per workbook and the
// calls in order. Thread-safe, since the export calls it from its own thread. Hooks let a test
// fail a call or hold the export at a row.
#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QPair>
#include <QStringList>
#include <functional>
#include <memory>

#include "platform/SpreadsheetAutomation.h"

namespace testing_doubles {

struct SpreadsheetRecord {
  QStringList calls;
  QList<QMap<QPair<int32_t, int32_t>, QString>> workbooks;  // (row, col) -> text
  int aborts = 0;
};

class RecordingSpreadsheet : public platform::SpreadsheetAutomation {
public:
  explicit RecordingSpreadsheet(std::shared_ptr<SpreadsheetRecord> record) : FRecord(std::move(record)) {}

  bool attachWorks = true;
  bool startWorks = true;
  // Asked before a whole-row call with its first cell; false fails the call with failText.
  std::function<bool(int32_t row, int32_t col)> beforeCells;
  QString failText = QStringLiteral("Der Server hat eine Ausnahme ausgelöst.");

  bool Attach() override { return Note("Attach", attachWorks); }
  bool Start() override { return Note("Start", startWorks); }
  bool Show() override { return Note("Show", true); }
  bool AddWorkbook() override {
    QMutexLocker lock(&FMutex);
    FRecord->calls << "AddWorkbook";
    FRecord->workbooks.append(QMap<QPair<int32_t, int32_t>, QString>());
    return true;
  }
  bool SetCell(int32_t row, int32_t col, const QString& value) override {
    QMutexLocker lock(&FMutex);
    if (FRecord->workbooks.isEmpty()) return false;
    FRecord->workbooks.last()[{row, col}] = value;
    return true;
  }
  bool SetCells(int32_t row, int32_t col, bool horizontal, const QStringList& values) override {
    if (beforeCells && !beforeCells(row, col)) return Note("SetCells", false);
    {
      QMutexLocker lock(&FMutex);
      FRecord->calls << QString("SetCells %1,%2 %3").arg(row).arg(col).arg(horizontal ? "H" : "V");
    }
    return SpreadsheetAutomation::SetCells(row, col, horizontal, values);  // cell by cell
  }
  bool SelectAll() override { return Note("SelectAll", true); }
  bool FitColumns() override { return Note("FitColumns", true); }
  QString ErrorText() const override { return FError; }
  void Abort() override {
    QMutexLocker lock(&FMutex);
    ++FRecord->aborts;
    if (onAbort) onAbort();
  }
  std::function<void()> onAbort;

private:
  bool Note(const char* call, bool ok) {
    QMutexLocker lock(&FMutex);
    FRecord->calls << (ok ? QString(call) : QString(call) + " failed");
    if (!ok) FError = failText;
    return ok;
  }

  std::shared_ptr<SpreadsheetRecord> FRecord;
  QMutex FMutex;
  QString FError;
};

}  // namespace testing_doubles
