#pragma once
// One step of the protocol's undo stack: a race command (START, LAP, STOPP, a row removed, a
// sort) or a correction. The operation runs once, before the step exists; only an operation that
// changed something becomes a step, since pushing a step throws away the redo steps. Undo and
// redo then give that change back and take it again. The rows a step takes back or does again
// count as corrected.
#include <QUndoCommand>
#include <functional>

#include "race/Protocol.h"

class QUndoStack;

class TProtocolCommand : public QUndoCommand {
public:
  enum class TRun { First, Undo, Redo };
  // After every run: what ran, for the journal and the correction list.
  using TDone = std::function<void(const TProtocolCommand& command, TRun run)>;

  // Runs operation on protocol and pushes it onto stack as one step when it changed the
  // protocol; an operation that was refused or had nothing to do leaves the stack as it was,
  // redo steps included. Returns whether a step was pushed.
  static bool Push(QUndoStack& stack, TProtocol& protocol, const QString& text, const std::function<void()>& operation,
                   TDone done);

  void redo() override;
  void undo() override;

  const TProtocolChange& Change() const { return change_; }

private:
  TProtocolCommand(TProtocol& protocol, const QString& text, TProtocolChange change, TDone done);

  TProtocol& protocol_;
  TDone done_;
  TProtocolChange change_;
  bool ran_ = false;
};
