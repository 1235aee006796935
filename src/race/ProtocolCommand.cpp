#include "race/ProtocolCommand.h"

#include <QUndoStack>

TProtocolCommand::TProtocolCommand(TProtocol& protocol, const QString& text, TProtocolChange change, TDone done)
    : protocol_(protocol), done_(std::move(done)), change_(std::move(change)) {
  setText(text);
}

bool TProtocolCommand::Push(QUndoStack& stack, TProtocol& protocol, const QString& text,
                            const std::function<void()>& operation, TDone done) {
  TProtocolChange change = protocol.Track(operation);
  if (change.Empty()) return false;
  stack.push(new TProtocolCommand(protocol, text, std::move(change), std::move(done)));
  return true;
}

void TProtocolCommand::redo() {
  // The push's own redo: the operation has run already.
  if (!ran_) {
    ran_ = true;
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
