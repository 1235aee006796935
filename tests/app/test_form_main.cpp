#include <gtest/gtest.h>

#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <memory>

#include "app/FMain.h"
#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "platform/AnsiText.h"
#include "platform/KeyStore.h"
#include "platform/LocalTime.h"
#include "platform/LocaleFormats.h"
#include "race/Protocol.h"
#include "widgets/ButtonWithColor.h"
#include "widgets/FlEdit.h"
#include "widgets/LbSpeedButton.h"
#include "widgets/Udigit.h"

namespace {

using testing_doubles::Doubles;


struct FormMainFixture : ::testing::Test {
  QDateTime now{QDate(2026, 12, 6), QTime(23, 33, 0)};
  platform::ManualClock& clock = Doubles().clock;

  void SetUp() override {
    QFile::remove(platform::KeyStore::DefaultPath());
    QFile::remove("Veltrano.txt");
    // The category list the window reads at start-up.
    QFile categories("Kategorie.txt");
    ASSERT_TRUE(categories.open(QIODevice::WriteOnly));
    categories.write("M\r\nF\r\n");
    platform::PinFormatLocale(QLocale(QLocale::German, QLocale::Germany));
    platform::SetNowSource([this] { return now; });
    clock.Set(5000000);
  }
  void TearDown() override {
    platform::SetNowSource({});
    platform::PinFormatLocale(std::nullopt);
  }

  static void Press(TFormMain& form, Qt::Key key) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &form;
    QTest::keyClick(target, key);
  }
  static void ClickRow(TFormMain& form, int row, Qt::MouseButton button = Qt::LeftButton) {
    const QRect cell = form.SortGrid1->CellRect(1, row).ToQRect();
    ASSERT_FALSE(cell.isEmpty()) << "row " << row << " not visible";
    QTest::mouseClick(form.SortGrid1->viewport(), button, {}, cell.center());
  }
  static QString Cell(TFormMain& form, int col, int row) { return form.SortGrid1->Cells(col, row); }
};

}  // namespace

TEST_F(FormMainFixture, AtItsMinimumWidthTheNamesStayVisible) {
  Program program;
  TFormMain& form = *program.form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.resize(form.minimumSize());
  QCoreApplication::processEvents();
  EXPECT_EQ(form.SortGrid1->ColWidths(pcName), kMinNameWidth);
  form.resize(804, 556);
  QCoreApplication::processEvents();
  EXPECT_GT(form.SortGrid1->ColWidths(pcName), kMinNameWidth);
}

TEST_F(FormMainFixture, IdleWindowAsDesigned) {
  Program program;
  TFormMain& form = *program.form;
  EXPECT_EQ(form.windowTitle(), "Veltrano 0.96");
  EXPECT_EQ(form.size(), QSize(804, 556));
  EXPECT_EQ(form.minimumSize(), QSize(720, 392));
  EXPECT_EQ(form.PanelTimer->width(), 398);
  EXPECT_EQ(form.PanelDate->width(), 222);

  for (TDigit* d : {form.Digit2, form.Digit3, form.Digit4, form.Digit5, form.Digit6, form.Digit7,
                    form.Digit13, form.Digit15, form.Digit16, form.Digit18, form.Digit19, form.Digit21}) {
    EXPECT_EQ(d->Value(), 0);
    EXPECT_EQ(d->size(), QSize(45, 89));
  }
  EXPECT_EQ(form.Digit6->ColorOn(), clYellow);
  EXPECT_EQ(form.Digit5->ColorOn(), 0x404040u);
  EXPECT_EQ(form.Digit21->ColorOn(), 0x404040u);

  // Commands of the empty entry row; ENDE and reset off.
  EXPECT_TRUE(form.bSTART->isEnabled());
  EXPECT_EQ(form.bSTART->Color(), clGreen);
  EXPECT_FALSE(form.bLAP->isEnabled());
  EXPECT_FALSE(form.bSTOP->isEnabled());
  EXPECT_FALSE(form.bEnd->isEnabled());
  EXPECT_FALSE(form.bRESET->isEnabled());
  EXPECT_TRUE(form.mStart->isEnabled());
  EXPECT_FALSE(form.mLap->isEnabled() || form.mStop->isEnabled() || form.mReset->isEnabled());
  EXPECT_FALSE(form.sbSave->isEnabled());
  EXPECT_FALSE(form.sb1p->isEnabled());
  EXPECT_EQ(form.LabelBase->text(), "0 von 0");
  EXPECT_EQ(form.SortGrid1->RowCount(), 2);
  EXPECT_EQ(Cell(form, 11, 0), "Zeit");

  // Shown, the name column takes the room the other columns leave, one grid line per column.
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  int others = 0;
  for (int c = 0; c < 14; ++c)
    if (c != 2) others += form.SortGrid1->ColWidths(c);
  EXPECT_GT(form.SortGrid1->ColWidths(2), 0);
  EXPECT_EQ(form.SortGrid1->ColWidths(2), form.SortGrid1->viewport()->width() - others - 14);

  // Untouched, it closes without a question.
  EXPECT_FALSE(form.SortGrid1->Modified());
  EXPECT_TRUE(form.close());
}

TEST_F(FormMainFixture, DatePanelRefreshedEveryFiveSeconds) {
  Program program;
  TFormMain& form = *program.form;
  const QString first = form.PanelDate->text();
  EXPECT_TRUE(first.endsWith("   23:33")) << first.toStdString();
  now = now.addSecs(60);
  clock.Advance(4999);
  EXPECT_EQ(form.PanelDate->text(), first);
  clock.Advance(1);
  EXPECT_TRUE(form.PanelDate->text().endsWith("   23:34"));
}

TEST_F(FormMainFixture, RaceKeysNeverReachTheFocusedControl) {
  Program program;
  TFormMain& form = *program.form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.cbPol->setFocus();
  QTest::keyClick(form.cbPol, Qt::Key_F4);  // would open the combo box's list
  EXPECT_FALSE(form.cbPol->view()->isVisible());
  EXPECT_EQ(Cell(form, 13, 1), "");

  // A held F5 starts one rider.
  QTest::keyEvent(QTest::Press, form.cbPol, Qt::Key_F5);
  QTest::keyEvent(QTest::Press, form.cbPol, Qt::Key_F5, Qt::NoModifier, -1);
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(form.cbPol, &repeat);
  EXPECT_EQ(form.SortGrid1->RowCount(), 4);  // two presses, one auto-repeat
}

TEST_F(FormMainFixture, RightButtonPressStartsARider) {
  Program program;
  TFormMain& form = *program.form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QTest::mousePress(form.bSTART, Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_FALSE(Cell(form, 13, 1).isEmpty());  // fired at the press
  QTest::mouseRelease(form.bSTART, Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_EQ(form.SortGrid1->RowCount(), 3);
}

TEST_F(FormMainFixture, WholeRaceByKeysAndMouse) {
  auto program = std::make_unique<Program>();
  TFormMain& form = *program->form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const uint32_t raceStart = clock.Now();

  // Three riders, started 30 s apart with F5.
  const char* names[] = {"Anna", "Bert", "Cleo"};
  const char* categories[] = {"F", "M", "F"};
  for (int i = 0; i < 3; ++i) {
    form.cbStartN->setEditText(QString::number(11 + i));
    form.eName->setText(names[i]);
    form.cbPol->setCurrentIndex(form.cbPol->findText(categories[i]));
    Press(form, Qt::Key_F5);
    clock.Advance(30000);
  }
  EXPECT_EQ(form.SortGrid1->RowCount(), 5);
  EXPECT_EQ(Cell(form, 2, 2), "Bert");
  EXPECT_EQ(form.SortGrid1->Row(), 4);
  EXPECT_TRUE(form.bEnd->isEnabled());
  EXPECT_EQ(form.bEnd->Color(), clBlue);
  EXPECT_FALSE(form.bCFG->isEnabled());

  // F4 on the entry row does nothing.
  Press(form, Qt::Key_F4);
  EXPECT_EQ(Cell(form, 9, 1), "0");

  // Four laps each, the rows chosen with the mouse; Cleo rides fastest.
  const int lapMs[] = {100000, 120000, 90000};
  for (int lap = 1; lap <= 4; ++lap) {
    for (int rider = 0; rider < 3; ++rider) {
      const uint32_t due = raceStart + rider * 30000 + lap * lapMs[rider];
      clock.Set(due);
      ClickRow(form, rider + 1);
      EXPECT_TRUE(form.bLAP->isEnabled());
      Press(form, Qt::Key_F4);
      EXPECT_EQ(Cell(form, 9, rider + 1), QString::number(lap));
    }
  }
  EXPECT_EQ(Cell(form, 8, 1), "1.40,0");
  // The rider display runs the selected rider's time.
  ClickRow(form, 3);
  clock.Set(raceStart + 60000 + 4 * 90000 + 1500);
  form.Race().Clock().OnTimer(nullptr);
  EXPECT_EQ(form.Digit16->Value(), 6);  // 6.01,5 since Cleo's start

  // F9 finishes each rider with the fifth lap.
  for (int rider = 2; rider >= 0; --rider) {
    const uint32_t due = raceStart + rider * 30000 + 5 * lapMs[rider];
    clock.Set(due);
    const int row = form.SortGrid1->FindRow(2, names[rider], false);
    ASSERT_GT(row, 0);
    ClickRow(form, row);
    EXPECT_FALSE(form.bLAP->isEnabled());
    EXPECT_TRUE(form.bSTOP->isEnabled());
    Press(form, Qt::Key_F9);
  }

  // Ranked: the entry row last; F before M; Cleo (7.30,0) before Anna (8.20,0).
  ASSERT_EQ(form.SortGrid1->RowCount(), 5);
  EXPECT_EQ(Cell(form, 2, 1), "Cleo");
  EXPECT_EQ(Cell(form, 0, 1), "1");
  EXPECT_EQ(Cell(form, 11, 1), "7.30,0");
  EXPECT_EQ(Cell(form, 2, 2), "Anna");
  EXPECT_EQ(Cell(form, 0, 2), "2");
  EXPECT_EQ(Cell(form, 2, 3), "Bert");
  EXPECT_EQ(Cell(form, 0, 3), "1");
  EXPECT_EQ(Cell(form, 11, 3), "10.00,0");
  EXPECT_TRUE(Cell(form, 13, 4).isEmpty());
  EXPECT_EQ(form.SortGrid1->Row(), 4);
  EXPECT_TRUE(form.sbSave->isEnabled());

  // ENDE: the clock stands, reset is offered and has the focus.
  QTest::mouseClick(form.bEnd, Qt::LeftButton);
  EXPECT_FALSE(form.Race().Clock().Enabled());
  EXPECT_TRUE(form.bRESET->isEnabled());
  EXPECT_EQ(form.bRESET->Color(), clBlack);
  EXPECT_FALSE(form.bSTART->isEnabled());
  EXPECT_EQ(QApplication::focusWidget(), form.bRESET);

  // Enter on reset asks; Abbrechen keeps everything, OK empties the protocol.
  Doubles().modal.AnswerDialog(mrCancel, [](QDialog* dialog) {
    auto* yesNo = static_cast<TFDlgYesNo*>(dialog);
    EXPECT_EQ(yesNo->Label1->text(), "Protokoll wird gelöscht!");
    EXPECT_EQ(yesNo->OKBtn->text(), "OK");
    EXPECT_EQ(yesNo->CancelBtn->text(), "Abbrechen");
  });
  QTest::keyClick(form.bRESET, Qt::Key_Return);
  EXPECT_EQ(program->yesNo.OKBtn->text(), "Ja");
  EXPECT_EQ(program->yesNo.CancelBtn->text(), "Nein");
  EXPECT_EQ(form.SortGrid1->RowCount(), 5);

  // The protocol changed since it was emptied: closing asks, "Nein" keeps the window.
  Doubles().modal.AnswerDialog(mrCancel, [](QDialog* dialog) {
    EXPECT_EQ(static_cast<TFDlgYesNo*>(dialog)->Label1->text(), "Beenden?");
  });
  EXPECT_FALSE(form.close());

  Doubles().modal.AnswerDialog(mrYes);
  QTest::keyClick(form.bRESET, Qt::Key_Space);
  EXPECT_EQ(form.SortGrid1->RowCount(), 2);
  EXPECT_FALSE(form.SortGrid1->Modified());
  EXPECT_EQ(form.Digit7->Value(), 0);
  EXPECT_TRUE(form.bSTART->isEnabled());
  EXPECT_FALSE(form.bRESET->isEnabled());
  EXPECT_TRUE(form.bCFG->isEnabled());
  EXPECT_EQ(QApplication::focusWidget(), form.bSTART);

  // Idle and untouched: closing asks nothing.
  EXPECT_TRUE(form.close());
  EXPECT_EQ(Doubles().modal.PendingAnswers(), 0);

  // One more rider, so the shut-down file has something to hold, then the tear-down.
  form.seAutoStart->setValue(45);
  form.eName->setText("Dora");
  Press(form, Qt::Key_F5);
  program.reset();

  const auto lines = platform::ReadTextFile("Veltrano.txt");
  ASSERT_TRUE(lines.has_value());
  ASSERT_GE(lines->size(), 7);
  EXPECT_EQ(lines->at(0), "GenerelSettings,0");
  EXPECT_TRUE(lines->at(6).contains("Dora"));

  platform::KeyStore store;
  ASSERT_TRUE(store.OpenKey("\\Software\\Veltrano", false));
  EXPECT_EQ(store.ReadInteger("Width"), 804);
  EXPECT_EQ(store.ReadInteger("Height"), 556);
  EXPECT_EQ(store.ReadInteger("Sound"), 1);
  EXPECT_EQ(store.ReadInteger("C1"), 0);
  EXPECT_EQ(store.ReadInteger("C2"), 65535);
  EXPECT_EQ(store.ReadInteger("C3"), 4210752);
  EXPECT_EQ(store.ReadInteger("Acc"), 2);
  EXPECT_EQ(store.ReadInteger("C4"), 65280);
  EXPECT_EQ(store.ReadInteger("FilterInd"), 2);
  EXPECT_EQ(store.ReadInteger("RoundLen"), 100000);
  EXPECT_EQ(store.ReadInteger("CountDown"), 45);
  EXPECT_TRUE(store.ReadInteger("Left").has_value());
  EXPECT_TRUE(store.ReadInteger("Top").has_value());
}

TEST_F(FormMainFixture, PopupRemovesTheCurrentRowAndRanksAgain) {
  Program program;
  TFormMain& form = *program.form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_FALSE(form.mSelectAll->isVisible());
  const char* names[] = {"Anna", "Bert", "Cleo"};
  for (const char* name : names) {
    form.eName->setText(name);
    form.cbPol->setCurrentIndex(form.cbPol->findText("M"));
    Press(form, Qt::Key_F5);
    clock.Advance(10000);
  }
  // Anna and Cleo ride five laps, Anna faster; ranking moves rows, so they are found by name.
  for (int lap = 1; lap <= 5; ++lap) {
    for (const char* name : {"Anna", "Cleo"}) {
      clock.Advance(QString(name) == "Anna" ? 60000 : 70000);
      ClickRow(form, form.SortGrid1->FindRow(2, name, false));
      Press(form, lap < 5 ? Qt::Key_F4 : Qt::Key_F9);
    }
  }
  const int anna = form.SortGrid1->FindRow(2, "Anna", false);
  const int cleo = form.SortGrid1->FindRow(2, "Cleo", false);
  ASSERT_GT(anna, 0);
  ASSERT_GT(cleo, 0);
  EXPECT_EQ(Cell(form, 0, anna), "1");
  EXPECT_EQ(Cell(form, 0, cleo), "2");
  const int rows = form.SortGrid1->RowCount();

  // The winner's row goes by the pop-up menu: Cleo moves up to place 1, the entry row stays last.
  ClickRow(form, anna);
  Doubles().modal.AnswerPopup("Zeile entfernen");
  ClickRow(form, anna, Qt::RightButton);
  EXPECT_EQ(Doubles().modal.PendingAnswers(), 0);
  ASSERT_EQ(form.SortGrid1->RowCount(), rows - 1);
  EXPECT_EQ(form.SortGrid1->FindRow(2, "Anna", false), -1);
  EXPECT_EQ(Cell(form, 0, form.SortGrid1->FindRow(2, "Cleo", false)), "1");
  EXPECT_NE(form.SortGrid1->FindRow(2, "Bert", false), -1);
  EXPECT_TRUE(Cell(form, 13, form.SortGrid1->RowCount() - 1).isEmpty());
  EXPECT_TRUE(form.SortGrid1->Modified());
}

TEST_F(FormMainFixture, EndThenStartRevivesTheClockWithEndOff) {
  Program program;
  TFormMain& form = *program.form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  Press(form, Qt::Key_F5);
  QTest::mouseClick(form.bEnd, Qt::LeftButton);
  EXPECT_FALSE(form.Race().Clock().Enabled());
  ClickRow(form, 2);
  EXPECT_TRUE(form.bSTART->isEnabled());
  Press(form, Qt::Key_F5);
  EXPECT_TRUE(form.Race().Clock().Enabled());
  EXPECT_FALSE(form.bEnd->isEnabled());
  Doubles().modal.AnswerDialog(mrYes);
  form.close();
}

TEST_F(FormMainFixture, AutoStartFromTheWindow) {
  Program program;
  TFormMain& form = *program.form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  // 5 typed into the interval field becomes 10 when the focus leaves.
  form.seAutoStart->setFocus();
  form.seAutoStart->selectAll();
  QTest::keyClicks(form.seAutoStart, "5");
  form.eName->setFocus();
  EXPECT_EQ(form.seAutoStart->value(), 10);

  QTest::mouseClick(form.cbAutoStart, Qt::LeftButton);
  ASSERT_TRUE(form.cbAutoStart->isChecked());
  EXPECT_FALSE(form.seAutoStart->isEnabled());
  Press(form, Qt::Key_F5);
  clock.Advance(10000);
  clock.Advance(10000);
  EXPECT_EQ(form.SortGrid1->RowCount(), 5);
  EXPECT_EQ(Doubles().sound.calls.size(), 4u);  // priming and three starts

  QTest::mouseClick(form.cbAutoStart, Qt::LeftButton);
  EXPECT_TRUE(form.seAutoStart->isEnabled());
  clock.Advance(60000);
  EXPECT_EQ(form.SortGrid1->RowCount(), 5);
  Doubles().modal.AnswerDialog(mrYes);
  form.close();
}

TEST_F(FormMainFixture, HelpSettingsAndTheMakersLink) {
  Program program;
  TFormMain& form = *program.form;
  form.show();
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

  QTest::keyClick(&form, Qt::Key_F1);
  QTest::keyClick(&form, Qt::Key_I, Qt::AltModifier);
  ASSERT_EQ(Doubles().help.shown.size(), 2);
  EXPECT_TRUE(Doubles().help.shown[0].endsWith(".hlp"));

  // Alt+E works also during a race, while the settings button is disabled.
  Press(form, Qt::Key_F5);
  ASSERT_FALSE(form.bCFG->isEnabled());
  Doubles().modal.AnswerDialog(mrOk, [](QDialog* dialog) {
    static_cast<TCfgDialog*>(dialog)->seRoundLen->SetValue(2.5);
  });
  QTest::keyClick(&form, Qt::Key_E, Qt::AltModifier);
  EXPECT_EQ(form.Settings().Acc, 1);

  auto labels = form.findChildren<QLabel*>("ImageDE_Quor");
  ASSERT_EQ(labels.size(), 1);
  QTest::mouseClick(labels[0], Qt::LeftButton);
  ASSERT_EQ(Doubles().shell.calls.size(), 1u);
  EXPECT_EQ(Doubles().shell.calls[0].verb, "open");
  EXPECT_EQ(Doubles().shell.calls[0].target, "https://quorvex.example/");
  Doubles().modal.AnswerDialog(mrYes);
  form.close();
}
