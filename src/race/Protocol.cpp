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

// The places of one category's finishers in ranked order: equal times share a place, and the
// next time takes the place its count gives.
class TPlaceCounter {
public:
  TPlaceCounter() = default;
  // Going on after a finisher with this time and place.
  TPlaceCounter(QString time, QString place) : counter_(place.toInt() + 1), lastTime_(std::move(time)), lastPlace_(std::move(place)) {}
  QString Next(const QString& time) {
    if (time == lastTime_) return lastPlace_;  // a tie: the counter does not advance
    lastTime_ = time;
    lastPlace_ = QString::number(counter_++);
    return lastPlace_;
  }

private:
  int32_t counter_ = 1;
  QString lastTime_, lastPlace_;
};

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
  FGrid.OnCellWriting = [this](int32_t ACol, int32_t ARow) { CellWriting(ACol, ARow); };
  FGrid.OnHeaderSort = [this](QObject*, const std::function<void()>& sort) {
    auto sortHere = [this, &sort] {
      FRankedOrder = false;
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
  FGrid.OnCellWriting = nullptr;
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
  FRankedOrder = false;
  FKeyChanges.clear();
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
  if (!PlaceChangedRows()) RankFinishers();
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
  TPlaceCounter places;
  QString lastCategory = Cell(pcCategory, 1);
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
      places = TPlaceCounter();
      lastCategory = category;
    }
    const QString place = places.Next(time);
    if (Cell(pcPlace, r) != place) SetCell(pcPlace, r, place);
  }
  return entries;
}

void TProtocol::RankFinishers() {
  FRankedOrder = false;
  BeforeRearranging();
  std::vector<int32_t> entries;
  const bool sorts = !FGrid.Sorting();
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
  if (!sorts) return;
  entries.clear();
  for (int32_t r = 1; r < FGrid.RowCount(); ++r)
    if (IsEntryRow(r)) entries.push_back(r);
  NoteRanked(std::move(entries));
}

void TProtocol::NoteRanked(std::vector<int32_t> entries) {
  FKeyChanges.clear();
  FRankEntries = std::move(entries);
  FRankStamp = FGrid.Data().Rearrangements();
  FRankedRowCount = FGrid.RowCount();
  FRankCaseSensitive = FGrid.SortOptions().SortCaseSensitive();
  FRankedOrder = FGrid.ParkedRowCount() == 0;
}

void TProtocol::CellWriting(int32_t col, int32_t row) {
  if (!FRankedOrder) return;
  if (col < 0 || row < 0) {
    FRankedOrder = false;  // a whole row or column at once: no telling which keys changed
    return;
  }
  if (row < 1 || (col != pcPlace && col != pcCategory && col != pcLapCount && col != pcTime && col != pcStartTick))
    return;
  // A row never written holds nothing and is an entry row, which is placed anyway.
  const void* line = FGrid.Data().Get(row);
  if (line != nullptr) FKeyChanges.try_emplace(line, TKeyChange{row, Cell(pcCategory, row)});
}

bool TProtocol::PlaceChangedRows() {
  const int32_t n = FGrid.RowCount();
  TSortOptions& sort = FGrid.SortOptions();
  if (!FRankedOrder || FGrid.Sorting() || FGrid.ParkedRowCount() != 0 || n < FRankedRowCount ||
      FGrid.Data().Rearrangements() != FRankStamp || sort.SortCaseSensitive() != FRankCaseSensitive ||
      sort.SortCaseSensitive())
    return false;
  // The rows to place: those whose keys changed, the entry rows, and the rows added since.
  std::vector<int32_t> changed;
  std::vector<const TKeyChange*> keyChanges;
  for (const auto& [line, change] : FKeyChanges) {
    if (change.Row >= n || FGrid.Data().Get(change.Row) != line) return false;
    changed.push_back(change.Row);
    keyChanges.push_back(&change);
  }
  for (int32_t r : FRankEntries)
    if (r < n) changed.push_back(r);
  for (int32_t r = FRankedRowCount; r < n; ++r) changed.push_back(r);
  std::sort(changed.begin(), changed.end());
  changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
  // Where much has changed, the whole sort is the quicker way.
  if (changed.size() * 4 > static_cast<size_t>(n) + 64) return false;

  BeforeRearranging();
  TFlagScope ranking(FRanking);
  FRankedOrder = false;
  sort.SetCanSort(true);
  sort.SetSortDirection(sdAscending);
  sort.SetSortCol(pcCategory);
  // The keys and their comparison are the sort's own (see RankFinishers).
  const QString secondary = sort.SecondaryIndex();
  sort.SetSecondaryIndex(QStringLiteral("11,9"));
  const TSortKeys keys = FGrid.SortKeysFor(pcCategory);
  sort.SetSecondaryIndex(secondary);

  auto isChanged = [&changed](int32_t r) { return std::binary_search(changed.begin(), changed.end(), r); };
  auto changedBefore = [&changed](int32_t r) {
    return static_cast<int32_t>(std::lower_bound(changed.begin(), changed.end(), r) - changed.begin());
  };
  // A stable sort orders by the keys, then by the rows' order before it.
  auto sortsBefore = [&](int32_t a, int32_t b) {
    const int c = FGrid.CompareRows(keys, a, b);
    return c != 0 ? c < 0 : a < b;
  };
  // Each changed row goes in front of the first unchanged row that the sort puts after it
  // (its anchor; n: behind all). The unchanged rows are in that order already.
  struct TPlaced {
    int32_t Row, Anchor, Final = 0;
    bool Entry = false;
  };
  std::vector<TPlaced> placed;
  placed.reserve(changed.size());
  for (int32_t u : changed) {
    int32_t lo = 1, hi = n;
    while (lo < hi) {
      const int32_t mid = lo + (hi - lo) / 2;
      int32_t c = mid;
      while (c < hi && isChanged(c)) ++c;
      if (c == hi)
        hi = mid;
      else if (sortsBefore(c, u))
        lo = c + 1;
      else
        hi = c;
    }
    while (lo < n && isChanged(lo)) ++lo;
    placed.push_back({u, lo, 0, Cell(pcTime, u).isEmpty() && IsEntryRow(u)});
  }
  std::sort(placed.begin(), placed.end(), [&](const TPlaced& a, const TPlaced& b) {
    return a.Anchor != b.Anchor ? a.Anchor < b.Anchor : sortsBefore(a.Row, b.Row);
  });

  // The sorted order's last row decides whether the entry rows go behind the riders, as
  // PutEntryRowsLast decides it.
  int32_t lastRow = -1;
  if (!placed.empty() && placed.back().Anchor == n) {
    lastRow = placed.back().Row;
  } else {
    for (int32_t r = n - 1; r >= 1 && lastRow < 0; --r)
      if (!isChanged(r)) lastRow = r;
  }
  const bool entriesLast = lastRow >= 1 && !IsEntryRow(lastRow);
  int32_t entryCount = 0;
  for (const TPlaced& p : placed) entryCount += p.Entry && entriesLast ? 1 : 0;
  int32_t inFront = 0, entryIndex = 0;
  for (TPlaced& p : placed) {
    const int32_t cleanBefore = p.Anchor - 1 - changedBefore(p.Anchor);
    if (p.Entry && entriesLast)
      p.Final = n - entryCount + entryIndex++;
    else
      p.Final = cleanBefore + ++inFront;
  }

  // Only the stretch between the first and the last row that moves changes.
  int32_t first = n, last = 0;
  for (const TPlaced& p : placed) {
    if (p.Final == p.Row) continue;
    first = std::min({first, p.Row, p.Final});
    last = std::max({last, p.Row, p.Final});
  }
  if (first <= last) {
    std::vector<const TPlaced*> byFinal;
    for (const TPlaced& p : placed)
      if (p.Final >= first && p.Final <= last) byFinal.push_back(&p);
    std::sort(byFinal.begin(), byFinal.end(), [](const TPlaced* a, const TPlaced* b) { return a->Final < b->Final; });
    std::vector<int32_t> order;
    order.reserve(static_cast<size_t>(last - first + 1));
    size_t next = 0;
    int32_t clean = first;
    for (int32_t q = first; q <= last; ++q) {
      if (next < byFinal.size() && byFinal[next]->Final == q) {
        order.push_back(byFinal[next++]->Row);
        continue;
      }
      while (isChanged(clean)) ++clean;
      order.push_back(clean++);
    }
    FGrid.ArrangeRowRange(first, order);
  }

  // The final row of an unchanged row at old position c.
  auto finalOfClean = [&](int32_t c) {
    int32_t ahead = 0;
    for (const TPlaced& p : placed)
      if (p.Anchor <= c && !(p.Entry && entriesLast)) ++ahead;
    return c - changedBefore(c) + ahead;
  };
  // Numbering: a category's places change from where a row joined or left it on; past the
  // last such row the places stand as they are once one does.
  const int32_t sortedEnd = entriesLast ? n - entryCount : n;
  struct TCategoryChange {
    QString Category;
    int32_t From, To;
  };
  std::vector<TCategoryChange> categories;
  auto touch = [&categories](const QString& category, int32_t row) {
    for (TCategoryChange& known : categories) {
      if (SameCategory(known.Category, category)) {
        known.From = std::min(known.From, row);
        known.To = std::max(known.To, row);
        return;
      }
    }
    categories.push_back({category, row, row});
  };
  for (const TPlaced& p : placed)
    if (!(p.Entry && entriesLast)) touch(Cell(pcCategory, p.Final), p.Final);
  for (const TKeyChange* change : keyChanges) {
    // It left its old category in front of the unchanged row that followed it.
    int32_t after = change->Row + 1;
    while (after < n && isChanged(after)) ++after;
    touch(change->OldCategory, after < n ? finalOfClean(after) : sortedEnd);
  }
  {
  TGridUpdateGuard bracket(FGrid);
  for (const TCategoryChange& change : categories) {
    // A category's rows are one stretch of the sorted rows.
    const QString key = sort.SortCaseSensitive() ? change.Category : LowerAscii(change.Category);
    auto bound = [&](int32_t lo, bool upper) {
      int32_t hi = sortedEnd;
      while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        const int c = FGrid.CompareCell(keys, 0, mid, key);
        if (c < 0 || (upper && c == 0))
          lo = mid + 1;
        else
          hi = mid;
      }
      return lo;
    };
    const int32_t groupFirst = bound(1, false);
    const int32_t groupEnd = bound(groupFirst, true);
    if (groupFirst >= groupEnd) continue;
    RenumberGroup(groupFirst, groupEnd, std::clamp(change.From, groupFirst, groupEnd), change.To);
  }

  }
  std::vector<int32_t> entries;
  for (const TPlaced& p : placed)
    if (p.Entry) entries.push_back(p.Final);
  std::sort(entries.begin(), entries.end());
  if (entries.empty() && entriesLast) {
    AppendEntryRow();
    entries.push_back(FGrid.RowCount() - 1);
  }
  SelectRow(FGrid.RowCount() - 1);
  NoteRanked(std::move(entries));
  return true;
}

void TProtocol::RenumberGroup(int32_t first, int32_t end, int32_t from, int32_t settled) {
  // The count goes on from the finisher in front: his place is right, nothing before him changed.
  TPlaceCounter places;
  for (int32_t r = from - 1; r >= first; --r) {
    const QString time = Cell(pcTime, r);
    if (time.isEmpty() || Cell(pcLapCount, r) != QLatin1String("5")) continue;
    places = TPlaceCounter(time, Cell(pcPlace, r));
    break;
  }
  for (int32_t r = from; r < end; ++r) {
    const QString time = Cell(pcTime, r);
    if (time.isEmpty() || Cell(pcLapCount, r) != QLatin1String("5")) continue;
    const QString place = places.Next(time);
    if (Cell(pcPlace, r) == place) {
      if (r > settled) return;
      continue;
    }
    SetCell(pcPlace, r, place);
  }
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
