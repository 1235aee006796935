#include "race/RaceSession.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "grid/SortGrid.h"
#include "platform/LocalTime.h"
#include "race/ProtocolCommand.h"

namespace {

// A change that rewrote cells of the rows it names and nothing else.
bool InPlace(const TProtocolChange& change) {
  if ((change.Rearranged && !change.Moves.Unchanged()) || !change.Added.empty() || !change.Removed.empty()) return false;
  return std::none_of(change.Cells.begin(), change.Cells.end(),
                      [](const TProtocolChange::TCell& cell) { return cell.Col == pcPlace; });
}

// The rows a change leaves reading otherwise: its cells (places too), its records, the rows that
// came or went, and the positions its moves gave to another row.
std::vector<int32_t> TouchedRows(const TProtocolChange& change, bool forward) {
  std::vector<int32_t> rows;
  for (const TProtocolChange::TRecord& record : change.Records) rows.push_back(forward ? record.After : record.Before);
  for (const TProtocolChange::TCell& cell : change.Cells) rows.push_back(forward ? cell.After : cell.Before);
  for (const TProtocolChange::TRow& row : forward ? change.Added : change.Removed) rows.push_back(row.Row);
  if (change.Rearranged)
    for (const int32_t moved : change.Moves.Moved(forward)) rows.push_back(moved + 1);
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::erase_if(rows, [](int32_t row) { return row < 1; });
  return rows;
}

// Closes the undo macro whatever happens inside.
class TMacroGuard {
public:
  TMacroGuard(QUndoStack& stack, const QString& text) : stack_(stack) { stack_.beginMacro(text); }
  ~TMacroGuard() { stack_.endMacro(); }
  TMacroGuard(const TMacroGuard&) = delete;
  TMacroGuard& operator=(const TMacroGuard&) = delete;

private:
  QUndoStack& stack_;
};

}  // namespace

TRaceSession::TRaceSession(TSortGrid& grid, std::function<int32_t(int k)> lapDistance)
    : grid_(grid), protocol_(std::make_unique<TProtocol>(grid, std::move(lapDistance))) {}

TRaceSession::~TRaceSession() {
  // The steps hold references to the protocol: they go first, and nobody hears of it.
  listeners_.clear();
  stack_.clear();
}

bool TRaceSession::Change(const QString& text, const QString& rider, const QString& event,
                          const std::function<void()>& operation) {
  return ChangeWith(text, rider, event, operation, {});
}

bool TRaceSession::ChangeTakingOpenTime(const QString& text, const QString& rider, const QString& event, uint64_t serial,
                                        const std::function<void()>& operation) {
  // The step keeps the time it took, to put it back when taken back.
  auto taken = std::make_shared<std::optional<TOpenTime>>();
  return ChangeWith(text, rider, event, operation, [this, serial, taken](bool forward) {
    if (forward)
      *taken = openTimes_.Remove(serial);
    else if (*taken)
      openTimes_.Add(**taken);
  });
}

bool TRaceSession::ChangeWith(const QString& text, const QString& rider, const QString& event,
                              const std::function<void()>& operation, const std::function<void(bool forward)>& alongside) {
  return TProtocolCommand::Push(
      stack_, *protocol_, text, operation,
      [this, rider, event, alongside](const TProtocolCommand& command, TProtocolCommand::TRun run) {
        using TRun = TProtocolCommand::TRun;
        const bool forward = run != TRun::Undo;
        if (alongside) alongside(forward);
        std::vector<int32_t> rows = protocol_->ChangedRows(command.Change(), forward);
        std::vector<int32_t> touched = TouchedRows(command.Change(), forward);
        const bool inPlace = InPlace(command.Change());
        if (run == TRun::First && commandDepth_ > 0) {
          commandChanged_ = true;
          commandInPlace_ = commandInPlace_ && inPlace;
          commandOpenTimes_ = commandOpenTimes_ || static_cast<bool>(alongside);
          commandRows_.insert(commandRows_.end(), rows.begin(), rows.end());
          commandTouched_.insert(commandTouched_.end(), touched.begin(), touched.end());
          return;
        }
        TSessionChange change;
        change.Protocol = true;
        change.Rows = std::move(rows);
        change.Touched = std::move(touched);
        change.OpenTimes = static_cast<bool>(alongside);
        switch (run) {
          case TRun::First:
            change.Event = event;
            change.InPlace = inPlace;
            break;
          case TRun::Undo:
            AddCorrection(rider, QStringLiteral("Rückgängig: ") + command.text(), {}, {});
            change.Kind = TSessionChange::TKind::Undo;
            change.Event = QStringLiteral("UNDO");
            break;
          case TRun::Redo:
            AddCorrection(rider, QStringLiteral("Wiederholt: ") + command.text(), {}, {});
            change.Kind = TSessionChange::TKind::Redo;
            change.Event = QStringLiteral("REDO");
            break;
        }
        Tell(change);
      });
}

// An open time, or a number waiting for one, made or dropped, as one step.
class TOpenTimeStep : public QUndoCommand {
public:
  enum class TList { OpenTimes, Waiting };
  TOpenTimeStep(TRaceSession& session, TOpenTime time, bool adding, QString rider, const QString& text, QString event,
                TList list = TList::OpenTimes)
      : session_(session), time_(std::move(time)), adding_(adding), rider_(std::move(rider)), event_(std::move(event)),
        list_(list) {
    setText(text);
  }

  void redo() override {
    Apply(adding_);
    if (!ran_) {
      ran_ = true;
      session_.TellOpenTimes(TSessionChange::TKind::Step, event_);
      return;
    }
    session_.AddCorrection(rider_, QStringLiteral("Wiederholt: ") + text(), {}, {});
    session_.TellOpenTimes(TSessionChange::TKind::Redo, QStringLiteral("REDO"));
  }
  void undo() override {
    Apply(!adding_);
    session_.AddCorrection(rider_, QStringLiteral("Rückgängig: ") + text(), {}, {});
    session_.TellOpenTimes(TSessionChange::TKind::Undo, QStringLiteral("UNDO"));
  }

private:
  void Apply(bool add) {
    if (list_ == TList::OpenTimes) {
      if (add)
        session_.openTimes_.Add(time_);
      else
        session_.openTimes_.Remove(time_.Serial);
      return;
    }
    std::vector<TOpenTime>& waiting = session_.waiting_;
    const auto at = std::find_if(waiting.begin(), waiting.end(), [this](const TOpenTime& t) { return t.Serial >= time_.Serial; });
    if (add && (at == waiting.end() || at->Serial != time_.Serial))
      waiting.insert(at, time_);
    else if (!add && at != waiting.end() && at->Serial == time_.Serial)
      waiting.erase(at);
  }

  TRaceSession& session_;
  TOpenTime time_;
  bool adding_;
  QString rider_;
  QString event_;
  TList list_;
  bool ran_ = false;
};

namespace {

QString OpenTimeRider(const TOpenTime& time) {
  return time.Number.isEmpty() ? QString() : QStringLiteral("Nr. ") + time.Number;
}

}  // namespace

void TRaceSession::MakeOpenTime(TOpenTime time, const QString& shown) {
  time.Serial = NextSerial();
  const QString rider = OpenTimeRider(time);
  stack_.push(new TOpenTimeStep(*this, std::move(time), true, rider, QStringLiteral("Offene Zeit ") + shown,
                                QStringLiteral("TIME")));
}

bool TRaceSession::DropMarkedOpenTime(const QString& shown) {
  const TOpenTime* marked = openTimes_.MarkedTime();
  if (!marked) return false;
  const QString rider = OpenTimeRider(*marked);
  AddCorrection(rider, QStringLiteral("Offene Zeit gelöscht"), shown, {});
  stack_.push(new TOpenTimeStep(*this, *marked, false, rider, QStringLiteral("Offene Zeit %1 gelöscht").arg(shown),
                                QStringLiteral("DROP")));
  return true;
}

void TRaceSession::NoteOpenTimeNumber(uint64_t serial, const QString& number, const QString& shown) {
  const auto& times = openTimes_.Times();
  const auto it = std::find_if(times.begin(), times.end(), [serial](const TOpenTime& t) { return t.Serial == serial; });
  if (it == times.end()) return;
  TOpenTime noted = *it;
  noted.Number = number;
  noted.Serial = NextSerial();
  const QString text = QStringLiteral("Nr. %1? an offene Zeit %2").arg(number, shown);
  TMacroGuard step(stack_, text);
  // The journal writes the step once whole: a line between the two would lack the time.
  stack_.push(new TOpenTimeStep(*this, *it, false, {}, text, QString()));
  stack_.push(new TOpenTimeStep(*this, std::move(noted), true, QStringLiteral("Nr. ") + number, text, QStringLiteral("NOTE")));
}

void TRaceSession::AddWaitingNumber(TOpenTime number) {
  number.Tick = 0;
  number.Serial = NextSerial();
  const QString rider = QStringLiteral("Nr. ") + number.Number;
  const QString text = QStringLiteral("%1 wartet auf eine Zeit").arg(rider);
  stack_.push(new TOpenTimeStep(*this, std::move(number), true, rider, text, QStringLiteral("WAIT"),
                                TOpenTimeStep::TList::Waiting));
}

std::optional<TOpenTime> TRaceSession::TakeWaitingNumber() {
  if (waiting_.empty()) return std::nullopt;
  TOpenTime first = waiting_.front();
  const QString rider = QStringLiteral("Nr. ") + first.Number;
  stack_.push(new TOpenTimeStep(*this, first, false, rider, QStringLiteral("%1 bekommt eine Zeit").arg(rider),
                                QString(), TOpenTimeStep::TList::Waiting));
  return first;
}

void TRaceSession::MoveOpenTimeMark(int delta) {
  const int before = openTimes_.Marked();
  openTimes_.MoveMark(delta);
  if (openTimes_.Marked() != before) TellOpenTimes(TSessionChange::TKind::Other, QString());
}

void TRaceSession::MarkOpenTime(int index) {
  openTimes_.Mark(index);
  TellOpenTimes(TSessionChange::TKind::Other, QString());
}

void TRaceSession::TellOpenTimes(TSessionChange::TKind kind, const QString& event) {
  TSessionChange change;
  change.Kind = kind;
  change.Event = event;
  change.OpenTimes = true;
  // The open times alone: no row changed (a step inside a command is told at its end).
  if (kind != TSessionChange::TKind::Other) change.Touched.emplace();
  Tell(change);
}

void TRaceSession::Command(const QString& event, const std::function<void()>& body) {
  if (commandDepth_++ == 0) {
    commandChanged_ = false;
    commandOpenTimes_ = false;
    commandInPlace_ = true;
    commandRows_.clear();
    commandTouched_.clear();
  }
  struct TDepth {
    int& depth;
    ~TDepth() { --depth; }
  } depth{commandDepth_};
  body();
  if (commandDepth_ > 1 || !commandChanged_) return;
  TSessionChange change;
  change.Event = event;
  change.Protocol = true;
  change.OpenTimes = commandOpenTimes_;
  change.InPlace = commandInPlace_;
  std::sort(commandRows_.begin(), commandRows_.end());
  commandRows_.erase(std::unique(commandRows_.begin(), commandRows_.end()), commandRows_.end());
  change.Rows = std::move(commandRows_);
  commandRows_.clear();
  // Each step's rows stand where the steps after it left them or are among those they moved.
  std::sort(commandTouched_.begin(), commandTouched_.end());
  commandTouched_.erase(std::unique(commandTouched_.begin(), commandTouched_.end()), commandTouched_.end());
  change.Touched = std::move(commandTouched_);
  commandTouched_.clear();
  Tell(change);
}

void TRaceSession::Group(const QString& text, const std::function<void()>& body) {
  TMacroGuard step(stack_, text);
  body();
}

void TRaceSession::Changed(const QString& event) {
  TSessionChange change;
  change.Kind = TSessionChange::TKind::Other;
  change.Event = event;
  Tell(change);
}

QStringList TRaceSession::ReadRow(int32_t r) const {
  QStringList row;
  row.reserve(kProtocolColumns + 1);
  for (int32_t c = 0; c < kProtocolColumns; ++c) row << grid_.Cells(c, r);
  row << (r > 0 ? protocol_->RecordText(r) : QString());
  return row;
}

const std::vector<QStringList>& TRaceSession::Rows() const {
  const int32_t count = grid_.RowCount();
  if (rowsValid_ && static_cast<int32_t>(rows_.size()) == count) return rows_;
  rows_.clear();
  rows_.reserve(static_cast<size_t>(count));
  for (int32_t r = 0; r < count; ++r) rows_.push_back(ReadRow(r));
  rowsValid_ = true;
  return rows_;
}

void TRaceSession::Restore(const std::vector<QStringList>& rows, const QStringList& corrections,
                           const std::vector<TOpenTime>& openTimes, const std::vector<TOpenTime>& waiting) {
  protocol_->Clear();
  grid_.SetRowCount(std::max<int32_t>(2, static_cast<int32_t>(rows.size())));
  for (size_t r = 0; r < rows.size(); ++r) {
    for (int32_t c = 0; c < kProtocolColumns && c < rows[r].size(); ++c) grid_.SetCells(c, static_cast<int32_t>(r), rows[r][c]);
    if (r > 0) protocol_->SetRecordText(static_cast<int32_t>(r), rows[r].value(kProtocolColumns));
  }
  corrections_.SetLines(corrections);
  openTimes_.Clear();
  for (TOpenTime time : openTimes) {
    time.Serial = NextSerial();
    openTimes_.Add(std::move(time));
  }
  waiting_.clear();
  for (TOpenTime number : waiting) {
    number.Serial = NextSerial();
    waiting_.push_back(std::move(number));
  }
  TSessionChange change;
  change.Kind = TSessionChange::TKind::Other;
  change.Protocol = true;
  change.OpenTimes = true;
  Tell(change);
}

void TRaceSession::AddCorrection(const QString& rider, const QString& what, const QString& old, const QString& now) {
  corrections_.Add(TCorrection{platform::Now(), rider, what, old, now});
}

void TRaceSession::Clear() {
  stack_.clear();
  corrections_.Clear();
  openTimes_.Clear();
  waiting_.clear();
  protocol_->Clear();
  rowsValid_ = false;
  TSessionChange change;
  change.Kind = TSessionChange::TKind::Other;
  change.OpenTimes = true;
  Tell(change);
}

void TRaceSession::Tell(const TSessionChange& change) {
  // The kept rows follow a change that says what it touched; anything else reads them anew
  // when next asked.
  if (change.Protocol && change.Touched && rowsValid_) {
    const int32_t count = grid_.RowCount();
    const int32_t kept = std::min<int32_t>(count, static_cast<int32_t>(rows_.size()));
    rows_.resize(static_cast<size_t>(kept));
    for (const int32_t row : *change.Touched)
      if (row >= 0 && row < kept) rows_[static_cast<size_t>(row)] = ReadRow(row);
    for (int32_t row = kept; row < count; ++row) rows_.push_back(ReadRow(row));
  } else if (change.Protocol || (change.Kind == TSessionChange::TKind::Other && !change.OpenTimes)) {
    rowsValid_ = false;
  }
  for (const TListener& listener : listeners_) listener(change);
}
