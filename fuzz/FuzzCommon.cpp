#include "FuzzCommon.h"

#include "platform/Application.h"
#include <QDir>
#include <QTemporaryDir>
#include <clocale>
#include <utility>

#include "platform/AppTitle.h"
#include "platform/Modal.h"

namespace fuzz {
namespace {

QStringList messages;

class AnsweringModal : public platform::ModalService {
public:
  int MessageBox(QWidget*, const QString&, const QString& text, MsgIcon, MsgButtons buttons) override {
    messages << text;
    return buttons == MsgButtons::Ok || buttons == MsgButtons::OkCancel ? 1 : 6;
  }
  int ExecDialog(QDialog*) override { return 2; }
  QAction* PopupMenu(QMenu*, const QPoint&) override { return nullptr; }
};

}  // namespace

QStringList TakeMessages() { return std::exchange(messages, {}); }

void EnsureApplication() {
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setlocale(LC_ALL, "C");
    static int argc = 1;
    static char name[] = "Veltrano";
    static char* argv[] = {name, nullptr};
    auto* a = new platform::Application(argc, argv);
    platform::SetApplicationTitle("Veltrano");
    static AnsweringModal modal;
    platform::SetModalService(&modal);
    return a;
  }();
  (void)app;
}

QString ScratchFolder() {
  static QTemporaryDir dir;
  return dir.path();
}

}  // namespace fuzz
