#pragma once
// The spreadsheet application as the export drives it: attach, start, show, add a workbook, set
// a cell (or a whole row at once), select all, fit the columns. The real one is a module loaded
// at run time, so the program starts and runs where no office suite is installed.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace platform {

class SpreadsheetAutomation {
public:
  virtual ~SpreadsheetAutomation() = default;

  // Connects to an application that is already running; false when none answers.
  virtual bool Attach() = 0;
  // Starts the application and connects to it; false when that fails.
  virtual bool Start() = 0;

  // The calls below answer false when the application fails them, with its reason in
  // ErrorText(). Rows and columns are 1-based, on the active sheet.
  virtual bool Show() = 0;
  virtual bool AddWorkbook() = 0;
  // The application interprets numeric text itself.
  virtual bool SetCell(int32_t row, int32_t col, const QString& value) = 0;
  // values[i] goes to (row, col + i) when horizontal, else to (row + i, col). One round trip
  // where the application allows it; the default sets the cells one by one.
  virtual bool SetCells(int32_t row, int32_t col, bool horizontal, const QStringList& values) {
    for (qsizetype i = 0; i < values.size(); ++i) {
      const auto k = static_cast<int32_t>(i);
      if (!SetCell(horizontal ? row : row + k, horizontal ? col + k : col, values[i])) return false;
    }
    return true;
  }
  virtual bool SelectAll() = 0;
  virtual bool FitColumns() = 0;
  virtual QString ErrorText() const = 0;

  // Callable from any thread: drops the connection, so that a call waiting on a frozen
  // application returns false and later calls fail at once.
  virtual void Abort() = 0;
};

// How the real module reaches the office suite. The defaults are the program's; tests run a
// private, headless office.
struct SpreadsheetOptions {
  QString pipeName = QStringLiteral("veltrano");
  QStringList extraArguments;   // added to the office's command line by Start
  bool hiddenDocuments = false; // a headless office cannot show a document
  int startTimeoutMs = 60000;   // how long Start waits for a started office to answer
};

// The module's one entry point, looked up by this name.
using CreateSpreadsheetAutomationFn = SpreadsheetAutomation* (*)(const SpreadsheetOptions* options);
inline constexpr const char* kCreateSpreadsheetAutomation = "VeltranoCreateSpreadsheetAutomation";
// The module's file name without prefix and suffix.
inline constexpr const char* kSpreadsheetModule = "veltrano_office";
// The Debian package that installs the module (the program's own package does not: it needs
// the office's libraries).
inline constexpr const char* kSpreadsheetPackage = "veltrano-calc";

// Loads the module (beside the executable, or where the package installs it) and creates the automation
// object; nullptr when the module is missing or cannot be loaded. modulePath overrides the search.
std::unique_ptr<SpreadsheetAutomation> LoadSpreadsheetAutomation(const SpreadsheetOptions& options = {},
                                                                 const QString& modulePath = {});

}  // namespace platform
