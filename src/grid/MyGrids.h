#pragma once
// Grid base: a scrollable table of cells with fixed rows and columns, per-column widths and
// per-row heights, a current cell and a rectangular selection, keyboard and mouse navigation,
// column and row sizing and moving, an in-place editor, an update bracket, and sparse string
// storage for the cells.
//
// Class chain: TMyCustomGrid -> TMyCustomDrawGrid -> TMyDrawGrid -> TMyStringGrid.
// Scroll bars count cells, never pixels; the widget paints itself on the viewport.

#include <QAbstractScrollArea>
#include <QLineEdit>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <exception>
#include <algorithm>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/ControlTypes.h"
#include "platform/Color.h"
#include "platform/Errors.h"

class QPainter;

// ---------------------------------------------------------------------------------------------
// Small value types

// A set of enumeration values, bit n standing for the value n.
template <typename E>
class TSet {
public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> items) {
    for (E e : items) FBits |= Bit(e);
  }
  static constexpr TSet FromBits(uint32_t bits) {
    TSet s;
    s.FBits = bits;
    return s;
  }
  constexpr uint32_t Bits() const { return FBits; }
  constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TSet operator+(TSet o) const { return FromBits(FBits | o.FBits); }
  constexpr TSet operator-(TSet o) const { return FromBits(FBits & ~o.FBits); }
  constexpr TSet operator*(TSet o) const { return FromBits(FBits & o.FBits); }
  constexpr TSet operator+(E e) const { return FromBits(FBits | Bit(e)); }
  constexpr TSet operator-(E e) const { return FromBits(FBits & ~Bit(e)); }
  TSet& operator+=(E e) { FBits |= Bit(e); return *this; }
  TSet& operator-=(E e) { FBits &= ~Bit(e); return *this; }
  TSet& operator+=(TSet o) { FBits |= o.FBits; return *this; }
  TSet& operator-=(TSet o) { FBits &= ~o.FBits; return *this; }
  constexpr bool operator==(const TSet&) const = default;

private:
  static constexpr uint32_t Bit(E e) { return uint32_t{1} << static_cast<unsigned>(e); }
  uint32_t FBits = 0;
};

struct TGridCoord {
  int32_t X = 0;  // column
  int32_t Y = 0;  // row
  bool operator==(const TGridCoord&) const = default;
};

// Cell coordinates, inclusive on all sides.
struct TGridRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  bool operator==(const TGridRect&) const = default;
};

// A pixel rectangle whose right and bottom edges are exclusive (width = Right - Left), the
// convention the drawing rules of the grid are written in.
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  QRect ToQRect() const { return QRect(Left, Top, Right - Left, Bottom - Top); }
  bool operator==(const TRect&) const = default;
};

enum TGridOption {
  goFixedVertLine = 0,
  goFixedHorzLine = 1,
  goVertLine = 2,
  goHorzLine = 3,
  goRangeSelect = 4,
  goDrawFocusSelected = 5,
  goRowSizing = 6,
  goColSizing = 7,
  goRowMoving = 8,
  goColMoving = 9,
  goEditing = 10,
  goTabs = 11,
  goRowSelect = 12,
  goAlwaysShowEditor = 13,
  goThumbTracking = 14,
};
using TGridOptions = TSet<TGridOption>;

enum TGridDrawStateItem { gdSelected, gdFocused, gdFixed };
using TGridDrawState = TSet<TGridDrawStateItem>;

enum TGridState { gsNormal, gsSelecting, gsRowSizing, gsColSizing, gsRowMoving, gsColMoving };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// Modifier keys, mouse buttons held, and the double-click flag of a mouse press.
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;
enum TMouseButton { mbLeft, mbRight, mbMiddle };

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TKeyEvent = std::function<void(QObject* Sender, int& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(QObject* Sender, QChar& Key)>;
using TMouseEvent =
    std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)>;
using TMovedEvent = std::function<void(QObject* Sender, int32_t FromIndex, int32_t ToIndex)>;
using TDrawCellEvent = std::function<void(QObject* Sender, int32_t ACol, int32_t ARow,
                                          const TRect& Rect, TGridDrawState State)>;
using TSelectCellEvent =
    std::function<void(QObject* Sender, int32_t ACol, int32_t ARow, bool& CanSelect)>;
using TGetEditEvent =
    std::function<void(QObject* Sender, int32_t ACol, int32_t ARow, QString& Value)>;
using TSetEditEvent =
    std::function<void(QObject* Sender, int32_t ACol, int32_t ARow, const QString& Value)>;

// The modifier and button state of a Qt event in the grid's terms.
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons = {});

// Horizontal alignment of a cell's text.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// Where a text of textWidth pixels starts in a cell cellWidth pixels wide.
int32_t AlignedTextOffset(TAlignment alignment, int32_t cellWidth, int32_t textWidth);

// A data cell's text as it is drawn. A text that does not fit between the cell's margins is
// never drawn cut, which could read as another value ("6987,1" for 16987,1): right-justified and
// centred text becomes "#" filling the cell, as spreadsheets show a number too wide; left-justified
// text keeps its start and ends in "…". Fits is false then, and the cell's tooltip has the text.
struct TFittedCellText {
  QString Text;
  int32_t X = 0;  // the offset from the cell's left edge
  bool Fits = true;
};
TFittedCellText FitCellText(const QString& text, TAlignment alignment, int32_t cellWidth,
                            const std::function<int(const QString&)>& width);

// ---------------------------------------------------------------------------------------------
// Sparse storage

enum TSPAQuantum { SPASmall, SPALarge };

// Two-level pointer table: a directory of sections, each a zero-filled block of 16 (small) or
// 256 (large) slots allocated on first write. Keeps the highest written index and a one-entry
// read cache. Indices must be non-negative; the lists above check that.
class TSparsePointerArray {
public:
  explicit TSparsePointerArray(TSPAQuantum quantum);
  ~TSparsePointerArray();
  TSparsePointerArray(const TSparsePointerArray&) = delete;
  TSparsePointerArray& operator=(const TSparsePointerArray&) = delete;

  void* Get(int32_t index) const;
  void Put(int32_t index, void* value);
  void Clear();
  int32_t HighBound() const { return FHighBound; }  // -1 when nothing is stored
  int32_t SlotsPerSection() const { return static_cast<int32_t>(FSlotMask) + 1; }
  int32_t SectionCount() const;  // allocated sections
  // Calls f(index, value) for every non-nil slot from index `from` upward, in order.
  void ForAll(const std::function<void(int32_t, void*)>& f, int32_t from = 0) const;

private:
  void LowerHighBound();

  uint32_t FSlotMask;
  uint32_t FSectionShift;
  std::vector<void**> FDirectory;
  int32_t FHighBound = -1;
  mutable int32_t FCacheIndex = -1;
  mutable void* FCacheValue = nullptr;
};

// A list of pointers over a sparse array. Entries never written read as nil.
class TSparseList {
public:
  explicit TSparseList(TSPAQuantum quantum);
  TSparseList(const TSparseList&) = delete;
  TSparseList& operator=(const TSparseList&) = delete;

  int32_t Count() const { return FCount; }
  void* Get(int32_t index) const;
  void Put(int32_t index, void* value);
  void Insert(int32_t index, void* value);
  void Delete(int32_t index);
  void Exchange(int32_t index1, int32_t index2);
  void Move(int32_t curIndex, int32_t newIndex);
  void Clear();
  void ForAll(const std::function<void(int32_t, void*)>& f) const { FList.ForAll(f); }
  const TSparsePointerArray& Array() const { return FList; }
  // Counts the changes that move, replace or drop an entry (filling an empty slot is none), so
  // a reader can tell that the entries still stand where it saw them.
  uint64_t Rearrangements() const { return FRearrangements; }
  void NoteRearranged() { ++FRearrangements; }

private:
  static void CheckIndex(int32_t index);
  TSparsePointerArray FList;
  int32_t FCount = 0;
  uint64_t FRearrangements = 0;
};

// A sparse list of (text, object) pairs: one row of the string grid, indexed by column.
// A pair that becomes empty text without object is released again.
class TStringSparseList {
public:
  explicit TStringSparseList(TSPAQuantum quantum);
  ~TStringSparseList();
  TStringSparseList(const TStringSparseList&) = delete;
  TStringSparseList& operator=(const TStringSparseList&) = delete;

  int32_t Count() const { return FList.Count(); }
  QString Get(int32_t index) const;
  // The text itself, without a copy; nullptr for an empty cell.
  const QString* Text(int32_t index) const {
    const TStrItem* item = Item(index);
    return item != nullptr ? &item->Text : nullptr;
  }
  void Put(int32_t index, const QString& text);
  void* GetObject(int32_t index) const;
  void PutObject(int32_t index, void* object);
  void Insert(int32_t index, const QString& text);
  void Delete(int32_t index);
  void Exchange(int32_t index1, int32_t index2) { FList.Exchange(index1, index2); }
  void Move(int32_t curIndex, int32_t newIndex) { FList.Move(curIndex, newIndex); }
  void Clear();
  const TSparseList& List() const { return FList; }

private:
  struct TStrItem {
    QString Text;
    void* Object = nullptr;
  };
  TStrItem* Item(int32_t index) const { return static_cast<TStrItem*>(FList.Get(index)); }
  void Store(int32_t index, const QString& text, void* object);
  TSparseList FList;
};

// Grows or shrinks an extent table (column widths, row heights, tab stops) by `amount`
// entries, new ones holding `fill`; shrinking by more than it holds is an error.
template <typename T>
void ModifyExtents(std::vector<T>& extents, int32_t amount, T fill) {
  const int64_t newCount = static_cast<int64_t>(extents.size()) + amount;
  if (newCount < 0) throw EInvalidOperation("Too many rows or columns deleted");
  extents.resize(static_cast<size_t>(newCount), fill);
}

class TMyCustomGrid;
class TMyStringGrid;

// ---------------------------------------------------------------------------------------------
// In-place editor

// The single-line editor over the current cell; a child of the grid's viewport.
class TInplaceEdit : public QLineEdit {
public:
  explicit TInplaceEdit(TMyCustomGrid* grid);

  TMyCustomGrid* Grid() const { return FGrid; }
  int32_t EditCol() const { return FCol; }
  int32_t EditRow() const { return FRow; }
  // Loads mask and text of the cell it is on, everything selected.
  void UpdateContents();
  // Caret to the end, nothing selected.
  void Deselect();

protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  // A typed character, after the grid's key-press handling saw it.
  virtual void KeyPress(QChar& key);

private:
  friend class TMyCustomGrid;
  void TextChanged(const QString& text);
  void SendKeyToGrid(int key, TShiftState shift);
  // Types a character the grid passed on when it opened the editor.
  void PassChar(QChar ch);
  bool ModifyAllowed();

  TMyCustomGrid* FGrid;
  int32_t FCol = -1;
  int32_t FRow = -1;
  bool FLoading = false;
};

// ---------------------------------------------------------------------------------------------
// Grid base

class TMyCustomGrid : public QAbstractScrollArea {
  Q_OBJECT
  friend class TInplaceEdit;

public:
  explicit TMyCustomGrid(QWidget* parent = nullptr);
  ~TMyCustomGrid() override;

  // Update bracket. Brackets are not counted: the first EndUpdate ends the update.
  TNotifyEvent OnBeginUpdate;
  virtual void BeginUpdate();
  virtual void EndUpdate();
  bool NowUpdating() const { return FNowUpdating; }
  // False inside an update bracket: the grid takes no keys, clicks or wheel turns.
  bool InputEnabled() const { return !FInputDisabled; }

  // Repaint requests; no effect while the grid is not shown.
  void InvalidateCell(int32_t ACol, int32_t ARow);
  void InvalidateCol(int32_t ACol);
  void InvalidateRow(int32_t ARow);
  void InvalidateGrid();

  // Whole-line moves and deletes (the deleted line's data stays stored beyond the end).
  void MoveColumn(int32_t FromIndex, int32_t ToIndex);
  void MoveRow(int32_t FromIndex, int32_t ToIndex);
  virtual void DeleteColumn(int32_t ACol);
  virtual void DeleteRow(int32_t ARow);

  TGridState GridState() const { return FGridState; }
  TInplaceEdit* InplaceEditor() const { return FInplaceEdit; }

  // Control-level events.
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

protected:
  // Properties (published by TMyDrawGrid).
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle value);
  int32_t Col() const { return FCurrent.X; }
  void SetCol(int32_t value);
  int32_t ColCount() const { return FColCount; }
  void SetColCount(int32_t value);
  int32_t ColWidths(int32_t Index) const;
  void SetColWidths(int32_t Index, int32_t value);
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  int32_t DefaultColWidth() const { return FDefaultColWidth; }
  void SetDefaultColWidth(int32_t value);
  bool DefaultDrawing() const { return FDefaultDrawing; }
  void SetDefaultDrawing(bool value);
  int32_t DefaultRowHeight() const { return FDefaultRowHeight; }
  void SetDefaultRowHeight(int32_t value);
  bool EditorMode() const { return FEditorMode; }
  void SetEditorMode(bool value);
  TColor FixedColor() const { return FFixedColor; }
  void SetFixedColor(TColor value);
  int32_t FixedCols() const { return FFixedCols; }
  void SetFixedCols(int32_t value);
  int32_t FixedRows() const { return FFixedRows; }
  void SetFixedRows(int32_t value);
  int32_t GridLineWidth() const { return FGridLineWidth; }
  void SetGridLineWidth(int32_t value);
  int32_t LeftCol() const { return FTopLeft.X; }
  void SetLeftCol(int32_t value);
  TGridOptions Options() const { return FOptions; }
  void SetOptions(TGridOptions value);
  int32_t Row() const { return FCurrent.Y; }
  void SetRow(int32_t value);
  int32_t RowCount() const { return FRowCount; }
  void SetRowCount(int32_t value);
  int32_t RowHeights(int32_t Index) const;
  void SetRowHeights(int32_t Index, int32_t value);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle value);
  TGridRect Selection() const;
  void SetSelection(const TGridRect& value);
  bool TabStops(int32_t Index) const;
  void SetTabStops(int32_t Index, bool value);
  int32_t TopRow() const { return FTopLeft.Y; }
  void SetTopRow(int32_t value);
  int32_t VisibleColCount() const;
  int32_t VisibleRowCount() const;
  bool SaveCellExtents() const { return FSaveCellExtents; }
  void SetSaveCellExtents(bool value) { FSaveCellExtents = value; }

  // Geometry.
  TRect CellRect(int32_t ACol, int32_t ARow) const;
  TGridCoord MouseCoord(int X, int Y) const;
  // The canvas while the grid paints; null otherwise.
  QPainter* Canvas() const { return FCanvas; }

  // Moving the current cell.
  void MoveColRow(int32_t ACol, int32_t ARow, bool MoveAnchor, bool Show);
  // Keyboard and mouse moves: MoveColRow with scrolling, the editor updated, Click fired.
  void FocusCell(int32_t ACol, int32_t ARow, bool MoveAnchor);
  void MoveTopLeft(int32_t ALeft, int32_t ATop);

  // The in-place editor.
  void ShowEditor();
  void HideEditor();
  void InvalidateEditor();
  void UpdateEdit();
  void HideEdit();
  // The grid or its editor holds the keyboard focus.
  bool GridHasFocus() const;
  // Set while an editor text is written back, so the cell write does not reload the editor.
  bool EditorWriteBack() const { return FEditWriteBack > 0; }
  struct WriteBackScope {
    explicit WriteBackScope(TMyCustomGrid& grid) : Grid(grid) { ++Grid.FEditWriteBack; }
    ~WriteBackScope() { --Grid.FEditWriteBack; }
    WriteBackScope(const WriteBackScope&) = delete;
    WriteBackScope& operator=(const WriteBackScope&) = delete;
    TMyCustomGrid& Grid;
  };
  // The editor, if it is on this cell, loads the cell's text again.
  void ReloadEditor(int32_t ACol, int32_t ARow);
  // Destroys the editor before the grid's own parts go; derived destructors call it first.
  void DestroyEditor();

  // Hooks.
  virtual void DrawCell(int32_t ACol, int32_t ARow, const TRect& ARect, TGridDrawState AState);
  virtual bool SelectCell(int32_t ACol, int32_t ARow);
  virtual QString GetEditText(int32_t ACol, int32_t ARow);
  virtual void SetEditText(int32_t ACol, int32_t ARow, const QString& Value);
  virtual QString GetEditMask(int32_t ACol, int32_t ARow);
  virtual bool CanEditModify();
  virtual bool CanEditAcceptKey(QChar Key);
  virtual bool CanGridAcceptKey(int Key, TShiftState Shift);
  virtual bool CanEditShow();
  virtual TInplaceEdit* CreateEditor();
  virtual void ColumnMoved(int32_t FromIndex, int32_t ToIndex);
  virtual void RowMoved(int32_t FromIndex, int32_t ToIndex);
  virtual void SizeChanged(int32_t OldColCount, int32_t OldRowCount);
  virtual void ColWidthsChanged();
  virtual void RowHeightsChanged();
  virtual void TopLeftChanged();
  // After the scroll bars got their range and page; derived grids may resize the thumbs.
  virtual void ScrollBarsUpdated() {}

  // Input hooks; each fires its event when set.
  virtual void KeyDown(int& Key, TShiftState Shift);
  virtual void KeyUp(int& Key, TShiftState Shift);
  virtual void KeyPress(QChar& Key);
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual bool DoMouseWheelDown(TShiftState Shift, QPoint MousePos);
  virtual bool DoMouseWheelUp(TShiftState Shift, QPoint MousePos);
  virtual void Click();
  virtual void DblClick();
  virtual void DoEnter();
  virtual void DoExit();
  // After the widget changed size.
  virtual void Resize();

  // Qt plumbing.
  bool event(QEvent* e) override;
  bool viewportEvent(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;

  // Pixel arithmetic works on widths, heights and lines clamped to +-kPixelLimit, and positions
  // add up saturating at it: a stored size of 2^31 - 1 is far beyond any screen, and sums of such
  // sizes must not overflow.
  static constexpr int32_t kPixelLimit = 1 << 24;
  static int32_t ClampPixels(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, -kPixelLimit, kPixelLimit));
  }
  static int32_t AddPixels(int32_t position, int32_t advance) {
    return ClampPixels(static_cast<int64_t>(position) + advance);
  }
  int32_t Extent(bool horz, int32_t index) const {
    return ClampPixels(horz ? ColWidths(index) : RowHeights(index));
  }
  int32_t LinePixels() const { return ClampPixels(FGridLineWidth); }

private:
  // Pixel layout along one axis (columns: horizontal, rows: vertical).
  struct TAxisInfo {
    int32_t LineWidth = 0;       // pixels after each cell
    int32_t FixedBoundary = 0;   // first pixel after the fixed cells
    int32_t GridBoundary = 0;    // first pixel after the last drawn cell, at most GridExtent
    int32_t GridExtent = 0;      // client size along the axis
    int32_t LastFullVisibleCell = 0;
    int32_t FixedCellCount = 0;
    int32_t FirstGridCell = 0;
    int32_t GridCellCount = 0;
  };
  TAxisInfo AxisInfo(bool horz) const;
  int32_t Advance(bool horz, int32_t index, int32_t lineWidth) const;
  int32_t CellStart(const TAxisInfo& info, bool horz, int32_t index) const;  // -1: not shown
  int32_t CellAt(const TAxisInfo& info, bool horz, int32_t pos) const;       // -1: none
  int32_t MaxFirstCell(bool horz) const;
  TGridCoord CalcMaxTopLeft() const;
  void ClampInView(const TGridCoord& coord);
  void UpdateScrollRange();
  void UpdateScrollPos();
  void ChangeSize(int32_t NewColCount, int32_t NewRowCount);
  void SizeBookkeeping();
  void ReportError(const std::exception& error);
  void HandleMouse(QMouseEvent* e, const std::function<void(TShiftState, int, int)>& handler);
  void ResetToFixed();
  void SelectionMoved();
  void MoveExtent(std::vector<int32_t>& extents, int32_t from, int32_t to);
  void MoveAdjust(int32_t& pos, int32_t from, int32_t to) const;
  void CalcSizingState(int X, int Y, TGridState& state, int32_t& index, int32_t& sizingPos,
                       int32_t& sizingOfs) const;
  void UpdateSizingCursor(int X, int Y);
  void ScrollTimerTick();
  void ApplyPendingThumb();
  void ShowEditorChar(QChar ch);
  void FocusLeaving(Qt::FocusReason reason);
  void FocusArrived();
  void SelectingMove(int X, int Y);
  bool IsHiddenCell(bool horz, int32_t index) const { return Extent(horz, index) + LinePixels() <= 0; }
  int32_t FirstCellShowing(bool horz, int32_t last) const;

  // Painting.
  void PaintGrid(QPainter& p, const QRect& clip);
  void DrawFocusRect(QPainter& p, const TRect& r) const;
  void DrawDragLine(QPainter& p) const;

  // Fields in the order of the grid state.
  TGridCoord FAnchor;
  TBorderStyle FBorderStyle = bsSingle;
  int32_t FColCount = 5;
  std::vector<int32_t> FColWidths;  // empty: no table, every column has the default
  std::vector<uint8_t> FTabStops;   // empty: no table, every column is a tab stop
  TGridCoord FCurrent;
  int32_t FDefaultColWidth = 64;
  int32_t FDefaultRowHeight = 24;
  int32_t FFixedCols = 1;
  int32_t FFixedRows = 1;
  TColor FFixedColor = clBtnFace;
  int32_t FGridLineWidth = 1;
  TGridOptions FOptions{goFixedVertLine, goFixedHorzLine, goVertLine, goHorzLine, goRangeSelect};
  int32_t FRowCount = 5;
  std::vector<int32_t> FRowHeights;
  TScrollStyle FScrollBars = ssBoth;
  TGridCoord FTopLeft;
  int32_t FSizingIndex = 0;
  int32_t FSizingPos = 0;
  int32_t FSizingOfs = 0;
  int32_t FMovePos = 0;
  TInplaceEdit* FInplaceEdit = nullptr;
  bool FDefaultDrawing = true;
  bool FEditorMode = false;
  bool FNowUpdating = false;
  TGridState FGridState = gsNormal;
  bool FSaveCellExtents = true;

  TColor FColor = clWindow;
  bool FInputDisabled = false;
  bool FWaitCursor = false;
  bool FSettingScrollBars = false;
  bool FFocusWithin = false;
  int FEditWriteBack = 0;
  int FWheelAccumulator = 0;
  QPoint FLastMousePos;
  QTimer FScrollTimer;
  QPainter* FCanvas = nullptr;
  bool FDestroying = false;

  friend class TMyStringGrid;
};

// Turns the hooks into events.
class TMyCustomDrawGrid : public TMyCustomGrid {
  Q_OBJECT

public:
  explicit TMyCustomDrawGrid(QWidget* parent = nullptr);

  using TMyCustomGrid::CellRect;
  using TMyCustomGrid::Canvas;
  // The cell under a client point; both -1 when either lies outside.
  void MouseToCell(int X, int Y, int32_t& ACol, int32_t& ARow) const;

  TMovedEvent OnColumnMoved;
  TDrawCellEvent OnDrawCell;
  TGetEditEvent OnGetEditMask;
  TGetEditEvent OnGetEditText;
  TMovedEvent OnRowMoved;
  TSelectCellEvent OnSelectCell;
  TSetEditEvent OnSetEditText;
  TNotifyEvent OnTopLeftChanged;

protected:
  void ColumnMoved(int32_t FromIndex, int32_t ToIndex) override;
  void RowMoved(int32_t FromIndex, int32_t ToIndex) override;
  void DrawCell(int32_t ACol, int32_t ARow, const TRect& ARect, TGridDrawState AState) override;
  QString GetEditMask(int32_t ACol, int32_t ARow) override;
  QString GetEditText(int32_t ACol, int32_t ARow) override;
  void SetEditText(int32_t ACol, int32_t ARow, const QString& Value) override;
  bool SelectCell(int32_t ACol, int32_t ARow) override;
  void TopLeftChanged() override;
};

// Publishes the properties.
class TMyDrawGrid : public TMyCustomDrawGrid {
  Q_OBJECT

public:
  explicit TMyDrawGrid(QWidget* parent = nullptr);

  using TMyCustomGrid::BorderStyle;
  using TMyCustomGrid::SetBorderStyle;
  using TMyCustomGrid::Col;
  using TMyCustomGrid::SetCol;
  using TMyCustomGrid::ColCount;
  using TMyCustomGrid::SetColCount;
  using TMyCustomGrid::ColWidths;
  using TMyCustomGrid::SetColWidths;
  using TMyCustomGrid::Color;
  using TMyCustomGrid::SetColor;
  using TMyCustomGrid::DefaultColWidth;
  using TMyCustomGrid::SetDefaultColWidth;
  using TMyCustomGrid::DefaultDrawing;
  using TMyCustomGrid::SetDefaultDrawing;
  using TMyCustomGrid::DefaultRowHeight;
  using TMyCustomGrid::SetDefaultRowHeight;
  using TMyCustomGrid::EditorMode;
  using TMyCustomGrid::SetEditorMode;
  using TMyCustomGrid::FixedColor;
  using TMyCustomGrid::SetFixedColor;
  using TMyCustomGrid::FixedCols;
  using TMyCustomGrid::SetFixedCols;
  using TMyCustomGrid::FixedRows;
  using TMyCustomGrid::SetFixedRows;
  using TMyCustomGrid::GridLineWidth;
  using TMyCustomGrid::SetGridLineWidth;
  using TMyCustomGrid::LeftCol;
  using TMyCustomGrid::SetLeftCol;
  using TMyCustomGrid::Options;
  using TMyCustomGrid::SetOptions;
  using TMyCustomGrid::Row;
  using TMyCustomGrid::SetRow;
  using TMyCustomGrid::RowCount;
  using TMyCustomGrid::SetRowCount;
  using TMyCustomGrid::RowHeights;
  using TMyCustomGrid::SetRowHeights;
  using TMyCustomGrid::ScrollBars;
  using TMyCustomGrid::SetScrollBars;
  using TMyCustomGrid::Selection;
  using TMyCustomGrid::SetSelection;
  using TMyCustomGrid::TabStops;
  using TMyCustomGrid::SetTabStops;
  using TMyCustomGrid::TopRow;
  using TMyCustomGrid::SetTopRow;
  using TMyCustomGrid::VisibleColCount;
  using TMyCustomGrid::VisibleRowCount;
  using TMyCustomGrid::SaveCellExtents;
  using TMyCustomGrid::SetSaveCellExtents;
};

// ---------------------------------------------------------------------------------------------
// String grid

// One row (tag index + 1) or one column (tag ~index) of a string grid as a string list.
class TMyStringGridStrings {
public:
  TMyStringGridStrings(TMyStringGrid* grid, int32_t tag);

  int32_t Tag() const { return FTag; }
  int32_t Count() const;
  QString Get(int32_t Index) const;
  void Put(int32_t Index, const QString& S);
  void* GetObject(int32_t Index) const;
  void PutObject(int32_t Index, void* AObject);
  // Writes into the first empty cell; -1 when there is none.
  int32_t Add(const QString& S);
  int32_t AddObject(const QString& S, void* AObject);
  void Clear();
  void Assign(const TMyStringGridStrings& Source);
  void Assign(const QStringList& Source);
  void Insert(int32_t Index, const QString& S);
  void Delete(int32_t Index);
  void BeginUpdate();
  void EndUpdate();
  QStringList ToStringList() const;

private:
  int32_t CellCol(int32_t Index) const { return FTag > 0 ? Index : ~FTag; }
  int32_t CellRow(int32_t Index) const { return FTag > 0 ? FTag - 1 : Index; }

  TMyStringGrid* FGrid;
  int32_t FTag;
  int FUpdateCount = 0;
};

class TMyStringGrid : public TMyDrawGrid {
  Q_OBJECT

public:
  explicit TMyStringGrid(QWidget* parent = nullptr);
  ~TMyStringGrid() override;

  QString Cells(int32_t ACol, int32_t ARow) const;
  void SetCells(int32_t ACol, int32_t ARow, const QString& Value);
  void* Objects(int32_t ACol, int32_t ARow) const;
  void SetObjects(int32_t ACol, int32_t ARow, void* Value);
  TMyStringGridStrings* Rows(int32_t Index);
  TMyStringGridStrings* Cols(int32_t Index);
  // Told before a cell's text is written: -1 for the column or row when a whole row, a whole
  // column or every cell changes at once.
  std::function<void(int32_t ACol, int32_t ARow)> OnCellWriting;

  // Storage introspection, for callers that must know what exists.
  const TSparseList& Data() const { return FData; }
  bool HasRowView(int32_t Index) const { return FRowViews.Get(Index) != nullptr; }
  bool HasColView(int32_t Index) const { return FColViews.Get(Index) != nullptr; }

protected:
  // The row lists themselves, for derived grids that reorder whole rows at once; such a
  // grid only permutes the entries, so ownership stays with this grid.
  TSparseList& RowData() { return FData; }
  void ColumnMoved(int32_t FromIndex, int32_t ToIndex) override;
  void RowMoved(int32_t FromIndex, int32_t ToIndex) override;
  void DrawCell(int32_t ACol, int32_t ARow, const TRect& ARect, TGridDrawState AState) override;
  QString GetEditText(int32_t ACol, int32_t ARow) override;
  void SetEditText(int32_t ACol, int32_t ARow, const QString& Value) override;

private:
  friend class TMyStringGridStrings;
  TStringSparseList* EnsureRow(int32_t ARow);
  void EnsureViews(int32_t ACol, int32_t ARow);
  TMyStringGridStrings* View(TSparseList& views, int32_t index, int32_t tag);
  void CellChanged(int32_t ACol, int32_t ARow);
  void CellsCleared(int32_t ACol, int32_t ARow);  // -1: the whole row / column
  void ViewsUpdate(bool updating);

  TSparseList FData;
  TSparseList FRowViews;
  TSparseList FColViews;
  int FViewUpdating = 0;
  bool FViewNeedsRepaint = false;
};

// Closes an update bracket whatever happens inside it.
class TGridUpdateGuard {
public:
  explicit TGridUpdateGuard(TMyCustomGrid& grid);
  ~TGridUpdateGuard() noexcept(false);
  TGridUpdateGuard(const TGridUpdateGuard&) = delete;
  TGridUpdateGuard& operator=(const TGridUpdateGuard&) = delete;

private:
  TMyCustomGrid& FGrid;
  int FExceptions;
};
