#pragma once
// One step of the protocol's undo stack: a race command (START, LAP, STOPP, a row removed, a
// sort) or a correction. The first time it runs the operation and keeps what it changed; after
// that, undo and redo give that change back and take it again. The rows a step takes back or
// does again count as corrected.
#include <QUndoCommand>
#include <functional>

#include "race/Protocol.h"

class TProtocolCommand : public QUndoCommand {
public:
  enum class TRun { First, Undo, Redo };
  // After every run: what ran, for the journal and the correction list.
  using TDone = std::function<void(const TProtocolCommand& command, TRun run)>;

  TProtocolCommand(TProtocol& protocol, const QString& text, std::function<void()> operation, TDone done);

  void redo() override;
  void undo() override;

  const TProtocolChange& Change() const { return change_; }

private:
  TProtocol& protocol_;
  std::function<void()> operation_;
  TDone done_;
  TProtocolChange change_;
  bool ran_ = false;
};
