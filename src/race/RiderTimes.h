#pragma once
// What a protocol row is computed from: the rider's start and the ticks of his LAP and STOPP
// presses. Every time, speed and tick column of a row follows from these alone, so a press and
// a correction that leads to the same ticks give the same row.
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct TRiderTimes {
  bool Started = false;          // false: an entry row
  uint32_t Start = 0;            // the START tick
  std::vector<uint32_t> Presses; // LAP and STOPP ticks, in the order of the race
  bool Stopped = false;          // the last press was a STOPP
  bool operator==(const TRiderTimes&) const = default;

  int32_t Laps() const { return static_cast<int32_t>(Presses.size()); }
  // The tick of the newest press, the start when there is none.
  uint32_t LastPress() const { return Presses.empty() ? Start : Presses.back(); }

  // A row of the race: started, at most five presses, a stopped rider at least one, no tick 0.
  bool IsValid() const;
  // No press earlier than the one before it, nor than the start (durations are signed 32-bit
  // differences, so "earlier" holds across the counter's wrap).
  bool InOrder() const;

  // One line of text, for the race journal: "start|p1,p2,...|S" (S: stopped); an entry row is
  // empty.
  QString ToText() const;
  static std::optional<TRiderTimes> FromText(const QString& text);
};

// The cells of a row that follow from its times (lap times, lap count, speed, time and the two
// hidden tick columns), for columns 4 .. 13 in order. lapDistance(k): metres after k laps.
using TTimeCells = std::array<QString, 10>;
TTimeCells ComputeTimeCells(const TRiderTimes& times, const std::function<int32_t(int k)>& lapDistance);

// The times a row shows, for a row written before the times were kept beside it (an older
// journal): exact for the start, the last press and the total; the laps before the last are
// taken from their texts, to a tenth. nullopt for an entry row.
std::optional<TRiderTimes> TimesFromCells(const std::array<QString, 14>& cells);
