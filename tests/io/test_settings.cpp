#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "io/Settings.h"
#include "platform/KeyStore.h"

namespace {

struct SettingsStore : ::testing::Test {
  QTemporaryDir dir;
  QString path = dir.filePath("user.reg");
  const QString key = "\\Software\\Veltrano";

  void WriteFile(const QByteArray& body) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Windows Registry Editor Version 5.00\r\n\r\n[Software\\Veltrano]\r\n" + body);
  }
};

}  // namespace

TEST(SettingsKeyName, FollowsTheApplicationTitle) { EXPECT_EQ(SettingsKey(), "\\Software\\Veltrano"); }

TEST_F(SettingsStore, FirstRunKeepsEveryDefault) {
  platform::KeyStore store(path);
  TSettings s;
  EXPECT_EQ(ReadSettings(store, key, s), 0);
  EXPECT_EQ(s, TSettings{});
  EXPECT_FALSE(s.Left.has_value());
  EXPECT_EQ(s.Width, 804);
  EXPECT_EQ(s.Height, 556);
  EXPECT_EQ(s.RoundLen, 100000);
  EXPECT_EQ(s.CountDown, 30);
  EXPECT_EQ(s.FilterInd, 2);
  EXPECT_FALSE(QFile::exists(path));  // reading never creates the key
}

TEST_F(SettingsStore, ReadingStopsAtTheFirstMissingValue) {
  WriteFile("\"Left\"=dword:00000064\r\n\"Top\"=dword:00000032\r\n\"Width\"=dword:00000320\r\n"
            "\"Height\"=dword:00000200\r\n\"Sound\"=dword:00000000\r\n"
            "\"Acc\"=dword:00000005\r\n\"RoundLen\"=dword:00000fa0\r\n");
  platform::KeyStore store(path);
  TSettings s;
  EXPECT_EQ(ReadSettings(store, key, s), 5);
  EXPECT_EQ(s.Left, 100);
  EXPECT_EQ(s.Top, 50);
  EXPECT_EQ(s.Width, 800);
  EXPECT_EQ(s.Height, 512);
  EXPECT_FALSE(s.Sound);
  // C1 is missing: it and everything after it keep their defaults, though some are stored.
  EXPECT_EQ(s.Acc, 2);
  EXPECT_EQ(s.RoundLen, 100000);
}

TEST_F(SettingsStore, ATextValueStopsTheRead) {
  WriteFile("\"Left\"=dword:00000001\r\n\"Top\"=dword:00000002\r\n\"Width\"=dword:00000300\r\n"
            "\"Height\"=dword:00000190\r\n\"Sound\"=\"1\"\r\n\"C1\"=dword:000000ff\r\n");
  platform::KeyStore store(path);
  TSettings s;
  EXPECT_EQ(ReadSettings(store, key, s), 4);
  EXPECT_EQ(s.Height, 400);
  EXPECT_TRUE(s.Sound);
  EXPECT_EQ(s.C1, 0);
}

TEST_F(SettingsStore, WriteStoresAllThirteenAndReadsBack) {
  TSettings written;
  written.Left = -8;  // a window partly off the left screen edge
  written.Top = 20;
  written.Width = 900;
  written.Height = 600;
  written.Sound = false;
  written.C1 = 0x112233;
  written.Acc = 1;
  written.FilterInd = 3;
  written.RoundLen = 2500;
  written.CountDown = 45;
  {
    platform::KeyStore store(path);
    ASSERT_TRUE(WriteSettings(store, key, written));
  }
  platform::KeyStore store(path);
  TSettings read;
  EXPECT_EQ(ReadSettings(store, key, read), 13);
  EXPECT_EQ(read, written);
  ASSERT_TRUE(store.OpenKey(key, false));
  for (const char* name : {"Left", "Top", "Width", "Height", "Sound", "C1", "C2", "C3", "Acc", "C4",
                           "FilterInd", "RoundLen", "CountDown"})
    EXPECT_TRUE(store.ReadInteger(name).has_value()) << name;
}

TEST_F(SettingsStore, UnwritableStoreWritesNothing) {
  QFile blocker(dir.filePath("blocked"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  platform::KeyStore blocked(dir.filePath("blocked/user.reg"));  // a file where a folder must be
  EXPECT_FALSE(WriteSettings(blocked, key, TSettings{}));
}

TEST_F(SettingsStore, TheLiveResultsAreOffUntilAPortIsStored) {
  {
    platform::KeyStore store(path);
    TSettings s;
    ReadSettings(store, key, s);
    EXPECT_EQ(s.LivePort, 0) << "off";
    EXPECT_EQ(s.LiveClients, 200);
    EXPECT_TRUE(s.LiveFolder.isEmpty());
  }
  // A crew may switch it on by editing the store; out of range is brought into it.
  WriteFile("\"LivePort\"=dword:00001f90\r\n\"LiveClients\"=dword:00000000\r\n"
            "\"LiveFolder\"=\"/srv/www/rennen \\\"live\\\"\"\r\n");
  {
    platform::KeyStore store(path);
    TSettings s;
    ReadSettings(store, key, s);
    EXPECT_EQ(s.LivePort, 8080);
    EXPECT_EQ(s.LiveClients, 1);
    EXPECT_EQ(s.LiveFolder, "/srv/www/rennen \"live\"");
  }
  WriteFile("\"LivePort\"=dword:00100000\r\n\"LiveClients\"=\"viele\"\r\n\"LiveFolder\"=dword:00000001\r\n");
  {
    platform::KeyStore store(path);
    TSettings s;
    ReadSettings(store, key, s);
    EXPECT_EQ(s.LivePort, 65535);
    EXPECT_EQ(s.LiveClients, 200) << "a text keeps the default";
    EXPECT_TRUE(s.LiveFolder.isEmpty()) << "a number is no folder";
  }
  TSettings written;
  written.LivePort = 9000;
  written.LiveClients = 50;
  written.LiveFolder = QStringLiteral("C:\\Web\\Ergebnisse äöü");
  {
    platform::KeyStore store(path);
    ASSERT_TRUE(WriteSettings(store, key, written));
  }
  platform::KeyStore store(path);
  TSettings read;
  ReadSettings(store, key, read);
  EXPECT_EQ(read.LivePort, 9000);
  EXPECT_EQ(read.LiveClients, 50);
  EXPECT_EQ(read.LiveFolder, written.LiveFolder);
}

TEST_F(SettingsStore, MinimumLapTimeStandsOnItsOwn) {
  // A store of the thirteen alone keeps the default; one without even those still gives it.
  WriteFile("\"Left\"=dword:00000001\r\n\"MinLap\"=dword:00000007\r\n");
  {
    platform::KeyStore store(path);
    TSettings s;
    EXPECT_EQ(ReadSettings(store, key, s), 1);
    EXPECT_EQ(s.MinLap, 7);  // read although the thirteen stopped at Top
  }
  // Out of range (a hand edit) is brought into 0 .. 3600; a text keeps the default.
  for (const auto& [stored, expected] : {std::pair<QByteArray, int>{"dword:ffffffff", 0},
                                         {"dword:00100000", 3600}, {"\"5\"", 10}}) {
    WriteFile("\"MinLap\"=" + stored + "\r\n");
    platform::KeyStore store(path);
    TSettings s;
    ReadSettings(store, key, s);
    EXPECT_EQ(s.MinLap, expected) << stored.toStdString();
  }
  TSettings written;
  written.MinLap = 0;
  {
    platform::KeyStore store(path);
    ASSERT_TRUE(WriteSettings(store, key, written));
  }
  platform::KeyStore store(path);
  TSettings read;
  ReadSettings(store, key, read);
  EXPECT_EQ(read.MinLap, 0);
}
