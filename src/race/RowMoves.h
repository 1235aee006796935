#pragma once
// How the data rows of the protocol were rearranged by one operation: which rows came, which
// went, and in which order the others stand now. Kept small: the order as runs of rows that
// stayed neighbours, since a ranking usually moves one rider and shifts the rest as a block.
#include <cstddef>
#include <cstdint>
#include <vector>

class TRowMoves {
public:
  // From the rows before and after (identities, data rows in order); a row is the same row when
  // its identity is the same.
  static TRowMoves Between(const std::vector<const void*>& before, const std::vector<const void*>& after);

  // Where each row of the new arrangement comes from: an index into the old rows, or -1 for a
  // row that is new there. Forward: from before to after; backward: from after to before.
  std::vector<int32_t> Sources(bool forward) const;
  // Positions (0-based, in the arrangement the step leads to) that hold another row than the
  // same position held before it, rows that are new there included: what a ranking that moved
  // one rider shifted, without a pass over the rows that stayed.
  std::vector<int32_t> Moved(bool forward) const;
  // Where the row at a position of the new arrangement stood in the old, and the other way
  // round; -1 for a row that exists on one side only. A step through the runs.
  int32_t SourceOf(int32_t position) const;
  int32_t TargetOf(int32_t index) const;

  int32_t CountBefore() const { return before_; }
  int32_t CountAfter() const { return after_; }
  // Positions (0-based, in the arrangement named) of the rows that exist only there.
  const std::vector<int32_t>& Added() const { return added_; }      // in after
  const std::vector<int32_t>& Removed() const { return removed_; }  // in before
  bool Unchanged() const { return added_.empty() && removed_.empty() && IsIdentity(); }
  size_t RunCount() const { return runs_.size(); }

private:
  // Rows after[To + i] and before[From + i] are the same for i < Count.
  struct TRun {
    int32_t To, From, Count;
  };
  bool IsIdentity() const;

  int32_t before_ = 0;
  int32_t after_ = 0;
  std::vector<TRun> runs_;
  std::vector<int32_t> added_;
  std::vector<int32_t> removed_;
};
