#include "app/RaceKeys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
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
