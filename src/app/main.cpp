#include <QTimer>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/FMain.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"
#include "io/Journal.h"
#include "platform/AppTitle.h"
#include "platform/Application.h"
#include "platform/EndRequests.h"

namespace {
QStringList Arguments(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

int Report(const QString& text, int status) {
  std::fputs(text.toLocal8Bit().constData(), status == 0 ? stdout : stderr);
  return status;
}
}  // namespace

int main(int argc, char** argv) {
  // The command line first: --help, --version and a mistyped call end here, without a display.
  const QString title = platform::ApplicationTitle();
  const TCommandLine command = ParseCommandLine(Arguments(argc, argv), title, TFormMain::kVersion);
  if (command.Action != TCommandLine::TAction::Run) return Report(command.Text, command.ExitStatus());
  QString error;
  if (!EnterWorkingFolder(command.Folder, title, error)) return Report(error, 2);

  platform::Application app(argc, argv);
  // One program per working folder, decided before any file there is touched.
  TJournalLock lock;
  if (!ClaimWorkingFolder(lock)) return 1;
  // A signal or the session's end closes without a question and writes everything; the
  // handlers stay until the tear-down is done, so a second signal cannot cut it short.
  platform::EndRequests endRequests;
  // The window first, then the two dialogs it uses, each created once.
  TFormMain FormMain;
  TCfgDialog CfgDialog(&FormMain);
  TFDlgYesNo FDlgYesNo(&FormMain);
  FormMain.SetDialogs(&CfgDialog, &FDlgYesNo);
  endRequests.OnEnd = [&FormMain] { FormMain.EndWithoutQuestion(); };
  FormMain.show();
  // The window and its dialogs are up: offer to restore a race the last run did not end. On
  // the event loop, so that a request to end also ends the question.
  QTimer::singleShot(0, &FormMain, &TFormMain::StartJournal);
  return app.exec();
}
