// Grid base: construction, properties, geometry, moving the current cell, line moves, size
// changes and the update bracket. Input lives in MyGridsInput.cpp, painting in MyGridsPaint.cpp,
// storage in MyGridsSparse.cpp and MyGridsStrings.cpp.
#include "grid/MyGrids.h"

#include <QApplication>
#include <QScrollBar>
#include <algorithm>

namespace {

const char* const kIndexOutOfRange = "Grid index out of range";

template <typename T>
T Clamp(T value, T low, T high) {
  return value < low ? low : (value > high ? high : value);
}

}  // namespace

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
  TShiftState s;
  if (modifiers & Qt::ShiftModifier) s += ssShift;
  if (modifiers & Qt::AltModifier) s += ssAlt;
  if (modifiers & Qt::ControlModifier) s += ssCtrl;
  if (buttons & Qt::LeftButton) s += ssLeft;
  if (buttons & Qt::RightButton) s += ssRight;
  if (buttons & Qt::MiddleButton) s += ssMiddle;
  return s;
}

// ---------------------------------------------------------------------------------------------
// Construction

TMyCustomGrid::TMyCustomGrid(QWidget* parent) : QAbstractScrollArea(parent) {
  FTopLeft = {FFixedCols, FFixedRows};
  FCurrent = FTopLeft;
  FAnchor = FCurrent;
  setFocusPolicy(Qt::StrongFocus);
  setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  horizontalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setSingleStep(1);
  horizontalScrollBar()->installEventFilter(this);
  verticalScrollBar()->installEventFilter(this);
  connect(horizontalScrollBar(), &QScrollBar::sliderReleased, this, [this] { ApplyPendingThumb(); });
  connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, [this] { ApplyPendingThumb(); });
  viewport()->setMouseTracking(true);  // the sizing cursor follows the pointer
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  FScrollTimer.setInterval(60);
  connect(&FScrollTimer, &QTimer::timeout, this, [this] { ScrollTimerTick(); });
  resize(FColCount * FDefaultColWidth, FRowCount * FDefaultRowHeight);
  UpdateScrollRange();
}

TMyCustomGrid::~TMyCustomGrid() {
  FDestroying = true;
  DestroyEditor();
  if (FWaitCursor) QApplication::restoreOverrideCursor();
}

void TMyCustomGrid::DestroyEditor() {
  FDestroying = true;
  delete FInplaceEdit;
  FInplaceEdit = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Properties

void TMyCustomGrid::SetBorderStyle(TBorderStyle value) {
  if (value == FBorderStyle) return;
  FBorderStyle = value;
  setFrameStyle(value == bsSingle ? (QFrame::WinPanel | QFrame::Sunken) : QFrame::NoFrame);
  UpdateScrollRange();
}

void TMyCustomGrid::SetCol(int32_t value) {
  if (value != FCurrent.X) MoveColRow(value, FCurrent.Y, true, true);
}

void TMyCustomGrid::SetRow(int32_t value) {
  if (value != FCurrent.Y) MoveColRow(FCurrent.X, value, true, true);
}

void TMyCustomGrid::SetColCount(int32_t value) {
  if (value < 1) value = 1;
  if (value == FColCount) return;
  ChangeSize(value, FRowCount);
  if (FOptions.Contains(goRowSelect)) {
    FAnchor.X = FColCount - 1;
    InvalidateGrid();
  }
}

void TMyCustomGrid::SetRowCount(int32_t value) {
  if (value < 1) value = 1;
  if (value == FRowCount) return;
  ChangeSize(FColCount, value);
}

int32_t TMyCustomGrid::ColWidths(int32_t Index) const {
  // Inside an update bracket the table may be shorter than the count: never read past it.
  if (Index >= 0 && Index < FColCount && Index < static_cast<int32_t>(FColWidths.size()))
    return FColWidths[static_cast<size_t>(Index)];
  return FDefaultColWidth;
}

void TMyCustomGrid::SetColWidths(int32_t Index, int32_t value) {
  if (Index < 0 || Index >= FColCount) throw EInvalidOperation(kIndexOutOfRange);
  if (static_cast<int32_t>(FColWidths.size()) < FColCount)
    ModifyExtents(FColWidths, FColCount - static_cast<int32_t>(FColWidths.size()), FDefaultColWidth);
  if (FColWidths[static_cast<size_t>(Index)] == value) return;
  InvalidateGrid();
  FColWidths[static_cast<size_t>(Index)] = value;
  ColWidthsChanged();
}

int32_t TMyCustomGrid::RowHeights(int32_t Index) const {
  if (Index >= 0 && Index < FRowCount && Index < static_cast<int32_t>(FRowHeights.size()))
    return FRowHeights[static_cast<size_t>(Index)];
  return FDefaultRowHeight;
}

void TMyCustomGrid::SetRowHeights(int32_t Index, int32_t value) {
  if (Index < 0 || Index >= FRowCount) throw EInvalidOperation(kIndexOutOfRange);
  if (static_cast<int32_t>(FRowHeights.size()) < FRowCount)
    ModifyExtents(FRowHeights, FRowCount - static_cast<int32_t>(FRowHeights.size()), FDefaultRowHeight);
  if (FRowHeights[static_cast<size_t>(Index)] == value) return;
  InvalidateGrid();
  FRowHeights[static_cast<size_t>(Index)] = value;
  RowHeightsChanged();
}

bool TMyCustomGrid::TabStops(int32_t Index) const {
  if (Index >= 0 && Index < FColCount && Index < static_cast<int32_t>(FTabStops.size()))
    return FTabStops[static_cast<size_t>(Index)] != 0;
  return true;
}

void TMyCustomGrid::SetTabStops(int32_t Index, bool value) {
  if (Index < 0 || Index >= FColCount) throw EInvalidOperation(kIndexOutOfRange);
  if (static_cast<int32_t>(FTabStops.size()) < FColCount)
    ModifyExtents<uint8_t>(FTabStops, FColCount - static_cast<int32_t>(FTabStops.size()), 1);
  FTabStops[static_cast<size_t>(Index)] = value ? 1 : 0;
}

void TMyCustomGrid::SetColor(TColor value) {
  if (value == FColor) return;
  FColor = value;
  InvalidateGrid();
}

void TMyCustomGrid::SetDefaultColWidth(int32_t value) {
  FColWidths.clear();
  FDefaultColWidth = value;
  ColWidthsChanged();
  InvalidateGrid();
}

void TMyCustomGrid::SetDefaultRowHeight(int32_t value) {
  FRowHeights.clear();
  FDefaultRowHeight = value;
  RowHeightsChanged();
  InvalidateGrid();
}

void TMyCustomGrid::SetDefaultDrawing(bool value) {
  if (value == FDefaultDrawing) return;
  FDefaultDrawing = value;
  InvalidateGrid();
}

void TMyCustomGrid::SetEditorMode(bool value) {
  if (!value) {
    HideEditor();
    return;
  }
  ShowEditor();
  if (FInplaceEdit != nullptr) FInplaceEdit->Deselect();
}

void TMyCustomGrid::SetFixedColor(TColor value) {
  if (value == FFixedColor) return;
  FFixedColor = value;
  InvalidateGrid();
}

void TMyCustomGrid::SetFixedCols(int32_t value) {
  if (value < 0) throw EInvalidOperation(kIndexOutOfRange);
  if (value >= FColCount) throw EInvalidOperation("Fixed column count must be less than column count");
  FFixedCols = value;
  ResetToFixed();
}

void TMyCustomGrid::SetFixedRows(int32_t value) {
  if (value < 0) throw EInvalidOperation(kIndexOutOfRange);
  if (value >= FRowCount) throw EInvalidOperation("Fixed row count must be less than row count");
  FFixedRows = value;
  ResetToFixed();
}

void TMyCustomGrid::ResetToFixed() {
  FTopLeft = {FFixedCols, FFixedRows};
  FCurrent = FTopLeft;
  FAnchor = FCurrent;
  if (FOptions.Contains(goRowSelect)) FAnchor.X = FColCount - 1;
  UpdateScrollRange();
  InvalidateEditor();
  InvalidateGrid();
}

void TMyCustomGrid::SetGridLineWidth(int32_t value) {
  if (value == FGridLineWidth) return;
  FGridLineWidth = value;
  UpdateScrollRange();
  InvalidateGrid();
}

void TMyCustomGrid::SetLeftCol(int32_t value) {
  if (value != FTopLeft.X) MoveTopLeft(value, FTopLeft.Y);
}

void TMyCustomGrid::SetTopRow(int32_t value) {
  if (value != FTopLeft.Y) MoveTopLeft(FTopLeft.X, value);
}

void TMyCustomGrid::SetOptions(TGridOptions value) {
  if (value == FOptions) return;
  if (value.Contains(goRowSelect)) value -= goAlwaysShowEditor;
  const bool linesChanged = (value * TGridOptions{goFixedVertLine, goFixedHorzLine, goVertLine, goHorzLine}) !=
                            (FOptions * TGridOptions{goFixedVertLine, goFixedHorzLine, goVertLine, goHorzLine});
  FOptions = value;
  if (!FEditorMode) {
    if (value.Contains(goAlwaysShowEditor))
      ShowEditor();
    else
      HideEditor();
  }
  if (value.Contains(goRowSelect) && FCurrent.X < FColCount && FCurrent.Y < FRowCount) {
    MoveColRow(FCurrent.X, FCurrent.Y, false, true);
    // The anchor keeps its row but, as in every row selection, spans to the last column.
    FAnchor.X = FColCount - 1;
  }
  if (linesChanged) UpdateScrollRange();
  InvalidateGrid();
}

void TMyCustomGrid::SetScrollBars(TScrollStyle value) {
  if (value == FScrollBars) return;
  FScrollBars = value;
  const bool horz = value == ssHorizontal || value == ssBoth;
  const bool vert = value == ssVertical || value == ssBoth;
  setHorizontalScrollBarPolicy(horz ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(vert ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  UpdateScrollRange();
}

TGridRect TMyCustomGrid::Selection() const {
  return {std::min(FAnchor.X, FCurrent.X), std::min(FAnchor.Y, FCurrent.Y), std::max(FAnchor.X, FCurrent.X),
          std::max(FAnchor.Y, FCurrent.Y)};
}

void TMyCustomGrid::SetSelection(const TGridRect& value) {
  FAnchor = {value.Left, value.Top};
  FCurrent = {value.Right, value.Bottom};
  SelectionMoved();
}

int32_t TMyCustomGrid::VisibleColCount() const {
  const TAxisInfo info = AxisInfo(true);
  return std::max(0, info.LastFullVisibleCell - info.FirstGridCell + 1);
}

int32_t TMyCustomGrid::VisibleRowCount() const {
  const TAxisInfo info = AxisInfo(false);
  return std::max(0, info.LastFullVisibleCell - info.FirstGridCell + 1);
}

// ---------------------------------------------------------------------------------------------
// Geometry

int32_t TMyCustomGrid::Advance(bool horz, int32_t index, int32_t lineWidth) const {
  if (IsHiddenCell(horz, index)) return 0;
  return std::max(0, Extent(horz, index) + lineWidth);
}

TMyCustomGrid::TAxisInfo TMyCustomGrid::AxisInfo(bool horz) const {
  TAxisInfo a;
  const bool lines = horz ? (FOptions.Contains(goVertLine) || FOptions.Contains(goFixedVertLine))
                          : (FOptions.Contains(goHorzLine) || FOptions.Contains(goFixedHorzLine));
  a.LineWidth = lines ? LinePixels() : 0;
  a.FixedCellCount = horz ? FFixedCols : FFixedRows;
  a.FirstGridCell = horz ? FTopLeft.X : FTopLeft.Y;
  a.GridCellCount = horz ? FColCount : FRowCount;
  a.GridExtent = horz ? viewport()->width() : viewport()->height();
  int32_t pos = 0;
  for (int32_t i = 0; i < a.FixedCellCount && i < a.GridCellCount; ++i) pos = AddPixels(pos, Advance(horz, i, a.LineWidth));
  a.FixedBoundary = pos;
  a.LastFullVisibleCell = a.FirstGridCell - 1;
  for (int32_t i = std::max(a.FirstGridCell, 0); i < a.GridCellCount; ++i) {
    if (IsHiddenCell(horz, i)) {  // takes no space: visible wherever the next cell would start
      if (pos <= a.GridExtent) a.LastFullVisibleCell = i;
      continue;
    }
    const int32_t extent = Extent(horz, i);
    if (AddPixels(pos, extent) <= a.GridExtent) a.LastFullVisibleCell = i;
    pos = AddPixels(pos, Advance(horz, i, a.LineWidth));
    if (pos > a.GridExtent) break;
  }
  a.GridBoundary = std::min(pos, a.GridExtent);
  return a;
}

int32_t TMyCustomGrid::CellStart(const TAxisInfo& info, bool horz, int32_t index) const {
  if (index < 0 || index >= info.GridCellCount) return -1;
  int32_t pos = 0;
  if (index < info.FixedCellCount) {
    for (int32_t i = 0; i < index; ++i) pos = AddPixels(pos, Advance(horz, i, info.LineWidth));
    return pos;
  }
  if (index < info.FirstGridCell) return -1;
  pos = info.FixedBoundary;
  for (int32_t i = info.FirstGridCell; i < index; ++i) {
    pos = AddPixels(pos, Advance(horz, i, info.LineWidth));
    if (pos >= info.GridExtent) return -1;
  }
  return pos < info.GridExtent ? pos : -1;
}

int32_t TMyCustomGrid::CellAt(const TAxisInfo& info, bool horz, int32_t pos) const {
  if (pos < 0 || pos >= info.GridExtent) return -1;
  int32_t start = 0;
  if (pos < info.FixedBoundary) {
    for (int32_t i = 0; i < info.FixedCellCount && i < info.GridCellCount; ++i) {
      start = AddPixels(start, Advance(horz, i, info.LineWidth));
      if (pos < start) return i;
    }
    return -1;
  }
  start = info.FixedBoundary;
  for (int32_t i = std::max(info.FirstGridCell, 0); i < info.GridCellCount; ++i) {
    start = AddPixels(start, Advance(horz, i, info.LineWidth));
    if (pos < start) return i;
    if (start >= info.GridExtent) break;
  }
  return -1;
}

int32_t TMyCustomGrid::FirstCellShowing(bool horz, int32_t last) const {
  const TAxisInfo info = AxisInfo(horz);
  const int32_t fixed = info.FixedCellCount;
  if (last <= fixed) return fixed;
  const int32_t available = info.GridExtent - info.FixedBoundary;
  int64_t used = IsHiddenCell(horz, last) ? 0 : Extent(horz, last);
  int32_t first = last;
  while (first > fixed) {
    const int64_t next = used + Advance(horz, first - 1, info.LineWidth);
    if (next > available) break;
    used = next;
    --first;
  }
  return first;
}

int32_t TMyCustomGrid::MaxFirstCell(bool horz) const {
  return FirstCellShowing(horz, (horz ? FColCount : FRowCount) - 1);
}

TGridCoord TMyCustomGrid::CalcMaxTopLeft() const { return {MaxFirstCell(true), MaxFirstCell(false)}; }

TRect TMyCustomGrid::CellRect(int32_t ACol, int32_t ARow) const {
  if (ACol < 0 || ARow < 0 || ACol >= FColCount || ARow >= FRowCount) return {};
  if (IsHiddenCell(true, ACol) || IsHiddenCell(false, ARow)) return {};
  const TAxisInfo h = AxisInfo(true);
  const TAxisInfo v = AxisInfo(false);
  const int32_t x = CellStart(h, true, ACol);
  const int32_t y = CellStart(v, false, ARow);
  if (x < 0 || y < 0) return {};
  return {x, y, AddPixels(x, Extent(true, ACol)), AddPixels(y, Extent(false, ARow))};
}

TGridCoord TMyCustomGrid::MouseCoord(int X, int Y) const {
  const TGridCoord c{CellAt(AxisInfo(true), true, X), CellAt(AxisInfo(false), false, Y)};
  if (c.X < 0 || c.Y < 0) return {-1, -1};
  return c;
}

// ---------------------------------------------------------------------------------------------
// Scrolling

void TMyCustomGrid::UpdateScrollRange() {
  if (FSettingScrollBars || FDestroying) return;
  // Showing or hiding a scroll bar resizes the viewport, which changes what fits: repeat until
  // the layout settles.
  for (int pass = 0; pass < 3; ++pass) {
    const QSize before = viewport()->size();
    FSettingScrollBars = true;
    const TGridCoord max = CalcMaxTopLeft();
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    h->setRange(FFixedCols, std::max(FFixedCols, max.X));
    h->setPageStep(std::max(1, VisibleColCount()));
    v->setRange(FFixedRows, std::max(FFixedRows, max.Y));
    v->setPageStep(std::max(1, VisibleRowCount()));
    FSettingScrollBars = false;
    if (viewport()->size() == before) break;
  }
  ScrollBarsUpdated();
  const TGridCoord max = CalcMaxTopLeft();
  const TGridCoord topLeft{std::min(FTopLeft.X, std::max(FFixedCols, max.X)),
                           std::min(FTopLeft.Y, std::max(FFixedRows, max.Y))};
  if (topLeft == FTopLeft)
    UpdateScrollPos();
  else
    MoveTopLeft(topLeft.X, topLeft.Y);
}

void TMyCustomGrid::UpdateScrollPos() {
  if (FSettingScrollBars) return;
  FSettingScrollBars = true;
  horizontalScrollBar()->setValue(FTopLeft.X);
  verticalScrollBar()->setValue(FTopLeft.Y);
  FSettingScrollBars = false;
}

void TMyCustomGrid::scrollContentsBy(int, int) {
  if (FSettingScrollBars) return;
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  // Without thumb tracking a dragged thumb scrolls only when it is let go.
  if (!FOptions.Contains(goThumbTracking) && (h->isSliderDown() || v->isSliderDown())) return;
  try {
    MoveTopLeft(h->value(), v->value());
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

void TMyCustomGrid::ApplyPendingThumb() {
  try {
    MoveTopLeft(horizontalScrollBar()->value(), verticalScrollBar()->value());
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

void TMyCustomGrid::MoveTopLeft(int32_t ALeft, int32_t ATop) {
  if (ALeft == FTopLeft.X && ATop == FTopLeft.Y) return;
  FTopLeft = {ALeft, ATop};
  InvalidateGrid();
  UpdateScrollPos();
  TopLeftChanged();
}

void TMyCustomGrid::ClampInView(const TGridCoord& coord) {
  TGridCoord topLeft = FTopLeft;
  const TAxisInfo h = AxisInfo(true);
  const TAxisInfo v = AxisInfo(false);
  if (coord.X >= FFixedCols) {
    if (coord.X < FTopLeft.X)
      topLeft.X = coord.X;
    else if (coord.X > h.LastFullVisibleCell)
      topLeft.X = FirstCellShowing(true, coord.X);
  }
  if (coord.Y >= FFixedRows) {
    if (coord.Y < FTopLeft.Y)
      topLeft.Y = coord.Y;
    else if (coord.Y > v.LastFullVisibleCell)
      topLeft.Y = FirstCellShowing(false, coord.Y);
  }
  MoveTopLeft(topLeft.X, topLeft.Y);
}

// ---------------------------------------------------------------------------------------------
// Current cell and selection

void TMyCustomGrid::MoveColRow(int32_t ACol, int32_t ARow, bool MoveAnchor, bool Show) {
  if (ACol < 0 || ARow < 0 || ACol >= FColCount || ARow >= FRowCount) throw EInvalidOperation(kIndexOutOfRange);
  if (!SelectCell(ACol, ARow)) return;
  FCurrent = {ACol, ARow};
  if (!FOptions.Contains(goAlwaysShowEditor)) HideEditor();
  if (MoveAnchor || !FOptions.Contains(goRangeSelect)) {
    FAnchor = FCurrent;
    if (FOptions.Contains(goRowSelect)) FAnchor.X = FColCount - 1;
  }
  if (FOptions.Contains(goRowSelect)) FCurrent.X = FFixedCols;
  if (Show) ClampInView(FCurrent);
  SelectionMoved();
  if (FOptions.Contains(goAlwaysShowEditor)) UpdateEdit();
}

void TMyCustomGrid::FocusCell(int32_t ACol, int32_t ARow, bool MoveAnchor) {
  MoveColRow(ACol, ARow, MoveAnchor, true);
  InvalidateEditor();
  Click();
}

void TMyCustomGrid::SelectionMoved() { InvalidateGrid(); }

// ---------------------------------------------------------------------------------------------
// Moving lines

void TMyCustomGrid::MoveAdjust(int32_t& pos, int32_t from, int32_t to) const {
  if (pos == from)
    pos = to;
  else if (from < to && pos > from && pos <= to)
    --pos;
  else if (from > to && pos >= to && pos < from)
    ++pos;
}

void TMyCustomGrid::MoveExtent(std::vector<int32_t>& extents, int32_t from, int32_t to) {
  const auto f = extents.begin() + from;
  const auto t = extents.begin() + to;
  if (from < to)
    std::rotate(f, f + 1, t + 1);
  else
    std::rotate(t, f, f + 1);
}

void TMyCustomGrid::MoveColumn(int32_t FromIndex, int32_t ToIndex) {
  if (FromIndex < 0 || ToIndex < 0 || FromIndex >= FColCount || ToIndex >= FColCount)
    throw EInvalidOperation(kIndexOutOfRange);
  if (FromIndex == ToIndex) return;
  if (!FColWidths.empty()) {
    if (static_cast<int32_t>(FColWidths.size()) < FColCount)
      ModifyExtents(FColWidths, FColCount - static_cast<int32_t>(FColWidths.size()), FDefaultColWidth);
    MoveExtent(FColWidths, FromIndex, ToIndex);
  }
  if (!FTabStops.empty()) {
    if (static_cast<int32_t>(FTabStops.size()) < FColCount)
      ModifyExtents<uint8_t>(FTabStops, FColCount - static_cast<int32_t>(FTabStops.size()), 1);
    const auto f = FTabStops.begin() + FromIndex;
    const auto t = FTabStops.begin() + ToIndex;
    if (FromIndex < ToIndex)
      std::rotate(f, f + 1, t + 1);
    else
      std::rotate(t, f, f + 1);
  }
  MoveAdjust(FCurrent.X, FromIndex, ToIndex);
  MoveAdjust(FAnchor.X, FromIndex, ToIndex);
  if (FInplaceEdit != nullptr) MoveAdjust(FInplaceEdit->FCol, FromIndex, ToIndex);
  if (FOptions.Contains(goRowSelect)) {  // a row selection always spans every column
    FCurrent.X = FFixedCols;
    FAnchor.X = FColCount - 1;
  }
  ColumnMoved(FromIndex, ToIndex);
  InvalidateGrid();
  ColWidthsChanged();
}

void TMyCustomGrid::MoveRow(int32_t FromIndex, int32_t ToIndex) {
  if (FromIndex < 0 || ToIndex < 0 || FromIndex >= FRowCount || ToIndex >= FRowCount)
    throw EInvalidOperation(kIndexOutOfRange);
  if (FromIndex == ToIndex) return;
  if (!FRowHeights.empty()) {
    if (static_cast<int32_t>(FRowHeights.size()) < FRowCount)
      ModifyExtents(FRowHeights, FRowCount - static_cast<int32_t>(FRowHeights.size()), FDefaultRowHeight);
    MoveExtent(FRowHeights, FromIndex, ToIndex);
  }
  MoveAdjust(FCurrent.Y, FromIndex, ToIndex);
  MoveAdjust(FAnchor.Y, FromIndex, ToIndex);
  if (FInplaceEdit != nullptr) MoveAdjust(FInplaceEdit->FRow, FromIndex, ToIndex);
  RowMoved(FromIndex, ToIndex);
  InvalidateGrid();
  RowHeightsChanged();
}

void TMyCustomGrid::DeleteColumn(int32_t ACol) {
  MoveColumn(ACol, FColCount - 1);
  SetColCount(FColCount - 1);
}

void TMyCustomGrid::DeleteRow(int32_t ARow) {
  MoveRow(ARow, FRowCount - 1);
  SetRowCount(FRowCount - 1);
}

// ---------------------------------------------------------------------------------------------
// Size change

void TMyCustomGrid::ChangeSize(int32_t NewColCount, int32_t NewRowCount) {
  const int32_t oldColCount = FColCount;
  const int32_t oldRowCount = FRowCount;
  const int32_t oldFixedCols = FFixedCols;
  const int32_t oldFixedRows = FFixedRows;
  FColCount = NewColCount;
  FRowCount = NewRowCount;
  if (FFixedCols >= NewColCount) FFixedCols = NewColCount - 1;
  if (FFixedRows >= NewRowCount) FFixedRows = NewRowCount - 1;
  // Inside an update bracket only the counts are recorded.
  if (FNowUpdating) return;
  try {
    SizeBookkeeping();
    SizeChanged(oldColCount, oldRowCount);
  } catch (...) {
    FColCount = oldColCount;
    FRowCount = oldRowCount;
    FFixedCols = oldFixedCols;
    FFixedRows = oldFixedRows;
    try {
      SizeBookkeeping();
    } catch (...) {
      // the first failure is the one to report
    }
    InvalidateGrid();
    throw;
  }
}

void TMyCustomGrid::SizeBookkeeping() {
  if (!FColWidths.empty())
    ModifyExtents(FColWidths, FColCount - static_cast<int32_t>(FColWidths.size()), FDefaultColWidth);
  if (!FTabStops.empty())
    ModifyExtents<uint8_t>(FTabStops, FColCount - static_cast<int32_t>(FTabStops.size()), 1);
  if (!FRowHeights.empty())
    ModifyExtents(FRowHeights, FRowCount - static_cast<int32_t>(FRowHeights.size()), FDefaultRowHeight);

  const TGridCoord clamped{std::min(FCurrent.X, FColCount - 1), std::min(FCurrent.Y, FRowCount - 1)};
  if (!(clamped == FCurrent)) {
    MoveColRow(clamped.X, clamped.Y, true, true);
    // A refused move must not leave the current cell outside the grid.
    if (FCurrent.X >= FColCount || FCurrent.Y >= FRowCount) FCurrent = clamped;
    if (FAnchor.X >= FColCount || FAnchor.Y >= FRowCount) {
      FAnchor = FCurrent;
      if (FOptions.Contains(goRowSelect)) FAnchor.X = FColCount - 1;
    }
  }
  UpdateScrollRange();
  InvalidateGrid();
  if (FInplaceEdit != nullptr && !FInplaceEdit->isHidden()) InvalidateEditor();
}

// ---------------------------------------------------------------------------------------------
// Update bracket

void TMyCustomGrid::BeginUpdate() {
  FNowUpdating = true;
  if (!FWaitCursor) {  // brackets are not counted, so neither is the cursor
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FWaitCursor = true;
  }
  setUpdatesEnabled(false);
  FInputDisabled = true;
  if (OnBeginUpdate) OnBeginUpdate(this);
}

void TMyCustomGrid::EndUpdate() {
  ChangeSize(FColCount, FRowCount);  // still updating: records the counts and nothing more
  InvalidateGrid();
  setUpdatesEnabled(true);
  FInputDisabled = false;
  if (FWaitCursor) {
    QApplication::restoreOverrideCursor();
    FWaitCursor = false;
  }
  FNowUpdating = false;
}

TGridUpdateGuard::TGridUpdateGuard(TMyCustomGrid& grid) : FGrid(grid), FExceptions(std::uncaught_exceptions()) {
  FGrid.BeginUpdate();
}

TGridUpdateGuard::~TGridUpdateGuard() noexcept(false) {
  if (std::uncaught_exceptions() > FExceptions) {
    try {
      FGrid.EndUpdate();
    } catch (...) {
      // already unwinding: the first error is the one that counts
    }
    return;
  }
  FGrid.EndUpdate();
}

// ---------------------------------------------------------------------------------------------
// Repaint requests

void TMyCustomGrid::InvalidateGrid() {
  if (isVisible()) viewport()->update();
}

void TMyCustomGrid::InvalidateCell(int32_t ACol, int32_t ARow) {
  if (!isVisible()) return;
  const TRect r = CellRect(ACol, ARow);
  if (!r.IsEmpty()) viewport()->update(r.ToQRect().adjusted(0, 0, LinePixels(), LinePixels()));
}

void TMyCustomGrid::InvalidateRow(int32_t ARow) {
  if (!isVisible()) return;
  const TAxisInfo v = AxisInfo(false);
  const int32_t y = CellStart(v, false, ARow);
  if (y >= 0) viewport()->update(QRect(0, y, viewport()->width(), Extent(false, ARow) + LinePixels()));
}

void TMyCustomGrid::InvalidateCol(int32_t ACol) {
  if (!isVisible()) return;
  const TAxisInfo h = AxisInfo(true);
  const int32_t x = CellStart(h, true, ACol);
  if (x >= 0) viewport()->update(QRect(x, 0, Extent(true, ACol) + LinePixels(), viewport()->height()));
}

// ---------------------------------------------------------------------------------------------
// Hooks: base behaviour

void TMyCustomGrid::DrawCell(int32_t, int32_t, const TRect&, TGridDrawState) {}
bool TMyCustomGrid::SelectCell(int32_t, int32_t) { return true; }
QString TMyCustomGrid::GetEditText(int32_t, int32_t) { return QString(); }
void TMyCustomGrid::SetEditText(int32_t, int32_t, const QString&) {}
QString TMyCustomGrid::GetEditMask(int32_t, int32_t) { return QString(); }
bool TMyCustomGrid::CanEditModify() { return true; }
bool TMyCustomGrid::CanEditAcceptKey(QChar) { return true; }
bool TMyCustomGrid::CanGridAcceptKey(int, TShiftState) { return true; }
void TMyCustomGrid::ColumnMoved(int32_t, int32_t) {}
void TMyCustomGrid::RowMoved(int32_t, int32_t) {}
void TMyCustomGrid::SizeChanged(int32_t, int32_t) {}

void TMyCustomGrid::ColWidthsChanged() {
  UpdateScrollRange();
  if (FInplaceEdit != nullptr && !FInplaceEdit->isHidden()) UpdateEdit();
}

void TMyCustomGrid::RowHeightsChanged() {
  UpdateScrollRange();
  if (FInplaceEdit != nullptr && !FInplaceEdit->isHidden()) UpdateEdit();
}

void TMyCustomGrid::TopLeftChanged() {
  if (FInplaceEdit != nullptr && FEditorMode) UpdateEdit();
}

// ---------------------------------------------------------------------------------------------
// TMyCustomDrawGrid, TMyDrawGrid

TMyCustomDrawGrid::TMyCustomDrawGrid(QWidget* parent) : TMyCustomGrid(parent) {}

void TMyCustomDrawGrid::MouseToCell(int X, int Y, int32_t& ACol, int32_t& ARow) const {
  const TGridCoord c = MouseCoord(X, Y);
  ACol = c.X;
  ARow = c.Y;
}

void TMyCustomDrawGrid::ColumnMoved(int32_t FromIndex, int32_t ToIndex) {
  if (OnColumnMoved) OnColumnMoved(this, FromIndex, ToIndex);
}

void TMyCustomDrawGrid::RowMoved(int32_t FromIndex, int32_t ToIndex) {
  if (OnRowMoved) OnRowMoved(this, FromIndex, ToIndex);
}

void TMyCustomDrawGrid::DrawCell(int32_t ACol, int32_t ARow, const TRect& ARect, TGridDrawState AState) {
  if (OnDrawCell) OnDrawCell(this, ACol, ARow, ARect, AState);
}

QString TMyCustomDrawGrid::GetEditMask(int32_t ACol, int32_t ARow) {
  QString value;
  if (OnGetEditMask) OnGetEditMask(this, ACol, ARow, value);
  return value;
}

QString TMyCustomDrawGrid::GetEditText(int32_t ACol, int32_t ARow) {
  QString value;
  if (OnGetEditText) OnGetEditText(this, ACol, ARow, value);
  return value;
}

void TMyCustomDrawGrid::SetEditText(int32_t ACol, int32_t ARow, const QString& Value) {
  if (OnSetEditText) OnSetEditText(this, ACol, ARow, Value);
}

bool TMyCustomDrawGrid::SelectCell(int32_t ACol, int32_t ARow) {
  bool canSelect = true;
  if (OnSelectCell) OnSelectCell(this, ACol, ARow, canSelect);
  return canSelect;
}

void TMyCustomDrawGrid::TopLeftChanged() {
  TMyCustomGrid::TopLeftChanged();
  if (OnTopLeftChanged) OnTopLeftChanged(this);
}

TMyDrawGrid::TMyDrawGrid(QWidget* parent) : TMyCustomDrawGrid(parent) {}
