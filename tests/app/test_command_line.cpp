// The command line: what it accepts, what it refuses and with which exit status; and the real
// executable, which must answer --help, --version and mistakes without a display.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "app/CommandLine.h"

namespace {

TCommandLine Parse(const QStringList& arguments) {
  return ParseCommandLine(QStringList{QStringLiteral("Veltrano")} + arguments, QStringLiteral("Veltrano"),
                          QStringLiteral("0.96"));
}

using TAction = TCommandLine::TAction;

TEST(CommandLine, HelpAndVersionPrintAndEndWithStatusZero) {
  for (const QString& option : {QStringLiteral("--version"), QStringLiteral("-v")}) {
    const TCommandLine line = Parse({option});
    EXPECT_EQ(line.Action, TAction::Print) << option.toStdString();
    EXPECT_EQ(line.Text, QStringLiteral("Veltrano 0.96\n"));
    EXPECT_EQ(line.ExitStatus(), 0);
  }
  for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
    const TCommandLine line = Parse({option});
    EXPECT_EQ(line.Action, TAction::Print);
    EXPECT_TRUE(line.Text.startsWith(QStringLiteral("Aufruf: Veltrano [Optionen] [ORDNER]\n")));
    // Every option the parser takes is on the help page.
    for (const char* shown : {"-h, --help", "-v, --version"})
      EXPECT_TRUE(line.Text.contains(QString::fromLatin1(shown))) << shown;
    EXPECT_EQ(line.ExitStatus(), 0);
  }
  // Help wins over everything else on the line, even a folder that does not exist.
  EXPECT_EQ(Parse({QStringLiteral("/gibt/es/nicht"), QStringLiteral("--help")}).Action, TAction::Print);
}

TEST(CommandLine, NoArgumentStaysInTheStartingFolder) {
  const TCommandLine line = Parse({});
  EXPECT_EQ(line.Action, TAction::Run);
  EXPECT_TRUE(line.Folder.isEmpty());
  EXPECT_EQ(line.ExitStatus(), 0);
}

TEST(CommandLine, AFolderBecomesAbsoluteAndMayStartWithADashBehindTheSeparator) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString odd = QDir(dir.path()).filePath(QStringLiteral("-Rennen mit Ümlaut"));
  ASSERT_TRUE(QDir().mkpath(odd));

  TCommandLine line = Parse({dir.path()});
  EXPECT_EQ(line.Action, TAction::Run);
  EXPECT_EQ(line.Folder, QDir(dir.path()).absolutePath());

  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  line = Parse({QStringLiteral("--"), QStringLiteral("-Rennen mit Ümlaut")});
  QDir::setCurrent(before);
  EXPECT_EQ(line.Action, TAction::Run);
  EXPECT_EQ(line.Folder, odd);
}

TEST(CommandLine, MistakesFailWithStatusTwoAndAGermanMessage) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = QDir(dir.path()).filePath(QStringLiteral("Kategorie.txt"));
  QFile(file).open(QIODevice::WriteOnly);

  const struct {
    QStringList arguments;
    QString message;
  } cases[] = {
      {{QStringLiteral("--bogus")}, QStringLiteral("Veltrano: Unbekannte Option \"--bogus\".\n")},
      {{QStringLiteral("-x")}, QStringLiteral("Veltrano: Unbekannte Option \"-x\".\n")},
      {{QStringLiteral("--fast"), QStringLiteral("-q")}, QStringLiteral("Veltrano: Unbekannte Optionen \"--fast\", \"-q\".\n")},
      {{QStringLiteral("/gibt/es/nicht")}, QStringLiteral("Veltrano: Der Ordner \"/gibt/es/nicht\" existiert nicht.\n")},
      {{QString()}, QStringLiteral("Veltrano: Der Ordner \"\" existiert nicht.\n")},
      {{file}, QStringLiteral("Veltrano: \"%1\" ist kein Ordner.\n").arg(file)},
      {{dir.path(), dir.path()}, QStringLiteral("Veltrano: Nur ein Arbeitsordner ist möglich, angegeben sind \"%1\", \"%1\".\n").arg(dir.path())},
  };
  for (const auto& c : cases) {
    const TCommandLine line = Parse(c.arguments);
    const std::string label = c.arguments.join(' ').toStdString();
    EXPECT_EQ(line.Action, TAction::Fail) << label;
    EXPECT_EQ(line.ExitStatus(), 2) << label;
    EXPECT_TRUE(line.Text.startsWith(c.message)) << label << ": " << line.Text.toStdString();
    EXPECT_TRUE(line.Text.endsWith(QStringLiteral("Aufruf: Veltrano [Optionen] [ORDNER] (mehr mit --help)\n"))) << label;
  }
}

TEST(CommandLine, AFolderThatCannotBeEnteredIsReported) {
  QString error;
  EXPECT_TRUE(EnterWorkingFolder(QString(), QStringLiteral("Veltrano"), error));
  const QString before = QDir::currentPath();
  EXPECT_FALSE(EnterWorkingFolder(QStringLiteral("/gibt/es/nicht"), QStringLiteral("Veltrano"), error));
  EXPECT_EQ(error, QStringLiteral("Veltrano: Der Ordner \"/gibt/es/nicht\" kann nicht geöffnet werden.\n"));
  EXPECT_EQ(QDir::currentPath(), before);
}

// The executable itself, with no display to be had: anything that tried to open a window
// would end with Qt's abort instead of our answer.
struct ProgramRun {
  int status = -1;
  QString out, err;
};

ProgramRun RunProgram(const QStringList& arguments, const QString& workingFolder = QString()) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "xcb");
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  process.setProcessEnvironment(env);
  if (!workingFolder.isEmpty()) process.setWorkingDirectory(workingFolder);
  process.start(QStringLiteral(VELTRANO_EXECUTABLE), arguments);
  ProgramRun run;
  if (!process.waitForFinished(60000)) {
    process.kill();
    process.waitForFinished();
    ADD_FAILURE() << "the program did not end";
    return run;
  }
  run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromUtf8(process.readAllStandardOutput());
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

TEST(CommandLineProgram, AnswersWithoutADisplay) {
  ProgramRun run = RunProgram({QStringLiteral("--version")});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_EQ(run.out, QStringLiteral("Veltrano 0.96\n"));

  run = RunProgram({QStringLiteral("--help")});
  EXPECT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.startsWith(QStringLiteral("Aufruf: Veltrano [Optionen] [ORDNER]"))) << run.out.toStdString();

  run = RunProgram({QStringLiteral("--bogus")});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.out.isEmpty());
  EXPECT_TRUE(run.err.startsWith(QStringLiteral("Veltrano: Unbekannte Option \"--bogus\"."))) << run.err.toStdString();

  run = RunProgram({QStringLiteral("/gibt/es/nicht")});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.err.startsWith(QStringLiteral("Veltrano: Der Ordner \"/gibt/es/nicht\" existiert nicht."))) << run.err.toStdString();
}

TEST(CommandLineProgram, WorksInTheFolderItIsGiven) {
  QTemporaryDir started, race;
  ASSERT_TRUE(started.isValid() && race.isValid());
  QFile categories(QDir(race.path()).filePath(QStringLiteral("Kategorie.txt")));
  ASSERT_TRUE(categories.open(QIODevice::WriteOnly));
  categories.write("M\r\nF\r\n");
  categories.close();

  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("XDG_CONFIG_HOME", QDir(started.path()).filePath(QStringLiteral("config")));
  env.insert("ASAN_OPTIONS", "detect_leaks=0");  // it is killed, not closed
  process.setProcessEnvironment(env);
  process.setWorkingDirectory(started.path());
  process.start(QStringLiteral(VELTRANO_EXECUTABLE), {race.path()});
  ASSERT_TRUE(process.waitForStarted());

  // The race journal is the first file the running program writes in its working folder.
  const QString journal = QDir(race.path()).filePath(QStringLiteral("Veltrano.journal"));
  QElapsedTimer waited;
  waited.start();
  while (!QFile::exists(journal) && waited.elapsed() < 60000 && process.state() == QProcess::Running)
    process.waitForFinished(50);
  const bool running = process.state() == QProcess::Running;
  process.kill();
  process.waitForFinished();
  EXPECT_TRUE(running) << process.readAllStandardError().toStdString();
  EXPECT_TRUE(QFile::exists(journal));
  EXPECT_FALSE(QFile::exists(QDir(started.path()).filePath(QStringLiteral("Veltrano.journal"))));
  EXPECT_FALSE(QFile::exists(QDir(started.path()).filePath(QStringLiteral("Veltrano.lock"))));
}

}  // namespace
