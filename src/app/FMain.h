#pragma once
// The main window: its frame, its controls and the wiring of the parts. The logic lives in
// race/, io/, grid/ and widgets/.
#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <optional>

#include "io/ParticipantList.h"
#include "io/ProtocolFiles.h"
#include "io/Settings.h"
#include "io/SpreadsheetExport.h"
#include "net/LiveFeed.h"
#include "net/LiveServer.h"
#include "race/AutoStart.h"
#include "race/ExpectedRiders.h"
#include "race/Corrections.h"
#include "race/LinePasses.h"
#include "race/LiveSnapshot.h"
#include "race/RaceClock.h"
#include "race/RaceControl.h"
#include "race/RaceSession.h"
#include "widgets/LivePanel.h"
#include "widgets/WidgetsAccessible.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QSpinBox;
class TBitBtnWithColor;
class TCfgDialog;
class TDigit;
class TFDlgYesNo;
class TLbSpeedButton;
class TSortGrid;
class RaceKeyFilter;
class NumberKeyFilter;
class TOpenTimesList;
class TLapLengths;
class TCorrectionDialog;
class TRiderEditor;
struct TRowRecord;
class TQrCodeView;
class TStationWindow;
struct TStationBatch;

class QTimer;
class TJournal;
class TJournalLock;
struct TRaceSnapshot;
namespace platform {
class BatteryMonitor;
class InputClock;
class SleepInhibitor;
class Timer;
}  // namespace platform

// The journal's file in the working folder: the application title + ".journal".
QString JournalFileName();
// Takes the working folder for this program; when another program journals there already,
// says so and returns false, before any file there has been touched.
bool ClaimWorkingFolder(TJournalLock& lock);

class TFormMain : public QMainWindow, private RaceControlHost {
  Q_OBJECT
public:
  // The version the build gives (the project's version in CMakeLists.txt); the caption shows it.
  static constexpr const char* kVersion = VELTRANO_VERSION;
  static constexpr int kDesignWidth = 804;
  static constexpr int kDesignHeight = 556;
  static constexpr int kMinWidth = 720;
  static constexpr int kMinHeight = 392;
  // The busy line's lists below the protocol: a group of five and more.
  static constexpr int kLineListsHeight = 112;

  explicit TFormMain(QWidget* parent = nullptr);
  ~TFormMain() override;

  // Title bar.
  TLbSpeedButton* bCFG = nullptr;
  TLbSpeedButton* bHelp = nullptr;
  // The warning of a low battery while the race runs.
  QLabel* LabBattery = nullptr;
  QLabel* PanelDate = nullptr;
  // Clock area.
  TSpokenPanel* PanelTimer = nullptr;
  TDigit *Digit2, *Digit3, *Digit4, *Digit5, *Digit6, *Digit7;
  TDigit *Digit13, *Digit15, *Digit16, *Digit18, *Digit19, *Digit21;
  QLabel *LabHour, *LabMin, *LabSec, *LabHour2, *LabMin2, *LabSec2;
  TLbSpeedButton* bDB = nullptr;
  TLbSpeedButton* sb1m = nullptr;
  QLabel* LabelBase = nullptr;
  TLbSpeedButton* sb1p = nullptr;
  QComboBox* cbPol = nullptr;
  QComboBox* cbStartN = nullptr;
  QLineEdit* eName = nullptr;
  QLabel* LabName = nullptr;
  TBitBtnWithColor* bSTART = nullptr;
  TBitBtnWithColor* bLAP = nullptr;
  TBitBtnWithColor* bSTOP = nullptr;
  TBitBtnWithColor* bEnd = nullptr;
  TBitBtnWithColor* bRESET = nullptr;
  QCheckBox* cbAutoStart = nullptr;
  QSpinBox* seAutoStart = nullptr;
  TSortGrid* TableLength = nullptr;
  // Protocol area.
  TLbSpeedButton* sbSave = nullptr;
  TLbSpeedButton* sbPrint = nullptr;
  TLbSpeedButton* sbExcel = nullptr;
  TLbSpeedButton* sbHTML = nullptr;
  TSortGrid* SortGrid1 = nullptr;
  QMenu* PopupMenuProtokol = nullptr;
  TParticipantList DataBase;  // the participant list's lines and its current line
  TSaveDialog SaveDialog1;
  // The hidden menu.
  QAction *mStart, *mLap, *mStop, *mReset, *EinstellunGen1, *Hilfe1, *Drucker1, *mHilfe;
  QAction *mCut, *mSelectAll;
  // Corrections: the keys (Ctrl+Z; Ctrl+Y and Ctrl+Shift+Z; F2) and the protocol's pop-up menu.
  QAction *mUndo, *mRedo, *mEditRider, *mEditRiderPopup;
  QAction *mUndoPopup, *mRedoPopup, *mMoveTime, *mInsertLap;
  QMenu* mDeleteLap = nullptr;
  // The line that shows a refused press for a few seconds.
  QLabel* LabStatus = nullptr;
  // The busy line: a start number typed and Enter, and the open times (instants taken without a
  // number, numbered afterwards).
  QLineEdit* eNumber = nullptr;
  TOpenTimesList* ListOpenTimes = nullptr;
  TExpectedList* ExpectedList = nullptr;  // the riders on course in the order they are expected
  // The live results' address and its QR code, over the protocol's lower right corner.
  // Below the protocol grid: the panels that must never cover a result.
  QWidget* PanelBelowProtocol = nullptr;
  TLivePanel* PanelLive = nullptr;
  TQrCodeView* LiveQr = nullptr;
  QLabel* LabLive = nullptr;
  // "Station verbinden": the stations' code and link, and the stations in touch.
  TStationWindow* StationWindow = nullptr;
  // Timers.
  platform::Timer* TimerDate = nullptr;
  platform::Timer* TimerStatus = nullptr;
  platform::Timer* TimerLine = nullptr;  // the busy line's lists, by the second

  // The dialogs the program entry creates after the window.
  void SetDialogs(TCfgDialog* cfg, TFDlgYesNo* yesNo);

  // Ends the program without a question (a signal, the desktop session ending): every dialog
  // open now and any asked from here on ends unanswered, and the tear-down writes everything.
  void EndWithoutQuestion();

  RaceClock& Clock() { return *raceClock_; }
  RaceControl& Race() { return *raceControl_; }
  AutoStart& AutoStarter() { return *autoStart_; }
  TSettings& Settings() { return settings_; }
  TRaceSession& Session() { return *session_; }
  TProtocol& Protocol() { return session_->Protocol(); }
  QUndoStack& UndoStack() { return session_->UndoStack(); }
  TCorrectionLog& Corrections() { return session_->Corrections(); }
  TCorrectionDialog* CorrectionDialog() { return correctionDialog_; }
  TLinePasses& LinePasses() { return *linePasses_; }
  TRiderEditor* RiderEditor() { return riderEditor_; }

  void TimerDateTimer();
  void bHelpClick();
  void bCFGClick();
  void ImageDEClick();
  void UpdateFileButtons() override;

  // The race journal (FMainJournal.cpp). Runs once the window and its dialogs are up: offers
  // to restore a race that did not end, then starts journaling.
  void StartJournal();
  TJournal* Journal() { return journal_.get(); }

  // Files (FMainFiles.cpp).
  void sbSaveClick();
  void sbHTMLClick(QObject* Sender);  // open (Tag 0) or print (Tag 1) the report
  void sbExcelClick();
  TSpreadsheetExport& ExcelExport() { return *excelExport_; }
  void bDBClick();
  void sb1mClick(QObject* Sender);    // sb1m, sb1p, or the closing of cbStartN's list
  void ShowParticipant();

  // Corrections (FMainCorrections.cpp), all while the race runs: nothing here is modal.
  void OpenMoveTime();             // "Letzte Zeit übertragen an…" for the current row
  void OpenInsertLap();            // "Runde einfügen…" for the current row
  void DeleteLapClick(int lap);    // "Runde löschen" › lap
  void OpenRiderEditor(int col);   // F2 or a double-click: start number, name, category in place
  // Shows a line in the window for a few seconds (a refused press, a refused correction).
  void ShowStatus(const QString& text);
  // The correction list beside the shut-down protocol.
  void WriteCorrectionFile() const;

protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // Layout.
  QWidget* BuildTitleBar(QWidget* parent);
  QWidget* BuildClockArea(QWidget* parent);
  QWidget* BuildCommandPanel(QWidget* parent);
  QWidget* BuildProtocolArea(QWidget* parent);
  ClockDisplay BuildDisplay(QWidget* panel, int top, bool withCaptions);
  void BuildHiddenMenu();
  void BuildPopupMenu();
  void SetTabOrder();

  // Set-up steps of the files.
  void LoadCategoryList();
  void ConnectFileCommands();
  // The participant list: its buttons and counter as its current line stands, and that line's
  // rider shown.
  void ShowListPlace();
  // The current line's rider, his start number as the entry field holds it.
  std::optional<TParticipant> ListedParticipant() const;
  // The protocol row where he rides, 0 before his start.
  int32_t StartedRow(const TParticipant& participant) const;

  // Writes the settings, the protocol and the correction list, and closes the journal; once.
  void TearDown();

  // Settings.
  void ApplySettings();
  void CollectSettings();
  void CorrectFrameSize();

  // Corrections.
  void BuildCorrections();
  // The protocol's selection handler: the race commands and the pop-up items follow row.
  void RowSelected(int32_t row);
  // The protocol's pop-up items for row: each enabled only where it can be done.
  void UpdateCorrectionItems(int32_t row);
  // What the window shows of a change of the protocol: the rider editor's row, the file
  // buttons, the correction items.
  void ShowProtocolChange();
  QString RiderText(int32_t row) const;
  // The race time of a tick as the clock shows it.
  QString RaceTimeOf(uint32_t tick) const;
  // The tick of the press being handled: when the key or button was pressed, else now.
  uint32_t PressTick() const;

  // The busy line (FMainLine.cpp).
  void ConnectLine();
  // A race command's item run as pressed at tick; forced: with Shift; forceKey: the key that
  // forces it, as a refusal names it.
  void PressRaceCommand(QAction* item, bool forced, uint32_t tick, const QString& forceKey = {});
  void NumberEntered(const QString& number, bool forced, uint32_t tick);
  // The open times' list as the session has them.
  void ShowOpenTimes();
  // The riders expected, after a change (told by the session) and by the second.
  void FollowExpected(const TSessionChange& change);
  void ShowExpected();
  // The panels below the protocol, in the room the grid leaves them.
  void PlaceBelowProtocol();

  // Journal.
  TRaceSnapshot JournalSnapshot() const;
  // The same without the rows, which the session keeps.
  TRaceSnapshot JournalHead() const;
  void ApplySnapshot(const TRaceSnapshot& state);
  // The session's listener: the journal writes the change, the live feed takes a snapshot.
  void RecordChange(const TSessionChange& change);
  // Live results.
  void BuildLivePanel(QWidget* parent);
  // The panel as the server and the folder stand: the address and its code, or why not.
  void ShowLivePanel();
  void CheckLiveAddress();
  void ApplyLiveSettings();
  void ScheduleLiveSnapshot();
  void PublishLiveSnapshot();
  void NoteLiveChange(const TSessionChange& change);
  void ShowJournalError();
  void ResetCommand();
  // Stations (FMainStations.cpp).
  void BuildStations();
  void ShowStationWindow();
  QString StationLink() const;
  // The server learns the race's key (made when there is none) and the passes it took before.
  void GiveStationAccess();
  // A new key and no passes known: a new race.
  void RenewStationToken();
  // "Neuer Code": asked, then every older link is useless.
  void NewStationCode();
  void StationPassesArrived(const TStationBatch& batch);
  void ShowStations();
  void KeepOperatorView(const std::function<void()>& body);

  // RaceControlHost.
  QString ProtocolCell(int col, int row) const override;
  void StartRider(uint32_t tick, const QString& number, const QString& name, const QString& category) override;
  void RecordLap(uint32_t tick) override;
  void StopRider(uint32_t tick) override;
  void ShowRefusedPress(const QString& text) override;
  void ClearProtocol() override;
  bool ProtocolModified() const override;
  void LayoutProtocolColumns() override;
  QString StartNumberText() const override;
  QString NameText() const override;
  QString CategoryText() const override;
  void ShowEntryFields(const QString& number, const QString& name, const QString& category) override;
  void ClearStartNumberChoices() override;
  std::optional<EntryFields> WaitingParticipant() const override;
  void ShowCommands(const CommandFaces& faces) override;
  void LockLapLengths(bool locked) override;
  void SetParticipantListEnabled(bool enabled) override;
  void SetSettingsEnabled(bool enabled) override;
  void UncheckAutoStart() override;
  void FocusResetButton() override;
  void FocusStartButton() override;
  void RaceRunning(bool running) override;
  bool Confirm(const QString& question, const QString& yes, const QString& no, bool noIsActive) override;

  TSettings settings_;
  TFileTypeDescriptions fileTypes_;
  std::unique_ptr<RaceClock> raceClock_;
  std::unique_ptr<AutoStart> autoStart_;
  std::unique_ptr<RaceControl> raceControl_;
  std::unique_ptr<TLapLengths> lapLengths_;
  std::unique_ptr<TRaceSession> session_;
  std::unique_ptr<TLinePasses> linePasses_;
  TExpectedRiders expected_;
  std::unique_ptr<TJournal> journal_;
  std::unique_ptr<TSpreadsheetExport> excelExport_;
  TCorrectionDialog* correctionDialog_ = nullptr;
  TRiderEditor* riderEditor_ = nullptr;
  bool forcePress_ = false;  // the press being handled came with Shift
  QString forceKey_;         // the key that would have forced it, when not Shift+F4 or Shift+F9
  std::optional<uint32_t> pressTick_;  // when the press being handled was made
  platform::InputClock* inputClock_ = nullptr;
  platform::SleepInhibitor* sleepInhibitor_ = nullptr;
  platform::BatteryMonitor* battery_ = nullptr;
  // The server is declared before the feed, so the feed (which hands it publications) goes first.
  std::unique_ptr<TLiveServer> liveServer_;
  TLiveServerOptions liveOptions_;
  std::unique_ptr<TLiveFeed> liveFeed_;
  QString liveError_;  // why the server is not running although switched on
  QTimer* liveAddressCheck_ = nullptr;
  uint64_t liveSerial_ = 0;
  QTimer* liveDue_ = nullptr;  // the next snapshot, at the next turn of the event loop or as paced
  TSnapshotPacer livePacer_;
  TLiveTracker liveTracker_;
  QElapsedTimer liveClock_;
  QByteArray stationToken_;   // the race's key for the stations; kept in the journal
  QStringList stationIds_;    // the passes taken from stations, so a resend counts once
  RaceKeyFilter* raceKeys_ = nullptr;
  NumberKeyFilter* numberKeys_ = nullptr;
  TCfgDialog* cfgDialog_ = nullptr;
  TFDlgYesNo* yesNoDialog_ = nullptr;
  QString helpFile_;
  bool frameCorrected_ = false;
  bool ending_ = false;    // closing without a question
  bool tornDown_ = false;
};
