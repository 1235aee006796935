// Files that are too large or broken, through the real window: a huge participant list, one
// line of megabytes, binary bytes, NUL bytes, a file that cannot be read or never ends; a
// settings file that is garbage, torn or has the wrong types; a journal cut short or
// overwritten. Each gives its message or falls back silently, keeps the window responsive
// (every load measured against 2 s) and leaves the protocol as it was.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QComboBox>
#include <QRandomGenerator>
#include <QTest>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "app/FMain.h"
#include "app/TestProgram.h"
#include "common/Doubles.h"
#include "common/TestPipe.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "io/Journal.h"
#include "platform/KeyStore.h"
#include "platform/LocalTime.h"
#include "platform/LocaleFormats.h"
#include "race/Protocol.h"
#include "widgets/LbSpeedButton.h"

namespace {

using testing_doubles::Doubles;

// What the operator may wait for at most before the window answers again.
constexpr qint64 kMaxFreezeMs = 2000;

// The processor time of the user-interface thread: what the window spends on a load, whatever
// else the machine runs meanwhile (the tests run in parallel, beside sanitizers).
qint64 ThreadMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<qint64>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

struct HostileFiles : ProgramFixture {

  void SetUp() override {
    QFile::remove(platform::KeyStore::DefaultPath());
    for (const QString& name : QDir().entryList({"*.journal", "Veltrano.txt", "hostile*"})) QFile::remove(name);
    WriteBytes("Kategorie.txt", "Elite\r\nDamen\r\n");
    platform::PinFormatLocale(QLocale(QLocale::German, QLocale::Germany));
    platform::SetNowSource([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 0)); });
    Doubles().clock.Set(1000000);
  }
  void TearDown() override {
    program.reset();
    for (const QString& name : QDir().entryList({"*.journal", "hostile*"})) QFile::remove(name);
    QFile::remove(platform::KeyStore::DefaultPath());
    platform::SetNowSource({});
    platform::PinFormatLocale(std::nullopt);
  }


  std::vector<QStringList> Protocol() {
    std::vector<QStringList> rows;
    TSortGrid* grid = Form().SortGrid1;
    for (int32_t r = 0; r < grid->RowCount(); ++r) {
      QStringList row;
      for (int32_t c = 0; c < grid->ColCount(); ++c) row << grid->Cells(c, r);
      rows.push_back(row);
    }
    return rows;
  }

  // Loads a participant file through the load button and its open dialog; returns how long the
  // window was busy with it (processor time of its thread), the time until it has handled the
  // events the load left behind included; wallMs gets the elapsed time.
  qint64 LoadList(const QString& path, qint64* wallMs = nullptr) {
    Doubles().fileDialogs.Answer(QFileInfo(path).absoluteFilePath());
    QElapsedTimer timer;
    timer.start();
    const qint64 cpu = ThreadMs();
    QTest::mouseClick(Form().bDB, Qt::LeftButton, {}, QPoint(5, 5));
    QCoreApplication::processEvents();
    if (wallMs) *wallMs = timer.elapsed();
    return ThreadMs() - cpu;
  }

  // A load that must be refused with a message naming the file and saying why.
  void ExpectRefused(const QString& path, const QString& why) {
    const auto before = Protocol();
    const int count = Form().DataBase.Count();
    const QString counter = Form().LabelBase->text();
    Doubles().modal.AnswerMessage(mrOk);
    const qint64 ms = LoadList(path);
    EXPECT_LT(ms, kMaxFreezeMs) << path.toStdString();
    ASSERT_EQ(Doubles().modal.History().size(), 1u) << path.toStdString();
    const QString text = Doubles().modal.History()[0].text;
    EXPECT_TRUE(text.startsWith("Die Datei \"")) << text.toStdString();
    EXPECT_TRUE(text.endsWith(why)) << text.toStdString();
    EXPECT_EQ(Protocol(), before);
    EXPECT_EQ(Form().DataBase.Count(), count);
    EXPECT_EQ(Form().LabelBase->text(), counter);
    Doubles().modal.Reset();
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Participant lists

TEST_F(HostileFiles, ListOfAHundredThousandRidersLoadsWithoutFreezingTheWindow) {
  QByteArray bytes = "Nr.\tName\tKategorie\r\n";
  for (int i = 1; i <= 100000; ++i) bytes += QByteArray::number(i) + "\tFahrer Nummer " + QByteArray::number(i) + "\tElite\r\n";
  WriteBytes("hostile-100k.txt", bytes);

  TFormMain& form = Open();
  const auto before = Protocol();
  qint64 wall = 0;
  const qint64 ms = LoadList("hostile-100k.txt", &wall);
  std::printf("[ timing ] 100,000-rider list (%lld bytes) loaded in %lld ms (%lld ms elapsed)\n",
              static_cast<long long>(bytes.size()), static_cast<long long>(ms), static_cast<long long>(wall));
  EXPECT_LT(ms, kMaxFreezeMs);
  EXPECT_TRUE(Doubles().modal.History().empty());
  EXPECT_EQ(form.DataBase.Count(), 100000);
  EXPECT_EQ(form.LabelBase->text(), "1 von 100000");
  EXPECT_EQ(form.cbStartN->count(), 100000);
  EXPECT_EQ(form.eName->text(), "Fahrer Nummer 1");
  // Only the column titles come from the list; every row of the protocol stays.
  auto after = Protocol();
  ASSERT_EQ(after.size(), before.size());
  for (size_t r = 1; r < after.size(); ++r) EXPECT_EQ(after[r], before[r]);

  // Stepping to the end answers at once.
  const qint64 cpu = ThreadMs();
  form.cbStartN->setCurrentIndex(99999);
  QCoreApplication::processEvents();
  EXPECT_LT(ThreadMs() - cpu, kMaxFreezeMs);
}

TEST_F(HostileFiles, ASingleLineOfTenMegabytesIsRefusedAtOnce) {
  WriteBytes("hostile-line.txt", QByteArray(10 * 1024 * 1024, 'x'));
  Open();
  const qint64 cpu = ThreadMs();
  ExpectRefused("hostile-line.txt", "Sie ist zu groß für eine Liste.");
  std::printf("[ timing ] 10 MB single line refused in %lld ms\n", static_cast<long long>(ThreadMs() - cpu));
}

TEST_F(HostileFiles, ALineOfSevenMegabytesJustUnderTheLimitLoadsWithoutFreezing) {
  // Below the size limit the list is read; a name of megabytes must not stall the window.
  QByteArray bytes = "7\t" + QByteArray(7 * 1024 * 1024, 'n') + "\tElite\r\n8\tBert\tDamen\r\n";
  WriteBytes("hostile-long.txt", bytes);
  TFormMain& form = Open();
  const auto before = Protocol();
  qint64 wall = 0;
  const qint64 ms = LoadList("hostile-long.txt", &wall);
  std::printf("[ timing ] 7 MB single line loaded in %lld ms (%lld ms elapsed)\n", static_cast<long long>(ms),
              static_cast<long long>(wall));
  EXPECT_LT(ms, kMaxFreezeMs);
  EXPECT_TRUE(Doubles().modal.History().empty());
  EXPECT_EQ(form.DataBase.Count(), 2);
  EXPECT_EQ(form.cbStartN->currentText(), "7");
  auto after = Protocol();
  for (size_t r = 1; r < after.size(); ++r) EXPECT_EQ(after[r], before[r]);
}

TEST_F(HostileFiles, BinaryAndNulBytesLoadAsTextWithoutHarm) {
  QByteArray binary(64 * 1024, '\0');
  QRandomGenerator random(13);
  for (char& c : binary) c = static_cast<char>(random.bounded(256));
  WriteBytes("hostile-binary.txt", binary);
  WriteBytes("hostile-nul.txt", QByteArray("1\tAn\0na\tElite\r\n\0\0\0\r\n2\t\0\tDamen\r\n", 26));

  TFormMain& form = Open();
  const auto before = Protocol();
  for (const char* name : {"hostile-binary.txt", "hostile-nul.txt"}) {
    const qint64 ms = LoadList(name);
    EXPECT_LT(ms, kMaxFreezeMs) << name;
    EXPECT_TRUE(Doubles().modal.History().empty()) << name;
    EXPECT_GT(form.DataBase.Count(), 0) << name;
    auto after = Protocol();
    ASSERT_EQ(after.size(), before.size());
    for (size_t r = 1; r < after.size(); ++r) EXPECT_EQ(after[r], before[r]) << name;
  }
  // The NUL bytes stay in the texts; nothing is cut at them.
  EXPECT_EQ(form.DataBase.Count(), 3);
  EXPECT_EQ(form.eName->text(), QString::fromUtf8("An\0na", 5));
}

TEST_F(HostileFiles, UnreadableFilesAndPipesAreRefusedWithAMessage) {
  Open();
  // A file whose reading fails, for any user: the process's own memory at address 0.
  ExpectRefused("/proc/self/mem", "Lesefehler.");
  if (geteuid() != 0) {
    WriteBytes("hostile-locked.txt", "1\tAnna\r\n");
    QFile::setPermissions("hostile-locked.txt", QFileDevice::Permissions());
    ExpectRefused("hostile-locked.txt", "Zugriff verweigert.");
  }
  // A named pipe would block the window until someone writes to it.
  ASSERT_EQ(mkfifo("hostile-pipe.txt", 0600), 0);
  ExpectRefused("hostile-pipe.txt", "Das ist keine Datei.");
}

// ---------------------------------------------------------------------------------------------
// The settings file

TEST_F(HostileFiles, BrokenSettingsFallBackToTheDefaultsSilently) {
  // The window as it opens without any settings.
  Open();
  const QRect defaults = Form().geometry();
  program.reset();

  const QByteArray header = "Windows Registry Editor Version 5.00\r\n\r\n[Software\\Veltrano]\r\n";
  QByteArray binary(4096, '\0');
  QRandomGenerator random(5);
  for (char& c : binary) c = static_cast<char>(random.bounded(256));
  const QByteArray cases[] = {
      binary,
      header + "\"Left\"=dword:000000",                     // torn in a value
      header + "\"Left\"=\"100\"\r\n\"Top\"=dword:00000010\r\n",  // a text where a number belongs
      header + "\"Left\"=hex:01,02\r\n",                      // another registry type
      header + QByteArray(100000, '['),                       // a line of brackets
  };
  for (const QByteArray& bytes : cases) {
    QDir().mkpath(QFileInfo(platform::KeyStore::DefaultPath()).path());
    WriteBytes(platform::KeyStore::DefaultPath(), bytes);
    const qint64 cpu = ThreadMs();
    Open();
    EXPECT_LT(ThreadMs() - cpu, kMaxFreezeMs);
    EXPECT_TRUE(Doubles().modal.History().empty());
    EXPECT_EQ(Form().geometry(), defaults) << bytes.left(60).toStdString();
    program.reset();
    // Closing wrote the settings again, readable and of the right type.
    platform::KeyStore store;
    ASSERT_TRUE(store.OpenKey("Software\\Veltrano", false));
    EXPECT_TRUE(store.ReadInteger("Left").has_value());
    EXPECT_TRUE(store.ReadInteger("CountDown").has_value());
  }
}

// ---------------------------------------------------------------------------------------------
// The race journal

TEST_F(HostileFiles, AJournalOfGarbageIsKeptAsideAndTheWindowStartsClean) {
  QByteArray garbage(32 * 1024, '\0');
  QRandomGenerator random(7);
  for (char& c : garbage) c = static_cast<char>(random.bounded(256));
  garbage += "\nVJ1\t1\tOPEN\n";
  WriteBytes("Veltrano.journal", garbage);

  TFormMain& form = Open();
  const qint64 cpu = ThreadMs();
  form.StartJournal();
  EXPECT_LT(ThreadMs() - cpu, kMaxFreezeMs);
  // Nothing to restore: no question, an empty protocol, and the file is not lost.
  EXPECT_TRUE(Doubles().modal.History().empty());
  EXPECT_EQ(form.SortGrid1->RowCount(), 2);
  const QStringList kept = QDir().entryList({"Veltrano-*.journal"});
  ASSERT_EQ(kept.size(), 1);
  QFile file(kept[0]);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), garbage);
  EXPECT_FALSE(ReadJournal("Veltrano.journal").HasContent);
}

TEST_F(HostileFiles, AJournalCutInItsFirstLineRestoresNothing) {
  {
    TFormMain& form = Open();
    form.StartJournal();
    form.eName->setText("Anna");
    QTest::keyClick(form.SortGrid1, Qt::Key_F5);
  }
  QFile file("Veltrano.journal");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray whole = file.readAll();
  file.close();
  program.reset();
  const qsizetype firstEnd = whole.indexOf('\n');
  ASSERT_GT(firstEnd, 10);
  // Cut in the middle of the first line: no line is whole, so there is nothing to restore.
  WriteBytes("Veltrano.journal", whole.left(firstEnd / 2));
  for (const QString& name : QDir().entryList({"Veltrano-*.journal"})) QFile::remove(name);

  TFormMain& form = Open();
  form.StartJournal();
  EXPECT_TRUE(Doubles().modal.History().empty());
  EXPECT_EQ(form.SortGrid1->RowCount(), 2);
  EXPECT_EQ(form.SortGrid1->Cells(pcName, 1), "");
  EXPECT_EQ(QDir().entryList({"Veltrano-*.journal"}).size(), 1);
}

TEST_F(HostileFiles, PipesInPlaceOfTheSettingsAndTheJournalNeverBlockTheStart) {
  QDir().mkpath(QFileInfo(platform::KeyStore::DefaultPath()).path());
  TestPipe settings(platform::KeyStore::DefaultPath());
  TestPipe journal("Veltrano.journal");
  ASSERT_TRUE(settings.Created() && journal.Created());

  TFormMain& form = Open();
  form.StartJournal();
  EXPECT_TRUE(Doubles().modal.History().empty());
  EXPECT_EQ(form.SortGrid1->RowCount(), 2);
  // The pipe is moved aside and a journal begins in a real file; the settings are the defaults.
  EXPECT_TRUE(QFileInfo("Veltrano.journal").isFile());
  const QStringList kept = QDir().entryList({"Veltrano-*.journal"}, QDir::AllEntries | QDir::System);
  ASSERT_EQ(kept.size(), 1);
  QFile::remove(kept[0]);
  program.reset();
  // Closing does not write settings over a store it could not read.
  EXPECT_FALSE(QFileInfo(platform::KeyStore::DefaultPath()).isFile());
  EXPECT_FALSE(settings.ReaderWaited());
  EXPECT_FALSE(journal.ReaderWaited());
}

TEST_F(HostileFiles, OversizedSettingsAndJournalAreKeptAsideNotRead) {
  // A settings file of more than a megabyte and a journal beyond its limit (sparse: the disk
  // holds almost nothing of it).
  QDir().mkpath(QFileInfo(platform::KeyStore::DefaultPath()).path());
  const QByteArray settings = "Windows Registry Editor Version 5.00\r\n\r\n[Software\\Veltrano]\r\n\"Left\"=dword:00000064\r\n" +
                              QByteArray(platform::KeyStore::kMaxFileBytes, ';');
  WriteBytes(platform::KeyStore::DefaultPath(), settings);
  {
    QFile journal("Veltrano.journal");
    ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
    journal.write("VJ1\t1\tOPEN\n");
    ASSERT_TRUE(journal.resize(kMaxJournalBytes + 1));
  }

  Doubles().modal.AnswerMessage(1);
  const qint64 cpu = ThreadMs();
  TFormMain& form = Open();
  form.StartJournal();
  EXPECT_LT(ThreadMs() - cpu, kMaxFreezeMs);
  // The operator is told where the journal went; the window starts clean with the defaults.
  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  const QString told = Doubles().modal.History()[0].text;
  EXPECT_EQ(Doubles().modal.History()[0].icon, MsgIcon::Warning);
  EXPECT_TRUE(told.contains("größer als 512 MB")) << told.toStdString();
  EXPECT_TRUE(told.contains("Veltrano-2026-12-07-09-00-00.journal")) << told.toStdString();
  EXPECT_EQ(form.SortGrid1->RowCount(), 2);
  EXPECT_EQ(QFileInfo("Veltrano-2026-12-07-09-00-00.journal").size(), kMaxJournalBytes + 1);
  EXPECT_EQ(ReadJournal("Veltrano.journal").ValidLines, 1);
  program.reset();

  // The settings file lies beside the new one, byte for byte; the new one is a settings file.
  const QString aside = QFileInfo(platform::KeyStore::DefaultPath()).dir().filePath("user-2026-12-07-09-00-00.reg");
  QFile kept(aside);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), settings);
  platform::KeyStore store;
  ASSERT_TRUE(store.OpenKey("Software\\Veltrano", false));
  EXPECT_TRUE(store.ReadInteger("Left").has_value());
  EXPECT_LT(QFileInfo(platform::KeyStore::DefaultPath()).size(), 4096);
  QFile::remove(aside);
}
