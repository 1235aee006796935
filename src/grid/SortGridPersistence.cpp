// Grid persistence: emptying the grid, its own text file format, the CSV export, font
// settings and the text form of colours.
#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <QScreen>
#include <stdexcept>

#include "grid/CommaList.h"
#include "grid/SortCompare.h"
#include "grid/SortGrid.h"
#include "platform/AnsiText.h"
#include "platform/AppTitle.h"
#include "platform/Modal.h"

namespace {

// A malformed grid file: the load stops and reports false.
class ELoadError : public std::runtime_error {
public:
  ELoadError() : std::runtime_error("malformed grid file") {}
};

struct TColorName {
  TColor Value;
  const char* Name;
};

// The standard colour constants and their names; every value appears once.
constexpr TColorName kColorNames[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clScrollBar, "clScrollBar"},
    {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
    {clNone, "clNone"},
    {0x20000000, "clDefault"},
};

bool IsHexDigit(QChar c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

const QString& Item(const QStringList& items, qsizetype index) {
  if (index < 0 || index >= items.size()) throw ELoadError();
  return items[index];
}

int32_t IntItem(const QStringList& items, qsizetype index) {
  int32_t value = 0;
  if (!TryStrToInt(Item(items, index), value)) throw ELoadError();
  return value;
}

// A CSV field as written: quoted only when it holds the separator, a quote or a line break.
QString CsvField(const QString& text) {
  for (QChar c : text) {
    if (c == ';' || c == '"' || c == '\r' || c == '\n')
      return '"' + QString(text).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + '"';
  }
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Colours and font settings

QString ColorToString(TColor color) {
  for (const TColorName& entry : kColorNames)
    if (entry.Value == color) return QString::fromLatin1(entry.Name);
  return QStringLiteral("$%1").arg(color, 8, 16, QChar('0')).toUpper();
}

std::optional<TColor> StringToColor(const QString& text) {
  for (const TColorName& entry : kColorNames)
    if (text.compare(QLatin1String(entry.Name), Qt::CaseInsensitive) == 0) return entry.Value;
  const QString s = text.trimmed();
  if (s.startsWith('$')) {
    const QString digits = s.mid(1);
    if (digits.isEmpty() || digits.size() > 8) return std::nullopt;
    for (QChar c : digits)
      if (!IsHexDigit(c)) return std::nullopt;
    return static_cast<TColor>(digits.toUInt(nullptr, 16));
  }
  int32_t value = 0;
  if (!TryStrToInt(s, value)) return std::nullopt;
  return static_cast<TColor>(value);
}

QString TFontSetting::Text() const {
  auto flag = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
  return WriteCommaList({ColorToString(FontColor), flag(Bold), flag(Italic), flag(Underline), ColorToString(BackColor)});
}

void TFontSetting::SetText(const QString& text) {
  const QStringList items = ReadCommaList(text);
  if (items.size() < 5) throw std::invalid_argument("font setting needs five items");
  const auto fontColor = StringToColor(items[0]);
  const auto backColor = StringToColor(items[4]);
  if (!fontColor || !backColor) throw std::invalid_argument("not a colour");
  FontColor = *fontColor;
  Bold = items[1] == QLatin1String("1");
  Italic = items[2] == QLatin1String("1");
  Underline = items[3] == QLatin1String("1");
  BackColor = *backColor;
}

// ---------------------------------------------------------------------------------------------
// Clear

void TSortGrid::ForgetStoredRowsFrom(int32_t first) {
  TSparseList& data = RowData();
  for (int32_t r = data.Count() - 1; r >= first; --r) {
    delete static_cast<TStringSparseList*>(data.Get(r));
    data.Put(r, nullptr);
  }
}

void TSortGrid::DropStoredRow(int32_t index) {
  TSparseList& data = RowData();
  if (index >= data.Count()) return;
  delete static_cast<TStringSparseList*>(data.Get(index));
  data.Put(index, nullptr);
  data.Delete(index);
}

void TSortGrid::Clear() {
  {
    TGridUpdateGuard bracket(*this);
    FColumnFonts.Clear();
    FRowFonts.Clear();
    // A grid cut down to its header has no row 1 to go to; inside the bracket this only
    // records the count that the clearing sets anyway.
    if (RowCount() < 2) SetRowCount(2);
    SetRow(1);
    InvalidateGrid();
    FSelectedRows.clear();
    FSelectionTrail = QStringList{QStringLiteral("1")};
    // Texts and objects of the data rows go, also those stored beyond the row count, which a
    // later growth of the grid would otherwise bring back, and those the filter parked there;
    // the header keeps its texts.
    ForgetStoredRowsFrom(1);
    FParkedRowCount = 0;
    FFilterPlaceholder = false;
    ReloadEditor(Col(), Row());
    FModified = false;
    SetRowCount(2);
    AutoSizeColumns(true);
  }
  if (OnRowSelected) OnRowSelected(this);
}

// ---------------------------------------------------------------------------------------------
// The grid's own file

QStringList TSortGrid::SaveToStrings(bool SaveLayout) const {
  QStringList lines;
  lines << WriteCommaList({QStringLiteral("GenerelSettings"), FColumnFontsFirst ? QStringLiteral("1") : QStringLiteral("0")});
  QStringList items{QStringLiteral("FontColSettings")};
  for (int32_t i = 0; i < FColumnFonts.Count(); ++i) items << FColumnFonts.Items(i).Text();
  lines << WriteCommaList(items);
  items = QStringList{QStringLiteral("FontRowSettings")};
  for (int32_t i = 0; i < FRowFonts.Count(); ++i) items << FRowFonts.Items(i).Text();
  lines << WriteCommaList(items);
  lines << WriteCommaList(QStringList{QStringLiteral("UserSettings")} + FUserSettings);

  items.clear();
  if (SaveLayout) {
    const QRect frame = window()->frameGeometry();
    items << QString::number(frame.width()) << QString::number(frame.height());
    for (int32_t c = 0; c < ColCount(); ++c) items << QString::number(ColWidths(c));
    items << QString::number(frame.x()) << QString::number(frame.y());
  } else {
    for (int32_t i = 0; i < ColCount() + 4; ++i) items << QStringLiteral("-1");
  }
  lines << WriteCommaList(items);

  for (int32_t r = 0; r < RowCount(); ++r) {
    items.clear();
    for (int32_t c = 0; c < ColCount(); ++c) items << Cells(c, r);
    lines << WriteCommaList(items);
  }
  return lines;
}

void TSortGrid::SaveToFile(const QString& FileName, bool SaveLayout) {
  if (platform::WriteTextFile(FileName, SaveToStrings(SaveLayout))) return;
  platform::Modal().MessageBox(this, platform::ApplicationTitle(), QStringLiteral("Can't write to file:\r") + FileName,
                               MsgIcon::Error, MsgButtons::Ok);
}

bool TSortGrid::LoadFromFile(const QString& FileName, bool RestoreLayout) {
  const std::optional<QString> text = platform::ReadText(FileName);
  if (!text) return false;
  // A cell may hold a line break: it is written inside its quotes, so the file's lines are
  // split where a comma list ends, not at every line break.
  return LoadFromStrings(SplitCommaListLines(*text), RestoreLayout);
}

bool TSortGrid::LoadFromStrings(const QStringList& Lines, bool RestoreLayout) {
  TGridUpdateGuard bracket(*this);
  try {
    LoadLines(Lines, RestoreLayout);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

void TSortGrid::LoadLines(QStringList lines, bool RestoreLayout) {
  Clear();
  QStringList last;  // the line parsed last decides the column count
  auto parseFirst = [&]() -> const QStringList& {
    if (lines.isEmpty()) throw ELoadError();
    last = ReadCommaList(lines.first());
    return last;
  };

  if (Item(parseFirst(), 0) == QLatin1String("GenerelSettings")) {
    lines.removeFirst();
    FColumnFontsFirst = Item(last, 1) == QLatin1String("1");
  }
  const auto readFonts = [&](const char* section, TFontList& list) {
    if (Item(parseFirst(), 0) != QLatin1String(section)) return;
    lines.removeFirst();
    list.Clear();
    for (qsizetype i = 1; i < last.size(); ++i) {
      TFontSetting setting;
      setting.SetText(last[i]);
      list.Add() = setting;
    }
  };
  readFonts("FontColSettings", FColumnFonts);
  readFonts("FontRowSettings", FRowFonts);
  FUserSettings.clear();
  if (Item(parseFirst(), 0) == QLatin1String("UserSettings")) {
    lines.removeFirst();
    FUserSettings = last.mid(1);
  }

  // The first remaining line is the layout line; the rest are the grid rows, header first. A
  // file that ends before it is cut, not a grid.
  if (lines.isEmpty()) throw ELoadError();
  for (qsizetype k = 1; k < lines.size(); ++k) {
    last = ReadCommaList(lines[k]);
    for (qsizetype i = 0; i < last.size(); ++i) SetCells(static_cast<int32_t>(i), static_cast<int32_t>(k - 1), last[i]);
  }
  {
    // The font lists hold what the file holds: the size steps of the new counts would
    // otherwise add to them or cut them, and every save and load would change them.
    struct TKeepFonts {
      TSortGrid& Grid;
      TFontList Columns = std::move(Grid.FColumnFonts);
      TFontList Rows = std::move(Grid.FRowFonts);
      ~TKeepFonts() {
        Grid.FColumnFonts = std::move(Columns);
        Grid.FRowFonts = std::move(Rows);
      }
    } keep{*this};
    SetRowCount(static_cast<int32_t>(lines.size() - 1));
    SetColCount(static_cast<int32_t>(last.size()));
  }

  if (RestoreLayout) ApplyLayout(ReadCommaList(lines.first()));

  FSortOptions.SetSortDirection(sdAscending);
  SortByColumn(0);
  SetModified(false);
}

void TSortGrid::ApplyLayout(const QStringList& layout) {
  const int32_t width = IntItem(layout, 0);
  const int32_t height = IntItem(layout, 1);
  QWidget* form = window();
  const QScreen* screen = form->screen() != nullptr ? form->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
  if (width < area.width() || height < area.height()) {
    const QString& left = Item(layout, ColCount() + 2);
    const QString& top = Item(layout, ColCount() + 3);
    // Places and sizes no screen has are taken as the farthest a window may go, so that the
    // window's edges stay within the integer range.
    auto place = [](int32_t value) { return std::clamp<int32_t>(value, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX); };
    QPoint pos = form->frameGeometry().topLeft();
    if (left != QLatin1String("-1")) pos.setX(place(IntItem(layout, ColCount() + 2)));
    if (top != QLatin1String("-1")) pos.setY(place(IntItem(layout, ColCount() + 3)));
    form->move(pos);
    // The stored size is the outer frame.
    const QSize frameExtra = form->frameGeometry().size() - form->size();
    auto inner = [](int32_t outer, int extra) {
      return static_cast<int>(std::clamp<int64_t>(int64_t{outer} - extra, 0, QWIDGETSIZE_MAX));
    };
    form->resize(inner(width, frameExtra.width()), inner(height, frameExtra.height()));
  } else {
    form->setWindowState(form->windowState() | Qt::WindowMaximized);
  }
  for (int32_t c = 0; c < ColCount(); ++c) SetColWidths(c, IntItem(layout, c + 2));
}

// ---------------------------------------------------------------------------------------------
// CSV

void TSortGrid::SaveToCSV(const QString& FileName) {
  QStringList lines;
  lines.reserve(RowCount());
  for (int32_t r = 0; r < RowCount(); ++r) {
    QString line;
    for (int32_t c = 0; c < ColCount(); ++c) {
      if (c > 0) line += ';';
      line += CsvField(Cells(c, r));
    }
    lines << line;
  }
  if (platform::WriteTextFile(FileName, lines)) return;
  platform::Modal().MessageBox(this, platform::ApplicationTitle(), QStringLiteral("Can't write to file:\r") + FileName,
                               MsgIcon::Error, MsgButtons::Ok);
}
