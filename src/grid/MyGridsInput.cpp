// Grid base input: keyboard navigation, mouse selection, sizing and moving, the wheel, focus,
// the update bracket's input lock, and the in-place editor with its key routing.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "grid/MyGrids.h"
#include "platform/Application.h"

namespace {

bool IsInputEvent(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
      return true;
    default:
      return false;
  }
}

bool IsTabKey(const QKeyEvent* e) { return e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab; }

TMouseButton ButtonOf(Qt::MouseButton button) {
  switch (button) {
    case Qt::RightButton: return mbRight;
    case Qt::MiddleButton: return mbMiddle;
    default: return mbLeft;
  }
}

// A character that edits text: printable, or Backspace.
bool IsEditChar(QChar ch) { return ch == QChar('\b') || (ch >= QChar(' ') && ch != QChar(0x7F)); }

}  // namespace

void TMyCustomGrid::ReportError(const std::exception& error) { platform::ShowException(error); }

// ---------------------------------------------------------------------------------------------
// Qt plumbing

bool TMyCustomGrid::event(QEvent* e) {
  if (FInputDisabled && IsInputEvent(e->type())) {
    e->accept();
    return true;
  }
  if (e->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(e);
    // Tab reaches the grid only with goTabs; otherwise it moves the focus on.
    if (IsTabKey(key) && FOptions.Contains(goTabs) && !(key->modifiers() & (Qt::AltModifier | Qt::ControlModifier))) {
      keyPressEvent(key);
      return true;
    }
  }
  return QAbstractScrollArea::event(e);
}

bool TMyCustomGrid::viewportEvent(QEvent* e) {
  if (FInputDisabled && IsInputEvent(e->type())) {
    e->accept();
    return true;
  }
  return QAbstractScrollArea::viewportEvent(e);
}

bool TMyCustomGrid::eventFilter(QObject* watched, QEvent* e) {
  if (FInputDisabled && IsInputEvent(e->type()) &&
      (watched == horizontalScrollBar() || watched == verticalScrollBar()))
    return true;
  return QAbstractScrollArea::eventFilter(watched, e);
}

void TMyCustomGrid::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  try {
    UpdateScrollRange();
    if (FInplaceEdit != nullptr && !FInplaceEdit->isHidden()) UpdateEdit();
    Resize();
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

void TMyCustomGrid::Resize() {}

// ---------------------------------------------------------------------------------------------
// Keyboard

void TMyCustomGrid::keyPressEvent(QKeyEvent* e) {
  e->accept();
  try {
    int key = e->key();
    TShiftState shift = ShiftStateOf(e->modifiers());
    if (key == Qt::Key_Backtab) {
      key = Qt::Key_Tab;
      shift += ssShift;
    }
    KeyDown(key, shift);
    if (key == 0 || e->text().isEmpty()) return;
    QChar ch = e->text().at(0);
    if (FOptions.Contains(goEditing) && IsEditChar(ch)) {
      ShowEditorChar(ch);
      return;
    }
    KeyPress(ch);
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

void TMyCustomGrid::keyReleaseEvent(QKeyEvent* e) {
  e->accept();
  try {
    int key = e->key();
    KeyUp(key, ShiftStateOf(e->modifiers()));
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

void TMyCustomGrid::KeyUp(int& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TMyCustomGrid::KeyDown(int& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
  if (Key == 0) return;
  if (!CanGridAcceptKey(Key, Shift)) {
    Key = 0;
    return;
  }
  const bool rowSelect = FOptions.Contains(goRowSelect);
  const TAxisInfo h = AxisInfo(true);
  const TAxisInfo v = AxisInfo(false);
  const int32_t rowPage = std::max(1, v.LastFullVisibleCell - FTopLeft.Y);
  const int32_t colPage = std::max(1, h.LastFullVisibleCell - FTopLeft.X);
  TGridCoord topLeft = FTopLeft;
  TGridCoord cell = FCurrent;

  if (Shift.Contains(ssCtrl)) {
    switch (Key) {
      case Qt::Key_Up: --topLeft.Y; break;
      case Qt::Key_Down: ++topLeft.Y; break;
      case Qt::Key_Left:
        if (!rowSelect) {
          cell.X -= colPage;
          topLeft.X -= colPage;
        }
        break;
      case Qt::Key_Right:
        if (!rowSelect) {
          cell.X += colPage;
          topLeft.X += colPage;
        }
        break;
      case Qt::Key_PageUp: cell.Y = FTopLeft.Y; break;
      case Qt::Key_PageDown: cell.Y = v.LastFullVisibleCell; break;
      case Qt::Key_Home: cell = {FFixedCols, FFixedRows}; break;
      case Qt::Key_End: cell = {FColCount - 1, FRowCount - 1}; break;
      default: break;
    }
  } else {
    switch (Key) {
      case Qt::Key_Up: --cell.Y; break;
      case Qt::Key_Down: ++cell.Y; break;
      case Qt::Key_Left:
        if (rowSelect)
          --topLeft.X;
        else
          --cell.X;
        break;
      case Qt::Key_Right:
        if (rowSelect)
          ++topLeft.X;
        else
          ++cell.X;
        break;
      case Qt::Key_PageDown:
        cell.Y += rowPage;
        topLeft.Y += rowPage;
        break;
      case Qt::Key_PageUp:
        cell.Y -= rowPage;
        topLeft.Y -= rowPage;
        break;
      case Qt::Key_Home:
        if (rowSelect)
          cell.Y = FFixedRows;
        else
          cell.X = FFixedCols;
        break;
      case Qt::Key_End:
        if (rowSelect)
          cell.Y = FRowCount - 1;
        else
          cell.X = FColCount - 1;
        break;
      case Qt::Key_Tab:
        if (!Shift.Contains(ssAlt)) {
          const bool back = Shift.Contains(ssShift);
          do {
            if (back) {
              if (--cell.X < FFixedCols) {
                cell.X = FColCount - 1;
                if (--cell.Y < FFixedRows) cell.Y = FRowCount - 1;
              }
            } else if (++cell.X >= FColCount) {
              cell.X = FFixedCols;
              if (++cell.Y >= FRowCount) cell.Y = FFixedRows;
            }
          } while (!TabStops(cell.X) && cell.X != FCurrent.X);
        }
        break;
      case Qt::Key_F2: SetEditorMode(true); break;
      default: break;
    }
  }

  const TGridCoord maxTopLeft = CalcMaxTopLeft();
  topLeft.X = std::clamp(topLeft.X, FFixedCols, std::max(FFixedCols, maxTopLeft.X));
  topLeft.Y = std::clamp(topLeft.Y, FFixedRows, std::max(FFixedRows, maxTopLeft.Y));
  if (!(topLeft == FTopLeft)) MoveTopLeft(topLeft.X, topLeft.Y);
  cell.X = std::clamp(cell.X, FFixedCols, FColCount - 1);
  cell.Y = std::clamp(cell.Y, FFixedRows, FRowCount - 1);
  if (!(cell == FCurrent)) FocusCell(cell.X, cell.Y, !Shift.Contains(ssShift));
}

void TMyCustomGrid::KeyPress(QChar& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
  if (Key.isNull()) return;
  if (Key == QChar('\r') && !FOptions.Contains(goAlwaysShowEditor)) {
    if (FEditorMode)
      HideEditor();
    else
      ShowEditor();
  }
}

// ---------------------------------------------------------------------------------------------
// Mouse

// Every mouse event: taken, its position kept for the auto-scroll timer, and handled in the
// grid's own terms; an exception from a handler becomes an error box.
void TMyCustomGrid::HandleMouse(QMouseEvent* e, const std::function<void(TShiftState, int, int)>& handler) {
  e->accept();
  FLastMousePos = e->position().toPoint();
  try {
    handler(ShiftStateOf(e->modifiers(), e->buttons()), FLastMousePos.x(), FLastMousePos.y());
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

void TMyCustomGrid::mousePressEvent(QMouseEvent* e) {
  HandleMouse(e, [this, e](TShiftState shift, int x, int y) { MouseDown(ButtonOf(e->button()), shift, x, y); });
}

void TMyCustomGrid::mouseDoubleClickEvent(QMouseEvent* e) {
  HandleMouse(e, [this, e](TShiftState shift, int x, int y) { MouseDown(ButtonOf(e->button()), shift + ssDouble, x, y); });
}

void TMyCustomGrid::mouseMoveEvent(QMouseEvent* e) {
  HandleMouse(e, [this](TShiftState shift, int x, int y) { MouseMove(shift, x, y); });
}

void TMyCustomGrid::mouseReleaseEvent(QMouseEvent* e) {
  HandleMouse(e, [this, e](TShiftState shift, int x, int y) { MouseUp(ButtonOf(e->button()), shift, x, y); });
}

void TMyCustomGrid::CalcSizingState(int X, int Y, TGridState& state, int32_t& index, int32_t& sizingPos,
                                    int32_t& sizingOfs) const {
  state = gsNormal;
  index = -1;
  sizingPos = 0;
  sizingOfs = 0;
  const TAxisInfo h = AxisInfo(true);
  const TAxisInfo v = AxisInfo(false);
  // The catch band: 7 pixels (or the line, if wider), starting a little before the line.
  const int32_t line = LinePixels();
  const int32_t band = std::max(7, line);
  const int32_t before = line > 6 ? 0 : (7 - line) / 2;

  auto find = [&](const TAxisInfo& info, bool horz, int pos) -> bool {
    int32_t start = 0;
    auto test = [&](int32_t i) {
      const int32_t edge = AddPixels(start, Extent(horz, i));
      if (pos >= edge - before && pos < edge - before + band) {
        index = i;
        sizingPos = edge;
        sizingOfs = edge - pos;
        return true;
      }
      start = AddPixels(start, Advance(horz, i, info.LineWidth));
      return false;
    };
    for (int32_t i = 0; i < info.FixedCellCount && i < info.GridCellCount; ++i)
      if (test(i)) return true;
    start = info.FixedBoundary;
    for (int32_t i = std::max(info.FirstGridCell, 0); i < info.GridCellCount && start <= info.GridExtent; ++i)
      if (test(i)) return true;
    return false;
  };

  if (FOptions.Contains(goColSizing) && Y < v.FixedBoundary && X >= h.FixedBoundary && find(h, true, X)) {
    state = gsColSizing;
    return;
  }
  if (FOptions.Contains(goRowSizing) && X < h.FixedBoundary && Y >= v.FixedBoundary && find(v, false, Y)) {
    state = gsRowSizing;
    return;
  }
}

void TMyCustomGrid::UpdateSizingCursor(int X, int Y) {
  TGridState state;
  int32_t index, pos, ofs;
  CalcSizingState(X, Y, state, index, pos, ofs);
  if (state == gsColSizing)
    viewport()->setCursor(Qt::SplitHCursor);
  else if (state == gsRowSizing)
    viewport()->setCursor(Qt::SplitVCursor);
  else
    viewport()->unsetCursor();
}

void TMyCustomGrid::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    setFocus(Qt::MouseFocusReason);
    if (Shift.Contains(ssDouble)) {
      DblClick();
    } else {
      TGridState state;
      int32_t index, pos, ofs;
      CalcSizingState(X, Y, state, index, pos, ofs);
      if (state != gsNormal) {
        FGridState = state;
        FSizingIndex = index;
        FSizingPos = pos;
        FSizingOfs = ofs;
        viewport()->update();
      } else {
        const TGridCoord cell = MouseCoord(X, Y);
        if (cell.X >= 0) {
          if (FOptions.Contains(goRowMoving) && cell.X < FFixedCols && cell.Y >= FFixedRows) {
            FGridState = gsRowMoving;
            FSizingIndex = cell.Y;
            FMovePos = cell.Y;
          } else if (FOptions.Contains(goColMoving) && cell.Y < FFixedRows && cell.X >= FFixedCols) {
            FGridState = gsColMoving;
            FSizingIndex = cell.X;
            FMovePos = cell.X;
          } else if (cell.X >= FFixedCols && cell.Y >= FFixedRows) {
            if (FOptions.Contains(goEditing)) {
              if (cell == FCurrent) {
                ShowEditor();
              } else {
                MoveColRow(cell.X, cell.Y, true, true);
                Click();
              }
            } else {
              FGridState = gsSelecting;
              FScrollTimer.start();
              MoveColRow(cell.X, cell.Y, !Shift.Contains(ssShift), true);
            }
          }
        }
      }
    }
  }
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TMyCustomGrid::SelectingMove(int X, int Y) {
  const TGridCoord cell = MouseCoord(X, Y);
  if (cell.X >= FFixedCols && cell.Y >= FFixedRows && !(cell == FCurrent))
    MoveColRow(cell.X, cell.Y, false, false);
}

void TMyCustomGrid::MouseMove(TShiftState Shift, int X, int Y) {
  switch (FGridState) {
    case gsSelecting: SelectingMove(X, Y); break;
    case gsColSizing:
      FSizingPos = X + FSizingOfs;
      viewport()->update();
      break;
    case gsRowSizing:
      FSizingPos = Y + FSizingOfs;
      viewport()->update();
      break;
    case gsColMoving: {
      const TGridCoord cell = MouseCoord(X, Y);
      if (cell.X >= FFixedCols && cell.X != FMovePos) {
        FMovePos = cell.X;
        viewport()->update();
      }
      break;
    }
    case gsRowMoving: {
      const TGridCoord cell = MouseCoord(X, Y);
      if (cell.Y >= FFixedRows && cell.Y != FMovePos) {
        FMovePos = cell.Y;
        viewport()->update();
      }
      break;
    }
    case gsNormal: UpdateSizingCursor(X, Y); break;
  }
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TMyCustomGrid::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const TGridState state = FGridState;
  FGridState = gsNormal;
  switch (state) {
    case gsSelecting:
      FScrollTimer.stop();
      SelectingMove(X, Y);
      Click();
      break;
    case gsColSizing: {
      viewport()->update();
      const int32_t start = CellStart(AxisInfo(true), true, FSizingIndex);
      const int32_t size = FSizingPos - std::max(start, 0);
      // A hidden column (width -1) stays hidden whatever the mouse does.
      if (start >= 0 && size > 1 && ColWidths(FSizingIndex) != -1) SetColWidths(FSizingIndex, size);
      break;
    }
    case gsRowSizing: {
      viewport()->update();
      const int32_t start = CellStart(AxisInfo(false), false, FSizingIndex);
      const int32_t size = FSizingPos - std::max(start, 0);
      if (start >= 0 && size > 1) SetRowHeights(FSizingIndex, size);
      break;
    }
    case gsColMoving:
      viewport()->update();
      if (FMovePos != FSizingIndex) MoveColumn(FSizingIndex, FMovePos);
      break;
    case gsRowMoving:
      viewport()->update();
      if (FMovePos != FSizingIndex) MoveRow(FSizingIndex, FMovePos);
      break;
    case gsNormal: break;
  }
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TMyCustomGrid::ScrollTimerTick() {
  if (FGridState != gsSelecting) {
    FScrollTimer.stop();
    return;
  }
  try {
    const TAxisInfo h = AxisInfo(true);
    const TAxisInfo v = AxisInfo(false);
    const QPoint pt = FLastMousePos;
    const int dx = pt.x() < h.FixedBoundary ? -1 : (pt.x() >= h.GridBoundary ? 1 : 0);
    const int dy = pt.y() < v.FixedBoundary ? -1 : (pt.y() >= v.GridBoundary ? 1 : 0);
    if (dx == 0 && dy == 0) return;
    const TGridCoord max = CalcMaxTopLeft();
    MoveTopLeft(std::clamp(FTopLeft.X + dx, FFixedCols, std::max(FFixedCols, max.X)),
                std::clamp(FTopLeft.Y + dy, FFixedRows, std::max(FFixedRows, max.Y)));
    const TAxisInfo h2 = AxisInfo(true);
    const TAxisInfo v2 = AxisInfo(false);
    TGridCoord cell = FCurrent;
    if (dx > 0) cell.X = h2.LastFullVisibleCell;
    if (dx < 0) cell.X = FTopLeft.X;
    if (dy > 0) cell.Y = v2.LastFullVisibleCell;
    if (dy < 0) cell.Y = FTopLeft.Y;
    cell.X = std::clamp(cell.X, FFixedCols, FColCount - 1);
    cell.Y = std::clamp(cell.Y, FFixedRows, FRowCount - 1);
    if (!(cell == FCurrent)) MoveColRow(cell.X, cell.Y, false, false);
  } catch (const std::exception& error) {
    FScrollTimer.stop();
    ReportError(error);
  }
}

void TMyCustomGrid::wheelEvent(QWheelEvent* e) {
  e->accept();
  try {
    const TShiftState shift = ShiftStateOf(e->modifiers(), e->buttons());
    const QPoint pos = e->position().toPoint();
    FWheelAccumulator += e->angleDelta().y();
    // One notch (120) is one step, whatever the platform's scroll-lines setting.
    while (FWheelAccumulator >= 120) {
      FWheelAccumulator -= 120;
      DoMouseWheelUp(shift, pos);
    }
    while (FWheelAccumulator <= -120) {
      FWheelAccumulator += 120;
      DoMouseWheelDown(shift, pos);
    }
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

bool TMyCustomGrid::DoMouseWheelDown(TShiftState, QPoint) {
  if (Row() < FRowCount - 1) SetRow(Row() + 1);
  return true;
}

bool TMyCustomGrid::DoMouseWheelUp(TShiftState, QPoint) {
  if (Row() > FFixedRows) SetRow(Row() - 1);
  return true;
}

void TMyCustomGrid::Click() {
  if (OnClick) OnClick(this);
}

void TMyCustomGrid::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

// ---------------------------------------------------------------------------------------------
// Focus

void TMyCustomGrid::focusInEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusInEvent(e);
  try {
    FocusArrived();
    InvalidateGrid();
    UpdateEdit();
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

void TMyCustomGrid::focusOutEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusOutEvent(e);
  try {
    FocusLeaving(e->reason());
    InvalidateGrid();
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

void TMyCustomGrid::FocusArrived() {
  if (FFocusWithin) return;
  FFocusWithin = true;
  DoEnter();
}

void TMyCustomGrid::FocusLeaving(Qt::FocusReason reason) {
  if (FDestroying) return;
  QWidget* next = QApplication::focusWidget();
  if (next == this || (next != nullptr && next == FInplaceEdit)) return;  // within the grid
  // A window switch or a pop-up keeps the grid's state; the focus comes back with the window.
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
  if (!FFocusWithin) return;
  FFocusWithin = false;
  HideEdit();
  DoExit();
}

bool TMyCustomGrid::GridHasFocus() const {
  return hasFocus() || (FInplaceEdit != nullptr && FInplaceEdit->hasFocus());
}

void TMyCustomGrid::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TMyCustomGrid::DoExit() {
  if (OnExit) OnExit(this);
}

// ---------------------------------------------------------------------------------------------
// In-place editor: the grid's side

bool TMyCustomGrid::CanEditShow() {
  return FOptions.Contains(goEditing) && !FOptions.Contains(goRowSelect) &&
         (FEditorMode || FOptions.Contains(goAlwaysShowEditor)) && GridHasFocus() && !FDestroying;
}

TInplaceEdit* TMyCustomGrid::CreateEditor() { return new TInplaceEdit(this); }

void TMyCustomGrid::ShowEditor() {
  FEditorMode = true;
  UpdateEdit();
}

void TMyCustomGrid::HideEditor() {
  FEditorMode = false;
  HideEdit();
}

void TMyCustomGrid::HideEdit() {
  if (FInplaceEdit == nullptr || FInplaceEdit->isHidden()) return;
  // Take the focus first, so hiding the editor does not pass it on to another control.
  if (FInplaceEdit->hasFocus()) setFocus(Qt::OtherFocusReason);
  FInplaceEdit->hide();
}

void TMyCustomGrid::InvalidateEditor() {
  if (FInplaceEdit == nullptr) return;
  FInplaceEdit->FCol = -1;
  FInplaceEdit->FRow = -1;
  UpdateEdit();
}

void TMyCustomGrid::ReloadEditor(int32_t ACol, int32_t ARow) {
  if (FInplaceEdit == nullptr || FInplaceEdit->isHidden()) return;
  if (FInplaceEdit->FCol == ACol && FInplaceEdit->FRow == ARow) FInplaceEdit->UpdateContents();
}

void TMyCustomGrid::UpdateEdit() {
  if (!CanEditShow()) return;
  if (FInplaceEdit == nullptr) FInplaceEdit = CreateEditor();
  // A hidden editor always reloads: the cell may have changed behind it.
  if (FInplaceEdit->isHidden() || FInplaceEdit->FCol != FCurrent.X || FInplaceEdit->FRow != FCurrent.Y) {
    FInplaceEdit->FCol = FCurrent.X;
    FInplaceEdit->FRow = FCurrent.Y;
    FInplaceEdit->UpdateContents();
  }
  const TRect r = CellRect(FCurrent.X, FCurrent.Y);
  if (r.IsEmpty()) {
    HideEdit();
    return;
  }
  FInplaceEdit->setGeometry(r.ToQRect());
  const bool focus = GridHasFocus();
  FInplaceEdit->show();
  if (focus && !FInplaceEdit->hasFocus()) FInplaceEdit->setFocus(Qt::OtherFocusReason);
}

void TMyCustomGrid::ShowEditorChar(QChar ch) {
  ShowEditor();
  if (FInplaceEdit != nullptr && !FInplaceEdit->isHidden()) FInplaceEdit->PassChar(ch);
}

// ---------------------------------------------------------------------------------------------
// TInplaceEdit

TInplaceEdit::TInplaceEdit(TMyCustomGrid* grid) : QLineEdit(grid->viewport()), FGrid(grid) {
  hide();
  setFrame(false);
  // Not in the tab chain: the grid decides where Tab goes.
  setFocusPolicy(Qt::ClickFocus);
  // QLineEdit adds 2 pixels left and 1 at the top of its own; together the text sits 2 pixels
  // in from the cell's left, top and right, where the grid draws it.
  setTextMargins(0, 1, 0, 0);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setAutoFillBackground(true);
  connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { TextChanged(text); });
}

void TInplaceEdit::UpdateContents() {
  FLoading = true;
  try {
    const QString mask = FGrid->GetEditMask(FCol, FRow);
    if (mask != inputMask()) setInputMask(mask);
    setText(FGrid->GetEditText(FCol, FRow));
  } catch (...) {
    FLoading = false;
    throw;
  }
  FLoading = false;
  selectAll();
}

void TInplaceEdit::Deselect() { end(false); }

void TInplaceEdit::TextChanged(const QString& text) {
  if (FLoading || FCol < 0 || FRow < 0) return;
  try {
    FGrid->SetEditText(FCol, FRow, text);
  } catch (const std::exception& error) {
    FGrid->ReportError(error);
  }
}

bool TInplaceEdit::ModifyAllowed() { return FGrid->CanEditModify(); }

bool TInplaceEdit::event(QEvent* e) {
  if (FGrid->FInputDisabled && IsInputEvent(e->type())) {
    e->accept();
    return true;
  }
  if (e->type() == QEvent::KeyPress && IsTabKey(static_cast<QKeyEvent*>(e))) {
    keyPressEvent(static_cast<QKeyEvent*>(e));
    return true;
  }
  return QLineEdit::event(e);
}

void TInplaceEdit::SendKeyToGrid(int key, TShiftState shift) { FGrid->KeyDown(key, shift); }

void TInplaceEdit::keyPressEvent(QKeyEvent* e) {
  e->accept();
  try {
    int key = e->key();
    TShiftState shift = ShiftStateOf(e->modifiers());
    if (key == Qt::Key_Backtab) {
      key = Qt::Key_Tab;
      shift += ssShift;
    }
    switch (key) {
      case Qt::Key_Escape:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown:
      case Qt::Key_Up:
      case Qt::Key_Down:
        SendKeyToGrid(key, shift);
        return;
      case Qt::Key_Tab:
        if (shift.Contains(ssAlt)) return;
        if (FGrid->FOptions.Contains(goTabs)) {
          SendKeyToGrid(key, shift);
        } else {
          // Without goTabs the Tab key leaves the grid, as it would from the grid itself.
          FGrid->setFocus(Qt::TabFocusReason);
          FGrid->focusNextPrevChild(!shift.Contains(ssShift));
        }
        return;
      case Qt::Key_Insert:
        if (shift.Empty()) {
          SendKeyToGrid(key, shift);
          return;
        }
        if (shift == TShiftState{ssShift} && !ModifyAllowed()) return;
        break;
      case Qt::Key_Delete:
        if (shift.Contains(ssCtrl)) {
          SendKeyToGrid(key, shift);
          return;
        }
        if (!ModifyAllowed()) return;
        break;
      case Qt::Key_F2:
        Deselect();
        return;
      default:
        if (FGrid->OnKeyDown) {
          FGrid->OnKeyDown(FGrid, key, shift);
          if (key == 0) return;
        }
        break;
    }
    if ((e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Cut) || e->matches(QKeySequence::Undo) ||
         e->matches(QKeySequence::Redo)) &&
        !ModifyAllowed())
      return;

    const QString text = e->text();
    if (!text.isEmpty() && key != Qt::Key_Delete) {
      const QChar typed = text.at(0);
      if (IsEditChar(typed) || typed == QChar('\r') || typed == QChar('\t') || typed == QChar(0x1B)) {
        QChar ch = typed;
        KeyPress(ch);
        if (ch.isNull()) return;
        if (ch != typed) {  // the grid's key-press handling replaced the character
          if (ch == QChar('\b'))
            backspace();
          else
            insert(QString(ch));
          return;
        }
      }
    }
    QLineEdit::keyPressEvent(e);
    e->accept();  // nothing typed into the editor falls through to the grid a second time
  } catch (const std::exception& error) {
    FGrid->ReportError(error);
  }
}

void TInplaceEdit::KeyPress(QChar& key) {
  FGrid->KeyPress(key);
  if (key.isNull()) return;
  if (key >= QChar(' ') && key != QChar(0x7F)) {
    if (!FGrid->CanEditAcceptKey(key)) {
      key = QChar();
      QApplication::beep();
      return;
    }
    if (!ModifyAllowed()) key = QChar();
    return;
  }
  if (key == QChar('\b')) {
    if (!ModifyAllowed()) key = QChar();
    return;
  }
  if (key == QChar('\r')) {
    if (hasSelectedText() && selectedText().size() == text().size())
      Deselect();
    else
      selectAll();
  }
  key = QChar();  // Enter, Tab and Escape put nothing into the text
}

void TInplaceEdit::PassChar(QChar ch) {
  KeyPress(ch);
  if (ch.isNull()) return;
  if (ch == QChar('\b'))
    backspace();
  else
    insert(QString(ch));
}

void TInplaceEdit::keyReleaseEvent(QKeyEvent* e) {
  // Releases go on to the grid, which sees them as its own.
  QLineEdit::keyReleaseEvent(e);
}

void TInplaceEdit::focusInEvent(QFocusEvent* e) {
  QLineEdit::focusInEvent(e);
  if (!FGrid->FDestroying) FGrid->FocusArrived();
}

void TInplaceEdit::focusOutEvent(QFocusEvent* e) {
  QLineEdit::focusOutEvent(e);
  if (FGrid->FDestroying) return;
  try {
    FGrid->FocusLeaving(e->reason());
    FGrid->InvalidateGrid();
  } catch (const std::exception& error) {
    FGrid->ReportError(error);
  }
}
