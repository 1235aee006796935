#include "widgets/WidgetsAccessible.h"

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPointer>

#include "widgets/ButtonWithColor.h"
#include "widgets/FlEdit.h"
#include "widgets/LbSpeedButton.h"

namespace {

// The name a tool reads: the accessible name the window gave, else the fallback.
QString NameOr(const QWidget* w, const QString& fallback) {
  return w->accessibleName().isEmpty() ? fallback : w->accessibleName();
}

// The hint, offered as description when the name is something else.
QString Description(const QWidget* w) {
  if (!w->accessibleDescription().isEmpty()) return w->accessibleDescription();
  return w->toolTip() != w->accessibleName() ? w->toolTip() : QString();
}

class SpeedButtonAccessible : public QAccessibleWidget {
public:
  explicit SpeedButtonAccessible(TLbSpeedButton* button) : QAccessibleWidget(button, QAccessible::Button) {}

  QString text(QAccessible::Text t) const override {
    switch (t) {
      case QAccessible::Name:
        // The hint says what the button does; the caption of a speed button is often a short word.
        return NameOr(Button(), !Button()->toolTip().isEmpty() ? Button()->toolTip() : QString(Button()->Caption()).remove('&'));
      case QAccessible::Description:
        return Description(Button());
      default:
        return QAccessibleWidget::text(t);
    }
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    // A grouped button stays down: it behaves as a check box does.
    if (Button()->GroupIndex() != 0) {
      s.checkable = true;
      s.checked = Button()->Down();
    } else {
      s.pressed = Button()->Down();
    }
    return s;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name == pressAction() && Button()->isEnabled()) Button()->Press();
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
  TLbSpeedButton* Button() const { return static_cast<TLbSpeedButton*>(widget()); }
};

class BitBtnAccessible : public QAccessibleWidget {
public:
  explicit BitBtnAccessible(TBitBtnWithColor* button) : QAccessibleWidget(button, QAccessible::Button) {}

  QString text(QAccessible::Text t) const override {
    switch (t) {
      case QAccessible::Name:
        return NameOr(Button(), QString(Button()->text()).remove('&'));
      case QAccessible::Description:
        return Description(Button());
      default:
        return QAccessibleWidget::text(t);
    }
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.pressed = Button()->isDown();
    s.defaultButton = Button()->isDefault();
    return s;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  // As a left click: the command buttons act at the press, the others at the click.
  void doAction(const QString& name) override {
    if (name != pressAction() || !Button()->isEnabled()) return;
    QPointer<TBitBtnWithColor> alive(Button());
    if (Button()->OnMouseDown) Button()->OnMouseDown(Button(), Qt::LeftButton, Qt::NoModifier, 0, 0);
    if (alive && alive->isEnabled()) alive->click();
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
  TBitBtnWithColor* Button() const { return static_cast<TBitBtnWithColor*>(widget()); }
};

class SpinFloatAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
  explicit SpinFloatAccessible(TSpinFloatEdit* edit) : QAccessibleWidget(edit, QAccessible::SpinBox) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }
  QString text(QAccessible::Text t) const override {
    switch (t) {
      case QAccessible::Name:
        return Edit()->accessibleName();
      case QAccessible::Value:
        return Edit()->text();
      default:
        return QAccessibleWidget::text(t);
    }
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.editable = !Edit()->isReadOnly();
    s.readOnly = Edit()->isReadOnly();
    return s;
  }
  QVariant currentValue() const override { return Edit()->Value(); }
  void setCurrentValue(const QVariant& value) override { Edit()->SetValue(value.toDouble()); }
  QVariant maximumValue() const override { return Edit()->Max(); }
  QVariant minimumValue() const override { return Edit()->Min(); }
  QVariant minimumStepSize() const override { return Edit()->Increment(); }

  QStringList actionNames() const override { return {increaseAction(), decreaseAction(), setFocusAction()}; }
  void doAction(const QString& name) override {
    if (!Edit()->isEnabled()) return;
    if (name == increaseAction())
      Edit()->UpClick();
    else if (name == decreaseAction())
      Edit()->DownClick();
    else
      QAccessibleWidget::doAction(name);
  }

private:
  TSpinFloatEdit* Edit() const { return static_cast<TSpinFloatEdit*>(widget()); }
};

class SpokenPanelAccessible : public QAccessibleWidget {
public:
  explicit SpokenPanelAccessible(TSpokenPanel* panel) : QAccessibleWidget(panel, QAccessible::StaticText) {}

  QString text(QAccessible::Text t) const override {
    auto* panel = static_cast<TSpokenPanel*>(widget());
    if ((t == QAccessible::Name || t == QAccessible::Value) && panel->SpokenText) return panel->SpokenText();
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (object == nullptr || !object->isWidgetType()) return nullptr;
  if (className == QLatin1String("TLbSpeedButton"))
    return new SpeedButtonAccessible(static_cast<TLbSpeedButton*>(object));
  if (className == QLatin1String("TBitBtnWithColor"))
    return new BitBtnAccessible(static_cast<TBitBtnWithColor*>(object));
  if (className == QLatin1String("TSpinFloatEdit")) return new SpinFloatAccessible(static_cast<TSpinFloatEdit*>(object));
  if (className == QLatin1String("TSpokenPanel")) return new SpokenPanelAccessible(static_cast<TSpokenPanel*>(object));
  return nullptr;
}

}  // namespace

void EnsureWidgetsAccessible() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

TSpokenPanel::TSpokenPanel(QWidget* parent) : QFrame(parent) { EnsureWidgetsAccessible(); }
