#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <random>
#include <thread>

#include "common/Doubles.h"
#include "common/TestPipe.h"
#include "io/Journal.h"
#include "grid/SortGrid.h"
#include "platform/LocalTime.h"
#include "platform/Tick.h"
#include "race/Protocol.h"
#include "race/RaceSession.h"

namespace {

using testing_doubles::Doubles;

QStringList Row(std::initializer_list<QString> head) {
  QStringList row(head);
  while (row.size() < kJournalRowFields) row << QString();
  return row;
}

// A race with one rider on course, one finisher and the entry row.
TRaceSnapshot SampleRace() {
  TRaceSnapshot s;
  s.State = TRaceSnapshot::TState::Running;
  s.RaceStartTick = 4000000000u;
  s.RoundLen = 20000;
  s.LapTable = {"0,100", "0,100", "0,100", "0,100", "0,100"};
  s.SelectedRow = 2;
  QStringList header;
  for (int c = 0; c < kProtocolColumns; ++c) header << ProtocolHeader(c);
  header << QString();  // the header carries no record
  s.Rows.push_back(header);
  QStringList onCourse = Row({"-", "7", "Zoë\tTab \\ Back\nslash", "M"});
  onCourse[pcLapCount] = "1";
  onCourse[pcLastLapTick] = "-294967196";  // 4000000100 read as signed
  onCourse[pcStartTick] = "-294967296";    // 4000000000
  s.Rows.push_back(onCourse);
  QStringList stopped = Row({"1", "8", "Ben", "F"});
  stopped[pcLapCount] = "5";
  stopped[pcTime] = "1.00,0";
  stopped[pcLastLapTick] = "0";
  stopped[pcStartTick] = "60000";
  s.Rows.push_back(stopped);
  s.Rows.push_back(Row({"-"}));
  return s;
}

QList<QByteArray> Lines(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  QList<QByteArray> lines = file.readAll().split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

// A line body sealed with its checksum, as the program writes it (without the line end).
QByteArray Sealed(const QByteArray& body) {
  return body + "\t*" + QByteArray::number(Crc32(body.constData(), size_t(body.size())), 16).rightJustified(8, '0');
}

void WriteAll(const QString& path, const QByteArray& data) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(data);
}

struct JournalFixture : ::testing::Test {
  QTemporaryDir dir;
  QString path;
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    path = dir.filePath("Veltrano.journal");
    platform::SetNowSource([] { return QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0)); });
  }
  void TearDown() override { platform::SetNowSource({}); }

  static TRaceSnapshot Idle() {
    TRaceSnapshot idle;
    idle.Rows = {SampleRace().Rows[0], Row({"-"})};
    return idle;
  }
  // A journal of the sample race: opened idle and empty, then the race, then a lap.
  TRaceSnapshot WriteRace(TJournal& journal) {
    journal.Begin(Idle(), "OPEN");
    TRaceSnapshot race = SampleRace();
    journal.Record("START", race);
    race.Rows[1][pcLapCount] = "2";
    race.Rows[1][pcLap1] = "0,1";
    journal.Record("LAP", race);
    return race;
  }
};

TEST_F(JournalFixture, LineRoundTripsEveryTextAndTheChecksumCatchesAnyChange) {
  TJournalRecord r;
  r.Seq = 12;
  r.Event = "LAP";
  r.Tick = 4294967295u;
  r.Wall = 1796000000123;
  r.Boot = "0b0c-boot";
  r.State = TRaceSnapshot::TState::Ended;
  r.RaceStartTick = 17;
  r.RoundLen = 100000;
  r.LapTable = {"1", "2,5", "", "a\\b", "x\ty"};
  r.CanSort = true;
  r.SelectedRow = 3;
  r.RowCount = 4;
  r.Rows = {{2, SampleRace().Rows[1]}};
  const QByteArray line = EncodeJournalLine(r);
  ASSERT_TRUE(line.endsWith('\n'));
  EXPECT_EQ(line.count('\n'), 1) << "a line break inside a name must not split the line";

  const auto back = DecodeJournalLine(line.chopped(1));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Seq, 12);
  EXPECT_EQ(back->Tick, 4294967295u);
  EXPECT_EQ(back->Wall, 1796000000123);
  EXPECT_EQ(back->State, TRaceSnapshot::TState::Ended);
  EXPECT_EQ(back->LapTable, r.LapTable);
  EXPECT_TRUE(back->CanSort);
  ASSERT_EQ(back->Rows.size(), 1u);
  EXPECT_EQ(back->Rows[0].first, 2);
  EXPECT_EQ(back->Rows[0].second, r.Rows[0].second);

  // Any single changed byte, a cut line and a row outside the row count are refused.
  for (qsizetype i = 0; i < line.size() - 1; ++i) {
    QByteArray damaged = line.chopped(1);
    damaged[i] = static_cast<char>(damaged[i] ^ 0x04);
    EXPECT_FALSE(DecodeJournalLine(damaged)) << "byte " << i;
  }
  EXPECT_FALSE(DecodeJournalLine(line.left(line.size() / 2)));
  r.RowCount = 2;
  EXPECT_FALSE(DecodeJournalLine(EncodeJournalLine(r).chopped(1)));
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
}

TEST_F(JournalFixture, ARowCountBeyondAnyProtocolIsADamagedLineNotAnAllocation) {
  // A line with a valid checksum that asks for two billion rows would take the program down
  // at every start; it is damaged like any other bad line, and the replay stops before it.
  TJournalRecord r;
  r.Seq = 1;
  r.Event = "OPEN";
  r.LapTable = QStringList(5, QString());
  r.RowCount = kMaxJournalRows;
  EXPECT_TRUE(DecodeJournalLine(EncodeJournalLine(r).chopped(1)));
  r.RowCount = 2000000000;
  const QByteArray huge = EncodeJournalLine(r);
  EXPECT_FALSE(DecodeJournalLine(huge.chopped(1)));

  r.RowCount = 2;
  QByteArray file = EncodeJournalLine(r);
  r.Seq = 2;
  r.Event = "START";
  r.RowCount = 2000000000;
  file += EncodeJournalLine(r);
  r.Seq = 3;
  r.RowCount = 2;
  file += EncodeJournalLine(r);
  QFile out(dir.filePath("huge.journal"));
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(file);
  out.close();
  const TJournalContents contents = ReadJournal(out.fileName());
  EXPECT_EQ(contents.ValidLines, 1);
  EXPECT_EQ(contents.CorruptLine, 2);
  EXPECT_EQ(contents.State.Rows.size(), 2u);
}

TEST_F(JournalFixture, ReplayGivesTheRaceBackAndOnlyChangesAreWritten) {
  TRaceSnapshot race;
  {
    TJournal journal(path);
    race = WriteRace(journal);
    journal.Record("LAP", race);  // nothing changed: no line
    race.SelectedRow = 1;
    journal.Record("LAP", race);  // only the selection: no line either
    EXPECT_EQ(Lines(path).size(), 3);
    // The lap changed one row; only that row is in its line.
    const auto lap = DecodeJournalLine(Lines(path)[2]);
    ASSERT_TRUE(lap);
    ASSERT_EQ(lap->Rows.size(), 1u);
    EXPECT_EQ(lap->Rows[0].first, 1);

    const TJournalContents open = ReadJournal(path);
    EXPECT_FALSE(open.Closed);
    EXPECT_TRUE(open.HasContent);
    EXPECT_EQ(open.ValidLines, 3);
    EXPECT_EQ(open.LastBoot, CurrentBootId());
    race.SelectedRow = 2;  // as the last line wrote it
    EXPECT_EQ(open.State, race);

    // Rows going away: a removed rider.
    race.Rows.erase(race.Rows.begin() + 2);
    journal.Record("CUT", race);
    journal.Close(race);
  }
  const TJournalContents closed = ReadJournal(path);
  EXPECT_TRUE(closed.Closed);
  EXPECT_FALSE(closed.TornTail);
  EXPECT_EQ(closed.CorruptLine, 0);
  EXPECT_EQ(closed.State.Rows, race.Rows);
}

TEST_F(JournalFixture, TornLastLineIsIgnoredAndCorruptMiddleLineStopsTheReplay) {
  TRaceSnapshot race;
  {
    TJournal journal(path);
    race = WriteRace(journal);
  }
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray whole = file.readAll();
  file.close();
  const QList<QByteArray> lines = Lines(path);
  ASSERT_EQ(lines.size(), 3);

  // Died while writing a fourth line: half of it, without its line end.
  WriteAll(path, whole + lines[2].left(40));
  TJournalContents torn = ReadJournal(path);
  EXPECT_TRUE(torn.TornTail);
  EXPECT_EQ(torn.CorruptLine, 0);
  EXPECT_EQ(torn.ValidLines, 3);
  EXPECT_EQ(torn.State.Rows, race.Rows);

  // A last line with its line end but a damaged body is torn as well.
  QByteArray badLast = whole;
  badLast[badLast.size() - 5] = 'x';
  WriteAll(path, badLast);
  torn = ReadJournal(path);
  EXPECT_TRUE(torn.TornTail);
  EXPECT_EQ(torn.ValidLines, 2);

  // A damaged second line: only the first counts, and the lines after it are not used.
  QByteArray middle = lines[0] + '\n' + lines[1] + '\n' + lines[2] + '\n';
  middle[lines[0].size() + 30] = '#';
  WriteAll(path, middle);
  const TJournalContents corrupt = ReadJournal(path);
  EXPECT_EQ(corrupt.CorruptLine, 2);
  EXPECT_FALSE(corrupt.TornTail);
  EXPECT_EQ(corrupt.ValidLines, 1);
  EXPECT_EQ(corrupt.State.Rows.size(), 2u);
  EXPECT_FALSE(corrupt.HasContent);

  // A missing line (the sequence jumps) is damage too.
  WriteAll(path, lines[0] + '\n' + lines[2] + '\n' + lines[2] + '\n');
  EXPECT_EQ(ReadJournal(path).CorruptLine, 2);
}

TEST_F(JournalFixture, RebootShiftKeepsRunningTimesAndLeavesStoppedRidersAlone) {
  // Old boot: last line at tick 4000000500 and wall 1000000; the new counter reads 20000 at
  // wall 1090000 (90 s later). The old race start 4000000000 is 90.5 s before now.
  const uint32_t shift = RebootTickShift(4000000500u, 1000000, 20000u, 1090000);
  EXPECT_EQ(static_cast<int32_t>(20000u - (4000000000u + shift)), 90500);

  TRaceSnapshot race = SampleRace();
  race.OpenTimes = {"4000000100|12|", "4294967295", "x1|2", "|3", "99999999999|"};  // the last three: no tick
  ShiftSnapshotTicks(race, shift);
  EXPECT_EQ(race.OpenTimes, (QStringList{QString::number(4000000100u + shift) + "|12|",
                                         QString::number(4294967295u + shift), "x1|2", "|3", "99999999999|"}));
  EXPECT_EQ(static_cast<int32_t>(20000u - race.RaceStartTick), 90500);
  const TRaceSnapshot before = SampleRace();
  EXPECT_EQ(race.Rows[1][pcStartTick].toLongLong() - before.Rows[1][pcStartTick].toLongLong(),
            static_cast<int32_t>(shift));
  EXPECT_NE(race.Rows[1][pcLastLapTick], before.Rows[1][pcLastLapTick]);
  EXPECT_EQ(race.Rows[2], before.Rows[2]) << "a stopped rider holds his total, not a tick";
  EXPECT_EQ(race.Rows[3], before.Rows[3]);
}

TEST_F(JournalFixture, OldJournalsAreKeptDatedNeverOverwritten) {
  {
    TJournal journal(path);
    const TRaceSnapshot race = WriteRace(journal);
    TRaceSnapshot cleared;
    cleared.Rows = {race.Rows[0], Row({"-"})};
    journal.Rotate(cleared);
    journal.Close(cleared);
  }
  const QString dated = dir.filePath("Veltrano-2026-12-07-10-00-00.journal");
  const TJournalContents old = ReadJournal(dated);
  EXPECT_TRUE(old.Closed);
  EXPECT_TRUE(old.HasContent);
  EXPECT_EQ(old.State.Rows.size(), 2u) << "the reset itself is the old journal's last change";
  const TJournalContents fresh = ReadJournal(path);
  EXPECT_TRUE(fresh.Closed);
  EXPECT_FALSE(fresh.HasContent);

  // Starting again over a closed journal of nothing replaces it; over one with a race, the
  // race is kept, under a second name when the first is taken.
  {
    TJournal journal(path);
    EXPECT_EQ(journal.Begin(Idle(), "OPEN"), QString());
    journal.Record("START", SampleRace());
  }
  TJournal again(path);
  const QString kept = again.Begin(Idle(), "OPEN");
  EXPECT_EQ(kept, dir.filePath("Veltrano-2026-12-07-10-00-00-2.journal"));
  EXPECT_TRUE(ReadJournal(kept).HasContent);
  EXPECT_TRUE(ReadJournal(dated).HasContent);
  EXPECT_EQ(QDir(dir.path()).entryList({"*.journal"}).size(), 3);
}

TEST_F(JournalFixture, ANamedPipeInPlaceOfTheJournalIsDamagedAndMovedAside) {
  TestPipe pipe(path);
  ASSERT_TRUE(pipe.Created());
  const TJournalContents read = ReadJournal(path);
  EXPECT_TRUE(read.Exists);
  EXPECT_FALSE(read.Closed);
  EXPECT_FALSE(read.HasContent);
  EXPECT_EQ(read.CorruptLine, 1);
  // A new journal begins beside it, in a real file.
  TJournal journal(path);
  const QString kept = journal.Begin(Idle(), "OPEN");
  EXPECT_FALSE(pipe.ReaderWaited());
  EXPECT_FALSE(kept.isEmpty());
  EXPECT_FALSE(QFileInfo(kept).isFile());
  EXPECT_TRUE(journal.Active());
  EXPECT_TRUE(journal.TakeError().isEmpty());
  EXPECT_EQ(ReadJournal(path).ValidLines, 1);
}

TEST_F(JournalFixture, WriteFailureIsReportedOnceAndRecordingStops) {
  const QString blocked = dir.filePath("missing/Veltrano.journal");
  TJournal journal(blocked);
  journal.Begin(SampleRace(), "OPEN");
  const QString error = journal.TakeError();
  EXPECT_TRUE(error.contains("kann nicht geschrieben werden")) << error.toStdString();
  journal.Record("LAP", SampleRace());
  EXPECT_TRUE(journal.TakeError().isEmpty());
  EXPECT_FALSE(journal.Active());
}

TEST_F(JournalFixture, WriterHandsEveryLineToTheSystemAtOnceAndFlushesOnItsOwnThread) {
  TJournalWriter writer;
  ASSERT_TRUE(writer.Open(path));
  ASSERT_TRUE(writer.Append("one\n"));
  // Readable by another reader before any flush or close: a crash of the program loses nothing.
  QFile reader(path);
  ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
  EXPECT_EQ(reader.readAll(), QByteArray("one\n"));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (writer.Flushes() < 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_GE(writer.Flushes(), 1);
  writer.Close();
  EXPECT_FALSE(writer.Append("two\n"));
}

TEST_F(JournalFixture, OnlyOneHolderOfTheLock) {
  const QString lockPath = dir.filePath("Veltrano.lock");
  TJournalLock first, second;
  EXPECT_EQ(first.Acquire(lockPath), TJournalLock::TResult::Acquired);
  EXPECT_EQ(second.Acquire(lockPath), TJournalLock::TResult::Busy);
  first.Release();
  EXPECT_EQ(second.Acquire(lockPath), TJournalLock::TResult::Acquired);
  EXPECT_EQ(first.Acquire(dir.filePath("missing/Veltrano.lock")), TJournalLock::TResult::Failed);
}

}  // namespace

TEST_F(JournalFixture, AJournalBeyondTheLimitIsNotReadButKeptAside) {
  {
    TJournal journal(path);
    WriteRace(journal);
  }
  QFile file(path);
  ASSERT_TRUE(file.resize(kMaxJournalBytes + 1));  // sparse: nothing is written
  const TJournalContents read = ReadJournal(path);
  EXPECT_TRUE(read.Exists);
  EXPECT_TRUE(read.TooLarge);
  EXPECT_EQ(read.CorruptLine, 1);
  EXPECT_FALSE(read.HasContent);
  EXPECT_EQ(read.ValidLines, 0);

  TJournal journal(path);
  const QString kept = journal.Begin(Idle(), "OPEN");
  ASSERT_FALSE(kept.isEmpty());
  EXPECT_EQ(QFileInfo(kept).size(), kMaxJournalBytes + 1);
  EXPECT_EQ(ReadJournal(path).ValidLines, 1);

  // At the limit a journal is still read: only larger ones are refused.
  QFile::remove(kept);
  TJournal small(dir.filePath("small.journal"));
  WriteRace(small);
  EXPECT_FALSE(ReadJournal(dir.filePath("small.journal")).TooLarge);
}

TEST_F(JournalFixture, ReadingLineByLineKeepsTheTornAndDamagedRules) {
  TJournal journal(path);
  WriteRace(journal);
  journal.Close(SampleRace());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray whole = file.readAll();
  file.close();
  const QList<QByteArray> lines = Lines(path);
  ASSERT_EQ(lines.size(), 4);
  EXPECT_TRUE(ReadJournal(path).Closed);

  // A damaged line with whole lines behind it stops the replay there.
  WriteAll(path, lines[0] + "\nXX" + lines[1] + "\n" + lines[2] + "\n" + lines[3] + "\n");
  TJournalContents read = ReadJournal(path);
  EXPECT_EQ(read.CorruptLine, 2);
  EXPECT_EQ(read.ValidLines, 1);
  // A damaged last whole line is one the program died writing, also with a torn rest behind it.
  for (const QByteArray& rest : {QByteArray(), lines[3].left(5)}) {
    WriteAll(path, lines[0] + "\n" + lines[1] + "\nXX" + lines[2] + "\n" + rest);
    read = ReadJournal(path);
    EXPECT_EQ(read.CorruptLine, 0);
    EXPECT_TRUE(read.TornTail);
    EXPECT_EQ(read.ValidLines, 2);
  }
  // No line end at all after the last line: torn, the lines before count.
  WriteAll(path, whole.left(whole.size() - 1));
  read = ReadJournal(path);
  EXPECT_TRUE(read.TornTail);
  EXPECT_FALSE(read.Closed);
  EXPECT_EQ(read.ValidLines, 3);
}

TEST_F(JournalFixture, OpenTimesMadeNumberedAndDroppedAreReplayedAndAWrongCountIsDamage) {
  {
    TJournal journal(path);
    TRaceSnapshot race = WriteRace(journal);
    const QString a = "4000000200||", b = "4000000300|\t\\|\n\r|Zoë~+#";
    for (const auto& [event, openTimes] : std::vector<std::pair<QString, QStringList>>{
             {"TIME", {a}}, {"TIME", {a, b, ""}}, {"LAP", {a, b, ""}}, {"ASSIGN", {"4000000200|7|", b, ""}}, {"DROP", {}}}) {
      const qsizetype before = Lines(path).size();
      if (event == "LAP") race.Rows[1][pcLapCount] = "3";  // a line that keeps the open times
      race.OpenTimes = openTimes;
      journal.Record(event, race);
      journal.Record(event, race);  // nothing changed: no line
      EXPECT_EQ(Lines(path).size(), before + 1) << event.toStdString();
      EXPECT_EQ(ReadJournal(path).State, race) << event.toStdString();
    }
  }
  // The second TIME line with another count than its three entries.
  QList<QByteArray> lines = Lines(path);
  QList<QByteArray> fields = lines[4].chopped(10).split('\t');
  for (const char* count : {"2", "4", "-1"}) {
    fields[18] = count;
    EXPECT_FALSE(DecodeJournalLine(Sealed(fields.join('\t')))) << count;
  }
  // The first TIME line stripped of its entry: its count no longer fits the list before it.
  auto made = DecodeJournalLine(lines[3]);
  ASSERT_TRUE(made);
  made->OpenTimes.reset();
  lines[3] = EncodeJournalLine(*made).chopped(1);
  WriteAll(path, lines.join('\n') + '\n');
  EXPECT_EQ(ReadJournal(path).CorruptLine, 4);

  // Lines holding the whole race carry the open times: a journal of nothing else is kept.
  TRaceSnapshot idle = Idle();
  idle.OpenTimes = {"5|"};
  TJournal journal(path);
  journal.Begin(idle, "OPEN");
  journal.Close(idle);
  const TJournalContents closed = ReadJournal(path);
  EXPECT_TRUE(closed.Closed && closed.HasContent);
  EXPECT_EQ(closed.State.OpenTimes, idle.OpenTimes);
}

TEST_F(JournalFixture, ALineOfTheSecondFormatDecodesAsBeforeWithoutOpenTimes) {
  const QByteArray v2 = "VJ2\t1\tRESTORE\t123456\t1796684400000\tboot-1\trunning\t120000\t0\t5000\t5000\t5000\t5000\t5000"
                        "\t0\t1\t2\t1\t#1\t\t7\tAnna\tF\t\t\t\t\t0,9\t1\t\t0,9\t120900\t120000\tK120000|120900|\t+a\\tb";
  const auto record = DecodeJournalLine(Sealed(v2));
  ASSERT_TRUE(record);
  EXPECT_EQ(record->Rows.at(0).second.value(kProtocolColumns), "K120000|120900|");
  TRaceSnapshot state;
  state.OpenTimes = {"5|"};
  ASSERT_TRUE(ApplyJournalRecord(*record, state));
  EXPECT_EQ(state.Corrections, QStringList{"a\tb"});
  EXPECT_TRUE(state.OpenTimes.isEmpty());
  EXPECT_FALSE(DecodeJournalLine(Sealed(v2 + "\t~5|"))) << "the second format has no open times";
}

namespace {

// Stations' keys, their pass ids and open times changing anywhere in the list, over random races:
// every line replays to the state it was written from, and a line carries only the part of the
// list that changed.
TEST_F(JournalFixture, RandomChangesOfOpenTimesAndStationIdsReplayExactly) {
  std::mt19937 random(27);
  TJournal journal(path);
  TRaceSnapshot race = WriteRace(journal);
  int serial = 0;
  for (int step = 0; step < 300; ++step) {
    QStringList& times = race.OpenTimes;
    switch (random() % 6) {
      case 0: times.insert(qsizetype(random() % (times.size() + 1)), QString("%1|%2|Handy %3").arg(4000000000u + ++serial).arg(random() % 3 ? "" : "12").arg(random() % 4)); break;
      // Two taps of one station in the same millisecond read alike.
      case 1: if (!times.isEmpty()) times.insert(qsizetype(random() % (times.size() + 1)), times[qsizetype(random() % times.size())]); break;
      case 2: if (!times.isEmpty()) times.removeAt(qsizetype(random() % times.size())); break;
      case 3: if (!times.isEmpty()) times[qsizetype(random() % times.size())] += "9"; break;
      case 4: race.StationIds << QString("a%1-%2").arg(random() % 100).arg(++serial); break;
      default: race.StationToken = random() % 2 ? QString::number(random(), 16) : QString(); break;
    }
    journal.Record("TIME", race);
    ASSERT_EQ(ReadJournal(path).State, race) << "step " << step;
  }
  // A long list with one time added at its end: the line holds that one, not the list.
  race.OpenTimes.clear();
  for (int k = 0; k < 500; ++k) race.OpenTimes << QString("%1||Handy 1").arg(4100000000u + k);
  journal.Record("TIME", race);
  race.OpenTimes << "4200000000||Handy 2";
  journal.Record("TIME", race);
  EXPECT_LT(Lines(path).last().size(), 1000);
  EXPECT_EQ(ReadJournal(path).State, race);
}

TEST_F(JournalFixture, ALineOfTheThirdFormatDecodesWithoutStationsAndAKeptPartMustFit) {
  const QByteArray v3 = "VJ3\t1\tTIME\t123456\t1796684400000\tboot-1\trunning\t120000\t0\t5000\t5000\t5000\t5000\t5000"
                        "\t0\t1\t1\t0\t1\t~5||";
  const auto record = DecodeJournalLine(Sealed(v3));
  ASSERT_TRUE(record);
  TRaceSnapshot state;
  state.StationToken = "old";
  state.StationIds = {"x"};
  ASSERT_TRUE(ApplyJournalRecord(*record, state));
  EXPECT_EQ(state.OpenTimes, QStringList{"5||"});
  EXPECT_TRUE(state.StationToken.isEmpty() && state.StationIds.isEmpty());
  EXPECT_FALSE(DecodeJournalLine(Sealed(v3 + "\t=id"))) << "the third format has no station ids";
  // The fourth: a kept part larger than the list before it is damage, as is a count that disagrees.
  const QByteArray v4 = "VJ4\t1\tTIME\t123456\t1796684400000\tboot-1\trunning\t120000\t0\t5000\t5000\t5000\t5000\t5000"
                        "\t0\t1\t1\t0\t3\tkey\t1\t%1,1\t~6||\t=id";
  const auto kept = DecodeJournalLine(Sealed(v4));
  ASSERT_TRUE(kept);
  EXPECT_FALSE(ApplyJournalRecord(*kept, state));
  state.OpenTimes = {"4||", "5||"};
  ASSERT_TRUE(ApplyJournalRecord(*kept, state));
  EXPECT_EQ(state.OpenTimes, (QStringList{"4||", "6||", "5||"}));
  EXPECT_EQ(state.StationToken, "key");
  EXPECT_EQ(state.StationIds, QStringList{"id"});
  QByteArray wrong = v4;
  EXPECT_FALSE(DecodeJournalLine(Sealed(wrong.replace("\t3\tkey", "\t4\tkey"))));
}

}  // namespace

namespace {

// The rows of a session as its grid and records hold them now, read afresh.
std::vector<QStringList> RowsAfresh(const TSortGrid& grid, TProtocol& protocol) {
  std::vector<QStringList> rows;
  for (int32_t r = 0; r < grid.RowCount(); ++r) {
    QStringList row;
    for (int32_t c = 0; c < kProtocolColumns; ++c) row << grid.Cells(c, r);
    row << (r > 0 ? protocol.RecordText(r) : QString());
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

// A journal told the rows each change touched writes, line for line, what one comparing every
// row writes: over random races of starts, laps, stops that rank (ties, categories differing in
// case), removals, undo and redo, and a change the session cannot name rows for. Its replay is
// the race.
TEST_F(JournalFixture, ToldWhatEachChangeTouchedItWritesTheLinesOfComparingEveryRow) {
  platform::ManualClock clock;
  platform::SetTickSource(&clock);
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    TSortGrid grid;
    grid.resize(900, 400);
    TRaceSession session{grid, [](int k) { return k * 1000; }};
    TProtocol& protocol = session.Protocol();
    protocol.StartUp();
    const QString toldPath = dir.filePath(QString("told%1.journal").arg(seed));
    const QString everyPath = dir.filePath(QString("every%1.journal").arg(seed));
    TJournal told(toldPath), every(everyPath);
    auto head = [&] {
      TRaceSnapshot state;
      state.State = TRaceSnapshot::TState::Running;
      state.CanSort = grid.SortOptions().CanSort();
      state.SelectedRow = grid.Row();
      state.Corrections = session.Corrections().Lines();
      return state;
    };
    TRaceSnapshot first = head();
    first.Rows = RowsAfresh(grid, protocol);
    told.Begin(first, "OPEN");
    every.Begin(first, "OPEN");
    session.AddListener([&](const TSessionChange& change) {
      if (change.Event.isEmpty()) return;
      told.Record(change.Event, head(), session.Rows(), change.Touched ? &*change.Touched : nullptr);
      TRaceSnapshot state = head();
      state.Rows = RowsAfresh(grid, protocol);
      every.Record(change.Event, state);
    });

    std::mt19937 random(seed);
    uint32_t tick = 100000;
    const QStringList categories = {"M", "m", "W"};
    for (int step = 0; step < 150; ++step) {
      tick += 1000 * (random() % 3);  // equal times now and then
      clock.Set(tick);
      const int32_t riders = grid.RowCount() - 2;
      const int32_t row = riders > 0 ? 1 + static_cast<int32_t>(random() % static_cast<uint32_t>(riders)) : 1;
      auto press = [&](const QString& event, auto&& operation) {
        grid.SetRow(row);
        session.Command(event, [&] { session.Change(event, "Nr. x", QString(), operation); });
      };
      switch (random() % 8) {
        case 0:
        case 1: {
          grid.SetRow(grid.RowCount() - 1);
          const QString nr = QString::number(step + 1);
          session.Change("START " + nr, "Nr. " + nr, "START", [&] {
            protocol.RecordStart(tick, nr, "Fahrer " + nr, categories[qsizetype(random() % 3)]);
          });
          break;
        }
        case 2:
        case 3: press("LAP", [&] { protocol.RecordLap(tick); }); break;
        case 4: press("STOPP", [&] { protocol.StopRider(tick); }); break;
        case 5:
          grid.SetRow(row);
          session.Change("Zeile entfernen", "Nr. x", "CUT", [&] { protocol.mCutClick(); });
          break;
        case 6: random() % 4 ? session.Undo() : session.Changed("ENDE"); break;
        default: session.Redo(); break;
      }
      ASSERT_EQ(Lines(toldPath), Lines(everyPath)) << "seed " << seed << ", step " << step;
    }
    EXPECT_EQ(ReadJournal(toldPath).State.Rows, RowsAfresh(grid, protocol)) << "seed " << seed;
    EXPECT_GT(Lines(toldPath).size(), 60) << "seed " << seed;
  }
  platform::SetTickSource(nullptr);
}
