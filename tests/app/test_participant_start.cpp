// A race run from a participant list through the real window: however the selection comes back
// to the entry row, the entry fields show the participant the list counts ("k von n"), and START
// takes him; over random races every participant starts exactly once, in list order, as listed.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>
#include <functional>
#include <map>

#include "app/FMain.h"
#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "io/ParticipantList.h"
#include "platform/KeyStore.h"
#include "platform/LocalTime.h"
#include "platform/LocaleFormats.h"
#include "race/Protocol.h"
#include "widgets/LbSpeedButton.h"

// How gtest shows a rider.
static void PrintTo(const TParticipant& p, std::ostream* out) {
  *out << p.Number.toStdString() << "|" << p.Name.toStdString() << "|" << p.Category.toStdString();
}

namespace {

using testing_doubles::Doubles;

const QString kList = QStringLiteral("teilnehmer.txt");

struct ParticipantStart : ProgramFixture {
  platform::ManualClock& clock = Doubles().clock;
  QStringList riders;  // the list's lines, as number TAB name TAB category

  void SetUp() override {
    CleanFolder();
    QFile categories("Kategorie.txt");
    ASSERT_TRUE(categories.open(QIODevice::WriteOnly));
    categories.write("M\r\nF\r\n");
    platform::PinFormatLocale(QLocale(QLocale::German, QLocale::Germany));
    platform::SetNowSource([] { return QDateTime(QDate(2026, 12, 8), QTime(10, 15, 0)); });
    clock.Set(3'000'000);
  }
  void TearDown() override {
    program.reset();
    CleanFolder();
    QFile::remove(kList);
    platform::SetNowSource({});
    platform::PinFormatLocale(std::nullopt);
  }
  static void CleanFolder() {
    QFile::remove(platform::KeyStore::DefaultPath());
    for (const QString& name : QDir().entryList({"*.journal", "Veltrano.txt", "Veltrano-Korrekturen.txt"}))
      QFile::remove(name);
  }

  void WriteList(const QStringList& lines) {
    riders = lines;
    QFile file(kList);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(("Nr.\tName\tKat\r\n" + lines.join("\r\n") + "\r\n").toUtf8());
  }
  void LoadList() {
    Doubles().fileDialogs.Answer(QFileInfo(kList).absoluteFilePath());
    Click(Form().bDB);
  }
  TParticipant Rider(int k) const { return ParseParticipant(riders.at(k - 1)); }

  // Every press comes later than the double-press guard asks.
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    clock.Advance(11'000);
    QTest::keyClick(Form().SortGrid1, key, modifiers);
  }
  static void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(5, 5)); }
  bool ClickRow(int32_t row) {
    const QRect cell = Form().SortGrid1->CellRect(pcName, row).ToQRect();
    if (cell.isEmpty()) return false;
    QTest::mouseClick(Form().SortGrid1->viewport(), Qt::LeftButton, {}, cell.center());
    return Form().SortGrid1->Row() == row;
  }
  int32_t LastRow() { return Form().SortGrid1->RowCount() - 1; }
  int32_t RowOfName(const QString& name) { return Form().SortGrid1->FindRow(pcName, name, false); }

  TParticipant Fields() {
    return {Form().cbStartN->currentText(), Form().eName->text(), Form().cbPol->currentText()};
  }
  TParticipant RowFields(int32_t row) {
    TSortGrid* grid = Form().SortGrid1;
    return {grid->Cells(pcNumber, row), grid->Cells(pcName, row), grid->Cells(pcCategory, row)};
  }
  // k of "k von n".
  int Counted() { return Form().LabelBase->text().section(' ', 0, 0).toInt(); }
};

// Riders 11 and 12 ride, 13 is next ("3 von 5"); each way back to the entry row must show 13
// there, and START must take him and move the list on to 14.
TEST_F(ParticipantStart, EveryWayBackToTheEntryRowShowsTheListedRiderAndStartTakesHim) {
  using Way = std::function<void()>;
  auto stop = [this](int32_t row) {  // four laps and the fifth: a finisher
    for (int lap = 0; lap < 4; ++lap) {
      ASSERT_TRUE(ClickRow(row));
      Key(Qt::Key_F4);
    }
    ASSERT_TRUE(ClickRow(row));
    Key(Qt::Key_F9);
  };
  const std::vector<std::pair<const char*, Way>> ways{
      {"a click on the entry row after a rider's lap",
       [&] {
         ASSERT_TRUE(ClickRow(1));
         Key(Qt::Key_F4);
         ASSERT_TRUE(ClickRow(LastRow()));
       }},
      {"F4 on the last rider's row", [&] { ASSERT_TRUE(ClickRow(2)); Key(Qt::Key_F4); }},
      {"a LAP taken back and done again",
       [&] {
         ASSERT_TRUE(ClickRow(2));
         Key(Qt::Key_F4);
         Key(Qt::Key_Z, Qt::ControlModifier);
         Key(Qt::Key_Y, Qt::ControlModifier);
       }},
      {"a STOPP of a finisher and its ranking", [&] { stop(2); }},
      {"a START taken back",
       [&] {
         Key(Qt::Key_F5);
         ASSERT_EQ(Counted(), 4);
         Key(Qt::Key_Z, Qt::ControlModifier);
       }},
      {"a removed row",
       [&] {
         ASSERT_TRUE(ClickRow(2));
         Doubles().modal.AnswerPopup(QStringLiteral("Zeile entfernen"));
         const QRect cell = Form().SortGrid1->CellRect(pcName, 2).ToQRect();
         QTest::mouseClick(Form().SortGrid1->viewport(), Qt::RightButton, {}, cell.center());
         ASSERT_EQ(RowOfName(Rider(2).Name), -1);
       }},
      {"a restored race",
       [&] {
         // The program dies; the next one has the list loaded and standing on 13 when it restores.
         QFile file(JournalFileName());
         ASSERT_TRUE(file.open(QIODevice::ReadOnly));
         const QByteArray journal = file.readAll();
         file.close();
         program.reset();
         ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
         file.write(journal);
         file.close();
         Open();
         LoadList();
         Click(Form().sb1p);
         Click(Form().sb1p);
         Doubles().modal.AnswerDialog(mrYes);
         Form().StartJournal();
         ASSERT_EQ(RowFields(1).Name, Rider(1).Name);
       }},
      {"the arrows back to a rider and on again",
       [&] {
         ASSERT_TRUE(ClickRow(1));
         Click(Form().sb1m);
         ASSERT_EQ(Form().SortGrid1->Row(), 2);  // 12 rides: his row
         Click(Form().sb1p);
       }},
  };
  WriteList({"11\tAnna Alt\tF", "12\tBert Bunt\tM", "13\tCarl Clou\tM", "14\tDora Dorn\tF", "15\tEmil Eck\tM"});
  for (const auto& [way, reach] : ways) {
    SCOPED_TRACE(way);
    Open().StartJournal();
    LoadList();
    Key(Qt::Key_F5);
    Key(Qt::Key_F5);
    reach();
    EXPECT_EQ(Form().LabelBase->text(), "3 von 5");
    EXPECT_EQ(Form().SortGrid1->Row(), LastRow());
    EXPECT_EQ(Fields(), Rider(3));

    const int32_t entry = LastRow();
    Key(Qt::Key_F5);
    EXPECT_EQ(RowFields(entry), Rider(3));
    EXPECT_EQ(Form().LabelBase->text(), "4 von 5");
    EXPECT_EQ(Fields(), Rider(4));
    program.reset();
    CleanFolder();
  }
}

// Random races from a list of eight: START, LAP, STOPP, clicks on any row, undo and redo in any
// order. Whenever the entry row is selected it shows the listed rider who has not started, and
// at the end every rider has started exactly once, in list order, with his own fields.
TEST_F(ParticipantStart, RandomRacesStartEveryListedRiderOnceInListOrder) {
  WriteList({"1\tAda\tF", "2\tBo\tM", "3\tCy\tM", "4\tDi\tF", "5\tEd\tM", "6\tFe\tF", "7\tGu\tM", "8\tHa\tF"});
  for (quint32 seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    QRandomGenerator random(seed);
    TFormMain& form = Open();
    LoadList();
    auto listDone = [&] { return Counted() == riders.size() && RowOfName(Rider(riders.size()).Name) > 0; };
    auto checkEntryRow = [&](int step) {
      const int k = Counted();
      if (!form.Protocol().IsEntryRow(form.SortGrid1->Row()) || k < 1 || RowOfName(Rider(k).Name) > 0) return;
      ASSERT_EQ(Fields(), Rider(k)) << "step " << step;
    };
    for (int step = 0; step < 60; ++step) {
      switch (random.bounded(7)) {
        case 0:
        case 1:
          if (!listDone()) Key(Qt::Key_F5);
          break;
        case 2: Key(Qt::Key_F4); break;
        case 3: Key(Qt::Key_F9); break;
        case 4: ClickRow(1 + static_cast<int32_t>(random.bounded(static_cast<quint32>(LastRow())))); break;
        case 5: Key(Qt::Key_Z, Qt::ControlModifier); break;
        default: Key(Qt::Key_Y, Qt::ControlModifier); break;
      }
      checkEntryRow(step);
      if (HasFatalFailure()) return;
    }
    // The rest of the list starts from the entry row.
    for (int left = riders.size(); left > 0 && !listDone(); --left) {
      ASSERT_TRUE(ClickRow(LastRow()));
      checkEntryRow(-1);
      Key(Qt::Key_F5);
    }
    ASSERT_TRUE(listDone());

    std::map<uint32_t, TParticipant> byStart;
    for (int32_t row = 1; row < form.SortGrid1->RowCount(); ++row)
      if (!form.Protocol().IsEntryRow(row)) byStart[form.Protocol().Record(row).Times->Start] = RowFields(row);
    std::vector<TParticipant> started, listed;
    for (const auto& [tick, rider] : byStart) started.push_back(rider);
    for (int k = 1; k <= riders.size(); ++k) listed.push_back(Rider(k));
    EXPECT_EQ(started, listed);
    program.reset();
    CleanFolder();
  }
}

}  // namespace
