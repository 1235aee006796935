// Drives the real main window from its standard input, for the tests that kill the program and
// start it again. It starts as the program does (lock, window, dialogs, journal) on the real
// tick counter; only the services that would need a person or a device are silent. Every
// command is answered by a line "ok <command>" once it is done, so the test never guesses.
//
// Commands, one per line:
//   start NR NAME CAT   select the entry row, fill the fields, press F5
//   lap NAME | stop NAME  click the rider's row, press F4 | F9
//   end                 click ENDE
//   at MS               wait until the race clock reads MS milliseconds
//   elapsed             print "elapsed <ms>" of the race clock
//   dump                print every protocol row as "row <cells joined by |>"
//   records             print what every row carries beside its cells as "record <text>"
//   corrections         print the correction list as "correction <line>"
//   undo | redo         take the last step back, do it again
//   move NAME NR        move the rider's last time to start number NR (the question, answered)
//   dellap NAME K       delete lap K of the rider (the pop-up menu's item)
//   inslap NAME MS      insert a lap at race time MS (the question, answered as the clock shows it)
//   rename NAME NEW     rename the rider in place (F2, the name, Enter)
//   quit                close the window (answering "Beenden?" with yes); "closed" once it has
//   ask-close           close the window, leaving "Beenden?" open (with --real-dialogs)
// It ends as the program does on SIGTERM, SIGINT and SIGHUP, and says "bye" when it is done.
// Options: --restore=yes|no answers the restore question (default yes); --real-dialogs runs
// every other question as a real modal dialog, unanswered; --sync-delay=MS makes every flush
// to the disk take MS milliseconds longer, as on a laptop's disk.
#include <QAbstractButton>
#include <QPushButton>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <deque>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "app/FMain.h"
#include "app/RiderEditor.h"
#include "dialogs/CorrectionDialog.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "io/Journal.h"
#include "platform/AppTitle.h"
#include "platform/Application.h"
#include "platform/EndRequests.h"
#include "platform/HelpViewer.h"
#include "platform/Modal.h"
#include "platform/Printers.h"
#include "platform/Shell.h"
#include "platform/Sound.h"
#include "platform/Tick.h"
#include "race/Protocol.h"
#include "race/TimeText.h"
#include "widgets/ButtonWithColor.h"

namespace {

int syncDelayMs = 0;

}  // namespace

// Every flush to the disk, ours and the toolkit's, comes through here.
extern "C" int fdatasync(int fd) {
  if (syncDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(syncDelayMs));
  return static_cast<int>(::syscall(SYS_fdatasync, fd));
}
extern "C" int fsync(int fd) {
  if (syncDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(syncDelayMs));
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace {

void Say(const QString& line) {
  QString text = line;
  text.replace('\n', ' ');
  std::fputs(text.toUtf8().constData(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

class HarnessModal : public platform::ModalService {
public:
  bool restore = true;
  bool realDialogs = false;
  int MessageBox(QWidget*, const QString&, const QString& text, MsgIcon, MsgButtons) override {
    Say("message " + text);
    return mrOk;
  }
  int ExecDialog(QDialog* dialog) override {
    auto* question = qobject_cast<TFDlgYesNo*>(dialog);
    if (!question) return mrCancel;
    const QString text = question->Label1->text();
    Say("question " + text);
    if (text.startsWith("Das letzte Rennen")) return restore ? mrYes : mrCancel;
    if (realDialogs) return platform::QtModalService().ExecDialog(dialog);
    return mrYes;
  }
  QAction* PopupMenu(QMenu*, const QPoint&) override { return nullptr; }
};

class Silent : public platform::SoundService, public platform::ShellService, public platform::PrinterService,
               public platform::HelpService {
public:
  bool PlaySound(const QString&, uint32_t) override { return true; }
  void Beep() override {}
  bool Execute(const QString&, const QString&) override { return true; }
  bool HasPrinter() override { return false; }
  void ShowContents(const QString&) override {}
};

class Driver {
public:
  explicit Driver(TFormMain& form) : form_(form) {}

  void Feed(const QByteArray& bytes) {
    buffer_ += bytes;
    for (qsizetype end; (end = buffer_.indexOf('\n')) >= 0;) {
      queue_.push_back(QString::fromUtf8(buffer_.left(end)).trimmed());
      buffer_.remove(0, end + 1);
    }
    Run();
  }

private:
  void Run() {
    // A command that waits runs a nested event loop; what arrives meanwhile waits its turn.
    if (busy_) return;
    busy_ = true;
    while (!queue_.empty()) {
      const QString line = queue_.front();
      queue_.pop_front();
      if (!line.isEmpty()) Execute(line);
    }
    busy_ = false;
  }

  void ClickRow(int row) {
    const QRect cell = form_.SortGrid1->CellRect(1, row).ToQRect();
    QTest::mouseClick(form_.SortGrid1->viewport(), Qt::LeftButton, {}, cell.center());
  }

  void Press(Qt::Key key) { QTest::keyClick(form_.SortGrid1, key); }

  int32_t Elapsed() const {
    const uint32_t start = form_.Clock().RaceStartTick;
    return start == 0 ? 0 : TickDiff(platform::GetTickCount(), start);
  }

  void Execute(const QString& line) {
    const QStringList args = line.split(' ', Qt::SkipEmptyParts);
    const QString command = args.value(0);
    if (command == "start" && args.size() >= 4) {
      ClickRow(form_.SortGrid1->RowCount() - 1);
      form_.cbStartN->setEditText(args[1]);
      form_.eName->setText(args[2]);
      form_.cbPol->setCurrentIndex(form_.cbPol->findText(args[3]));
      Press(Qt::Key_F5);
    } else if ((command == "lap" || command == "stop") && args.size() >= 2) {
      // Riders are named, not numbered: a ranking reorders the rows.
      const int32_t row = form_.SortGrid1->FindRow(2, args[1], false);
      if (row < 1) {
        Say("error " + line);
        return;
      }
      ClickRow(row);
      Press(command == "lap" ? Qt::Key_F4 : Qt::Key_F9);
    } else if (command == "end") {
      QTest::mouseClick(form_.bEnd, Qt::LeftButton);
    } else if (command == "at" && args.size() >= 2) {
      const int32_t target = args[1].toInt();
      while (form_.Clock().RaceStartTick != 0 && Elapsed() < target) {
        QEventLoop wait;
        QTimer::singleShot(std::clamp(target - Elapsed(), 1, 50), Qt::PreciseTimer, &wait, &QEventLoop::quit);
        wait.exec();
      }
    } else if (command == "elapsed") {
      Say(QStringLiteral("elapsed %1").arg(Elapsed()));
    } else if (command == "dump") {
      for (int32_t r = 0; r < form_.SortGrid1->RowCount(); ++r) {
        QStringList cells;
        for (int32_t c = 0; c < form_.SortGrid1->ColCount(); ++c) cells << form_.SortGrid1->Cells(c, r);
        Say("row " + cells.join('|'));
      }
    } else if (command == "records") {
      for (int32_t r = 1; r < form_.SortGrid1->RowCount(); ++r) Say("record " + form_.Protocol().RecordText(r));
    } else if (command == "corrections") {
      for (const QString& correction : form_.Corrections().Lines()) Say("correction " + correction);
    } else if (command == "undo" || command == "redo") {
      QTest::keyClick(form_.SortGrid1, command == "undo" ? Qt::Key_Z : Qt::Key_Y, Qt::ControlModifier);
    } else if ((command == "move" || command == "dellap" || command == "inslap" || command == "rename") &&
               args.size() >= 3) {
      const int32_t row = form_.SortGrid1->FindRow(2, args[1], false);
      if (row < 1) {
        Say("error " + line);
        return;
      }
      ClickRow(row);
      if (command == "dellap") {
        form_.DeleteLapClick(args[2].toInt());
      } else if (command == "rename") {
        QTest::keyClick(form_.SortGrid1, Qt::Key_F2);
        form_.RiderEditor()->Name->setText(args[2]);
        QTest::keyClick(form_.RiderEditor()->Name, Qt::Key_Return);
      } else {
        if (command == "move")
          form_.OpenMoveTime();
        else
          form_.OpenInsertLap();
        TCorrectionDialog* dialog = form_.CorrectionDialog();
        dialog->Answer->setText(command == "move" ? args[2] : FormatDuration(args[2].toInt()));
        QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
        if (dialog->isVisible()) {
          Say("error " + line + ": " + dialog->Refusal->text());
          dialog->hide();
          return;
        }
      }
    } else if (command == "quit") {
      Say("ok quit");
      if (form_.close()) Say("closed");
      return;
    } else if (command == "ask-close") {
      Say("ok ask-close");
      form_.close();
      return;
    } else {
      Say("error " + line);
      return;
    }
    Say("ok " + line);
  }

  TFormMain& form_;
  QByteArray buffer_;
  std::deque<QString> queue_;
  bool busy_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  platform::Application app(argc, argv);
  platform::SetApplicationTitle("Veltrano");
  HarnessModal modal;
  Silent silent;
  for (int i = 1; i < argc; ++i) {
    const QByteArray arg(argv[i]);
    if (arg == "--restore=no") modal.restore = false;
    if (arg == "--real-dialogs") modal.realDialogs = true;
    if (arg.startsWith("--sync-delay=")) syncDelayMs = arg.mid(13).toInt();
  }
  platform::SetModalService(&modal);
  platform::SetSoundService(&silent);
  platform::SetShellService(&silent);
  platform::SetPrinterService(&silent);
  platform::SetHelpService(&silent);

  int result = 0;
  {
    TJournalLock lock;
    if (!ClaimWorkingFolder(lock)) {
      Say("busy");
      result = 3;
    } else {
      platform::EndRequests endRequests;
      TFormMain form;
      TCfgDialog cfg(&form);
      TFDlgYesNo yesNo(&form);
      form.SetDialogs(&cfg, &yesNo);
      // The races here last seconds: laps a few hundred milliseconds apart are no double presses.
      form.Race().SetMinimumLap(0);
      endRequests.OnEnd = [&form] { form.EndWithoutQuestion(); };
      form.show();
      Driver driver(form);
      QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
      QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char chunk[4096];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) {
          // The test went away: close as the operator would.
          input.setEnabled(false);
          form.close();
          return;
        }
        driver.Feed(QByteArray(chunk, static_cast<qsizetype>(got)));
      });
      QTimer::singleShot(0, &form, [&form] {
        form.StartJournal();
        Say("ready");
      });
      result = app.exec();
    }
  }
  Say("bye");
  platform::SetModalService(nullptr);
  platform::SetSoundService(nullptr);
  platform::SetShellService(nullptr);
  platform::SetPrinterService(nullptr);
  platform::SetHelpService(nullptr);
  return result;
}
