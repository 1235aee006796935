#include "app/FMain.h"

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent) {}
