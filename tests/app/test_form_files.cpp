// The window's file commands through its controls: save, web page and print, the participant
// list and the category list.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include "app/FMain.h"
#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "platform/KeyStore.h"
#include "platform/LocalTime.h"
#include "platform/LocaleFormats.h"
#include "widgets/ButtonWithColor.h"
#include "widgets/LbSpeedButton.h"

namespace {

using testing_doubles::Doubles;


void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

struct FormFiles : ProgramFixture {
  QDateTime now{QDate(2026, 12, 7), QTime(22, 41, 30)};

  void SetUp() override {
    QFile::remove(platform::KeyStore::DefaultPath());
    QFile::remove("Veltrano.txt");
    QFile::remove("Veltrano.html");
    QDir("Veltrano.html").removeRecursively();
    WriteBytes("Kategorie.txt", "Elite\r\nJunioren\r\nDamen\r\n");
    platform::PinFormatLocale(QLocale(QLocale::German, QLocale::Germany));
    platform::SetNowSource([this] { return now; });
    Doubles().clock.Set(1000000);
  }
  void TearDown() override {
    program.reset();
    platform::SetNowSource({});
    platform::PinFormatLocale(std::nullopt);
  }

  QString Cell(int col, int row) { return Form().SortGrid1->Cells(col, row); }

  static void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(5, 5)); }

  // Starts riders by F5 with the entry fields as they are.
  void StartRiders(int count) {
    for (int i = 0; i < count; ++i) {
      QTest::keyClick(&Form(), Qt::Key_F5);
      Doubles().clock.Advance(1000);
    }
  }

  // Loads a participant file through the load button and its open dialog.
  void LoadList(const QString& path) {
    Doubles().fileDialogs.Answer(QFileInfo(path).absoluteFilePath());
    Click(Form().bDB);
  }
  void LoadList(const char* name, const QByteArray& bytes) {
    WriteBytes(name, bytes);
    LoadList(QString(name));
  }

  QString Counter() { return Form().LabelBase->text(); }
  QString Fields() {
    return Form().cbStartN->currentText() + "|" + Form().eName->text() + "|" + Form().cbPol->currentText();
  }

  // Opens the start-number list and picks item index with the mouse, as the operator does.
  void PickStartNumber(int index) {
    QComboBox* combo = Form().cbStartN;
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(view->isVisible());
    const QModelIndex item = combo->model()->index(index, 0);
    view->scrollTo(item);
    const QPoint at = view->visualRect(item).center();
    QTest::mouseMove(view->viewport(), at);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QCoreApplication::processEvents();
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Start-up: categories and the save dialog

TEST_F(FormFiles, CategoriesComeFromTheFileAndTheFirstIsSelected) {
  TFormMain& form = Open();
  ASSERT_EQ(form.cbPol->count(), 3);
  EXPECT_EQ(form.cbPol->itemText(2), "Damen");
  EXPECT_EQ(form.cbPol->currentText(), "Elite");
  EXPECT_TRUE(Doubles().modal.History().empty());
}

TEST_F(FormFiles, MissingCategoryFileIsReportedAndTheWindowStillWorks) {
  QFile::remove("Kategorie.txt");
  Doubles().modal.AnswerMessage(mrOk);
  TFormMain& form = Open();
  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_EQ(Doubles().modal.History()[0].text,
            "Die Datei \"Kategorie.txt\" kann nicht geöffnet werden. Sie wurde nicht gefunden.");
  EXPECT_EQ(Doubles().modal.History()[0].icon, MsgIcon::Error);
  // The design items stay; the later set-up steps ran.
  EXPECT_EQ(form.cbPol->count(), 2);
  EXPECT_EQ(form.cbPol->currentText(), "M");
  EXPECT_EQ(Cell(11, 0), "Zeit");
  EXPECT_TRUE(form.bSTART->isEnabled());
}

TEST_F(FormFiles, EmptyCategoryFileGivesNoCategories) {
  WriteBytes("Kategorie.txt", "");
  TFormMain& form = Open();
  EXPECT_EQ(form.cbPol->count(), 0);
  EXPECT_EQ(form.cbPol->currentIndex(), -1);
  form.eName->setText("Anna");
  StartRiders(1);
  EXPECT_EQ(Cell(2, 1), "Anna");
  EXPECT_EQ(Cell(3, 1), "");
}

TEST_F(FormFiles, SaveDialogOpensOnHtmlWithTheTimestampAndKeepsTheChoice) {
  QFile::remove("2026-12-07-22-41");
  TFormMain& form = Open();
  EXPECT_FALSE(form.sbSave->isEnabled());
  form.eName->setText(QString::fromUtf8("Jörg"));
  StartRiders(2);
  ASSERT_TRUE(form.sbSave->isEnabled());

  // Cancelled: nothing written.
  Doubles().fileDialogs.Answer("");
  Click(form.sbSave);
  ASSERT_EQ(Doubles().fileDialogs.requests.size(), 1u);
  const platform::FileDialogRequest& first = Doubles().fileDialogs.requests[0];
  EXPECT_EQ(first.filterIndex, 2);
  EXPECT_EQ(first.fileName, "2026-12-07-22-41");
  EXPECT_EQ(first.initialDir, QCoreApplication::applicationDirPath());
  const QStringList filter = first.filter.split('|');
  ASSERT_EQ(filter.size(), 6);
  EXPECT_TRUE(filter[0].endsWith(" (*.csv)"));
  EXPECT_EQ(filter[1], "*.csv");
  EXPECT_EQ(filter[3], "*.html");
  EXPECT_EQ(filter[5], "*.txt");
  EXPECT_FALSE(QFileInfo::exists("2026-12-07-22-41"));

  // The default name confirmed as text: no extension added; Modified untouched.
  ASSERT_TRUE(form.SortGrid1->Modified());
  Doubles().fileDialogs.Answer(QDir::current().filePath("2026-12-07-22-41"), 3);
  Click(form.sbSave);
  const QByteArray text = ReadBytes("2026-12-07-22-41");
  EXPECT_TRUE(text.startsWith("Platz\tNr.\tName\tKat\t"));
  EXPECT_TRUE(text.contains("\tJ\xF6rg\t"));
  EXPECT_TRUE(form.SortGrid1->Modified());

  // The next opening starts on the type chosen last; CSV goes through the grid's writer.
  Doubles().fileDialogs.Answer(QDir::current().filePath("out.csv"), 1);
  Click(form.sbSave);
  EXPECT_EQ(Doubles().fileDialogs.requests[2].filterIndex, 3);
  EXPECT_TRUE(ReadBytes("out.csv").startsWith("Platz;Nr.;Name;Kat;"));

  // The last choice is stored at shut-down and comes back with the next window.
  program.reset();
  platform::KeyStore store;
  ASSERT_TRUE(store.OpenKey("\\Software\\Veltrano", false));
  EXPECT_EQ(store.ReadInteger("FilterInd"), 1);
  store.CloseKey();
  Open();
  EXPECT_EQ(Form().SaveDialog1.FilterIndex, 1);
}

// ---------------------------------------------------------------------------------------------
// Web page and print

TEST_F(FormFiles, WebPageOpensAndPrintPrintsTheFixedReport) {
  TFormMain& form = Open();
  form.eName->setText("<Tom & Jerry>");
  StartRiders(2);
  Click(form.sbHTML);
  ASSERT_EQ(Doubles().shell.calls.size(), 1u);
  EXPECT_EQ(Doubles().shell.calls[0].verb, "open");
  EXPECT_EQ(Doubles().shell.calls[0].target, "Veltrano.html");
  const QByteArray page = ReadBytes("Veltrano.html");
  EXPECT_TRUE(page.contains("<td>&lt;Tom &amp; Jerry&gt;<td>Elite"));
  EXPECT_TRUE(page.endsWith("</body></html>\r\n"));

  ASSERT_TRUE(form.sbPrint->isEnabled());
  Click(form.sbPrint);
  ASSERT_EQ(Doubles().shell.calls.size(), 2u);
  EXPECT_EQ(Doubles().shell.calls[1].verb, "print");
  EXPECT_TRUE(form.SortGrid1->Modified());
}

TEST_F(FormFiles, AltDPrintsInAnyState) {
  Doubles().printers.hasPrinter = false;
  TFormMain& form = Open();
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  EXPECT_FALSE(form.sbPrint->isEnabled());
  form.eName->setFocus();
  QTest::keyClick(form.eName, Qt::Key_D, Qt::AltModifier);
  ASSERT_EQ(Doubles().shell.calls.size(), 1u);
  EXPECT_EQ(Doubles().shell.calls[0].verb, "print");
  EXPECT_EQ(form.eName->text(), "");
  // The empty protocol's page: one body row of twelve empty cells.
  EXPECT_TRUE(ReadBytes("Veltrano.html")
                  .contains("</tr></thead>\r\n<tr><td><td><td><td><td><td><td><td><td><td><td><td></tr>\r\n</table>"));

  // Also while a race runs.
  StartRiders(1);
  QTest::keyClick(&form, Qt::Key_D, Qt::AltModifier);
  EXPECT_EQ(Doubles().shell.calls.size(), 2u);
}

TEST_F(FormFiles, ReportThatCannotBeWrittenIsNeitherOpenedNorPrinted) {
  TFormMain& form = Open();
  StartRiders(2);
  ASSERT_TRUE(QDir().mkdir("Veltrano.html"));  // something in the report's place
  Doubles().modal.AnswerMessage(mrOk);
  Click(form.sbHTML);
  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_EQ(Doubles().modal.History()[0].text, "Der Schreibfehler der Datei: Veltrano.html");
  EXPECT_TRUE(Doubles().shell.calls.empty());
}

// ---------------------------------------------------------------------------------------------
// Participant list

TEST_F(FormFiles, HeaderLineSetsTheTitlesAndTheListIsSteppedThrough) {
  TFormMain& form = Open();
  const bool modifiedBefore = form.SortGrid1->Modified();
  LoadList("teilnehmer.txt", "Nr.\tName\tKat\r\n1\tAnna Alt\tDamen\r\n2\tBert Bunt\tElite\r\n3\tCarl Clou\tJunioren\r\n");
  const auto& request = Doubles().fileDialogs.requests.back();
  EXPECT_EQ(request.filter, " (Tabstopp-getrennt) (*.txt)|*.txt");
  EXPECT_EQ(Cell(1, 0), "Nr.");
  EXPECT_EQ(Cell(2, 0), "Name");
  EXPECT_EQ(Cell(3, 0), "Kat");
  EXPECT_EQ(Counter(), "1 von 3");
  EXPECT_TRUE(form.LabelBase->isEnabled());
  EXPECT_FALSE(form.sb1m->isEnabled());
  EXPECT_TRUE(form.sb1p->isEnabled());
  EXPECT_EQ(Fields(), "1|Anna Alt|Damen");
  ASSERT_EQ(form.cbStartN->count(), 3);
  EXPECT_EQ(form.cbStartN->itemText(2), "3");
  EXPECT_EQ(form.SortGrid1->Modified(), modifiedBefore);  // new titles are no change of the race

  Click(form.sb1p);
  Click(form.sb1p);
  EXPECT_EQ(Counter(), "3 von 3");
  EXPECT_EQ(Fields(), "3|Carl Clou|Junioren");
  EXPECT_FALSE(form.sb1p->isEnabled());
  EXPECT_TRUE(form.sb1m->isEnabled());
  Click(form.sb1m);
  EXPECT_EQ(Counter(), "2 von 3");
  EXPECT_EQ(Fields(), "2|Bert Bunt|Elite");

  // The drop-down picks a rider; START takes the shown rider and moves the list on.
  PickStartNumber(0);
  EXPECT_EQ(Counter(), "1 von 3");
  EXPECT_EQ(Fields(), "1|Anna Alt|Damen");
  StartRiders(1);
  EXPECT_EQ(Cell(2, 1), "Anna Alt");
  EXPECT_EQ(Cell(3, 1), "Damen");
  EXPECT_EQ(Counter(), "2 von 3");
  EXPECT_EQ(Fields(), "2|Bert Bunt|Elite");
  EXPECT_FALSE(form.bDB->isEnabled());

  // The titles go into the saved files.
  Doubles().fileDialogs.Answer(QDir::current().filePath("p.txt"), 3);
  StartRiders(1);
  Click(form.sbSave);
  EXPECT_TRUE(ReadBytes("p.txt").startsWith("Platz\tNr.\tName\tKat\tLap5"));
}

TEST_F(FormFiles, WithoutHeaderTheFirstRiderNamesTheColumnsAndStays) {
  TFormMain& form = Open();
  LoadList("ohne.txt", "12\tMeier\tElite\r\n13\tSchulz\tDamen\r\n");
  EXPECT_EQ(Cell(1, 0), "12");
  EXPECT_EQ(Cell(2, 0), "Meier");
  EXPECT_EQ(Cell(3, 0), "Elite");
  EXPECT_EQ(Counter(), "1 von 2");
  EXPECT_EQ(Fields(), "12|Meier|Elite");
  EXPECT_EQ(form.cbStartN->count(), 2);
}

TEST_F(FormFiles, EmptyFileLeavesEverythingButTheButtons) {
  TFormMain& form = Open();
  form.cbStartN->setEditText("77");
  form.eName->setText("Vorher");
  LoadList("leer.txt", "");
  EXPECT_EQ(Counter(), "0 von 0");
  EXPECT_FALSE(form.LabelBase->isEnabled());
  EXPECT_FALSE(form.sb1m->isEnabled());
  EXPECT_FALSE(form.sb1p->isEnabled());
  EXPECT_EQ(Fields(), "77|Vorher|Elite");
  EXPECT_EQ(Cell(1, 0), "Nr.");
  EXPECT_EQ(form.cbStartN->count(), 0);

  // An empty list after a full one shows no stale counter.
  LoadList("zwei.txt", "1\tA\r\n2\tB\r\n");
  EXPECT_EQ(Counter(), "1 von 2");
  LoadList("leer.txt", "");
  EXPECT_EQ(Counter(), "0 von 0");
  EXPECT_FALSE(form.sb1p->isEnabled());
}

TEST_F(FormFiles, OneLineKeepsTheNavigationOff) {
  TFormMain& form = Open();
  LoadList("eins.txt", "5\tEva\tDamen");
  EXPECT_EQ(Counter(), "1 von 1");
  EXPECT_FALSE(form.LabelBase->isEnabled());
  EXPECT_FALSE(form.sb1m->isEnabled());
  EXPECT_FALSE(form.sb1p->isEnabled());
  EXPECT_EQ(Fields(), "5|Eva|Damen");
}

TEST_F(FormFiles, EmptyLinesGoButAnEmptyFirstLineIsCounted) {
  TFormMain& form = Open();
  LoadList("luecken.txt", "1\tAnna\r\n\r\n\n2\tBert\r\n\r\n");
  EXPECT_EQ(Counter(), "1 von 2");
  Click(form.sb1p);
  EXPECT_EQ(Fields(), "2|Bert|Elite");

  form.cbStartN->setEditText("9");
  LoadList("vorne.txt", "\r\n1\tAnna\r\n2\tBert\r\n");
  EXPECT_EQ(Counter(), "1 von 3");
  // The empty first line is a participant without fields; the titles stay as the list before
  // left them.
  EXPECT_EQ(Fields(), "||Elite");
  EXPECT_EQ(Cell(2, 0), "Anna");
  Click(form.sb1p);
  EXPECT_EQ(Fields(), "1|Anna|Elite");
}

TEST_F(FormFiles, UnknownCategoryKeepsTheSelectionAndCaseIsIgnored) {
  TFormMain& form = Open();
  form.cbPol->setCurrentIndex(2);
  LoadList("kat.txt", "1\tAnna\tSenioren\r\n2\tBert\tjUNIOREN\r\n3\tCarl\r\n");
  EXPECT_EQ(Fields(), "1|Anna|Damen");
  Click(form.sb1p);
  EXPECT_EQ(Fields(), "2|Bert|Junioren");
  Click(form.sb1p);
  EXPECT_EQ(Fields(), "3|Carl|Junioren");
}

TEST_F(FormFiles, LoadingTwiceDoublesTheDropDownAndAChoiceBeyondTheListSelectsNobody) {
  TFormMain& form = Open();
  LoadList("l.txt", "1\tAnna\tDamen\r\n2\tBert\tElite\r\n3\tCarl\tElite\r\n");
  Click(form.sb1p);
  LoadList(QString("l.txt"));
  ASSERT_EQ(form.cbStartN->count(), 6);
  EXPECT_EQ(Counter(), "1 von 3");

  PickStartNumber(4);  // a second "2"
  EXPECT_EQ(Counter(), "0 von 3");
  EXPECT_EQ(Fields(), "2|Anna|Damen");  // the picked number shows, the fields stay
  EXPECT_FALSE(form.sb1m->isEnabled());
  EXPECT_TRUE(form.sb1p->isEnabled());
  Click(form.sb1p);
  EXPECT_EQ(Counter(), "1 von 3");
  EXPECT_EQ(Fields(), "1|Anna|Damen");

  PickStartNumber(2);
  EXPECT_EQ(Counter(), "3 von 3");
  EXPECT_EQ(Fields(), "3|Carl|Elite");

  // Closing the list without a choice keeps the rider the typed number names.
  form.cbStartN->showPopup();
  QTest::keyClick(form.cbStartN->view(), Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_EQ(Counter(), "3 von 3");
  // Typed with a leading zero, as START reads it.
  form.cbStartN->setEditText("02");
  form.cbStartN->showPopup();
  QTest::keyClick(form.cbStartN->view(), Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_EQ(Counter(), "2 von 3");

  // The race reset empties the drop-down; the list stays loaded.
  StartRiders(1);
  QTest::mouseClick(form.bEnd, Qt::LeftButton);
  Doubles().modal.AnswerDialog(mrYes);
  QTest::keyClick(form.bRESET, Qt::Key_Space);
  EXPECT_EQ(form.cbStartN->count(), 0);
  EXPECT_EQ(form.DataBase.Count(), 3);
  EXPECT_TRUE(form.bDB->isEnabled());
}

TEST_F(FormFiles, RiderAlreadyInTheProtocolIsSelectedThere) {
  TFormMain& form = Open();
  LoadList("l.txt", "1\tAnna\tDamen\r\n2\tBert\tElite\r\n3\tCarl\tElite\r\n");
  StartRiders(2);  // Anna and Bert ride; Carl is shown next
  EXPECT_EQ(Fields(), "3|Carl|Elite");
  EXPECT_EQ(form.SortGrid1->Row(), 3);
  EXPECT_FALSE(form.bLAP->isEnabled());

  Click(form.sb1m);
  EXPECT_EQ(Counter(), "2 von 3");
  EXPECT_EQ(form.SortGrid1->Row(), 2);
  EXPECT_EQ(form.SortGrid1->Selection().Left, 0);
  EXPECT_EQ(form.SortGrid1->Selection().Right, 13);
  EXPECT_TRUE(form.bLAP->isEnabled());
  EXPECT_FALSE(form.bSTART->isEnabled());
  EXPECT_EQ(Fields(), "2|Bert|Elite");
}

TEST_F(FormFiles, RiderWithoutNameDoesNotSelectTheEntryRow) {
  TFormMain& form = Open();
  LoadList("n.txt", "41\r\n42\tZoe\r\n");
  EXPECT_EQ(Fields(), "41||Elite");
  EXPECT_EQ(form.SortGrid1->Row(), 1);
}

TEST_F(FormFiles, UmlautsReadFromUtf8AndFromWindows1252) {
  Open();
  LoadList("utf8.txt", "7\tJ\xC3\xB6rg Wei\xC3\x9F\tElite\r\n");
  EXPECT_EQ(Fields(), QString::fromUtf8("7|Jörg Weiß|Elite"));
  LoadList("ansi.txt", "8\tM\xFCller-L\xFC" "densch\xE9\tDamen\r\n");
  EXPECT_EQ(Fields(), QString::fromUtf8("8|Müller-Lüdensché|Damen"));
}

TEST_F(FormFiles, UnreadableOrCancelledLoadKeepsTheList) {
  TFormMain& form = Open();
  LoadList("l.txt", "1\tAnna\r\n2\tBert\r\n");
  Click(form.sb1p);

  Doubles().fileDialogs.Answer("");
  Click(form.bDB);
  Doubles().modal.AnswerMessage(mrOk);
  LoadList(QDir::current().filePath("fehlt.txt"));
  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_TRUE(Doubles().modal.History()[0].text.startsWith("Die Datei \""));
  EXPECT_EQ(Counter(), "2 von 2");
  EXPECT_EQ(form.DataBase.Count(), 2);
  EXPECT_EQ(form.cbStartN->count(), 2);

  // A name typed without extension finds the ".txt" file.
  WriteBytes("liste.txt", "9\tIda\r\n");
  LoadList(QDir::current().filePath("liste"));
  EXPECT_EQ(Fields(), "9|Ida|Elite");
}

TEST_F(FormFiles, TypingAStartNumberOpensTheChoicesAndKeepsWhatWasTyped) {
  TFormMain& form = Open();
  LoadList("l.txt", "12\tAnna\r\n13\tBert\r\n21\tCarl\r\n");
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  form.cbStartN->setFocus();
  form.cbStartN->lineEdit()->selectAll();
  QTest::keyClicks(form.cbStartN->lineEdit(), "1");
  ASSERT_TRUE(form.cbStartN->completer()->popup()->isVisible());
  EXPECT_EQ(form.cbStartN->completer()->completionCount(), 2);
  // Not completed in place: START would record 1, as typed.
  EXPECT_EQ(form.cbStartN->currentText(), "1");

  // Taking the second choice picks that rider.
  QAbstractItemView* popup = form.cbStartN->completer()->popup();
  QTest::keyClick(popup, Qt::Key_Down);
  QTest::keyClick(popup, Qt::Key_Down);
  QTest::keyClick(popup, Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(Counter(), "2 von 3");
  EXPECT_EQ(Fields(), "13|Bert|Elite");
}
