// The main window's side of race control: the protocol, the entry fields and the neighbours.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUndoStack>

#include "app/FMain.h"
#include "app/RiderEditor.h"
#include "dialogs/CorrectionDialog.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "platform/BatteryMonitor.h"
#include "platform/Modal.h"
#include "platform/SleepInhibitor.h"
#include "platform/Sound.h"
#include "race/LapLengths.h"
#include "race/Protocol.h"
#include "widgets/ButtonWithColor.h"
#include "widgets/LbSpeedButton.h"

namespace {

// The participant list's move to the next rider at a START. It is part of the START's undo step,
// so a START taken back shows its rider again, and done again moves on again.
class TListMove : public QUndoCommand {
public:
  TListMove(TParticipantList& list, std::function<void()> moveOn, std::function<void()> show)
      : list_(list), moveOn_(std::move(moveOn)), show_(std::move(show)) {}

  void redo() override {
    if (!moved_) {
      moved_ = true;
      before_ = list_.Current();
      moveOn_();
      after_ = list_.Current();
      if (after_ == before_) setObsolete(true);
      return;
    }
    Go(after_);
  }
  void undo() override { Go(before_); }

private:
  void Go(int index) {
    list_.Choose(index);
    show_();
  }

  TParticipantList& list_;
  std::function<void()> moveOn_;
  std::function<void()> show_;
  bool moved_ = false;
  int before_ = -1, after_ = -1;
};

}  // namespace

QString TFormMain::ProtocolCell(int col, int row) const { return SortGrid1->Cells(col, row); }

// The race commands are undo steps; the session tells of them once the whole command is done.
void TFormMain::StartRider(uint32_t tick, const QString& number, const QString& name, const QString& category) {
  const QString rider = QStringLiteral("Nr. %1").arg(StartNumberOf(number, SortGrid1->Row()));
  const QString text = QStringLiteral("START ") + rider;
  session_->Group(text, [&, this] {
    session_->Change(text, rider, QString(), [&, this] { session_->Protocol().RecordStart(tick, number, name, category); });
    session_->Push(new TListMove(
        DataBase, [this] { if (sb1p->isEnabled()) sb1mClick(sb1p); }, [this] { ShowListPlace(); }));
  });
}

void TFormMain::RecordLap(uint32_t tick) {
  const QString rider = RiderText(SortGrid1->Row());
  session_->Change(QStringLiteral("LAP ") + rider, rider, QString(), [this, tick] { session_->Protocol().RecordLap(tick); });
}

void TFormMain::StopRider(uint32_t tick) {
  const QString rider = RiderText(SortGrid1->Row());
  session_->Change(QStringLiteral("STOPP ") + rider, rider, QString(), [this, tick] { session_->Protocol().StopRider(tick); });
}

void TFormMain::ShowRefusedPress(const QString& text) {
  platform::Sound().Beep();
  ShowStatus(text);
}

void TFormMain::ClearProtocol() {
  // Emptied, the protocol starts afresh: nothing to take back, nothing corrected.
  if (correctionDialog_) correctionDialog_->hide();
  if (riderEditor_) riderEditor_->Close();
  session_->Clear();
}

bool TFormMain::ProtocolModified() const { return SortGrid1->Modified(); }

void TFormMain::LayoutProtocolColumns() { session_->Protocol().LayoutProtocolColumns(); }

QString TFormMain::StartNumberText() const { return cbStartN->currentText(); }

QString TFormMain::NameText() const { return eName->text(); }

QString TFormMain::CategoryText() const { return cbPol->currentText(); }

void TFormMain::ShowEntryFields(const QString& number, const QString& name, const QString& category) {
  cbStartN->setEditText(number);
  eName->setText(name);
  const int index = cbPol->findText(category, Qt::MatchFixedString);  // letter case ignored
  if (index >= 0) cbPol->setCurrentIndex(index);
}

std::optional<EntryFields> TFormMain::WaitingParticipant() const {
  const std::optional<TParticipant> listed = ListedParticipant();
  if (!listed || StartedRow(*listed) > 0) return std::nullopt;
  return EntryFields{listed->Number, listed->Name, listed->Category};
}

void TFormMain::ClearStartNumberChoices() {
  const QString typed = cbStartN->currentText();
  cbStartN->clear();
  cbStartN->setEditText(typed);
}

void TFormMain::ShowCommands(const CommandFaces& faces) {
  auto show = [](TBitBtnWithColor* button, QAction* item, const CommandFace& face) {
    button->setEnabled(face.enabled);
    button->SetColor(face.colour);
    if (item) item->setEnabled(face.enabled);
  };
  show(bSTART, mStart, faces.start);
  show(bLAP, mLap, faces.lap);
  show(bSTOP, mStop, faces.stop);
  show(bEnd, nullptr, faces.end);
  show(bRESET, mReset, faces.reset);
}

void TFormMain::LockLapLengths(bool locked) {
  if (locked) {
    lapLengths_->TableLengthEndUpdate();
    lapLengths_->Lock();
  } else {
    lapLengths_->Unlock();
  }
}

void TFormMain::SetParticipantListEnabled(bool enabled) { bDB->setEnabled(enabled); }

void TFormMain::SetSettingsEnabled(bool enabled) { bCFG->setEnabled(enabled); }

void TFormMain::UncheckAutoStart() { cbAutoStart->setChecked(false); }

void TFormMain::FocusResetButton() { bRESET->setFocus(Qt::OtherFocusReason); }

void TFormMain::FocusStartButton() { bSTART->setFocus(Qt::OtherFocusReason); }

void TFormMain::RaceRunning(bool running) {
  if (running)
    sleepInhibitor_->Hold(QStringLiteral("Zeitnahme läuft"));
  else
    sleepInhibitor_->Release();
  battery_->SetWatching(running);
}

bool TFormMain::Confirm(const QString& question, const QString& yes, const QString& no, bool noIsActive) {
  if (!yesNoDialog_) return true;
  yesNoDialog_->Label1->setText(question);
  yesNoDialog_->SetButtonCaptions(yes, no);
  QPushButton* active = noIsActive ? yesNoDialog_->CancelBtn : yesNoDialog_->OKBtn;
  active->setDefault(true);
  active->setFocus(Qt::OtherFocusReason);
  const int result = platform::Modal().ExecDialog(yesNoDialog_);
  yesNoDialog_->SetButtonCaptions("Ja", "Nein");
  yesNoDialog_->OKBtn->setDefault(true);
  return result == mrYes;
}
