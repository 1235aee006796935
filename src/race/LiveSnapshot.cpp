#include "race/LiveSnapshot.h"

#include <algorithm>
#include <limits>
#include <tuple>

#include "grid/SortCompare.h"
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

namespace {

// A finisher's place as a number; the others after every place.
int PlaceOrder(const TLiveRider& rider) {
  bool ranked = false;
  const int place = rider.state == TLiveRider::State::Finished ? rider.place.toInt(&ranked) : 0;
  return ranked ? place : std::numeric_limits<int>::max();
}

int CompareNumbers(const QString& a, const QString& b) {
  const int x = a.toInt(), y = b.toInt();
  return x != y ? (x < y ? -1 : 1) : ComparePlain(a, b);
}

}  // namespace

std::vector<TLiveCategory> LiveCategories(const std::vector<TLiveRider>& riders) {
  struct Entry {
    QString key;  // the category as the ranking compares it
    const TLiveRider* rider;
  };
  std::vector<Entry> done;
  for (const TLiveRider& rider : riders)
    if (rider.state != TLiveRider::State::OnCourse) done.push_back({LowerAscii(rider.category), &rider});
  std::sort(done.begin(), done.end(), [](const Entry& a, const Entry& b) {
    const TLiveRider& x = *a.rider;
    const TLiveRider& y = *b.rider;
    int c = ComparePlain(a.key, b.key);
    if (c == 0 && PlaceOrder(x) != PlaceOrder(y)) c = PlaceOrder(x) < PlaceOrder(y) ? -1 : 1;
    if (c == 0 && x.laps != y.laps) c = x.laps < y.laps ? -1 : 1;
    if (c == 0) c = CompareNumbers(x.number, y.number);
    if (c == 0) c = ComparePlain(x.name, y.name);
    if (c == 0) c = ComparePlain(x.category, y.category);
    return c < 0;
  });
  std::vector<TLiveCategory> categories;
  for (const Entry& entry : done) {
    if (categories.empty() || !SameCategory(categories.back().name, entry.rider->category))
      categories.push_back({entry.rider->category, {}});
    categories.back().riders.push_back(entry.rider);
  }
  return categories;
}

std::vector<TLiveEvent> LiveEvents(const TProtocol& protocol, uint32_t nowTick, const QDateTime& now) {
  // Every start (press 0) and press of every rider, by age; only the newest become events.
  struct Press {
    int32_t age, row, press;
    // Newest first; of one rider's presses at the same tick the later one.
    bool operator<(const Press& o) const { return std::tie(age, o.press, row) < std::tie(o.age, press, o.row); }
  };
  std::vector<Press> presses;
  const int32_t rows = protocol.Grid().RowCount();
  for (int32_t row = 1; row < rows; ++row) {
    const std::optional<TRiderTimes> times = protocol.RowTimes(row);
    if (!times || !times->Started) continue;
    presses.push_back({TickDiff(nowTick, times->Start), row, 0});
    for (int32_t k = 1; k <= std::min(times->Laps(), kRaceLaps); ++k)
      presses.push_back({TickDiff(nowTick, times->Presses[static_cast<size_t>(k - 1)]), row, k});
  }
  const size_t count = std::min(presses.size(), kLiveEvents);
  std::partial_sort(presses.begin(), presses.begin() + static_cast<std::ptrdiff_t>(count), presses.end());

  std::vector<TLiveEvent> events;
  events.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const Press& press = presses[i];
    const TLiveRider rider = RiderOfRow(protocol, press.row, nowTick);
    const std::optional<TRiderTimes> times = protocol.RowTimes(press.row);
    TLiveEvent event;
    event.wallClock = now.addMSecs(-press.age).toString(QStringLiteral("hh:mm:ss"));
    event.number = rider.number;
    event.name = rider.name;
    event.category = rider.category;
    event.lap = press.press;
    if (press.press == 0) {
      event.kind = TLiveEvent::Kind::Start;
    } else if (press.press < times->Laps() || !times->Stopped) {
      event.kind = TLiveEvent::Kind::Lap;
      event.lapTime = rider.lapTimes[static_cast<size_t>(press.press - 1)];
    } else {
      // A stop that completes the fifth lap ranks the rider; one before it has no place.
      const bool finished = rider.state == TLiveRider::State::Finished;
      event.kind = finished ? TLiveEvent::Kind::Finish : TLiveEvent::Kind::Stop;
      event.lapTime = rider.lapTimes[static_cast<size_t>(press.press - 1)];
      event.place = finished ? rider.place : QString();
      event.time = rider.time;
    }
    events.push_back(event);
  }
  return events;
}
