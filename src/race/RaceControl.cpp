#include "race/RaceControl.h"

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
}

void RaceControl::Show() { host_.ShowCommands(faces_); }

void RaceControl::UpdateCommandStates(int row) {
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
  host_.ShowEntryFields(host_.ProtocolCell(kColNumber, row), host_.ProtocolCell(kColName, row),
                        host_.ProtocolCell(kColCategory, row));
}

void RaceControl::StartClick() {
  if (!faces_.start.enabled) return;
  platform::Sound().PlaySound("Start.wav", platform::SND_FILENAME | platform::SND_ASYNC);
  const uint32_t now = UsableTick(platform::GetTickCount());
  clock_.RiderRefTick = now;
  if (clock_.RaceStartTick == 0) {
    clock_.RaceStartTick = now;
    host_.SetParticipantListEnabled(false);
    host_.LockLapLengths(true);
    faces_.end = Face(true, kEndColour);
    Show();
  }
  if (autoStart_.Checked()) autoStart_.Restart(now);
  host_.RecordStart(now, host_.StartNumberText(), host_.NameText(), host_.CategoryText());
  host_.AdvanceParticipant();
  clockTimer_.SetEnabled(true);
  host_.SetSettingsEnabled(false);
  host_.UpdateFileButtons();
}

void RaceControl::LapClick() {
  if (faces_.lap.enabled) host_.RecordLap();
}

void RaceControl::StopClick() {
  if (faces_.stop.enabled) host_.StopRider();
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
}

bool RaceControl::CloseQuery() {
  if (!clockTimer_.Enabled() && !host_.ProtocolModified()) return true;
  return host_.Confirm("Beenden?", "Ja", "Nein", false);
}
