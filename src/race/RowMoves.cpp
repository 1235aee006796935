#include "race/RowMoves.h"

#include <algorithm>
#include <unordered_map>

TRowMoves TRowMoves::Between(const std::vector<const void*>& before, const std::vector<const void*>& after) {
  TRowMoves moves;
  moves.before_ = static_cast<int32_t>(before.size());
  moves.after_ = static_cast<int32_t>(after.size());
  std::unordered_map<const void*, int32_t> where;
  where.reserve(before.size());
  for (size_t i = 0; i < before.size(); ++i) where.emplace(before[i], static_cast<int32_t>(i));
  std::vector<bool> kept(before.size(), false);
  for (size_t p = 0; p < after.size(); ++p) {
    const auto found = where.find(after[p]);
    if (found == where.end()) {
      moves.added_.push_back(static_cast<int32_t>(p));
      continue;
    }
    const int32_t from = found->second;
    kept[static_cast<size_t>(from)] = true;
    TRun* last = moves.runs_.empty() ? nullptr : &moves.runs_.back();
    if (last && last->To + last->Count == static_cast<int32_t>(p) && last->From + last->Count == from)
      ++last->Count;
    else
      moves.runs_.push_back({static_cast<int32_t>(p), from, 1});
  }
  for (size_t i = 0; i < before.size(); ++i)
    if (!kept[i]) moves.removed_.push_back(static_cast<int32_t>(i));
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

bool TRowMoves::IsIdentity() const {
  return before_ == after_ &&
         std::all_of(runs_.begin(), runs_.end(), [](const TRun& run) { return run.To == run.From; });
}
