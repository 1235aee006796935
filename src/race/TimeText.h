#pragma once
// Ticks, durations and their text forms.
#include <QString>
#include <cstdint>
#include <optional>

// A duration: the difference of two ticks modulo 2^32, read as signed milliseconds.
constexpr int32_t TickDiff(uint32_t later, uint32_t earlier) {
  return static_cast<int32_t>(later - earlier);
}

// The tick a press or a stored time may have. 0 is taken: it means "no race" for the race start
// and "stopped" in a rider's last-lap column, so a time that falls on it counts from the next
// millisecond (possible only when the counter wraps during a race).
constexpr uint32_t UsableTick(uint32_t tick) { return tick == 0 ? 1u : tick; }

// A tick as stored in the protocol: the counter read as a signed 32-bit integer.
QString TickToText(uint32_t tick);
// The tick of a stored text; nullopt when the text is no 32-bit integer.
std::optional<uint32_t> TickFromText(const QString& text);

// n / d rounded to the nearest integer, an exact half to the even neighbour.
int64_t RoundHalfEven(int64_t n, int64_t d);

// The one text form of a duration: tenths, HH:MM.SS,T with leading zeros and separators
// stripped down to at least S,T ("0,3", "59,9", "1.05,2", "1:00.00,0").
QString FormatDuration(int32_t ms);

// A gap between two times, for a line that compares it with a bound: never rounded up (tenths
// truncated toward zero), so a gap below a bound never reads as reaching it; a gap of less than
// a tenth in hundredths or thousandths, so that only no gap reads as none ("9,9", "0,04",
// "0,007", "0,0").
QString FormatGap(int32_t ms);

// The milliseconds of a duration typed as the clock shows it: "1:02.03,4", "2.03,4", "3,4", the
// tenth optional ("2.03"); each field holds one or two digits, and
// minutes and seconds stay below 60 where a larger unit stands before them. nullopt otherwise.
std::optional<int32_t> ParseDuration(const QString& text);
