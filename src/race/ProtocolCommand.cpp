#include "race/ProtocolCommand.h"

TProtocolCommand::TProtocolCommand(TProtocol& protocol, const QString& text, std::function<void()> operation,
                                   TDone done)
    : protocol_(protocol), operation_(std::move(operation)), done_(std::move(done)) {
  setText(text);
}

void TProtocolCommand::redo() {
  if (!ran_) {
    ran_ = true;
    change_ = protocol_.Track(operation_);
    operation_ = nullptr;
    // A command that changed nothing (refused, or nothing to do) is no step to take back.
    if (change_.Empty()) setObsolete(true);
    if (done_) done_(*this, TRun::First);
    return;
  }
  protocol_.Apply(change_, true);
  for (int32_t row : protocol_.ChangedRows(change_, true)) protocol_.MarkCorrected(row);
  if (done_) done_(*this, TRun::Redo);
}

void TProtocolCommand::undo() {
  protocol_.Apply(change_, false);
  for (int32_t row : protocol_.ChangedRows(change_, false)) protocol_.MarkCorrected(row);
  if (done_) done_(*this, TRun::Undo);
}
