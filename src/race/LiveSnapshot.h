#pragma once
// The race as the live pages show it: a plain value taken from the protocol after each change
// and handed to other threads, which never see the grid.
#include <QDateTime>
#include <QString>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class TProtocol;
struct TSessionChange;

struct TLiveRider {
  enum class State { OnCourse, Finished, Stopped };  // Stopped: before the fifth lap, no place
  State state = State::OnCourse;
  QString place, number, name, category;
  std::array<QString, 5> lapTimes;  // lap 1 .. 5, oldest first, as the protocol shows them; empty when not ridden
  int laps = 0;
  QString speed, time;
  // On course: since his start, at the moment the snapshot was taken, once the snapshot's
  // runningShiftMs is added (a rider kept from an earlier snapshot counts from then).
  int32_t runningMs = 0;
  QString LastLap() const { return laps > 0 && laps <= 5 ? lapTimes[static_cast<size_t>(laps - 1)] : QString(); }
  int32_t RunningMs(int32_t shiftMs) const {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{runningMs} + shiftMs, 0, std::numeric_limits<int32_t>::max()));
  }
};

// The riders of a snapshot, in protocol order. Consecutive snapshots share the records and the
// blocks of them that did not change, so taking one after a press copies a few pointers rather
// than the whole field. A shared block or record is copied before it is changed.
class TLiveRiderList {
  static constexpr size_t kBlock = 64;
  using TRiderPtr = std::shared_ptr<const TLiveRider>;
  using TBlock = std::vector<TRiderPtr>;

public:
  TLiveRiderList() = default;
  TLiveRiderList(std::initializer_list<TLiveRider> riders) {
    for (const TLiveRider& rider : riders) push_back(rider);
  }
  TLiveRiderList(const std::vector<TLiveRider>& riders) {  // NOLINT: a plain list converts
    for (const TLiveRider& rider : riders) push_back(rider);
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const TLiveRider& operator[](size_t i) const { return *Shared(i); }
  TLiveRider& operator[](size_t i);
  const TLiveRider& back() const { return (*this)[size_ - 1]; }
  TLiveRider& back() { return (*this)[size_ - 1]; }
  void push_back(const TLiveRider& rider) { push_back(std::make_shared<TLiveRider>(rider)); }
  void push_back(TRiderPtr rider);
  void clear() {
    blocks_.clear();
    size_ = 0;
  }

  const TRiderPtr& Shared(size_t i) const { return (*blocks_[i / kBlock])[i % kBlock]; }
  void Set(size_t i, TRiderPtr rider);

  class const_iterator {
  public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = TLiveRider;
    using difference_type = std::ptrdiff_t;
    using pointer = const TLiveRider*;
    using reference = const TLiveRider&;
    const_iterator(const TLiveRiderList* list, size_t i) : list_(list), i_(i) {}
    reference operator*() const { return (*list_)[i_]; }
    pointer operator->() const { return &(*list_)[i_]; }
    const_iterator& operator++() {
      ++i_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++i_;
      return before;
    }
    bool operator==(const const_iterator& o) const { return i_ == o.i_; }
    bool operator!=(const const_iterator& o) const { return i_ != o.i_; }

  private:
    const TLiveRiderList* list_;
    size_t i_;
  };
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

private:
  TBlock& OwnBlock(size_t b);

  std::vector<std::shared_ptr<TBlock>> blocks_;
  size_t size_ = 0;
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
  TLiveRiderList riders;            // in protocol order, which a header sort in the window changes
  int32_t runningShiftMs = 0;       // added to each rider's runningMs
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
std::vector<TLiveCategory> LiveCategories(const TLiveRiderList& riders);

// The newest race events (at most kLiveEvents), newest first. They are read from the presses
// each rider row keeps, so what undo, a correction or a restored journal does to the protocol
// it does to them; a finish carries the rider's place as it stands. nowTick and now are the same
// instant, to give each event its time of day.
constexpr size_t kLiveEvents = 10;
std::vector<TLiveEvent> LiveEvents(const TProtocol& protocol, uint32_t nowTick, const QDateTime& now);

// The riders and events of the live snapshot, kept between snapshots and brought up to date
// from what the changes since the last one touched, so a press costs the same in a field of
// 2,000 as of 20. A change in place re-reads its rows; one that may have moved rows walks the
// grid once, re-reading only the rows it named and the places a ranking renumbered; anything
// else (a restore, a load, the lap lengths) reads the protocol anew. The result is what
// LiveRiders and LiveEvents give for the same protocol.
class TLiveTracker {
public:
  // Called at each change, while the rows it names stand where it says.
  void Note(const TProtocol& protocol, const TSessionChange& change);
  // The next snapshot reads the whole protocol.
  void Forget();
  // Brings riders, runningShiftMs and events of snapshot up to date.
  void Take(const TProtocol& protocol, uint32_t nowTick, const QDateTime& now, TLiveSnapshot& snapshot);

private:
  struct TKept {
    std::shared_ptr<const TLiveRider> rider;
    const void* id = nullptr;
    // Start (0) and presses as ticks; the times' lap count and stop, for the events.
    std::vector<uint32_t> ticks;
    int32_t laps = 0;
    bool stopped = false;
  };
  // A rider in protocol order. place: his record's place text's storage, which the record
  // keeps alive, so the same storage in the cell is the same text.
  struct TSlot {
    const void* id = nullptr;
    const void* place = nullptr;
    TKept* kept = nullptr;
    bool numbered = false;  // five laps: a ranking numbers his place
  };
  // A press among the events: later first by key; of one tick, the later press; then by row.
  using TPress = std::tuple<int32_t, int32_t, const void*>;  // tick against base_, press, rider

  void Rebuild(const TProtocol& protocol);
  void Reorder(const TProtocol& protocol);
  // False when the rows moved after all.
  bool Refresh(const TProtocol& protocol);
  TKept Read(const TProtocol& protocol, int32_t row) const;
  // Keeps kept as the record of its rider, in place of any before.
  TSlot Keep(TKept kept);
  void AddPresses(const TKept& kept);
  void DropPresses(const TKept& kept);
  std::vector<TLiveEvent> Events(uint32_t nowTick, const QDateTime& now) const;

  bool full_ = true;     // read everything at the next snapshot
  bool reorder_ = false; // rows may have moved, come or gone
  std::vector<int32_t> touchedRows_;  // while no row moved
  std::unordered_set<const void*> touchedIds_;
  uint32_t base_ = 0;  // the tick runningMs and the presses' keys count from
  std::unordered_map<const void*, TKept> kept_;  // by who the row is
  std::vector<TSlot> order_;       // the riders, in protocol order
  std::vector<int32_t> rowIndex_;  // grid row -> index into order_, -1 for the header and entry rows
  std::set<TPress> presses_;
  TLiveRiderList riders_;
};

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
