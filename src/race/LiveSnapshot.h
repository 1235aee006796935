#pragma once
// The race as the live pages show it: a plain value taken from the protocol after each change
// and handed to other threads, which never see the grid.
#include <QDateTime>
#include <QString>
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class TProtocol;

struct TLiveRider {
  enum class State { OnCourse, Finished, Stopped };  // Stopped: before the fifth lap, no place
  State state = State::OnCourse;
  QString place, number, name, category;
  std::array<QString, 5> lapTimes;  // lap 1 .. 5, oldest first, as the protocol shows them; empty when not ridden
  int laps = 0;
  QString speed, time;
  int32_t runningMs = 0;  // on course: since his start, at the moment the snapshot was taken
  QString LastLap() const { return laps > 0 && laps <= 5 ? lapTimes[static_cast<size_t>(laps - 1)] : QString(); }
};

struct TLiveEvent {
  enum class Kind { Start, Lap, Finish, Stop };
  Kind kind = Kind::Start;
  QString wallClock;  // "10:15:03"
  QString number, name, category;
  int lap = 0;          // Lap: the lap completed
  QString lapTime;      // Lap, Finish, Stop: the lap just completed
  QString place;        // Finish: the place in the category
  QString time;         // Finish, Stop: the total time
};

struct TLiveSnapshot {
  uint64_t serial = 0;
  QString title;
  bool raceRunning = false;
  int32_t raceMs = 0;               // the race clock when taken
  int64_t takenAtMs = 0;            // when taken: ms since 1970 (UTC) on this computer's clock
  std::vector<TLiveRider> riders;   // in protocol order, which a header sort in the window changes
  std::vector<TLiveEvent> events;   // newest first
  // Who starts next, and when the automatic start comes: ms since 1970 on this computer's
  // clock, 0 when none is due. Both empty: nobody waits.
  QString nextNumber, nextName;
  int64_t nextStartAtMs = 0;
};
using TLiveSnapshotPtr = std::shared_ptr<const TLiveSnapshot>;

// The riders of the protocol (entry rows left out), their running times counted to nowTick.
std::vector<TLiveRider> LiveRiders(const TProtocol& protocol, uint32_t nowTick);

// The riders who are done (finished, or stopped before the fifth lap) per category, as the
// ranking orders them whatever order the window shows: categories by their text with the letter
// case of 'A'..'Z' aside; in each, finishers by place, then the others by lap count, fewer first;
// riders equal in all that by start number, name and spelling. A category is named as its first
// rider writes it.
struct TLiveCategory {
  QString name;
  std::vector<const TLiveRider*> riders;  // into the vector given
};
std::vector<TLiveCategory> LiveCategories(const std::vector<TLiveRider>& riders);

// The newest race events (at most kLiveEvents), newest first. They are read from the presses
// each rider row keeps, so what undo, a correction or a restored journal does to the protocol
// it does to them; a finish carries the rider's place as it stands. nowTick and now are the same
// instant, to give each event its time of day.
constexpr size_t kLiveEvents = 10;
std::vector<TLiveEvent> LiveEvents(const TProtocol& protocol, uint32_t nowTick, const QDateTime& now);

// How soon the next snapshot may be taken. A snapshot of thousands of riders costs the window's
// thread tens of milliseconds; after one, the next waits kShare times as long (so snapshots take
// at most a fifth of the thread), but never more than kMaxWaitMs, so a change still reaches the
// pages well within a second. A small race is never held back.
class TSnapshotPacer {
public:
  static constexpr int64_t kShare = 4;
  static constexpr int64_t kMaxWaitMs = 250;
  // A snapshot that ended at endMs took costMs.
  void Took(int64_t endMs, int64_t costMs) { nextMs_ = endMs + std::min(std::max<int64_t>(costMs, 0) * kShare, kMaxWaitMs); }
  // The wait before the next snapshot, at nowMs.
  int DelayMs(int64_t nowMs) const { return static_cast<int>(std::clamp<int64_t>(nextMs_ - nowMs, 0, kMaxWaitMs)); }

private:
  int64_t nextMs_ = 0;
};
