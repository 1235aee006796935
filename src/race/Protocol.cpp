#include "race/Protocol.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "grid/SortCompare.h"
#include "platform/LocaleFormats.h"
#include "platform/Printers.h"
#include "platform/Tick.h"
#include "race/TimeText.h"

namespace {

constexpr std::array<int32_t, kProtocolColumns> kWidths = {48, 48, 0, 54, 76, 76, 76, 76, 76, 46, 56, 76, -1, -1};

// Sets a flag for the length of a scope.
class TFlagScope {
public:
  explicit TFlagScope(bool& flag) : FFlag(flag), FOld(flag) { flag = true; }
  ~TFlagScope() { FFlag = FOld; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

private:
  bool& FFlag;
  bool FOld;
};

// The width of the grid's cell area once its vertical scroll bar has settled. Qt shows or
// hides an as-needed scroll bar only when control returns to the event loop, so right after a
// row is added the viewport still has its old width.
int32_t ClientWidth(const TSortGrid& grid) {
  int32_t width = grid.viewport()->width();
  if (grid.verticalScrollBarPolicy() != Qt::ScrollBarAsNeeded) return width;
  const QScrollBar* bar = grid.verticalScrollBar();
  const bool needed = bar->maximum() > bar->minimum();
  const bool shown = bar->isVisibleTo(&grid);
  const int32_t extent = grid.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, bar);
  if (needed && !shown) width -= extent;
  if (!needed && shown) width += extent;
  return width;
}

}  // namespace

QString ProtocolHeader(int32_t col) {
  static const std::array<const char*, kProtocolColumns> headers = {
      "Platz", "Nr.", "Name", "Kat", "Lap5", "Lap4", "Lap3", "Lap2", "Lap1", "R.Z", "km/h", "Zeit", "", ""};
  if (col < 0 || col >= kProtocolColumns) return {};
  return QString::fromLatin1(headers[static_cast<size_t>(col)]);
}

int32_t ProtocolColumnWidth(int32_t col) {
  if (col < 0 || col >= kProtocolColumns) return 0;
  return kWidths[static_cast<size_t>(col)];
}

int32_t CompareByLength(const QString& a, const QString& b) {
  const qsizetype la = a.isEmpty() ? 20 : a.size();
  const qsizetype lb = b.isEmpty() ? 20 : b.size();
  if (la != lb) return la < lb ? -1 : 1;
  return ComparePlain(a, b);
}

QString FormatSpeed(double kmh) {
  // Ten times a double is exact in the 64-bit mantissa of long double, so the decision to round
  // up is taken on the exact value: 31.25 becomes 31,3 and 40.0499... stays 40,0.
  static_assert(std::numeric_limits<long double>::digits >= 57, "needs an exact product of a double and 10");
  if (!std::isfinite(kmh)) return {};
  const bool negative = kmh < 0;
  const long double tenfold = static_cast<long double>(std::fabs(kmh)) * 10.0L;
  if (tenfold >= 1e17L) return QString::number(kmh, 'f', 1).replace(u'.', platform::DecimalSeparator());
  const long double whole = std::floor(tenfold);
  int64_t tenths = static_cast<int64_t>(whole);
  if (tenfold - whole >= 0.5L) ++tenths;
  return QStringLiteral("%1%2%3%4")
      .arg(negative && tenths != 0 ? "-" : "")
      .arg(tenths / 10)
      .arg(platform::DecimalSeparator())
      .arg(tenths % 10);
}

std::optional<int32_t> ParseStartNumber(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty() || !std::all_of(trimmed.begin(), trimmed.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
    return std::nullopt;
  int32_t number = 0;
  if (!TryStrToInt(trimmed, number) || number <= 0) return std::nullopt;
  return number;
}

QString NormalStartNumber(const QString& text) {
  const std::optional<int32_t> number = ParseStartNumber(text);
  return number ? QString::number(*number) : text.trimmed();
}

QString StartNumberOf(const QString& numberText, int32_t row) {
  // A rider without a usable start number gets the row number.
  return QString::number(ParseStartNumber(numberText).value_or(row));
}

TFileButtons DecideFileButtons(int32_t rowCount, const std::function<bool()>& hasPrinter) {
  TFileButtons buttons;
  buttons.Save = rowCount > 2;
  buttons.Print = buttons.Save && hasPrinter && hasPrinter();
  buttons.Excel = buttons.Save;
  buttons.HTML = buttons.Save;
  return buttons;
}

void ProtocolCellAlignment(int32_t Col, int32_t Row, TFormatOptions& FormatOptions) {
  if (Row == 0)
    FormatOptions.AlignmentHorz = taCenter;
  else if (Col == pcName || Col == pcCategory)
    FormatOptions.AlignmentHorz = taLeftJustify;
}

// ---------------------------------------------------------------------------------------------
// Set-up

TProtocol::TProtocol(TSortGrid& grid, std::function<int32_t(int k)> lapDistance)
    : FGrid(grid), FLapDistance(std::move(lapDistance)) {
  SetUpGrid(FGrid);
  FGrid.OnSelectCell = [this](QObject*, int32_t, int32_t ARow, bool& CanSelect) {
    if (OnSelectRow) OnSelectRow(ARow);
    CanSelect = true;
  };
  FGrid.OnGetSortStyle = [this](QObject*, int32_t Col, TSortStyle& SortStyle) { SortGrid1GetSortStyle(Col, SortStyle); };
  FGrid.OnGetCellFormat = [this](QObject*, int32_t Col, int32_t Row, TGridDrawState, TFormatOptions& FormatOptions,
                                 bool&, bool&, bool&) { SortGrid1GetCellFormat(Col, Row, FormatOptions); };
  // A sort by a header click may take the entry row away from the end; the protocol's own
  // brackets never do.
  FGrid.OnEndUpdate = [this](QObject*) {
    if (!FRanking) EnsureEntryRow();
  };
  FGrid.OnHeaderSort = [this](QObject*, const std::function<void()>& sort) {
    auto sortHere = [this, &sort] {
      BeforeRearranging();
      sort();
    };
    if (OnHeaderSort)
      OnHeaderSort(sortHere);
    else
      sortHere();
  };
  // A corrected row carries a mark in its number cell: a small corner, the text untouched.
  FGrid.OnDrawCell = [this](QObject*, int32_t ACol, int32_t ARow, const TRect& Rect, TGridDrawState) {
    if (ACol != pcNumber || ARow < 1) return;
    const TRowRecord* record = Attached(ARow);
    QPainter* canvas = FGrid.Canvas();
    if (record == nullptr || !record->Corrected || canvas == nullptr) return;
    const QPoint corner(Rect.Left, Rect.Top);
    const QPoint points[] = {corner, corner + QPoint(kCorrectionMark, 0), corner + QPoint(0, kCorrectionMark)};
    canvas->save();
    canvas->setPen(Qt::NoPen);
    canvas->setBrush(ToQColor(kCorrectionMarkColour));
    canvas->drawPolygon(points, 3);
    canvas->restore();
  };
}

TProtocol::~TProtocol() {
  FGrid.OnSelectCell = nullptr;
  FGrid.OnGetSortStyle = nullptr;
  FGrid.OnGetCellFormat = nullptr;
  FGrid.OnEndUpdate = nullptr;
  FGrid.OnHeaderSort = nullptr;
  FGrid.OnDrawCell = nullptr;
}

void TProtocol::SetUpGrid(TSortGrid& grid) {
  grid.SetColCount(kProtocolColumns);
  grid.SetRowCount(2);
  grid.SetDefaultColWidth(52);
  grid.SetDefaultRowHeight(20);
  QFont font(QStringLiteral("Courier New"));
  font.setPixelSize(15);
  grid.setFont(font);
  grid.SetOptions(TGridOptions{goFixedVertLine, goFixedHorzLine, goVertLine, goHorzLine, goRowSelect, goColSizing});
  grid.SetScrollBars(ssVertical);
  grid.SetAlignmentHorz(taRightJustify);
  TSortOptions& sort = grid.SortOptions();
  sort.SetCanSort(false);
  sort.SetSortCol(pcCategory);
  sort.SetSecondaryIndex(QStringLiteral("11"));
  sort.SetSortDirection(sdAscending);
  sort.SetSortStyle(ssNormal);
  sort.SetSortCaseSensitive(false);
  sort.SetUpdateOnSizeChange(false);
}

void TProtocol::StartUp() {
  for (int32_t c = 0; c < kProtocolColumns; ++c) SetCell(c, 0, ProtocolHeader(c));
  LayoutProtocolColumns();
  SelectRow(1);
}

void TProtocol::Clear() {
  FGrid.Clear();
  FRecords.clear();
}

void TProtocol::LayoutProtocolColumns() {
  int32_t others = 0;
  for (int32_t c = 0; c < kProtocolColumns; ++c) {
    if (c == pcName) continue;
    FGrid.SetColWidths(c, kWidths[static_cast<size_t>(c)]);
    others += FGrid.ColWidths(c);
  }
  // One grid line per column.
  FGrid.SetColWidths(pcName, std::max(kMinNameWidth, ClientWidth(FGrid) - others - kProtocolColumns));
}

TFileButtons TProtocol::UpdateFileButtons() const {
  return DecideFileButtons(FGrid.RowCount(), [] { return platform::Printers().HasPrinter(); });
}

// ---------------------------------------------------------------------------------------------
// Selection

void TProtocol::MoveToRow(int32_t row) {
  if (row >= 0 && row < FGrid.RowCount()) FGrid.SetRow(row);
}

void TProtocol::SelectRow(int32_t row) {
  // GoToCell runs the selection handler (through OnSelectCell) and makes the row the grid's
  // one selected row, so that the next sort follows this row and no stale one; the view is
  // put back, since selecting a row does not scroll.
  const int32_t top = FGrid.TopRow();
  const int32_t left = FGrid.LeftCol();
  FGrid.GoToCell(0, row, false);
  if (FGrid.TopRow() != top) FGrid.SetTopRow(top);
  if (FGrid.LeftCol() != left) FGrid.SetLeftCol(left);
  FGrid.SetSelection(TGridRect{0, row, kProtocolColumns - 1, row});
}

// ---------------------------------------------------------------------------------------------
// Row states

bool TProtocol::IsEntryRow(int32_t row) const { return Cell(pcStartTick, row).isEmpty(); }

bool TProtocol::IsFinisher(int32_t row) const {
  return Cell(pcLastLapTick, row) == QLatin1String("0") && Cell(pcLapCount, row) == QLatin1String("5") &&
         !Cell(pcTime, row).isEmpty();
}

// ---------------------------------------------------------------------------------------------
// Entry row

void TProtocol::AppendEntryRow() {
  BeforeRearranging();
  const int32_t n = FGrid.RowCount();
  FGrid.SetRowCount(n + 1);
  // A new row of its own: a row removed earlier keeps its texts and record behind the last row,
  // and they must not come back.
  Attach(n, TRowRecord::ForEntryRow());
  for (int32_t c = 0; c < FGrid.ColCount(); ++c)
    if (!Cell(c, n).isEmpty()) FGrid.SetCells(c, n, QString());
  SetCell(pcPlace, n, QStringLiteral("-"));
}

void TProtocol::EnsureEntryRow() {
  const int32_t last = FGrid.RowCount() - 1;
  if (last >= 1 && IsEntryRow(last)) return;
  std::vector<int32_t> entries;
  for (int32_t r = 1; r <= last; ++r)
    if (IsEntryRow(r)) entries.push_back(r);
  PutEntryRowsLast(entries);
}

void TProtocol::PutEntryRowsLast(const std::vector<int32_t>& entries) {
  const int32_t last = FGrid.RowCount() - 1;
  if (last >= 1 && IsEntryRow(last)) return;
  if (entries.empty()) {
    AppendEntryRow();
    return;
  }
  // Every entry row goes behind the riders, in the order they stand.
  BeforeRearranging();
  int32_t moved = 0;
  for (int32_t r : entries) FGrid.MoveRow(r - moved++, last);
  // The current row moved with its line; the grid's list of selected rows must follow it.
  const QString current = QString::number(FGrid.Row());
  if (FGrid.SelectedRows() != QStringList{current}) {
    const int32_t top = FGrid.TopRow();
    FGrid.GoToCell(FGrid.Col(), FGrid.Row(), false);
    if (FGrid.TopRow() != top) FGrid.SetTopRow(top);
  }
}

// ---------------------------------------------------------------------------------------------
// Start, lap, stop

void TProtocol::RecordStart(uint32_t tick, const QString& numberText, const QString& name, const QString& category) {
  // Growing the grid moves its current cell to row 1, so the row is addressed explicitly.
  const int32_t r = FGrid.Row();
  TRiderTimes times;
  times.Started = true;
  times.Start = UsableTick(tick);
  EditRecord(r).Times = times;
  SetCell(pcPlace, r, QStringLiteral("-"));
  SetCell(pcNumber, r, numberText);
  SetCell(pcName, r, name);
  SetCell(pcCategory, r, category);
  ShowTimes(r);
  if (r == FGrid.RowCount() - 1) {
    AppendEntryRow();
    LayoutProtocolColumns();  // a scroll bar may have appeared
  }
  SetCell(pcNumber, r, StartNumberOf(numberText, r));
  MoveToRow(r + 1);
}

bool TProtocol::AddPress(int32_t row, uint32_t tick, bool stop) {
  const TRowRecord& record = Record(row);
  if (!record.Times || !record.Times->Started || record.Times->Stopped || record.Times->Laps() >= kRaceLaps)
    return false;  // not a rider on course: nothing to time
  TRiderTimes times = *record.Times;
  tick = UsableTick(tick);
  times.Presses.push_back(tick);
  times.Stopped = stop;
  if (OnLapTick) OnLapTick(tick);
  TFlagScope own(FRanking);  // the protocol's own bracket moves no rows
  TGridUpdateGuard bracket(FGrid);
  EditRecord(row).Times = times;
  ShowTimes(row);
  return true;
}

void TProtocol::RecordLap(uint32_t tick) {
  const int32_t r = FGrid.Row();
  if (!AddPress(r, tick, false)) return;
  // Riders pass roughly in start order: the next one is likely the row below.
  if (Record(r).Times->Laps() < kRaceLaps && r < FGrid.RowCount() - 1) MoveToRow(r + 1);
}

void TProtocol::StopRider(uint32_t tick) {
  const int32_t r = FGrid.Row();
  if (!AddPress(r, tick, true)) return;
  // Corrections typed into the entry fields are taken over at the stop.
  if (StartNumberField) SetCell(pcNumber, r, StartNumberField());
  if (NameField) SetCell(pcName, r, NameField());
  if (CategoryField) SetCell(pcCategory, r, CategoryField());
  if (!IsFinisher(r)) {
    if (OnSelectRow) OnSelectRow(r);
    return;
  }
  RankFinishers();
  // The name field now shows the row the ranking selected. An empty name would find the first
  // nameless rider rather than anyone in particular, so it leaves the selection alone.
  const QString name = NameField ? NameField() : QString();
  if (name.isEmpty()) return;
  const int32_t found = FGrid.FindRow(pcName, name, false);
  if (found > 0) SelectRow(found);
}

void TProtocol::ShowTimes(int32_t row) {
  const TRowRecord& record = Record(row);
  if (!record.Times) return;
  const TTimeCells cells = ComputeTimeCells(*record.Times, FLapDistance);
  for (int32_t c = pcLap5; c <= pcStartTick; ++c) SetCell(c, row, cells[static_cast<size_t>(c - pcLap5)]);
}

// ---------------------------------------------------------------------------------------------
// Ranking

void TProtocol::SortGrid1GetSortStyle(int32_t Col, TSortStyle& SortStyle) {
  if (Col == pcCategory) {
    SortStyle = ssNormal;
  } else if (Col == pcLapCount || Col == pcTime) {
    FGrid.SortOptions().CustomCompare = CompareByLength;
    SortStyle = ssCustom;
  }
}

void TProtocol::SortGrid1GetCellFormat(int32_t Col, int32_t Row, TFormatOptions& FormatOptions) {
  ProtocolCellAlignment(Col, Row, FormatOptions);
}

// No copies, since the ranking compares every row's category.
bool SameCategory(const QString& a, const QString& b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    char16_t x = a[i].unicode(), y = b[i].unicode();
    if (x >= u'A' && x <= u'Z') x += u'a' - u'A';
    if (y >= u'A' && y <= u'Z') y += u'a' - u'A';
    if (x != y) return false;
  }
  return true;
}

std::vector<int32_t> TProtocol::NumberPlaces() {
  // Categories compare as the sort compares them, ignoring letter case, so that one group of
  // the sorted protocol is one category.
  std::vector<int32_t> entries;
  int32_t counter = 1;
  QString lastCategory = Cell(pcCategory, 1);
  QString lastTime;
  QString lastPlace;
  for (int32_t r = 1; r < FGrid.RowCount(); ++r) {
    const QString time = Cell(pcTime, r);
    if (time.isEmpty()) {
      // Only a row without a time can be an entry row; finishers need not be asked.
      if (IsEntryRow(r)) entries.push_back(r);
      continue;
    }
    if (Cell(pcLapCount, r) != QLatin1String("5")) continue;
    const QString category = Cell(pcCategory, r);
    if (!SameCategory(category, lastCategory)) {
      counter = 1;
      lastTime.clear();
      lastCategory = category;
    }
    QString place;
    if (time == lastTime) {
      place = lastPlace;  // a tie: the counter does not advance
    } else {
      place = QString::number(counter++);
      lastTime = time;
      lastPlace = place;
    }
    if (Cell(pcPlace, r) != place) SetCell(pcPlace, r, place);
  }
  return entries;
}

void TProtocol::RankFinishers() {
  BeforeRearranging();
  std::vector<int32_t> entries;
  {
    TFlagScope ranking(FRanking);
    TSortOptions& sort = FGrid.SortOptions();
    sort.SetCanSort(true);  // from now on a header click sorts too
    sort.SetSortDirection(sdAscending);
    // The order is category, then time, then lap count, then the order before: what stable
    // sorts by "Zeit", then by "R.Z" and "Zeit", then by "Kat" and "Zeit" leave. One sort by
    // "Kat" with "Zeit" and "R.Z" as further keys leaves exactly that order in three passes
    // instead of five, which the operator's next key press waits for.
    const QString secondary = sort.SecondaryIndex();
    sort.SetSecondaryIndex(QStringLiteral("11,9"));
    FGrid.SortByColumn(pcCategory);
    sort.SetSecondaryIndex(secondary);
    TGridUpdateGuard bracket(FGrid);
    entries = NumberPlaces();
  }
  PutEntryRowsLast(entries);
  // The next command is most likely a START: the entry row, where the rider without a time
  // used to sort to, is selected. It is the last row now.
  SelectRow(FGrid.RowCount() - 1);
}

// ---------------------------------------------------------------------------------------------
// Row removal

void TProtocol::mCutClick() {
  const int32_t r = FGrid.Row();
  if (r <= 0) return;
  if (FGrid.RowCount() < 3) {
    // The only data row is emptied in place (the grid keeps one row) and becomes an entry row.
    for (int32_t c = 0; c < kProtocolColumns; ++c) SetCell(c, r, QString());
    EditRecord(r) = TRowRecord::ForEntryRow();
  } else {
    BeforeRemoving(r);
  }
  FGrid.DeleteRow(r);
  RankFinishers();
}
