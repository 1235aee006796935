// The sort grid's multi-row selection, its key and mouse rules, row drags, quick search, row
// and column insertion and deletion, hidden rows, filtering, scroll bars and the stretched
// last column.
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "grid/SortCompare.h"
#include "grid/SortGrid.h"
#include "platform/Application.h"
#include "platform/Modal.h"

namespace {

bool IsNavigationKey(int key) {
  switch (key) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      return true;
    default:
      return false;
  }
}

TMouseButton ButtonOf(Qt::MouseButton button) {
  switch (button) {
    case Qt::RightButton: return mbRight;
    case Qt::MiddleButton: return mbMiddle;
    default: return mbLeft;
  }
}

QChar UpperAscii(QChar ch) {
  return (ch >= QLatin1Char('a') && ch <= QLatin1Char('z')) ? QChar(ch.unicode() - 'a' + 'A') : ch;
}

// Takes goAlwaysShowEditor out while rows or columns move, and puts it back.
class TEditorOptionOff {
public:
  explicit TEditorOptionOff(TSortGrid& grid) : FGrid(grid), FHad(grid.Options().Contains(goAlwaysShowEditor)) {
    if (FHad) FGrid.SetOptions(FGrid.Options() - goAlwaysShowEditor);
  }
  ~TEditorOptionOff() {
    if (FHad) FGrid.SetOptions(FGrid.Options() + goAlwaysShowEditor);
  }
  TEditorOptionOff(const TEditorOptionOff&) = delete;
  TEditorOptionOff& operator=(const TEditorOptionOff&) = delete;

private:
  TSortGrid& FGrid;
  bool FHad;
};

// Puts the row lists of positions first .. first + order.size() - 1 in a new order: new
// position first + i gets the list that stood at order[i]. A permutation moves ownership only.
void PermuteRows(TSparseList& data, int32_t first, const std::vector<int32_t>& order) {
  std::vector<void*> lists(order.size());
  for (size_t i = 0; i < order.size(); ++i) lists[i] = data.Get(order[i]);
  for (size_t i = 0; i < order.size(); ++i) data.Put(first + static_cast<int32_t>(i), lists[i]);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Properties

void TSortGrid::SetMultiSelect(bool value) {
  if (value == FMultiSelect) return;
  FMultiSelect = value;
  if (value) SetOptions(Options() + goRowSelect);
  InvalidateGrid();
}

void TSortGrid::SetHideRows(bool value) {
  FHideRows = value;
  if (RowCount() > 1) SetRow(1);
  InvalidateGrid();
}

void TSortGrid::SetProportionalScrollBars(bool value) {
  if (value == FProportionalScrollBars) return;
  FProportionalScrollBars = value;
  if (!value) {
    verticalScrollBar()->setPageStep(std::max(1, VisibleRowCount()));
    horizontalScrollBar()->setPageStep(std::max(1, VisibleColCount()));
  }
  ScrollBarsUpdated();
}

void TSortGrid::ScrollBarsUpdated() {
  TMyStringGrid::ScrollBarsUpdated();
  if (!FProportionalScrollBars) return;
  // Halves go to the even neighbour: the default rounding mode of nearbyint.
  auto page = [](double visible, double count, QScrollBar* bar) {
    const double positions = bar->maximum() - bar->minimum() + 1;
    bar->setPageStep(std::max(1, static_cast<int>(std::nearbyint(visible / count * positions))));
  };
  if (ScrollBars() == ssVertical || ScrollBars() == ssBoth)
    page(VisibleRowCount() + 1, std::max(1, RowCount()), verticalScrollBar());
  if (ScrollBars() == ssHorizontal || ScrollBars() == ssBoth)
    page(VisibleColCount(), std::max(1, ColCount()), horizontalScrollBar());
}

void TSortGrid::ColWidthsChanged() {
  if (OnColumnWidthsChanged) OnColumnWidthsChanged(this);
  TMyStringGrid::ColWidthsChanged();
}

void TSortGrid::RowHeightsChanged() {
  if (OnRowHeightsChanged) OnRowHeightsChanged(this);
  TMyStringGrid::RowHeightsChanged();
}

void TSortGrid::Resize() {
  TMyStringGrid::Resize();
  const int32_t last = ColCount() - 1;
  // A hidden last column (width -1) stays hidden: stretching it would show it.
  if (LeftCol() + VisibleColCount() == ColCount() && ColWidths(last) != -1) {
    int64_t others = 0;
    for (int32_t c = LeftCol(); c < last; ++c) others += ColWidths(c);
    // The viewport, not the frame: the column then ends at the visible edge.
    const int64_t w = viewport()->width() - others - VisibleColCount();
    if (w > 0) SetColWidths(last, static_cast<int32_t>(w));
  }
  InvalidateGrid();
  ScrollBarsUpdated();
}

// ---------------------------------------------------------------------------------------------
// Selection

void TSortGrid::SelectRange() {
  ClearSelection();
  FSelectionTrail.clear();
  const TGridRect sel = Selection();
  for (int32_t r = sel.Top; r <= sel.Bottom; ++r) {
    FSelectedRows << QString::number(r);
    FSelectionTrail << QString::number(r);
    InvalidateRow(r);
  }
}

bool TSortGrid::IsEmptyRow(int32_t ARow) const {
  for (int32_t c = 0; c < ColCount(); ++c)
    if (!Cells(c, ARow).isEmpty()) return false;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Moving to a cell, the wheel

bool TSortGrid::DoMouseWheelDown(TShiftState, QPoint) {
  // Two rows per notch each way; the current cell stays where it is.
  ScrollToCell(Col(), TopRow() + 3);
  return true;
}

bool TSortGrid::DoMouseWheelUp(TShiftState, QPoint) {
  ScrollToCell(Col(), TopRow() - 1);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Mouse

void TSortGrid::PressSteps(QMouseEvent* e, bool& baseHandles) {
  HideDropDown();
  const int x = e->position().toPoint().x();
  const int y = e->position().toPoint().y();
  const TMouseButton button = ButtonOf(e->button());
  const TShiftState shift = ShiftStateOf(e->modifiers(), e->buttons());
  const TGridCoord cell = CellAtPoint(x, y);
  FPressCell = cell;
  const int32_t r = cell.Y;
  const bool modifiers = shift.Contains(ssShift) || shift.Contains(ssCtrl) || shift.Contains(ssAlt);
  if (FMultiSelect && r > 0 && button == mbLeft && !modifiers && e->buttons() == Qt::LeftButton && !IsRowSelected(r) &&
      !EditorMode()) {
    SetOptions(Options() - goRangeSelect);
    SetRow(r);
    SelectRowAlone(r);
    if (OnRowSelected) OnRowSelected(this);
  }
  if (r > 0 && IsRowSelected(r)) FDragPoint = QPoint(x, y);
  baseHandles = !FMultiSelect || (button == mbLeft && shift.Contains(ssShift) && Options().Contains(goRangeSelect)) ||
                EditorMode() || r == 0;
}

void TSortGrid::mousePressEvent(QMouseEvent* e) {
  e->accept();
  try {
    bool baseHandles = true;
    PressSteps(e, baseHandles);
    if (baseHandles) TMyStringGrid::mousePressEvent(e);
  } catch (const std::exception& error) {
    platform::ShowException(error);
  }
}

void TSortGrid::mouseDoubleClickEvent(QMouseEvent* e) {
  e->accept();
  try {
    bool baseHandles = true;
    PressSteps(e, baseHandles);
    const int x = e->position().toPoint().x();
    const int y = e->position().toPoint().y();
    if (e->button() == Qt::LeftButton && IsOnHeaderBorder(x, y)) {
      // The column whose right edge is within 3 pixels, else the one to its left.
      const int32_t c = MouseCoord(x, y).X;
      auto nearRight = [this, x](int32_t col) {
        const TRect r = CellRect(col, 0);
        return !r.IsEmpty() && x >= r.Right - 3 && x <= r.Right + 3;
      };
      if (nearRight(c))
        AutoSizeColumn(c, true);
      else if (c > 0 && nearRight(c - 1))
        AutoSizeColumn(c - 1, true);
    }
    if (baseHandles)
      TMyStringGrid::mouseDoubleClickEvent(e);  // fires OnDblClick for the left button
    else if (e->button() == Qt::LeftButton)
      DblClick();
  } catch (const std::exception& error) {
    platform::ShowException(error);
  }
}

void TSortGrid::mouseMoveEvent(QMouseEvent* e) {
  e->accept();
  try {
    const QPoint pos = e->position().toPoint();
    if (FDragPoint.x() >= 0 && e->buttons() == Qt::LeftButton &&
        (std::abs(pos.x() - FDragPoint.x()) > 10 || std::abs(pos.y() - FDragPoint.y()) > 10)) {
      FDragPoint = QPoint(-1, -1);
      FDragging = true;
      struct TClear {
        bool& Flag;
        ~TClear() { Flag = false; }
      } clear{FDragging};
      StartRowDrag();
    }
  } catch (const std::exception& error) {
    platform::ShowException(error);
  }
  TMyStringGrid::mouseMoveEvent(e);
}

void TSortGrid::StartRowDrag() {
  if (OnStartDrag) {
    OnStartDrag(this);
    return;
  }
  // A drop target gets the selected rows' texts, one row a line, cells separated by tabs.
  QStringList lines;
  for (const QString& item : std::as_const(FSelectedRows)) {
    int32_t r = 0;
    if (!TryStrToInt(item, r) || r < 0 || r >= RowCount()) continue;
    QStringList cells;
    for (int32_t c = 0; c < ColCount(); ++c) cells << Cells(c, r);
    lines << cells.join(QLatin1Char('\t'));
  }
  auto* mime = new QMimeData;
  mime->setText(lines.join(QLatin1Char('\n')));
  auto* drag = new QDrag(this);
  drag->setMimeData(mime);
  drag->exec(Qt::CopyAction | Qt::MoveAction);
}

void TSortGrid::mouseReleaseEvent(QMouseEvent* e) {
  e->accept();
  if (FDragging) return;
  try {
    FDragPoint = QPoint(-1, -1);
    setFocus(Qt::MouseFocusReason);
    TMyStringGrid::mouseReleaseEvent(e);
    const QPoint pos = e->position().toPoint();
    ReleaseSteps(ButtonOf(e->button()), ShiftStateOf(e->modifiers(), e->buttons()), pos.x(), pos.y());
  } catch (const std::exception& error) {
    platform::ShowException(error);
  }
}

void TSortGrid::ReleaseSteps(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const TGridCoord cell = CellAtPoint(X, Y);
  const int32_t c = cell.X;
  const int32_t r = cell.Y;
  if (Button == mbRight && r != 0 && FPopupMenu != nullptr)
    platform::Modal().PopupMenu(FPopupMenu, viewport()->mapToGlobal(QPoint(X, Y)));
  if (cell == FPressCell && r > 0) CellControlClick(c, r, X);
  // The header click (row 0) is the sort's, in MouseUp.
  if (r > 0 && FPressCell.Y > 0 && FMultiSelect && !EditorMode() && Button == mbLeft) {
    if (Shift.Contains(ssCtrl)) {
      // The row moves without dropping the others, whether or not the Ctrl key went through
      // the grid's key handling first.
      const bool tracking = FTracking;
      FTracking = false;
      struct TRestore {
        bool& Flag;
        bool Value;
        ~TRestore() { Flag = Value; }
      } restore{FTracking, tracking};
      if (!IsRowSelected(r)) {
        AddToSelection(r);
        SetRow(r);
        InvalidateRow(r);
      } else if (FSelectedRows.size() > 1) {
        const QString item = QString::number(r);
        FSelectedRows.removeAll(item);
        FSelectionTrail.removeAll(item);
        int32_t back = 0;
        if (!FSelectionTrail.isEmpty() && TryStrToInt(FSelectionTrail.last(), back) && back > 0 && back < RowCount())
          SetRow(back);
        InvalidateRow(r);
      }
      SetOptions(Options() - goRangeSelect);
    } else if (Shift.Contains(ssShift)) {
      SelectRange();
    } else {
      SetOptions(Options() - goRangeSelect);
      SetRow(r);
      SelectRowAlone(r);
    }
    if (OnRowSelected) OnRowSelected(this);
  }
}

// ---------------------------------------------------------------------------------------------
// Keys

void TSortGrid::KeyDown(int& Key, TShiftState Shift) {
  if (Key == Qt::Key_Tab) FTabHeld = true;
  if (FMultiSelect && !EditorMode()) {
    FTracking = false;
    if (Key == Qt::Key_Shift) {
      SetOptions(Options() + goRangeSelect);
      ClearSelection();
    } else if (Shift.Contains(ssShift)) {
      if (FSelectionTrail.isEmpty())
        FSelectionTrail << QString::number(Row());
      else
        FSelectionTrail[0] = QString::number(Row());
    }
    if (IsNavigationKey(Key) && !Shift.Contains(ssShift)) FTracking = true;
  }
  if (FExtendedKeys && !EditorMode()) {
    const TShiftState mods = Shift * TShiftState{ssShift, ssAlt, ssCtrl};
    const bool ctrl = mods == TShiftState{ssCtrl};
    const bool ctrlShift = mods == TShiftState{ssCtrl, ssShift};
    if (Key == Qt::Key_Insert && ctrl) {
      InsertRow(Row());
    } else if (Key == Qt::Key_Delete && ctrl) {
      if (RowCount() > 2) DeleteRow(Row());
    } else if (Key == Qt::Key_Insert && ctrlShift) {
      InsertColumn(Col());
    } else if (Key == Qt::Key_Delete && ctrlShift) {
      if (ColCount() > 1) DeleteColumn(Col());
    }
  }
  TMyStringGrid::KeyDown(Key, Shift);
}

void TSortGrid::KeyUp(int& Key, TShiftState Shift) {
  if (Key == Qt::Key_Tab) FTabHeld = false;
  if (Key == Qt::Key_Space) SpaceReleased();
  if (FMultiSelect && !EditorMode()) {
    FTracking = true;
    if (Key == Qt::Key_Shift) {
      if (FSelectedRows.isEmpty()) SelectRange();
    } else if (IsNavigationKey(Key) && !Shift.Contains(ssShift)) {
      SelectRange();
      SetOptions(Options() - goRangeSelect);
    }
    if (OnRowSelected) OnRowSelected(this);
  }
  TMyStringGrid::KeyUp(Key, Shift);
}

void TSortGrid::KeyPress(QChar& Key) {
  if (Key == QLatin1Char('\r')) CheckCellEdit();
  if (!EditorMode()) {
    // Quick search: the next row below whose sort-column text starts with the letter,
    // wrapping to the top; the upper-cased letter is what the base grid then sees.
    Key = UpperAscii(Key);
    const int32_t col = FSortOptions.SortCol();
    const int32_t rows = RowCount();
    for (int32_t i = 1; i < rows; ++i) {
      const int32_t r = (Row() - 1 + i) % (rows - 1) + 1;
      const QString text = Cells(col, r);
      if (!text.isEmpty() && UpperAscii(text.at(0)) == Key) {
        GoToCell(col, r, true);
        break;
      }
    }
  }
  TMyStringGrid::KeyPress(Key);
}

// ---------------------------------------------------------------------------------------------
// Inserting, deleting and moving rows and columns

void TSortGrid::InsertRow(int32_t ARow) {
  TEditorOptionOff editor(*this);
  if (FFilterPlaceholder && RowCount() == 2 && IsEmptyRow(1)) {
    // The filter showed nothing but its empty stand-in row: that row becomes the new one.
    FFilterPlaceholder = false;
    ARow = 1;
  } else {
    // Rows the filter parked lie right behind the last row: they move on by one, so the row
    // that comes into view is a new one and not the first of them.
    if (FParkedRowCount > 0) RowData().Insert(RowCount(), nullptr);
    SetRowCount(RowCount() + 1);
    if (ARow < RowCount() - 2)
      MoveRowWithFont(RowCount() - 1, ARow);
    else
      ARow = ARow + 1;
  }
  // The new row may bring back texts stored beyond the old end.
  for (int32_t c = 0; c < ColCount(); ++c) {
    SetCells(c, ARow, QString());
    SetObjects(c, ARow, nullptr);
  }
  SetRow(ARow);
  SelectRowAlone(ARow);
  if (OnRowInsert) OnRowInsert(this, ARow);
}

void TSortGrid::InsertColumn(int32_t ACol) {
  TEditorOptionOff editor(*this);
  SetColCount(ColCount() + 1);
  MoveColumn(ColCount() - 1, ACol);
  for (int32_t r = 0; r < RowCount(); ++r) {
    SetCells(ACol, r, QString());
    SetObjects(ACol, r, nullptr);
  }
  SetCol(ACol);
  if (OnColumnInsert) OnColumnInsert(this, ACol);
}

void TSortGrid::DeleteRow(int32_t ARow) {
  TEditorOptionOff editor(*this);
  SetModified(true);
  if (RowCount() < 3) {
    for (int32_t c = 0; c < ColCount(); ++c) SetCells(c, 1, QString());
    // Behind parked rows the emptied row stands in for "nothing shown", and leaves with the filter.
    if (FParkedRowCount > 0) FFilterPlaceholder = true;
  } else {
    // The row's font entry goes where the row goes. Outside a bracket the size step then drops
    // the last entry; inside one it does not, so it is dropped here. Either way exactly the
    // deleted row's entry leaves the list.
    const int32_t fonts = FRowFonts.Count();
    FRowFonts.Move(ARow, fonts - 1);
    TMyStringGrid::DeleteRow(ARow);
    if (FRowFonts.Count() == fonts) FRowFonts.Delete(fonts - 1);
    // The deleted row now lies just past the end, in front of any rows the filter parked: it
    // goes and they move up. Whatever is stored behind them is a removed row too, which a later
    // growth of the grid would otherwise bring back.
    DropStoredRow(RowCount());
    ForgetStoredRowsFrom(RowCount() + FParkedRowCount);
  }
  if (OnRowDelete) OnRowDelete(this, ARow);
}

void TSortGrid::DeleteColumn(int32_t ACol) {
  TEditorOptionOff editor(*this);
  for (int32_t r = 0; r < RowCount(); ++r) {
    SetCells(ACol, r, QString());
    SetObjects(ACol, r, nullptr);
  }
  TMyStringGrid::DeleteColumn(ACol);
  if (OnColumnDelete) OnColumnDelete(this, ACol);
}

void TSortGrid::MoveRowWithFont(int32_t FromIndex, int32_t ToIndex) {
  TEditorOptionOff editor(*this);
  MoveRow(FromIndex, ToIndex);
  FRowFonts.Move(FromIndex, ToIndex);
}

void TSortGrid::ExchangeRows(int32_t ARow1, int32_t ARow2) {
  if (ARow1 < ARow2) {
    MoveRowWithFont(ARow2, ARow1);
    MoveRowWithFont(ARow1 + 1, ARow2);
  } else if (ARow2 < ARow1) {
    MoveRowWithFont(ARow1, ARow2);
    MoveRowWithFont(ARow2 + 1, ARow1);
  }
}

void TSortGrid::ArrangeRows(const std::vector<int32_t>& sources) {
  TGridUpdateGuard bracket(*this);
  TSparseList& data = RowData();
  const int32_t oldRows = RowCount();
  const int32_t oldCount = oldRows - 1;
  const int32_t newCount = static_cast<int32_t>(sources.size());
  std::vector<void*> lists(static_cast<size_t>(oldCount));
  for (int32_t i = 0; i < oldCount; ++i) lists[static_cast<size_t>(i)] = data.Get(i + 1);
  // Rows the filter parked stay behind the last row.
  std::vector<void*> parked(static_cast<size_t>(FParkedRowCount));
  for (int32_t i = 0; i < FParkedRowCount; ++i) parked[static_cast<size_t>(i)] = data.Get(oldRows + i);
  std::vector<bool> kept(lists.size(), false);
  for (int32_t source : sources)
    if (source >= 0 && source < oldCount) kept[static_cast<size_t>(source)] = true;
  for (size_t i = 0; i < lists.size(); ++i)
    if (!kept[i]) delete static_cast<TStringSparseList*>(lists[i]);
  const int32_t stored = std::max(oldCount, newCount) + FParkedRowCount;
  for (int32_t i = 0; i < stored; ++i) data.Put(i + 1, nullptr);
  for (int32_t i = 0; i < newCount; ++i) {
    const int32_t source = sources[static_cast<size_t>(i)];
    if (source >= 0 && source < oldCount) data.Put(i + 1, lists[static_cast<size_t>(source)]);
  }
  for (int32_t i = 0; i < FParkedRowCount; ++i) data.Put(newCount + 1 + i, parked[static_cast<size_t>(i)]);
  SetRowCount(newCount + 1);
  // The size step does not run inside the bracket: the row fonts follow the count here.
  FRowFonts.Resize(RowCount() - oldRows);
  SetModified(true);
  ReloadEditor(Col(), Row());
  InvalidateGrid();
}

// ---------------------------------------------------------------------------------------------
// Filtering

void TSortGrid::SetFiltered(bool value) {
  FFiltered = value;
  const bool rowOneEmpty = RowCount() < 2 || IsEmptyRow(1);
  if (!((!value || !rowOneEmpty) && (value || FParkedRowCount > 0))) return;
  const bool modified = FModified;
  const bool wasUpdating = NowUpdating();
  if (!wasUpdating) BeginUpdate();
  struct TClose {
    TSortGrid& Grid;
    bool Close;
    bool Modified;
    ~TClose() noexcept(false) {
      if (Close) Grid.EndUpdate();
      Grid.SetModified(Modified);
    }
  } close{*this, !wasUpdating, modified};
  if (value) {
    // Switching on again: the rows parked before come back first, so the filter sees every
    // row and none is left behind the new parked rows.
    if (FParkedRowCount > 0) UnparkRows();
    ParkRows();
  } else {
    UnparkRows();
  }
}

void TSortGrid::ParkRows() {
  const int32_t n = RowCount();
  std::vector<int32_t> accepted;
  std::vector<int32_t> rejected;
  for (int32_t r = 1; r < n; ++r) {
    QStringList texts;
    for (int32_t c = 0; c < ColCount(); ++c) texts << Cells(c, r);
    bool accept = false;
    if (OnSetFilter) OnSetFilter(texts, accept);
    (accept ? accepted : rejected).push_back(r);
  }
  FParkedRowCount = static_cast<int32_t>(rejected.size());
  std::vector<int32_t> order = accepted;
  order.insert(order.end(), rejected.begin(), rejected.end());
  PermuteRows(RowData(), 1, order);

  if (accepted.empty()) {
    // Row 1 becomes an empty row; the first parked row goes behind the others, so every
    // parked row stays in reach of FindRow.
    std::vector<int32_t> swap{n};
    for (int32_t r = 2; r < n; ++r) swap.push_back(r);
    swap.push_back(1);
    PermuteRows(RowData(), 1, swap);
    for (int32_t c = 0; c < ColCount(); ++c) {
      SetCells(c, 1, QString());
      SetObjects(c, 1, nullptr);
    }
    FFilterPlaceholder = true;
    SetRowCount(2);
  } else {
    SetRowCount(n - FParkedRowCount);
    SortByColumn(FSortOptions.SortCol());
  }
  ReloadEditor(Col(), Row());
  InvalidateGrid();
  GoToCell(0, 1, true);
}

void TSortGrid::UnparkRows() {
  const int32_t parked = FParkedRowCount;
  FParkedRowCount = 0;  // from here on they are rows like the others
  SetRowCount(RowCount() + parked);
  // Only the empty stand-in row goes; an empty row the filter accepted is a row like any other.
  if (FFilterPlaceholder && IsEmptyRow(1)) DeleteRow(1);
  FFilterPlaceholder = false;
  if (parked > 0) SortByColumn(FSortOptions.SortCol());
  ReloadEditor(Col(), Row());
  InvalidateGrid();
}
