#include "app/RaceKeys.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

#include "platform/InputClock.h"

RaceKeyFilter::RaceKeyFilter(QWidget* window, QAction* lap, QAction* start, QAction* stop,
                             platform::InputClock& clock)
    : QObject(window), window_(window), clock_(clock), lap_(lap), start_(start), stop_(stop) {
  qApp->installEventFilter(this);
}

RaceKeyFilter::~RaceKeyFilter() { qApp->removeEventFilter(this); }

void RaceKeyFilter::AddCommand(QKeyCombination key, QAction* item) { commands_.emplace_back(key, item); }

QAction* RaceKeyFilter::RaceActionFor(const QKeyEvent* key) const {
  const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
  if (modifiers != Qt::NoModifier && modifiers != Qt::ShiftModifier) return nullptr;
  switch (key->key()) {
    case Qt::Key_F4: return lap_;
    case Qt::Key_F5: return start_;
    case Qt::Key_F9: return stop_;
    default: return nullptr;
  }
}

QAction* RaceKeyFilter::CommandFor(const QKeyEvent* key) const {
  const QKeyCombination pressed(key->modifiers() & ~Qt::KeypadModifier, static_cast<Qt::Key>(key->key()));
  for (const auto& [combination, item] : commands_)
    if (combination == pressed) return item;
  return nullptr;
}

bool RaceKeyFilter::ForWindow(const QWidget* widget) const {
  if (!widget || !window_) return false;
  const QWidget* window = widget->window();
  if (window == window_) return true;
  return window->property("raceKeys").toBool() && window->parentWidget() && window->parentWidget()->window() == window_;
}

bool RaceKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride && type != QEvent::KeyRelease) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  auto* widget = qobject_cast<QWidget*>(watched);
  QAction* race = RaceActionFor(key);
  QAction* command = race ? nullptr : CommandFor(key);
  if (!race && !command) return false;
  // Only keys for this window: a dialog in front keeps its own keys.
  if (!ForWindow(widget)) return false;
  if (command) {
    // Command keys act in the window itself, except in the rider editor's fields.
    if (widget->window() != window_ || (keepsCommandKeys_ && keepsCommandKeys_->isAncestorOf(widget))) return false;
  }
  if (type == QEvent::ShortcutOverride) {
    // Claim the key so no shortcut of a child takes it; the press follows.
    event->accept();
    return true;
  }
  if (type == QEvent::KeyPress && !key->isAutoRepeat()) {
    QAction* action = race ? race : command;
    if (!action->isEnabled()) return true;
    const bool forced = race && (key->modifiers() & Qt::ShiftModifier);
    if (race && OnPress)
      OnPress(action, forced, clock_.TickOf(key));
    else
      action->trigger();
  }
  return true;
}

KeyClickFilter::KeyClickFilter(QWidget* widget, std::function<void()> command)
    : QObject(widget), command_(std::move(command)) {
  widget->installEventFilter(this);
}

bool KeyClickFilter::eventFilter(QObject*, QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  const int code = key->key();
  if (code != Qt::Key_Return && code != Qt::Key_Enter && code != Qt::Key_Space) return false;
  if (key->modifiers() != Qt::NoModifier && key->modifiers() != Qt::KeypadModifier) return false;
  if (event->type() == QEvent::KeyPress && !key->isAutoRepeat()) command_();
  return true;
}

namespace {

Qt::KeyboardModifiers PlainModifiers(const QKeyEvent* key) { return key->modifiers() & ~Qt::KeypadModifier; }

bool IsDigit(const QKeyEvent* key) {
  return PlainModifiers(key) == Qt::NoModifier && key->key() >= Qt::Key_0 && key->key() <= Qt::Key_9;
}

bool IsKeypadPlus(const QKeyEvent* key) {
  return key->key() == Qt::Key_Plus && (key->modifiers() & Qt::KeypadModifier) &&
         (PlainModifiers(key) == Qt::NoModifier || PlainModifiers(key) == Qt::ShiftModifier);
}

// A control that takes typed text for itself.
bool EditsText(const QWidget* widget) {
  if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
      qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget))
    return true;
  const auto* combo = qobject_cast<const QComboBox*>(widget);
  return combo && combo->isEditable();
}

}  // namespace

NumberKeyFilter::NumberKeyFilter(QWidget* window, QLineEdit* field, platform::InputClock& clock)
    : QObject(window), window_(window), field_(field), clock_(clock) {
  qApp->installEventFilter(this);
}

NumberKeyFilter::~NumberKeyFilter() { qApp->removeEventFilter(this); }

bool NumberKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !field_ || !window_) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  // Only keys for this window: a dialog in front keeps its own.
  if (!widget || widget->window() != window_) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  if (IsKeypadPlus(key)) {
    if (!key->isAutoRepeat() && OnTime) OnTime(clock_.TickOf(key));
    return true;
  }
  if (widget == field_) return InField(key);
  return IsDigit(key) && ToField(widget, key);
}

bool NumberKeyFilter::InField(QKeyEvent* key) {
  const Qt::KeyboardModifiers modifiers = PlainModifiers(key);
  const bool plain = modifiers == Qt::NoModifier;
  switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!plain && modifiers != Qt::ShiftModifier) return false;
      if (!key->isAutoRepeat() && OnEnter) OnEnter(field_->text(), modifiers == Qt::ShiftModifier, clock_.TickOf(key));
      return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
      if (!plain) return false;
      if (OnMoveMark) OnMoveMark(key->key() == Qt::Key_Up ? -1 : 1);
      return true;
    case Qt::Key_Delete:
      if (!plain || !field_->text().isEmpty()) return false;
      if (!key->isAutoRepeat() && OnDrop) OnDrop();
      return true;
    case Qt::Key_Escape:
      field_->clear();
      return true;
    default:
      return false;
  }
}

bool NumberKeyFilter::ToField(QWidget* focused, QKeyEvent* key) {
  if (EditsText(focused) || !field_->isEnabled() || !field_->isVisible()) return false;
  field_->setFocus(Qt::ShortcutFocusReason);
  QKeyEvent again(QEvent::KeyPress, key->key(), key->modifiers(), key->text());
  QCoreApplication::sendEvent(field_, &again);
  return true;
}
