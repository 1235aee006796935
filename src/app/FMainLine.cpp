// The main window's side of the busy line: the number field's keys, the open times, and the
// presses they give, all through the race session.
#include <QLineEdit>
#include <QMouseEvent>
#include <algorithm>

#include "app/FMain.h"
#include "app/RaceKeys.h"
#include "grid/SortGrid.h"
#include "platform/InputClock.h"
#include "platform/Timer.h"
#include "platform/Sound.h"
#include "platform/Tick.h"
#include "race/OpenTimes.h"
#include "widgets/ExpectedList.h"
#include "widgets/OpenTimesList.h"

namespace {

constexpr size_t kExpectedLinesMost = 40;
// More than any list height shows; a crowd of open times costs no more than this.
constexpr size_t kOpenTimeLinesMost = 60;

}  // namespace

void TFormMain::PressRaceCommand(QAction* item, bool forced, uint32_t tick, const QString& forceKey) {
  forcePress_ = forced;
  forceKey_ = forceKey;
  pressTick_ = tick;
  item->trigger();
  forcePress_ = false;
  forceKey_.clear();
  pressTick_.reset();
}

void TFormMain::ConnectLine() {
  TLinePassHost host;
  host.Running = [this] { return raceControl_->RaceState() == RaceControl::State::Running; };
  host.RaceStart = [this] { return raceClock_->RaceStartTick; };
  host.Now = [] { return platform::GetTickCount(); };
  host.GuardRefusal = [this](const QString& command, int32_t row, uint32_t tick) {
    return raceControl_->GuardRefusal(command, row, tick, QStringLiteral("Enter"));
  };
  host.SelectRow = [this](int32_t row) {
    RowSelected(row);
    SortGrid1->SetSelection(TGridRect{0, row, SortGrid1->ColCount() - 1, row});
  };
  host.Press = [this](bool stop, uint32_t tick, bool forced) {
    PressRaceCommand(stop ? mStop : mLap, forced, tick, QStringLiteral("Enter"));
  };
  host.AsideFromOperator = [this](const std::function<void()>& body) { KeepOperatorView(body); };
  linePasses_ = std::make_unique<TLinePasses>(*session_, std::move(host));

  numberKeys_ = new NumberKeyFilter(this, eNumber, *inputClock_);
  numberKeys_->OnEnter = [this](const QString& number, bool forced, uint32_t tick) { NumberEntered(number, forced, tick); };
  auto answer = [this](const QString& refusal) {
    if (!refusal.isEmpty()) ShowRefusedPress(refusal);
  };
  numberKeys_->OnTime = [this, answer](uint32_t tick) { answer(linePasses_->TimeTaken(tick)); };
  numberKeys_->OnMoveMark = [this](int delta) { session_->MoveOpenTimeMark(delta); };
  numberKeys_->OnDrop = [this, answer] { answer(linePasses_->DropMarked()); };
  ListOpenTimes->OnChosen = [this](int index) { session_->MarkOpenTime(index); };
  session_->AddListener([this](const TSessionChange& change) { FollowExpected(change); });
  connect(eNumber, &QLineEdit::textChanged, this, [this](const QString& digits) {
    expected_.SetPrefix(digits);
    ShowExpected();
  });
  // A press on a rider expected is his pass, at the press; a double click is one press.
  ExpectedList->OnLinePressed = [this](int index, const QMouseEvent* event) {
    if (event->type() != QEvent::MouseButtonPress || index < 0 || index >= static_cast<int>(ExpectedList->Lines().size()))
      return;
    const QString refusal = linePasses_->RowPassed(ExpectedList->Lines()[static_cast<size_t>(index)].Row,
                                                   inputClock_->TickOf(event), event->modifiers() & Qt::ShiftModifier);
    if (!refusal.isEmpty()) ShowRefusedPress(refusal);
  };
  // The ages of the open times (and the countdowns of the riders expected) go on by the second.
  TimerLine = new platform::Timer(this);
  TimerLine->SetInterval(1000);
  TimerLine->OnTimer = [this](QObject*) {
    ShowOpenTimes();
    ShowExpected();
    ShowStations();
  };
  TimerLine->SetEnabled(true);
}

void TFormMain::NumberEntered(const QString& number, bool forced, uint32_t tick) {
  if (number.isEmpty()) {
    const QString refusal = linePasses_->TimeTaken(tick);
    if (!refusal.isEmpty()) ShowRefusedPress(refusal);
    return;
  }
  // A number that took nothing stays in the field, to be corrected; one that took its pass, or
  // whose instant became an open time, is done with.
  const int steps = session_->UndoStack().index();
  const QString refusal = linePasses_->NumberEntered(number, tick, forced);
  if (session_->UndoStack().index() != steps) eNumber->clear();
  if (!refusal.isEmpty()) ShowRefusedPress(refusal);
}

void TFormMain::FollowExpected(const TSessionChange& change) {
  if (!change.Protocol && change.Kind != TSessionChange::TKind::Other) return;
  // A step names the rows it touched; an undo, a redo, a restore or an emptied protocol is read anew.
  if (change.Kind == TSessionChange::TKind::Step)
    expected_.Update(session_->Protocol(), change.Rows, change.InPlace);
  else
    expected_.Rebuild(session_->Protocol());
  ShowExpected();
}

void TFormMain::ShowExpected() {
  const bool anyone = expected_.OnCourse() > 0;
  if (anyone) {
    // More lines than any list height shows: the list shows what fits, and only those are ordered.
    ExpectedList->SetLines(ExpectedLines(expected_.Shown(kExpectedLinesMost), platform::GetTickCount(), kExpectedLinesMost));
  } else {
    ExpectedList->SetLines({});
  }
  ExpectedList->setVisible(anyone);
}

void TFormMain::ShowOpenTimes() {
  std::vector<TOpenTimeLine> lines =
      OpenTimeLines(session_->OpenTimes(), raceClock_->RaceStartTick, platform::GetTickCount(), kOpenTimeLinesMost);
  // A station's numbers that came before their times wait below them.
  for (const TOpenTime& number : session_->WaitingNumbers()) {
    if (lines.size() >= kOpenTimeLinesMost) break;
    TOpenTimeLine line;
    line.Text = QStringLiteral("Nr. %1 wartet  (%2)").arg(number.Number, number.Device);
    lines.push_back(std::move(line));
  }
  ListOpenTimes->Show(lines);
  // Only while times wait does the list take room from the protocol.
  ListOpenTimes->setVisible(!lines.empty());
}
