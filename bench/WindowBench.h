#pragma once
// What the benchmarks that run the whole window share: quiet platform services (every question
// answered with yes, no sound, no printer), the window, quantiles, and their main.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#include "app/FMain.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"
#include "platform/AppTitle.h"
#include "platform/Modal.h"
#include "platform/Printers.h"
#include "platform/Sound.h"

class QuietServices : public platform::ModalService, public platform::SoundService, public platform::PrinterService {
public:
  QuietServices() {
    platform::SetModalService(this);
    platform::SetSoundService(this);
    platform::SetPrinterService(this);
  }
  ~QuietServices() override {
    platform::SetModalService(nullptr);
    platform::SetSoundService(nullptr);
    platform::SetPrinterService(nullptr);
  }
  QuietServices(const QuietServices&) = delete;
  QuietServices& operator=(const QuietServices&) = delete;

  int MessageBox(QWidget*, const QString&, const QString&, MsgIcon, MsgButtons) override { return mrOk; }
  int ExecDialog(QDialog*) override { return mrYes; }
  QAction* PopupMenu(QMenu*, const QPoint&) override { return nullptr; }
  bool PlaySound(const QString&, uint32_t) override { return true; }
  void Beep() override {}
  bool HasPrinter() override { return false; }
};

// The value at fraction q (0.5: the median) of the sorted values.
inline double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(q * static_cast<double>(values.size())))];
}

// The window with its two dialogs, shown, as the program makes them.
struct BenchWindow {
  TFormMain form;
  TCfgDialog cfg{&form};
  TFDlgYesNo yesNo{&form};
  BenchWindow() {
    form.SetDialogs(&cfg, &yesNo);
    form.show();
  }
};

// The categories file the window reads from the working folder.
// The race's files (categories, journal, corrections) go to a folder of its own.
struct InFolder {
  QTemporaryDir folder;
  QString before = QDir::currentPath();
  InFolder() { QDir::setCurrent(folder.path()); }
  ~InFolder() { QDir::setCurrent(before); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;
};

inline void WriteCategories(const char* lines = "M\r\n") {
  QFile categories("Kategorie.txt");
  if (categories.open(QIODevice::WriteOnly)) categories.write(lines);
}

// A key pressed and released on a widget, delivered at once.
inline void PressKey(QWidget* target, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(target, &release);
}

// Runs the benchmarks on the given platform (nullptr: the one the environment names), with a
// settings folder of their own.
inline int RunWindowBenchmarks(int argc, char** argv, const char* qpaPlatform) {
  if (qpaPlatform) qputenv("QT_QPA_PLATFORM", qpaPlatform);
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  platform::SetApplicationTitle("Veltrano");
  QuietServices quiet;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
