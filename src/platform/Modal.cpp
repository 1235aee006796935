#include "platform/Modal.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>

#include "platform/AppTitle.h"

namespace platform {
namespace {

ModalService* active = nullptr;

QtModalService& Real() {
  static QtModalService service;
  return service;
}

QMessageBox::Icon IconOf(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

int QtModalService::MessageBox(QWidget* parent, const QString& caption, const QString& text,
                               MsgIcon icon, MsgButtons buttons) {
  QMessageBox box(IconOf(icon), caption.isEmpty() ? ApplicationTitle() : caption, text,
                  QMessageBox::NoButton, parent);
  // German captions whatever translations are installed; the first button is the default.
  struct Button { QMessageBox::StandardButton button; const char16_t* caption; int result; };
  static constexpr Button ok[] = {{QMessageBox::Ok, u"OK", mrOk}};
  static constexpr Button okCancel[] = {{QMessageBox::Ok, u"OK", mrOk},
                                        {QMessageBox::Cancel, u"Abbrechen", mrCancel}};
  static constexpr Button yesNo[] = {{QMessageBox::Yes, u"&Ja", mrYes}, {QMessageBox::No, u"&Nein", mrNo}};
  static constexpr Button yesNoCancel[] = {{QMessageBox::Yes, u"&Ja", mrYes},
                                           {QMessageBox::No, u"&Nein", mrNo},
                                           {QMessageBox::Cancel, u"Abbrechen", mrCancel}};
  const Button* begin = ok;
  const Button* end = ok + 1;
  switch (buttons) {
    case MsgButtons::Ok: break;
    case MsgButtons::OkCancel: begin = okCancel; end = okCancel + 2; break;
    case MsgButtons::YesNo: begin = yesNo; end = yesNo + 2; break;
    case MsgButtons::YesNoCancel: begin = yesNoCancel; end = yesNoCancel + 3; break;
  }
  for (const Button* b = begin; b != end; ++b) {
    box.addButton(b->button);
    box.button(b->button)->setText(QString::fromUtf16(b->caption));
  }
  box.setDefaultButton(begin->button);
  const int chosen = box.exec();
  for (const Button* b = begin; b != end; ++b)
    if (b->button == chosen) return b->result;
  // Closed without a button (only possible where Escape has nowhere to go).
  return buttons == MsgButtons::Ok ? mrOk : mrCancel;
}

int QtModalService::ExecDialog(QDialog* dialog) {
  const int result = dialog->exec();
  // A dialog closed by Escape or its frame was cancelled, as in the toolkit.
  return result == QDialog::Rejected ? mrCancel : result;
}

QAction* QtModalService::PopupMenu(QMenu* menu, const QPoint& globalPos) { return menu->exec(globalPos); }

ModalService& Modal() { return active ? *active : Real(); }

void SetModalService(ModalService* service) { active = service; }

void ShowMessage(const QString& text, MsgIcon icon, QWidget* parent) {
  Modal().MessageBox(parent, ApplicationTitle(), text, icon, MsgButtons::Ok);
}

}  // namespace platform
