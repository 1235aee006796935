#pragma once
// The lap lengths: one length for every lap (RoundLen, in metres), or, when that is 0, a
// per-lap table in kilometres; from them the cumulative distances after laps 1 to 5 that the
// protocol's speed column divides by.
#include <QChar>
#include <QString>
#include <array>
#include <cstdint>
#include <stdexcept>

class TSortGrid;

// The toolkit's conversion error; its text names the text that did not convert.
class EConvertError : public std::runtime_error {
public:
  explicit EConvertError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// "'<text>' is not a valid floating point value", the conversion error of a length text.
QString InvalidFloatText(const QString& text);

// The key filter of the table's in-place editor: backspace, the digits and the locale's
// decimal separator pass; every other character becomes the null character.
void TableLengthKeyPress(QChar& Key);

class TLapLengths {
public:
  static constexpr int kLaps = 5;
  static constexpr int32_t kDefaultRoundLen = 100000;

  // Builds the table's design-time properties and its start-up contents, and takes over its
  // end-of-update event and key filter.
  explicit TLapLengths(TSortGrid& table);

  // Length of one lap in metres; 0 selects the table.
  int32_t RoundLen = kDefaultRoundLen;

  // Metres covered after k laps, k = 1 .. 5 (index 0 is unused and stays 0).
  std::array<int32_t, kLaps + 1> LapDistance{};

  // The table's end-of-update handler, also called by START at the race start. A length that
  // does not convert is reported in a message box; the distances from its lap on keep their
  // previous values and the caller goes on.
  void TableLengthEndUpdate();
  // The same computation, throwing EConvertError for a length that does not convert (the
  // distances before it are already updated).
  void ComputeLapDistance();

  // At the race start: no editing, multi-row selection on. At ENDE and reset: multi-row
  // selection off, the selection back on row 1's length, editing again.
  void Lock();
  void Unlock();
  bool Locked() const { return FLocked; }

  TSortGrid& Table() { return FTable; }

private:
  void SetUpTable();

  TSortGrid& FTable;
  bool FLocked = false;
};
