#pragma once
// The riders on course in the order they are expected at the line: the last press plus the
// mean lap so far; before the first lap the median first lap of those who have one, else last,
// without a time. Kept from the rows a change touched, in sorted sets, so a press costs one row
// read and a few set steps whatever the field, and the lines shown cost only themselves.
#include <QString>
#include <cstdint>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "widgets/ExpectedList.h"

class TProtocol;
struct TRowRecord;

struct TExpectedRider {
  QString Number;  // as the protocol shows it
  QString Name;
  int32_t Laps = 0;
  uint32_t Start = 0;
  uint32_t LastPress = 0;
  int32_t FirstLap = 0;  // 0 before the first lap
  bool OnCourse = false;
  int32_t Row = 0;  // where the protocol has him now
  // Filled by the ordering: the expected tick and the lap it is reckoned from.
  std::optional<uint32_t> Expected;
  int32_t ReckonedLap = 0;

  // Milliseconds until he is expected, negative when late; nullopt without a time.
  std::optional<int32_t> Remaining(uint32_t now) const;
  // Late by more than half the lap he is reckoned with: a missed pass?
  bool IsLate(uint32_t now) const;
  // The countdown as the clock shows durations ("1.05,2", "-3,4"); empty without a time.
  QString CountdownText(uint32_t now) const;
  // His line in the list at tick now.
  TExpectedLine Line(uint32_t now) const;

private:
  friend class TExpectedRiders;
  // Read once per change, not at every comparison and every filtering.
  int32_t numberValue_ = 0;
  QString normalNumber_;
  uint32_t seen_ = 0;
};

// The lines of the first count riders at tick now.
std::vector<TExpectedLine> ExpectedLines(const std::vector<const TExpectedRider*>& riders, uint32_t now,
                                         size_t count);

class TExpectedRiders {
public:
  TExpectedRiders() = default;
  // The sets hold the riders' addresses and their comparisons the address of from_.
  TExpectedRiders(const TExpectedRiders&) = delete;
  TExpectedRiders& operator=(const TExpectedRiders&) = delete;

  // The rows a change touched, as they stand now. Rows that only moved need not be given, and
  // a removed row is noticed by itself; inPlace: no row moved, came or went, so no other row
  // need be looked at.
  void Update(TProtocol& protocol, const std::vector<int32_t>& rows, bool inPlace = false);
  // Every row read again: after an undo, a redo, a restore, and always after the protocol was
  // emptied (its rows' records are new then).
  void Rebuild(TProtocol& protocol);

  // Digits typed: only riders whose numbers begin with them are shown ("007" reads as 7; only
  // zeros filter nothing yet).
  void SetPrefix(const QString& digits);
  const QString& Prefix() const { return prefix_; }

  // The riders on course in expected order, the filter applied; at most count of them.
  std::vector<const TExpectedRider*> Shown(size_t count = SIZE_MAX) const;
  // All riders on course in expected order.
  const std::vector<const TExpectedRider*>& Order() const;
  size_t OnCourse() const { return lapped_.size() + unlapped_.size(); }
  // The median first lap of the riders who have one; nullopt when none has.
  std::optional<int32_t> MedianFirstLap() const { return median_; }

private:
  // Riders with a lap, by the time expected; riders on course without one, by start (the
  // median added to each keeps their order) and by number (while nobody has a median).
  struct TByExpected {
    const uint32_t* from;
    bool operator()(const TExpectedRider* a, const TExpectedRider* b) const;
  };
  struct TByStart {
    const uint32_t* from;
    bool operator()(const TExpectedRider* a, const TExpectedRider* b) const;
  };
  struct TByNumber {
    bool operator()(const TExpectedRider* a, const TExpectedRider* b) const;
  };

  void Read(TProtocol& protocol, int32_t row);
  // Notes where each rider's row is now and forgets riders whose row is gone.
  void Locate(TProtocol& protocol);
  // Into and out of the sets and the median, around every change of a rider.
  void List(TExpectedRider& rider);
  void Unlist(TExpectedRider& rider);
  void Forget(const TRowRecord* record);
  void Changed();
  // Visits the riders on course in order, their times filled, until visit says stop.
  template <typename TVisit>
  void Walk(TVisit&& visit) const;

  std::unordered_map<const TRowRecord*, TExpectedRider> riders_;
  // Ticks are compared as differences from one of them, so the counter's wrap keeps the order
  // (a race spans far less than half the counter); fixed while anyone is listed.
  uint32_t from_ = 0;
  std::set<TExpectedRider*, TByExpected> lapped_{TByExpected{&from_}};
  std::set<TExpectedRider*, TByStart> unlapped_{TByStart{&from_}};
  std::set<TExpectedRider*, TByNumber> unlappedByNumber_;
  // The first laps, the lower half and the upper half.
  std::multiset<int32_t> lower_, upper_;
  std::optional<int32_t> median_;
  uint32_t pass_ = 0;  // the pass of Locate, for the riders it saw
  mutable std::vector<const TExpectedRider*> order_;
  mutable bool orderValid_ = false;
  QString prefix_;
};
