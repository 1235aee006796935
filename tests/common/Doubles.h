#pragma once
// The test doubles of the platform services. The shared test main installs all of them before
// any test runs; a test reaches them through Doubles().
#include <QAction>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "platform/FileDialogs.h"
#include "platform/HelpViewer.h"
#include "platform/Modal.h"
#include "platform/Printers.h"
#include "platform/Shell.h"
#include "platform/Sound.h"
#include "platform/Tick.h"

// Readable failures: texts as texts, not as their bytes.
#include <ostream>
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* out) {
  *out << '[' << list.join(QStringLiteral("|")).toStdString() << ']';
}

namespace testing_doubles {

// Answers modal windows from a script. Anything shown without a scripted answer is an
// unexpected modal window: it is recorded and the test fails.
class ScriptedModal : public platform::ModalService {
public:
  struct Shown {
    enum Kind { Message, Dialog, Popup } kind;
    QString caption;
    QString text;
    MsgIcon icon = MsgIcon::None;
  };

  // The next message box is answered with this modal result.
  void AnswerMessage(int result);
  // The next modal dialog: the callback may fill the dialog, then the result is returned.
  void AnswerDialog(int result, std::function<void(QDialog*)> fill = {});
  // The next pop-up menu: the action with this text (without '&') is chosen and triggered, as a
  // real menu does; empty = none.
  void AnswerPopup(const QString& actionText);

  int MessageBox(QWidget* parent, const QString& caption, const QString& text, MsgIcon icon,
                 MsgButtons buttons) override;
  int ExecDialog(QDialog* dialog) override;
  QAction* PopupMenu(QMenu* menu, const QPoint& globalPos) override;

  const std::vector<Shown>& History() const { return history_; }
  int PendingAnswers() const { return static_cast<int>(answers_.size()); }
  // Forgets script and history; the test main calls it between tests.
  void Reset();

private:
  struct Answer {
    Shown::Kind kind;
    int result;
    QString popupText;
    std::function<void(QDialog*)> fill;
  };
  std::deque<Answer> answers_;
  std::vector<Shown> history_;
};

class RecordingShell : public platform::ShellService {
public:
  struct Call { QString verb, target; };
  bool Execute(const QString& verb, const QString& target) override;
  std::vector<Call> calls;
  bool result = true;
};

class RecordingSound : public platform::SoundService {
public:
  struct Call { QString file; uint32_t flags; };
  bool PlaySound(const QString& file, uint32_t flags) override;
  void Beep() override { ++beeps; }
  std::vector<Call> calls;
  int beeps = 0;
};

class FakePrinters : public platform::PrinterService {
public:
  bool HasPrinter() override { return hasPrinter; }
  bool hasPrinter = true;
};

class RecordingHelp : public platform::HelpService {
public:
  void ShowContents(const QString& helpFile) override { shown.push_back(helpFile); }
  QStringList shown;
};

// Answers file dialogs from a script; an unscripted dialog is a failure.
class ScriptedFileDialogs : public platform::FileDialogService {
public:
  // The next dialog returns this path (and filter index); empty path = cancelled.
  void Answer(const QString& path, int filterIndex = 0);
  bool GetSaveFileName(QWidget* parent, platform::FileDialogRequest& request) override;
  bool GetOpenFileName(QWidget* parent, platform::FileDialogRequest& request) override;
  std::vector<platform::FileDialogRequest> requests;  // what the program asked, in order
  void Reset();

private:
  bool Next(platform::FileDialogRequest& request);
  std::deque<std::pair<QString, int>> answers_;
};

struct TestDoubles {
  platform::ManualClock clock;
  ScriptedModal modal;
  RecordingShell shell;
  RecordingSound sound;
  FakePrinters printers;
  RecordingHelp help;
  ScriptedFileDialogs fileDialogs;
};

TestDoubles& Doubles();

}  // namespace testing_doubles
