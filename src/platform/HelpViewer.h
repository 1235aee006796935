#pragma once
#include <QString>

class QWidget;

namespace platform {

class HelpService {
public:
  virtual ~HelpService() = default;
  // Shows the contents of a help file in the help window; a missing file is reported there.
  virtual void ShowContents(const QString& helpFile) = 0;
};

// The help file's HTML in a QTextBrowser window of the program.
class QtHelpService : public HelpService {
public:
  ~QtHelpService() override;
  void ShowContents(const QString& helpFile) override;
  QWidget* Window() const { return window_; }

private:
  QWidget* window_ = nullptr;
};

HelpService& Help();
void SetHelpService(HelpService* service);  // nullptr restores the real one

}  // namespace platform
