// The window's journal: what a crash leaves behind is restored, after a reboot too; a torn or
// damaged journal is restored as far as it goes and the operator told; declining and a reset
// keep the old journal; a second program in the folder is turned away.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include "app/FMain.h"
#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "app/RiderEditor.h"
#include "dialogs/Cfg.h"
#include "dialogs/CorrectionDialog.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "io/Journal.h"
#include "platform/KeyStore.h"
#include "platform/LocalTime.h"
#include "platform/LocaleFormats.h"
#include "race/Protocol.h"
#include "race/TimeText.h"
#include "widgets/ButtonWithColor.h"
#include "widgets/LbSpeedButton.h"

namespace {

using testing_doubles::Doubles;

// Rows are clicked: the window must be laid out and on screen.
struct ShownProgram : Program {
  ShownProgram() {
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
};

const QString kJournal = QStringLiteral("Veltrano.journal");
const QString kQuestion = QStringLiteral("Das letzte Rennen wurde nicht beendet. Wiederherstellen?");

struct JournalRestoreFixture : ::testing::Test {
  QDateTime now{QDate(2026, 12, 7), QTime(9, 0, 0)};
  platform::ManualClock& clock = Doubles().clock;

  void SetUp() override {
    QFile::remove(platform::KeyStore::DefaultPath());
    for (const QString& name : QDir().entryList({"*.journal", "Veltrano.txt"})) QFile::remove(name);
    QFile categories("Kategorie.txt");
    ASSERT_TRUE(categories.open(QIODevice::WriteOnly));
    categories.write("M\r\nF\r\n");
    platform::PinFormatLocale(QLocale(QLocale::German, QLocale::Germany));
    platform::SetNowSource([this] { return now; });
    clock.Set(5000000);
  }
  void TearDown() override {
    // No journal of this test reaches the next one.
    for (const QString& name : QDir().entryList({"*.journal"})) QFile::remove(name);
  }

  void Later(int ms) {
    clock.Set(clock.Now() + static_cast<uint32_t>(ms));
    now = now.addMSecs(ms);
  }
  static void Press(TFormMain& form, Qt::Key key) { QTest::keyClick(form.SortGrid1, key); }
  static void Select(TFormMain& form, int row) {
    const QRect cell = form.SortGrid1->CellRect(1, row).ToQRect();
    QTest::mouseClick(form.SortGrid1->viewport(), Qt::LeftButton, {}, cell.center());
  }
  static void Start(TFormMain& form, const QString& name, const QString& category) {
    Select(form, form.SortGrid1->RowCount() - 1);
    form.eName->setText(name);
    form.cbPol->setCurrentIndex(form.cbPol->findText(category));
    Press(form, Qt::Key_F5);
  }
  // The protocol as the journal keeps it: the cells and what each row carries beside them.
  static std::vector<QStringList> Rows(TFormMain& form) {
    std::vector<QStringList> rows;
    for (int32_t r = 0; r < form.SortGrid1->RowCount(); ++r) {
      QStringList row;
      for (int32_t c = 0; c < kProtocolColumns; ++c) row << form.SortGrid1->Cells(c, r);
      row << (r > 0 ? form.Protocol().RecordText(r) : QString());
      rows.push_back(row);
    }
    return rows;
  }

  // Runs part of a race (two riders on course, one lap) and leaves the journal as a crash
  // would: the program's last lines, no close. Returns the protocol at that moment.
  std::vector<QStringList> RaceThenCrash() {
    std::vector<QStringList> rows;
    QByteArray journal;
    {
      ShownProgram p;
      p.form->StartJournal();
      Start(*p.form, "Anna", "M");
      Later(30000);
      Start(*p.form, "Ben", "F");
      Later(60000);
      Select(*p.form, 1);
      Press(*p.form, Qt::Key_F4);
      rows = Rows(*p.form);
      QFile file(kJournal);
      EXPECT_TRUE(file.open(QIODevice::ReadOnly));
      journal = file.readAll();
    }
    QFile file(kJournal);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(journal);
    return rows;
  }

  static QList<QByteArray> JournalLines() {
    QFile file(kJournal);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = file.readAll().split('\n');
    lines.removeLast();
    return lines;
  }
  static void WriteJournal(const QByteArray& data) {
    QFile file(kJournal);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
  }
  static QStringList DatedJournals() {
    return QDir().entryList({"Veltrano-*.journal"}, QDir::Files, QDir::Name);
  }
};

TEST_F(JournalRestoreFixture, CrashIsRestoredAndTheRaceGoesOnWithTheOldTicks) {
  const std::vector<QStringList> before = RaceThenCrash();
  const uint32_t raceStart = 5000000;
  Later(15000);  // the time it took to start again

  ShownProgram p;
  Doubles().modal.AnswerDialog(mrYes);
  p.form->StartJournal();
  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_EQ(Doubles().modal.History()[0].kind, testing_doubles::ScriptedModal::Shown::Dialog);
  EXPECT_EQ(p.yesNo.Label1->text(), kQuestion);

  TFormMain& form = *p.form;
  EXPECT_EQ(Rows(form), before);
  EXPECT_EQ(form.Clock().RaceStartTick, raceStart);
  EXPECT_EQ(form.Race().RaceState(), RaceControl::State::Running);
  EXPECT_TRUE(form.Race().Clock().Enabled());
  EXPECT_TRUE(form.bEnd->isEnabled());
  EXPECT_FALSE(form.bCFG->isEnabled());
  EXPECT_FALSE(form.bDB->isEnabled());

  // Ben started 30 s in; his first lap, now, counts the whole time since his start.
  Select(form, 2);
  ASSERT_TRUE(form.mLap->isEnabled());
  Press(form, Qt::Key_F4);
  EXPECT_EQ(form.SortGrid1->Cells(pcLap1, 2), FormatDuration(60000 + 15000));
  // Anna, on her second lap.
  Select(form, 1);
  Press(form, Qt::Key_F4);
  EXPECT_EQ(form.SortGrid1->Cells(pcLapCount, 1), "2");
  EXPECT_EQ(form.SortGrid1->Cells(pcTime, 1), FormatDuration(30000 + 60000 + 15000));

  // The crashed journal is kept; the new one starts with the whole restored race.
  ASSERT_EQ(DatedJournals().size(), 1);
  EXPECT_EQ(ReadJournal(DatedJournals()[0]).State.Rows, before);
  const auto first = DecodeJournalLine(JournalLines()[0]);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Event, "RESTORE");
  EXPECT_EQ(ReadJournal(kJournal).State.Rows, Rows(form));
}

TEST_F(JournalRestoreFixture, AfterARebootTheWallClockCarriesTheRunningTimesOver) {
  const std::vector<QStringList> before = RaceThenCrash();
  const TJournalContents crashed = ReadJournal(kJournal);
  // The same journal written in another boot of the machine.
  QByteArray rewritten;
  for (const QByteArray& line : JournalLines()) {
    auto record = DecodeJournalLine(line);
    ASSERT_TRUE(record);
    record->Boot = "an-earlier-boot";
    rewritten += EncodeJournalLine(*record);
  }
  WriteJournal(rewritten);
  // The machine came back 2 minutes later with its counter started again.
  clock.Set(45000);
  now = now.addMSecs(120000);

  ShownProgram p;
  Doubles().modal.AnswerDialog(mrYes);
  p.form->StartJournal();
  TFormMain& form = *p.form;
  // Anna started 90 s before the last line was written, which was 2 minutes ago.
  const int32_t annaRunning = TickDiff(crashed.LastTick, 5000000) + 120000;
  EXPECT_EQ(TickDiff(45000, form.Clock().RaceStartTick), annaRunning);
  const auto annaStart = TickFromText(form.SortGrid1->Cells(pcStartTick, 1));
  ASSERT_TRUE(annaStart);
  EXPECT_EQ(TickDiff(45000, *annaStart), annaRunning);
  // What is not a tick stays as it was.
  for (int c : {pcNumber, pcName, pcCategory, pcLap1, pcLapCount, pcTime})
    EXPECT_EQ(form.SortGrid1->Cells(c, 1), before[1][c]) << c;

  Later(1000);
  Select(form, 2);
  Press(form, Qt::Key_F4);
  // Ben started 30 s after Anna.
  EXPECT_EQ(form.SortGrid1->Cells(pcLap1, 2), FormatDuration(annaRunning - 30000 + 1000));
}

TEST_F(JournalRestoreFixture, TornLastLineIsSkippedWithANote) {
  const std::vector<QStringList> before = RaceThenCrash();
  QFile file(kJournal);
  ASSERT_TRUE(file.open(QIODevice::Append));
  file.write("VJ1\t5\tLAP\t50");  // the program died while writing this
  file.close();

  ShownProgram p;
  Doubles().modal.AnswerDialog(mrYes);
  Doubles().modal.AnswerMessage(mrOk);
  p.form->StartJournal();
  ASSERT_EQ(Doubles().modal.History().size(), 2u);
  EXPECT_TRUE(Doubles().modal.History()[1].text.contains("unvollständig"));
  EXPECT_EQ(Rows(*p.form), before);
}

TEST_F(JournalRestoreFixture, CorruptMiddleLineStopsTheReplayThereAndSaysSo) {
  RaceThenCrash();
  QList<QByteArray> lines = JournalLines();
  ASSERT_EQ(lines.size(), 4);  // OPEN, START, START, LAP
  lines[2][20] = static_cast<char>(lines[2][20] ^ 0x01);
  WriteJournal(lines.join('\n') + '\n');

  ShownProgram p;
  Doubles().modal.AnswerDialog(mrYes);
  Doubles().modal.AnswerMessage(mrOk);
  p.form->StartJournal();
  ASSERT_EQ(Doubles().modal.History().size(), 2u);
  const QString note = Doubles().modal.History()[1].text;
  EXPECT_TRUE(note.contains("ab Zeile 3 beschädigt")) << note.toStdString();
  // Only Anna's start made it.
  TFormMain& form = *p.form;
  EXPECT_EQ(form.SortGrid1->RowCount(), 3);
  EXPECT_EQ(form.SortGrid1->Cells(pcName, 1), "Anna");
  EXPECT_EQ(form.SortGrid1->Cells(pcStartTick, 2), "");
  EXPECT_EQ(form.Race().RaceState(), RaceControl::State::Running);
  // The damaged journal is kept for a look by hand.
  ASSERT_EQ(DatedJournals().size(), 1);
  EXPECT_EQ(ReadJournal(DatedJournals()[0]).CorruptLine, 3);
}

TEST_F(JournalRestoreFixture, DecliningKeepsTheJournalAndStartsClean) {
  const std::vector<QStringList> before = RaceThenCrash();
  ShownProgram p;
  Doubles().modal.AnswerDialog(mrCancel);
  p.form->StartJournal();
  TFormMain& form = *p.form;
  EXPECT_EQ(form.SortGrid1->RowCount(), 2);
  EXPECT_EQ(form.Race().RaceState(), RaceControl::State::Idle);
  EXPECT_TRUE(form.mStart->isEnabled());
  ASSERT_EQ(DatedJournals().size(), 1);
  EXPECT_EQ(ReadJournal(DatedJournals()[0]).State.Rows, before);
  EXPECT_FALSE(ReadJournal(kJournal).HasContent);
}

TEST_F(JournalRestoreFixture, ResetKeepsTheRaceJournalAndACleanCloseAsksNothingNextTime) {
  std::vector<QStringList> race;
  {
    ShownProgram p;
    p.form->StartJournal();
    TFormMain& form = *p.form;
    Start(form, "Anna", "M");
    Later(11000);  // a lap, not a double press
    Select(form, 1);
    Press(form, Qt::Key_F4);
    EXPECT_EQ(form.SortGrid1->Cells(pcLapCount, 1), "1");
    QTest::mouseClick(form.bEnd, Qt::LeftButton);
    race = Rows(form);
    Doubles().modal.AnswerDialog(mrYes);  // "Protokoll wird gelöscht!"
    form.mReset->trigger();
    EXPECT_EQ(form.SortGrid1->RowCount(), 2);
    ASSERT_EQ(DatedJournals().size(), 1);
    const TJournalContents old = ReadJournal(DatedJournals()[0]);
    EXPECT_TRUE(old.Closed);
    EXPECT_TRUE(old.HasContent);
    EXPECT_FALSE(ReadJournal(kJournal).HasContent);
    // The next race goes into the new journal, and is over when the window closes.
    Start(form, "Cleo", "F");
    EXPECT_TRUE(ReadJournal(kJournal).HasContent);
    Later(11000);
    Select(form, 1);
    Press(form, Qt::Key_F9);
    QTest::mouseClick(form.bEnd, Qt::LeftButton);
    Doubles().modal.AnswerDialog(mrYes);  // "Beenden?"
    EXPECT_TRUE(form.close());
  }
  EXPECT_TRUE(ReadJournal(kJournal).Closed);
  // A cleanly closed journal is no crash: no question (an unexpected one fails the test),
  // and the closed race is kept beside the new journal.
  const size_t shown = Doubles().modal.History().size();
  ShownProgram p;
  p.form->StartJournal();
  EXPECT_EQ(Doubles().modal.History().size(), shown);
  EXPECT_EQ(p.form->SortGrid1->RowCount(), 2);
  EXPECT_EQ(DatedJournals().size(), 2);
}

TEST_F(JournalRestoreFixture, ASecondProgramInTheFolderIsTurnedAway) {
  TJournalLock first;
  ASSERT_TRUE(ClaimWorkingFolder(first));
  TJournalLock second;
  Doubles().modal.AnswerMessage(mrOk);
  EXPECT_FALSE(ClaimWorkingFolder(second));
  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_TRUE(Doubles().modal.History()[0].text.startsWith("Veltrano läuft bereits in diesem Ordner"));
  first.Release();
  EXPECT_TRUE(ClaimWorkingFolder(second));
}

}  // namespace

namespace {

// A line as the first journal format wrote it: the protocol's cells only.
QByteArray FirstFormatLine(int seq, const char* event, const char* state, uint32_t raceStart, int selected,
                           const std::vector<QStringList>& rows) {
  QByteArray line = "VJ1\t" + QByteArray::number(seq) + "\t" + event + "\t" + QByteArray::number(raceStart + 1000) +
                    "\t1765180800000\t" + CurrentBootId().toUtf8() + "\t" + state + "\t" + QByteArray::number(raceStart) +
                    "\t100000\t\t\t\t\t\t0\t" + QByteArray::number(selected) + "\t" + QByteArray::number(rows.size());
  for (size_t r = 0; r < rows.size(); ++r) {
    line += "\t#" + QByteArray::number(static_cast<qulonglong>(r));
    for (const QString& cell : rows[r]) line += "\t" + cell.toUtf8();
  }
  const uint32_t crc = Crc32(line.constData(), static_cast<size_t>(line.size()));
  return line + "\t*" + QByteArray::number(crc, 16).rightJustified(8, '0') + "\n";
}

}  // namespace

TEST_F(JournalRestoreFixture, CorrectionsComeBackExactlyAfterACrash) {
  std::vector<QStringList> before;
  QStringList corrections;
  QByteArray journal;
  {
    ShownProgram p;
    TFormMain& form = *p.form;
    p.form->StartJournal();
    Start(form, "Anna", "M");
    Later(20000);
    Start(form, "Ben", "F");
    Later(60000);
    Select(form, 1);
    Press(form, Qt::Key_F4);  // Ben passed
    Select(form, 1);
    form.OpenMoveTime();
    form.CorrectionDialog()->Answer->setText("2");
    QTest::mouseClick(form.CorrectionDialog()->OKBtn, Qt::LeftButton);
    Later(5000);
    Select(form, 1);
    form.OpenInsertLap();  // Anna's missed lap
    form.CorrectionDialog()->Answer->setText("1.10,0");
    QTest::mouseClick(form.CorrectionDialog()->OKBtn, Qt::LeftButton);
    Select(form, 2);
    QTest::keyClick(form.SortGrid1, Qt::Key_F2);
    form.RiderEditor()->Name->setText("Benno");
    QTest::keyClick(form.RiderEditor()->Name, Qt::Key_Return);
    QTest::keyClick(form.SortGrid1, Qt::Key_Z, Qt::ControlModifier);  // the name again
    QTest::keyClick(form.SortGrid1, Qt::Key_Y, Qt::ControlModifier);  // and back
    ASSERT_EQ(form.Corrections().Entries().size(), 5u);
    before = Rows(form);
    corrections = form.Corrections().Lines();
    QFile file(kJournal);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    journal = file.readAll();
  }
  WriteJournal(journal);  // as the crash left it: no clean close

  ShownProgram p;
  Doubles().modal.AnswerDialog(mrYes);
  p.form->StartJournal();
  TFormMain& form = *p.form;
  EXPECT_EQ(Rows(form), before);
  EXPECT_EQ(form.Corrections().Lines(), corrections);
  EXPECT_EQ(form.SortGrid1->Cells(pcName, 2), "Benno");
  EXPECT_TRUE(form.Protocol().Record(1).Corrected);
  EXPECT_TRUE(form.Protocol().Record(2).Corrected);
  // The race goes on from the restored times: Anna's next lap counts from her last press, the
  // lap inserted at 1.10,0 (the one moved away was later).
  Later(30000);
  Select(form, 1);
  Press(form, Qt::Key_F4);
  EXPECT_EQ(form.SortGrid1->Cells(pcLap1, 1), FormatDuration(20000 + 60000 + 5000 + 30000 - 70000));
}

TEST_F(JournalRestoreFixture, AJournalOfTheFirstFormatRestoresAsBefore) {
  const uint32_t start = 5000000;
  QStringList header;
  for (int c = 0; c < kProtocolColumns; ++c) header << ProtocolHeader(c);
  QStringList entry(kProtocolColumns);
  entry[pcPlace] = "-";
  QStringList anna = entry;
  anna[pcNumber] = "1";
  anna[pcName] = "Anna";
  anna[pcCategory] = "M";
  anna[pcLapCount] = "0";
  anna[pcStartTick] = TickToText(start);
  QStringList lapped = anna;
  lapped[pcLap2] = "1.30,0";
  lapped[pcLap1] = "1.29,9";
  lapped[pcLapCount] = "2";
  lapped[pcSpeed] = "40,0";
  lapped[pcTime] = "2.59,9";
  lapped[pcLastLapTick] = TickToText(start + 179900);
  QStringList ben = entry;
  ben[pcNumber] = "2";
  ben[pcName] = "Ben";
  ben[pcCategory] = "M";
  ben[pcLapCount] = "1";
  ben[pcLap1] = "1.00,0";
  ben[pcTime] = "";
  ben[pcLastLapTick] = "0";
  ben[pcStartTick] = "60000";
  QByteArray journal = FirstFormatLine(1, "OPEN", "idle", 0, 1, {header, entry});
  journal += FirstFormatLine(2, "START", "running", start, 2, {header, anna, ben, entry});
  journal += FirstFormatLine(3, "LAP", "running", start, 2, {header, lapped, ben, entry});
  WriteJournal(journal);
  clock.Set(start + 200000);

  ShownProgram p;
  Doubles().modal.AnswerDialog(mrYes);
  p.form->StartJournal();
  TFormMain& form = *p.form;
  for (int c = 0; c < kProtocolColumns; ++c) {
    EXPECT_EQ(form.SortGrid1->Cells(c, 1), lapped[c]) << c;
    EXPECT_EQ(form.SortGrid1->Cells(c, 2), ben[c]) << c;
  }
  // Anna's next lap counts from her last press, exactly as before the format had times.
  clock.Set(start + 269900);
  Select(form, 1);
  Press(form, Qt::Key_F4);
  EXPECT_EQ(form.SortGrid1->Cells(pcLapCount, 1), "3");
  EXPECT_EQ(form.SortGrid1->Cells(pcLap1, 1), "1.30,0");
  EXPECT_EQ(form.SortGrid1->Cells(pcLap2, 1), "1.29,9");
  EXPECT_EQ(form.SortGrid1->Cells(pcTime, 1), "4.29,9");
  // Ben, stopped in the first format, keeps his row; his times are not kept for corrections.
  Select(form, 2);
  form.OpenInsertLap();
  EXPECT_FALSE(form.CorrectionDialog()->isVisible());
  EXPECT_FALSE(form.Protocol().Record(2).Times.has_value());
}
