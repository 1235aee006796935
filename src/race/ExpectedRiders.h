#pragma once
// The riders on course in the order they are expected at the line: the last press plus the
// mean lap so far; before the first lap the median first lap of those who have one, else last,
// without a time. Kept from the rows a change touched, so a press costs one row and one sort,
// and the countdown of each second costs nothing but the lines shown.
#include <QString>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

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
  // Filled by the ordering: the expected tick and the lap it is reckoned from.
  std::optional<uint32_t> Expected;
  int32_t ReckonedLap = 0;

  // Milliseconds until he is expected, negative when late; nullopt without a time.
  std::optional<int32_t> Remaining(uint32_t now) const;
  // Late by more than half the lap he is reckoned with: a missed pass?
  bool IsLate(uint32_t now) const;
  // The countdown as the clock shows durations ("1.05,2", "-3,4"); empty without a time.
  QString CountdownText(uint32_t now) const;
};

class TExpectedRiders {
public:
  // The rows a change touched, as they stand now; when rows were removed, every row is read.
  void Update(TProtocol& protocol, const std::vector<int32_t>& rows);
  // Every row read again (an undo, a restore, rows removed).
  void Rebuild(TProtocol& protocol);

  // Digits typed: only riders whose numbers begin with them are shown ("007" reads as 7).
  void SetPrefix(const QString& digits);
  const QString& Prefix() const { return prefix_; }

  // The riders on course in expected order, the filter applied.
  std::vector<const TExpectedRider*> Shown() const;
  // All riders on course in expected order.
  const std::vector<const TExpectedRider*>& Order() const { return order_; }
  // The median first lap of the riders who have one; nullopt when none has.
  std::optional<int32_t> MedianFirstLap() const { return median_; }

private:
  void Read(TProtocol& protocol, int32_t row);
  void Reorder();

  std::unordered_map<const TRowRecord*, TExpectedRider> riders_;
  std::vector<const TExpectedRider*> order_;
  std::optional<int32_t> median_;
  QString prefix_;
  int32_t rowCount_ = 0;  // the protocol's rows at the last reading: fewer now, rows were removed
};
