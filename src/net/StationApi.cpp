#include "net/StationApi.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>

QByteArray NewStationToken() {
  quint32 words[4];
  QRandomGenerator::system()->fillRange(words);
  return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

bool StationTokenMatches(const QByteArray& sent, const QByteArray& token) {
  const QByteArray a = QCryptographicHash::hash(sent, QCryptographicHash::Sha256);
  const QByteArray b = QCryptographicHash::hash(token, QCryptographicHash::Sha256);
  unsigned difference = 0;
  for (qsizetype i = 0; i < a.size(); ++i) difference |= unsigned(uchar(a[i]) ^ uchar(b[i]));
  // Evaluated after the loop, so an empty token costs the same as any other.
  return (difference == 0) & !token.isEmpty();
}

namespace station {

namespace {

const char* const kRoles[] = {"Zeit", "Nummern", "Zeit + Nummer", "Start"};

// An integer a double holds exactly; JSON numbers arrive as doubles.
std::optional<int64_t> Integer(const QJsonValue& value) {
  if (!value.isDouble()) return std::nullopt;
  const double d = value.toDouble();
  constexpr double kExact = 9007199254740992.0;  // 2^53
  if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) > kExact) return std::nullopt;
  return int64_t(d);
}

bool ValidId(const QString& id) {
  if (id.isEmpty() || id.size() > kMaxIdChars) return false;
  for (QChar c : id) {
    const char16_t u = c.unicode();
    const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' ||
                    u == '_' || u == ':' || u == '-';
    if (!ok) return false;
  }
  return true;
}

// A name shown in the window's list: no control characters, no line breaks, well formed.
bool ValidDevice(const QString& device) {
  if (device.isEmpty() || device.size() > kMaxDeviceChars || !device.isValidUtf16()) return false;
  for (QChar c : device) {
    const auto category = c.category();
    if (category == QChar::Other_Control || category == QChar::Other_Format ||
        category == QChar::Separator_Line || category == QChar::Separator_Paragraph) {
      return false;
    }
  }
  return true;
}

// "nr": absent, null or blank is none; otherwise 1..6 ASCII digits.
bool ParseNumber(const QJsonValue& value, QString* number) {
  if (value.isUndefined() || value.isNull()) return true;
  if (!value.isString()) return false;
  const QString trimmed = value.toString().trimmed();
  if (trimmed.size() > 6) return false;
  for (QChar c : trimmed)
    if (c < u'0' || c > u'9') return false;
  *number = trimmed;
  return true;
}

std::optional<TStationPass> ParsePass(const QJsonValue& value) {
  if (!value.isObject()) return std::nullopt;
  const QJsonObject object = value.toObject();
  const QJsonValue id = object.value(QLatin1String("id"));
  if (!id.isString() || !ValidId(id.toString())) return std::nullopt;
  TStationPass pass;
  pass.Id = id.toString();
  const QJsonValue t = object.value(QLatin1String("t"));
  if (!t.isUndefined() && !t.isNull()) {
    pass.WallMs = Integer(t);
    if (!pass.WallMs) return std::nullopt;
  }
  if (!ParseNumber(object.value(QLatin1String("nr")), &pass.Number)) return std::nullopt;
  if (!pass.WallMs && pass.Number.isEmpty()) return std::nullopt;
  return pass;
}

QByteArray IdList(const QStringList& ids) {
  return QJsonDocument(QJsonArray::fromStringList(ids)).toJson(QJsonDocument::Compact);
}

TAnswer Refusal(int status, const char* sentence) {
  TAnswer answer;
  answer.status = status;
  answer.body = ErrorBody(sentence);
  return answer;
}

}  // namespace

QByteArray ErrorBody(const char* germanSentence) {
  QJsonObject object;
  object.insert(QLatin1String("error"), QString::fromUtf8(germanSentence));
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<TRequest> ParseRequest(const QByteArray& body) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(body, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
  const QJsonObject object = document.object();
  TRequest request;
  const QJsonValue device = object.value(QLatin1String("device"));
  if (!device.isString()) return std::nullopt;
  request.Device = device.toString().trimmed();
  if (!ValidDevice(request.Device)) return std::nullopt;

  const QJsonValue role = object.value(QLatin1String("role"));
  if (!role.isUndefined() && !role.isNull()) {
    if (!role.isString()) return std::nullopt;
    const QString text = role.toString();
    const bool known = text.isEmpty() || std::any_of(std::begin(kRoles), std::end(kRoles),
                                                     [&](const char* r) { return text == QLatin1String(r); });
    if (!known) return std::nullopt;
    request.Role = text;
  }
  const QJsonValue accuracy = object.value(QLatin1String("accuracyMs"));
  if (!accuracy.isUndefined() && !accuracy.isNull()) {
    const auto ms = Integer(accuracy);
    if (!ms || *ms < -1 || *ms > 24 * 3600 * 1000) return std::nullopt;
    request.AccuracyMs = int(*ms);
  }

  const QJsonValue passes = object.value(QLatin1String("passes"));
  if (!passes.isArray()) return std::nullopt;
  const QJsonArray array = passes.toArray();
  if (array.size() > kMaxPasses) return std::nullopt;
  request.Passes.reserve(size_t(array.size()));
  for (const QJsonValue& value : array) {
    auto pass = ParsePass(value);
    if (!pass) return std::nullopt;
    request.Passes.push_back(std::move(*pass));
  }
  return request;
}

double TBucket::Level(int64_t nowMs, double perSecond, double burst) const {
  if (tokens_ < 0) return burst;
  const double refill = double(std::max<int64_t>(nowMs - lastMs_, 0)) * perSecond / 1000.0;
  return std::min(burst, tokens_ + refill);
}

bool TBucket::Has(double amount, int64_t nowMs, double perSecond, double burst) const {
  return Level(nowMs, perSecond, burst) >= amount;
}

void TBucket::Take(double amount, int64_t nowMs, double perSecond, double burst) {
  tokens_ = std::max(0.0, Level(nowMs, perSecond, burst) - amount);
  lastMs_ = nowMs;
}

bool TBucket::Full(int64_t nowMs, double perSecond, double burst) const {
  return Level(nowMs, perSecond, burst) >= burst;
}

bool TRates::Allow(int passCount, int64_t nowMs) const {
  return requests.Has(1, nowMs, scale * kRequestsPerSecond, scale * kRequestBurst) &&
         passes.Has(passCount, nowMs, scale * kPassesPerSecond, scale * kPassBurst);
}

void TRates::Take(int passCount, int64_t nowMs) {
  requests.Take(1, nowMs, scale * kRequestsPerSecond, scale * kRequestBurst);
  if (passCount > 0) passes.Take(passCount, nowMs, scale * kPassesPerSecond, scale * kPassBurst);
}

bool TRates::Idle(int64_t nowMs) const {
  return requests.Full(nowMs, scale * kRequestsPerSecond, scale * kRequestBurst) &&
         passes.Full(nowMs, scale * kPassesPerSecond, scale * kPassBurst);
}

void TDesk::SetAccess(const QByteArray& token, const QStringList& knownIds) {
  std::lock_guard lock(mutex_);
  if (token != token_) {
    token_ = token;
    ++generation_;
    known_.clear();
    stations_.clear();
    dropped_.clear();
  }
  // The same race again (a restored one, or the session catching up) only adds: an id taken in
  // between but not yet in the session's list must stay taken.
  for (const QString& id : knownIds) {
    if (known_.size() >= kMaxKnownIds) break;
    known_.insert(id.toUtf8());
  }
}

std::vector<TStationInfo> TDesk::Stations() const {
  std::lock_guard lock(mutex_);
  std::vector<TStationInfo> list;
  list.reserve(stations_.size());
  for (const TStation& station : stations_) list.push_back(station.info);
  return list;
}

void TDesk::Drop(const QString& device) {
  std::lock_guard lock(mutex_);
  const QString name = device.trimmed();
  stations_.erase(std::remove_if(stations_.begin(), stations_.end(),
                                 [&](const TStation& s) { return s.info.Device == name; }),
                  stations_.end());
  dropped_.insert(name);
}

qsizetype TDesk::KnownIds() const {
  std::lock_guard lock(mutex_);
  return known_.size();
}

TDesk::TStation* TDesk::Find(const QString& device) {
  for (TStation& station : stations_)
    if (station.info.Device == device) return &station;
  return nullptr;
}

TAnswer TDesk::Post(const QByteArray& authorization, const QByteArray& body, qint64 bodyBytes, const QByteArray& peer,
                    int64_t wallMs, int64_t steadyMs) {
  const QByteArray credentials = authorization.trimmed();
  const qsizetype blank = credentials.indexOf(' ');
  if (blank <= 0 || credentials.left(blank).compare("Bearer", Qt::CaseInsensitive) != 0) {
    TAnswer answer = Refusal(401, "Stationslink fehlt.");
    answer.challenge = true;
    return answer;
  }
  const QByteArray sent = credentials.mid(blank + 1).trimmed();
  // The token is read under the lock and compared outside it.
  QByteArray token;
  uint64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    token = token_;
    generation = generation_;
  }
  if (!StationTokenMatches(sent, token)) return Refusal(403, "Ungültiger Stationslink.");
  if (bodyBytes > kMaxBodyBytes || body.size() > kMaxBodyBytes) {
    TAnswer answer = Refusal(413, "Anfrage zu groß.");
    answer.close = true;
    return answer;
  }
  // Parsed before the lock: the window's thread must never wait for a 16 KB parse.
  const std::optional<TRequest> request = ParseRequest(body);
  if (!request) return Refusal(400, "Ungültige Anfrage.");

  std::lock_guard lock(mutex_);
  // The token may have changed while parsing: a request of the old race takes nothing.
  if (generation != generation_) return Refusal(403, "Ungültiger Stationslink.");
  if (dropped_.contains(request->Device)) return Refusal(403, "Diese Station wurde getrennt.");
  TStation* station = Find(request->Device);
  if (!station && int(stations_.size()) >= kMaxDevices) {
    return Refusal(429, "Zu viele Stationen, bitte eine trennen.");
  }
  const int passCount = int(request->Passes.size());
  auto address = addresses_.find(peer);
  if (address == addresses_.end() && addresses_.size() >= kMaxAddresses) {
    // Addresses whose buckets are full again are the same as never seen.
    for (auto it = addresses_.begin(); it != addresses_.end();) it = it->Idle(steadyMs) ? addresses_.erase(it) : std::next(it);
    address = addresses_.find(peer);
  }
  const TRates unseen{{}, {}, kStationsPerAddress};
  const bool addressRoom = address != addresses_.end() || addresses_.size() < kMaxAddresses;
  const bool rateOk = addressRoom && (!station || station->rates.Allow(passCount, steadyMs)) &&
                      (address != addresses_.end() ? *address : unseen).Allow(passCount, steadyMs);
  if (!rateOk) {
    TAnswer answer = Refusal(429, "Zu viele Anfragen, bitte kurz warten.");
    answer.retryAfter = true;
    return answer;
  }

  QStringList taken, known, rejected;
  QSet<QByteArray> fresh;
  std::vector<const TStationPass*> takenPasses;
  for (const TStationPass& pass : request->Passes) {
    if (pass.WallMs && (*pass.WallMs < wallMs - kPastMs || *pass.WallMs > wallMs + kFutureMs)) {
      rejected << pass.Id;
      continue;
    }
    const QByteArray id = pass.Id.toUtf8();
    if (known_.contains(id) || fresh.contains(id)) {
      known << pass.Id;
      continue;
    }
    fresh.insert(id);
    taken << pass.Id;
    takenPasses.push_back(&pass);
  }
  if (known_.size() + fresh.size() > kMaxKnownIds) {
    return Refusal(503, "Zu viele Durchgänge für dieses Rennen.");
  }

  // Accepted: from here on everything is taken at once.
  if (!station) {
    stations_.push_back(TStation{{request->Device, QString(), 0, -1, 0}, TRates()});
    station = &stations_.back();
  }
  station->rates.Take(passCount, steadyMs);
  if (address == addresses_.end()) address = addresses_.insert(peer, unseen);
  address->Take(passCount, steadyMs);
  station->info.LastContactMs = wallMs;
  if (request->Role) station->info.Role = *request->Role;
  if (request->AccuracyMs) station->info.AccuracyMs = *request->AccuracyMs;
  station->info.Passes += int(takenPasses.size());
  known_.unite(fresh);

  TAnswer answer;
  answer.body = "{\"taken\":" + IdList(taken) + ",\"known\":" + IdList(known) + ",\"rejected\":" + IdList(rejected) + '}';
  if (!takenPasses.empty()) {
    TStationBatch batch;
    batch.Device = request->Device;
    batch.Passes.reserve(takenPasses.size());
    for (const TStationPass* pass : takenPasses) batch.Passes.push_back(*pass);
    answer.batch = std::move(batch);
  }
  return answer;
}

}  // namespace station
