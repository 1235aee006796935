#pragma once
#include <QString>

namespace platform {

class ShellService {
public:
  virtual ~ShellService() = default;
  // Runs a shell verb ("open" or "print") on a file or web address; true when it started.
  virtual bool Execute(const QString& verb, const QString& target) = 0;
};

// "open": QDesktopServices::openUrl; "print": the page laid out with QTextDocument and printed
// on the default printer without a dialog, nothing when there is none.
class QtShellService : public ShellService {
public:
  bool Execute(const QString& verb, const QString& target) override;
};

ShellService& Shell();
void SetShellService(ShellService* service);  // nullptr restores the real one

}  // namespace platform
