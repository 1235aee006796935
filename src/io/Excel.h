#pragma once
// The spreadsheet application's automation client: connects to (or starts) the application,
// makes it visible, adds a workbook and writes rows of values into it, one worksheet line per
// row, then fits the columns. It never closes the application: that stays with the user.
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

#include "platform/SpreadsheetAutomation.h"

// An automation call the application failed; what() is the application's own text.
class EAutomationError : public std::runtime_error {
public:
  explicit EAutomationError(const QString& text) : std::runtime_error(text.toStdString()), FText(text) {}
  QString Text() const { return FText; }

private:
  QString FText;
};

// Makes the automation object; nullptr when no spreadsheet automation exists on this machine.
using TAutomationFactory = std::function<std::unique_ptr<platform::SpreadsheetAutomation>()>;

// What the user is told when the spreadsheet automation is not installed: the package to install.
QString SpreadsheetAutomationMissingText();

class TExcel : public QObject {
  Q_OBJECT
public:
  // An empty factory loads the real module.
  explicit TExcel(TAutomationFactory factory = {}, QObject* Owner = nullptr);
  ~TExcel() override;

  // true: always start a new application; false: attach, start only when none runs.
  bool ExcelNew() const { return FExcelNew; }
  void SetExcelNew(bool value) { FExcelNew = value; }
  // true: a row's values go along a worksheet row; false: down a worksheet column.
  bool Horizontal() const { return FHorizontal; }
  void SetHorizontal(bool value) { FHorizontal = value; }
  // The 1-based worksheet line (row, or column when not Horizontal) the next WriteRow fills.
  int32_t line() const { return FLine; }
  void Setline(int32_t value) { FLine = value; }

  // The values of the next row, in order.
  QStringList RowValues;

  // true when an application is held and made visible; false when none can be had.
  bool Connect();
  // After a Connect that failed: true when the machine has no spreadsheet automation at all
  // (its module is not installed), false when the application itself did not answer.
  bool AutomationMissing() const { return FAutomationMissing; }
  // line := 1 and a new workbook, which becomes the active one.
  void NewWorkbook();
  // RowValues into line `line`, then line + 1 (also for an empty list).
  void WriteRow();
  // Fits every column of the active sheet to its contents.
  void AutoFitColumns();

  platform::SpreadsheetAutomation* ExcelApp() const { return FExcelApp.get(); }

private:
  // Throws EAutomationError with the application's text when ok is false.
  void Check(bool ok) const;

  TAutomationFactory FFactory;
  bool FExcelNew = false;
  bool FHorizontal = true;
  int32_t FLine = 1;
  bool FAutomationMissing = false;
  std::unique_ptr<platform::SpreadsheetAutomation> FExcelApp;
};
