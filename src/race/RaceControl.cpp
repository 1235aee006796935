#include "race/RaceControl.h"

#include <algorithm>

#include "grid/SortCompare.h"
#include "platform/Sound.h"
#include "platform/Tick.h"
#include "race/AutoStart.h"
#include "race/RaceClock.h"
#include "race/TimeText.h"

namespace {

constexpr int kColNumber = 1, kColName = 2, kColCategory = 3, kColLaps = 9, kColLastLap = 12, kColStart = 13;
constexpr int kLaps = 5;

CommandFace Face(bool enabled, TColor colour) { return {enabled, enabled ? colour : clBtnFace}; }

}  // namespace

RowCommands CommandsForRow(const QString& lapCount, const QString& lastLapTick, const QString& startTick) {
  RowCommands commands;
  commands.start = startTick.isEmpty();
  if (startTick.isEmpty() || lastLapTick == "0") return commands;
  // A lap count that is no number allows nothing but the entry row's START.
  int32_t laps = 0;
  if (!lapCount.isEmpty() && !TryStrToInt(lapCount, laps)) return commands;
  commands.lap = laps < kLaps - 1;
  commands.stop = laps < kLaps;
  return commands;
}

RaceControl::RaceControl(RaceClock& clock, AutoStart& autoStart, RaceControlHost& host)
    : clock_(clock), autoStart_(autoStart), host_(host) {
  clockTimer_.SetInterval(10);
  clockTimer_.OnTimer = [this](QObject*) { clock_.ClockTimer(faces_.stop.enabled, autoStart_.Checked()); };
}

RaceControl::State RaceControl::RaceState() const {
  if (clock_.RaceStartTick == 0) return State::Idle;
  return clockTimer_.Enabled() ? State::Running : State::Ended;
}

void RaceControl::Restore(State state, uint32_t raceStartTick) {
  const bool running = state == State::Running;
  clock_.RaceStartTick = state == State::Idle ? 0 : raceStartTick;
  faces_.end = Face(running, kEndColour);
  faces_.reset = Face(state == State::Ended, kResetColour);
  Show();
  host_.LockLapLengths(running);
  host_.SetParticipantListEnabled(state == State::Idle);
  host_.SetSettingsEnabled(!running);
  clockTimer_.SetEnabled(running);
  if (!running) clock_.ShowTime(RaceClock::RaceDisplay, 0);
  host_.RaceRunning(running);
}

void RaceControl::Show() { host_.ShowCommands(faces_); }

void RaceControl::UpdateCommandStates(int row) {
  row_ = row;
  const QString startTick = host_.ProtocolCell(kColStart, row);
  const RowCommands commands =
      CommandsForRow(host_.ProtocolCell(kColLaps, row), host_.ProtocolCell(kColLastLap, row), startTick);
  faces_.lap = Face(commands.lap, kLapColour);
  faces_.stop = Face(commands.stop, kStopColour);
  faces_.start = Face(commands.start, kStartColour);
  Show();

  if (commands.stop) {
    clock_.RiderRefTick = TickFromText(startTick).value_or(0);
  } else if (commands.start) {
    clock_.ShowTime(RaceClock::RiderDisplay, 0);
  } else {
    // A stopped rider: column 13 holds the total time in milliseconds.
    clock_.ShowTime(RaceClock::RiderDisplay, static_cast<int32_t>(TickFromText(startTick).value_or(0)));
  }
  // An entry row holds nothing yet: it shows the rider the participant list has next.
  const std::optional<EntryFields> waiting = commands.start ? host_.WaitingParticipant() : std::nullopt;
  const EntryFields fields = waiting.value_or(EntryFields{host_.ProtocolCell(kColNumber, row),
                                                          host_.ProtocolCell(kColName, row),
                                                          host_.ProtocolCell(kColCategory, row)});
  host_.ShowEntryFields(fields.Number, fields.Name, fields.Category);
}

void RaceControl::StartClick(uint32_t tick) {
  if (!faces_.start.enabled) return;
  platform::Sound().PlaySound("Start.wav", platform::SND_FILENAME | platform::SND_ASYNC);
  const uint32_t now = UsableTick(tick);
  clock_.RiderRefTick = now;
  if (clock_.RaceStartTick == 0) {
    clock_.RaceStartTick = now;
    host_.SetParticipantListEnabled(false);
    host_.LockLapLengths(true);
    faces_.end = Face(true, kEndColour);
    Show();
  }
  if (autoStart_.Checked()) autoStart_.Restart(now);
  host_.StartRider(now, host_.StartNumberText(), host_.NameText(), host_.CategoryText());
  // The first START, or one after ENDE that revives the clock, sets the race running.
  if (!clockTimer_.Enabled()) host_.RaceRunning(true);
  clockTimer_.SetEnabled(true);
  host_.SetSettingsEnabled(false);
  host_.UpdateFileButtons();
}

QString RaceControl::GuardRefusal(const QString& command, int row, uint32_t tick, const QString& forceKey) const {
  if (minimumLapMs_ <= 0) return {};
  // The rider's last press: his newest lap, or his start before the first.
  int32_t laps = 0;
  const QString last =
      TryStrToInt(host_.ProtocolCell(kColLaps, row), laps) && laps > 0 ? host_.ProtocolCell(kColLastLap, row)
                                                                     : host_.ProtocolCell(kColStart, row);
  const std::optional<uint32_t> lastTick = TickFromText(last);
  if (!lastTick) return {};
  const int32_t age = TickDiff(UsableTick(tick), *lastTick);
  if (age >= minimumLapMs_) return {};
  const QString key = !forceKey.isEmpty()                  ? forceKey
                      : command == QLatin1String("LAP") ? QStringLiteral("F4")
                                                        : QStringLiteral("F9");
  return QStringLiteral("%1 für Nr. %2 nicht gezählt: %3 s nach der letzten Zeit, kürzer als die Mindestrundenzeit "
                        "von %4 s. Shift+%5 zählt ihn trotzdem.")
      .arg(command, host_.ProtocolCell(kColNumber, row), FormatGap(std::max(age, 0)),
           QString::number(minimumLapMs_ / 1000.0, 'g', 6).replace(u'.', u','), key);
}

void RaceControl::LapClick(uint32_t tick, bool force, const QString& forceKey) {
  if (!faces_.lap.enabled) return;
  const QString refusal = force ? QString() : GuardRefusal(QStringLiteral("LAP"), row_, tick, forceKey);
  if (!refusal.isEmpty()) {
    host_.ShowRefusedPress(refusal);
    return;
  }
  host_.RecordLap(UsableTick(tick));
}

void RaceControl::StopClick(uint32_t tick, bool force, const QString& forceKey) {
  if (!faces_.stop.enabled) return;
  const QString refusal = force ? QString() : GuardRefusal(QStringLiteral("STOPP"), row_, tick, forceKey);
  if (!refusal.isEmpty()) {
    host_.ShowRefusedPress(refusal);
    return;
  }
  host_.StopRider(UsableTick(tick));
}

void RaceControl::EndClick() {
  if (!faces_.end.enabled) return;
  clockTimer_.SetEnabled(false);
  faces_.end = Face(false, kEndColour);
  faces_.start = faces_.stop = faces_.lap = CommandFace{};
  faces_.reset = Face(true, kResetColour);
  Show();
  host_.LockLapLengths(false);
  host_.FocusResetButton();
  host_.RaceRunning(false);
}

void RaceControl::ResetClick() {
  if (!faces_.reset.enabled) return;
  if (!host_.Confirm("Protokoll wird gelöscht!", "OK", "Abbrechen", true)) return;
  host_.ClearProtocol();
  host_.UncheckAutoStart();
  autoStart_.Timer().SetEnabled(false);
  host_.ClearStartNumberChoices();
  clockTimer_.SetEnabled(false);
  clock_.RaceStartTick = 0;
  host_.LayoutProtocolColumns();
  clock_.ShowTime(RaceClock::RaceDisplay, 0);
  clock_.ShowTime(RaceClock::RiderDisplay, 0);
  host_.SetSettingsEnabled(true);
  faces_ = CommandFaces{};
  Show();
  host_.LockLapLengths(false);
  host_.FocusStartButton();
  host_.SetParticipantListEnabled(true);
  host_.UpdateFileButtons();
  host_.RaceRunning(false);
}

bool RaceControl::CloseQuery() {
  if (!clockTimer_.Enabled() && !host_.ProtocolModified()) return true;
  return host_.Confirm("Beenden?", "Ja", "Nein", false);
}
