#pragma once
// The results protocol: one row per rider in a sort grid, with start number, name, category,
// the last five lap times, lap count, average speed, time and place; the operations that start,
// time, stop, rank and remove riders; and the protocol grid's answers for sort style and cell
// alignment. An empty entry row is always kept as the last row, so a START always has a row.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <vector>

#include "grid/SortGrid.h"
#include "race/RiderTimes.h"
#include "race/RowMoves.h"

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
// The mark of a corrected row: a triangle of this many pixels in the number cell's top left
// corner, in this colour.
constexpr int32_t kCorrectionMark = 7;
constexpr TColor kCorrectionMarkColour = 0x0000A5FF;  // orange

// The order of lap counts and duration texts: an empty text counts as 20 characters, a shorter
// text comes first, texts of equal length compare by character codes.
int32_t CompareByLength(const QString& a, const QString& b);

// Whether two categories are one: equal but for the letter case of 'A'..'Z', as the ranking
// compares them.
bool SameCategory(const QString& a, const QString& b);

// A speed with one decimal and the locale's decimal separator, rounded half away from zero on
// the exact value, as the toolkit's "%1.1f" rounds.
QString FormatSpeed(double kmh);

// A start number as typed anywhere (START, the rider editor, the question of a moved time, the
// participant list): a whole number above 0, blanks around it and leading zeros allowed, so
// "021" is 21. nullopt for anything else.
std::optional<int32_t> ParseStartNumber(const QString& text);
// The text the protocol writes for a typed start number ("021" gives "21"); a text that is no
// start number, trimmed.
QString NormalStartNumber(const QString& text);
// The start number a START writes: the typed number, or the row's number when the text is no
// start number.
QString StartNumberOf(const QString& numberText, int32_t row);

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

// What a data row carries beside its cells: the times they are computed from, and whether a
// correction changed the row (shown by a mark in its number cell until the protocol is emptied).
struct TRowRecord {
  std::optional<TRiderTimes> Times;  // nullopt: not kept (a stopped rider of an older journal)
  bool Corrected = false;
  bool operator==(const TRowRecord& other) const { return Times == other.Times && Corrected == other.Corrected; }
  // One line for the race journal: "K" for a corrected row, then the times ("?" when not kept);
  // empty for an entry row.
  QString ToText() const;
  static std::optional<TRowRecord> FromText(const QString& text);
  // The record of an empty entry row.
  static TRowRecord ForEntryRow() {
    TRowRecord record;
    record.Times = TRiderTimes{};
    return record;
  }
  // The journal asks for every row's text at every change; it is kept until the record changes.
  mutable QString TextCache;
};

// One operation's effect on the protocol, enough to take it back and to do it again. Rows are
// named by their grid row in the arrangement before (Before) and after (After) the operation; -1
// where the row does not exist on that side.
struct TProtocolChange {
  struct TCell {
    int32_t Before, After, Col;
    QString Old, New;
  };
  struct TRecord {
    int32_t Before, After;
    TRowRecord Old, New;
  };
  struct TRow {  // a whole row that exists on one side only
    int32_t Row;
    QStringList Cells;
    TRowRecord Record;
  };
  bool Rearranged = false;
  TRowMoves Moves;
  std::vector<TCell> Cells;
  std::vector<TRecord> Records;
  std::vector<TRow> Added;    // rows that exist only after
  std::vector<TRow> Removed;  // rows that exist only before
  int32_t RowBefore = 1, RowAfter = 1;
  bool CanSortBefore = false, CanSortAfter = false;
  bool Empty() const;
};

// What the protocol notes while it takes an operation's change.
struct TProtocolTracking {
  bool Rearranged = false;
  std::vector<const void*> ArrangementBefore;
  std::unordered_map<const TRowRecord*, int32_t> RowAtTouch;
  std::unordered_map<const TRowRecord*, std::map<int32_t, QString>> OldCells;
  std::unordered_map<const TRowRecord*, TRowRecord> OldRecords;
  std::vector<std::pair<const TRowRecord*, TProtocolChange::TRow>> Removed;
  int32_t RowBefore = 1;
  bool CanSortBefore = false;
};

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
  // Empties the protocol (the grid's Clear) and forgets what its rows carried.
  void Clear();

  // The selection handler, run whenever an operation moves the current row or selects a row.
  std::function<void(int32_t Row)> OnSelectRow;
  // The tick of a lap just recorded (the rider display's reference tick).
  std::function<void(uint32_t Tick)> OnLapTick;
  // The entry fields as they are at the moment of reading.
  std::function<QString()> StartNumberField;
  std::function<QString()> NameField;
  std::function<QString()> CategoryField;
  // A header click wants to sort: the owner runs sort (inside an undo step, say). Without a
  // handler the grid sorts at once.
  std::function<void(const std::function<void()>& sort)> OnHeaderSort;

  // Fills the current (entry) row for a rider who starts at tick and moves to the next row.
  void RecordStart(uint32_t tick, const QString& numberText, const QString& name, const QString& category);
  // Records a lap, pressed at tick, of the rider in the current row.
  void RecordLap(uint32_t tick);
  // Records the last lap, pressed at tick, and stops the rider in the current row; ranks a
  // finisher.
  void StopRider(uint32_t tick);
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

  // Corrections. Each returns an empty text when done, or a German sentence saying why it was
  // refused (nothing changed then). Times follow from the ticks exactly as presses give them;
  // a row changed is marked, and a finisher's category is ranked again.
  //
  // The last press (LAP or STOPP) of the rider in row moves, at its tick, to the rider with
  // this start number.
  QString MoveLastPress(int32_t row, const QString& toNumber);
  // Lap lap (1 = the first) of the rider in row is deleted; the laps around it join.
  QString DeleteLap(int32_t row, int32_t lap);
  // Whether MoveLastPress of row can succeed for some rider.
  bool CanMoveLastPress(int32_t row) const;
  // A missed press at tick is added to the rider in row, between his neighbouring presses.
  // Times are typed as race times (from raceStart) to the tenth, so a tick is taken as what it
  // shows: shown as now, it is now (later is refused); shown as one of the rider's presses
  // (START, LAP, STOPP), or so close to one that the lap between would read 0,0, it is that
  // press and refused.
  QString InsertLap(int32_t row, uint32_t tick, uint32_t now, uint32_t raceStart);
  // Whether InsertLap of row can succeed for some race time typed to the tenth.
  bool CanInsertLap(int32_t row, uint32_t now, uint32_t raceStart) const;
  // Start number, name and category of row; a start number another row has is refused.
  QString EditRider(int32_t row, const QString& number, const QString& name, const QString& category);
  // Marks the row as corrected (undo and redo of a race command mark the rows they touch).
  void MarkCorrected(int32_t row);

  // Runs an operation and returns what it changed; Apply takes the change back (forward false)
  // or does it again (forward true), exactly, positions included. Changes are applied in the
  // reverse order of their making, as an undo stack does.
  TProtocolChange Track(const std::function<void()>& operation);
  void Apply(const TProtocolChange& change, bool forward);
  // The rider rows a change touched, in the arrangement after (forward) or before it.
  std::vector<int32_t> ChangedRows(const TProtocolChange& change, bool forward) const;

  // The grid's sort-style and cell-format questions.
  void SortGrid1GetSortStyle(int32_t Col, TSortStyle& SortStyle);
  void SortGrid1GetCellFormat(int32_t Col, int32_t Row, TFormatOptions& FormatOptions);

  // Puts an empty entry row back at the end when a sort moved it, or appends one when none is
  // left. Runs after every sort of the grid.
  void EnsureEntryRow();

  // Row states, from the row's cells.
  bool IsEntryRow(int32_t row) const;
  bool IsFinisher(int32_t row) const;
  // The first rider row (not an entry row) with this start number, read as ParseStartNumber
  // reads it; -1 when none.
  int32_t RowOfNumber(const QString& number) const;
  // The row that carries record (rows move with every ranking); -1 when none does.
  int32_t RowOfRecord(const TRowRecord* record) const;
  // What row carries beside its cells; a row that carries nothing yet gets its record from its
  // cells.
  const TRowRecord& Record(int32_t row);
  // The times of a rider row, as Record has them, for readers that leave the protocol unchanged;
  // nullopt for an entry row and where they are not kept.
  std::optional<TRiderTimes> RowTimes(int32_t row) const;
  // The journal's form of a row's record, and the way back.
  QString RecordText(int32_t row);
  void SetRecordText(int32_t row, const QString& text);

  TSortGrid& Grid() { return FGrid; }
  const TSortGrid& Grid() const { return FGrid; }

private:
  QString Cell(int32_t col, int32_t row) const { return FGrid.Cells(col, row); }
  // Every cell the protocol writes goes through here, so an operation's change can be taken.
  void SetCell(int32_t col, int32_t row, const QString& text);
  // The record of row for changing it.
  TRowRecord& EditRecord(int32_t row);
  TRowRecord* Attached(int32_t row) const;
  // The times a row's cells tell (a row without a record).
  std::optional<TRiderTimes> TimesInCells(int32_t row) const;
  TRowRecord& Attach(int32_t row, TRowRecord record);
  // Adds a press at tick to the rider on course in row (a STOPP when stop); false when the row
  // holds no rider on course.
  bool AddPress(int32_t row, uint32_t tick, bool stop);
  // Writes the cells that follow from the row's times.
  void ShowTimes(int32_t row);
  // The times of rows after a correction, or why it cannot be made.
  struct TTimesPlan {
    QString Refusal;
    std::vector<std::pair<int32_t, TRiderTimes>> Rows;
    static TTimesPlan Refused(const QString& why) { return {why, {}}; }
  };
  // target: the receiver's row, -1 when toNumber names none.
  TTimesPlan PlanMove(int32_t row, int32_t target, const QString& toNumber) const;
  TTimesPlan PlanInsert(int32_t row, uint32_t tick, uint32_t now, uint32_t raceStart) const;
  // Replaces a rider's times, shows them and marks the row; ranks when a finisher is involved.
  void CorrectTimes(const std::vector<std::pair<int32_t, TRiderTimes>>& rows);
  // Moves the current row; the grid runs the selection handler.
  void MoveToRow(int32_t row);
  // Runs the selection handler for row and selects the whole row, leaving the view where it is.
  void SelectRow(int32_t row);
  void AppendEntryRow();
  // Moves the entry rows given (ascending) behind the riders, or appends one when there is none.
  void PutEntryRowsLast(const std::vector<int32_t>& entries);
  // Numbers the places of the finishers; returns the entry rows met on the way.
  std::vector<int32_t> NumberPlaces();
  // A STOPP's ranking: the rows whose keys changed since the last ranking are placed into the
  // ranked order of the others, and only their categories are numbered again. The result is
  // exactly the full ranking's; false (nothing done) where the order is no ranking any more.
  bool PlaceChangedRows();
  // Numbers the finishers of the category group [first, end) again from row from on, taking
  // the count from the finisher before it; stops past row settled where a place stands as it is.
  void RenumberGroup(int32_t first, int32_t end, int32_t from, int32_t settled);
  // A ranking has just ended: the order is one, and no row has changed since.
  void NoteRanked(std::vector<int32_t> entries);
  // The grid is about to write a cell: a row whose sort keys or place change is noted.
  void CellWriting(int32_t col, int32_t row);

  // Change tracking: the arrangement is taken before the first step that moves, adds or
  // removes rows; a row's cells and record before the first write to them.
  std::vector<const void*> Arrangement();
  void BeforeRearranging();
  void BeforeRemoving(int32_t row);
  using TTracking = TProtocolTracking;
  void Touch(int32_t row, TRowRecord& record);

  TSortGrid& FGrid;
  std::function<int32_t(int)> FLapDistance;
  bool FRanking = false;
  // What keeps the ranked order between two rankings: while the grid's rows stand where the
  // last ranking left them (its count of rearrangements unchanged), the rows not named here
  // and no entry row are in ranked order. Rows are named by their line, which moves with them.
  struct TKeyChange {
    int32_t Row;          // where it stood, and still stands
    QString OldCategory;  // its category at the last ranking
  };
  bool FRankedOrder = false;
  uint64_t FRankStamp = 0;
  int32_t FRankedRowCount = 0;
  bool FRankCaseSensitive = false;
  std::vector<int32_t> FRankEntries;  // the entry rows the ranking left, ascending
  std::unordered_map<const void*, TKeyChange> FKeyChanges;
  std::deque<TRowRecord> FRecords;  // the rows point at these; emptied with the protocol
  std::optional<TTracking> FTracking;
};
