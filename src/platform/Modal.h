#pragma once
// Every modal window of the program goes through here: message boxes, modal dialogs and
// pop-up menus. Tests install a scripted double that answers and fails on surprises.
#include <QString>
#include <QPoint>

class QWidget;
class QDialog;
class QMenu;
class QAction;

// The toolkit's modal results.
enum TModalResult : int {
  mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
  mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10
};

enum class MsgIcon { None, Information, Warning, Error, Question };

// Button sets of a message box.
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };

namespace platform {

class ModalService {
public:
  virtual ~ModalService() = default;
  // Shows a message box and returns the modal result of the button chosen.
  virtual int MessageBox(QWidget* parent, const QString& caption, const QString& text,
                         MsgIcon icon, MsgButtons buttons) = 0;
  // Runs a dialog modally and returns its modal result.
  virtual int ExecDialog(QDialog* dialog) = 0;
  // Pops up a menu at a global position; the action chosen, or nullptr.
  virtual QAction* PopupMenu(QMenu* menu, const QPoint& globalPos) = 0;
};

// The real one: QMessageBox, QDialog::exec, QMenu::exec.
class QtModalService : public ModalService {
public:
  int MessageBox(QWidget* parent, const QString& caption, const QString& text, MsgIcon icon,
                 MsgButtons buttons) override;
  int ExecDialog(QDialog* dialog) override;
  QAction* PopupMenu(QMenu* menu, const QPoint& globalPos) override;
};

ModalService& Modal();
// nullptr restores the real service.
void SetModalService(ModalService* service);

// Shorthand for the common case: an OK box.
void ShowMessage(const QString& text, MsgIcon icon = MsgIcon::None, QWidget* parent = nullptr);

}  // namespace platform
