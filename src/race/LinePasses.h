#pragma once
// The ways to take a pass at a busy line besides selecting a row and pressing F4 or F9: a start
// number typed and Enter (the pass is timed at the Enter), and times first, numbers after (each
// press an open time, the numbers typed later go to the marked one). Every change goes through
// the race session as one step.
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "race/RaceSession.h"

// What the window provides.
struct TLinePassHost {
  std::function<bool()> Running;       // the race clock runs
  std::function<uint32_t()> RaceStart; // 0 before the first START
  std::function<uint32_t()> Now;
  // The double-press guard's refusal of a LAP or STOPP ("LAP", "STOPP") at tick on row; empty
  // when it lets the press through.
  std::function<QString(const QString& command, int32_t row, uint32_t tick)> GuardRefusal;
  // Selects row as a click on it does.
  std::function<void(int32_t row)> SelectRow;
  // F4 (stop false) or F9 on the selected row, pressed at tick; forced: with Shift.
  std::function<void(bool stop, uint32_t tick, bool forced)> Press;
  // Runs body (a station's pass, which selects its rider's row) and gives the operator back the
  // row he had selected and what he had typed into the entry fields. Unset: body alone.
  std::function<void(const std::function<void()>& body)> AsideFromOperator;
};

// The rider a typed number names and his next press, or why there is none.
struct TNumberedRider {
  int32_t Row = -1;   // -1: none on course
  bool Stop = false;  // his next press is the STOPP of the fifth lap
  QString Refusal;    // why not, as a sentence; empty when Row is his
};

class TLinePasses {
public:
  TLinePasses(TRaceSession& session, TLinePassHost host);

  // Number + Enter at tick. While open times wait, the marked one goes to that rider; else he
  // gets his next press at tick, as F4 or F9 on his row would give it. A number that names no
  // rider on course keeps the instant: it becomes an open time, the number noted with it.
  // Returns what went wrong, in German; empty when the pass was taken.
  QString NumberEntered(const QString& typed, uint32_t tick, bool forced);
  // A press on the rider of row (his line in the riders expected): his next press at tick.
  QString RowPassed(int32_t row, uint32_t tick, bool forced);
  // Enter with nothing typed, the keypad's "+", a station's tap: an open time at tick.
  QString TimeTaken(uint32_t tick, const QString& device = {});
  // Delete in the empty field: the marked open time is dropped.
  QString DropMarked();
  // A pass from the station device, already on the tick clock. With a tick and no number: an
  // open time (a number waiting for one takes it). With both: his next press at tick, as the
  // number and Enter give it here, without the marked open time; refused, the instant stays an
  // open time with the number noted. A number alone goes to the oldest open time no number was
  // noted for, or waits for the next one. Nothing is taken before the start or after the race.
  QString StationPassed(const QString& device, std::optional<uint32_t> tick, const QString& number);

  TNumberedRider RiderOnCourse(const QString& typed) const;
  // A tick as the race clock shows it.
  QString ShownTime(uint32_t tick) const;

private:
  // The open time with serial (0: an instant that is no open time) given to the rider typed.
  QString GiveTime(const TOpenTime& time, const QString& typed, bool forced);
  // A station's number for the oldest open time without one noted.
  QString NumberForOldest(const QString& device, const QString& typed);
  // Numbers waiting go to open times made since.
  QString ServeWaitingNumbers();

  TRaceSession& session_;
  TLinePassHost host_;
};
