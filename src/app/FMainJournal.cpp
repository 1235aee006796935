// The main window's side of the race journal: what it records, and the restore of a race
// the last run did not end.
#include <QDir>

#include "app/FMain.h"
#include "grid/SortGrid.h"
#include "io/Journal.h"
#include "platform/AppTitle.h"
#include "platform/LocalTime.h"
#include "platform/Modal.h"
#include "platform/Tick.h"
#include "race/LapLengths.h"
#include "race/Protocol.h"

namespace {

static_assert(kJournalRowFields == kProtocolColumns + 1, "a journal row is the protocol's cells and its record's text");

constexpr const char* kRestoreQuestion = "Das letzte Rennen wurde nicht beendet. Wiederherstellen?";

TRaceSnapshot::TState SnapshotState(RaceControl::State state) {
  switch (state) {
    case RaceControl::State::Running: return TRaceSnapshot::TState::Running;
    case RaceControl::State::Ended: return TRaceSnapshot::TState::Ended;
    default: return TRaceSnapshot::TState::Idle;
  }
}

RaceControl::State ControlState(TRaceSnapshot::TState state) {
  switch (state) {
    case TRaceSnapshot::TState::Running: return RaceControl::State::Running;
    case TRaceSnapshot::TState::Ended: return RaceControl::State::Ended;
    default: return RaceControl::State::Idle;
  }
}

}  // namespace

QString JournalFileName() { return platform::ApplicationTitle() + QStringLiteral(".journal"); }

bool ClaimWorkingFolder(TJournalLock& lock) {
  const QString title = platform::ApplicationTitle();
  // A folder where no lock file can be made cannot hold a journal either; the journal's own
  // message says so once the window is up.
  if (lock.Acquire(title + QStringLiteral(".lock")) != TJournalLock::TResult::Busy) return true;
  platform::Modal().MessageBox(
      nullptr, title,
      QStringLiteral("%1 läuft bereits in diesem Ordner:\n%2\n\n"
                     "Zwei Programme dürfen nicht in dasselbe Rennjournal schreiben. Dieses Programm wird beendet.")
          .arg(title, QDir::toNativeSeparators(QDir::currentPath())),
      MsgIcon::Warning, MsgButtons::Ok);
  return false;
}

TRaceSnapshot TFormMain::JournalSnapshot() const {
  TRaceSnapshot s = JournalHead();
  s.Rows = session_->Rows();
  return s;
}

TRaceSnapshot TFormMain::JournalHead() const {
  TRaceSnapshot s;
  s.State = SnapshotState(raceControl_->RaceState());
  s.RaceStartTick = raceClock_->RaceStartTick;
  s.RoundLen = lapLengths_->RoundLen;
  for (int k = 1; k <= TLapLengths::kLaps; ++k) s.LapTable << TableLength->Cells(1, k);
  s.CanSort = SortGrid1->SortOptions().CanSort();
  s.SelectedRow = SortGrid1->Row();
  s.Corrections = session_->Corrections().Lines();
  for (const TOpenTime& time : session_->OpenTimes().Times()) s.OpenTimes << time.ToText();
  for (const TOpenTime& number : session_->WaitingNumbers()) s.OpenTimes << number.ToText();
  s.StationToken = QString::fromLatin1(stationToken_);
  s.StationIds = stationIds_;
  return s;
}

void TFormMain::ApplySnapshot(const TRaceSnapshot& s) {
  std::vector<TOpenTime> openTimes;
  std::vector<TOpenTime> waiting;
  for (const QString& text : s.OpenTimes)
    if (const std::optional<TOpenTime> time = TOpenTime::FromText(text)) (time->Tick == 0 ? waiting : openTimes).push_back(*time);
  session_->Restore(s.Rows, s.Corrections, openTimes, waiting);
  // The phones of the race go on with the link they have.
  if (!s.StationToken.isEmpty()) stationToken_ = s.StationToken.toLatin1();
  stationIds_ = s.StationIds;
  GiveStationAccess();
  SortGrid1->SortOptions().SetCanSort(s.CanSort);
  lapLengths_->RoundLen = s.RoundLen;
  for (int k = 1; k <= TLapLengths::kLaps && k <= s.LapTable.size(); ++k) TableLength->SetCells(1, k, s.LapTable[k - 1]);
  raceControl_->Restore(ControlState(s.State), s.RaceStartTick);
  session_->Protocol().LayoutProtocolColumns();
  const int32_t row = std::clamp<int32_t>(s.SelectedRow, 1, SortGrid1->RowCount() - 1);
  raceControl_->UpdateCommandStates(row);
  SortGrid1->SetSelection(TGridRect{0, row, SortGrid1->ColCount() - 1, row});
  UpdateFileButtons();
}

void TFormMain::StartJournal() {
  if (journal_) return;
  journal_ = std::make_unique<TJournal>(JournalFileName());
  const TJournalContents last = ReadJournal(journal_->Path());
  bool restored = false;
  if (last.Exists && !last.Closed && last.HasContent && Confirm(kRestoreQuestion, "Ja", "Nein", false)) {
    TRaceSnapshot state = last.State;
    // After a reboot the counter started again from zero: the wall clock carries the old
    // ticks over, so riders on course keep their true running times.
    if (last.LastBoot != CurrentBootId())
      ShiftSnapshotTicks(state, RebootTickShift(last.LastTick, last.LastWall, platform::GetTickCount(),
                                                platform::Now().toMSecsSinceEpoch()));
    ApplySnapshot(state);
    restored = true;
  }
  // Ended while the question was open: the journal stays as it is, for the next start to offer.
  if (ending_) return;
  const QString kept = journal_->Begin(JournalSnapshot(), restored ? "RESTORE" : "OPEN");
  if (last.TooLarge) {
    platform::Modal().MessageBox(
        this, platform::ApplicationTitle(),
        QStringLiteral("Das Rennjournal ist größer als %1 MB und wurde nicht gelesen.\n"
                       "Es bleibt als %2 erhalten.")
            .arg(kMaxJournalBytes / (1024 * 1024))
            .arg(QDir::toNativeSeparators(kept)),
        MsgIcon::Warning, MsgButtons::Ok);
  } else if (restored && last.CorruptLine > 0) {
    platform::Modal().MessageBox(
        this, platform::ApplicationTitle(),
        QStringLiteral("Das Rennjournal ist ab Zeile %1 beschädigt. Wiederhergestellt wurde der Stand bis Zeile %2.\n"
                       "Das beschädigte Journal bleibt als %3 erhalten.")
            .arg(last.CorruptLine)
            .arg(last.CorruptLine - 1)
            .arg(QDir::toNativeSeparators(kept)),
        MsgIcon::Warning, MsgButtons::Ok);
  } else if (restored && last.TornTail) {
    platform::Modal().MessageBox(this, platform::ApplicationTitle(),
                                 QStringLiteral("Die letzte Zeile des Rennjournals war unvollständig, weil das Programm "
                                                "beim Schreiben beendet wurde. Sie wurde übergangen."),
                                 MsgIcon::Information, MsgButtons::Ok);
  }
  ShowJournalError();
}

void TFormMain::RecordChange(const TSessionChange& change) {
  // Every change reaches the live results; the journal writes those it has a name for.
  ScheduleLiveSnapshot();
  if (journal_ && !change.Event.isEmpty()) {
    journal_->Record(change.Event, JournalHead(), session_->Rows(), change.Touched ? &*change.Touched : nullptr);
    ShowJournalError();
  }
  if (change.Protocol) ShowProtocolChange();
  if (change.OpenTimes || change.Protocol) ShowOpenTimes();
}

void TFormMain::ShowJournalError() {
  if (!journal_) return;
  const QString error = journal_->TakeError();
  if (!error.isEmpty()) platform::Modal().MessageBox(this, platform::ApplicationTitle(), error, MsgIcon::Warning, MsgButtons::Ok);
}

void TFormMain::ResetCommand() {
  const bool started = raceClock_->RaceStartTick != 0;
  raceControl_->ResetClick();
  // A confirmed reset closes the race's journal and keeps it; the next race gets a new one.
  if (started && raceControl_->RaceState() == RaceControl::State::Idle) RenewStationToken();
  if (journal_ && started && raceControl_->RaceState() == RaceControl::State::Idle) {
    journal_->Rotate(JournalSnapshot());
    ShowJournalError();
  }
}
