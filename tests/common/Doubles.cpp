#include "common/Doubles.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QMenu>

namespace testing_doubles {

TestDoubles& Doubles() {
  static TestDoubles doubles;
  return doubles;
}

void ScriptedModal::AnswerMessage(int result) {
  answers_.push_back({Shown::Message, result, {}, {}});
}

void ScriptedModal::AnswerDialog(int result, std::function<void(QDialog*)> fill) {
  answers_.push_back({Shown::Dialog, result, {}, std::move(fill)});
}

void ScriptedModal::AnswerPopup(const QString& actionText) {
  answers_.push_back({Shown::Popup, 0, actionText, {}});
}

void ScriptedModal::Reset() {
  answers_.clear();
  history_.clear();
}

int ScriptedModal::MessageBox(QWidget*, const QString& caption, const QString& text, MsgIcon icon,
                              MsgButtons) {
  history_.push_back({Shown::Message, caption, text, icon});
  if (answers_.empty() || answers_.front().kind != Shown::Message) {
    ADD_FAILURE() << "unexpected message box: " << caption.toStdString() << ": " << text.toStdString();
    return mrCancel;
  }
  const int result = answers_.front().result;
  answers_.pop_front();
  return result;
}

int ScriptedModal::ExecDialog(QDialog* dialog) {
  history_.push_back({Shown::Dialog, dialog->windowTitle(), {}, MsgIcon::None});
  if (answers_.empty() || answers_.front().kind != Shown::Dialog) {
    ADD_FAILURE() << "unexpected modal dialog: " << dialog->windowTitle().toStdString();
    return mrCancel;
  }
  Answer answer = std::move(answers_.front());
  answers_.pop_front();
  if (answer.fill) answer.fill(dialog);
  return answer.result;
}

QAction* ScriptedModal::PopupMenu(QMenu* menu, const QPoint&) {
  history_.push_back({Shown::Popup, menu->title(), {}, MsgIcon::None});
  if (answers_.empty() || answers_.front().kind != Shown::Popup) {
    ADD_FAILURE() << "unexpected pop-up menu";
    return nullptr;
  }
  const QString wanted = answers_.front().popupText;
  answers_.pop_front();
  // As a real menu does: announce the opening, then trigger the chosen item; an item of a
  // submenu is reached through it.
  emit menu->aboutToShow();
  if (wanted.isEmpty()) return nullptr;
  std::function<QAction*(QMenu*)> find = [&](QMenu* in) -> QAction* {
    for (QAction* action : in->actions()) {
      if (!action->isVisible() || !action->isEnabled()) continue;
      if (QMenu* sub = action->menu()) {
        emit sub->aboutToShow();
        if (QAction* inside = find(sub)) return inside;
      } else if (QString(action->text()).remove('&').section(u'\t', 0, 0) == wanted) {
        return action;
      }
    }
    return nullptr;
  };
  if (QAction* action = find(menu)) {
    action->trigger();
    return action;
  }
  ADD_FAILURE() << "pop-up menu has no item " << wanted.toStdString();
  return nullptr;
}

bool RecordingShell::Execute(const QString& verb, const QString& target) {
  calls.push_back({verb, target});
  return result;
}

bool RecordingSound::PlaySound(const QString& file, uint32_t flags) {
  calls.push_back({file, flags});
  return true;
}

void ScriptedFileDialogs::Answer(const QString& path, int filterIndex) {
  answers_.emplace_back(path, filterIndex);
}

void ScriptedFileDialogs::Reset() {
  answers_.clear();
  requests.clear();
}

bool ScriptedFileDialogs::Next(platform::FileDialogRequest& request) {
  requests.push_back(request);
  if (answers_.empty()) {
    ADD_FAILURE() << "unexpected file dialog: " << request.title.toStdString();
    return false;
  }
  auto [path, filterIndex] = answers_.front();
  answers_.pop_front();
  if (path.isEmpty()) return false;
  request.fileName = path;
  if (filterIndex > 0) request.filterIndex = filterIndex;
  return true;
}

bool ScriptedFileDialogs::GetSaveFileName(QWidget*, platform::FileDialogRequest& request) {
  return Next(request);
}

bool ScriptedFileDialogs::GetOpenFileName(QWidget*, platform::FileDialogRequest& request) {
  return Next(request);
}

}  // namespace testing_doubles
