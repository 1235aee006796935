#include "race/RaceSession.h"

#include <algorithm>

#include "grid/SortGrid.h"
#include "platform/LocalTime.h"
#include "race/ProtocolCommand.h"

namespace {

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
  return TProtocolCommand::Push(
      stack_, *protocol_, text, operation, [this, rider, event](const TProtocolCommand& command, TProtocolCommand::TRun run) {
        using TRun = TProtocolCommand::TRun;
        const bool forward = run != TRun::Undo;
        std::vector<int32_t> rows = protocol_->ChangedRows(command.Change(), forward);
        if (run == TRun::First && commandDepth_ > 0) {
          commandTouched_ = true;
          commandRows_.insert(commandRows_.end(), rows.begin(), rows.end());
          return;
        }
        TSessionChange change;
        change.Protocol = true;
        change.Rows = std::move(rows);
        switch (run) {
          case TRun::First:
            change.Event = event;
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

void TRaceSession::Command(const QString& event, const std::function<void()>& body) {
  if (commandDepth_++ == 0) {
    commandTouched_ = false;
    commandRows_.clear();
  }
  struct TDepth {
    int& depth;
    ~TDepth() { --depth; }
  } depth{commandDepth_};
  body();
  if (commandDepth_ > 1 || !commandTouched_) return;
  TSessionChange change;
  change.Event = event;
  change.Protocol = true;
  std::sort(commandRows_.begin(), commandRows_.end());
  commandRows_.erase(std::unique(commandRows_.begin(), commandRows_.end()), commandRows_.end());
  change.Rows = std::move(commandRows_);
  commandRows_.clear();
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

std::vector<QStringList> TRaceSession::Rows() const {
  const int32_t count = grid_.RowCount();
  std::vector<QStringList> rows;
  rows.reserve(static_cast<size_t>(count));
  for (int32_t r = 0; r < count; ++r) {
    QStringList row;
    row.reserve(kProtocolColumns + 1);
    for (int32_t c = 0; c < kProtocolColumns; ++c) row << grid_.Cells(c, r);
    row << (r > 0 ? protocol_->RecordText(r) : QString());
    rows.push_back(std::move(row));
  }
  return rows;
}

void TRaceSession::Restore(const std::vector<QStringList>& rows, const QStringList& corrections) {
  protocol_->Clear();
  grid_.SetRowCount(std::max<int32_t>(2, static_cast<int32_t>(rows.size())));
  for (size_t r = 0; r < rows.size(); ++r) {
    for (int32_t c = 0; c < kProtocolColumns && c < rows[r].size(); ++c) grid_.SetCells(c, static_cast<int32_t>(r), rows[r][c]);
    if (r > 0) protocol_->SetRecordText(static_cast<int32_t>(r), rows[r].value(kProtocolColumns));
  }
  corrections_.SetLines(corrections);
  TSessionChange change;
  change.Kind = TSessionChange::TKind::Other;
  change.Protocol = true;
  Tell(change);
}

void TRaceSession::AddCorrection(const QString& rider, const QString& what, const QString& old, const QString& now) {
  corrections_.Add(TCorrection{platform::Now(), rider, what, old, now});
}

void TRaceSession::Clear() {
  stack_.clear();
  corrections_.Clear();
  protocol_->Clear();
  Changed(QString());
}

void TRaceSession::Tell(const TSessionChange& change) {
  for (const TListener& listener : listeners_) listener(change);
}
