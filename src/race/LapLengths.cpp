#include "race/LapLengths.h"

#include <QFont>
#include <cmath>

#include "grid/SortGrid.h"
#include "platform/AppTitle.h"
#include "platform/LocaleFormats.h"
#include "platform/Modal.h"

QString InvalidFloatText(const QString& text) {
  return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

void TableLengthKeyPress(QChar& Key) {
  const bool accepted = Key == QChar(8) || (Key >= u'0' && Key <= u'9') || Key == platform::DecimalSeparator();
  if (!accepted) Key = QChar(0);
}

TLapLengths::TLapLengths(TSortGrid& table) : FTable(table) {
  SetUpTable();
  FTable.OnEndUpdate = [this](QObject*) { TableLengthEndUpdate(); };
  FTable.OnKeyPress = [](QObject*, QChar& key) { TableLengthKeyPress(key); };
}

void TLapLengths::SetUpTable() {
  // Design time: 3 columns, header and one row per lap, edited in place, centred, never sorted.
  FTable.SetColCount(3);
  FTable.SetRowCount(kLaps + 1);
  FTable.SetScrollBars(ssNone);
  FTable.SetOptions(FTable.Options() + goEditing);
  FTable.SetAlignmentHorz(taCenter);
  FTable.SortOptions().SetCanSort(false);
  FTable.SortOptions().SetSortCol(0);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(16);
  FTable.setFont(font);

  // Start-up contents.
  FTable.SetCells(0, 0, QStringLiteral("Runde"));
  FTable.SetCells(1, 0, QStringLiteral("Lange"));
  const QString tenth = QString::number(0.1, 'f', 3).replace(u'.', platform::DecimalSeparator());
  for (int k = 1; k <= kLaps; ++k) {
    FTable.SetCells(0, k, QString::number(k));
    FTable.SetCells(1, k, tenth);
  }
  FTable.SetFixedCols(1);
  // Column 1 fills the table and pushes the empty column 2 out of sight.
  FTable.SetColWidths(1, FTable.width() - FTable.ColWidths(0) - 1);
}

void TLapLengths::ComputeLapDistance() {
  // 64 bits, so that a hand-edited lap length cannot overflow the sum; the stored distances
  // are 32-bit as everywhere else.
  int64_t sum = 0;
  if (RoundLen != 0) {
    for (int k = 1; k <= kLaps; ++k) {
      sum += RoundLen;
      LapDistance[k] = static_cast<int32_t>(sum);
    }
    return;
  }
  for (int k = 1; k <= kLaps; ++k) {
    const QString text = FTable.Cells(1, k);
    const std::optional<double> km = platform::StrToFloat(text);
    // A length of more metres than a distance can hold is as unusable as no number at all.
    if (!km || !(std::fabs(*km) < 4e5)) throw EConvertError(InvalidFloatText(text));
    // Whole metres, an exact half to the even neighbour (the default rounding mode).
    sum += static_cast<int64_t>(std::nearbyint(*km * 1000.0));
    LapDistance[k] = static_cast<int32_t>(sum);
  }
}

void TLapLengths::TableLengthEndUpdate() {
  try {
    ComputeLapDistance();
  } catch (const EConvertError& error) {
    platform::Modal().MessageBox(FTable.window(), platform::ApplicationTitle(), QString::fromStdString(error.what()),
                                 MsgIcon::Error, MsgButtons::Ok);
  }
}

void TLapLengths::Lock() {
  FLocked = true;
  FTable.setEnabled(false);
}

void TLapLengths::Unlock() {
  FLocked = false;
  FTable.SetSelection(TGridRect{1, 1, 1, 1});
  FTable.setEnabled(true);
}
