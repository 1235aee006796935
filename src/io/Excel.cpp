#include "io/Excel.h"

TExcel::TExcel(TAutomationFactory factory, QObject* Owner) : QObject(Owner), FFactory(std::move(factory)) {
  if (!FFactory) FFactory = [] { return platform::LoadSpreadsheetAutomation(); };
}

// Releasing the automation object leaves the application running.
TExcel::~TExcel() = default;

QString SpreadsheetAutomationMissingText() {
  const QString package = QString::fromLatin1(platform::kSpreadsheetPackage);
  return QStringLiteral("Für die Übertragung in eine Tabelle fehlt das Paket %1.\n"
                        "Installieren mit: sudo apt install %1")
      .arg(package);
}

bool TExcel::Connect() {
  std::unique_ptr<platform::SpreadsheetAutomation> app = FFactory();
  FAutomationMissing = !app;
  if (!app) return false;
  const bool connected = FExcelNew ? app->Start() : (app->Attach() || app->Start());
  if (!connected) return false;
  FExcelApp = std::move(app);
  Check(FExcelApp->Show());
  return true;
}

void TExcel::NewWorkbook() {
  FLine = 1;
  Check(FExcelApp && FExcelApp->AddWorkbook());
}

void TExcel::WriteRow() {
  if (!RowValues.isEmpty()) {
    Check(FExcelApp && (FHorizontal ? FExcelApp->SetCells(FLine, 1, true, RowValues)
                                    : FExcelApp->SetCells(1, FLine, false, RowValues)));
  }
  ++FLine;
}

void TExcel::AutoFitColumns() {
  Check(FExcelApp && FExcelApp->SelectAll());
  Check(FExcelApp->FitColumns());
}

void TExcel::Check(bool ok) const {
  if (ok) return;
  QString text = FExcelApp ? FExcelApp->ErrorText() : QString();
  if (text.trimmed().isEmpty()) text = QStringLiteral("Die Verbindung zur Tabellenkalkulation ist abgebrochen.");
  throw EAutomationError(text);
}
