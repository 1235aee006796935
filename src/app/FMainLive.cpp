// The main window's side of the live results: a snapshot of the race after every change, the
// server and the published folder as the settings say, and the panel with the address and its
// QR code below the protocol.
#include <QTimer>

#include "app/FMain.h"
#include "grid/SortGrid.h"
#include "net/LiveAddress.h"
#include "net/LiveFeed.h"
#include "net/LiveServer.h"
#include "net/StationApi.h"
#include "platform/AppTitle.h"
#include "platform/LocalTime.h"
#include "platform/Tick.h"
#include "race/LiveSnapshot.h"
#include "race/Protocol.h"
#include "race/TimeText.h"
#include "widgets/LivePanel.h"
#include "widgets/StationWindow.h"
#include "widgets/QrCode.h"

namespace {
constexpr int kLiveAddressCheckMs = 10000;
// Data rows the protocol keeps in sight beside the live panel's code.
constexpr int kLiveGridRows = 3;
}  // namespace

void TFormMain::BuildLivePanel(QWidget* parent) {
  liveDue_ = new QTimer(this);
  liveDue_->setSingleShot(true);
  liveClock_.start();
  liveAddressCheck_ = new QTimer(this);
  liveAddressCheck_->setInterval(kLiveAddressCheckMs);
  connect(liveAddressCheck_, &QTimer::timeout, this, [this] { CheckLiveAddress(); });
  connect(liveDue_, &QTimer::timeout, this, [this] { PublishLiveSnapshot(); });

  PanelLive = new TLivePanel(parent);
  LiveQr = PanelLive->Code();
  LabLive = PanelLive->Text();
}

void TFormMain::PlaceBelowProtocol() {
  if (!PanelLive) return;
  const QWidget* area = SortGrid1->parentWidget();
  // The live panel's code only where the grid keeps its header and a few rows; the lists of the
  // busy line shrink down to a line of their own.
  const int gridMinimum = (kLiveGridRows + 1) * SortGrid1->DefaultRowHeight() + 2 * SortGrid1->frameWidth();
  PanelLive->SetRoom(area->height() - SortGrid1->y() - gridMinimum);
}

void TFormMain::ShowLivePanel() {
  QStringList lines;
  QString address;
  if (liveServer_) {
    address = LiveAddress(liveServer_->Port());
    lines << QStringLiteral("Live: %1").arg(address) << QStringLiteral("im ganzen Netzwerk erreichbar");
  } else if (!liveError_.isEmpty()) {
    lines << QStringLiteral("Live-Ergebnisse im Netzwerk aus:") << liveError_;
  }
  if (liveFeed_ && !settings_.LiveFolder.isEmpty())
    lines << QStringLiteral("Live-Ergebnisse als Dateien in") << settings_.LiveFolder;
  PanelLive->Show(address, lines);
  if (StationWindow) StationWindow->SetLink(StationLink());
  PlaceBelowProtocol();
  // The laptop may join the venue's network after the start: the address is looked at again.
  if (liveServer_) liveAddressCheck_->start(); else liveAddressCheck_->stop();
}

void TFormMain::CheckLiveAddress() {
  if (liveServer_ && LiveAddress(liveServer_->Port()) != LiveQr->Text()) ShowLivePanel();
}

void TFormMain::ApplyLiveSettings() {
  // The feed goes first: its thread hands publications to the server that is about to change.
  liveFeed_.reset();
  const bool serve = settings_.LivePort != 0;
  const bool publish = !settings_.LiveFolder.isEmpty();
  TLiveServerOptions options;
  options.port = static_cast<quint16>(settings_.LivePort);
  options.maxClients = settings_.LiveClients;
  // The stations' passes and their clock are on the wall clock the journal uses.
  options.wallClockMs = [] { return platform::Now().toMSecsSinceEpoch(); };
  if (!serve || (liveServer_ && (liveOptions_.port != options.port || liveOptions_.maxClients != options.maxClients)))
    liveServer_.reset();
  liveError_.clear();
  if (!serve && !publish) {
    ShowLivePanel();
    return;
  }
  if (serve && !liveServer_) {
    liveServer_ = std::make_unique<TLiveServer>();
    liveOptions_ = options;
    liveServer_->OnStationPasses = [this](const TStationBatch& batch) { StationPassesArrived(batch); };
    GiveStationAccess();
    if (!liveServer_->Start(options, &liveError_)) {
      liveServer_.reset();
      ShowStatus(liveError_);
    }
  }
  liveFeed_ = std::make_unique<TLiveFeed>();
  liveFeed_->OnFolderState = [this](const QString& error) {
    if (!error.isEmpty()) ShowStatus(error);
  };
  // Publications go straight from the feed's thread to the server's.
  if (TLiveServer* server = liveServer_.get())
    liveFeed_->OnPublication = [server](TLivePublicationPtr publication) { server->Publish(std::move(publication)); };
  liveFeed_->SetFolder(settings_.LiveFolder);
  ShowLivePanel();
  ScheduleLiveSnapshot();
}

void TFormMain::ScheduleLiveSnapshot() {
  // One snapshot per turn of the event loop, after the press that caused it is done; a big
  // race's snapshots are paced.
  if (!liveFeed_ || liveDue_->isActive()) return;
  liveDue_->start(livePacer_.DelayMs(liveClock_.elapsed()));
}

void TFormMain::NoteLiveChange(const TSessionChange& change) {
  // Without a feed nothing is taken: the next feed's first snapshot reads the whole race.
  if (liveFeed_) liveTracker_.Note(session_->Protocol(), change);
  else liveTracker_.Forget();
}

void TFormMain::PublishLiveSnapshot() {
  if (!liveFeed_) return;
  const qint64 begun = liveClock_.elapsed();
  auto snapshot = std::make_shared<TLiveSnapshot>();
  const uint32_t now = platform::GetTickCount();
  snapshot->serial = ++liveSerial_;
  snapshot->title = platform::ApplicationTitle();
  snapshot->raceRunning = raceControl_->RaceState() == RaceControl::State::Running;
  snapshot->raceMs = raceClock_->RaceStartTick != 0 ? std::max(TickDiff(now, raceClock_->RaceStartTick), 0) : 0;
  const QDateTime wallClock = platform::Now();
  snapshot->takenAtMs = wallClock.toMSecsSinceEpoch();
  liveTracker_.Take(session_->Protocol(), now, wallClock, *snapshot);
  // The starter's phone: who goes next, and when the automatic start is due.
  if (const std::optional<EntryFields> waiting = WaitingParticipant()) {
    snapshot->nextNumber = waiting->Number;
    snapshot->nextName = waiting->Name;
  } else if (session_->Protocol().IsEntryRow(SortGrid1->Row())) {
    snapshot->nextNumber = StartNumberText();
    snapshot->nextName = NameText();
  }
  if (raceClock_->AutoStartActive && raceClock_->AutoStartTick != 0 && autoStart_->Timer().Enabled()) {
    const int32_t due = TickDiff(raceClock_->AutoStartTick + autoStart_->IntervalMs(), now);
    snapshot->nextStartAtMs = snapshot->takenAtMs + std::max(due, 0);
  }
  liveFeed_->Submit(std::move(snapshot));
  const qint64 ended = liveClock_.elapsed();
  livePacer_.Took(ended, ended - begun);
}
