#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "common/TestPipe.h"
#include "platform/KeyStore.h"
#include "platform/LocalTime.h"

using namespace platform;

namespace {

class KeyStoreTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  QString Path() const { return dir_.filePath(QStringLiteral("Veltrano/user.reg")); }

  void WriteRaw(const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(Path()).absolutePath());
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
  }

  QByteArray ReadRaw() const {
    QFile file(Path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir dir_;
};

const QByteArray kSample =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[Software\\Veltrano]\r\n"
    "\"Left\"=dword:00000064\r\n"
    "\"Top\"=dword:ffffffff\r\n"
    "\"Sound\"=\"1\"\r\n"
    "@=\"Zeitnahme\"\r\n"
    "\"Path\"=\"C:\\\\Rennen\\\\\\\"Start\\\"\"\r\n"
    "\r\n"
    "[Software\\Classes\\htmlfile]\r\n"
    "@=\"Webseite\"\r\n"
    "\r\n";

}  // namespace

TEST_F(KeyStoreTest, ValuesKeepTheirTypeAndTypedReadsFailOnOtherTypes) {
  WriteRaw(kSample);
  KeyStore store(Path());
  ASSERT_TRUE(store.OpenKey(QStringLiteral("\\Software\\Veltrano"), false));
  EXPECT_EQ(store.ReadInteger(QStringLiteral("Left")), 100);
  EXPECT_EQ(store.ReadInteger(QStringLiteral("Top")), -1);
  // "Sound" is a text: the integer read fails, the text read does not.
  EXPECT_FALSE(store.ReadInteger(QStringLiteral("Sound")).has_value());
  EXPECT_FALSE(store.ReadBool(QStringLiteral("Sound")).has_value());
  EXPECT_EQ(store.ReadString(QStringLiteral("Sound")), QStringLiteral("1"));
  EXPECT_FALSE(store.ReadString(QStringLiteral("Left")).has_value());
  EXPECT_FALSE(store.ReadInteger(QStringLiteral("Width")).has_value());
  EXPECT_EQ(store.ReadDefault(), QStringLiteral("Zeitnahme"));
  EXPECT_EQ(store.ReadString(QStringLiteral("Path")), QStringLiteral("C:\\Rennen\\\"Start\""));

  // Keys and names compare without regard to case; the registry root may be named.
  ASSERT_TRUE(store.OpenKey(QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\veltrano\\"), false));
  EXPECT_EQ(store.ReadInteger(QStringLiteral("LEFT")), 100);
  ASSERT_TRUE(store.OpenKey(QStringLiteral("Software\\Classes\\HTMLFILE"), false));
  EXPECT_EQ(store.ReadDefault(), QStringLiteral("Webseite"));
  EXPECT_FALSE(store.ReadInteger(QStringLiteral("Left")).has_value());
  store.CloseKey();
  EXPECT_FALSE(store.HasOpenKey());
  EXPECT_FALSE(store.ReadInteger(QStringLiteral("Left")).has_value());
}

TEST_F(KeyStoreTest, OpeningWithoutCreateNeverCreates) {
  KeyStore store(Path());
  EXPECT_FALSE(store.OpenKey(QStringLiteral("\\Software\\Veltrano"), false));
  EXPECT_FALSE(store.HasOpenKey());
  EXPECT_FALSE(QFile::exists(Path()));
  EXPECT_FALSE(store.WriteInteger(QStringLiteral("Left"), 1));  // no key open
  EXPECT_FALSE(QFile::exists(Path()));

  ASSERT_TRUE(store.OpenKey(QStringLiteral("\\Software\\Veltrano"), true));
  EXPECT_EQ(ReadRaw(), QByteArray("Windows Registry Editor Version 5.00\r\n\r\n[Software\\Veltrano]\r\n\r\n"));
  // A parent exists as soon as a key below it does; a sibling does not.
  KeyStore other(Path());
  EXPECT_TRUE(other.OpenKey(QStringLiteral("Software"), false));
  EXPECT_FALSE(other.OpenKey(QStringLiteral("Software\\Velt"), false));
  EXPECT_FALSE(other.OpenKey(QString(), true));
}

TEST_F(KeyStoreTest, WrittenFileIsTheRegistryEditorFormat) {
  KeyStore store(Path());
  ASSERT_TRUE(store.OpenKey(QStringLiteral("\\Software\\Veltrano"), true));
  ASSERT_TRUE(store.WriteInteger(QStringLiteral("Left"), 100));
  ASSERT_TRUE(store.WriteInteger(QStringLiteral("C3"), 4210752));
  ASSERT_TRUE(store.WriteInteger(QStringLiteral("Top"), -8));
  ASSERT_TRUE(store.WriteBool(QStringLiteral("Sound"), true));
  ASSERT_TRUE(store.WriteString(QStringLiteral("Name"), QStringLiteral("a\\b \"c\" \u00e4\r\nz")));
  ASSERT_TRUE(store.WriteInteger(QStringLiteral("LEFT"), 101));  // same value, other spelling
  EXPECT_EQ(ReadRaw(), QByteArray("Windows Registry Editor Version 5.00\r\n"
                                  "\r\n"
                                  "[Software\\Veltrano]\r\n"
                                  "\"Left\"=dword:00000065\r\n"
                                  "\"C3\"=dword:00404040\r\n"
                                  "\"Top\"=dword:fffffff8\r\n"
                                  "\"Sound\"=dword:00000001\r\n"
                                  "\"Name\"=\"a\\\\b \\\"c\\\" \xE4\\r\\nz\"\r\n"
                                  "\r\n"));

  KeyStore again(Path());
  ASSERT_TRUE(again.OpenKey(QStringLiteral("Software\\Veltrano"), false));
  EXPECT_EQ(again.ReadInteger(QStringLiteral("left")), 101);
  EXPECT_EQ(again.ReadInteger(QStringLiteral("Top")), -8);
  EXPECT_EQ(again.ReadBool(QStringLiteral("Sound")), true);
  EXPECT_EQ(again.ReadString(QStringLiteral("Name")), QStringLiteral("a\\b \"c\" \u00e4\r\nz"));
  EXPECT_EQ(QDir(QFileInfo(Path()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
            QStringList{"user.reg"});
}

TEST_F(KeyStoreTest, TwoInstancesKeepEachOthersKeys) {
  KeyStore first(Path());
  KeyStore second(Path());
  ASSERT_TRUE(first.OpenKey(QStringLiteral("Software\\Veltrano"), true));
  ASSERT_TRUE(second.OpenKey(QStringLiteral("Software\\Zweitname"), true));
  ASSERT_TRUE(first.WriteInteger(QStringLiteral("Left"), 1));
  ASSERT_TRUE(second.WriteInteger(QStringLiteral("Left"), 2));
  ASSERT_TRUE(first.WriteInteger(QStringLiteral("Top"), 3));

  KeyStore reader(Path());
  ASSERT_TRUE(reader.OpenKey(QStringLiteral("Software\\Veltrano"), false));
  EXPECT_EQ(reader.ReadInteger(QStringLiteral("Left")), 1);
  EXPECT_EQ(reader.ReadInteger(QStringLiteral("Top")), 3);
  ASSERT_TRUE(reader.OpenKey(QStringLiteral("Software\\Zweitname"), false));
  EXPECT_EQ(reader.ReadInteger(QStringLiteral("Left")), 2);
}

TEST_F(KeyStoreTest, WriteWaitsForTheLockAndNeverWritesBlind) {
  WriteRaw(kSample);
  KeyStore store(Path());
  store.SetLockTimeout(50);
  ASSERT_TRUE(store.OpenKey(QStringLiteral("Software\\Veltrano"), false));
  {
    QLockFile held(Path() + QStringLiteral(".lock"));
    ASSERT_TRUE(held.tryLock(0));
    EXPECT_FALSE(store.WriteInteger(QStringLiteral("Left"), 5));
    EXPECT_EQ(ReadRaw(), kSample);
  }
  EXPECT_TRUE(store.WriteInteger(QStringLiteral("Left"), 5));

  // A store that exists but cannot be read is never replaced by what little we know.
  QTemporaryDir other;
  const QString folderAsFile = other.path();
  KeyStore blocked(folderAsFile);
  EXPECT_FALSE(blocked.OpenKey(QStringLiteral("Software\\Veltrano"), true));
  EXPECT_FALSE(blocked.WriteInteger(QStringLiteral("Left"), 5));
  EXPECT_TRUE(QFileInfo(folderAsFile).isDir());
}

TEST_F(KeyStoreTest, TornFileIsReadAsFarAsItIsReadable) {
  // Cut the store after every byte: whatever is read is right, and every value whose line
  // arrived whole is there.
  struct Expected { const char* name; int32_t value; const char* line; };
  const Expected values[] = {{"Left", 100, "\"Left\"=dword:00000064"},
                             {"Top", 0x31F, "\"Top\"=dword:0000031f"},
                             {"Width", 804, "\"Width\"=dword:00000324"}};
  QByteArray full = "Windows Registry Editor Version 5.00\r\n\r\n[Software\\Veltrano]\r\n";
  for (const Expected& e : values) full += QByteArray(e.line) + "\r\n";
  full += "\"Name\"=\"Sch\xE4" "fer\"\r\n";

  for (qsizetype cut = 0; cut <= full.size(); ++cut) {
    SCOPED_TRACE(cut);
    const QByteArray torn = full.left(cut);
    WriteRaw(torn);
    KeyStore store(Path());
    if (!store.OpenKey(QStringLiteral("Software\\Veltrano"), false)) {
      EXPECT_LT(cut, full.indexOf("[Software\\Veltrano]") + 19);
      continue;
    }
    for (const Expected& e : values) {
      const auto read = store.ReadInteger(QString::fromLatin1(e.name));
      if (read) {
        EXPECT_EQ(*read, e.value) << e.name;
      }
      const qsizetype end = full.indexOf(e.line) + qsizetype(strlen(e.line));
      if (cut > end) {
        EXPECT_TRUE(read.has_value()) << e.name;
      }
    }
    const auto name = store.ReadString(QStringLiteral("Name"));
    if (name) {
      EXPECT_EQ(*name, QStringLiteral("Sch\u00e4fer"));
    }
  }
}

TEST_F(KeyStoreTest, ANamedPipeIsUnreadableNotWaitedOnAndNeverReplaced) {
  QDir().mkpath(QFileInfo(Path()).absolutePath());
  TestPipe pipe(Path());
  ASSERT_TRUE(pipe.Created());
  KeyStore store(Path());
  EXPECT_FALSE(store.OpenKey(QStringLiteral("Software\\Veltrano"), true));
  EXPECT_FALSE(store.WriteInteger(QStringLiteral("Left"), 1));
  EXPECT_FALSE(pipe.ReaderWaited());
  EXPECT_FALSE(QFileInfo(Path()).isFile());
}

TEST_F(KeyStoreTest, GarbageIsSurvivedAndTheNextWriteCleansUp) {
  QRandomGenerator random(4711);
  for (int round = 0; round < 200; ++round) {
    QByteArray noise(static_cast<qsizetype>(random.bounded(1, 600)), '\0');
    for (char& c : noise) c = static_cast<char>(random.bounded(256));
    // Now and then some structure, so the parser gets past its first checks.
    if (round % 3 == 0) noise.prepend("[Software\\Veltrano]\r\n\"Left\"=");
    if (round % 5 == 0) noise.replace('\x01', "\r\n\"");
    WriteRaw(noise);
    KeyStore store(Path());
    if (store.OpenKey(QStringLiteral("Software\\Veltrano"), false)) {
      (void)store.ReadInteger(QStringLiteral("Left"));
      (void)store.ReadDefault();
    }
  }

  // Readable lines among damaged ones are kept; values of types we do not know are kept too.
  WriteRaw(QByteArray("\0\1garbage\r\n", 11) +
           "[Software\\Veltrano]\r\n"
           "\"Left\"=dword:zz\r\n"
           "\"Top\"=dword:00000010\r\n"
           "\"Width\"=\"unterminated\r\n"
           "\"Bin\"=hex:01,02,\\\r\n"
           "  03\r\n"
           "[Software\\Torn\r\n"
           "\"Lost\"=dword:00000001\r\n"
           "\"Height\"=dword:00000200\r\n");
  KeyStore store(Path());
  ASSERT_TRUE(store.OpenKey(QStringLiteral("Software\\Veltrano"), false));
  EXPECT_FALSE(store.ReadInteger(QStringLiteral("Left")).has_value());
  EXPECT_EQ(store.ReadInteger(QStringLiteral("Top")), 16);
  EXPECT_FALSE(store.ReadString(QStringLiteral("Width")).has_value());
  EXPECT_FALSE(store.ReadInteger(QStringLiteral("Bin")).has_value());
  EXPECT_FALSE(store.ReadInteger(QStringLiteral("Lost")).has_value());
  EXPECT_FALSE(store.ReadInteger(QStringLiteral("Height")).has_value());  // under the torn key
  ASSERT_TRUE(store.WriteInteger(QStringLiteral("Left"), 7));
  EXPECT_EQ(ReadRaw(), QByteArray("Windows Registry Editor Version 5.00\r\n"
                                  "\r\n"
                                  "[Software\\Veltrano]\r\n"
                                  "\"Top\"=dword:00000010\r\n"
                                  "\"Bin\"=hex:01,02,03\r\n"
                                  "\"Left\"=dword:00000007\r\n"
                                  "\r\n"));
}

TEST_F(KeyStoreTest, AContinuationAtTheEndOfTheFileDoesNotSwallowTheNextWrite) {
  WriteRaw("[Software\\Veltrano]\r\n\"Bin\"=hex:01,02,\\\\");  // even two backslashes
  KeyStore store(Path());
  ASSERT_TRUE(store.OpenKey(QStringLiteral("Software\\Veltrano"), false));
  ASSERT_TRUE(store.WriteString(QStringLiteral("Name"), QString()));
  ASSERT_TRUE(store.WriteInteger(QStringLiteral("Left"), 3));
  KeyStore again(Path());
  ASSERT_TRUE(again.OpenKey(QStringLiteral("Software\\Veltrano"), false));
  EXPECT_EQ(again.ReadString(QStringLiteral("Name")), QString());
  EXPECT_EQ(again.ReadInteger(QStringLiteral("Left")), 3);
}

TEST_F(KeyStoreTest, RegistryEditorExportsAreRead) {
  // UTF-16 with BOM, as the registry editor saves, with deletions and a comment.
  const QString text = QStringLiteral(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "; exported by hand\r\n"
      "[HKEY_CURRENT_USER\\Software\\Veltrano]\r\n"
      "\"Left\"=dword:0000000a\r\n\"Top\"=dword:0000000b\r\n\"Top\"=-\r\n"
      "[HKEY_CURRENT_USER\\Software\\Alt]\r\n\"X\"=dword:00000001\r\n"
      "[-HKEY_CURRENT_USER\\Software\\Alt]\r\n");
  QByteArray bytes("\xFF\xFE");
  bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
  WriteRaw(bytes);
  KeyStore store(Path());
  ASSERT_TRUE(store.OpenKey(QStringLiteral("\\Software\\Veltrano"), false));
  EXPECT_EQ(store.ReadInteger(QStringLiteral("Left")), 10);
  EXPECT_FALSE(store.ReadInteger(QStringLiteral("Top")).has_value());
  EXPECT_FALSE(store.OpenKey(QStringLiteral("\\Software\\Alt"), false));
}

TEST_F(KeyStoreTest, AFileBeyondAnySettingsIsMovedAsideNeverReadOrDeleted) {
  SetNowSource([] { return QDateTime(QDate(2026, 12, 8), QTime(10, 15, 0)); });
  const QByteArray huge = kSample + QByteArray(KeyStore::kMaxFileBytes, ';');
  WriteRaw(huge);
  const QString aside = dir_.filePath(QStringLiteral("Veltrano/user-2026-12-08-10-15-00.reg"));
  {
    // Reading finds an empty store; the file waits beside it, as it was.
    KeyStore store(Path());
    EXPECT_FALSE(store.OpenKey(QStringLiteral("Software\\Veltrano"), false));
    EXPECT_FALSE(QFileInfo::exists(Path()));
    QFile kept(aside);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), huge);
  }
  // A second such file gets a name of its own; settings are written anew.
  WriteRaw(huge);
  KeyStore store(Path());
  ASSERT_TRUE(store.OpenKey(QStringLiteral("Software\\Veltrano"), true));
  EXPECT_TRUE(store.WriteInteger(QStringLiteral("Left"), 7));
  EXPECT_TRUE(QFileInfo::exists(dir_.filePath(QStringLiteral("Veltrano/user-2026-12-08-10-15-00-2.reg"))));
  EXPECT_EQ(store.ReadInteger(QStringLiteral("Left")), 7);
  EXPECT_LT(QFileInfo(Path()).size(), 1024);
  // Just at the limit a file is still a settings file.
  WriteRaw(kSample + QByteArray(KeyStore::kMaxFileBytes - kSample.size(), ';'));
  KeyStore atLimit(Path());
  ASSERT_TRUE(atLimit.OpenKey(QStringLiteral("Software\\Veltrano"), false));
  EXPECT_EQ(atLimit.ReadInteger(QStringLiteral("Left")), 100);
  SetNowSource({});
}

TEST(KeyStorePath, FollowsXdgConfigHome) {
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test");
  EXPECT_EQ(KeyStore::DefaultPath(), QStringLiteral("/tmp/xdg-test/Veltrano/user.reg"));
  qputenv("XDG_CONFIG_HOME", "relative/ignored");
  EXPECT_EQ(KeyStore::DefaultPath(), QDir::homePath() + QStringLiteral("/.config/Veltrano/user.reg"));
  qunsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(KeyStore::DefaultPath(), QDir::homePath() + QStringLiteral("/.config/Veltrano/user.reg"));
  qputenv("XDG_CONFIG_HOME", saved);
  EXPECT_EQ(KeyStore().Path(), KeyStore::DefaultPath());
}
