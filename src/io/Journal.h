#pragma once
// The race journal: every change of the protocol and of the race state is appended as one
// self-checking line to a file in the working folder, so a crash, a killed process or a power
// cut loses no time taken. The file format is described in the README.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// What the journal keeps of a race: the whole protocol and the state of the race.
struct TRaceSnapshot {
  enum class TState { Idle, Running, Ended };
  TState State = TState::Idle;
  uint32_t RaceStartTick = 0;
  int32_t RoundLen = 0;
  QStringList LapTable;          // the per-lap lengths as typed, laps 1 .. 5
  bool CanSort = false;          // header clicks sort once the protocol has been ranked
  int32_t SelectedRow = 1;
  // Row 0 is the header. Every row has the protocol's columns, then the text of what the row
  // carries beside them (its times; TRowRecord::ToText), which a journal of the first format
  // does not hold.
  std::vector<QStringList> Rows;
  QStringList Corrections;       // the correction list, one line per entry (TCorrection::ToLine)
  // The open times (presses not yet given to a rider), oldest first. Each is a one-line text of
  // the race code, opaque here but for its tick: the unsigned decimal digits before its first
  // '|' (the whole text when it has none). ShiftSnapshotTicks adds the shift to it modulo 2^32
  // and writes it back in plain decimal (0 becomes 1, as for every press). Anything else before
  // the '|' (or a number beyond 32 bits) is no tick, and the entry is never rewritten.
  QStringList OpenTimes;
  // The stations' key for this race (empty: none yet) and the ids of the passes taken from
  // them, in the order taken, so a station's resend after a restore counts once.
  QString StationToken;
  QStringList StationIds;
  bool operator==(const TRaceSnapshot&) const = default;
};

// The fields of a journal row: the protocol's columns and the row's record.
inline constexpr int kJournalRowFields = 15;

// One line of the journal.
struct TJournalRecord {
  int64_t Seq = 0;
  // OPEN, RESTORE, START, LAP, STOPP, ENDE, RESET, CUT, SORT, LOAD, LAPLEN, UNDO, REDO, MOVE,
  // DELLAP, INSLAP, EDIT, TIME (an open time made), ASSIGN (one given to a rider), DROP, CLOSE
  QString Event;
  uint32_t Tick = 0;   // the tick counter when the line was written
  int64_t Wall = 0;    // wall-clock milliseconds since 1970 (UTC) at the same moment
  QString Boot;        // identifier of the machine's boot the tick belongs to
  TRaceSnapshot::TState State = TRaceSnapshot::TState::Idle;
  uint32_t RaceStartTick = 0;
  int32_t RoundLen = 0;
  QStringList LapTable;
  bool CanSort = false;
  int32_t SelectedRow = 1;
  int32_t RowCount = 0;
  std::vector<std::pair<int32_t, QStringList>> Rows;  // only the rows that changed
  int32_t CorrectionCount = 0;   // entries of the correction list after this line
  QStringList NewCorrections;    // its last entries, those the line before did not have
  int32_t OpenTimeCount = 0;     // open times after this line
  // The open times when the line carries them (always when the count is 0); without them the
  // list stays as the line before left it.
  std::optional<QStringList> OpenTimes;
  // From the fourth format: OpenTimes is only the middle of the list, between the first and the
  // last entries of the list the line before left (a time added or given away costs a line of
  // its own size, not of the whole list's).
  std::optional<std::pair<int32_t, int32_t>> OpenTimesKept;
  QString StationToken;
  int32_t StationIdCount = 0;    // ids taken from stations after this line
  QStringList NewStationIds;     // its last ones, those the line before did not have
};

// The most protocol rows a line may name; a line with more is damaged.
inline constexpr int32_t kMaxJournalRows = 1000000;
// A journal larger than this is not read. A race of 1,000 riders writes about 55 MB (every
// ranking rewrites the rows it moves), so the limit leaves room for some 3,000.
inline constexpr qint64 kMaxJournalBytes = qint64{512} * 1024 * 1024;

// The line of a record, with its checksum and the line end.
QByteArray EncodeJournalLine(const TJournalRecord& record);
// The record of a line (without its line end); nullopt for a damaged line.
std::optional<TJournalRecord> DecodeJournalLine(const QByteArray& line);
// CRC-32 (the polynomial of zip and PNG).
uint32_t Crc32(const char* data, size_t size);

// The identifier of the current boot of the machine; "-" where the system has none.
QString CurrentBootId();

// What a journal file holds.
struct TJournalContents {
  bool Exists = false;
  bool Closed = false;       // the last line marks a clean shut-down
  bool HasContent = false;   // something happened besides opening and closing
  int ValidLines = 0;
  bool TornTail = false;     // the last line is incomplete or damaged and was ignored
  int CorruptLine = 0;       // 1-based number of a damaged line in the middle; the replay stops before it
  bool TooLarge = false;     // larger than kMaxJournalBytes: not read, damaged from line 1
  TRaceSnapshot State;       // the race as the valid lines leave it
  uint32_t LastTick = 0;
  int64_t LastWall = 0;
  QString LastBoot;
};
TJournalContents ReadJournal(const QString& path);

// Applies a record to a snapshot; false, leaving it untouched, when the record does not fit it
// (the record keeps the open times but counts another number of them): a damaged line.
bool ApplyJournalRecord(const TJournalRecord& record, TRaceSnapshot& state);

// Whether the race is over: the clock stopped and no rider on course.
bool RaceOver(const TRaceSnapshot& state);

// The amount to add to a tick of the old boot to get the same moment on today's counter, from
// the last line's tick and wall-clock time and today's.
uint32_t RebootTickShift(uint32_t lastTick, int64_t lastWall, uint32_t nowTick, int64_t nowWall);
// The tick of the moment wall (ms since 1970) on today's counter, by the same reckoning: a
// station's pass, stamped on the wall clock, enters the race through here.
inline uint32_t TickAtWall(int64_t wall, uint32_t nowTick, int64_t nowWall) {
  return RebootTickShift(0, wall, nowTick, nowWall);
}
// Moves the race start, the ticks of the riders on course and those of the open times by shift;
// stopped riders keep their totals, and an open time without a tick stays as it is.
void ShiftSnapshotTicks(TRaceSnapshot& state, uint32_t shift);

// Appends lines to a file: each line goes to the operating system at once; a thread of its own
// flushes it to the disk, so the caller never waits for the disk.
class TJournalWriter {
public:
  TJournalWriter() = default;
  ~TJournalWriter();
  TJournalWriter(const TJournalWriter&) = delete;
  TJournalWriter& operator=(const TJournalWriter&) = delete;

  // Opens (creating) the file for appending; false with Error() set when it cannot.
  bool Open(const QString& path);
  bool IsOpen() const { return fd_ >= 0; }
  // Writes the whole line; false with Error() set when the system refuses it.
  bool Append(const QByteArray& line);
  // Flushes to the disk and closes.
  void Close();
  QString Error() const { return error_; }
  // Completed flushes, for tests.
  int Flushes() const;

private:
  void FlushLoop();

  int fd_ = -1;
  QString error_;
  std::thread flusher_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool dirty_ = false;
  bool stop_ = false;
  int flushes_ = 0;
};

// The journal of one working folder: the file title + ".journal", a copy of what it last
// wrote, so each line carries only what changed.
class TJournal {
public:
  explicit TJournal(QString path);

  const QString& Path() const { return path_; }
  // Starts a new journal file whose first line holds the whole race. An old file is kept
  // beside it under a dated name unless it is a cleanly closed journal of nothing; returns
  // the name it was kept under, if any.
  QString Begin(const TRaceSnapshot& state, const QString& event);
  // Appends a line for what changed since the last line; nothing when nothing changed.
  void Record(const QString& event, const TRaceSnapshot& state);
  // The same for a change that says which rows it may have changed (touched, ascending; more
  // than changed is fine, fewer is not): only those rows are compared with the last line's, so
  // a press costs the same in any field. state's own rows are not read; rows are the race's.
  // Without touched every row is compared.
  void Record(const QString& event, const TRaceSnapshot& state, const std::vector<QStringList>& rows,
              const std::vector<int32_t>* touched);
  // A reset: the current file is closed and kept under a dated name, a new one begins.
  void Rotate(const TRaceSnapshot& state);
  // A clean shut-down after the race is over (RaceOver): the journal is marked closed.
  void Close(const TRaceSnapshot& state);
  // A shut-down while the race goes on: the file is closed unmarked, so the next start offers
  // the race for going on, as after a crash.
  void Leave();

  bool Active() const { return writer_.IsOpen(); }
  // The first failure to write, for the operator; empty while all is well.
  QString TakeError();

  // A free name beside the journal with the date and time in it.
  QString DatedName() const;

private:
  void Write(const QString& event, const TRaceSnapshot& state, bool whole) {
    Write(event, state, state.Rows, nullptr, whole);
  }
  void Write(const QString& event, const TRaceSnapshot& state, const std::vector<QStringList>& rows,
             const std::vector<int32_t>* touched, bool whole);
  void Fail(const QString& message);

  QString path_;
  TJournalWriter writer_;
  TRaceSnapshot shadow_;
  int64_t seq_ = 0;
  QString boot_;
  QString error_;
  bool failed_ = false;
};

// Only one program journals in a working folder: an exclusive lock on a file beside the
// journal, released by the system when the program ends in whatever way; a program that ends
// cleanly removes the file.
class TJournalLock {
public:
  TJournalLock() = default;
  ~TJournalLock();
  TJournalLock(const TJournalLock&) = delete;
  TJournalLock& operator=(const TJournalLock&) = delete;
  enum class TResult { Acquired, Busy, Failed };
  // Busy when another program holds it; Failed when the lock file cannot be opened.
  TResult Acquire(const QString& path);
  void Release();

private:
  int fd_ = -1;
  QByteArray path_;
};
