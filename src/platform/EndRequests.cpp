#include "platform/EndRequests.h"

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int pipeRead = -1;
int pipeWrite = -1;

void OnSignal(int signal) {
  const int saved = errno;
  const char byte = static_cast<char>(signal);
  // A full pipe already holds a request; nothing is lost by dropping this one.
  if (::write(pipeWrite, &byte, 1) < 0) {
  }
  errno = saved;
}

void SetHandler(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : kSignals) sigaction(signal, &action, nullptr);
}

}  // namespace

EndRequests::EndRequests(QObject* parent) : QObject(parent) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    pipeRead = fds[0];
    pipeWrite = fds[1];
    notifier_ = new QSocketNotifier(pipeRead, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });
    SetHandler(OnSignal);
  }
  // A dialog during a logout is never answered: the session's end asks nothing either.
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
      if (OnEnd) OnEnd();
    });
}

EndRequests::~EndRequests() {
  if (pipeRead < 0) return;
  SetHandler(SIG_DFL);
  delete notifier_;
  ::close(pipeRead);
  ::close(pipeWrite);
  pipeRead = pipeWrite = -1;
}

void EndRequests::Drain() {
  char bytes[64];
  bool requested = false;
  while (::read(pipeRead, bytes, sizeof bytes) > 0) requested = true;
  if (requested && OnEnd) OnEnd();
}

}  // namespace platform
