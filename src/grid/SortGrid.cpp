// The sortable grid: construction, the update bracket, the size-change step, the selection
// lists, the mouse steps of header sorting, cell formats and column auto-sizing.
#include "grid/SortGrid.h"
#include "grid/SortGridAccessible.h"

#include <QFontMetrics>
#include <algorithm>

#include "grid/SortCompare.h"
#include "platform/Modal.h"

namespace {

// Locks the grid's drawing and puts the previous state back, whatever happens inside.
class TDrawingLock {
public:
  explicit TDrawingLock(QWidget& w) : FWidget(w), FWasEnabled(w.updatesEnabled()) { w.setUpdatesEnabled(false); }
  ~TDrawingLock() { FWidget.setUpdatesEnabled(FWasEnabled); }
  TDrawingLock(const TDrawingLock&) = delete;
  TDrawingLock& operator=(const TDrawingLock&) = delete;

private:
  QWidget& FWidget;
  bool FWasEnabled;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Font list

TFontSetting& TFontList::Add() {
  FItems.push_back(std::make_unique<TFontSetting>());
  return *FItems.back();
}

void TFontList::Delete(int32_t Index) {
  if (Index >= 0 && Index < Count()) FItems.erase(FItems.begin() + Index);
}

void TFontList::Move(int32_t FromIndex, int32_t ToIndex) {
  // After a Clear the list is shorter than the grid: a column move must not fail on it.
  if (FromIndex < 0 || ToIndex < 0 || FromIndex >= Count() || ToIndex >= Count()) return;
  const auto from = FItems.begin() + FromIndex;
  const auto to = FItems.begin() + ToIndex;
  if (FromIndex < ToIndex)
    std::rotate(from, from + 1, to + 1);
  else
    std::rotate(to, from, from + 1);
}

void TFontList::Resize(int32_t Delta) {
  for (int32_t i = 0; i < Delta; ++i) Add();
  for (int32_t i = 0; i < -Delta && !FItems.empty(); ++i) FItems.pop_back();
}

// ---------------------------------------------------------------------------------------------
// Construction

TSortGrid::TSortGrid(QWidget* parent) : TMyStringGrid(parent) {
  EnsureSortGridAccessible();
  SetFixedCols(0);
  FColumnFonts.Resize(ColCount());
  FRowFonts.Resize(RowCount());
  FSelectedRows << QString::number(Row());
  FSelectionTrail << QString::number(Row());
  FCanvasFont.Font = font();
}

TSortGrid::~TSortGrid() {
  DestroyDropDown();
  DestroyEditor();
}

// ---------------------------------------------------------------------------------------------
// Update bracket

void TSortGrid::BeginUpdate() {
  // Brackets are not counted; only the outermost one saves the setting, so a nested bracket
  // cannot lose it.
  const bool nested = NowUpdating();
  TMyStringGrid::BeginUpdate();
  if (!nested) {
    FSavedUpdateOnSizeChange = FSortOptions.UpdateOnSizeChange();
    FUpdateSettingSaved = true;
  }
  FSortOptions.SetUpdateOnSizeChange(false);
}

void TSortGrid::EndUpdate() {
  // A nested bracket has already ended the update. Ending it again must not run the size
  // bookkeeping and size-change step that a bracket's end never runs.
  if (NowUpdating())
    TMyStringGrid::EndUpdate();
  else
    InvalidateGrid();
  if (FUpdateSettingSaved) {
    FSortOptions.SetUpdateOnSizeChange(FSavedUpdateOnSizeChange);
    FUpdateSettingSaved = false;
  }
  if (OnEndUpdate) OnEndUpdate(this);
}

// ---------------------------------------------------------------------------------------------
// Hooks

void TSortGrid::SizeChanged(int32_t OldColCount, int32_t OldRowCount) {
  TMyStringGrid::SizeChanged(OldColCount, OldRowCount);
  SetModified(true);
  if (FSortOptions.UpdateOnSizeChange()) SortByColumn(FSortOptions.SortCol());
  if (!NowUpdating()) {
    try {
      GoToCell(0, 1, true);
    } catch (const std::exception&) {
      // a grid without data rows has no cell (0, 1) to go to
    }
  }
  FColumnFonts.Resize(ColCount() - OldColCount);
  FRowFonts.Resize(RowCount() - OldRowCount);
  if (RowCount() < 2) platform::ShowMessage(QStringLiteral("Rowsize too small"), MsgIcon::None, this);
  if (OnSizeChanged) OnSizeChanged(this, OldColCount, OldRowCount);
}

void TSortGrid::ColumnMoved(int32_t FromIndex, int32_t ToIndex) {
  SetModified(true);
  FColumnFonts.Move(FromIndex, ToIndex);
  const int32_t sortCol = FSortOptions.SortCol();
  if (FromIndex == sortCol)
    FSortOptions.SetSortCol(ToIndex);
  else if (ToIndex <= sortCol && sortCol < FromIndex)
    FSortOptions.SetSortCol(sortCol + 1);
  else if (FromIndex < sortCol && sortCol <= ToIndex)
    FSortOptions.SetSortCol(sortCol - 1);
  TMyStringGrid::ColumnMoved(FromIndex, ToIndex);
}

bool TSortGrid::SelectCell(int32_t ACol, int32_t ARow) {
  const bool result = SelectCellInEditor(ACol, ARow);
  if (result && FTracking) {
    SelectRowAlone(ARow);
    if (OnRowSelected) OnRowSelected(this);
  }
  InvalidateRow(Row());
  InvalidateRow(ARow);
  return result;
}

// ---------------------------------------------------------------------------------------------
// Modified, user settings

void TSortGrid::SetModified(bool Value) {
  FModified = Value;
  if (Value && OnModified) OnModified(this);
}

void TSortGrid::SetUserSettings(const QStringList& value) {
  FUserSettings = value;
  SetModified(true);
}

// ---------------------------------------------------------------------------------------------
// Selection

bool TSortGrid::IsRowSelected(int32_t ARow) const { return FSelectedRows.contains(QString::number(ARow)); }

void TSortGrid::ClearSelection() {
  for (const QString& row : std::as_const(FSelectedRows)) {
    int32_t r = 0;
    if (TryStrToInt(row, r)) InvalidateRow(r);
  }
  FSelectedRows.clear();
  if (FSelectionTrail.isEmpty())
    FSelectionTrail << QString();
  else
    FSelectionTrail = QStringList{QString()};
}

void TSortGrid::SelectRowAlone(int32_t ARow) {
  ClearSelection();
  FSelectionTrail[0] = QString::number(ARow);
  FSelectedRows << QString::number(ARow);
}

void TSortGrid::AddToSelection(int32_t ARow) {
  FSelectedRows << QString::number(ARow);
  FSelectionTrail << QString::number(ARow);
  InvalidateRow(ARow);
}

void TSortGrid::GoToCell(int32_t ACol, int32_t ARow, bool Scroll) {
  ACol = std::max(0, std::min(ACol, ColCount() - 1));
  ARow = std::max(1, std::min(ARow, RowCount() - 1));
  if (!SelectCell(ACol, ARow)) return;
  TDrawingLock lock(*this);
  MoveColRow(ACol, ARow, true, true);
  SelectRowAlone(ARow);
  SetCol(ACol);
  SetRow(ARow);
  InvalidateGrid();
  if (Scroll) ScrollToCell(ACol, ARow);
}

void TSortGrid::ScrollToCell(int32_t ACol, int32_t ARow) {
  ACol = std::max(0, std::min(ACol, ColCount() - 1));
  ARow = std::max(1, std::min(ARow, RowCount() - 1));
  while (ACol < LeftCol()) SetLeftCol(LeftCol() - 1);
  // Bounded, since a grid too small to show a whole column has no visible columns at all.
  while (ACol > LeftCol() + VisibleColCount() - 1 && LeftCol() < ACol) SetLeftCol(LeftCol() + 1);
  int32_t top = std::max(1, RowCount() - VisibleRowCount());
  if (top >= ARow) top = std::max(1, ARow - 1);
  SetTopRow(top);
}

// ---------------------------------------------------------------------------------------------
// Mouse

TGridCoord TSortGrid::CellAtPoint(int X, int Y) const {
  TGridCoord cell = MouseCoord(X, Y);
  if (cell.X >= 0 || RowCount() < 1) return cell;
  // Below the last row: the column under the pointer, on the last row.
  const TRect last = CellRect(0, RowCount() - 1);
  const int32_t col = MouseCoord(X, 0).X;
  if (col >= 0 && !last.IsEmpty() && Y >= last.Bottom) return {col, RowCount() - 1};
  return cell;
}

bool TSortGrid::IsOnHeaderBorder(int X, int Y) const {
  const TGridCoord cell = MouseCoord(X, Y);
  if (cell.Y != 0 || cell.X < 0) return false;
  const TRect r = CellRect(cell.X, 0);
  return X - r.Left <= 5 || r.Right - X <= 5;
}

void TSortGrid::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  FPressCell = CellAtPoint(X, Y);
  TMyStringGrid::MouseDown(Button, Shift, X, Y);
}

void TSortGrid::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  setFocus(Qt::MouseFocusReason);
  TMyStringGrid::MouseUp(Button, Shift, X, Y);
  const TGridCoord cell = CellAtPoint(X, Y);
  if (cell.Y == 0 && cell.X >= 0 && cell.X == FPressCell.X && !IsOnHeaderBorder(X, Y))
    HeaderClick(Button, cell.X);
}

void TSortGrid::HeaderClick(TMouseButton Button, int32_t ACol) {
  const auto sort = [this, Button, ACol] {
    TSortDirection direction = sdAscending;
    if (FSortOptions.SortDirection() == sdAscending && FSortOptions.SortCol() == ACol) direction = sdDescending;
    if (Button == mbRight) direction = sdDescending;
    FSortOptions.SetSortDirection(direction);
    InvalidateRow(0);
    SortByColumn(ACol);
  };
  if (OnHeaderSort)
    OnHeaderSort(this, sort);
  else
    sort();
}

// ---------------------------------------------------------------------------------------------
// Cell format, auto-size

void TSortGrid::SetAlignmentHorz(TAlignment value) {
  if (value == FAlignmentHorz) return;
  FAlignmentHorz = value;
  InvalidateGrid();
}

void TSortGrid::SetAlignmentVert(TVertAlignment value) {
  if (value == FAlignmentVert) return;
  FAlignmentVert = value;
  InvalidateGrid();
}

void TSortGrid::SetBevelStyle(TCellBevelStyle value) {
  if (value == FBevelStyle) return;
  FBevelStyle = value;
  InvalidateGrid();
}

TGridDrawState TSortGrid::CellState(int32_t ACol, int32_t ARow) const {
  TGridDrawState state;
  const TGridRect sel = Selection();
  if (ACol >= sel.Left && ACol <= sel.Right && ARow >= sel.Top && ARow <= sel.Bottom) state += gdSelected;
  if (GridHasFocus() && ACol == Col() && ARow == Row()) state += gdFocused;
  if (ARow == 0) state += gdFixed;
  return state;
}

void TSortGrid::GetCellFormat(int32_t ACol, int32_t ARow, TFormatOptions& FormatOptions, bool& CheckBox,
                              bool& Combobox, bool& Ellipsis) {
  FormatOptions.Brush = &FCanvasBrush;
  FormatOptions.Font = &FCanvasFont;
  FormatOptions.AlignmentHorz = FAlignmentHorz;
  FormatOptions.AlignmentVert = FAlignmentVert;
  FormatOptions.Bevel = FBevelStyle;
  switch (FBevelStyle) {
    case cbRaised:
      FormatOptions.HighlightColor = clBtnHighlight;
      FormatOptions.ShadowColor = clBtnShadow;
      break;
    case cbLowered:
      FormatOptions.HighlightColor = clBtnShadow;
      FormatOptions.ShadowColor = clBtnHighlight;
      break;
    case cbNone:
      FormatOptions.HighlightColor = clWindow;
      FormatOptions.ShadowColor = clWindow;
      break;
  }
  FormatOptions.HideText = false;
  CheckBox = false;
  Combobox = false;
  Ellipsis = false;
  if (OnGetCellFormat)
    OnGetCellFormat(this, ACol, ARow, CellState(ACol, ARow), FormatOptions, CheckBox, Combobox, Ellipsis);
}

void TSortGrid::AutoSizeColumn(int32_t ACol, bool Force) {
  if (ColWidths(ACol) == -1 && !Force) return;
  const bool glyph = ACol == FSortOptions.SortCol() && FSortOptions.CanSort();
  QFont measured = font();
  QFontMetrics metrics(measured);
  int32_t header = 0;
  int32_t widest = 0;
  for (int32_t i = 0; i < RowCount(); ++i) {
    FCanvasFont = TCellFont{font(), clWindowText};
    FCanvasBrush = TCellBrush{};
    TFormatOptions format;
    bool checkBox = false, combobox = false, ellipsis = false;
    GetCellFormat(ACol, i, format, checkBox, combobox, ellipsis);
    const QFont& cellFont = format.Font != nullptr ? format.Font->Font : font();
    if (!(cellFont == measured)) {
      measured = cellFont;
      metrics = QFontMetrics(measured);
    }
    const int32_t w = metrics.horizontalAdvance(Cells(ACol, i));
    if (i == 0)
      header = w + (glyph ? 12 : 0);
    else
      widest = std::max(widest, w);
  }
  widest = std::max(widest, header);
  SetColWidths(ACol, widest > 0 ? metrics.horizontalAdvance(QStringLiteral("X")) + widest
                                : metrics.horizontalAdvance(QStringLiteral("xx")));
}

void TSortGrid::AutoSizeColumns(bool Force) {
  TGridUpdateGuard bracket(*this);
  for (int32_t c = 0; c < ColCount(); ++c) AutoSizeColumn(c, Force);
}
