#pragma once
// Open times: instants taken at the line without a rider ("tap-tap-tap" as a group crosses),
// numbered afterwards. The list is kept oldest first; one of them is marked as the next to be
// numbered: the oldest, unless the operator moved the mark.
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "widgets/OpenTimesList.h"

struct TOpenTime {
  uint32_t Tick = 0;
  QString Number;  // a number typed for it that named no rider on course, kept as a hint
  QString Device;  // where it was taken; empty for this window
  uint64_t Serial = 0;  // identity within the session, not kept in the journal

  // The journal's form: "tick|number|device" (the device last, as it may hold anything); a
  // number waiting for its time has no tick and writes "-" for it.
  QString ToText() const;
  static std::optional<TOpenTime> FromText(const QString& text);
};

class TOpenTimes {
public:
  const std::vector<TOpenTime>& Times() const { return times_; }
  bool Empty() const { return times_.empty(); }
  // The index of the marked time; -1 when there is none.
  int Marked() const;
  const TOpenTime* MarkedTime() const;
  // Moves the mark by delta places (Up: -1, Down: +1), staying within the list.
  void MoveMark(int delta);
  // Marks the time at index, or the oldest again with -1.
  void Mark(int index);

  // Puts a time in its place by tick (a time taken later than another goes behind it).
  void Add(TOpenTime time);
  // Removes the time with this serial; the mark falls back to the oldest when it was marked.
  std::optional<TOpenTime> Remove(uint64_t serial);
  void Clear();

private:
  std::vector<TOpenTime> times_;
  std::optional<uint64_t> marked_;  // nullopt: the oldest
};

// An open time older than this shows that it is: a number typed now hardly belongs to it.
inline constexpr int32_t kOldOpenTimeMs = 60000;
// The lines of the list, the first most of them.
std::vector<TOpenTimeLine> OpenTimeLines(const TOpenTimes& times, uint32_t raceStart, uint32_t now,
                                         size_t most = SIZE_MAX);
