// The main window and its dialogs as an assistive tool sees them: every control named and in
// its role, the clock readable as text, the protocol a table whose rows can be selected.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <memory>

#include "app/FMain.h"
#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "platform/KeyStore.h"
#include "widgets/ButtonWithColor.h"
#include "widgets/FlEdit.h"
#include "widgets/LbSpeedButton.h"

namespace {

using testing_doubles::Doubles;

struct AccessibleWindow : ::testing::Test {
  std::unique_ptr<Program> program;
  TFormMain* form = nullptr;
  TCfgDialog* cfg = nullptr;
  TFDlgYesNo* yesNo = nullptr;

  void SetUp() override {
    QFile::remove(platform::KeyStore::DefaultPath());
    QFile category("Kategorie.txt");
    ASSERT_TRUE(category.open(QIODevice::WriteOnly));
    category.write("M\r\nF\r\n");
    category.close();
    Doubles().clock.Set(5000000);
    program = std::make_unique<Program>();
    form = program->form.get();
    cfg = &program->cfg;
    yesNo = &program->yesNo;
  }
  void TearDown() override {
    if (form->Race().Clock().Enabled()) Doubles().modal.AnswerDialog(mrYes);
    program.reset();
  }

  static QAccessibleInterface* Of(QObject* object) { return QAccessible::queryAccessibleInterface(object); }
  static void ExpectControl(QObject* object, QAccessible::Role role, const QString& name) {
    QAccessibleInterface* a = Of(object);
    ASSERT_NE(a, nullptr) << name.toStdString();
    EXPECT_EQ(a->role(), role) << name.toStdString();
    EXPECT_EQ(a->text(QAccessible::Name), name);
  }
  // A field is named by the label beside it, which the bus reports as "labelled by".
  static void ExpectLabelledField(QObject* object, QAccessible::Role role, const QString& label) {
    QAccessibleInterface* a = Of(object);
    ASSERT_NE(a, nullptr) << label.toStdString();
    EXPECT_EQ(a->role(), role) << label.toStdString();
    QStringList labels;
    for (const auto& relation : a->relations(QAccessible::Label)) labels << relation.first->text(QAccessible::Name);
    EXPECT_TRUE(labels.contains(label)) << label.toStdString() << " not in " << labels.join('|').toStdString();
  }
};

}  // namespace

TEST_F(AccessibleWindow, EveryControlHasItsNameAndRole) {
  ExpectControl(form->bSTART, QAccessible::Button, "START");
  ExpectControl(form->bLAP, QAccessible::Button, "LAP");
  ExpectControl(form->bSTOP, QAccessible::Button, "STOPP");
  ExpectControl(form->bEnd, QAccessible::Button, "ENDE");
  ExpectControl(form->bRESET, QAccessible::Button, "00:00");
  ExpectControl(form->cbAutoStart, QAccessible::CheckBox, "AutoStart ");
  ExpectLabelledField(form->cbStartN, QAccessible::ComboBox, "Nr.:");
  ExpectLabelledField(form->eName, QAccessible::EditableText, "Name:");
  ExpectLabelledField(form->cbPol, QAccessible::ComboBox, "Kat.:");
  ExpectLabelledField(form->seAutoStart, QAccessible::SpinBox, "s");
  ExpectControl(form->eName, QAccessible::EditableText, "Name:");
  ExpectControl(form->bCFG, QAccessible::Button, "Einstellungen");
  ExpectControl(form->bHelp, QAccessible::Button, "Hilfe");
  ExpectControl(form->sbSave, QAccessible::Button, "Protokoll speichern unter");
  ExpectControl(form->sbPrint, QAccessible::Button, "Protokoll drucken");
  ExpectControl(form->sbExcel, QAccessible::Button, "Datei in MS Excel");
  ExpectControl(form->sbHTML, QAccessible::Button, "Als Webseite");
  ExpectControl(form->bDB, QAccessible::Button, "Teilnehmerliste laden");
  ExpectControl(form->sb1m, QAccessible::Button, "Vorheriger Teilnehmer");
  ExpectControl(form->sb1p, QAccessible::Button, "Nächster Teilnehmer");
  ExpectControl(form->SortGrid1, QAccessible::Table, "Protokoll");
  // Commands that cannot run now say so.
  EXPECT_TRUE(Of(form->bLAP)->state().disabled);
  EXPECT_FALSE(Of(form->bSTART)->state().disabled);

  ExpectControl(cfg->OKBtn, QAccessible::Button, cfg->OKBtn->text().remove('&'));
  ExpectControl(cfg->CancelBtn, QAccessible::Button, cfg->CancelBtn->text().remove('&'));
  ExpectControl(cfg->seRoundLen, QAccessible::SpinBox, "1 Runde (km)");
  ExpectControl(yesNo->OKBtn, QAccessible::Button, yesNo->OKBtn->text().remove('&'));
  ExpectControl(yesNo->CancelBtn, QAccessible::Button, yesNo->CancelBtn->text().remove('&'));
}

TEST_F(AccessibleWindow, StartThroughTheInterfaceAndReadTheRowBack) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
  form->eName->setText("Anna");
  Of(form->bSTART)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());

  QAccessibleTableInterface* table = Of(form->SortGrid1)->tableInterface();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->rowCount(), 2);  // the rider and the new entry row
  EXPECT_EQ(table->columnCount(), 12);  // the two tick columns are hidden
  EXPECT_EQ(table->columnDescription(2), "Name");
  EXPECT_EQ(table->cellAt(0, 2)->text(QAccessible::Name), "Anna");
  EXPECT_EQ(table->selectedRows(), QList<int>{1});  // START moved on to the entry row

  // The clock is read on demand, in the protocol's duration text.
  Doubles().clock.Advance(65200);
  form->Race().Clock().OnTimer(nullptr);
  EXPECT_EQ(Of(form->PanelTimer)->text(QAccessible::Name), "Rennzeit 1.05,2, Fahrerzeit 0,0");

  // Selecting the rider's row through the table runs the same handler as a click: LAP opens.
  EXPECT_FALSE(form->bLAP->isEnabled());
  ASSERT_TRUE(table->selectRow(0));
  EXPECT_TRUE(form->bLAP->isEnabled());
  EXPECT_EQ(form->eName->text(), "Anna");
  form->Race().Clock().OnTimer(nullptr);
  EXPECT_EQ(Of(form->PanelTimer)->text(QAccessible::Name), "Rennzeit 1.05,2, Fahrerzeit 1.05,2");
}

TEST_F(AccessibleWindow, TabReachesEveryCommandInTheOperatorsOrder) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
  // Two riders on course: the file buttons are on, the participant buttons off (skipped).
  form->eName->setText("Anna");
  QTest::keyClick(form->eName, Qt::Key_F5);
  form->eName->setText("Bert");
  QTest::keyClick(form->eName, Qt::Key_F5);
  ASSERT_TRUE(form->sbSave->isEnabled());

  const QList<QWidget*> order{form->cbStartN, form->eName,  form->cbPol,   form->bSTART,      form->bLAP,
                              form->bSTOP,    form->bEnd,   form->bRESET,  form->eNumber, form->cbAutoStart, form->seAutoStart,
                              form->bDB,      form->sb1m,   form->sb1p,    form->sbSave,      form->sbPrint,
                              form->sbExcel,  form->sbHTML, form->SortGrid1, form->bCFG,      form->bHelp};
  // Only what is enabled takes the focus: during the race reset and settings are off, and so
  // are LAP and STOPP on the entry row and the participant buttons without a list.
  QList<QWidget*> stops;
  for (QWidget* w : order)
    if (w->isEnabled()) stops << w;
  ASSERT_TRUE(stops.contains(form->sbHTML));
  // The focus widget, or the control it belongs to (an editable combo box focuses its edit).
  auto focused = [&stops]() -> QWidget* {
    for (QWidget* w = QApplication::focusWidget(); w != nullptr; w = w->parentWidget())
      if (stops.contains(w)) return w;
    return QApplication::focusWidget();
  };
  form->cbStartN->setFocus(Qt::TabFocusReason);
  QList<QWidget*> seen{focused()};
  for (int i = 1; i < stops.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    seen << focused();
  }
  EXPECT_EQ(seen, stops);

  // A focused file button shows that it has the focus.
  form->sbSave->setFocus(Qt::TabFocusReason);
  QImage unfocused(form->sbSave->size(), QImage::Format_ARGB32);
  QImage focusedImage(form->sbSave->size(), QImage::Format_ARGB32);
  form->sbSave->render(&focusedImage);
  form->eName->setFocus();
  form->sbSave->render(&unfocused);
  EXPECT_NE(focusedImage, unfocused);
}
