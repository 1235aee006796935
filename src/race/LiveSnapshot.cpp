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
  if (const std::optional<TRiderTimes> times = protocol.RowTimes(row); times && times->Started) {
    kept.ticks.push_back(times->Start);
    for (int32_t k = 1; k <= std::min(times->Laps(), kRaceLaps); ++k) kept.ticks.push_back(times->Presses[static_cast<size_t>(k - 1)]);
    kept.laps = times->Laps();
    kept.stopped = times->Stopped;
  }
  return kept;
}

TLiveTracker::TSlot TLiveTracker::Keep(TKept kept) {
  const void* id = kept.id;
  TKept& held = kept_[id];
  held = std::move(kept);
  AddPresses(held);
  return {id, held.rider->place.constData(), &held, held.rider->laps >= 5};
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
  order_.clear();
  presses_.clear();
  riders_.clear();
  const int32_t rows = protocol.Grid().RowCount();
  rowIndex_.assign(static_cast<size_t>(std::max(rows, 0)), -1);
  kept_.reserve(static_cast<size_t>(std::max(rows, 0)));
  for (int32_t row = 1; row < rows; ++row) {
    if (protocol.IsEntryRow(row)) continue;
    rowIndex_[static_cast<size_t>(row)] = static_cast<int32_t>(order_.size());
    order_.push_back(Keep(Read(protocol, row)));
    riders_.push_back(order_.back().kept->rider);
  }
}

bool TLiveTracker::Refresh(const TProtocol& protocol) {
  // Only cells of the rows named changed: each is read again where it stands.
  if (static_cast<size_t>(protocol.Grid().RowCount()) != rowIndex_.size()) return false;
  for (const int32_t row : touchedRows_)
    if (row < 1 || static_cast<size_t>(row) >= rowIndex_.size() || (rowIndex_[static_cast<size_t>(row)] < 0) != protocol.IsEntryRow(row))
      return false;
  std::sort(touchedRows_.begin(), touchedRows_.end());
  touchedRows_.erase(std::unique(touchedRows_.begin(), touchedRows_.end()), touchedRows_.end());
  for (const int32_t row : touchedRows_) {
    const int32_t i = rowIndex_[static_cast<size_t>(row)];
    if (i < 0) continue;
    TSlot& slot = order_[static_cast<size_t>(i)];
    DropPresses(*slot.kept);
    TKept fresh = Read(protocol, row);
    if (fresh.id != slot.id) kept_.erase(slot.id);
    slot = Keep(std::move(fresh));
    riders_.Set(static_cast<size_t>(i), slot.kept->rider);
  }
  return true;
}

void TLiveTracker::Reorder(const TProtocol& protocol) {
  constexpr size_t kLookAhead = 4;
  // The riders not named are as they were, but for the place a ranking may have renumbered.
  // Most keep their order: the walk expects the next one it knows, and looks up the others.
  const TSortGrid& grid = protocol.Grid();
  const int32_t rows = grid.RowCount();
  std::vector<TSlot> order;
  order.reserve(order_.size() + 1);
  std::vector<bool> taken(order_.size(), false);
  std::unordered_set<const void*> takenOut;  // known riders met away from where they stood
  std::vector<std::pair<size_t, TKept>> fresh;
  rowIndex_.assign(static_cast<size_t>(std::max(rows, 0)), -1);
  size_t next = 0;
  for (int32_t row = 1; row < rows; ++row) {
    const auto* cells = static_cast<const TStringSparseList*>(grid.Data().Get(row));
    if (cells == nullptr) continue;  // no cells: an entry row
    const void* id = cells->GetObject(pcPlace);
    if (id == nullptr) id = cells;
    TSlot slot;
    if (!touchedIds_.count(id)) {
      // Slots taken, met elsewhere or read anew are passed; a rider removed or moved on leaves
      // a gap of a few.
      const auto passed = [&](size_t i) {
        return taken[i] || (!takenOut.empty() && takenOut.count(order_[i].id)) || touchedIds_.count(order_[i].id);
      };
      while (next < order_.size() && passed(next)) ++next;
      size_t ahead = next;
      while (ahead < order_.size() && ahead < next + kLookAhead && order_[ahead].id != id) ++ahead;
      if (ahead < order_.size() && order_[ahead].id == id && !taken[ahead]) {
        slot = order_[ahead];
        taken[ahead] = true;
        next = ahead + 1;
      } else if (const auto known = kept_.find(id); known != kept_.end() && takenOut.insert(id).second) {
        slot = {id, nullptr, &known->second};
      }
    }
    if (slot.kept != nullptr && (slot.place == nullptr || slot.numbered)) {
      // Only rows of five laps are numbered by a ranking; the others keep their place.
      const QString place = cells->Get(pcPlace);
      if (place.constData() != slot.place && place != slot.kept->rider->place) {
        auto renumbered = std::make_shared<TLiveRider>(*slot.kept->rider);
        renumbered->place = place;
        slot.kept->rider = std::move(renumbered);
      }
      slot.place = slot.kept->rider->place.constData();
      slot.numbered = slot.kept->rider->laps >= 5;
    } else if (slot.kept == nullptr) {
      if (protocol.IsEntryRow(row)) continue;
      fresh.emplace_back(order.size(), Read(protocol, row));
    }
    rowIndex_[static_cast<size_t>(row)] = static_cast<int32_t>(order.size());
    order.push_back(slot);
  }
  // Riders gone or read anew leave with their presses; those read anew come back.
  for (size_t i = 0; i < order_.size(); ++i) {
    if (taken[i] || takenOut.count(order_[i].id)) continue;
    DropPresses(*order_[i].kept);
    kept_.erase(order_[i].id);
  }
  for (auto& [at, kept] : fresh) order[at] = Keep(std::move(kept));
  TLiveRiderList riders;
  for (const TSlot& slot : order) riders.push_back(slot.kept->rider);
  order_ = std::move(order);
  riders_ = std::move(riders);
}

std::vector<TLiveEvent> TLiveTracker::Events(uint32_t nowTick, const QDateTime& now) const {
  // The newest presses, and any that tie with the last of them.
  struct TCandidate {
    int32_t key, press;
    const void* id;
    size_t at;  // where the rider stands among the riders, for a tie
  };
  std::vector<TCandidate> candidates;
  bool tie = false;
  for (auto it = presses_.rbegin(); it != presses_.rend(); ++it) {
    const auto& [key, press, id] = *it;
    const bool same = !candidates.empty() && candidates.back().key == key && candidates.back().press == press;
    if (candidates.size() >= kLiveEvents && !same) break;
    tie = tie || same;
    candidates.push_back({key, press, id, 0});
  }
  if (tie) {
    // Presses at one tick go by row: rare enough to look the riders up.
    for (size_t i = 0; i < order_.size(); ++i)
      for (TCandidate& candidate : candidates)
        if (candidate.id == order_[i].id) candidate.at = i;
    std::stable_sort(candidates.begin(), candidates.end(), [](const TCandidate& a, const TCandidate& b) {
      return std::tie(b.key, b.press, a.at) < std::tie(a.key, a.press, b.at);
    });
  }
  candidates.resize(std::min(candidates.size(), kLiveEvents));

  std::vector<TLiveEvent> events;
  events.reserve(candidates.size());
  for (const TCandidate& candidate : candidates) {
    const TKept& kept = kept_.at(candidate.id);
    const TLiveRider& rider = *kept.rider;
    const int32_t age = TickDiff(nowTick, kept.ticks[static_cast<size_t>(candidate.press)]);
    events.push_back(EventOf(rider, candidate.press, kept.laps, kept.stopped, age, now));
  }
  return events;
}
