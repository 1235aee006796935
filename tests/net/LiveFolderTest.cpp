// The published copy of the live results: whole files only, at most one write a second, and a
// failing folder said once.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "common/Eventually.h"
#include "net/LiveFolder.h"
#include "net/LivePages.h"

namespace {

TLivePublicationPtr Publication(uint64_t serial, int riders = 3) {
  TLiveSnapshot snapshot;
  snapshot.serial = serial;
  snapshot.title = QStringLiteral("Veltrano");
  for (int i = 0; i < riders; ++i) {
    TLiveRider r;
    r.state = TLiveRider::State::OnCourse;
    r.number = QString::number(i + 1);
    r.name = QStringLiteral("Fahrer %1 mit einem langen Namen").arg(i + 1);
    snapshot.riders.push_back(r);
  }
  return std::make_shared<const TLivePublication>(RenderLivePublication(snapshot));
}

QByteArray Read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TEST(LiveFolder, WritesTheFilesAtOnceThenAtMostOnceASecondTheNewestState) {
  QTemporaryDir dir;
  TLiveFolder folder(dir.path() + "/live");  // made when first written
  folder.Offer(Publication(1));
  EXPECT_EQ(folder.Writes(), 1);
  const QDir out(dir.path() + "/live");
  EXPECT_EQ(Read(out.filePath("index.html")), Publication(1)->resources.at("/index.html").body);
  EXPECT_TRUE(out.exists("sprecher.html"));
  EXPECT_EQ(QJsonDocument::fromJson(Read(out.filePath("api/results.json")))["serial"].toInt(), 1);

  // A burst of changes within the second: one more write, of the last of them, when it is over.
  QElapsedTimer burst;
  burst.start();
  for (uint64_t serial = 2; serial <= 50; ++serial) {
    folder.Offer(Publication(serial));
    QTest::qWait(10);
  }
  EXPECT_LE(folder.Writes(), 1 + static_cast<int>(burst.elapsed() / TLiveFolder::kMinIntervalMs) + 1);
  EXPECT_SOON(QJsonDocument::fromJson(Read(out.filePath("api/results.json")))["serial"].toInt() == 50);
  const int writes = folder.Writes();
  // An older state than the one written is never written over it.
  folder.Offer(Publication(7));
  QTest::qWait(TLiveFolder::kMinIntervalMs + 100);
  EXPECT_EQ(folder.Writes(), writes);
  EXPECT_EQ(QJsonDocument::fromJson(Read(out.filePath("api/results.json")))["serial"].toInt(), 50);
}

TEST(LiveFolder, AReaderNeverSeesHalfAFile) {
  QTemporaryDir dir;
  TLiveFolder folder(dir.path());
  const QString json = QDir(dir.path()).filePath("api/results.json");
  const QString page = QDir(dir.path()).filePath("index.html");
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0}, torn{0};
  std::thread reader([&] {
    while (!stop) {
      const QByteArray data = Read(json);
      const QByteArray html = Read(page);
      if (!data.isEmpty() && QJsonDocument::fromJson(data).isNull()) ++torn;
      if (!html.isEmpty() && !html.trimmed().endsWith("</html>")) ++torn;
      ++reads;
    }
  });
  // Large states, each replacing the last as soon as the second allows.
  for (uint64_t serial = 1; serial <= 4; ++serial) {
    folder.Offer(Publication(serial, 3000));
    QTest::qWait(TLiveFolder::kMinIntervalMs + 20);
  }
  stop = true;
  reader.join();
  EXPECT_GE(folder.Writes(), 4);
  EXPECT_GT(reads.load(), 100);
  EXPECT_EQ(torn.load(), 0);
}

TEST(LiveFolder, AFolderThatCannotBeWrittenIsSaidOnceAndAgainWhenItWorks) {
  QTemporaryDir dir;
  const QString blocker = dir.path() + "/datei";
  {
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  // A file stands where the folder should be.
  TLiveFolder folder(blocker + "/live");
  QStringList said;
  folder.OnState = [&](const QString& error) { said << error; };
  folder.Offer(Publication(1));
  folder.Offer(Publication(2));
  QTest::qWait(TLiveFolder::kMinIntervalMs + 100);
  folder.Offer(Publication(3));
  ASSERT_EQ(said.size(), 1);
  EXPECT_EQ(said[0], QStringLiteral("Die Live-Ergebnisse können nicht in den Ordner \"%1/live\" geschrieben werden: der "
                                    "Ordner kann nicht angelegt werden.")
                         .arg(QDir::toNativeSeparators(blocker)));
  EXPECT_EQ(folder.Writes(), 0);
  // Back again, and no further change comes (the race is over): the folder catches up by
  // itself, with the newest state.
  QFile::remove(blocker);
  EXPECT_TRUE(QTest::qWaitFor([&] { return folder.Writes() == 1; }, TLiveFolder::kRetryMs + 2000));
  EXPECT_TRUE(Read(blocker + "/live/api/results.json").contains("\"serial\":3"));
  ASSERT_EQ(said.size(), 2);
  EXPECT_TRUE(said[1].isEmpty()) << "it works again";
}

TEST(LiveFolder, TheStateWaitingForItsSecondIsWrittenWhenTheFolderGoes) {
  QTemporaryDir dir;
  {
    TLiveFolder folder(dir.path());
    folder.Offer(Publication(1));
    folder.Offer(Publication(2));
    EXPECT_EQ(folder.Writes(), 1);
  }
  EXPECT_TRUE(Read(dir.path() + "/api/results.json").contains("\"serial\":2"));
}
