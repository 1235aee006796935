#include "race/LiveSnapshot.h"

#include <algorithm>
#include <limits>
#include <tuple>

#include "grid/SortCompare.h"
#include "grid/SortGrid.h"
#include "race/Protocol.h"
#include "race/RaceSession.h"
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

template <typename TRiders>
std::vector<TLiveCategory> CategoriesOf(const TRiders& riders) {
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

}  // namespace

std::vector<TLiveCategory> LiveCategories(const std::vector<TLiveRider>& riders) { return CategoriesOf(riders); }
std::vector<TLiveCategory> LiveCategories(const TLiveRiderList& riders) { return CategoriesOf(riders); }

namespace {

// Press press of rider (0: his start), age milliseconds before now.
TLiveEvent EventOf(const TLiveRider& rider, int32_t press, int32_t laps, bool stopped, int32_t age, const QDateTime& now) {
  TLiveEvent event;
  event.wallClock = now.addMSecs(-age).toString(QStringLiteral("hh:mm:ss"));
  event.number = rider.number;
  event.name = rider.name;
  event.category = rider.category;
  event.lap = press;
  if (press == 0) {
    event.kind = TLiveEvent::Kind::Start;
  } else if (press < laps || !stopped) {
    event.kind = TLiveEvent::Kind::Lap;
    event.lapTime = rider.lapTimes[static_cast<size_t>(press - 1)];
  } else {
    // A stop that completes the fifth lap ranks the rider; one before it has no place.
    const bool finished = rider.state == TLiveRider::State::Finished;
    event.kind = finished ? TLiveEvent::Kind::Finish : TLiveEvent::Kind::Stop;
    event.lapTime = rider.lapTimes[static_cast<size_t>(press - 1)];
    event.place = finished ? rider.place : QString();
    event.time = rider.time;
  }
  return event;
}

}  // namespace

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
    events.push_back(EventOf(rider, press.press, times->Laps(), times->Stopped, press.age, now));
  }
  return events;
}

TLiveRider& TLiveRiderList::operator[](size_t i) {
  std::shared_ptr<const TLiveRider>& shared = OwnBlock(i / kBlock)[i % kBlock];
  if (shared.use_count() > 1) shared = std::make_shared<TLiveRider>(*shared);
  // Every record is made as a plain TLiveRider and this list is its only owner now.
  return const_cast<TLiveRider&>(*shared);
}

void TLiveRiderList::push_back(TRiderPtr rider) {
  if (size_ % kBlock == 0) {
    blocks_.push_back(std::make_shared<TBlock>());
    blocks_.back()->reserve(kBlock);
  }
  OwnBlock(size_ / kBlock).push_back(std::move(rider));
  ++size_;
}

void TLiveRiderList::Set(size_t i, TRiderPtr rider) { OwnBlock(i / kBlock)[i % kBlock] = std::move(rider); }

TLiveRiderList::TBlock& TLiveRiderList::OwnBlock(size_t b) {
  // A block an earlier snapshot still holds is copied: snapshots are read on other threads.
  std::shared_ptr<TBlock>& block = blocks_[b];
  if (block.use_count() > 1) {
    auto own = std::make_shared<TBlock>();
    own->reserve(kBlock);
    own->assign(block->begin(), block->end());
    block = std::move(own);
  }
  return *block;
}

// ---------------------------------------------------------------------------------------------

namespace {

// Who a row is: the record it carries moves with it through every sort; a row without one yet
// is known by its cells' storage, which moves with it as well.
const void* IdOf(const TProtocol& protocol, int32_t row) {
  const TSortGrid& grid = protocol.Grid();
  if (const void* record = grid.Objects(pcPlace, row)) return record;
  return grid.Data().Get(row);
}

}  // namespace

void TLiveTracker::Note(const TProtocol& protocol, const TSessionChange& change) {
  if (full_) return;
  if (change.Kind == TSessionChange::TKind::Other) {
    Forget();
    return;
  }
  if (!change.Protocol) return;
  for (const int32_t row : change.Rows) {
    if (row < 1 || row >= protocol.Grid().RowCount()) continue;
    touchedIds_.insert(IdOf(protocol, row));
    if (!reorder_) touchedRows_.push_back(row);
  }
  if (!change.InPlace) {
    reorder_ = true;
    touchedRows_.clear();
  }
}

void TLiveTracker::Forget() {
  full_ = true;
  reorder_ = false;
  touchedRows_.clear();
  touchedIds_.clear();
}

void TLiveTracker::Take(const TProtocol& protocol, uint32_t nowTick, const QDateTime& now, TLiveSnapshot& snapshot) {
  if (full_) {
    base_ = nowTick;
    Rebuild(protocol);
  } else if (reorder_ || !Refresh(protocol)) {
    Reorder(protocol);
  }
  full_ = reorder_ = false;
  touchedRows_.clear();
  touchedIds_.clear();
  snapshot.riders = riders_;
  snapshot.runningShiftMs = TickDiff(nowTick, base_);
  snapshot.events = Events(nowTick, now);
}

TLiveTracker::TKept TLiveTracker::Read(const TProtocol& protocol, int32_t row) const {
  TKept kept;
  TLiveRider rider = RiderOfRow(protocol, row, base_);
  // Counted from base_, unclamped: the snapshot adds the time since.
  if (rider.state == TLiveRider::State::OnCourse)
    if (const std::optional<uint32_t> start = TickFromText(protocol.Grid().Cells(pcStartTick, row)))
      rider.runningMs = TickDiff(base_, *start);
  kept.rider = std::make_shared<TLiveRider>(std::move(rider));
  kept.id = IdOf(protocol, row);
  kept.row = row;
  if (const std::optional<TRiderTimes> times = protocol.RowTimes(row); times && times->Started) {
    kept.ticks.push_back(times->Start);
    for (int32_t k = 1; k <= std::min(times->Laps(), kRaceLaps); ++k) kept.ticks.push_back(times->Presses[static_cast<size_t>(k - 1)]);
    kept.laps = times->Laps();
    kept.stopped = times->Stopped;
  }
  return kept;
}

void TLiveTracker::AddPresses(const TKept& kept) {
  for (size_t k = 0; k < kept.ticks.size(); ++k)
    presses_.emplace(TickDiff(kept.ticks[k], base_), static_cast<int32_t>(k), kept.id);
}

void TLiveTracker::DropPresses(const TKept& kept) {
  for (size_t k = 0; k < kept.ticks.size(); ++k)
    presses_.erase(TPress{TickDiff(kept.ticks[k], base_), static_cast<int32_t>(k), kept.id});
}

void TLiveTracker::Rebuild(const TProtocol& protocol) {
  kept_.clear();
  index_.clear();
  presses_.clear();
  riders_.clear();
  const int32_t rows = protocol.Grid().RowCount();
  rowIndex_.assign(static_cast<size_t>(std::max(rows, 0)), -1);
  for (int32_t row = 1; row < rows; ++row) {
    if (protocol.IsEntryRow(row)) continue;
    TKept kept = Read(protocol, row);
    rowIndex_[static_cast<size_t>(row)] = static_cast<int32_t>(kept_.size());
    index_[kept.id] = kept_.size();
    AddPresses(kept);
    riders_.push_back(kept.rider);
    kept_.push_back(std::move(kept));
  }
}

bool TLiveTracker::Refresh(const TProtocol& protocol) {
  // Only cells of the rows named changed: each is read again where it stands.
  if (static_cast<size_t>(protocol.Grid().RowCount()) != rowIndex_.size()) return false;
  for (const int32_t row : touchedRows_)
    if (row < 1 || static_cast<size_t>(row) >= rowIndex_.size() || (rowIndex_[static_cast<size_t>(row)] < 0) != protocol.IsEntryRow(row)) return false;
  std::sort(touchedRows_.begin(), touchedRows_.end());
  touchedRows_.erase(std::unique(touchedRows_.begin(), touchedRows_.end()), touchedRows_.end());
  for (const int32_t row : touchedRows_) {
    const int32_t i = rowIndex_[static_cast<size_t>(row)];
    if (i < 0) continue;
    TKept& old = kept_[static_cast<size_t>(i)];
    DropPresses(old);
    index_.erase(old.id);
    old = Read(protocol, row);
    index_[old.id] = static_cast<size_t>(i);
    AddPresses(old);
    riders_.Set(static_cast<size_t>(i), old.rider);
  }
  return true;
}

void TLiveTracker::Reorder(const TProtocol& protocol) {
  // The riders not named are as they were, but for the place a ranking may have renumbered.
  const TSortGrid& grid = protocol.Grid();
  const int32_t rows = grid.RowCount();
  std::vector<TKept> kept;
  kept.reserve(kept_.size() + 1);
  std::vector<bool> taken(kept_.size(), false);
  rowIndex_.assign(static_cast<size_t>(std::max(rows, 0)), -1);
  TLiveRiderList riders;
  std::vector<size_t> fresh;
  for (int32_t row = 1; row < rows; ++row) {
    if (protocol.IsEntryRow(row)) continue;
    const void* id = IdOf(protocol, row);
    const auto known = touchedIds_.count(id) ? index_.end() : index_.find(id);
    if (known != index_.end() && !taken[known->second]) {
      taken[known->second] = true;
      TKept& was = kept_[known->second];
      was.row = row;
      const QString place = grid.Cells(pcPlace, row);
      if (place != was.rider->place) {
        auto renumbered = std::make_shared<TLiveRider>(*was.rider);
        renumbered->place = place;
        was.rider = std::move(renumbered);
      }
      kept.push_back(std::move(was));
    } else {
      if (known != index_.end()) taken[known->second] = true;  // the same storage twice: read anew
      fresh.push_back(kept.size());
      kept.push_back(Read(protocol, row));
    }
    rowIndex_[static_cast<size_t>(row)] = static_cast<int32_t>(kept.size() - 1);
  }
  // The presses of riders read anew or gone leave the events; those read anew come back.
  for (size_t i = 0; i < kept_.size(); ++i)
    if (!taken[i]) DropPresses(kept_[i]);
  for (const size_t i : fresh) AddPresses(kept[i]);
  index_.clear();
  for (size_t i = 0; i < kept.size(); ++i) {
    index_[kept[i].id] = i;
    riders.push_back(kept[i].rider);
  }
  kept_ = std::move(kept);
  riders_ = std::move(riders);
}

std::vector<TLiveEvent> TLiveTracker::Events(uint32_t nowTick, const QDateTime& now) const {
  // The newest presses, and any that tie with the last of them: a tie goes by the row.
  struct TCandidate {
    int32_t key, press, row;
    const TKept* kept;
  };
  std::vector<TCandidate> candidates;
  for (auto it = presses_.rbegin(); it != presses_.rend(); ++it) {
    const auto& [key, press, id] = *it;
    if (candidates.size() >= kLiveEvents && (candidates.back().key != key || candidates.back().press != press)) break;
    const TKept& kept = kept_[index_.at(id)];
    candidates.push_back({key, press, kept.row, &kept});
  }
  std::sort(candidates.begin(), candidates.end(), [](const TCandidate& a, const TCandidate& b) {
    return std::tie(b.key, b.press, a.row) < std::tie(a.key, a.press, b.row);
  });
  candidates.resize(std::min(candidates.size(), kLiveEvents));

  std::vector<TLiveEvent> events;
  events.reserve(candidates.size());
  for (const TCandidate& candidate : candidates) {
    const TKept& kept = *candidate.kept;
    const TLiveRider& rider = *kept.rider;
    const int32_t age = TickDiff(nowTick, kept.ticks[static_cast<size_t>(candidate.press)]);
    events.push_back(EventOf(rider, candidate.press, kept.laps, kept.stopped, age, now));
  }
  return events;
}
