// The busy line through the window: digits typed go to the number field unless a text field is
// being edited, Enter takes the pass or an open time, the keypad's "+" takes one from anywhere,
// the marked open time is numbered or dropped, the riders expected take a press, and a crash
// keeps the open times.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "grid/SortGrid.h"
#include "platform/KeyStore.h"
#include "race/Protocol.h"
#include "race/TimeText.h"
#include "widgets/ButtonWithColor.h"
#include "widgets/ExpectedList.h"
#include "widgets/OpenTimesList.h"

namespace {

using testing_doubles::Doubles;

struct BusyLine : ProgramFixture {
  uint32_t raceStart = 0;

  void SetUp() override {
    for (const QString& name : QDir().entryList({"*.journal", "Veltrano*.txt"})) QFile::remove(name);
    QFile::remove(platform::KeyStore::DefaultPath());
    QFile categories("Kategorie.txt");
    if (categories.open(QIODevice::WriteOnly)) categories.write("M\r\n");
    Doubles().clock.Set(1000000);
  }
  void TearDown() override {
    program.reset();
    for (const QString& name : QDir().entryList({"*.journal"})) QFile::remove(name);
  }
  // Opens the window with its journal and starts riders 1 to 4, a second apart.
  TFormMain& OpenRace() {
    TFormMain& form = Open();
    form.StartJournal();
    raceStart = Doubles().clock.Now();
    for (const char* nr : {"1", "2", "3", "4"}) {
      form.cbStartN->setEditText(nr);
      QTest::keyClick(form.SortGrid1, Qt::Key_F5);
      Later(1000);
    }
    return form;
  }
  static void Later(uint32_t ms) { Doubles().clock.Advance(ms); }
  static uint32_t Now() { return Doubles().clock.Now(); }
  std::vector<uint32_t> Presses(const QString& nr) {
    return Form().Protocol().RowTimes(Form().Protocol().RowOfNumber(nr))->Presses;
  }
  QStringList OpenLines() {
    QStringList lines;
    for (const TOpenTimeLine& line : Form().ListOpenTimes->Lines()) lines << (line.Marked ? ">" : "") + line.Text;
    return lines;
  }
  void Type(QWidget* where, const char* keys) { QTest::keyClicks(where, keys); }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  }
};

TEST_F(BusyLine, NumbersAndOpenTimesFromTheKeyboard) {
  TFormMain& form = OpenRace();
  Later(60000);

  // From a button, digits go to the number field; the riders expected follow them; Enter is
  // the pass, at the key.
  form.bSTART->setFocus();
  Type(form.bSTART, "2");
  EXPECT_EQ(QApplication::focusWidget(), form.eNumber);
  ASSERT_EQ(form.ExpectedList->Lines().size(), 1u);
  EXPECT_EQ(form.ExpectedList->Lines()[0].Number, "2");
  const uint32_t lap2 = Now();
  Key(Qt::Key_Return);
  EXPECT_EQ(Presses("2"), std::vector<uint32_t>{lap2});
  EXPECT_TRUE(form.eNumber->text().isEmpty());
  EXPECT_EQ(form.ExpectedList->Lines().size(), 4u);  // the filter gone with the number

  // The entry field for the next START keeps its digits; the keypad's "+" takes an open time
  // from there, Enter with nothing typed another.
  form.cbStartN->setFocus();
  form.cbStartN->setEditText("");
  Type(form.cbStartN->lineEdit(), "5");
  EXPECT_EQ(form.cbStartN->currentText(), "5");
  Later(1500);
  const uint32_t first = Now();
  QTest::keyClick(form.cbStartN->lineEdit(), Qt::Key_Plus, Qt::KeypadModifier);
  Later(700);
  form.eNumber->setFocus();
  Key(Qt::Key_Enter, Qt::KeypadModifier);
  ASSERT_EQ(form.Session().OpenTimes().Times().size(), 2u);
  EXPECT_EQ(OpenLines(), (QStringList{">" + FormatDuration(TickDiff(first, raceStart)), FormatDuration(TickDiff(first + 700, raceStart))}));
  EXPECT_TRUE(form.ListOpenTimes->isVisible());

  // Down marks the second: it goes to rider 3, the first to rider 4; nobody else changed.
  Key(Qt::Key_Down);
  Type(form.eNumber, "3");
  Key(Qt::Key_Return);
  Type(form.eNumber, "04");
  Key(Qt::Key_Return);
  EXPECT_EQ(Presses("3"), std::vector<uint32_t>{first + 700});
  EXPECT_EQ(Presses("4"), std::vector<uint32_t>{first});
  EXPECT_EQ(Presses("1"), std::vector<uint32_t>{});
  EXPECT_EQ(Presses("2"), std::vector<uint32_t>{lap2});
  EXPECT_FALSE(form.ListOpenTimes->isVisible());

  // A number that names nobody on course keeps the instant as an open time, noted; Delete in
  // the empty field drops it, listed as a correction; Ctrl+Z brings it back.
  Type(form.eNumber, "77");
  Key(Qt::Key_Return);
  EXPECT_TRUE(form.eNumber->text().isEmpty());
  EXPECT_TRUE(form.LabStatus->text().startsWith("Nr. 77: kein Fahrer")) << form.LabStatus->text().toStdString();
  ASSERT_EQ(form.Session().OpenTimes().Times().size(), 1u);
  EXPECT_EQ(form.Session().OpenTimes().Times()[0].Number, "77");
  Key(Qt::Key_Delete);
  EXPECT_TRUE(form.Session().OpenTimes().Empty());
  EXPECT_EQ(form.Corrections().Entries().back().What, "Offene Zeit gelöscht");
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(form.Session().OpenTimes().Times().size(), 1u);
  // A number refused for the marked time stays in the field, to be corrected.
  Type(form.eNumber, "99");
  Key(Qt::Key_Return);
  EXPECT_EQ(form.eNumber->text(), "99");
  EXPECT_EQ(form.Session().OpenTimes().Times().size(), 1u);
}

TEST_F(BusyLine, APressOnARiderExpectedIsHisPassAndACrashKeepsTheOpenTimes) {
  QByteArray journal;
  std::vector<uint32_t> ticks;
  {
    TFormMain& form = OpenRace();
    Later(50000);
    // Rider 1 is expected first; a press on his line is his lap.
    ASSERT_FALSE(form.ExpectedList->Lines().empty());
    EXPECT_EQ(form.ExpectedList->Lines()[0].Number, "1");
    const uint32_t lap = Now();
    QTest::mousePress(form.ExpectedList, Qt::LeftButton, {}, form.ExpectedList->LineRect(0).center());
    EXPECT_EQ(Presses("1"), std::vector<uint32_t>{lap});
    // Three taps; then the crash.
    for (int k = 0; k < 3; ++k) {
      Later(400);
      ticks.push_back(Now());
      QTest::keyClick(form.SortGrid1, Qt::Key_Plus, Qt::KeypadModifier);
    }
    QFile file("Veltrano.journal");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    journal = file.readAll();
  }
  QFile file("Veltrano.journal");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(journal);
  file.close();

  TFormMain& form = Open();
  Doubles().modal.AnswerDialog(mrYes);
  form.StartJournal();
  std::vector<uint32_t> restored;
  for (const TOpenTime& time : form.Session().OpenTimes().Times()) restored.push_back(time.Tick);
  EXPECT_EQ(restored, ticks);
  EXPECT_EQ(form.ListOpenTimes->Lines().size(), 3u);
  for (const char* nr : {"3", "2", "4"}) {
    Type(form.eNumber, nr);
    QTest::keyClick(form.eNumber, Qt::Key_Return);
  }
  EXPECT_EQ(Presses("3"), std::vector<uint32_t>{ticks[0]});
  EXPECT_EQ(Presses("2"), std::vector<uint32_t>{ticks[1]});
  EXPECT_EQ(Presses("4"), std::vector<uint32_t>{ticks[2]});
}

}  // namespace
