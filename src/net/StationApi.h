#pragma once
// Timing stations: phones at the line send their passes to the laptop. This is the one path that
// writes: the request is authenticated with the race's token, checked for shape, bounded in
// rate and size, and what it takes is handed on as plain values. No sockets here, so the rules
// can be tested alone; the server thread calls TStationDesk, the window reads its list.
#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

struct TStationPass {
  QString Id;                     // "id": unique per pass, 1..64 chars of [A-Za-z0-9._:-]
  std::optional<int64_t> WallMs;  // "t": ms since 1970 on the laptop's clock; absent: a number
                                  // for the oldest open time (the "Nummern" role)
  QString Number;                 // "nr": 1..6 digits (blanks around trimmed); empty: none
};

struct TStationBatch {               // what one accepted request hands to the race
  QString Device;                    // "device": the station's name, trimmed, 1..40 chars, no control chars
  std::vector<TStationPass> Passes;  // only the passes taken (new ids), in the order sent
};

struct TStationInfo {
  QString Device;
  QString Role;           // "Zeit", "Nummern", "Zeit + Nummer", "Start"; "" when not said
  int64_t LastContactMs;  // laptop wall ms of its last accepted request
  int AccuracyMs;         // as the page reported it ("accuracyMs"); -1 unknown
  int Passes;             // passes taken from it
};

// 128 random bits from QRandomGenerator::system() as 32 lowercase hex digits.
QByteArray NewStationToken();
// Constant time in the contents: both sides are reduced to SHA-256 digests first, so neither a
// differing byte nor a differing length ends the comparison early. An empty token matches nothing.
bool StationTokenMatches(const QByteArray& sent, const QByteArray& token);

namespace station {

constexpr qsizetype kMaxBodyBytes = 16384;
constexpr int kMaxPasses = 200;        // per request
constexpr int kMaxDevices = 100;       // stations on the list at once
constexpr qsizetype kMaxKnownIds = 1000000;
constexpr int kMaxAddresses = 1024;    // client addresses whose rates are followed at once
constexpr int kMaxDeviceChars = 40;
constexpr int kMaxIdChars = 64;
constexpr int64_t kPastMs = 24 * 3600 * 1000;  // a pass older than this is no pass of this race
constexpr int64_t kFutureMs = 5000;            // a clock a little ahead is tolerated
// Token buckets, per device and per client address.
constexpr double kRequestsPerSecond = 20, kRequestBurst = 40;
constexpr double kPassesPerSecond = 50, kPassBurst = 500;  // a phone's offline queue goes in at once

// One request's body as sent, checked for shape (nothing about the race yet).
struct TRequest {
  QString Device;
  std::optional<QString> Role;       // absent: not said this time
  std::optional<int> AccuracyMs;     // absent: not said this time
  std::vector<TStationPass> Passes;  // all of them, in the order sent
};
// Empty for anything but a JSON object of the stations' shape.
std::optional<TRequest> ParseRequest(const QByteArray& body);

class TBucket {
public:
  // Whether amount can be taken at nowMs; Take takes it (check first).
  bool Has(double amount, int64_t nowMs, double perSecond, double burst) const;
  void Take(double amount, int64_t nowMs, double perSecond, double burst);
  bool Full(int64_t nowMs, double perSecond, double burst) const;

private:
  double Level(int64_t nowMs, double perSecond, double burst) const;
  double tokens_ = -1;  // negative: never used, full
  int64_t lastMs_ = 0;
};

// One client address may carry several stations (phones behind one access point, bridges on
// the laptop itself): it gets this many stations' rates.
constexpr double kStationsPerAddress = 20;

struct TRates {
  TBucket requests, passes;
  double scale = 1;  // of the rates above
  bool Allow(int passCount, int64_t nowMs) const;
  void Take(int passCount, int64_t nowMs);
  bool Idle(int64_t nowMs) const;  // both full: the same as not followed at all
};

// What the server answers to one request on the passes path.
struct TAnswer {
  int status = 200;
  QByteArray body;            // JSON
  bool challenge = false;     // WWW-Authenticate: Bearer
  bool retryAfter = false;    // Retry-After: 1
  bool close = false;         // the rest of the request is not read
  std::optional<TStationBatch> batch;  // when at least one pass was taken
};

// The stations of the current race: its token, the ids already taken, the list of stations and
// the rates. Every call locks, so the server thread and the window's thread may both call.
class TDesk {
public:
  void SetAccess(const QByteArray& token, const QStringList& knownIds);
  std::vector<TStationInfo> Stations() const;
  void Drop(const QString& device);
  // authorization: the header's value, empty when absent; bodyBytes: the body's declared length,
  // which for a body refused unread is more than body holds. steadyMs: a monotonic clock.
  TAnswer Post(const QByteArray& authorization, const QByteArray& body, qint64 bodyBytes,
               const QByteArray& peer, int64_t wallMs, int64_t steadyMs);
  qsizetype KnownIds() const;

private:
  struct TStation {
    TStationInfo info;
    TRates rates;
  };
  TStation* Find(const QString& device);

  mutable std::mutex mutex_;
  QByteArray token_;
  uint64_t generation_ = 0;
  QSet<QByteArray> known_;
  std::vector<TStation> stations_;  // by first contact
  QSet<QString> dropped_;
  QHash<QByteArray, TRates> addresses_;
};

QByteArray ErrorBody(const char* germanSentence);

}  // namespace station
