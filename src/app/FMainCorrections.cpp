// The main window's side of corrections: the undo keys, the protocol's pop-up items, the
// non-modal questions, the in-place rider editor, the refused-press line and the correction
// file. The corrections themselves are the protocol's; the session keeps their undo steps.
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QUndoStack>

#include "app/FMain.h"
#include "app/RaceKeys.h"
#include "app/RiderEditor.h"
#include "dialogs/CorrectionDialog.h"
#include "grid/SortGrid.h"
#include "platform/AnsiText.h"
#include "platform/LocalTime.h"
#include "platform/Sound.h"
#include "platform/Tick.h"
#include "platform/Timer.h"
#include "race/ProtocolCommand.h"
#include "race/Protocol.h"
#include "race/TimeText.h"

namespace {

constexpr int kStatusMs = 5000;

}  // namespace

void TFormMain::BuildCorrections() {
  auto windowItem = [this](const char* name, const QString& caption) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    addAction(action);
    return action;
  };
  // The keys go through the race key filter, which lets the rider editor keep its own undo.
  mUndo = windowItem("mUndo", QStringLiteral("Rückgängig"));
  mRedo = windowItem("mRedo", QStringLiteral("Wiederholen"));
  connect(mUndo, &QAction::triggered, this, [this] { session_->Undo(); });
  connect(mRedo, &QAction::triggered, this, [this] { session_->Redo(); });
  mEditRider = windowItem("mEditRider", QStringLiteral("Fahrer ändern"));
  connect(mEditRider, &QAction::triggered, this, [this] { OpenRiderEditor(pcName); });
  raceKeys_->AddCommand(Qt::CTRL | Qt::Key_Z, mUndo);
  raceKeys_->AddCommand(Qt::CTRL | Qt::Key_Y, mRedo);
  raceKeys_->AddCommand(Qt::CTRL | Qt::SHIFT | Qt::Key_Z, mRedo);
  raceKeys_->AddCommand(QKeyCombination(Qt::Key_F2), mEditRider);

  // The pop-up menu: what the next undo and redo take back and do again, then the corrections
  // of the row under the mouse.
  QAction* first = PopupMenuProtokol->actions().value(0);
  mUndoPopup = new QAction(QStringLiteral("Rückgängig"), PopupMenuProtokol);
  mUndoPopup->setObjectName("mUndoPopup");
  mRedoPopup = new QAction(QStringLiteral("Wiederholen"), PopupMenuProtokol);
  mRedoPopup->setObjectName("mRedoPopup");
  PopupMenuProtokol->insertAction(first, mUndoPopup);
  PopupMenuProtokol->insertAction(first, mRedoPopup);
  PopupMenuProtokol->insertSeparator(first);
  connect(mUndoPopup, &QAction::triggered, this, [this] { session_->Undo(); });
  connect(mRedoPopup, &QAction::triggered, this, [this] { session_->Redo(); });
  mMoveTime = new QAction(QStringLiteral("Letzte Zeit übertragen an…"), PopupMenuProtokol);
  mMoveTime->setObjectName("mMoveTime");
  PopupMenuProtokol->insertAction(first, mMoveTime);
  connect(mMoveTime, &QAction::triggered, this, [this] { OpenMoveTime(); });
  mDeleteLap = new QMenu(QStringLiteral("Runde löschen"), PopupMenuProtokol);
  mDeleteLap->setObjectName("mDeleteLap");
  PopupMenuProtokol->insertMenu(first, mDeleteLap);
  mInsertLap = new QAction(QStringLiteral("Runde einfügen…"), PopupMenuProtokol);
  mInsertLap->setObjectName("mInsertLap");
  PopupMenuProtokol->insertAction(first, mInsertLap);
  connect(mInsertLap, &QAction::triggered, this, [this] { OpenInsertLap(); });
  auto* edit = new QAction(QStringLiteral("Fahrer ändern…\tF2"), PopupMenuProtokol);
  edit->setObjectName("mEditRiderPopup");
  PopupMenuProtokol->insertAction(first, edit);
  connect(edit, &QAction::triggered, this, [this] { OpenRiderEditor(pcName); });
  mEditRiderPopup = edit;
  PopupMenuProtokol->insertSeparator(first);
  connect(PopupMenuProtokol, &QMenu::aboutToShow, this, [this] { UpdateCorrectionItems(SortGrid1->Row()); });
  connect(&session_->UndoStack(), &QUndoStack::indexChanged, this, [this] { UpdateCorrectionItems(SortGrid1->Row()); });

  correctionDialog_ = new TCorrectionDialog(this);
  correctionDialog_->setObjectName("CorrectionDialog");

  riderEditor_ = new TRiderEditor(*SortGrid1);
  raceKeys_->SetKeepsCommandKeys(riderEditor_);
  riderEditor_->OnRefused = [this](const QString& refusal) {
    platform::Sound().Beep();
    ShowStatus(refusal);
  };
  // The protocol selects whole rows, so the current column says nothing: the cell pressed does.
  SortGrid1->OnDblClick = [this](QObject*) {
    const TGridCoord cell = SortGrid1->PressCell();
    if (cell.Y < 1) return;
    if (cell.Y != SortGrid1->Row()) SortGrid1->SetRow(cell.Y);
    OpenRiderEditor(cell.X == pcNumber || cell.X == pcCategory ? cell.X : pcName);
  };

  TimerStatus = new platform::Timer(this);
  TimerStatus->SetInterval(kStatusMs);
  TimerStatus->OnTimer = [this](QObject*) {
    TimerStatus->SetEnabled(false);
    LabStatus->clear();
    LabStatus->hide();
  };
  UpdateCorrectionItems(SortGrid1->Row());
}

void TFormMain::RowSelected(int32_t row) {
  raceControl_->UpdateCommandStates(row);
  UpdateCorrectionItems(row);
}

void TFormMain::UpdateCorrectionItems(int32_t row) {
  const QUndoStack& stack = session_->UndoStack();
  const bool canUndo = stack.canUndo();
  const bool canRedo = stack.canRedo();
  mUndo->setEnabled(canUndo);
  mRedo->setEnabled(canRedo);
  mUndoPopup->setEnabled(canUndo);
  mRedoPopup->setEnabled(canRedo);
  mUndoPopup->setText(canUndo ? QStringLiteral("Rückgängig: ") + stack.undoText() : QStringLiteral("Rückgängig"));
  mRedoPopup->setText(canRedo ? QStringLiteral("Wiederholen: ") + stack.redoText() : QStringLiteral("Wiederholen"));

  // Each item of the row is offered only where it can be done.
  const TProtocol& protocol = session_->Protocol();
  const bool rider = row >= 1 && row < SortGrid1->RowCount() && !protocol.IsEntryRow(row);
  const std::optional<TRiderTimes> times = rider ? protocol.RowTimes(row) : std::nullopt;
  const bool lapped = times && times->Laps() > 0;
  mCut->setEnabled(rider);
  mEditRiderPopup->setEnabled(rider);
  mMoveTime->setEnabled(lapped && protocol.CanMoveLastPress(row));
  mInsertLap->setEnabled(rider && protocol.CanInsertLap(row, platform::GetTickCount(), raceClock_->RaceStartTick));
  mDeleteLap->clear();
  mDeleteLap->setEnabled(lapped);
  if (lapped) {
    for (int lap = 1; lap <= times->Laps(); ++lap) {
      const uint32_t earlier = lap > 1 ? times->Presses[static_cast<size_t>(lap - 2)] : times->Start;
      const uint32_t press = times->Presses[static_cast<size_t>(lap - 1)];
      QAction* item = mDeleteLap->addAction(
          QStringLiteral("Runde %1: %2 (bei %3)").arg(lap).arg(FormatDuration(TickDiff(press, earlier)), RaceTimeOf(press)));
      connect(item, &QAction::triggered, this, [this, lap] { DeleteLapClick(lap); });
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Undo steps

void TFormMain::ShowProtocolChange() {
  if (riderEditor_ && riderEditor_->IsOpen()) riderEditor_->Follow(riderEditor_->Row() < SortGrid1->RowCount() ? riderEditor_->Row() : -1);
  UpdateFileButtons();
  UpdateCorrectionItems(SortGrid1->Row());
}

QString TFormMain::RiderText(int32_t row) const {
  return QStringLiteral("Nr. %1").arg(row >= 1 && row < SortGrid1->RowCount() ? SortGrid1->Cells(pcNumber, row) : QString());
}

QString TFormMain::RaceTimeOf(uint32_t tick) const { return FormatDuration(TickDiff(tick, raceClock_->RaceStartTick)); }

uint32_t TFormMain::PressTick() const { return pressTick_.value_or(platform::GetTickCount()); }

// ---------------------------------------------------------------------------------------------
// The corrections

void TFormMain::OpenMoveTime() {
  const int32_t row = SortGrid1->Row();
  if (row < 1 || row >= SortGrid1->RowCount() || session_->Protocol().IsEntryRow(row)) return;
  const TRowRecord* record = &session_->Protocol().Record(row);
  if (!record->Times || record->Times->Presses.empty()) return;
  const QString rider = RiderText(row);
  const uint32_t press = record->Times->Presses.back();
  const QString kind = record->Times->Stopped ? QStringLiteral("STOPP") : QStringLiteral("LAP");
  const QString when = RaceTimeOf(press);
  correctionDialog_->Ask(
      QStringLiteral("Letzte Zeit übertragen"),
      QStringLiteral("Die letzte Zeit von %1 (%2 bei %3) gehört zum Fahrer mit der Startnummer:").arg(rider, kind, when), {},
      [this, record, rider, kind, when](const QString& answer) {
        // The row may have moved meanwhile: a ranking goes on while the question is open.
        const int32_t now = session_->Protocol().RowOfRecord(record);
        if (now < 1) return QStringLiteral("%1 steht nicht mehr im Protokoll.").arg(rider);
        const QString to = NormalStartNumber(answer);
        QString refusal;
        session_->Change(QStringLiteral("Zeit von %1 an Nr. %2").arg(rider, to), rider, QStringLiteral("MOVE"), [&, now] {
          refusal = session_->Protocol().MoveLastPress(now, answer);
          if (refusal.isEmpty())
            session_->AddCorrection(rider, QStringLiteral("Letzte Zeit übertragen an Nr. %1").arg(to),
                                    QStringLiteral("%1 bei %2").arg(kind, when), QStringLiteral("Nr. %1").arg(to));
        });
        return refusal;
      });
}

void TFormMain::OpenInsertLap() {
  const int32_t row = SortGrid1->Row();
  if (row < 1 || row >= SortGrid1->RowCount() || session_->Protocol().IsEntryRow(row)) return;
  const TRowRecord* record = &session_->Protocol().Record(row);
  if (!record->Times || !record->Times->Started) return;
  const QString rider = RiderText(row);
  correctionDialog_->Ask(
      QStringLiteral("Runde einfügen"),
      QStringLiteral("Rennzeit der fehlenden Runde von %1, wie die Uhr sie zeigt (h:mm.ss,t):").arg(rider),
      RaceTimeOf(platform::GetTickCount()), [this, record, rider](const QString& answer) {
        const std::optional<int32_t> ms = ParseDuration(answer);
        if (!ms) return QStringLiteral("\"%1\" ist keine Rennzeit; bitte wie die Uhr: 1:02.03,4.").arg(answer.trimmed());
        const int32_t now = session_->Protocol().RowOfRecord(record);
        if (now < 1) return QStringLiteral("%1 steht nicht mehr im Protokoll.").arg(rider);
        const uint32_t tick = raceClock_->RaceStartTick + static_cast<uint32_t>(*ms);
        QString refusal;
        session_->Change(QStringLiteral("Runde einfügen %1").arg(rider), rider, QStringLiteral("INSLAP"), [&, now, tick] {
          refusal = session_->Protocol().InsertLap(now, tick, platform::GetTickCount(), raceClock_->RaceStartTick);
          if (refusal.isEmpty()) session_->AddCorrection(rider, QStringLiteral("Runde eingefügt"), {}, RaceTimeOf(tick));
        });
        return refusal;
      });
}

void TFormMain::DeleteLapClick(int lap) {
  const int32_t row = SortGrid1->Row();
  if (row < 1 || row >= SortGrid1->RowCount() || session_->Protocol().IsEntryRow(row)) return;
  const TRowRecord& record = session_->Protocol().Record(row);
  if (!record.Times || lap < 1 || lap > record.Times->Laps()) return;
  const QString rider = RiderText(row);
  const QString when = RaceTimeOf(record.Times->Presses[static_cast<size_t>(lap - 1)]);
  QString refusal;
  session_->Change(QStringLiteral("Runde %1 löschen %2").arg(lap).arg(rider), rider, QStringLiteral("DELLAP"), [&, row] {
    refusal = session_->Protocol().DeleteLap(row, lap);
    if (refusal.isEmpty()) session_->AddCorrection(rider, QStringLiteral("Runde %1 gelöscht").arg(lap), when, {});
  });
  if (!refusal.isEmpty()) ShowStatus(refusal);
}

void TFormMain::OpenRiderEditor(int col) {
  const int32_t row = SortGrid1->Row();
  if (row < 1 || row >= SortGrid1->RowCount() || session_->Protocol().IsEntryRow(row)) return;
  QStringList categories;
  for (int i = 0; i < cbPol->count(); ++i) categories << cbPol->itemText(i);
  const TRowRecord* record = &session_->Protocol().Record(row);
  riderEditor_->OnCommit = [this, record](const QString& number, const QString& name, const QString& category) {
    const int32_t now = session_->Protocol().RowOfRecord(record);
    if (now < 1) return QStringLiteral("Der Fahrer steht nicht mehr im Protokoll.");
    const QString rider = RiderText(now);
    const QString oldNumber = SortGrid1->Cells(pcNumber, now);
    const QString oldName = SortGrid1->Cells(pcName, now);
    const QString oldCategory = SortGrid1->Cells(pcCategory, now);
    QString refusal;
    session_->Change(QStringLiteral("Fahrer ändern %1").arg(rider), rider, QStringLiteral("EDIT"), [&, now] {
      refusal = session_->Protocol().EditRider(now, number, name, category);
      if (!refusal.isEmpty()) return;
      const int32_t row = session_->Protocol().RowOfRecord(record);
      const QString newNumber = SortGrid1->Cells(pcNumber, row);
      if (newNumber != oldNumber) session_->AddCorrection(rider, QStringLiteral("Startnummer"), oldNumber, newNumber);
      if (name != oldName) session_->AddCorrection(rider, QStringLiteral("Name"), oldName, name);
      if (category != oldCategory) session_->AddCorrection(rider, QStringLiteral("Kategorie"), oldCategory, category);
    });
    return refusal;
  };
  riderEditor_->Open(row, col, categories);
}

// ---------------------------------------------------------------------------------------------
// The line and the list

void TFormMain::ShowStatus(const QString& text) {
  LabStatus->setText(text);
  LabStatus->show();
  LabStatus->raise();
  TimerStatus->SetEnabled(false);
  TimerStatus->SetEnabled(true);
}

void TFormMain::WriteCorrectionFile() const {
  // Failures stay silent, as for the text export: the list is in the journal as well.
  platform::WriteTextFile(CorrectionFileName(), session_->Corrections().FileLines());
}
