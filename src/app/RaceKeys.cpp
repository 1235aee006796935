#include "app/RaceKeys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

RaceKeyFilter::RaceKeyFilter(QWidget* window, QAction* lap, QAction* start, QAction* stop)
    : QObject(window), window_(window), lap_(lap), start_(start), stop_(stop) {
  qApp->installEventFilter(this);
}

RaceKeyFilter::~RaceKeyFilter() { qApp->removeEventFilter(this); }

QAction* RaceKeyFilter::ActionFor(int key) const {
  switch (key) {
    case Qt::Key_F4: return lap_;
    case Qt::Key_F5: return start_;
    case Qt::Key_F9: return stop_;
    default: return nullptr;
  }
}

bool RaceKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride && type != QEvent::KeyRelease) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  QAction* action = ActionFor(key->key());
  if (!action || key->modifiers() != Qt::NoModifier) return false;
  // Only keys for this window: a dialog in front keeps its own keys.
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || !window_ || widget->window() != window_) return false;
  if (type == QEvent::ShortcutOverride) {
    // Claim the key so no shortcut of a child takes it; the press follows.
    event->accept();
    return true;
  }
  if (type == QEvent::KeyPress && !key->isAutoRepeat() && action->isEnabled()) action->trigger();
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
