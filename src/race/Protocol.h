#pragma once
// The results protocol: one row per rider in a sort grid, with start number, name, category,
// the last five lap times, lap count, average speed, time and place; the operations that start,
// time, stop, rank and remove riders; and the protocol grid's answers for sort style and cell
// alignment. An empty entry row is always kept as the last row, so a START always has a row.
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "grid/SortGrid.h"

// The protocol's columns.
enum TProtocolColumn : int32_t {
  pcPlace = 0,
  pcNumber = 1,
  pcName = 2,
  pcCategory = 3,
  pcLap5 = 4,  // the oldest of the five lap times shown
  pcLap4 = 5,
  pcLap3 = 6,
  pcLap2 = 7,
  pcLap1 = 8,  // the newest lap time
  pcLapCount = 9,
  pcSpeed = 10,
  pcTime = 11,
  pcLastLapTick = 12,  // hidden: tick of the last lap, "0" once stopped
  pcStartTick = 13,    // hidden: start tick on course, the total in milliseconds once stopped
};
constexpr int32_t kProtocolColumns = 14;
// A race has exactly this many laps; the last one is recorded by STOPP.
constexpr int kRaceLaps = 5;

// The header text of a column; the two hidden columns have none.
QString ProtocolHeader(int32_t col);
// The design widths of the columns; column 2 ("Name") takes the rest of the width, but never
// less than kMinNameWidth (a narrow window would otherwise hide the names).
int32_t ProtocolColumnWidth(int32_t col);
constexpr int32_t kMinNameWidth = 48;

// The order of lap counts and duration texts: an empty text counts as 20 characters, a shorter
// text comes first, texts of equal length compare by character codes.
int32_t CompareByLength(const QString& a, const QString& b);

// A speed with one decimal and the locale's decimal separator, rounded half away from zero on
// the exact value, as the toolkit's "%1.1f" rounds.
QString FormatSpeed(double kmh);

// Which file buttons the protocol allows. The printer is asked only when it matters.
struct TFileButtons {
  bool Save = false;
  bool Print = false;
  bool Excel = false;
  bool HTML = false;
  bool operator==(const TFileButtons&) const = default;
};
TFileButtons DecideFileButtons(int32_t rowCount, const std::function<bool()>& hasPrinter);

// The protocol's cell alignment: header centred, name and category left, the rest as the grid
// says (right).
void ProtocolCellAlignment(int32_t Col, int32_t Row, TFormatOptions& FormatOptions);

class TProtocol {
public:
  // lapDistance(k): metres covered after k laps, k = 1 .. 5.
  TProtocol(TSortGrid& grid, std::function<int32_t(int k)> lapDistance);
  ~TProtocol();
  TProtocol(const TProtocol&) = delete;
  TProtocol& operator=(const TProtocol&) = delete;

  // The protocol grid's design-time properties: 14 columns, header row, row selection,
  // column sizing, vertical scroll bar, right-justified cells, sorting off until the first
  // ranking. Called by the constructor.
  static void SetUpGrid(TSortGrid& grid);
  // Start-up: header texts, column layout, row 1 selected.
  void StartUp();

  // The selection handler, run whenever an operation moves the current row or selects a row.
  std::function<void(int32_t Row)> OnSelectRow;
  // The tick of a lap just recorded (the rider display's reference tick).
  std::function<void(uint32_t Tick)> OnLapTick;
  // The entry fields as they are at the moment of reading.
  std::function<QString()> StartNumberField;
  std::function<QString()> NameField;
  std::function<QString()> CategoryField;

  // Fills the current (entry) row for a rider who starts at tick and moves to the next row.
  void RecordStart(uint32_t tick, const QString& numberText, const QString& name, const QString& category);
  // Records a lap of the rider in the current row.
  void RecordLap();
  // Records the last lap and stops the rider in the current row; ranks a finisher.
  void StopRider();
  // Sorts by category, time and lap count, numbers the places per category among the
  // finishers, and selects the entry row.
  void RankFinishers();
  // Column widths; "Name" takes what the others leave of the visible width, at least
  // kMinNameWidth.
  void LayoutProtocolColumns();
  // The file buttons for the protocol's current size.
  TFileButtons UpdateFileButtons() const;
  // Removes the current row (no question) and ranks again.
  void mCutClick();

  // The grid's sort-style and cell-format questions.
  void SortGrid1GetSortStyle(int32_t Col, TSortStyle& SortStyle);
  void SortGrid1GetCellFormat(int32_t Col, int32_t Row, TFormatOptions& FormatOptions);

  // Puts an empty entry row back at the end when a sort moved it, or appends one when none is
  // left. Runs after every sort of the grid.
  void EnsureEntryRow();

  // Row states, from the row's cells.
  bool IsEntryRow(int32_t row) const;
  bool IsFinisher(int32_t row) const;

  TSortGrid& Grid() { return FGrid; }

private:
  QString Cell(int32_t col, int32_t row) const { return FGrid.Cells(col, row); }
  void SetCell(int32_t col, int32_t row, const QString& text) { FGrid.SetCells(col, row, text); }
  // Moves the current row; the grid runs the selection handler.
  void MoveToRow(int32_t row);
  // Runs the selection handler for row and selects the whole row, leaving the view where it is.
  void SelectRow(int32_t row);
  void AppendEntryRow();
  // Moves the entry rows given (ascending) behind the riders, or appends one when there is none.
  void PutEntryRowsLast(const std::vector<int32_t>& entries);
  // Numbers the places of the finishers; returns the entry rows met on the way.
  std::vector<int32_t> NumberPlaces();

  TSortGrid& FGrid;
  std::function<int32_t(int)> FLapDistance;
  bool FRanking = false;
};
