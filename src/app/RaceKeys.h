#pragma once
// The race keys F4, F5 and F9 belong to the window, not to whatever control has the focus:
// a combo box would open on F4. A key held down is one command, not one per auto-repeat. With
// Shift, LAP and STOPP pass the double-press guard. The window's correction dialogs leave the
// race keys to the window too. A race key is timed when it was pressed, not when the window got
// round to it.
//
// The window's command keys (Ctrl+Z, and Ctrl+Y or Ctrl+Shift+Z, to take a race command back and
// do it again; F2 to edit a rider) act on the race also while an entry field has the focus;
// only the fields of the in-place rider editor keep them for their own text.
#include <QKeySequence>
#include <QObject>
#include <QPointer>
#include <functional>
#include <utility>
#include <vector>

class QAction;
class QKeyEvent;
class QLineEdit;
class QWidget;
namespace platform {
class InputClock;
}

class RaceKeyFilter : public QObject {
public:
  // Watches the application's key events for keys aimed at this window.
  RaceKeyFilter(QWidget* window, QAction* lap, QAction* start, QAction* stop, platform::InputClock& clock);
  ~RaceKeyFilter() override;

  // Runs a race command's menu item, pressed at tick; forced: the key came with Shift. Without a
  // handler the item is triggered.
  std::function<void(QAction* item, bool forced, uint32_t tick)> OnPress;
  // A command key of the window and its item.
  void AddCommand(QKeyCombination key, QAction* item);
  // The widget that keeps the command keys for itself.
  void SetKeepsCommandKeys(QWidget* widget) { keepsCommandKeys_ = widget; }

  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QAction* RaceActionFor(const QKeyEvent* key) const;
  QAction* CommandFor(const QKeyEvent* key) const;
  // The key goes to this window: it or one of its correction dialogs has it.
  bool ForWindow(const QWidget* widget) const;

  QPointer<QWidget> window_;
  platform::InputClock& clock_;
  QAction* lap_;
  QAction* start_;
  QAction* stop_;
  std::vector<std::pair<QKeyCombination, QAction*>> commands_;
  QPointer<QWidget> keepsCommandKeys_;
};

// Runs a command when Enter or Space is pressed on a widget, and keeps the widget's own click
// out of it: the reset button's mouse press and its keyboard click are separate paths.
class KeyClickFilter : public QObject {
public:
  KeyClickFilter(QWidget* widget, std::function<void()> command);
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  std::function<void()> command_;
};

// The number field's keys. Digits (the keypad's too) typed while no text field of the window has
// the focus go to the field, so the operator types a number without reaching for the mouse; the
// entry fields for the next START, the rider editor and dialogs keep their digits. In the field:
// Enter is the pass, timed at the key (with Shift it passes the double-press guard), with
// nothing typed an open time; Up and Down move the open times' mark, Delete in the empty field
// drops the marked time, Esc empties the field. The keypad's "+" takes an open time wherever the
// focus is in the window.
class NumberKeyFilter : public QObject {
public:
  NumberKeyFilter(QWidget* window, QLineEdit* field, platform::InputClock& clock);
  ~NumberKeyFilter() override;

  std::function<void(const QString& number, bool forced, uint32_t tick)> OnEnter;
  std::function<void(uint32_t tick)> OnTime;
  std::function<void(int delta)> OnMoveMark;
  std::function<void()> OnDrop;

  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  bool InField(QKeyEvent* key);
  // The digit goes to the field instead of the focused control.
  bool ToField(QWidget* focused, QKeyEvent* key);

  QPointer<QWidget> window_;
  QPointer<QLineEdit> field_;
  platform::InputClock& clock_;
};
