#include "race/RowMoves.h"

#include <algorithm>
#include <unordered_map>

TRowMoves TRowMoves::Between(const std::vector<const void*>& before, const std::vector<const void*>& after) {
  TRowMoves moves;
  moves.before_ = static_cast<int32_t>(before.size());
  moves.after_ = static_cast<int32_t>(after.size());
  // A ranking moves a few riders and shifts those between: the rows that kept their place at
  // either end need no lookup.
  const size_t shorter = std::min(before.size(), after.size());
  size_t front = 0;
  while (front < shorter && before[front] == after[front]) ++front;
  size_t back = 0;
  while (back < shorter - front && before[before.size() - 1 - back] == after[after.size() - 1 - back]) ++back;
  const size_t beforeEnd = before.size() - back;
  const size_t afterEnd = after.size() - back;
  std::unordered_map<const void*, int32_t> where;
  where.reserve(beforeEnd - front);
  for (size_t i = front; i < beforeEnd; ++i) where.emplace(before[i], static_cast<int32_t>(i));
  std::vector<bool> kept(beforeEnd - front, false);
  auto take = [&moves](int32_t to, int32_t from, int32_t count) {
    TRun* last = moves.runs_.empty() ? nullptr : &moves.runs_.back();
    if (last && last->To + last->Count == to && last->From + last->Count == from)
      last->Count += count;
    else
      moves.runs_.push_back({to, from, count});
  };
  if (front > 0) take(0, 0, static_cast<int32_t>(front));
  for (size_t p = front; p < afterEnd; ++p) {
    const auto found = where.find(after[p]);
    if (found == where.end()) {
      moves.added_.push_back(static_cast<int32_t>(p));
      continue;
    }
    kept[static_cast<size_t>(found->second) - front] = true;
    take(static_cast<int32_t>(p), found->second, 1);
  }
  if (back > 0) take(static_cast<int32_t>(afterEnd), static_cast<int32_t>(beforeEnd), static_cast<int32_t>(back));
  for (size_t i = front; i < beforeEnd; ++i)
    if (!kept[i - front]) moves.removed_.push_back(static_cast<int32_t>(i));
  return moves;
}

std::vector<int32_t> TRowMoves::Sources(bool forward) const {
  std::vector<int32_t> sources(static_cast<size_t>(forward ? after_ : before_), -1);
  for (const TRun& run : runs_)
    for (int32_t i = 0; i < run.Count; ++i) {
      if (forward)
        sources[static_cast<size_t>(run.To + i)] = run.From + i;
      else
        sources[static_cast<size_t>(run.From + i)] = run.To + i;
    }
  return sources;
}

std::vector<int32_t> TRowMoves::Moved(bool forward) const {
  std::vector<int32_t> moved = forward ? added_ : removed_;
  for (const TRun& run : runs_) {
    if (run.To == run.From) continue;
    const int32_t first = forward ? run.To : run.From;
    for (int32_t i = 0; i < run.Count; ++i) moved.push_back(first + i);
  }
  std::sort(moved.begin(), moved.end());
  return moved;
}

int32_t TRowMoves::SourceOf(int32_t position) const {
  for (const TRun& run : runs_)
    if (position >= run.To && position < run.To + run.Count) return run.From + position - run.To;
  return -1;
}

int32_t TRowMoves::TargetOf(int32_t index) const {
  for (const TRun& run : runs_)
    if (index >= run.From && index < run.From + run.Count) return run.To + index - run.From;
  return -1;
}

bool TRowMoves::IsIdentity() const {
  return before_ == after_ &&
         std::all_of(runs_.begin(), runs_.end(), [](const TRun& run) { return run.To == run.From; });
}
