#pragma once
#include <QPointer>
#include <QString>
#include <QTextBrowser>

namespace platform {

class HelpService {
public:
  virtual ~HelpService() = default;
  // Shows the contents of a help file in the help window; a missing file is reported there.
  virtual void ShowContents(const QString& helpFile) = 0;
};

// The help file's HTML in a QTextBrowser window of the program. The file is looked for at the
// given path, then under the same name in ../share/veltrano/ beside the executable. The window
// does not keep the program running once the main window has closed.
class QtHelpService : public HelpService {
public:
  QtHelpService() = default;
  ~QtHelpService() override;
  QtHelpService(const QtHelpService&) = delete;
  QtHelpService& operator=(const QtHelpService&) = delete;
  void ShowContents(const QString& helpFile) override;
  QTextBrowser* Window() const { return window_.data(); }

private:
  QPointer<QTextBrowser> window_;
};

// Where the help file is found (see above); empty when nowhere.
QString LocateHelpFile(const QString& helpFile);

HelpService& Help();
void SetHelpService(HelpService* service);  // nullptr restores the real one

}  // namespace platform
