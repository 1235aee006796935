#include "race/ExpectedRiders.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

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

void TExpectedRiders::Read(TProtocol& protocol, int32_t row) {
  if (protocol.IsEntryRow(row)) {
    riders_.erase(&protocol.Record(row));
    return;
  }
  // A rider whose times are not kept (a finisher of an older journal) is kept too, off course,
  // so that finding his row again does not read him again.
  const TRowRecord* record = &protocol.Record(row);
  const std::optional<TRiderTimes> times = protocol.RowTimes(row);
  TExpectedRider& rider = riders_[record];
  rider = TExpectedRider{};
  rider.Row = row;
  rider.Number = protocol.Grid().Cells(pcNumber, row);
  rider.Name = protocol.Grid().Cells(pcName, row);
  rider.numberValue_ = ParseStartNumber(rider.Number).value_or(std::numeric_limits<int32_t>::max());
  rider.normalNumber_ = NormalStartNumber(rider.Number);
  if (!times || !times->Started) return;
  rider.Laps = times->Laps();
  rider.Start = times->Start;
  rider.LastPress = times->LastPress();
  rider.FirstLap = times->Presses.empty() ? 0 : TickDiff(times->Presses.front(), times->Start);
  rider.OnCourse = !times->Stopped;
}

void TExpectedRiders::Locate(TProtocol& protocol) {
  std::unordered_set<const TRowRecord*> seen;
  seen.reserve(riders_.size());
  for (int32_t row = 1; row < protocol.Grid().RowCount(); ++row) {
    const TRowRecord* record = &protocol.Record(row);
    const auto found = riders_.find(record);
    if (found != riders_.end()) {
      found->second.Row = row;
      seen.insert(record);
    } else if (!protocol.IsEntryRow(row)) {
      // A row that was given no record of its own before, or got a new one unannounced.
      Read(protocol, row);
      seen.insert(record);
    }
  }
  std::erase_if(riders_, [&seen](const auto& entry) { return !seen.contains(entry.first); });
}

void TExpectedRiders::Update(TProtocol& protocol, const std::vector<int32_t>& rows) {
  for (const int32_t row : rows)
    if (row >= 1 && row < protocol.Grid().RowCount()) Read(protocol, row);
  Locate(protocol);
  Reorder();
}

void TExpectedRiders::Rebuild(TProtocol& protocol) {
  riders_.clear();
  Locate(protocol);
  Reorder();
}

void TExpectedRiders::Reorder() {
  std::vector<int32_t> firstLaps;
  firstLaps.reserve(riders_.size());
  for (const auto& [record, rider] : riders_)
    if (rider.Laps > 0) firstLaps.push_back(rider.FirstLap);
  median_.reset();
  if (!firstLaps.empty()) {
    const auto middle = firstLaps.begin() + static_cast<std::ptrdiff_t>(firstLaps.size() / 2);
    std::nth_element(firstLaps.begin(), middle, firstLaps.end());
    int64_t median = *middle;
    if (firstLaps.size() % 2 == 0) median = (median + *std::max_element(firstLaps.begin(), middle)) / 2;
    median_ = static_cast<int32_t>(median);
  }

  order_.clear();
  std::optional<uint32_t> origin;
  for (auto& [record, rider] : riders_) {
    if (!rider.OnCourse) continue;
    rider.ReckonedLap = rider.Laps > 0 ? TickDiff(rider.LastPress, rider.Start) / rider.Laps : median_.value_or(0);
    rider.Expected.reset();
    if (rider.Laps > 0 || median_) rider.Expected = rider.LastPress + static_cast<uint32_t>(rider.ReckonedLap);
    if (!origin) origin = rider.Start;
    order_.push_back(&rider);
  }
  // Ticks compared as differences from one of them, so the counter's wrap keeps the order
  // (a race spans far less than half the counter).
  const uint32_t from = origin.value_or(0);
  std::sort(order_.begin(), order_.end(), [from](const TExpectedRider* a, const TExpectedRider* b) {
    if (a->Expected.has_value() != b->Expected.has_value()) return a->Expected.has_value();
    if (a->Expected && *a->Expected != *b->Expected)
      return TickDiff(*a->Expected, from) < TickDiff(*b->Expected, from);
    if (a->numberValue_ != b->numberValue_) return a->numberValue_ < b->numberValue_;
    return a->Row < b->Row;
  });
}

void TExpectedRiders::SetPrefix(const QString& digits) {
  QString prefix = digits.trimmed();
  const bool allDigits = std::all_of(prefix.begin(), prefix.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
  if (allDigits)
    while (prefix.startsWith(QLatin1Char('0'))) prefix.remove(0, 1);
  prefix_ = prefix;
}

std::vector<const TExpectedRider*> TExpectedRiders::Shown() const {
  if (prefix_.isEmpty()) return order_;
  std::vector<const TExpectedRider*> shown;
  for (const TExpectedRider* rider : order_)
    if (rider->normalNumber_.startsWith(prefix_)) shown.push_back(rider);
  return shown;
}
