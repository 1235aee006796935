#include "io/ProtocolFiles.h"

#include "grid/SortGrid.h"
#include "io/HtmlReport.h"
#include "platform/AnsiText.h"
#include "platform/FileDialogs.h"
#include "platform/FileTypes.h"

TFileTypeDescriptions ReadFileTypeDescriptions(const std::function<QString(const QString&)>& lookup) {
  TFileTypeDescriptions descriptions;
  auto take = [&](const char* progId, QString& description) {
    const QString found = lookup(QString::fromLatin1(progId));
    if (!found.isEmpty()) description = found;
  };
  take("htmlfile", descriptions.WebPage);
  take("txtfile", descriptions.Text);
  take("Excel.CSV", descriptions.Spreadsheet);
  return descriptions;
}

TFileTypeDescriptions ReadFileTypeDescriptions() {
  return ReadFileTypeDescriptions([](const QString& progId) { return platform::FileTypeDescription(progId); });
}

QString SaveDialogFilter(const TFileTypeDescriptions& d) {
  return d.Spreadsheet + QStringLiteral(" (*.csv)|*.csv|") + d.WebPage + QStringLiteral(" (*.html)|*.html|") + d.Text +
         QStringLiteral(" (*.txt)|*.txt");
}

QString TimestampFileName(const QDateTime& when) { return when.toString(QStringLiteral("yyyy-MM-dd-HH-mm")); }

QStringList ProtocolTextLines(const TMyStringGrid& grid) {
  QStringList lines;
  lines.reserve(grid.RowCount());
  const int32_t lastCol = grid.ColCount() - 3;
  for (int32_t row = 0; row < grid.RowCount(); ++row) {
    QString line;
    for (int32_t col = 0; col <= lastCol; ++col) {
      const QString text = grid.Cells(col, row);
      line += text.isEmpty() ? QStringLiteral(" ") : text;
      line += u'\t';
    }
    lines << line;
  }
  return lines;
}

bool SaveProtocolText(const TMyStringGrid& grid, const QString& fileName, QWidget* parent) {
  if (platform::WriteTextFile(fileName, ProtocolTextLines(grid))) return true;
  // A protocol the operator believes saved must not be lost without a word.
  ShowWriteError(fileName, parent);
  return false;
}

void SaveProtocolAs(TSortGrid& grid, const QString& fileName, int fileType, QWidget* parent,
                    const std::vector<TCorrection>& corrections) {
  switch (fileType) {
    case sfCSV: grid.SaveToCSV(fileName); break;
    case sfHTML: WriteHtmlReport(grid, fileName, parent, corrections); break;
    default: SaveProtocolText(grid, fileName, parent); break;
  }
}

bool TSaveDialog::Execute(QWidget* parent) {
  platform::FileDialogRequest request;
  request.title = Title;
  request.initialDir = InitialDir;
  request.fileName = FileName;
  request.filter = Filter;
  request.filterIndex = FilterIndex;
  if (!platform::FileDialogs().GetSaveFileName(parent, request)) return false;
  FileName = request.fileName;
  FilterIndex = request.filterIndex;
  return true;
}
