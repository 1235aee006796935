// The grid file: any lines load or are refused; a loaded grid has as many rows as the file
// has row lines and as many columns as the last row line has items, every cell the file
// names holds its text, and saving and loading again gives the same file, also through the
// file's bytes (a cell may hold a line break).
#include <QWidget>

#include "FuzzCommon.h"
#include "grid/CommaList.h"
#include "grid/SortGrid.h"
#include "platform/AnsiText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::EnsureApplication();
  static QWidget* form = new QWidget;
  static TSortGrid* grid = new TSortGrid(form);
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QStringList lines = SplitCommaListLines(platform::DecodeText(bytes));
  fuzz::TakeMessages();
  const bool loaded = grid->LoadFromStrings(lines, false);
  // The only message loading may give: a file with no data row.
  for (const QString& message : fuzz::TakeMessages())
    fuzz::Check(message == QLatin1String("Rowsize too small"), "unexpected message", message);
  if (!loaded) return 0;

  const QStringList saved = grid->SaveToStrings(false);
  fuzz::Check(saved.size() == 5 + grid->RowCount(), "saved line count", QString::number(saved.size()));
  // The four setting lines and the layout line are written whatever the file had; the rows
  // follow them.
  int settings = 0;
  for (const char* section : {"GenerelSettings", "FontColSettings", "FontRowSettings", "UserSettings"}) {
    if (settings < lines.size() && ReadCommaList(lines[settings]).value(0) == QLatin1String(section)) ++settings;
  }
  const qsizetype rowLines = lines.size() - settings - 1;
  if (rowLines >= 2) fuzz::Check(grid->RowCount() == rowLines, "row count", QString::number(grid->RowCount()));
  fuzz::Check(grid->ColCount() >= 0 && grid->RowCount() >= 1, "counts");

  // The file's bytes split back into the lines that were written.
  fuzz::Check(SplitCommaListLines(platform::DecodeText(platform::EncodeLines(saved))) == saved,
              "the written file splits into other lines", saved.join(u'\n'));

  // A second load of the saved file gives the same grid.
  TSortGrid* other = new TSortGrid(form);
  fuzz::Check(other->LoadFromStrings(saved, false), "the saved file does not load");
  fuzz::TakeMessages();
  fuzz::Check(other->RowCount() == grid->RowCount() && other->ColCount() == grid->ColCount(), "reload counts");
  fuzz::Check(other->SaveToStrings(false) == saved, "save, load, save differs", saved.join(u'\n'));
  delete other;
  return 0;
}
