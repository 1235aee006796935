#pragma once
// The thirteen values that persist between runs, under "\Software\" + the application title.
#include <QString>
#include <cstdint>
#include <optional>

namespace platform { class KeyStore; }

inline constexpr int32_t kMaxLiveClients = 10000;

struct TSettings {
  std::optional<int32_t> Left;  // none: the platform places the window
  std::optional<int32_t> Top;
  int32_t Width = 804;          // outer frame
  int32_t Height = 556;
  bool Sound = true;            // kept and written back, consulted by nothing else
  int32_t C1 = 0;               // clock panel background, unlit segments
  int32_t C2 = 65535;           // lit digits of the race clock
  int32_t C3 = 4210752;         // leading zeros of both clocks
  int32_t Acc = 2;              // accuracy value; the settings dialog sets it to 1
  int32_t C4 = 65280;           // lit digits of the rider clock
  int32_t FilterInd = 2;        // save dialog file type: 1 CSV, 2 HTML, 3 text
  int32_t RoundLen = 100000;    // lap length in metres
  int32_t CountDown = 30;       // auto-start interval in seconds
  // Beside the thirteen, read on their own: a store written before them lacks them.
  int32_t MinLap = 10;          // the double-press guard's minimum lap time in seconds; 0 is off
  int32_t LivePort = 0;         // the live-results server's port; 0 is off
  int32_t LiveClients = 200;    // connections the live-results server takes at once
  QString LiveFolder;           // where the live results are copied as files; empty is off

  bool operator==(const TSettings&) const = default;
};

// "\Software\" + the application title.
QString SettingsKey();

// Reads the thirteen values in their fixed order into defaults, stopping silently at the first
// value that is missing or not an integer; then each later value on its own (one missing or of
// the wrong type keeps its default, one out of its range is brought into it). Returns how many of the thirteen were
// read (0 without the key).
int ReadSettings(platform::KeyStore& store, const QString& key, TSettings& settings);

// Writes all values, creating the key; false (and nothing written) when it cannot.
bool WriteSettings(platform::KeyStore& store, const QString& key, const TSettings& settings);
