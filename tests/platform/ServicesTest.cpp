#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <future>

#include "common/Doubles.h"
#include "platform/AnsiText.h"
#include "platform/AppTitle.h"
#include "platform/Application.h"
#include "platform/Color.h"
#include "platform/Errors.h"
#include "platform/FileDialogs.h"
#include "platform/FileTypes.h"
#include "platform/HelpViewer.h"
#include "platform/Modal.h"
#include "platform/Printers.h"
#include "platform/Shell.h"
#include "platform/Sound.h"

using namespace platform;
using testing_doubles::Doubles;

namespace {

// An object whose event handler fails, as a control's handler might.
class Throwing : public QObject {
public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw EInvalidOperation("Grid index out of range");
    if (e->type() == QEvent::User + 1) throw 42;
    return QObject::event(e);
  }
};

// Runs `act` on the modal window that the next call opens.
template <typename Widget>
void WhenModal(std::function<void(Widget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
    if (auto* w = qobject_cast<Widget*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(w);
    }
  });
  timer->start();
}

QByteArray Wave() {
  // 10 ms of silence, 8 kHz mono 8-bit PCM.
  const int samples = 80;
  QByteArray w("RIFF");
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) w.append(char((v >> (8 * i)) & 0xFF)); };
  auto u16 = [&](uint16_t v) { w.append(char(v & 0xFF)); w.append(char(v >> 8)); };
  u32(36 + samples);
  w.append("WAVEfmt ");
  u32(16); u16(1); u16(1); u32(8000); u32(8000); u16(1); u16(8);
  w.append("data");
  u32(samples);
  w.append(QByteArray(samples, char(0x80)));
  return w;
}

}  // namespace

TEST(PlatformApplication, ExceptionEscapingAHandlerBecomesAnErrorBox) {
  auto& modal = Doubles().modal;
  Throwing target;
  modal.AnswerMessage(mrOk);
  QEvent direct(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&target, &direct));
  ASSERT_EQ(modal.History().size(), 1u);
  EXPECT_EQ(modal.History()[0].kind, testing_doubles::ScriptedModal::Shown::Message);
  EXPECT_EQ(modal.History()[0].caption, QStringLiteral("Veltrano"));
  EXPECT_EQ(modal.History()[0].text, QStringLiteral("Grid index out of range."));
  EXPECT_EQ(modal.History()[0].icon, MsgIcon::Error);

  // Through the event loop too, and for something that is not a std::exception.
  modal.AnswerMessage(mrOk);
  modal.AnswerMessage(mrOk);
  QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 1)));
  QCoreApplication::processEvents();
  ASSERT_EQ(modal.History().size(), 3u);
  EXPECT_EQ(modal.History()[1].text, QStringLiteral("Grid index out of range."));
  EXPECT_FALSE(modal.History()[2].text.isEmpty());
  EXPECT_EQ(modal.PendingAnswers(), 0);
}

TEST(PlatformApplication, ShowExceptionEndsTheSentenceOnlyWhenNeeded) {
  auto& modal = Doubles().modal;
  for (int i = 0; i < 3; ++i) modal.AnswerMessage(mrOk);
  ShowException(std::runtime_error("Can't write to file:\rx.txt"));
  ShowException(std::runtime_error("Fertig."));
  ShowException(std::runtime_error("Achtung!"));
  ASSERT_EQ(modal.History().size(), 3u);
  EXPECT_EQ(modal.History()[0].text, QStringLiteral("Can't write to file:\rx.txt."));
  EXPECT_EQ(modal.History()[1].text, QStringLiteral("Fertig."));
  EXPECT_EQ(modal.History()[2].text, QStringLiteral("Achtung!"));
}

TEST(PlatformModal, RealMessageBoxSpeaksGermanAndReturnsToolkitResults) {
  QtModalService real;
  QStringList captions;
  WhenModal<QMessageBox>([&](QMessageBox* box) {
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Frage"));
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    for (QAbstractButton* b : box->buttons()) captions << b->text();
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(real.MessageBox(nullptr, QStringLiteral("Frage"), QStringLiteral("Beenden?"), MsgIcon::Question,
                            MsgButtons::YesNoCancel),
            mrNo);
  captions.sort();
  EXPECT_EQ(captions, (QStringList{"&Ja", "&Nein", "Abbrechen"}));

  WhenModal<QMessageBox>([](QMessageBox* box) {
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Veltrano"));  // no caption: the title
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(real.MessageBox(nullptr, QString(), QStringLiteral("x"), MsgIcon::Error, MsgButtons::Ok), mrOk);

  // A dialog closed by Escape is cancelled; one that sets a toolkit result returns it.
  QDialog dialog;
  WhenModal<QDialog>([](QDialog* d) { d->reject(); });
  EXPECT_EQ(real.ExecDialog(&dialog), mrCancel);
  WhenModal<QDialog>([](QDialog* d) { d->done(mrYes); });
  EXPECT_EQ(real.ExecDialog(&dialog), mrYes);
}

TEST(PlatformPrinters, AnswerComesFromAWorkerAndNeverHoldsUpTheCaller) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  QtPrinterService service([released] {
    released.wait();  // a printing system that takes its time
    return true;
  });
  QElapsedTimer elapsed;
  elapsed.start();
  EXPECT_FALSE(service.HasPrinter());  // not known yet: no printer for now
  EXPECT_FALSE(service.Answered());
  EXPECT_LT(elapsed.elapsed(), 1000);
  release.set_value();
  elapsed.restart();
  bool answer = false;
  while (!answer && elapsed.elapsed() < 5000) answer = service.HasPrinter();
  EXPECT_TRUE(answer);

  std::atomic<int> asked{0};
  {
    QtPrinterService counted([&asked] {
      ++asked;
      return false;
    });
    EXPECT_FALSE(counted.HasPrinter());
    EXPECT_FALSE(counted.HasPrinter());
  }
  EXPECT_EQ(asked.load(), 1);  // asked once, then cached
}

TEST(PlatformPrinters, APrintingSystemThatHangsDoesNotHoldUpTheEnd) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  QElapsedTimer elapsed;
  {
    QtPrinterService service([released] {
      released.wait();
      return true;
    });
    elapsed.start();
  }
  EXPECT_LT(elapsed.elapsed(), 500);
  release.set_value();  // the worker, left on its own, ends too
}

TEST(PlatformShell, PrintWithoutPrinterDoesNothing) {
  QTemporaryDir dir;
  const QString page = dir.filePath(QStringLiteral("Veltrano.html"));
  ASSERT_TRUE(WriteTextFile(page, {QStringLiteral("<html><body>x</body></html>")}));
  Doubles().printers.hasPrinter = false;
  QtShellService shell;
  EXPECT_FALSE(shell.Execute(QStringLiteral("print"), page));
  EXPECT_FALSE(shell.Execute(QStringLiteral("explore"), page));
}

TEST(PlatformSound, FailuresBeepPrimingOnlyLoadsAndNothingBlocks) {
  QTemporaryDir dir;
  const QString wave = dir.filePath(QStringLiteral("Start.wav"));
  ASSERT_TRUE(WriteFileAtomically(wave, Wave()));
  const QString missing = dir.filePath(QStringLiteral("none.wav"));

  int beeps = 0;
  QtSoundService sound;
  sound.SetBeep([&] { ++beeps; });
  QElapsedTimer elapsed;
  elapsed.start();

  // Priming: a missing file fails quietly; an existing one loads, without a sound.
  EXPECT_FALSE(sound.PlaySound(missing, SND_FILENAME | SND_MEMORY));
  EXPECT_TRUE(sound.PlaySound(wave, SND_FILENAME | SND_MEMORY));
  EXPECT_EQ(beeps, 0);
  // Playing a file that is not there gives the default sound instead.
  EXPECT_FALSE(sound.PlaySound(missing, SND_FILENAME | SND_ASYNC));
  EXPECT_EQ(beeps, 1);
  // A file that is no wave: the beep, now or once loading has failed.
  const QString broken = dir.filePath(QStringLiteral("broken.wav"));
  ASSERT_TRUE(WriteFileAtomically(broken, "not a wave"));
  const bool played = sound.PlaySound(broken, SND_FILENAME | SND_ASYNC);
  QElapsedTimer wait;
  wait.start();
  while (beeps < 2 && wait.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_EQ(beeps, 2);
  (void)played;
  // The real file plays (or beeps without a sound device); stopping is an empty name.
  sound.PlaySound(wave, SND_FILENAME | SND_ASYNC);
  EXPECT_TRUE(sound.PlaySound(QString(), 0));
  EXPECT_LT(elapsed.elapsed() - wait.elapsed(), 1000);
}

TEST(PlatformHelp, ShowsTheHelpFileOrSaysInGermanThatItIsMissing) {
  QTemporaryDir dir;
  QtHelpService help;
  const QString missing = dir.filePath(QStringLiteral("Fehlt.hlp"));
  help.ShowContents(missing);
  ASSERT_NE(help.Window(), nullptr);
  EXPECT_TRUE(help.Window()->isVisible());
  EXPECT_FALSE(help.Window()->testAttribute(Qt::WA_QuitOnClose));
  EXPECT_TRUE(help.Window()->toPlainText().contains(QStringLiteral("nicht gefunden")));
  EXPECT_TRUE(help.Window()->toPlainText().contains(QStringLiteral("Fehlt.hlp")));

  // Found beside the executable's share folder when not at the given place.
  const QString shareDir = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/veltrano");
  ASSERT_TRUE(QDir().mkpath(shareDir));
  const QString name = QStringLiteral("HelpTest%1.hlp").arg(QCoreApplication::applicationPid());
  const QString shared = QDir(shareDir).filePath(name);
  ASSERT_TRUE(WriteTextFile(shared, {QStringLiteral("<html><body><h1>Zeitnahme f\u00fcr <b>Radrennen</b></h1></body></html>")}));
  QTextBrowser* window = help.Window();
  help.ShowContents(dir.filePath(name));
  EXPECT_EQ(help.Window(), window);  // one help window
  EXPECT_EQ(LocateHelpFile(dir.filePath(name)), QDir::cleanPath(shared));
  EXPECT_TRUE(help.Window()->toPlainText().contains(QStringLiteral("Zeitnahme f\u00fcr Radrennen")));

  // At the given place it wins.
  const QString local = dir.filePath(name);
  ASSERT_TRUE(WriteTextFile(local, {QStringLiteral("<p>lokal</p>")}));
  help.ShowContents(local);
  EXPECT_EQ(help.Window()->toPlainText().trimmed(), QStringLiteral("lokal"));
  QFile::remove(shared);

  // Closed, the window goes; the next call opens a new one.
  help.Window()->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(help.Window(), nullptr);
  help.ShowContents(missing);
  EXPECT_NE(help.Window(), nullptr);
}

TEST(PlatformFileTypes, DescriptionsAreGermanWhateverTheLocale) {
  EXPECT_TRUE(FileTypeDescription(QStringLiteral("unknownfile")).isEmpty());
  const QLocale before;
  const QString html = FileTypeDescription(QStringLiteral("htmlfile"));
  EXPECT_EQ(QLocale(), before);  // the default locale is left as it was
  if (!QFile::exists(QStringLiteral("/usr/share/mime/text/html.xml")))
    GTEST_SKIP() << "no shared MIME database";
  EXPECT_EQ(html, QStringLiteral("HTML-Dokument"));
  EXPECT_EQ(FileTypeDescription(QStringLiteral("txtfile")), QStringLiteral("Einfaches Textdokument"));
  EXPECT_EQ(FileTypeDescription(QStringLiteral("Excel.CSV")), QStringLiteral("CSV-Dokument"));
}

TEST(PlatformFileDialogs, ToolkitFilterMapsToQtAndBack) {
  EXPECT_EQ(QtNameFilters(QStringLiteral("MS Excel (*.csv)|*.csv|Webseite (*.html)|*.html|Text|*.txt;*.text")),
            (QStringList{"MS Excel (*.csv) (*.csv)", "Webseite (*.html) (*.html)", "Text (*.txt *.text)"}));
  EXPECT_TRUE(QtNameFilters(QString()).isEmpty());
  EXPECT_EQ(QtNameFilters(QStringLiteral("Alle|*.*|Halb")), QStringList{"Alle (*.*)"});

  QTemporaryDir dir;
  FileDialogRequest request;
  request.title = QStringLiteral("Protokoll speichern unter");
  request.initialDir = dir.path();
  request.fileName = QStringLiteral("2004-05-16-09-07");
  request.filter = QStringLiteral("MS Excel (*.csv)|*.csv|Webseite (*.html)|*.html|Textdatei (*.txt)|*.txt");
  request.filterIndex = 2;
  const QString existing = dir.filePath(QStringLiteral("2004-05-16-09-07"));
  ASSERT_TRUE(WriteFileAtomically(existing, "old"));
  WhenModal<QFileDialog>([&](QFileDialog* d) {
    EXPECT_EQ(d->windowTitle(), request.title);
    EXPECT_TRUE(d->selectedNameFilter().startsWith(QStringLiteral("Webseite (*.html)")));
    d->selectNameFilter(QStringLiteral("Textdatei (*.txt) (*.txt)"));
    static_cast<QDialog*>(d)->accept();  // replaces the existing file without a question
  });
  QtFileDialogService dialogs;
  ASSERT_TRUE(dialogs.GetSaveFileName(nullptr, request));
  EXPECT_EQ(QFileInfo(request.fileName).absoluteFilePath(), QFileInfo(existing).absoluteFilePath());
  EXPECT_EQ(request.filterIndex, 3);

  WhenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
  FileDialogRequest cancelled = request;
  EXPECT_FALSE(dialogs.GetOpenFileName(nullptr, cancelled));
  EXPECT_EQ(cancelled.fileName, request.fileName);
}

TEST(PlatformColor, ColoursAndSystemColours) {
  EXPECT_EQ(ToQColor(0x00404040), QColor(64, 64, 64));
  EXPECT_EQ(ToQColor(clRed), QColor(255, 0, 0));
  EXPECT_EQ(ToQColor(clBlue), QColor(0, 0, 255));
  EXPECT_EQ(ToQColor(clNone).alpha(), 0);
  const QPalette palette = QApplication::palette();
  EXPECT_EQ(ToQColor(clBtnFace), palette.color(QPalette::Active, QPalette::Button));
  EXPECT_EQ(ToQColor(clWindow), palette.color(QPalette::Active, QPalette::Base));
  EXPECT_EQ(ToQColor(clGrayText), palette.color(QPalette::Disabled, QPalette::WindowText));
  EXPECT_EQ(ToQColor(clHighlightText), palette.color(QPalette::Active, QPalette::HighlightedText));
  EXPECT_EQ(ColorToRGB(clBtnFace), FromQColor(palette.color(QPalette::Active, QPalette::Button)));
  EXPECT_EQ(ColorToRGB(clYellow), clYellow);
  EXPECT_EQ(FromQColor(QColor(0x12, 0x34, 0x56)), 0x563412u);
  EXPECT_TRUE(IsSystemColor(clScrollBar));
  EXPECT_FALSE(IsSystemColor(clNone));
  EXPECT_FALSE(IsSystemColor(clWhite));
}

TEST(PlatformAppTitle, TitleComesFromTheExecutableUnlessSet) {
  EXPECT_EQ(ApplicationTitle(), QStringLiteral("Veltrano"));
  SetApplicationTitle(QString());
  EXPECT_EQ(ApplicationTitle(), QStringLiteral("platform_tests"));
  SetApplicationTitle(QStringLiteral("Veltrano"));
}

TEST(PlatformServices, DoublesStandInAndNullRestoresTheRealOnes) {
  EXPECT_EQ(&Modal(), &Doubles().modal);
  EXPECT_EQ(&Shell(), &Doubles().shell);
  EXPECT_EQ(&Sound(), &Doubles().sound);
  EXPECT_EQ(&Printers(), &Doubles().printers);
  EXPECT_EQ(&Help(), &Doubles().help);
  EXPECT_EQ(&FileDialogs(), &Doubles().fileDialogs);
  SetShellService(nullptr);
  SetFileDialogService(nullptr);
  EXPECT_NE(dynamic_cast<QtShellService*>(&Shell()), nullptr);
  EXPECT_NE(dynamic_cast<QtFileDialogService*>(&FileDialogs()), nullptr);
  SetShellService(&Doubles().shell);
  SetFileDialogService(&Doubles().fileDialogs);

  auto& modal = Doubles().modal;
  modal.AnswerMessage(mrOk);
  ShowMessage(QStringLiteral("Hallo"), MsgIcon::Information);
  ASSERT_EQ(modal.History().size(), 1u);
  EXPECT_EQ(modal.History()[0].caption, QStringLiteral("Veltrano"));
  EXPECT_EQ(modal.History()[0].icon, MsgIcon::Information);
}

TEST(PlatformPrinters, RealPrintingSystemIsAskedOffTheUserInterfaceThread) {
  // Whatever this machine has, the answer comes, and asking again gives the same.
  QtPrinterService real;
  QElapsedTimer elapsed;
  elapsed.start();
  while (!real.Answered() && elapsed.elapsed() < 10000) real.HasPrinter();
  ASSERT_TRUE(real.Answered());
  const bool first = real.HasPrinter();
  EXPECT_EQ(real.HasPrinter(), first);
}
