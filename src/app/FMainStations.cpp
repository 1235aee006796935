// The main window's side of the timing stations: the race's key and the link that carries it,
// the passes the live server takes from phones, and the window that lists the stations.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>

#include "app/FMain.h"
#include "grid/SortGrid.h"
#include "io/Journal.h"
#include "net/LiveAddress.h"
#include "net/StationApi.h"
#include "platform/LocalTime.h"
#include "platform/Tick.h"
#include "race/Protocol.h"
#include "widgets/LivePanel.h"
#include "widgets/StationWindow.h"

namespace {

QString ContactAge(int64_t lastMs, int64_t nowMs) {
  const int64_t seconds = std::max<int64_t>(0, (nowMs - lastMs) / 1000);
  if (seconds < 60) return QStringLiteral("vor %1 s").arg(seconds);
  return QStringLiteral("vor %1 min").arg(seconds / 60);
}

}  // namespace

void TFormMain::BuildStations() {
  StationWindow = new TStationWindow(this);
  StationWindow->OnNewCode = [this] { NewStationCode(); };
  StationWindow->OnDrop = [this](const QString& name) {
    if (!liveServer_) return;
    liveServer_->DropStation(name);
    ShowStations();
  };
  connect(PanelLive->Stations(), &QPushButton::clicked, this, [this] { ShowStationWindow(); });
  // The starter's phone shows who goes next and when: it hears of the entry fields and the
  // automatic start too, not only of the protocol's changes.
  connect(cbStartN, &QComboBox::editTextChanged, this, [this] { ScheduleLiveSnapshot(); });
  connect(eName, &QLineEdit::textChanged, this, [this] { ScheduleLiveSnapshot(); });
  connect(cbAutoStart, &QCheckBox::toggled, this, [this] { ScheduleLiveSnapshot(); });
}

void TFormMain::ShowStationWindow() {
  StationWindow->SetLink(StationLink());
  ShowStations();
  StationWindow->show();
  StationWindow->raise();
}

QString TFormMain::StationLink() const {
  if (!liveServer_ || stationToken_.isEmpty()) return {};
  // The key goes in the fragment: a browser never sends that part, so no log holds it.
  return LiveAddress(liveServer_->Port()) + QStringLiteral("station#k=") + QString::fromLatin1(stationToken_);
}

void TFormMain::GiveStationAccess() {
  if (stationToken_.isEmpty()) stationToken_ = NewStationToken();
  if (liveServer_) liveServer_->SetStationAccess(stationToken_, stationIds_);
  if (StationWindow) StationWindow->SetLink(StationLink());
}

void TFormMain::RenewStationToken() {
  stationToken_ = NewStationToken();
  stationIds_.clear();
  GiveStationAccess();
}

void TFormMain::NewStationCode() {
  if (!Confirm(QStringLiteral("Alle verbundenen Stationen verlieren ihren Zugang und müssen den neuen Code scannen. "
                              "Neuen Code erzeugen?"),
               QStringLiteral("Neuer Code"), QStringLiteral("Abbrechen"), true))
    return;
  // The ids stay: a pass taken before counts once, whatever link sends it again.
  stationToken_ = NewStationToken();
  GiveStationAccess();
  session_->Changed(QStringLiteral("TOKEN"));
  ShowStations();
}

void TFormMain::StationPassesArrived(const TStationBatch& batch) {
  const uint32_t nowTick = platform::GetTickCount();
  const int64_t nowWall = platform::Now().toMSecsSinceEpoch();
  for (const TStationPass& pass : batch.Passes) {
    // Known before the change is told, so the journal's line for it carries the id.
    stationIds_ << pass.Id;
    std::optional<uint32_t> tick;
    if (pass.WallMs) tick = TickAtWall(*pass.WallMs, nowTick, nowWall);
    const QString refusal = linePasses_->StationPassed(batch.Device, tick, pass.Number);
    if (!refusal.isEmpty()) ShowStatus(QStringLiteral("%1: %2").arg(batch.Device, refusal));
  }
}

void TFormMain::ShowStations() {
  if (!StationWindow || !StationWindow->isVisible()) return;
  std::vector<TStationLine> lines;
  if (liveServer_) {
    const int64_t now = platform::Now().toMSecsSinceEpoch();
    for (const TStationInfo& info : liveServer_->Stations()) {
      TStationLine line;
      line.Name = info.Device;
      line.Role = info.Role.isEmpty() ? QStringLiteral("–") : info.Role;
      line.LastContact = ContactAge(info.LastContactMs, now);
      line.Accuracy = info.AccuracyMs < 0 ? QStringLiteral("–") : QStringLiteral("±%1 ms").arg(info.AccuracyMs);
      line.Passes = info.Passes;
      lines.push_back(std::move(line));
    }
  }
  StationWindow->SetStations(lines);
}

void TFormMain::KeepOperatorView(const std::function<void()>& body) {
  // A station's pass selects its rider's row to time him; the operator's own row and what he has
  // typed for the next start are his again afterwards, so his next key does what he meant.
  TProtocol& protocol = session_->Protocol();
  const int32_t row = SortGrid1->Row();
  const bool entry = protocol.IsEntryRow(row);
  const QString number = entry ? QString() : SortGrid1->Cells(pcNumber, row);
  const QString typedNumber = StartNumberText();
  const QString typedName = NameText();
  const QString typedCategory = CategoryText();
  const int32_t top = SortGrid1->TopRow();
  body();
  int32_t back = number.isEmpty() ? -1 : protocol.RowOfNumber(number);
  if (back < 1) back = std::clamp<int32_t>(row, 1, SortGrid1->RowCount() - 1);
  if (entry && !protocol.IsEntryRow(back)) back = SortGrid1->RowCount() - 1;
  if (SortGrid1->Row() != back) {
    RowSelected(back);
    SortGrid1->SetSelection(TGridRect{0, back, SortGrid1->ColCount() - 1, back});
  }
  if (SortGrid1->TopRow() != top) SortGrid1->SetTopRow(std::min(top, SortGrid1->RowCount() - 1));
  ShowEntryFields(typedNumber, typedName, typedCategory);
}
