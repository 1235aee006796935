// A race from a participant list through the window: however the selection comes back to the
// entry row, it shows the rider the list counts ("k von n"), and START takes him.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>
#include <functional>
#include <map>

#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "grid/SortGrid.h"
#include "platform/KeyStore.h"
#include "race/Protocol.h"
#include "widgets/LbSpeedButton.h"

namespace {

using testing_doubles::Doubles;

struct ParticipantStart : ProgramFixture {
  std::vector<std::string> riders;  // "number|name|category", in list order

  void SetUp() override { Clean(); }
  void TearDown() override {
    program.reset();
    Clean();
  }
  static void Clean() {
    for (const QString& name : QDir().entryList({"*.journal", "Veltrano*.txt", "liste.txt"})) QFile::remove(name);
    QFile::remove(platform::KeyStore::DefaultPath());
    QFile categories("Kategorie.txt");
    if (categories.open(QIODevice::WriteOnly)) categories.write("M\r\nF\r\n");
  }
  TFormMain& OpenWithList(const std::vector<std::string>& list) {
    riders = list;
    QFile file("liste.txt");
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    for (const std::string& rider : list) file.write(QByteArray::fromStdString(rider).replace('|', '\t') + "\r\n");
    file.close();
    Open();
    Doubles().fileDialogs.Answer(QFileInfo(file).absoluteFilePath());
    Click(Form().bDB);
    return Form();
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    Doubles().clock.Advance(11'000);  // beyond the double-press guard
    QTest::keyClick(Form().SortGrid1, key, modifiers);
  }
  static void Click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton, QPoint at = {5, 5}) {
    QTest::mouseClick(widget, button, {}, at);
  }
  void ClickRow(int32_t row, Qt::MouseButton button = Qt::LeftButton) {
    Click(Form().SortGrid1->viewport(), button, Form().SortGrid1->CellRect(pcName, row).ToQRect().center());
  }
  int32_t Last() { return Form().SortGrid1->RowCount() - 1; }
  std::string Row(int32_t row) {
    const TSortGrid* grid = Form().SortGrid1;
    return (grid->Cells(pcNumber, row) + "|" + grid->Cells(pcName, row) + "|" + grid->Cells(pcCategory, row)).toStdString();
  }
  std::string Fields() {
    return (Form().cbStartN->currentText() + "|" + Form().eName->text() + "|" + Form().cbPol->currentText()).toStdString();
  }
  int Counted() { return Form().LabelBase->text().section(' ', 0, 0).toInt(); }
  bool Started(int k) {
    const QString name = QString::fromStdString(riders.at(k - 1)).section('|', 1, 1);
    return Form().SortGrid1->FindRow(pcName, name, false) > 0;
  }
};

// 11 and 12 ride, 13 is next ("3 von 5"); every way back to the entry row shows 13 there.
TEST_F(ParticipantStart, EveryWayBackToTheEntryRowShowsTheListedRider) {
  const std::vector<std::pair<const char*, std::function<void()>>> ways{
      {"click", [&] { ClickRow(1); Key(Qt::Key_F4); ClickRow(Last()); }},
      {"F4 on the last rider", [&] { ClickRow(2); Key(Qt::Key_F4); }},
      {"LAP undone, redone",
       [&] { ClickRow(2); Key(Qt::Key_F4); Key(Qt::Key_Z, Qt::ControlModifier); Key(Qt::Key_Y, Qt::ControlModifier); }},
      {"STOPP and ranking",
       [&] { for (int lap = 0; lap < 5; ++lap) { ClickRow(2); Key(lap < 4 ? Qt::Key_F4 : Qt::Key_F9); } }},
      {"START undone", [&] { Key(Qt::Key_F5); Key(Qt::Key_Z, Qt::ControlModifier); }},
      {"row removed", [&] { Doubles().modal.AnswerPopup("Zeile entfernen"); ClickRow(2, Qt::RightButton); }},
      {"arrows", [&] { ClickRow(1); Click(Form().sb1m); Click(Form().sb1p); }},
      {"restored race", [&] {
         QFile file(JournalFileName());
         ASSERT_TRUE(file.open(QIODevice::ReadOnly));
         const QByteArray crashed = file.readAll();  // before the close a clean exit writes
         file.close();
         program.reset();
         ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(crashed) > 0);
         file.close();
         OpenWithList(riders);
         Click(Form().sb1p);
         Click(Form().sb1p);
         Doubles().modal.AnswerDialog(mrYes);
         Form().StartJournal();
         ASSERT_EQ(Row(2), riders[1]);
       }},
  };
  for (const auto& [way, goBack] : ways) {
    SCOPED_TRACE(way);
    OpenWithList({"11|Anna|F", "12|Bert|M", "13|Carl|M", "14|Dora|F", "15|Emil|M"}).StartJournal();
    Key(Qt::Key_F5);
    Key(Qt::Key_F5);
    goBack();
    EXPECT_EQ(Form().LabelBase->text(), "3 von 5");
    const int32_t entry = Last();
    EXPECT_EQ(Form().SortGrid1->Row(), entry);
    EXPECT_EQ(Fields(), riders[2]);
    Key(Qt::Key_F5);
    EXPECT_EQ(Row(entry), riders[2]);
    EXPECT_EQ(Fields(), riders[3]);
    program.reset();
    Clean();
  }
}

// Random races of START, LAP, STOPP, clicks, undo and redo: every listed rider starts exactly
// once, in list order, as listed.
TEST_F(ParticipantStart, RandomRacesStartEveryListedRiderOnceInListOrder) {
  for (quint32 seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    QRandomGenerator random(seed);
    TFormMain& form = OpenWithList({"1|Ada|F", "2|Bo|M", "3|Cy|M", "4|Di|F", "5|Ed|M", "6|Fe|F", "7|Gu|M"});
    auto done = [&] { return Counted() == 7 && Started(7); };
    auto entryRowShowsTheNext = [&] {
      if (form.Protocol().IsEntryRow(form.SortGrid1->Row()) && !Started(Counted())) {
        ASSERT_EQ(Fields(), riders[Counted() - 1]);
      }
    };
    const std::vector<std::function<void()>> actions{
        [&] { if (!done()) Key(Qt::Key_F5); }, [&] { Key(Qt::Key_F4); }, [&] { Key(Qt::Key_F9); },
        [&] { ClickRow(1 + static_cast<int32_t>(random.bounded(static_cast<quint32>(Last())))); },
        [&] { Key(Qt::Key_Z, Qt::ControlModifier); }, [&] { Key(Qt::Key_Y, Qt::ControlModifier); }};
    for (int step = 0; step < 60 && !HasFatalFailure(); ++step) {
      actions[random.bounded(static_cast<quint32>(actions.size()))]();
      entryRowShowsTheNext();
    }
    for (int left = 7; left > 0 && !done() && !HasFatalFailure(); --left) {
      ClickRow(Last());
      entryRowShowsTheNext();
      Key(Qt::Key_F5);
    }
    std::map<uint32_t, std::string> byStart;
    for (int32_t row = 1; row <= Last(); ++row)
      if (!form.Protocol().IsEntryRow(row)) byStart[form.Protocol().Record(row).Times->Start] = Row(row);
    std::vector<std::string> started;
    for (const auto& entry : byStart) started.push_back(entry.second);
    EXPECT_EQ(started, riders);
    program.reset();
    Clean();
  }
}

}  // namespace
