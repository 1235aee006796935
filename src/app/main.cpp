#include "app/FMain.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"
#include "io/Journal.h"
#include "platform/Application.h"

int main(int argc, char** argv) {
  platform::Application app(argc, argv);
  // One program per working folder, decided before any file there is touched.
  TJournalLock lock;
  if (!ClaimWorkingFolder(lock)) return 1;
  // The window first, then the two dialogs it uses, each created once.
  TFormMain FormMain;
  TCfgDialog CfgDialog(&FormMain);
  TFDlgYesNo FDlgYesNo(&FormMain);
  FormMain.SetDialogs(&CfgDialog, &FDlgYesNo);
  FormMain.show();
  // The window and its dialogs are up: offer to restore a race the last run did not end.
  FormMain.StartJournal();
  return app.exec();
}
