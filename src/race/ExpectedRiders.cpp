#include "race/ExpectedRiders.h"

#include <algorithm>
#include <limits>
#include <iterator>

#include "race/Protocol.h"
#include "race/TimeText.h"

std::optional<int32_t> TExpectedRider::Remaining(uint32_t now) const {
  if (!Expected) return std::nullopt;
  return TickDiff(*Expected, now);
}

bool TExpectedRider::IsLate(uint32_t now) const {
  const std::optional<int32_t> remaining = Remaining(now);
  return remaining && -static_cast<int64_t>(*remaining) * 2 > ReckonedLap;
}

QString TExpectedRider::CountdownText(uint32_t now) const {
  const std::optional<int32_t> remaining = Remaining(now);
  if (!remaining) return {};
  if (*remaining >= 0) return FormatDuration(*remaining);
  // -2^31 has no positive twin; a late rider that rounds to no time shows no sign.
  const QString late = FormatDuration(static_cast<int32_t>(std::min<int64_t>(-static_cast<int64_t>(*remaining),
                                                                              std::numeric_limits<int32_t>::max())));
  return late == QLatin1String("0,0") ? late : QStringLiteral("-") + late;
}

TExpectedLine TExpectedRider::Line(uint32_t now) const {
  return {Number, Name, QString::number(Laps), CountdownText(now), IsLate(now), Row};
}

std::vector<TExpectedLine> ExpectedLines(const std::vector<const TExpectedRider*>& riders, uint32_t now,
                                         size_t count) {
  std::vector<TExpectedLine> lines;
  lines.reserve(std::min(count, riders.size()));
  for (size_t i = 0; i < riders.size() && i < count; ++i) lines.push_back(riders[i]->Line(now));
  return lines;
}

bool TExpectedRiders::TByExpected::operator()(const TExpectedRider* a, const TExpectedRider* b) const {
  if (*a->Expected != *b->Expected) return TickDiff(*a->Expected, *from) < TickDiff(*b->Expected, *from);
  if (a->numberValue_ != b->numberValue_) return a->numberValue_ < b->numberValue_;
  return a->Row < b->Row;
}

bool TExpectedRiders::TByStart::operator()(const TExpectedRider* a, const TExpectedRider* b) const {
  if (a->Start != b->Start) return TickDiff(a->Start, *from) < TickDiff(b->Start, *from);
  if (a->numberValue_ != b->numberValue_) return a->numberValue_ < b->numberValue_;
  return a->Row < b->Row;
}

bool TExpectedRiders::TByNumber::operator()(const TExpectedRider* a, const TExpectedRider* b) const {
  if (a->numberValue_ != b->numberValue_) return a->numberValue_ < b->numberValue_;
  return a->Row < b->Row;
}

void TExpectedRiders::List(TExpectedRider& rider) {
  if (rider.Laps > 0) {
    // The lower half holds size / 2 first laps, the upper half the rest.
    if (!upper_.empty() ? rider.FirstLap < *upper_.begin() : !lower_.empty() && rider.FirstLap < *std::prev(lower_.end()))
      lower_.insert(rider.FirstLap);
    else
      upper_.insert(rider.FirstLap);
  }
  if (!rider.OnCourse) return;
  if (OnCourse() == 0) from_ = rider.Start;
  if (rider.Laps > 0) {
    rider.ReckonedLap = TickDiff(rider.LastPress, rider.Start) / rider.Laps;
    rider.Expected = rider.LastPress + static_cast<uint32_t>(rider.ReckonedLap);
    lapped_.insert(&rider);
  } else {
    unlapped_.insert(&rider);
    unlappedByNumber_.insert(&rider);
  }
}

void TExpectedRiders::Unlist(TExpectedRider& rider) {
  if (rider.Laps > 0) {
    const auto low = lower_.find(rider.FirstLap);
    if (low != lower_.end())
      lower_.erase(low);
    else
      upper_.erase(upper_.find(rider.FirstLap));
  }
  if (!rider.OnCourse) return;
  if (rider.Laps > 0) {
    lapped_.erase(&rider);
  } else {
    unlapped_.erase(&rider);
    unlappedByNumber_.erase(&rider);
  }
}

void TExpectedRiders::Forget(const TRowRecord* record) {
  const auto found = riders_.find(record);
  if (found == riders_.end()) return;
  Unlist(found->second);
  riders_.erase(found);
}

void TExpectedRiders::Changed() {
  while (lower_.size() > (lower_.size() + upper_.size()) / 2) {
    upper_.insert(*std::prev(lower_.end()));
    lower_.erase(std::prev(lower_.end()));
  }
  while (lower_.size() < (lower_.size() + upper_.size()) / 2) {
    lower_.insert(*upper_.begin());
    upper_.erase(upper_.begin());
  }
  median_.reset();
  if (!upper_.empty()) {
    int64_t median = *upper_.begin();
    if (lower_.size() == upper_.size()) median = (median + *std::prev(lower_.end())) / 2;
    median_ = static_cast<int32_t>(median);
  }
  orderValid_ = false;
}

void TExpectedRiders::Read(TProtocol& protocol, int32_t row) {
  const TRowRecord* record = &protocol.Record(row);
  if (protocol.IsEntryRow(row)) {
    Forget(record);
    return;
  }
  // A rider whose times are not kept (a finisher of an older journal) is kept too, off course,
  // so that finding his row again does not read him again.
  const std::optional<TRiderTimes> times = protocol.RowTimes(row);
  const auto [at, added] = riders_.try_emplace(record);
  TExpectedRider& rider = at->second;
  if (!added) Unlist(rider);
  const uint32_t seen = rider.seen_;
  rider = TExpectedRider{};
  rider.seen_ = seen;
  rider.Row = row;
  rider.Number = protocol.Grid().Cells(pcNumber, row);
  rider.Name = protocol.Grid().Cells(pcName, row);
  rider.numberValue_ = ParseStartNumber(rider.Number).value_or(std::numeric_limits<int32_t>::max());
  rider.normalNumber_ = NormalStartNumber(rider.Number);
  if (times && times->Started) {
    rider.Laps = times->Laps();
    rider.Start = times->Start;
    rider.LastPress = times->LastPress();
    rider.FirstLap = times->Presses.empty() ? 0 : TickDiff(times->Presses.front(), times->Start);
    rider.OnCourse = !times->Stopped;
  }
  List(rider);
}

void TExpectedRiders::Locate(TProtocol& protocol) {
  ++pass_;
  for (int32_t row = 1; row < protocol.Grid().RowCount(); ++row) {
    const TRowRecord* record = &protocol.Record(row);
    const auto found = riders_.find(record);
    if (found != riders_.end()) {
      TExpectedRider& rider = found->second;
      if (rider.Row != row) {
        // The row orders riders alike in everything else: re-listed under the new one.
        Unlist(rider);
        rider.Row = row;
        List(rider);
      }
      rider.seen_ = pass_;
    } else if (!protocol.IsEntryRow(row)) {
      // A row that was given no record of its own before, or got a new one unannounced.
      Read(protocol, row);
      riders_[record].seen_ = pass_;
    }
  }
  for (auto it = riders_.begin(); it != riders_.end();) {
    if (it->second.seen_ == pass_) {
      ++it;
      continue;
    }
    Unlist(it->second);
    it = riders_.erase(it);
  }
}

void TExpectedRiders::Update(TProtocol& protocol, const std::vector<int32_t>& rows, bool inPlace) {
  for (const int32_t row : rows)
    if (row >= 1 && row < protocol.Grid().RowCount()) Read(protocol, row);
  if (!inPlace) Locate(protocol);
  Changed();
}

void TExpectedRiders::Rebuild(TProtocol& protocol) {
  riders_.clear();
  lapped_.clear();
  unlapped_.clear();
  unlappedByNumber_.clear();
  lower_.clear();
  upper_.clear();
  Locate(protocol);
  Changed();
}

template <typename TVisit>
void TExpectedRiders::Walk(TVisit&& visit) const {
  // Before anyone has a lap, nobody has a time: by number. After, the riders without a lap
  // are expected at their start plus the median, merged in with those who have one.
  auto unlapped = [this](TExpectedRider* rider) {
    rider->ReckonedLap = median_.value_or(0);
    rider->Expected.reset();
    if (median_) rider->Expected = rider->LastPress + static_cast<uint32_t>(rider->ReckonedLap);
    return rider;
  };
  if (!median_) {
    for (TExpectedRider* rider : lapped_)
      if (!visit(rider)) return;
    for (TExpectedRider* rider : unlappedByNumber_)
      if (!visit(unlapped(rider))) return;
    return;
  }
  const TByExpected before{&from_};
  auto a = lapped_.begin();
  auto b = unlapped_.begin();
  while (a != lapped_.end() || b != unlapped_.end()) {
    TExpectedRider* next;
    if (b == unlapped_.end()) {
      next = *a++;
    } else {
      TExpectedRider* waiting = unlapped(*b);
      if (a != lapped_.end() && before(*a, waiting)) {
        next = *a++;
      } else {
        next = waiting;
        ++b;
      }
    }
    if (!visit(next)) return;
  }
}

const std::vector<const TExpectedRider*>& TExpectedRiders::Order() const {
  if (!orderValid_) {
    order_.clear();
    order_.reserve(OnCourse());
    Walk([this](const TExpectedRider* rider) {
      order_.push_back(rider);
      return true;
    });
    orderValid_ = true;
  }
  return order_;
}

void TExpectedRiders::SetPrefix(const QString& digits) {
  QString prefix = digits.trimmed();
  const bool allDigits = std::all_of(prefix.begin(), prefix.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
  if (allDigits)
    while (prefix.startsWith(QLatin1Char('0'))) prefix.remove(0, 1);
  prefix_ = prefix;
}

std::vector<const TExpectedRider*> TExpectedRiders::Shown(size_t count) const {
  std::vector<const TExpectedRider*> shown;
  if (count == 0) return shown;
  Walk([&](const TExpectedRider* rider) {
    if (prefix_.isEmpty() || rider->normalNumber_.startsWith(prefix_)) shown.push_back(rider);
    return shown.size() < count;
  });
  return shown;
}
