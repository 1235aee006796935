#pragma once
// The sortable string grid. Row 0 is the header; the data rows below it can be ordered by one
// column with further columns as tie-breaking keys. The grid saves and loads its whole state
// as comma-list text lines, exports semicolon-separated files, tracks whether its contents
// changed, and keeps per-column and per-row font settings in step with its size.
//
// Files: SortGrid.cpp (construction, bracket, size change, selection, mouse, auto-size),
// SortGridSort.cpp (sort engine, search), SortGridPersistence.cpp (files, fonts, colours).

#include <QFont>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "grid/MyGrids.h"
#include "grid/SortGridTypes.h"
#include "platform/Color.h"

// ---------------------------------------------------------------------------------------------
// Sort options

enum TSortStyle { ssAutomatic, ssNormal, ssNumeric, ssNumericExtended, ssDateTime, ssTime, ssCustom };
enum TSortDirection { sdAscending, sdDescending };

// Negative, zero or positive, as the two texts order.
using TCustomCompare = std::function<int32_t(const QString& Text1, const QString& Text2)>;

// Owned by the grid and edited in place; never replaced.
class TSortOptions {
public:
  TSortOptions() = default;
  TSortOptions(const TSortOptions&) = delete;
  TSortOptions& operator=(const TSortOptions&) = delete;

  // Further sort keys: column numbers in one comma list.
  QString SecondaryIndex() const { return FSecondaryIndex; }
  void SetSecondaryIndex(const QString& value) { FSecondaryIndex = value; }
  // While false, sorting does nothing.
  bool CanSort() const { return FCanSort; }
  void SetCanSort(bool value) { FCanSort = value; }
  // Every sort pass overwrites it with the style of the key it sorts.
  TSortStyle SortStyle() const { return FSortStyle; }
  void SetSortStyle(TSortStyle value) { FSortStyle = value; }
  bool SortCaseSensitive() const { return FSortCaseSensitive; }
  void SetSortCaseSensitive(bool value) { FSortCaseSensitive = value; }
  int32_t SortCol() const { return FSortCol; }
  void SetSortCol(int32_t value) { FSortCol = value; }
  TSortDirection SortDirection() const { return FSortDirection; }
  void SetSortDirection(TSortDirection value) { FSortDirection = value; }
  // Re-sort by SortCol after every change of the column or row count.
  bool UpdateOnSizeChange() const { return FUpdateOnSizeChange; }
  void SetUpdateOnSizeChange(bool value) { FUpdateOnSizeChange = value; }

  // The comparison of ssCustom; every sort clears it when it ends.
  TCustomCompare CustomCompare;

private:
  QString FSecondaryIndex;
  bool FCanSort = true;
  TSortStyle FSortStyle = ssNormal;
  bool FSortCaseSensitive = false;
  int32_t FSortCol = 0;
  TSortDirection FSortDirection = sdAscending;
  bool FUpdateOnSizeChange = false;
};

// One data row in one sort pass.
struct TSortedListEntry {
  QString Text;          // the key column's text (plain texts keep their letter case: compared folded)
  int32_t RowIndex = 0;  // position in the working copy, 1-based like grid rows; the tie-break
  const TSortOptions* Options = nullptr;
};

// Orders two entries by the options' style and direction; equal keys keep their row order in
// both directions, so this is a total order whenever the style's comparison is one.
int CompareEntries(const TSortedListEntry& E1, const TSortedListEntry& E2);
// Orders two key texts by a style, ascending; the comparison every sort pass makes.
int CompareSortTexts(TSortStyle Style, const TCustomCompare& Custom, const QString& Text1, const QString& Text2);

// The keys of a sort by several columns (the first the primary one), each with the style the
// grid's sort would use for it; for ordering single rows as that sort orders them.
struct TSortKeys {
  struct TKey {
    int32_t Col = 0;
    TSortStyle Style = ssNormal;
    TCustomCompare Custom;
  };
  std::vector<TKey> Keys;
  bool CaseSensitive = false;
};

using TGetSortStyleEvent = std::function<void(QObject* Sender, int32_t Col, TSortStyle& SortStyle)>;

// ---------------------------------------------------------------------------------------------
// Font settings

// A colour as the name of its standard constant, or "$" and eight hex digits.
QString ColorToString(TColor color);
// Accepts a constant name, a "$" hexadecimal or a decimal number.
std::optional<TColor> StringToColor(const QString& text);

// The font of one column or row. Active is never set by the program; an inactive setting does
// not change how a cell is drawn.
class TFontSetting {
public:
  TColor FontColor = clBlack;
  TColor BackColor = clBlack;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool Active = false;

  // Font colour, bold, italic, underline, back colour as a comma list.
  QString Text() const;
  // Reads items 0 to 4 of a comma list; throws on fewer items or a colour it cannot read.
  void SetText(const QString& text);
};

// Owns its settings.
class TFontList {
public:
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  TFontSetting& Items(int32_t Index) { return *FItems.at(static_cast<size_t>(Index)); }
  const TFontSetting& Items(int32_t Index) const { return *FItems.at(static_cast<size_t>(Index)); }
  TFontSetting& Add();
  void Delete(int32_t Index);  // ignored when absent
  // Ignored unless both positions exist.
  void Move(int32_t FromIndex, int32_t ToIndex);
  void Clear() { FItems.clear(); }
  // Appends default entries (Delta > 0) or drops entries from the end, as far as there are any.
  void Resize(int32_t Delta);

private:
  std::vector<std::unique_ptr<TFontSetting>> FItems;
};

// ---------------------------------------------------------------------------------------------
// Cell format

enum TVertAlignment { taTopJustify, taBottomJustify, taMiddle };
enum TCellBevelStyle { cbNone, cbRaised, cbLowered };

// The canvas font and brush of a cell, as a format handler may change them.
struct TCellFont {
  QFont Font;
  TColor Color = clWindowText;
};
struct TCellBrush {
  TColor Color = clWindow;
  Qt::BrushStyle Style = Qt::SolidPattern;
};

struct TFormatOptions {
  TCellBrush* Brush = nullptr;
  TCellFont* Font = nullptr;  // a handler may point it elsewhere; that font is then used
  TAlignment AlignmentHorz = taLeftJustify;
  TVertAlignment AlignmentVert = taTopJustify;
  TCellBevelStyle Bevel = cbNone;
  TColor HighlightColor = clWindow;
  TColor ShadowColor = clWindow;
  bool HideText = false;
};

using TFormatDrawCellEvent =
    std::function<void(QObject* Sender, int32_t Col, int32_t Row, TGridDrawState State,
                       TFormatOptions& FormatOptions, bool& CheckBox, bool& Combobox, bool& Ellipsis)>;
using TSizeChangedEvent = std::function<void(QObject* Sender, int32_t OldColCount, int32_t OldRowCount)>;

// ---------------------------------------------------------------------------------------------
// The grid

class TSortGrid : public TMyStringGrid {
  Q_OBJECT

public:
  explicit TSortGrid(QWidget* parent = nullptr);
  ~TSortGrid() override;

  // The header row is the one fixed row; owners cannot change that.
  using TMyDrawGrid::FixedRows;

  // --- Sorting
  TSortOptions& SortOptions() { return FSortOptions; }
  const TSortOptions& SortOptions() const { return FSortOptions; }
  TGetSortStyleEvent OnGetSortStyle;
  // Sorts the data rows by ACol, then by the columns of SecondaryIndex.
  void SortByColumn(int32_t ACol);
  // The style every data cell of the column converts to: numeric, date-time, time or normal.
  TSortStyle DetectSortStyle(int32_t ACol) const;
  // The first data row (parked rows included) whose cell equals Text; -1 when none does.
  int32_t FindRow(int32_t ACol, const QString& Text, bool IgnoreCase) const;
  // The point lies in the header row within 5 pixels of its column's left or right edge.
  bool IsOnHeaderBorder(int X, int Y) const;
  bool Sorting() const { return FSorting; }
  // The cell under a point of the viewport; a point below the last row counts as the last row.
  TGridCoord CellAtPoint(int X, int Y) const;
  // The cell the last mouse press (or double-click) was on.
  TGridCoord PressCell() const { return FPressCell; }
  // A header click sorts through this handler when one is set: it runs Sort, or does not.
  std::function<void(QObject* Sender, const std::function<void()>& Sort)> OnHeaderSort;
  // The entries of the last sort pass.
  const std::vector<TSortedListEntry*>& SortedList() const { return FSortedList; }
  // The keys SortByColumn would sort by with this primary column and secondary index, their
  // styles asked in the order of its passes (and the options left as those passes leave them).
  TSortKeys SortKeysFor(int32_t ACol);
  // Orders two data rows by the keys, ascending, as such a sort does before it falls back on
  // the rows' order: negative, zero or positive.
  int CompareRows(const TSortKeys& Keys, int32_t Row1, int32_t Row2) const;
  // The same for one key: the row's cell against a text (letter case already as the keys take it).
  int CompareCell(const TSortKeys& Keys, size_t Key, int32_t Row, const QString& Text) const;
  // Gives rows First .. First + Order.size() - 1 a new order in one step: new position First + i
  // gets the row at Order[i]. The selection follows its rows, as after a sort.
  void ArrangeRowRange(int32_t First, const std::vector<int32_t>& Order);

  // Update bracket: no re-sort on size changes inside it; OnEndUpdate at every EndUpdate.
  TNotifyEvent OnEndUpdate;
  void BeginUpdate() override;
  void EndUpdate() override;

  // --- Contents, files
  // Empties the data rows (the header stays), forgets fonts and selection, leaves one row.
  void Clear();
  bool Modified() const { return FModified; }
  TNotifyEvent OnModified;
  QStringList& UserSettings() { return FUserSettings; }
  const QStringList& UserSettings() const { return FUserSettings; }
  // Replacing the list counts as a change.
  void SetUserSettings(const QStringList& value);
  bool ColumnFontsFirst() const { return FColumnFontsFirst; }
  void SetColumnFontsFirst(bool value) { FColumnFontsFirst = value; }
  TFontList& ColumnFonts() { return FColumnFonts; }
  const TFontList& ColumnFonts() const { return FColumnFonts; }
  TFontList& RowFonts() { return FRowFonts; }
  const TFontList& RowFonts() const { return FRowFonts; }

  QStringList SaveToStrings(bool SaveLayout) const;
  // False when a line is malformed; the grid then keeps what was loaded before the fault.
  bool LoadFromStrings(const QStringList& Lines, bool RestoreLayout);
  // Failures are reported in a message box.
  void SaveToFile(const QString& FileName, bool SaveLayout);
  // False, without a message, when the file cannot be read.
  bool LoadFromFile(const QString& FileName, bool RestoreLayout);
  // Every row and column, hidden ones included; failures are reported in a message box.
  void SaveToCSV(const QString& FileName);

  // --- Cell format and column widths
  TAlignment AlignmentHorz() const { return FAlignmentHorz; }
  void SetAlignmentHorz(TAlignment value);
  TVertAlignment AlignmentVert() const { return FAlignmentVert; }
  void SetAlignmentVert(TVertAlignment value);
  TCellBevelStyle BevelStyle() const { return FBevelStyle; }
  void SetBevelStyle(TCellBevelStyle value);
  TFormatDrawCellEvent OnGetCellFormat;
  // Fills the options from the grid's defaults, then asks OnGetCellFormat.
  void GetCellFormat(int32_t ACol, int32_t ARow, TFormatOptions& FormatOptions, bool& CheckBox,
                     bool& Combobox, bool& Ellipsis);
  // Fits the column to its widest text; a hidden column only when forced.
  void AutoSizeColumn(int32_t ACol, bool Force);
  void AutoSizeColumns(bool Force);
  TSizeChangedEvent OnSizeChanged;
  // The whole text of a data cell that does not fit its width; empty when it fits.
  QString CellToolTip(int32_t ACol, int32_t ARow);

  // --- Selection
  // Selected rows as decimal texts, in the order added.
  const QStringList& SelectedRows() const { return FSelectedRows; }
  // Item 0 is the anchor; the last item is where the current row returns on deselection.
  const QStringList& SelectionTrail() const { return FSelectionTrail; }
  bool IsRowSelected(int32_t ARow) const;
  // Data rows kept behind the last row by a filter.
  int32_t ParkedRowCount() const { return FParkedRowCount; }
  TNotifyEvent OnRowSelected;
  // Makes (ACol, ARow) current, a data row, selects its row alone and optionally scrolls to it.
  void GoToCell(int32_t ACol, int32_t ARow, bool Scroll);
  // Shows the cell with one row above it, or the last page at the end of the grid.
  void ScrollToCell(int32_t ACol, int32_t ARow);

  // --- In-cell controls, validation, print options (SortGridFormat.cpp)
  TPrintOptions& PrintOptions() { return FPrintOptions; }
  const TPrintOptions& PrintOptions() const { return FPrintOptions; }
  TSetChecked OnSetChecked;
  TGetCombobox OnGetComboBox;
  TSetCombobox OnSetComboBox;
  TSetEllipsis OnSetEllipsis;
  TCellValidateEvent OnCellValidate;
  // A check box cell is on when its text is exactly "true" or "1".
  bool IsChecked(int32_t ACol, int32_t ARow);
  // Only for a check box cell: "1" or the empty text.
  void SetChecked(int32_t ACol, int32_t ARow, bool Value);
  // Shows the drop-down list over a drop-down cell; false when the cell offers no items.
  bool DropDownCombo(int32_t ACol, int32_t ARow);
  // Validates the edited cell against the snapshot taken when it was entered.
  void CheckCellEdit();
  // The drop-down list; null until first shown.
  QListWidget* DropDownList() const { return FDropDown; }

  // --- Multi-row selection, keys, row and column operations (SortGridSelection.cpp)
  bool MultiSelect() const { return FMultiSelect; }
  void SetMultiSelect(bool value);
  bool HideRows() const { return FHideRows; }
  void SetHideRows(bool value);
  bool Filtered() const { return FFiltered; }
  void SetFiltered(bool value);
  bool ExtendedKeys() const { return FExtendedKeys; }
  void SetExtendedKeys(bool value) { FExtendedKeys = value; }
  bool ProportionalScrollBars() const { return FProportionalScrollBars; }
  void SetProportionalScrollBars(bool value);
  // Shown by the grid itself on a right-button release below the header row.
  QMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(QMenu* value) { FPopupMenu = value; }
  TNotifyEvent OnColumnWidthsChanged;
  TNotifyEvent OnRowHeightsChanged;
  TUpdateGridEvent OnRowInsert;
  TUpdateGridEvent OnRowDelete;
  TUpdateGridEvent OnColumnInsert;
  TUpdateGridEvent OnColumnDelete;
  TSetFilterEvent OnSetFilter;
  TSearchEvent OnSearch;  // stored; nothing fires it
  // A row drag starts; without a handler the grid starts a drag of the selected rows' texts.
  TNotifyEvent OnStartDrag;
  // Selects the rows of Selection, top to bottom.
  void SelectRange();
  bool IsEmptyRow(int32_t ARow) const;
  void InsertRow(int32_t ARow);
  void InsertColumn(int32_t ACol);
  void DeleteRow(int32_t ARow) override;
  void DeleteColumn(int32_t ACol) override;
  void MoveRowWithFont(int32_t FromIndex, int32_t ToIndex);
  void ExchangeRows(int32_t ARow1, int32_t ARow2);
  // Puts the data rows into a new arrangement in one step: data row i (0-based, row i + 1)
  // becomes the row that was data row sources[i], or a new empty row where sources[i] is -1;
  // rows not named go, texts, objects and all. Row heights and fonts stay with the position.
  void ArrangeRows(const std::vector<int32_t>& sources);

protected:
  void SetModified(bool Value);
  // Forgets every selected row; the trail keeps one empty item.
  void ClearSelection();
  void SelectRowAlone(int32_t ARow);
  // Adds a row to the selection and to the trail.
  void AddToSelection(int32_t ARow);
  // A release on a header cell: toggles or sets the direction, then sorts.
  virtual void HeaderClick(TMouseButton Button, int32_t ACol);
  TGridDrawState CellState(int32_t ACol, int32_t ARow) const;

  bool SelectCell(int32_t ACol, int32_t ARow) override;
  void ColumnMoved(int32_t FromIndex, int32_t ToIndex) override;
  void SizeChanged(int32_t OldColCount, int32_t OldRowCount) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

  // SelectCell's first step: while the editor is on, a drop-down cell opens its list and a
  // check box or drop-down cell is refused; otherwise the base grid's answer.
  bool SelectCellInEditor(int32_t ACol, int32_t ARow);
  void DrawCell(int32_t ACol, int32_t ARow, const TRect& ARect, TGridDrawState AState) override;
  bool viewportEvent(QEvent* e) override;
  QString GetEditText(int32_t ACol, int32_t ARow) override;
  void SetEditText(int32_t ACol, int32_t ARow, const QString& Value) override;
  void Click() override;
  void DoEnter() override;
  void DoExit() override;
  void KeyDown(int& Key, TShiftState Shift) override;
  void KeyUp(int& Key, TShiftState Shift) override;
  void KeyPress(QChar& Key) override;
  bool DoMouseWheelDown(TShiftState Shift, QPoint MousePos) override;
  bool DoMouseWheelUp(TShiftState Shift, QPoint MousePos) override;
  void ColWidthsChanged() override;
  void RowHeightsChanged() override;
  void ScrollBarsUpdated() override;
  void Resize() override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  // Starts the drag of the selected rows (OnStartDrag when set).
  virtual void StartRowDrag();

private:
  using TMyDrawGrid::SetFixedRows;

  // Puts the data rows in the order given (position -> original row), tracking where each
  // original row stands now in `where`.
  void WriteBackRows(const std::vector<int32_t>& order, std::vector<int32_t>& where);
  void SelectMovedRows(const QStringList& oldSelection, const std::vector<int32_t>& order);
  // The key columns of a sort by ACol: it first, then the secondary index's columns.
  std::vector<int32_t> KeyColumns(int32_t ACol) const;
  void LoadLines(QStringList lines, bool RestoreLayout);
  // Drops the stored texts and objects of rows first .. the highest stored row.
  void ForgetStoredRowsFrom(int32_t first);
  // Drops one stored row; the rows stored behind it move up by one.
  void DropStoredRow(int32_t index);
  void ApplyLayout(const QStringList& layout);

  TSortOptions FSortOptions;
  std::vector<TSortedListEntry> FSortEntries;   // owns the entries of the last pass
  std::vector<TSortedListEntry*> FSortedList;  // the same entries, in sorted order
  bool FSorting = false;
  bool FSavedUpdateOnSizeChange = false;
  bool FUpdateSettingSaved = false;

  bool FModified = false;
  QStringList FUserSettings;
  bool FColumnFontsFirst = false;
  TFontList FColumnFonts;
  TFontList FRowFonts;

  TAlignment FAlignmentHorz = taLeftJustify;
  TVertAlignment FAlignmentVert = taTopJustify;
  TCellBevelStyle FBevelStyle = cbNone;
  TCellFont FCanvasFont;
  TCellBrush FCanvasBrush;

  QStringList FSelectedRows;
  QStringList FSelectionTrail;
  bool FTracking = true;
  TGridCoord FPressCell{-1, -1};
  int32_t FParkedRowCount = 0;

  // In-cell controls and validation (SortGridFormat.cpp).
  void SpaceReleased();
  void CellControlClick(int32_t ACol, int32_t ARow, int X);
  void AcceptDropDown();
  void HideDropDown();
  void DestroyDropDown();
  void TakeSnapshot();
  // The cell's format when no painting is under way; its font and brush are the grid's own.
  TFormatOptions FormatOutsideDrawing(int32_t ACol, int32_t ARow, bool& CheckBox, bool& Combobox, bool& Ellipsis);
  // The in-cell controls the cell's format gives it.
  void CellControls(int32_t ACol, int32_t ARow, bool& CheckBox, bool& Combobox, bool& Ellipsis);
  friend class TDropDownList;
  TPrintOptions FPrintOptions;
  QImage FGlyphUp = LoadGridBitmap("UP");
  QImage FGlyphDown = LoadGridBitmap("DOWN");
  QListWidget* FDropDown = nullptr;
  struct TCellSnapshot {
    bool Taken = false;
    int32_t Col = -1;
    int32_t Row = -1;
    QString Text;
    bool Modified = false;
  } FSnapshot;
  bool FEntered = false;

  // Selection extras (SortGridSelection.cpp).
  void PressSteps(QMouseEvent* e, bool& baseHandles);
  void ReleaseSteps(TMouseButton Button, TShiftState Shift, int X, int Y);
  void ParkRows();
  void UnparkRows();
  bool FMultiSelect = false;
  bool FHideRows = false;
  bool FFiltered = false;
  bool FExtendedKeys = false;
  bool FProportionalScrollBars = false;
  bool FFilterPlaceholder = false;  // row 1 is the empty row standing in for a fully parked grid
  QMenu* FPopupMenu = nullptr;
  QPoint FDragPoint{-1, -1};
  bool FDragging = false;
  bool FTabHeld = false;
};
