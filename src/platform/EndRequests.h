#pragma once
// The requests from outside to end the program: SIGTERM (a shutdown, kill), SIGINT (Ctrl+C),
// SIGHUP (the terminal went away) and the desktop session ending. Each becomes one call of
// OnEnd on the event loop, never inside the signal handler, so the program can write its files
// as it always does. The handler only writes a byte to a pipe, which is async-signal-safe.
// One object at a time; it restores the default actions when it goes.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace platform {

class EndRequests : public QObject {
  Q_OBJECT
public:
  explicit EndRequests(QObject* parent = nullptr);
  ~EndRequests() override;
  EndRequests(const EndRequests&) = delete;
  EndRequests& operator=(const EndRequests&) = delete;

  std::function<void()> OnEnd;

private:
  void Drain();

  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace platform
