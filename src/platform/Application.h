#pragma once
#include <QApplication>

namespace platform {

// The application object: an exception that escapes an event handler is shown in a message
// box (through the modal service) instead of ending the program, as the Windows toolkit does.
class Application : public QApplication {
public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Reports an exception the way the application object does; handlers of our own controls call
// it when they catch one themselves.
void ShowException(const std::exception& error);

}  // namespace platform
