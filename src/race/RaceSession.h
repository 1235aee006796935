#pragma once
// The race as a document: the protocol, its undo stack and the correction list in one place.
// Every change of the race, whoever asks for it, goes through here as one undo step, and the
// listeners (the journal, the live feed, the window) hear of it once, with what it touched.
#include <QString>
#include <QStringList>
#include <QUndoStack>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "race/Corrections.h"
#include "race/OpenTimes.h"
#include "race/Protocol.h"

class TSortGrid;

// What one change touched.
struct TSessionChange {
  enum class TKind {
    Step,   // a change made now
    Undo,
    Redo,
    Other,  // a change of the race outside the protocol (ENDE, the lap lengths, a restore)
  };
  TKind Kind = TKind::Step;
  // The journal's name of the change ("LAP", "UNDO", ...); empty where the journal writes nothing.
  QString Event;
  // Whether the protocol changed, and its rider rows that did, as they stand after the change.
  bool Protocol = false;
  std::vector<int32_t> Rows;
  // Whether the open times or their mark changed.
  bool OpenTimes = false;
  // Only the cells of Rows changed: no row moved, came or went, no place was renumbered.
  bool InPlace = false;
  // Every row that may read otherwise than before the change, as the journal keeps rows: those
  // Rows names, those renumbered, and those a rearranging change put where another row stood
  // (known from its own moves). Unset where the session cannot tell (a restore, a change outside
  // the undo stack): then any row may have changed.
  std::optional<std::vector<int32_t>> Touched;
};

class TRaceSession {
public:
  using TListener = std::function<void(const TSessionChange& change)>;

  TRaceSession(TSortGrid& grid, std::function<int32_t(int k)> lapDistance);
  ~TRaceSession();
  TRaceSession(const TRaceSession&) = delete;
  TRaceSession& operator=(const TRaceSession&) = delete;

  TProtocol& Protocol() { return *protocol_; }
  const TProtocol& Protocol() const { return *protocol_; }
  QUndoStack& UndoStack() { return stack_; }
  TCorrectionLog& Corrections() { return corrections_; }
  const TCorrectionLog& Corrections() const { return corrections_; }

  // Listeners hear of every change, in the order they were added.
  void AddListener(TListener listener) { listeners_.push_back(std::move(listener)); }

  // Runs a protocol operation as one undo step about rider ("Nr. 12"), when it changed
  // something; an operation that changed nothing pushes nothing and tells nobody.
  bool Change(const QString& text, const QString& rider, const QString& event, const std::function<void()>& operation);
  // The same, for an operation that gives an open time to a rider: the time leaves the open
  // times in the same step, and comes back when the step is taken back.
  bool ChangeTakingOpenTime(const QString& text, const QString& rider, const QString& event, uint64_t serial,
                            const std::function<void()>& operation);
  // A command made of several changes (a race key: the press, the list moved on), told once as
  // event when any of them changed the protocol.
  void Command(const QString& event, const std::function<void()>& body);
  // Several undo commands taken back and done again as one step.
  void Group(const QString& text, const std::function<void()>& body);
  // An undo command that is no protocol operation, as part of the step being made.
  void Push(QUndoCommand* command) { stack_.push(command); }
  // A change of the race the undo stack does not hold; told as event.
  void Changed(const QString& event);

  // The open times, oldest first, and the one marked to be numbered next.
  const TOpenTimes& OpenTimes() const { return openTimes_; }
  // An open time taken: one step, told as "TIME". shown: its race time as the clock shows it.
  void MakeOpenTime(TOpenTime time, const QString& shown);
  // The marked open time dropped: one step, told as "DROP", listed in the corrections with its
  // time. False when there is none.
  bool DropMarkedOpenTime(const QString& shown);
  // The mark moved (Up, Down) or set (-1: the oldest again); no step, told with no event.
  void MoveOpenTimeMark(int delta);
  void MarkOpenTime(int index);
  // A number noted on the open time with this serial (one that named no rider): one step, told
  // as "NOTE".
  void NoteOpenTimeNumber(uint64_t serial, const QString& number, const QString& shown);

  // Numbers from a station that came before their time, in the order they came: each goes to
  // the next open time made. Waiting: one step, told as "WAIT"; taken: part of the step that
  // gives it its time.
  const std::vector<TOpenTime>& WaitingNumbers() const { return waiting_; }
  void AddWaitingNumber(TOpenTime number);
  std::optional<TOpenTime> TakeWaitingNumber();

  void Undo() { stack_.undo(); }
  void Redo() { stack_.redo(); }

  // The race as the journal keeps it: each row's cells, then its record's text (empty for the
  // header row); and the way back, after a crash, told once with no event: the journal's own
  // beginning records the restore. Kept between changes: a change in place reads only the rows
  // it touched, so a press costs the same in a large field as in a small one.
  const std::vector<QStringList>& Rows() const;
  void Restore(const std::vector<QStringList>& rows, const QStringList& corrections,
               const std::vector<TOpenTime>& openTimes = {}, const std::vector<TOpenTime>& waiting = {});

  // Notes a correction in the list, at the wall-clock time now.
  void AddCorrection(const QString& rider, const QString& what, const QString& old, const QString& now);
  // The protocol emptied: nothing to take back, nothing corrected. Told with no journal event.
  void Clear();

private:
  friend class TOpenTimeStep;
  bool ChangeWith(const QString& text, const QString& rider, const QString& event, const std::function<void()>& operation,
                  const std::function<void(bool forward)>& alongside);
  void Tell(const TSessionChange& change);
  // A change of the open times alone, told as event (or as an undo or redo of one).
  void TellOpenTimes(TSessionChange::TKind kind, const QString& event);
  uint64_t NextSerial() { return ++serial_; }
  QStringList ReadRow(int32_t row) const;

  TSortGrid& grid_;
  std::unique_ptr<TProtocol> protocol_;
  TCorrectionLog corrections_;
  TOpenTimes openTimes_;
  std::vector<TOpenTime> waiting_;  // by serial, which is the order they came in
  uint64_t serial_ = 0;
  std::vector<TListener> listeners_;
  // Inside a Command: the change is told once at its end, with the rows gathered here.
  int commandDepth_ = 0;
  bool commandChanged_ = false;
  bool commandOpenTimes_ = false;
  bool commandInPlace_ = true;
  std::vector<int32_t> commandTouched_;
  // The rows as the journal keeps them, valid while every change since was told in place.
  mutable std::vector<QStringList> rows_;
  mutable bool rowsValid_ = false;
  std::vector<int32_t> commandRows_;
  // Last, so its steps go before the protocol they work on.
  QUndoStack stack_;
};
