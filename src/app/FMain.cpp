#include "app/FMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QUndoStack>
#include <QVBoxLayout>

#include "app/RaceKeys.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "io/Journal.h"
#include "platform/AppTitle.h"
#include "platform/BatteryMonitor.h"
#include "platform/HelpViewer.h"
#include "platform/InputClock.h"
#include "platform/KeyStore.h"
#include "platform/LocalTime.h"
#include "platform/Modal.h"
#include "platform/Printers.h"
#include "platform/Shell.h"
#include "platform/SleepInhibitor.h"
#include "platform/Sound.h"
#include "platform/Timer.h"
#include "race/LapLengths.h"
#include "race/Protocol.h"
#include "widgets/ButtonWithColor.h"
#include "widgets/LbSpeedButton.h"
#include "widgets/Udigit.h"

namespace {

constexpr const char* kMakerAddress = "https://quorvex.example/";

// The help file: the executable's path with the extension ".hlp".
QString HelpFilePath() {
  const QFileInfo exe(QCoreApplication::applicationFilePath());
  return exe.absolutePath() + "/" + exe.completeBaseName() + ".hlp";
}

}  // namespace

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent) {
  // The window, then the set-up sequence in its fixed order.
  setWindowTitle(platform::ApplicationTitle() + " " + kVersion);
  QFont windowFont("Liberation Sans");
  windowFont.setPointSize(8);
  setFont(windowFont);
  setMinimumSize(kMinWidth, kMinHeight);
  resize(kDesignWidth, kDesignHeight);

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(BuildTitleBar(central));
  column->addWidget(BuildClockArea(central));
  column->addWidget(BuildProtocolArea(central), 1);
  setCentralWidget(central);
  BuildHiddenMenu();
  BuildPopupMenu();
  SetTabOrder();

  raceClock_ = std::make_unique<RaceClock>(BuildDisplay(PanelTimer, 10, true), BuildDisplay(PanelTimer, 132, false));
  PanelTimer->SpokenText = [this] { return raceClock_->SpokenText(); };
  autoStart_ = std::make_unique<AutoStart>(*raceClock_);
  raceControl_ = std::make_unique<RaceControl>(*raceClock_, *autoStart_, static_cast<RaceControlHost&>(*this));
  lapLengths_ = std::make_unique<TLapLengths>(*TableLength);
  session_ = std::make_unique<TRaceSession>(*SortGrid1, [this](int k) { return lapLengths_->LapDistance[k]; });
  session_->AddListener([this](const TSessionChange& change) { NoteLiveChange(change); });
  session_->AddListener([this](const TSessionChange& change) { RecordChange(change); });
  inputClock_ = new platform::InputClock(this);
  sleepInhibitor_ = new platform::SleepInhibitor(this);
  battery_ = new platform::BatteryMonitor(this);
  battery_->OnChanged = [this](std::optional<double> lowPercent) {
    if (lowPercent) LabBattery->setText(platform::BatteryWarningText(*lowPercent));
    LabBattery->setVisible(lowPercent.has_value());
  };
  raceKeys_ = new RaceKeyFilter(this, mLap, mStart, mStop, *inputClock_);
  SortGrid1->viewport()->installEventFilter(this);

  // Commands: the menu items run them; the buttons fire at the press of any mouse button.
  // Each race command is one change of the session, told once it is done.
  connect(mStart, &QAction::triggered, this,
          [this] { session_->Command(QStringLiteral("START"), [this] { raceControl_->StartClick(PressTick()); }); });
  connect(mLap, &QAction::triggered, this, [this] {
    session_->Command(QStringLiteral("LAP"), [this] { raceControl_->LapClick(PressTick(), forcePress_, forceKey_); });
  });
  connect(mStop, &QAction::triggered, this, [this] {
    session_->Command(QStringLiteral("STOPP"), [this] { raceControl_->StopClick(PressTick(), forcePress_, forceKey_); });
  });
  connect(mReset, &QAction::triggered, this, [this] { ResetCommand(); });
  // With Shift, a press passes the double-press guard. A press counts from when it was made.
  auto press = [this](QAction* action, bool forced, uint32_t tick) { PressRaceCommand(action, forced, tick); };
  raceKeys_->OnPress = press;
  auto pressTriggers = [this, press](TBitBtnWithColor* button, QAction* action) {
    button->OnMouseDown = [this, button, action, press](QObject*, Qt::MouseButton, Qt::KeyboardModifiers modifiers,
                                                        int, int) {
      if (action->isEnabled()) press(action, modifiers.testFlag(Qt::ShiftModifier), inputClock_->TickOf(button->PressEvent()));
    };
  };
  pressTriggers(bSTART, mStart);
  pressTriggers(bLAP, mLap);
  pressTriggers(bSTOP, mStop);
  pressTriggers(bRESET, mReset);
  // The reset button's own click comes from the keyboard (Enter or Space after ENDE).
  new KeyClickFilter(bRESET, [this] { ResetCommand(); });
  bEnd->OnClick = [this](QObject*) {
    raceControl_->EndClick();
    session_->Changed(QStringLiteral("ENDE"));
  };
  connect(EinstellunGen1, &QAction::triggered, this, [this] { bCFGClick(); });
  connect(Hilfe1, &QAction::triggered, this, [this] { bHelpClick(); });
  connect(mHilfe, &QAction::triggered, this, [this] { bHelpClick(); });
  ConnectFileCommands();
  connect(mCut, &QAction::triggered, this, [this] {
    const QString rider = RiderText(SortGrid1->Row());
    session_->Change(QStringLiteral("Zeile entfernen ") + rider, rider, QStringLiteral("CUT"),
                     [this] { session_->Protocol().mCutClick(); });
  });
  BuildCorrections();
  ConnectLine();
  BuildStations();
  // A header click sorts as an undo step too, so every step can be taken back in its order.
  session_->Protocol().OnHeaderSort = [this](const std::function<void()>& sort) {
    session_->Change(QStringLiteral("Sortieren"), QString(), QStringLiteral("SORT"), sort);
  };
  // An edit of the lap-length table ends with an update bracket.
  TableLength->OnEndUpdate = [this, lengths = TableLength->OnEndUpdate](QObject* sender) {
    if (lengths) lengths(sender);
    session_->Changed(QStringLiteral("LAPLEN"));
  };
  SortGrid1->SetPopupMenu(PopupMenuProtokol);
  connect(PopupMenuProtokol, &QMenu::aboutToShow, this, [this] { UpdateFileButtons(); });

  autoStart_->ClickStart = [this] { mStart->trigger(); };
  autoStart_->OnIntervalFieldEnabled = [this](bool enabled) { seAutoStart->setEnabled(enabled); };
  connect(cbAutoStart, &QCheckBox::toggled, this, [this](bool checked) { autoStart_->SetChecked(checked); });
  connect(seAutoStart, &QSpinBox::valueChanged, this, [this](int seconds) { autoStart_->SetIntervalSeconds(seconds); });

  // The selection is the controller: every change of the protocol's current row recomputes
  // the commands, the rider display and the entry fields.
  SortGrid1->OnSelectCell = [this](QObject*, int32_t, int32_t row, bool& canSelect) {
    RowSelected(row);
    canSelect = true;
  };
  TProtocol& protocol = session_->Protocol();
  protocol.OnSelectRow = [this](int32_t row) { RowSelected(row); };
  protocol.OnLapTick = [this](uint32_t tick) { raceClock_->RiderRefTick = tick; };
  protocol.StartNumberField = [this] { return StartNumberText(); };
  protocol.NameField = [this] { return NameText(); };
  protocol.CategoryField = [this] { return CategoryText(); };

  // Sound priming: load the start sound once (file name and memory image).
  platform::Sound().PlaySound("Start.wav", platform::SND_FILENAME | platform::SND_MEMORY);
  // Ask for the printers now, so the answer is in before the first file button update.
  platform::Printers();

  // The file-type descriptions, then the stored settings.
  lapLengths_->RoundLen = TLapLengths::kDefaultRoundLen;
  fileTypes_ = ReadFileTypeDescriptions();
  {
    platform::KeyStore store;
    ReadSettings(store, SettingsKey(), settings_);
  }
  ApplySettings();
  // The category list, then the save dialog's file types.
  LoadCategoryList();
  SaveDialog1.Filter = SaveDialogFilter(fileTypes_);

  helpFile_ = HelpFilePath();
  // Sizing the grid while laying out the window is no change of the protocol: a window
  // nobody touched closes without a question.
  protocol.Clear();
  protocol.StartUp();
  SaveDialog1.InitialDir = QCoreApplication::applicationDirPath();
  raceClock_->ApplyClockColours({static_cast<TColor>(settings_.C1), static_cast<TColor>(settings_.C2),
                                 static_cast<TColor>(settings_.C3), static_cast<TColor>(settings_.C4)});
  raceClock_->ShowTime(RaceClock::RaceDisplay, 0);
  raceClock_->ShowTime(RaceClock::RiderDisplay, 0);
  ApplyLiveSettings();

  TimerDate = new platform::Timer(this);
  TimerDate->SetInterval(5000);
  TimerDate->OnTimer = [this](QObject*) { TimerDateTimer(); };
  TimerDate->SetEnabled(true);
  TimerDateTimer();
  UpdateFileButtons();
  raceControl_->UpdateCommandStates(SortGrid1->Row());
}

TFormMain::~TFormMain() {
  TearDown();
  // The session goes before the window's parts: emptying its undo stack reports to the window.
  QObject::disconnect(&session_->UndoStack(), nullptr, this, nullptr);
  session_.reset();
  autoStart_->Timer().SetEnabled(false);
  raceControl_->Clock().SetEnabled(false);
}

void TFormMain::SetDialogs(TCfgDialog* cfg, TFDlgYesNo* yesNo) {
  cfgDialog_ = cfg;
  yesNoDialog_ = yesNo;
}

void TFormMain::TearDown() {
  if (tornDown_) return;
  tornDown_ = true;
  // The settings, then the protocol into the working folder.
  CollectSettings();
  platform::KeyStore store;
  WriteSettings(store, SettingsKey(), settings_);
  SortGrid1->SaveToFile(platform::ApplicationTitle() + ".txt", false);
  WriteCorrectionFile();
  // Only after the shut-down save is a race that is over safe without its journal.
  if (journal_) {
    const TRaceSnapshot race = JournalSnapshot();
    if (RaceOver(race))
      journal_->Close(race);
    else
      journal_->Leave();
  }
}

void TFormMain::EndWithoutQuestion() {
  ending_ = true;
  // Ending the event loops first ends the nested loops of open dialogs too, and a dialog the
  // tear-down would show (a file that cannot be written) returns at once instead of waiting.
  QCoreApplication::exit(0);
  TearDown();
}

void TFormMain::ApplySettings() {
  const TSettings& s = settings_;
  if (s.Left || s.Top) move(s.Left.value_or(x()), s.Top.value_or(y()));
  resize(std::max(s.Width, kMinWidth), std::max(s.Height, kMinHeight));
  seAutoStart->setValue(s.CountDown);  // the field clamps it into 10 .. 600
  autoStart_->SetIntervalSeconds(seAutoStart->value());
  lapLengths_->RoundLen = s.RoundLen;
  SaveDialog1.FilterIndex = s.FilterInd;
  raceControl_->SetMinimumLap(s.MinLap * 1000);
}

void TFormMain::CollectSettings() {
  const QRect frame = frameGeometry();
  settings_.Left = frame.x();
  settings_.Top = frame.y();
  settings_.Width = frame.width();
  settings_.Height = frame.height();
  settings_.RoundLen = lapLengths_->RoundLen;
  settings_.CountDown = seAutoStart->value();
  settings_.FilterInd = SaveDialog1.FilterIndex;
}

// The stored size is the outer frame. Once the window manager has put its frame around the
// window, the inside shrinks by the frame, so the window does not grow from run to run.
void TFormMain::CorrectFrameSize() {
  if (frameCorrected_ || !isVisible()) return;
  const QSize frame = frameGeometry().size() - size();
  if (frame.isEmpty() || (frame.width() == 0 && frame.height() == 0)) return;
  frameCorrected_ = true;
  resize(std::max(width() - frame.width(), minimumWidth()), std::max(height() - frame.height(), minimumHeight()));
}

bool TFormMain::event(QEvent* event) {
  const bool result = QMainWindow::event(event);
  if (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show)
    CorrectFrameSize();
  return result;
}

void TFormMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (session_) session_->Protocol().LayoutProtocolColumns();
}

// The window's layout gives the protocol grid its width only after the window's own resize,
// and the grid its viewport after that, so the columns follow the viewport's resize too.
bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == SortGrid1->viewport() && event->type() == QEvent::Resize && session_) {
    session_->Protocol().LayoutProtocolColumns();
    PlaceBelowProtocol();
  }
  // The pop-up menu acts on the row it is opened over: a right press makes that row the current
  // one, so "Zeile entfernen" never takes another rider's row.
  if (watched == SortGrid1->viewport() && event->type() == QEvent::MouseButtonPress) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint at = mouse->position().toPoint();
    const TGridCoord cell = SortGrid1->CellAtPoint(at.x(), at.y());
    if (mouse->button() == Qt::RightButton && cell.Y >= 1 && cell.Y != SortGrid1->Row()) SortGrid1->SetRow(cell.Y);
  }
  // A header click sorts the protocol once it has been ranked.
  // The grid sorts after this filter has seen the event, so the journal looks afterwards.
  if (watched == SortGrid1->viewport() && event->type() == QEvent::MouseButtonRelease)
    QMetaObject::invokeMethod(this, [this] { session_->Changed(QStringLiteral("SORT")); }, Qt::QueuedConnection);
  return QMainWindow::eventFilter(watched, event);
}

void TFormMain::closeEvent(QCloseEvent* event) {
  if (ending_ || raceControl_->CloseQuery()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TFormMain::TimerDateTimer() { PanelDate->setText(DatePanelText(platform::Now())); }

void TFormMain::bHelpClick() { platform::Help().ShowContents(helpFile_); }

void TFormMain::bCFGClick() {
  if (!cfgDialog_) return;
  TCfgValues values{lapLengths_->RoundLen, settings_.Acc, settings_.MinLap, settings_.LivePort, settings_.LiveClients,
                    settings_.LiveFolder};
  if (EditSettings(*cfgDialog_, values)) {
    lapLengths_->RoundLen = values.RoundLen;
    settings_.Acc = values.Acc;
    settings_.MinLap = values.MinLapSeconds;
    raceControl_->SetMinimumLap(settings_.MinLap * 1000);
    const bool liveChanged = settings_.LivePort != values.LivePort || settings_.LiveClients != values.LiveClients ||
                             settings_.LiveFolder != values.LiveFolder;
    settings_.LivePort = values.LivePort;
    settings_.LiveClients = values.LiveClients;
    settings_.LiveFolder = values.LiveFolder;
    if (liveChanged) ApplyLiveSettings();
  }
  session_->Changed(QStringLiteral("LAPLEN"));
}

void TFormMain::ImageDEClick() { platform::Shell().Execute("open", kMakerAddress); }

void TFormMain::UpdateFileButtons() {
  const TFileButtons buttons = session_->Protocol().UpdateFileButtons();
  sbSave->setEnabled(buttons.Save);
  sbPrint->setEnabled(buttons.Print);
  sbExcel->setEnabled(buttons.Excel);
  sbHTML->setEnabled(buttons.HTML);
}
