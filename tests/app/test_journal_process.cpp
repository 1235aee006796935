// The program as a separate process on the real tick counter: part of a race, SIGKILL, a new
// start that restores, the rest of the race; the result must be the one of the same race run
// without the crash. Every step waits for the harness to say it is done, with a time limit.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>
#include <csignal>

#include "race/Protocol.h"

namespace {

constexpr int kStepTimeoutMs = 60000;
// Every flush to the disk takes 30 ms, as on a laptop's disk.
const QString kSyncDelay = QStringLiteral("--sync-delay=30");

class Harness {
public:
  Harness(const QString& folder, const QStringList& args = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", QDir(folder).filePath("config"));
    // A run whose end is timed skips the leak check, which takes longer than the end itself.
    if (args.contains(kSyncDelay)) env.insert("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1");
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(folder);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(VELTRANO_JOURNAL_HARNESS), args);
    started_ = process_.waitForStarted(kStepTimeoutMs);
  }
  ~Harness() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(kStepTimeoutMs);
    }
  }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  bool Started() const { return started_; }

  // The lines up to and including the first that starts with prefix; empty on a time-out or
  // when the harness ended first.
  QStringList WaitFor(const QString& prefix) {
    QStringList seen;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
      while (process_.canReadLine()) {
        const QString line = QString::fromUtf8(process_.readLine()).trimmed();
        seen << line;
        if (line.startsWith(prefix)) return seen;
      }
      const qint64 left = kStepTimeoutMs - timer.elapsed();
      if (left <= 0 || process_.state() == QProcess::NotRunning) break;
      process_.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 1000)));
    }
    ADD_FAILURE() << "harness never said '" << prefix.toStdString() << "'; it said: " << seen.join(" / ").toStdString();
    return {};
  }
  // Sends a command and waits until it is done; the lines it printed.
  QStringList Do(const QString& command) {
    process_.write((command + "\n").toUtf8());
    QStringList lines = WaitFor("ok " + command);
    if (!lines.isEmpty()) lines.removeLast();
    return lines;
  }
  QStringList Dump() { return Do("dump"); }
  int Elapsed() {
    const QStringList lines = Do("elapsed");
    for (const QString& line : lines)
      if (line.startsWith("elapsed ")) return line.mid(8).toInt();
    ADD_FAILURE() << "no elapsed time";
    return 0;
  }
  void Kill() {
    process_.kill();  // SIGKILL
    process_.waitForFinished(kStepTimeoutMs);
  }
  // Closes the window cleanly; the exit code.
  int Quit() {
    Do("quit");
    WaitFor("bye");
    process_.waitForFinished(kStepTimeoutMs);
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }
  int Finish() {
    process_.waitForFinished(kStepTimeoutMs);
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }
  void Signal(int signal) { ::kill(static_cast<pid_t>(process_.processId()), signal); }
  // Milliseconds until the process has ended; the lines it said meanwhile land in said.
  qint64 TimeToEnd(QStringList& said) {
    QElapsedTimer timer;
    timer.start();
    process_.waitForFinished(kStepTimeoutMs);
    const qint64 elapsed = timer.elapsed();
    while (process_.canReadLine()) said << QString::fromUtf8(process_.readLine()).trimmed();
    return elapsed;
  }
  int ExitCode() const { return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1; }

private:
  QProcess process_;
  bool started_ = false;
};

QString Folder(QTemporaryDir& root, const QString& name) {
  const QString folder = root.filePath(name);
  QDir().mkpath(folder + "/config");
  QFile categories(folder + "/Kategorie.txt");
  categories.open(QIODevice::WriteOnly);
  categories.write("M\r\nF\r\n");
  return folder;
}

// Part of the race: four riders started 300 ms apart, a lap each for three of them, the
// fourth stopped early.
const QStringList kBeforeCrash = {"start 1 Anna M", "at 300", "start 2 Ben M", "at 600", "start 3 Cleo F",
                                  "at 900", "start 4 Dora F", "at 1200", "lap Anna", "at 1500", "lap Ben",
                                  "at 1800", "lap Cleo", "at 2100", "stop Dora"};

// The rest of the race from a race-clock time on: three more laps each, then the stops that
// finish and rank them, far enough apart that a busy machine cannot swap the order.
QStringList AfterCrash(int from, const QStringList& names = {"Anna", "Ben", "Cleo"}) {
  QStringList steps;
  int at = from;
  for (int lap = 0; lap < 3; ++lap)
    for (const QString& name : names) {
      steps << QString("at %1").arg(at) << QString("lap %1").arg(name);
      at += 200;
    }
  for (const QString& name : names) {
    steps << QString("at %1").arg(at) << QString("stop %1").arg(name);
    at += 1000;
  }
  steps << "end";
  return steps;
}

// A duration text in milliseconds ("1.05,2" is 65200).
int64_t DurationMs(const QString& text) {
  const QStringList tenth = text.split(',');
  if (tenth.size() != 2) return -1;
  int64_t seconds = 0;
  for (const QString& part : tenth[0].split(QRegularExpression("[:.]"))) seconds = seconds * 60 + part.toLongLong();
  return seconds * 1000 + tenth[1].toLongLong() * 100;
}

// Equal up to the jitter of a real clock on a busy machine: names, numbers, categories, lap
// counts, places and the order exactly; times within 0.45 s, speeds within 25 %.
void ExpectSameResult(const QStringList& crashed, const QStringList& reference) {
  ASSERT_EQ(crashed.size(), reference.size()) << crashed.join("\n").toStdString();
  for (qsizetype r = 0; r < crashed.size(); ++r) {
    const QStringList a = crashed[r].split('|');
    const QStringList b = reference[r].split('|');
    ASSERT_EQ(a.size(), b.size());
    for (qsizetype c = 0; c < a.size(); ++c) {
      const std::string where = "row " + std::to_string(r) + " col " + std::to_string(c) + ": " +
                                a[c].toStdString() + " vs " + b[c].toStdString();
      if (r > 0 && ((c >= pcLap5 && c <= pcLap1) || c == pcTime) && !a[c].isEmpty()) {
        EXPECT_NEAR(DurationMs(a[c]), DurationMs(b[c]), 450) << where;
      } else if (r > 0 && c == pcSpeed && !a[c].isEmpty()) {
        const double x = QString(a[c]).replace(',', '.').toDouble(), y = QString(b[c]).replace(',', '.').toDouble();
        EXPECT_NEAR(x, y, 0.25 * y) << where;
      } else if (r > 0 && c == pcStartTick && a[pcLastLapTick] == "0") {
        EXPECT_NEAR(a[c].toLongLong(), b[c].toLongLong(), 450) << where;  // a total in ms
      } else if (r > 0 && (c == pcStartTick || c == pcLastLapTick)) {
        EXPECT_EQ(a[c].isEmpty(), b[c].isEmpty()) << where;  // ticks of two runs differ
      } else {
        EXPECT_EQ(a[c], b[c]) << where;
      }
    }
  }
}

TEST(JournalProcess, KilledRaceIsRestoredToTheResultOfTheRaceWithoutTheCrash) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString crashFolder = Folder(root, "crash");
  const QString referenceFolder = Folder(root, "reference");

  QStringList beforeKill, afterRestore, crashed;
  int resumeAt = 0;
  {
    Harness first(crashFolder);
    ASSERT_TRUE(first.Started());
    ASSERT_FALSE(first.WaitFor("ready").isEmpty());
    for (const QString& step : kBeforeCrash) first.Do(step);
    beforeKill = first.Dump();
    first.Kill();
  }
  ASSERT_EQ(beforeKill.size(), 6);  // header, four riders, the entry row
  ASSERT_TRUE(QFile::exists(crashFolder + "/Veltrano.journal"));
  EXPECT_FALSE(QFile::exists(crashFolder + "/Veltrano.txt")) << "the shut-down save never ran";
  {
    Harness second(crashFolder);
    ASSERT_TRUE(second.Started());
    const QStringList start = second.WaitFor("ready");
    EXPECT_TRUE(start.contains("question Das letzte Rennen wurde nicht beendet. Wiederherstellen?")) << start.join(" / ").toStdString();
    afterRestore = second.Dump();
    EXPECT_EQ(afterRestore, beforeKill) << "nothing of the race may be lost";

    // A second program in the same folder is turned away before it writes anything.
    {
      const QString otherConfig = root.filePath("other-config");
      QDir().mkpath(otherConfig);
      QProcess intruder;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert("QT_QPA_PLATFORM", "offscreen");
      env.insert("XDG_CONFIG_HOME", otherConfig);
      intruder.setProcessEnvironment(env);
      intruder.setWorkingDirectory(crashFolder);
      intruder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
      intruder.start(QStringLiteral(VELTRANO_JOURNAL_HARNESS), {});
      ASSERT_TRUE(intruder.waitForStarted(kStepTimeoutMs));
      intruder.closeWriteChannel();
      if (!intruder.waitForFinished(kStepTimeoutMs)) intruder.kill();
      intruder.waitForFinished(kStepTimeoutMs);
      const QString said = QString::fromUtf8(intruder.readAllStandardOutput());
      EXPECT_EQ(intruder.exitCode(), 3) << said.toStdString();
      EXPECT_TRUE(said.contains("läuft bereits in diesem Ordner")) << said.toStdString();
      EXPECT_TRUE(QDir(otherConfig).isEmpty()) << "no settings written";
      EXPECT_FALSE(QFile::exists(crashFolder + "/Veltrano.txt"));
    }

    // Go on from a little after now on the race clock; the reference run uses the same times.
    resumeAt = (second.Elapsed() / 100 + 5) * 100;
    for (const QString& step : AfterCrash(resumeAt)) second.Do(step);
    crashed = second.Dump();
    EXPECT_EQ(second.Quit(), 0);
  }

  QStringList reference;
  {
    Harness run(referenceFolder);
    ASSERT_TRUE(run.Started());
    const QStringList start = run.WaitFor("ready");
    EXPECT_FALSE(start.join(" ").contains("question")) << "a fresh folder has nothing to restore";
    for (const QString& step : kBeforeCrash) run.Do(step);
    for (const QString& step : AfterCrash(resumeAt)) run.Do(step);
    reference = run.Dump();
    EXPECT_EQ(run.Quit(), 0);
  }

  ExpectSameResult(crashed, reference);
  // The finishers are ranked: Anna before Ben in M, Cleo first in F, Dora unplaced.
  QStringList places;
  for (const QString& row : crashed) places << row.section('|', 0, 2);
  EXPECT_TRUE(places.contains("row 1|3|Cleo")) << places.join(" / ").toStdString();
  EXPECT_TRUE(places.contains("row -|4|Dora"));
  EXPECT_TRUE(places.contains("row 1|1|Anna"));
  EXPECT_TRUE(places.contains("row 2|2|Ben"));
  // A clean end closes the journal: the next start asks nothing.
  {
    Harness again(crashFolder);
    ASSERT_TRUE(again.Started());
    const QStringList start = again.WaitFor("ready");
    EXPECT_FALSE(start.join(" ").contains("question"));
    EXPECT_EQ(again.Quit(), 0);
  }
}

// Part of a race with the operator's mistakes and their corrections: a lap pressed on Anna's row
// for Ben, moved to him; a double press for Cleo, deleted; Ben renamed, the rename taken back
// and done again; a lap of Anna's that was missed, inserted.
const QStringList kCorrectedBeforeCrash = {
    "start 1 Anna M", "at 300", "start 2 Ben M", "at 600", "start 3 Cleo F", "at 1200", "lap Anna",
    "move Anna 2", "at 1500", "lap Cleo", "at 1600", "lap Cleo", "dellap Cleo 2", "rename Ben Benno", "undo",
    "redo", "inslap Anna 900"};

TEST(JournalProcess, CorrectionsSurviveAKillAndTheRaceEndsAsWithoutIt) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString crashFolder = Folder(root, "crash");
  const QString referenceFolder = Folder(root, "reference");
  const QStringList rest = {"Anna", "Benno", "Cleo"};

  QStringList beforeKill, crashed;
  int resumeAt = 0;
  {
    Harness first(crashFolder);
    ASSERT_TRUE(first.Started());
    ASSERT_FALSE(first.WaitFor("ready").isEmpty());
    for (const QString& step : kCorrectedBeforeCrash) EXPECT_TRUE(first.Do(step).filter("error").isEmpty()) << step.toStdString();
    beforeKill = first.Dump() + first.Do("records") + first.Do("corrections");
    first.Kill();
  }
  EXPECT_EQ(beforeKill.filter("correction ").size(), 6) << beforeKill.join("\n").toStdString();
  {
    Harness second(crashFolder);
    ASSERT_TRUE(second.Started());
    second.WaitFor("ready");
    // Rows, the times they carry and the correction list: exactly as before the kill.
    EXPECT_EQ(second.Dump() + second.Do("records") + second.Do("corrections"), beforeKill);
    resumeAt = (second.Elapsed() / 100 + 5) * 100;
    for (const QString& step : AfterCrash(resumeAt, rest)) second.Do(step);
    crashed = second.Dump();
    EXPECT_EQ(second.Quit(), 0);
  }
  // The correction list is written beside the protocol file at the close.
  QFile list(crashFolder + "/Veltrano-Korrekturen.txt");
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  EXPECT_EQ(list.readAll().count("\r\n"), 7);  // the header and six corrections

  QStringList reference;
  {
    Harness run(referenceFolder);
    ASSERT_TRUE(run.Started());
    run.WaitFor("ready");
    for (const QString& step : kCorrectedBeforeCrash) run.Do(step);
    for (const QString& step : AfterCrash(resumeAt, rest)) run.Do(step);
    reference = run.Dump();
    EXPECT_EQ(run.Quit(), 0);
  }
  ExpectSameResult(crashed, reference);
  QStringList places;
  for (const QString& row : crashed) places << row.section('|', 0, 2);
  EXPECT_TRUE(places.contains("row 1|1|Anna")) << places.join(" / ").toStdString();
  EXPECT_TRUE(places.contains("row 2|2|Benno"));
  EXPECT_TRUE(places.contains("row 1|3|Cleo"));
}

QString ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Two riders on course, one of them renamed: a correction for the correction list.
const QStringList kRidersOnCourse = {"start 1 Anna M", "at 300", "start 2 Ben M", "at 600", "lap Anna",
                                     "rename Ben Benno"};

// The next start in the folder offers the race for going on, with its times.
void ExpectOfferedAsLeft(const QString& folder, const QStringList& left, const std::string& why) {
  Harness next(folder);
  ASSERT_TRUE(next.Started());
  const QStringList start = next.WaitFor("ready");
  EXPECT_TRUE(start.contains("question Das letzte Rennen wurde nicht beendet. Wiederherstellen?"))
      << why << ": " << start.join(" / ").toStdString();
  EXPECT_EQ(next.Dump(), left) << why;
}

// However the program is ended from outside or by the operator during a race, it writes
// everything, removes its lock, ends within half a second on a disk whose every flush takes
// 30 ms, and the next start offers the race.
TEST(JournalProcess, EveryWayOfEndingWritesEverythingAtOnceAndKeepsTheRaceForGoingOn) {
  struct TEnding {
    const char* how;
    int signal;          // 0: the window closed and "Beenden?" answered "Ja"
    bool questionOpen;   // "Beenden?" is on the screen when the signal comes
  };
  const TEnding endings[] = {{"closed, Beenden? answered", 0, false},
                             {"SIGTERM", SIGTERM, false},
                             {"SIGINT during Beenden?", SIGINT, true},
                             {"SIGHUP during Beenden?", SIGHUP, true}};
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  for (const TEnding& ending : endings) {
    const std::string how = ending.how;
    const QString folder = Folder(root, QString::fromLatin1(ending.how).replace(' ', '-'));
    QStringList args{kSyncDelay};
    if (ending.questionOpen) args << "--real-dialogs";
    QStringList left, said;
    qint64 endMs = 0;
    {
      Harness run(folder, args);
      ASSERT_TRUE(run.Started());
      ASSERT_FALSE(run.WaitFor("ready").isEmpty());
      for (const QString& step : kRidersOnCourse) run.Do(step);
      left = run.Dump();
      if (ending.signal == 0) {
        run.Do("quit");
        ASSERT_FALSE(run.WaitFor("closed").isEmpty()) << how;
      } else {
        if (ending.questionOpen) {
          run.Do("ask-close");
          ASSERT_FALSE(run.WaitFor("question Beenden?").isEmpty()) << how;
        }
        run.Signal(ending.signal);
      }
      endMs = run.TimeToEnd(said);
      EXPECT_EQ(run.ExitCode(), 0) << how;
    }
    EXPECT_TRUE(said.contains("bye")) << how << ": " << said.join(" / ").toStdString();
    EXPECT_LT(endMs, 500) << how;
    const QString protocol = ReadAll(folder + "/Veltrano.txt");
    EXPECT_TRUE(protocol.contains("Anna") && protocol.contains("Benno")) << how;
    EXPECT_EQ(ReadAll(folder + "/Veltrano-Korrekturen.txt").count("\r\n"), 2) << how;  // header, rename
    EXPECT_TRUE(ReadAll(folder + "/config/Veltrano/user.reg").contains("\"Width\"=dword:")) << how;
    EXPECT_FALSE(QFile::exists(folder + "/Veltrano.lock")) << how;
    ExpectOfferedAsLeft(folder, left, how);
  }
}

// Closing ends the race for good only once it is over: the clock stopped and nobody on course.
TEST(JournalProcess, AClosedRaceIsOfferedForGoingOnUnlessItIsOver) {
  struct TCase {
    const char* state;
    QStringList steps;
    bool offered;
  };
  const TCase cases[] = {
      {"ENDE with a rider on course", {"start 1 Anna M", "at 300", "start 2 Ben M", "at 600", "stop Anna", "end"}, true},
      {"everyone stopped, the clock running", {"start 1 Anna M", "at 300", "stop Anna"}, true},
      {"everyone stopped, ENDE", {"start 1 Anna M", "at 300", "stop Anna", "end"}, false},
  };
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  for (const TCase& c : cases) {
    const std::string state = c.state;
    const QString folder = Folder(root, QString::fromLatin1(c.state).replace(' ', '-'));
    QStringList left;
    {
      Harness run(folder);
      ASSERT_TRUE(run.Started());
      ASSERT_FALSE(run.WaitFor("ready").isEmpty());
      for (const QString& step : c.steps) run.Do(step);
      left = run.Dump();
      EXPECT_EQ(run.Quit(), 0) << state;
    }
    if (c.offered) {
      ExpectOfferedAsLeft(folder, left, state);
    } else {
      Harness next(folder);
      ASSERT_TRUE(next.Started());
      EXPECT_FALSE(next.WaitFor("ready").join(" ").contains("question")) << state;
      EXPECT_EQ(next.Quit(), 0) << state;
    }
  }
}

}  // namespace
