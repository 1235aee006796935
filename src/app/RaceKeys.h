#pragma once
// The race keys F4, F5 and F9 belong to the window, not to whatever control has the focus:
// a combo box would open on F4. A key held down is one command, not one per auto-repeat.
#include <QObject>
#include <QPointer>
#include <functional>

class QAction;
class QWidget;

class RaceKeyFilter : public QObject {
public:
  // Watches the application's key events for keys aimed at this window.
  RaceKeyFilter(QWidget* window, QAction* lap, QAction* start, QAction* stop);
  ~RaceKeyFilter() override;

  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QAction* ActionFor(int key) const;

  QPointer<QWidget> window_;
  QAction* lap_;
  QAction* start_;
  QAction* stop_;
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
