#include "platform/Application.h"

#include "platform/AppTitle.h"
#include "platform/Modal.h"

namespace platform {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowException(error);
  } catch (...) {
    ShowException(std::runtime_error("Unbekannter Fehler"));
  }
  return false;
}

void ShowException(const std::exception& error) {
  QString text = QString::fromUtf8(error.what());
  // The toolkit ends the sentence when the message does not.
  if (!text.isEmpty() && text.back() > u'.') text += u'.';
  Modal().MessageBox(nullptr, ApplicationTitle(), text, MsgIcon::Error, MsgButtons::Ok);
}

}  // namespace platform
