#include "app/FMain.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"
#include "platform/Application.h"

int main(int argc, char** argv) {
  platform::Application app(argc, argv);
  // The window first, then the two dialogs it uses, each created once.
  TFormMain FormMain;
  TCfgDialog CfgDialog(&FormMain);
  TFDlgYesNo FDlgYesNo(&FormMain);
  FormMain.SetDialogs(&CfgDialog, &FDlgYesNo);
  FormMain.show();
  return app.exec();
}
