#include "app/FMain.h"
#include "platform/Application.h"

int main(int argc, char** argv) {
  platform::Application app(argc, argv);
  TFormMain form;
  form.show();
  return app.exec();
}
