#pragma once
// Race control: START, LAP, STOPP, ENDE and reset, and which of them the selected protocol
// row allows. The main window provides the protocol, the entry fields and the neighbouring
// controls through RaceControlHost.
#include <QString>
#include <cstdint>
#include <optional>

#include "platform/Color.h"
#include "platform/Timer.h"

class AutoStart;
class RaceClock;

// A command button's state: enabled, and the face colour that goes with it.
struct CommandFace {
  bool enabled = false;
  TColor colour = clBtnFace;
  bool operator==(const CommandFace&) const = default;
};

struct CommandFaces {
  CommandFace start{true, clGreen};
  CommandFace lap;
  CommandFace stop;
  CommandFace end;
  CommandFace reset;
  bool operator==(const CommandFaces&) const = default;
};

// The enabled colours of the commands.
constexpr TColor kStartColour = clGreen;
constexpr TColor kLapColour = clYellow;
constexpr TColor kStopColour = clRed;
constexpr TColor kEndColour = clBlue;
constexpr TColor kResetColour = clBlack;

// What a protocol row allows, from its lap count (column 9), last-lap tick (12) and start
// tick (13).
struct RowCommands {
  bool start = false;
  bool lap = false;
  bool stop = false;
};
RowCommands CommandsForRow(const QString& lapCount, const QString& lastLapTick, const QString& startTick);

// What the entry fields hold: start number, name, category.
struct EntryFields {
  QString Number;
  QString Name;
  QString Category;
  bool operator==(const EntryFields&) const = default;
};

class RaceControlHost {
public:
  virtual ~RaceControlHost() = default;

  // The protocol.
  virtual QString ProtocolCell(int col, int row) const = 0;
  // Enters the rider into the selected entry row, then moves the participant list on to its next
  // participant, if there is one: one step, which an undo takes back as a whole.
  virtual void StartRider(uint32_t tick, const QString& number, const QString& name, const QString& category) = 0;
  virtual void RecordLap(uint32_t tick) = 0;
  virtual void StopRider(uint32_t tick) = 0;
  virtual void ClearProtocol() = 0;
  virtual bool ProtocolModified() const = 0;
  virtual void LayoutProtocolColumns() = 0;
  virtual void UpdateFileButtons() = 0;

  // The entry fields.
  virtual QString StartNumberText() const = 0;
  virtual QString NameText() const = 0;
  virtual QString CategoryText() const = 0;
  // Shows a row's values; the category is selected ignoring letter case, and stays as it was
  // when no item matches.
  virtual void ShowEntryFields(const QString& number, const QString& name, const QString& category) = 0;
  virtual void ClearStartNumberChoices() = 0;
  // The participant the list shows, while he has not started: the entry row shows him, so that
  // START takes him however the selection came there.
  virtual std::optional<EntryFields> WaitingParticipant() const = 0;

  // The neighbours.
  virtual void ShowCommands(const CommandFaces& faces) = 0;
  virtual void LockLapLengths(bool locked) = 0;        // locking also computes the lap distances
  virtual void SetParticipantListEnabled(bool enabled) = 0;
  virtual void SetSettingsEnabled(bool enabled) = 0;
  virtual void UncheckAutoStart() = 0;
  virtual void FocusResetButton() = 0;
  virtual void FocusStartButton() = 0;
  // The race began (its first START, or a running race restored) or is over (ENDE, reset): while
  // it runs the machine must stay awake and on power.
  virtual void RaceRunning(bool running) = 0;
  // A LAP or STOPP the double-press guard did not record: beep and show why, for a few seconds,
  // without a modal box.
  virtual void ShowRefusedPress(const QString& text) = 0;
  // The shared yes/no dialog with this question and captions; true for yes. The captions go
  // back to "Ja" and "Nein" afterwards.
  virtual bool Confirm(const QString& question, const QString& yes, const QString& no, bool noIsActive) = 0;
};

class RaceControl {
public:
  enum class State { Idle, Running, Ended };

  RaceControl(RaceClock& clock, AutoStart& autoStart, RaceControlHost& host);

  // The protocol's selection handler.
  void UpdateCommandStates(int row);

  // The race commands, pressed at tick. LAP and STOPP for a rider whose last time is younger
  // than the minimum lap time are refused unless forced (the key with Shift).
  void StartClick(uint32_t tick);              // F5, START pressed, auto-start
  // forceKey: the key that forces it, as the refusal names it (Shift+F4 or Shift+F9 when empty).
  void LapClick(uint32_t tick, bool force, const QString& forceKey = {});   // F4, LAP pressed
  void StopClick(uint32_t tick, bool force, const QString& forceKey = {});  // F9, STOPP pressed
  void EndClick();    // ENDE
  void ResetClick();  // reset: asks, then empties the protocol
  // Whether the window may close; asks "Beenden?" while the clock runs or the protocol changed.
  bool CloseQuery();

  State RaceState() const;
  // Puts the commands, the clock and the neighbours into a race state read back from the
  // journal; the protocol is already in place.
  void Restore(State state, uint32_t raceStartTick);
  const CommandFaces& Faces() const { return faces_; }
  // The double-press guard: the shortest time from a rider's last press to his next LAP or
  // STOPP, in milliseconds; 0 switches it off.
  void SetMinimumLap(int32_t ms) { minimumLapMs_ = ms; }
  int32_t MinimumLap() const { return minimumLapMs_; }
  // The refusal text for a LAP or STOPP at tick on row, or empty when the guard lets it through.
  QString GuardRefusal(const QString& command, int row, uint32_t tick, const QString& forceKey = {}) const;
  platform::Timer& Clock() { return clockTimer_; }

private:
  void Show();

  RaceClock& clock_;
  AutoStart& autoStart_;
  RaceControlHost& host_;
  platform::Timer clockTimer_;
  CommandFaces faces_;
  int row_ = 1;  // the row the commands were last computed for
  int32_t minimumLapMs_ = 0;
};

// The default minimum lap time of the double-press guard, in seconds.
inline constexpr int32_t kDefaultMinimumLapSeconds = 10;
