#include "race/ExpectedRiders.h"

#include <algorithm>
#include <tuple>

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
  if (*remaining < 0) return QStringLiteral("-") + FormatDuration(-*remaining);
  return FormatDuration(*remaining);
}

void TExpectedRiders::Read(TProtocol& protocol, int32_t row) {
  const TRowRecord* record = &protocol.Record(row);
  const std::optional<TRiderTimes> times = protocol.RowTimes(row);
  if (!times || !times->Started) {
    riders_.erase(record);
    return;
  }
  TExpectedRider& rider = riders_[record];
  rider.Number = protocol.Grid().Cells(pcNumber, row);
  rider.Name = protocol.Grid().Cells(pcName, row);
  rider.Laps = times->Laps();
  rider.Start = times->Start;
  rider.LastPress = times->LastPress();
  rider.FirstLap = times->Presses.empty() ? 0 : TickDiff(times->Presses.front(), times->Start);
  rider.OnCourse = !times->Stopped;
}

void TExpectedRiders::Update(TProtocol& protocol, const std::vector<int32_t>& rows) {
  if (protocol.Grid().RowCount() < rowCount_) return Rebuild(protocol);
  rowCount_ = protocol.Grid().RowCount();
  for (const int32_t row : rows)
    if (row >= 1 && row < protocol.Grid().RowCount()) Read(protocol, row);
  Reorder();
}

void TExpectedRiders::Rebuild(TProtocol& protocol) {
  riders_.clear();
  rowCount_ = protocol.Grid().RowCount();
  for (int32_t row = 1; row < protocol.Grid().RowCount(); ++row) Read(protocol, row);
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
  // Ticks compared as differences from one of them, so the counter's wrap keeps the order.
  const uint32_t from = origin.value_or(0);
  auto key = [from](const TExpectedRider* rider) {
    return std::make_tuple(!rider->Expected, rider->Expected ? TickDiff(*rider->Expected, from) : 0,
                           TickDiff(rider->Start, from), ParseStartNumber(rider->Number).value_or(0));
  };
  std::sort(order_.begin(), order_.end(), [&key](const TExpectedRider* a, const TExpectedRider* b) { return key(a) < key(b); });
}

void TExpectedRiders::SetPrefix(const QString& digits) {
  QString prefix = digits.trimmed();
  while (prefix.startsWith(QLatin1Char('0'))) prefix.remove(0, 1);
  prefix_ = prefix;
}

std::vector<const TExpectedRider*> TExpectedRiders::Shown() const {
  if (prefix_.isEmpty()) return order_;
  std::vector<const TExpectedRider*> shown;
  for (const TExpectedRider* rider : order_)
    if (NormalStartNumber(rider->Number).startsWith(prefix_)) shown.push_back(rider);
  return shown;
}
