#include "race/LiveSnapshot.h"

#include <algorithm>

#include "grid/SortGrid.h"
#include "race/Protocol.h"
#include "race/TimeText.h"

namespace {

TLiveRider RiderOfRow(const TProtocol& protocol, int32_t row, uint32_t nowTick) {
  const TSortGrid& grid = protocol.Grid();
  TLiveRider rider;
  rider.place = grid.Cells(pcPlace, row);
  rider.number = grid.Cells(pcNumber, row);
  rider.name = grid.Cells(pcName, row);
  rider.category = grid.Cells(pcCategory, row);
  rider.laps = std::clamp(grid.Cells(pcLapCount, row).toInt(), 0, 5);
  // The newest lap stands in "Lap1", the older ones to its left.
  for (int k = 1; k <= rider.laps; ++k)
    rider.lapTimes[static_cast<size_t>(k - 1)] = grid.Cells(pcLap1 - (rider.laps - k), row);
  rider.speed = grid.Cells(pcSpeed, row);
  rider.time = grid.Cells(pcTime, row);
  if (grid.Cells(pcLastLapTick, row) == QLatin1String("0")) {
    rider.state = protocol.IsFinisher(row) ? TLiveRider::State::Finished : TLiveRider::State::Stopped;
  } else {
    rider.state = TLiveRider::State::OnCourse;
    if (const std::optional<uint32_t> start = TickFromText(grid.Cells(pcStartTick, row)))
      rider.runningMs = std::max(TickDiff(nowTick, *start), 0);
  }
  return rider;
}

}  // namespace

std::vector<TLiveRider> LiveRiders(const TProtocol& protocol, uint32_t nowTick) {
  std::vector<TLiveRider> riders;
  const int32_t rows = protocol.Grid().RowCount();
  riders.reserve(static_cast<size_t>(std::max(rows - 1, 0)));
  for (int32_t row = 1; row < rows; ++row)
    if (!protocol.IsEntryRow(row)) riders.push_back(RiderOfRow(protocol, row, nowTick));
  return riders;
}

void TRaceTicker::Add(TLiveEvent::Kind kind, const TProtocol& protocol, int32_t row, const QString& wallClock) {
  if (row < 1 || row >= protocol.Grid().RowCount() || protocol.IsEntryRow(row)) return;
  const TLiveRider rider = RiderOfRow(protocol, row, 0);
  TLiveEvent event;
  event.kind = kind;
  event.wallClock = wallClock;
  event.number = rider.number;
  event.name = rider.name;
  event.category = rider.category;
  event.lap = rider.laps;
  event.lapTime = rider.LastLap();
  if (kind == TLiveEvent::Kind::Finish || kind == TLiveEvent::Kind::Stop) {
    // A stop that completes the fifth lap ranks the rider; one before it has no place.
    event.kind = rider.state == TLiveRider::State::Finished ? TLiveEvent::Kind::Finish : TLiveEvent::Kind::Stop;
    event.place = event.kind == TLiveEvent::Kind::Finish ? rider.place : QString();
    event.time = rider.time;
  }
  events_.push_front(event);
  if (events_.size() > kEvents) events_.pop_back();
}
