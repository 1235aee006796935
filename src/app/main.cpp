#include "app/FMain.h"
#include "platform/Application.h"

int main(int argc, char** argv) {
  platform::Application app(argc, argv);
  TFormMain FormMain;
  FormMain.show();
  return app.exec();
}
