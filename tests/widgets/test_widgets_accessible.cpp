// What an assistive tool finds of our own controls: role, name, description, state, value,
// and a press through the interface that runs the same command as a click.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QAccessibleValueInterface>
#include <QTest>

#include "widgets/ButtonWithColor.h"
#include "widgets/FlEdit.h"
#include "widgets/LbSpeedButton.h"
#include "widgets/WidgetsAccessible.h"

namespace {

QAccessibleInterface* Of(QObject* object) {
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
  EXPECT_NE(iface, nullptr);
  return iface;
}

}  // namespace

TEST(WidgetsAccessible, SpeedButtonIsAButtonNamedByItsHintAndPressable) {
  QWidget window;  // a speed button acts only when shown on a shown parent
  auto& button = *new TLbSpeedButton(&window);
  window.show();
  button.setToolTip("Protokoll speichern unter");
  int clicks = 0;
  button.OnClick = [&clicks](QObject*) { ++clicks; };
  QAccessibleInterface* a = Of(&button);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->role(), QAccessible::Button);
  EXPECT_EQ(a->text(QAccessible::Name), "Protokoll speichern unter");

  ASSERT_NE(a->actionInterface(), nullptr);
  EXPECT_EQ(a->actionInterface()->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
  a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(button.Down());  // shown down only while the click ran

  // Disabled: reported so, and the press does nothing.
  button.setEnabled(false);
  EXPECT_TRUE(a->state().disabled);
  a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(clicks, 1);

  // The hint names it even with a caption; without a hint the caption does.
  button.SetCaption("&Speichern");
  EXPECT_EQ(a->text(QAccessible::Name), "Protokoll speichern unter");
  button.setToolTip(QString());
  EXPECT_EQ(a->text(QAccessible::Name), "Speichern");
}

TEST(WidgetsAccessible, GroupedSpeedButtonReportsItsCheckedState) {
  TLbSpeedButton button;
  button.SetGroupIndex(1);
  button.SetAllowAllUp(true);
  QAccessibleInterface* a = Of(&button);
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->state().checkable);
  EXPECT_FALSE(a->state().checked);
  button.SetDown(true);
  EXPECT_TRUE(a->state().checked);
}

TEST(WidgetsAccessible, CommandButtonPressRunsWhatAMousePressRuns) {
  TBitBtnWithColor start;
  start.SetCaption("START");
  start.setToolTip("F5");
  int presses = 0, clicks = 0;
  start.OnMouseDown = [&presses](QObject*, Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
    EXPECT_EQ(button, Qt::LeftButton);
    ++presses;
  };
  start.OnClick = [&clicks](QObject*) { ++clicks; };
  QAccessibleInterface* a = Of(&start);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->role(), QAccessible::Button);
  EXPECT_EQ(a->text(QAccessible::Name), "START");
  EXPECT_EQ(a->text(QAccessible::Description), "F5");
  a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(presses, 1);
  EXPECT_EQ(clicks, 1);

  start.setEnabled(false);
  a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(presses, 1);
  EXPECT_TRUE(a->state().disabled);
}

TEST(WidgetsAccessible, SpinFloatEditIsASpinBoxWithItsValue) {
  TSpinFloatEdit edit;
  edit.setAccessibleName("1 Runde (km)");
  edit.SetMin(0.1);
  edit.SetMax(99.9);
  edit.SetIncrement(0.5);
  edit.SetValue(2.5);
  QAccessibleInterface* a = Of(&edit);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->role(), QAccessible::SpinBox);
  EXPECT_EQ(a->text(QAccessible::Name), "1 Runde (km)");
  EXPECT_EQ(a->text(QAccessible::Value), edit.text());
  EXPECT_TRUE(a->state().editable);

  QAccessibleValueInterface* value = a->valueInterface();
  ASSERT_NE(value, nullptr);
  EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 2.5);
  EXPECT_DOUBLE_EQ(value->minimumValue().toDouble(), 0.1);
  EXPECT_DOUBLE_EQ(value->maximumValue().toDouble(), 99.9);
  EXPECT_DOUBLE_EQ(value->minimumStepSize().toDouble(), 0.5);
  value->setCurrentValue(150.0);  // clamped as a typed value is
  EXPECT_DOUBLE_EQ(edit.Value(), 99.9);

  value->setCurrentValue(2.5);
  a->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
  EXPECT_DOUBLE_EQ(edit.Value(), 3.0);
  a->actionInterface()->doAction(QAccessibleActionInterface::decreaseAction());
  a->actionInterface()->doAction(QAccessibleActionInterface::decreaseAction());
  EXPECT_DOUBLE_EQ(edit.Value(), 2.0);
}

TEST(WidgetsAccessible, SpokenPanelIsReadOnDemand) {
  TSpokenPanel panel;
  int asked = 0;
  panel.SpokenText = [&asked] {
    ++asked;
    return QString("Rennzeit 1.05,3");
  };
  QAccessibleInterface* a = Of(&panel);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(asked, 0);  // nothing is computed before a tool asks
  EXPECT_EQ(a->role(), QAccessible::StaticText);
  EXPECT_EQ(a->text(QAccessible::Name), "Rennzeit 1.05,3");
  EXPECT_EQ(asked, 1);
}

TEST(WidgetsAccessible, SpeedButtonTakingTheFocusRunsBySpaceOrEnterOnce) {
  QWidget window;
  auto& button = *new TLbSpeedButton(&window);
  button.resize(60, 24);
  button.setFocusPolicy(Qt::TabFocus);
  int clicks = 0;
  button.OnClick = [&clicks](QObject*) { ++clicks; };
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  button.setFocus(Qt::TabFocusReason);
  QTest::keyClick(&button, Qt::Key_Space);
  QTest::keyClick(&button, Qt::Key_Return);
  EXPECT_EQ(clicks, 2);
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(" "), true);
  QApplication::sendEvent(&button, &repeat);
  EXPECT_EQ(clicks, 2);  // a held key is one press
  QTest::keyClick(&button, Qt::Key_A);
  EXPECT_EQ(clicks, 2);
}
