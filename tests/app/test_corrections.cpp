// Corrections through the real window, with the manual clock: undo and redo by key and pop-up
// menu, a time moved to the right rider, a lap deleted and one inserted, a rider edited in
// place, the double-press guard. Each correction leaves the protocol as the right presses would
// have, and stays visible: the correction list, its file, the report and the row's mark.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QUndoStack>

#include "app/FMain.h"
#include "app/RiderEditor.h"
#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "dialogs/CorrectionDialog.h"
#include "grid/SortGrid.h"
#include "platform/KeyStore.h"
#include "platform/LocalTime.h"
#include "platform/LocaleFormats.h"
#include "race/Protocol.h"
#include "race/TimeText.h"
#include "widgets/ButtonWithColor.h"
#include "widgets/LbSpeedButton.h"
#include "common/Eventually.h"

namespace {

using testing_doubles::Doubles;

constexpr uint32_t kT0 = 2'000'000;

struct CorrectionsFixture : ProgramFixture {
  platform::ManualClock& clock = Doubles().clock;

  void SetUp() override {
    QFile::remove(platform::KeyStore::DefaultPath());
    for (const QString& name : QDir().entryList({"*.journal", "Veltrano.txt", "Veltrano*.html", "Veltrano-Korrekturen.txt"}))
      QFile::remove(name);
    QFile categories("Kategorie.txt");
    ASSERT_TRUE(categories.open(QIODevice::WriteOnly));
    categories.write("M\r\nF\r\n");
    platform::PinFormatLocale(QLocale(QLocale::German, QLocale::Germany));
    platform::SetNowSource([] { return QDateTime(QDate(2026, 12, 8), QTime(10, 15, 0)); });
    clock.Set(kT0);
  }
  void TearDown() override {
    program.reset();
    for (const QString& name : QDir().entryList({"*.journal", "Veltrano.txt", "Veltrano*.html", "Veltrano-Korrekturen.txt"}))
      QFile::remove(name);
    platform::SetNowSource({});
    platform::PinFormatLocale(std::nullopt);
  }

  // Race time ms.
  void At(uint32_t ms) { clock.Set(kT0 + ms); }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { QTest::keyClick(Form().SortGrid1, key, modifiers); }
  void Select(int32_t row) {
    const QRect cell = Form().SortGrid1->CellRect(pcName, row).ToQRect();
    ASSERT_FALSE(cell.isEmpty()) << "row " << row << " is not in view";
    QTest::mouseClick(Form().SortGrid1->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(Form().SortGrid1->Row(), row);
  }
  int32_t RowOf(const QString& number) { return Form().Protocol().RowOfNumber(number); }
  QString Cell(int32_t col, const QString& number) { return Form().SortGrid1->Cells(col, RowOf(number)); }
  void Start(const QString& number, const QString& name, const QString& category = QStringLiteral("M")) {
    Select(Form().SortGrid1->RowCount() - 1);
    Form().cbStartN->setEditText(number);
    Form().eName->setText(name);
    Form().cbPol->setCurrentIndex(Form().cbPol->findText(category));
    Key(Qt::Key_F5);
  }
  void Lap(const QString& number, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    Select(RowOf(number));
    Key(Qt::Key_F4, modifiers);
  }
  void Stop(const QString& number) {
    Select(RowOf(number));
    Key(Qt::Key_F9);
  }
  // The pop-up menu of a row, answered with the item of this caption.
  void Popup(const QString& number, const QString& item) {
    Select(RowOf(number));
    Doubles().modal.AnswerPopup(item);
    const QRect cell = Form().SortGrid1->CellRect(pcName, RowOf(number)).ToQRect();
    QTest::mouseClick(Form().SortGrid1->viewport(), Qt::RightButton, {}, cell.center());
  }
  // The open correction question, answered.
  void Answer(const QString& text) {
    TCorrectionDialog* dialog = Form().CorrectionDialog();
    ASSERT_TRUE(dialog->isVisible());
    dialog->Answer->setText(text);
    QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
  }
  // The protocol as the journal keeps it, without the marks of corrections.
  std::vector<QStringList> State() {
    std::vector<QStringList> rows;
    TSortGrid* grid = Form().SortGrid1;
    for (int32_t r = 0; r < grid->RowCount(); ++r) {
      QStringList row;
      for (int32_t c = 0; c < kProtocolColumns; ++c) row << grid->Cells(c, r);
      if (r > 0) {
        const TRowRecord& record = Form().Protocol().Record(r);
        row << (record.Times ? record.Times->ToText() : QStringLiteral("?"));
      }
      rows.push_back(row);
    }
    return rows;
  }
  // Empties the protocol as the operator does: ENDE, then the reset, confirmed.
  void Reset() {
    TFormMain& form = Form();
    if (form.bEnd->isEnabled()) QTest::mouseClick(form.bEnd, Qt::LeftButton);
    Doubles().modal.AnswerDialog(mrYes);
    form.mReset->trigger();
    ASSERT_EQ(form.SortGrid1->RowCount(), 2);
  }
};

// When a rider passes: Anna (12) starts at 0, Ben (21) at 20 s, Cleo (30) at 40 s, laps of
// 70 s and a little. Ben's presses fall on a tenth, as a time typed from the clock does.
uint32_t Passes(const QString& rider, uint32_t lap) {
  if (rider == "12") return lap * 70000 + 156;
  if (rider == "21") return 20000 + lap * 70000 + 300;
  return 40000 + lap * 70000 + 390;
}

// The race the corrected one must end as.
void RightRace(CorrectionsFixture& t) {
  t.At(0);
  t.Start("12", "Anna");
  t.At(20000);
  t.Start("21", "Ben");
  t.At(40000);
  t.Start("30", "Cleo", "F");
  for (uint32_t lap = 1; lap <= 5; ++lap) {
    for (const char* nr : {"12", "21", "30"}) {
      t.At(Passes(nr, lap));
      if (lap < 5)
        t.Lap(nr);
      else
        t.Stop(nr);
    }
  }
}

}  // namespace

TEST_F(CorrectionsFixture, EveryCorrectionThroughTheWindowGivesTheRaceOfTheRightPresses) {
  Open();
  RightRace(*this);
  const auto right = State();
  Reset();

  TFormMain& form = Form();
  At(0);
  Start("12", "Anna");
  At(20000);
  Start("21", "Ben");
  At(40000);
  Start("3", "Cleo", "F");  // the start number mistyped: Cleo is 30
  for (uint32_t lap = 1; lap <= 5; ++lap) {
    At(Passes("12", lap));
    if (lap < 5) Lap("12"); else Stop("12");
    At(Passes("21", lap));
    if (lap == 2) {
      // Ben passed; the press went to Anna's row.
      Lap("12");
      Popup("12", QStringLiteral("Letzte Zeit übertragen an…"));
      EXPECT_TRUE(form.CorrectionDialog()->Question->text().startsWith("Die letzte Zeit von Nr. 12 (LAP bei 2.40,3)"));
      Answer("21");
      EXPECT_FALSE(form.CorrectionDialog()->isVisible());
    } else if (lap == 3) {
      // Missed: inserted later, at the race time the clock showed.
    } else if (lap < 5) {
      Lap("21");
    } else {
      Stop("21");
    }
    At(Passes("30", lap));
    if (lap < 5) Lap("3"); else Stop("3");
    if (lap == 1) {
      // Pressed twice (forced past the double-press guard); the second is deleted from the menu.
      At(Passes("30", lap) + 1500);
      Lap("3", Qt::ShiftModifier);
      EXPECT_EQ(Cell(pcLapCount, "3"), "2");
      Popup("3", QStringLiteral("Runde 2: 1,5 (bei 1.51,9)"));
      EXPECT_EQ(Cell(pcLapCount, "3"), "1");
    }
  }
  At(500000);
  Popup("21", QStringLiteral("Runde einfügen…"));
  Answer(FormatDuration(static_cast<int32_t>(Passes("21", 3))));
  EXPECT_EQ(Cell(pcLapCount, "21"), "5");
  // Cleo's number, edited in place (F2) and confirmed with Enter.
  Select(RowOf("3"));
  Key(Qt::Key_F2);
  ASSERT_TRUE(form.RiderEditor()->IsOpen());
  form.RiderEditor()->Number->setText("30");
  QTest::keyClick(form.RiderEditor()->Number, Qt::Key_Return);
  EXPECT_FALSE(form.RiderEditor()->IsOpen());

  // Lap texts, counts, speeds, times, places, the hidden tick columns and the times kept beside
  // them: all as the right presses left them.
  EXPECT_EQ(State(), right);
  // Every correction is in the list.
  QStringList what;
  for (const TCorrection& correction : form.Corrections().Entries()) what << correction.Rider + ": " + correction.What;
  EXPECT_EQ(what, (QStringList{"Nr. 3: Runde 2 gelöscht", "Nr. 12: Letzte Zeit übertragen an Nr. 21",
                               "Nr. 21: Runde eingefügt", "Nr. 3: Startnummer"}));
  ASSERT_EQ(form.Corrections().Entries().size(), 4u);
  EXPECT_EQ(form.Corrections().Entries()[2].New, "3.50,3");
  EXPECT_EQ(form.Corrections().Entries()[3].Old, "3");
  EXPECT_EQ(form.Corrections().Entries()[3].New, "30");
}

TEST_F(CorrectionsFixture, UndoAndRedoByKeyAndMenuPutRidersBackAndTheCommandsFollow) {
  TFormMain& form = Open();
  At(0);
  Start("12", "Anna");
  At(20000);
  Start("21", "Ben");
  const auto started = State();
  At(70000);
  Lap("12");
  const auto lapped = State();
  // The pop-up says what it takes back.
  Select(RowOf("12"));
  Doubles().modal.AnswerPopup(QString());
  QTest::mouseClick(form.SortGrid1->viewport(), Qt::RightButton, {}, form.SortGrid1->CellRect(pcName, 1).ToQRect().center());
  EXPECT_EQ(form.mUndoPopup->text(), "Rückgängig: LAP Nr. 12");
  EXPECT_TRUE(form.mUndoPopup->isEnabled());
  EXPECT_FALSE(form.mRedoPopup->isEnabled());
  Popup("12", QStringLiteral("Rückgängig: LAP Nr. 12"));
  EXPECT_EQ(State(), started);
  // Redo with Ctrl+Y, undo with Ctrl+Z, redo with Ctrl+Shift+Z, also while the name field has
  // the focus.
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(State(), lapped);
  form.eName->setFocus();
  QTest::keyClick(form.eName, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(State(), started);
  QTest::keyClick(form.eName, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(State(), lapped);

  // Undoing a STOPP puts the finisher back on course: LAP and STOPP apply, the rider clock runs.
  for (uint32_t lap = 2; lap <= 4; ++lap) {
    At(lap * 70000);
    Lap("12");
  }
  At(350000);
  Stop("12");
  EXPECT_EQ(Cell(pcPlace, "12"), "1");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Cell(pcPlace, "12"), "-");
  EXPECT_EQ(Cell(pcLapCount, "12"), "4");
  EXPECT_EQ(form.SortGrid1->Row(), RowOf("12"));
  EXPECT_TRUE(form.mStop->isEnabled());
  EXPECT_TRUE(form.bSTOP->isEnabled());
  EXPECT_EQ(Cell(pcStartTick, "12"), TickToText(kT0));
  EXPECT_TRUE(form.mUndo->isEnabled());
  // Undoing a START takes the rider's row away; undoing the removal of a row puts it back.
  Popup("21", QStringLiteral("Zeile entfernen"));
  EXPECT_EQ(RowOf("21"), -1);
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Cell(pcName, "21"), "Ben");
  const auto benBack = State();
  const int here = form.UndoStack().index();
  while (form.UndoStack().canUndo()) Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(form.SortGrid1->RowCount(), 2);
  EXPECT_TRUE(form.mStart->isEnabled());
  while (form.UndoStack().index() < here) Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(State(), benBack);
  // One more takes the row away again.
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(RowOf("21"), -1);
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Cell(pcName, "21"), "Ben");
  // The race keys work whatever the stack holds.
  At(400000);
  Lap("21");
  EXPECT_EQ(Cell(pcLapCount, "21"), "1");
}

TEST_F(CorrectionsFixture, TheGuardRefusesADoublePressInALineAndShiftRecordsIt) {
  TFormMain& form = Open();
  At(0);
  Start("7", "Anna");
  At(60000);
  Lap("7");
  const int beeps = Doubles().sound.beeps;
  At(61200);  // 1.2 s later: a double press
  Lap("7");
  EXPECT_EQ(Cell(pcLapCount, "7"), "1");
  EXPECT_EQ(Doubles().sound.beeps, beeps + 1);
  EXPECT_TRUE(form.LabStatus->isVisible());
  EXPECT_EQ(form.LabStatus->text(), "LAP für Nr. 7 nicht gezählt: 1,2 s nach der letzten Zeit, kürzer als die "
                                    "Mindestrundenzeit von 10 s. Shift+F4 zählt ihn trotzdem.");
  EXPECT_TRUE(Doubles().modal.History().empty());  // no modal box
  // Shift records it anyway, by key and by a press on the button.
  Lap("7", Qt::ShiftModifier);
  EXPECT_EQ(Cell(pcLapCount, "7"), "2");
  Select(RowOf("7"));
  QTest::mousePress(form.bLAP, Qt::LeftButton, Qt::ShiftModifier);
  QTest::mouseRelease(form.bLAP, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(Cell(pcLapCount, "7"), "3");
  // STOPP too; the line goes after five seconds.
  Select(RowOf("7"));
  Key(Qt::Key_F9);
  EXPECT_EQ(Cell(pcLastLapTick, "7"), TickToText(kT0 + 61200));
  EXPECT_TRUE(form.LabStatus->text().startsWith("STOPP für Nr. 7 nicht gezählt: 0,0 s"));
  EXPECT_TRUE(form.LabStatus->text().endsWith("Shift+F9 zählt ihn trotzdem."));
  clock.Advance(4900);
  EXPECT_TRUE(form.LabStatus->isVisible());
  clock.Advance(200);
  EXPECT_FALSE(form.LabStatus->isVisible());
  // The first lap after the start counts from the start; 10 s and more is a lap.
  At(100000);
  Start("8", "Ben");
  At(105000);
  Lap("8");
  EXPECT_EQ(Cell(pcLapCount, "8"), "0");
  At(110000);
  Lap("8");
  EXPECT_EQ(Cell(pcLapCount, "8"), "1");
  // 0 in the settings switches the guard off.
  form.Race().SetMinimumLap(0);
  At(110100);
  Lap("8");
  EXPECT_EQ(Cell(pcLapCount, "8"), "2");
}

TEST_F(CorrectionsFixture, RefusalsAreShownWhereTheyHappenAndTheRaceGoesOn) {
  TFormMain& form = Open();
  At(0);
  Start("1", "Anna");
  At(5000);
  Start("2", "Ben");
  At(70000);
  Lap("1");
  // A start number nobody has: the question stays open and says why.
  Popup("1", QStringLiteral("Letzte Zeit übertragen an…"));
  Answer("99");
  TCorrectionDialog* dialog = form.CorrectionDialog();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->Refusal->text(), "Es gibt keinen Fahrer mit der Startnummer 99.");
  EXPECT_TRUE(dialog->Refusal->isVisible());
  // While it is open the race keys act on the window: Ben's lap is timed.
  Select(RowOf("2"));
  At(75000);
  dialog->activateWindow();
  dialog->Answer->setFocus();
  QTest::keyClick(dialog->Answer, Qt::Key_F4);
  EXPECT_EQ(Cell(pcLapCount, "2"), "1");
  EXPECT_EQ(dialog->Answer->text(), "99");
  QTest::mouseClick(dialog->CancelBtn, Qt::LeftButton);
  EXPECT_FALSE(dialog->isVisible());
  // A lap in the future, and a text that is no race time.
  Popup("1", QStringLiteral("Runde einfügen…"));
  Answer("9.00,0");
  EXPECT_EQ(dialog->Refusal->text(), "Die Zeit liegt in der Zukunft.");
  Answer("gestern");
  EXPECT_EQ(dialog->Refusal->text(), "\"gestern\" ist keine Rennzeit; bitte wie die Uhr: 1:02.03,4.");
  Answer("40,0");
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(Cell(pcLapCount, "1"), "2");
  // An edit to a start number another rider has: refused in the line, the editor stays.
  Select(RowOf("2"));
  Key(Qt::Key_F2);
  form.RiderEditor()->Number->setText("1");
  QTest::keyClick(form.RiderEditor()->Number, Qt::Key_Return);
  EXPECT_TRUE(form.RiderEditor()->IsOpen());
  EXPECT_EQ(form.LabStatus->text(), "Die Startnummer 1 hat schon Anna.");
  QTest::keyClick(form.RiderEditor()->Number, Qt::Key_Escape);
  EXPECT_FALSE(form.RiderEditor()->IsOpen());
  EXPECT_EQ(Cell(pcName, "2"), "Ben");
}

TEST_F(CorrectionsFixture, CorrectionsStayVisibleInTheRowTheFileAndTheReport) {
  TFormMain& form = Open();
  At(0);
  Start("1", "Anna");
  At(5000);
  Start("2", "Ben");
  At(70000);
  Lap("1");
  Popup("1", QStringLiteral("Letzte Zeit übertragen an…"));
  Answer("2");
  // The mark: a small corner in the number cell of the corrected rows, the text untouched.
  QCoreApplication::processEvents();
  const QImage shot = form.SortGrid1->viewport()->grab().toImage();
  const QRect ben = form.SortGrid1->CellRect(pcNumber, RowOf("2")).ToQRect();
  const QRect anna = form.SortGrid1->CellRect(pcNumber, RowOf("1")).ToQRect();
  const QColor orange = ToQColor(kCorrectionMarkColour);
  EXPECT_EQ(shot.pixelColor(ben.topLeft() + QPoint(1, 1)), orange);
  EXPECT_EQ(shot.pixelColor(anna.topLeft() + QPoint(1, 1)), orange);  // she lost a lap
  EXPECT_NE(shot.pixelColor(ben.topLeft() + QPoint(kCorrectionMark + 2, kCorrectionMark + 2)), orange);
  EXPECT_EQ(Cell(pcNumber, "2"), "2");
  At(80000);
  Start("3", "Cleo");
  const QImage later = form.SortGrid1->viewport()->grab().toImage();
  EXPECT_NE(later.pixelColor(form.SortGrid1->CellRect(pcNumber, RowOf("3")).ToQRect().topLeft() + QPoint(1, 1)), orange);

  // The report lists the corrections under the protocol.
  form.sbHTMLClick(form.sbHTML);
  QFile report("Veltrano.html");
  ASSERT_TRUE(report.open(QIODevice::ReadOnly));
  const QString page = QString::fromLatin1(report.readAll());
  const qsizetype table = page.indexOf("<P><B>Korrekturen</B></P>");
  ASSERT_GT(table, page.indexOf("</table>"));
  EXPECT_TRUE(page.contains("<tr><td>08.12.2026 10:15:00<td>Nr. 1<td>Letzte Zeit übertragen an Nr. 2<td>LAP bei 1.10,0<td>Nr. 2</tr>"))
      << page.mid(table).toStdString();

  // Closing writes the list beside the protocol file.
  program.reset();
  QFile file("Veltrano-Korrekturen.txt");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("Uhrzeit\tFahrer\t\xC4nderung\tAlt\tNeu\r\n"
                                       "08.12.2026 10:15:00\tNr. 1\tLetzte Zeit \xFC" "bertragen an Nr. 2\tLAP bei 1.10,0\tNr. 2\r\n"));
  EXPECT_TRUE(QFile::exists("Veltrano.txt"));
}

TEST_F(CorrectionsFixture, EmptyingTheProtocolForgetsMarksStepsAndList) {
  TFormMain& form = Open();
  At(0);
  Start("1", "Anna");
  At(70000);
  Lap("1");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(form.Protocol().Record(RowOf("1")).Corrected);
  EXPECT_EQ(form.Corrections().Entries().size(), 1u);
  EXPECT_EQ(form.Corrections().Entries()[0].What, "Rückgängig: LAP Nr. 1");
  Reset();
  EXPECT_TRUE(form.Corrections().IsEmpty());
  EXPECT_FALSE(form.UndoStack().canUndo());
  EXPECT_FALSE(form.UndoStack().canRedo());
  At(100000);
  Start("1", "Anna");
  EXPECT_FALSE(form.Protocol().Record(RowOf("1")).Corrected);
}

TEST_F(CorrectionsFixture, TheMenuActsOnTheRowItWasOpenedOver) {
  TFormMain& form = Open();
  At(0);
  Start("1", "Anna");
  At(1000);
  Start("2", "Ben");
  Select(RowOf("1"));
  // A right press on Ben's row, while Anna's is selected: Ben's row goes, not Anna's.
  Doubles().modal.AnswerPopup(QStringLiteral("Zeile entfernen"));
  QTest::mouseClick(form.SortGrid1->viewport(), Qt::RightButton, {},
                    form.SortGrid1->CellRect(pcName, RowOf("2")).ToQRect().center());
  EXPECT_EQ(RowOf("2"), -1);
  EXPECT_EQ(Cell(pcName, "1"), "Anna");
  // Below the last row it is the entry row, which has nothing to correct.
  Doubles().modal.AnswerPopup(QString());
  QTest::mouseClick(form.SortGrid1->viewport(), Qt::RightButton, {}, QPoint(100, form.SortGrid1->viewport()->height() - 5));
  EXPECT_EQ(form.SortGrid1->Row(), form.SortGrid1->RowCount() - 1);
  EXPECT_FALSE(form.mMoveTime->isEnabled());
  EXPECT_FALSE(form.mInsertLap->isEnabled());
  EXPECT_FALSE(form.mCut->isEnabled());
  EXPECT_FALSE(form.findChild<QAction*>("mEditRiderPopup")->isEnabled());
}

TEST_F(CorrectionsFixture, ADoubleClickEditsTheRiderInPlaceInTheColumnClicked) {
  TFormMain& form = Open();
  At(0);
  Start("1", "Anna");
  const QRect category = form.SortGrid1->CellRect(pcCategory, RowOf("1")).ToQRect();
  QTest::mouseDClick(form.SortGrid1->viewport(), Qt::LeftButton, {}, category.center());
  ASSERT_TRUE(form.RiderEditor()->IsOpen());
  EXPECT_TRUE(form.RiderEditor()->Category->hasFocus() || form.RiderEditor()->Category->lineEdit()->hasFocus());
  EXPECT_EQ(form.RiderEditor()->Name->text(), "Anna");
  // It lies over the row's cells.
  EXPECT_TRUE(form.RiderEditor()->geometry().intersects(category));
  form.RiderEditor()->Category->setEditText("F");
  QTest::keyClick(form.RiderEditor()->Category->lineEdit(), Qt::Key_Return);
  EXPECT_FALSE(form.RiderEditor()->IsOpen());
  EXPECT_EQ(Cell(pcCategory, "1"), "F");
  // Leaving the row takes the values too.
  QTest::mouseDClick(form.SortGrid1->viewport(), Qt::LeftButton, {}, category.center());
  form.RiderEditor()->Category->setEditText("M");
  form.eName->setFocus();
  EXPECT_SOON(!form.RiderEditor()->IsOpen());
  EXPECT_EQ(Cell(pcCategory, "1"), "M");
  // An entry row has nothing to edit.
  QTest::mouseDClick(form.SortGrid1->viewport(), Qt::LeftButton, {},
                     form.SortGrid1->CellRect(pcName, form.SortGrid1->RowCount() - 1).ToQRect().center());
  EXPECT_FALSE(form.RiderEditor()->IsOpen());
}

// A correction refused or changing nothing is no step: the step taken back before it can still
// be done again, however the attempt ends.
TEST_F(CorrectionsFixture, WhatChangesNothingKeepsTheStepToDoAgain) {
  TFormMain& form = Open();
  for (uint32_t nr = 1; nr <= 3; ++nr) {
    At(nr * 1000);
    Start(QString::number(nr), QStringList{"Anna", "Ben", "Cleo"}[nr - 1]);
  }
  for (uint32_t lap = 1; lap <= 5; ++lap) {
    At(3000 + lap * 11000);
    lap < 5 ? Lap("3") : Stop("3");  // a finisher: the headers sort
  }
  At(70000);
  Lap("1");
  Key(Qt::Key_Z, Qt::ControlModifier);
  const auto before = State();
  TCorrectionDialog* dialog = form.CorrectionDialog();
  auto editBen = [&](const QString& number, auto leave) {
    Select(RowOf("2"));
    Key(Qt::Key_F2);
    form.RiderEditor()->Number->setText(number);
    leave();
    EXPECT_SOON(!form.RiderEditor()->IsOpen());
  };
  auto enter = [&] { QTest::keyClick(form.RiderEditor()->Number, Qt::Key_Return); };
  auto ask = [&](const QString& number, const QString& item, const QString& answer) {
    Popup(number, item);
    Answer(answer);
    QTest::mouseClick(dialog->CancelBtn, Qt::LeftButton);
  };
  const std::vector<std::pair<const char*, std::function<void()>>> attempts{
      {"a time moved to nobody", [&] { ask("3", QStringLiteral("Letzte Zeit übertragen an…"), "99"); }},
      {"a lap in the future", [&] { ask("2", QStringLiteral("Runde einfügen…"), "9.00,0"); }},
      {"a number another rider has",
       [&] { editBen("1", [&] { enter(); QTest::keyClick(form.RiderEditor()->Number, Qt::Key_Escape); }); }},
      {"Enter, nothing changed", [&] { editBen("02", enter); }},
      {"a click elsewhere", [&] { editBen("2", [&] { Select(RowOf("1")); }); }},
      {"a header sort that moves no row",
       [&] { QTest::mouseClick(form.SortGrid1->viewport(), Qt::LeftButton, {}, form.SortGrid1->CellRect(pcTime, 0).ToQRect().center()); }},
  };
  for (const auto& [what, attempt] : attempts) {
    attempt();
    EXPECT_EQ(State(), before) << what;
    EXPECT_TRUE(form.UndoStack().canRedo()) << what;
  }
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(Cell(pcLapCount, "1"), "1");
}

// "021" is rider 21 in the question of a moved time, as at START.
TEST_F(CorrectionsFixture, AStartNumberWithLeadingZerosIsTheRiderOfThatNumber) {
  TFormMain& form = Open();
  Start("021", "Anna");
  Start("7", "Ben");
  At(70000);
  Lap("7");
  Popup("7", QStringLiteral("Letzte Zeit übertragen an…"));
  Answer(" 021 ");
  ASSERT_FALSE(form.CorrectionDialog()->isVisible()) << form.CorrectionDialog()->Refusal->text().toStdString();
  EXPECT_EQ(Cell(pcLapCount, "21"), "1");
  EXPECT_EQ(form.mUndoPopup->text(), "Rückgängig: Zeit von Nr. 7 an Nr. 21");
}

// The guard's age never reads as reaching the minimum, and only no age reads as none.
TEST_F(CorrectionsFixture, TheGuardsLineNeverReadsAsReachingTheMinimum) {
  TFormMain& form = Open();
  Start("7", "Anna");
  for (const auto& [age, shown] : std::vector<std::pair<uint32_t, const char*>>{{40, "0,04"}, {9950, "9,9"}, {9999, "9,9"}}) {
    At(age);
    Lap("7");
    EXPECT_TRUE(form.LabStatus->text().startsWith(QStringLiteral("LAP für Nr. 7 nicht gezählt: %1 s nach").arg(shown)))
        << form.LabStatus->text().toStdString();
  }
}

// A lap typed as the protocol shows a press of the rider (or 50 ms from one) is that press; the
// clock's time the question proposes is now, even rounded up.
TEST_F(CorrectionsFixture, ALapIsInsertedOnlyWhereOneCanBe) {
  TFormMain& form = Open();
  Start("1", "Anna");
  At(62040);
  Lap("1");
  At(124050);
  Lap("1");
  At(199960);
  for (const auto& [typed, refusal] : std::vector<std::pair<const char*, const char*>>{
           {"1.02,0", "Die Zeit 1.02,0 fällt auf eine Zeit von Nr. 1: Runde 1 bei 1.02,0."},
           {"0,0", "Die Zeit 0,0 fällt auf eine Zeit von Nr. 1: START bei 0,0."},
           {"2.04,1", "Die Zeit 2.04,1 fällt auf eine Zeit von Nr. 1: Runde 2 bei 2.04,0."},
           {"3.20,0", ""}}) {
    Popup("1", QStringLiteral("Runde einfügen…"));
    Answer(typed);
    EXPECT_EQ(form.CorrectionDialog()->isVisible() ? form.CorrectionDialog()->Refusal->text() : QString(), refusal);
    if (form.CorrectionDialog()->isVisible()) QTest::mouseClick(form.CorrectionDialog()->CancelBtn, Qt::LeftButton);
  }
  EXPECT_EQ(Cell(pcLapCount, "1"), "3");
}
