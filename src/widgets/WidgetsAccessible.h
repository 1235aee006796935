#pragma once
// What screen readers and automation tools see of our own controls: the role, state, value
// and actions that Qt's standard controls report, and a press through the accessibility
// interface that runs the same command as a click.

#include <QFrame>
#include <QString>
#include <functional>

// Installs the accessibility factory of the controls below once; every control calls it when
// it is built, so no program or test can forget it.
void EnsureWidgetsAccessible();

// A panel that tells what it shows as text, read only when a tool asks: the race clock
// changes every 10 ms, and announcing each change would flood the accessibility bus.
class TSpokenPanel : public QFrame {
  Q_OBJECT
public:
  explicit TSpokenPanel(QWidget* parent = nullptr);
  std::function<QString()> SpokenText;
};
