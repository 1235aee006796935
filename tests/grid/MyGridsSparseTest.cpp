// Sparse storage: what reads and writes allocate, the high bound and read cache, and the
// shifting list operations the row and column moves rely on.
#include <gtest/gtest.h>

#include "grid/MyGrids.h"

namespace {

int Tag(int v) { return v; }
void* P(intptr_t v) { return reinterpret_cast<void*>(v); }

TEST(SparsePointerArray, ReadsAndClearingWritesAllocateNothing) {
  TSparsePointerArray a(SPASmall);
  EXPECT_EQ(a.Get(1000000), nullptr);
  a.Put(5000, nullptr);
  EXPECT_EQ(a.SectionCount(), 0);
  EXPECT_EQ(a.HighBound(), -1);

  a.Put(17, P(1));  // second section of 16 slots
  EXPECT_EQ(a.SectionCount(), 1);
  EXPECT_EQ(a.SlotsPerSection(), 16);
  EXPECT_EQ(TSparsePointerArray(SPALarge).SlotsPerSection(), 256);
}

TEST(SparsePointerArray, HighBoundFallsWhenTrailingSlotsAreCleared) {
  TSparsePointerArray a(SPASmall);
  a.Put(3, P(1));
  a.Put(40, P(2));
  a.Put(700, P(3));
  EXPECT_EQ(a.HighBound(), 700);
  a.Put(700, nullptr);
  EXPECT_EQ(a.HighBound(), 40);
  a.Put(3, nullptr);  // not the top: bound stays
  EXPECT_EQ(a.HighBound(), 40);
  a.Put(40, nullptr);
  EXPECT_EQ(a.HighBound(), -1);
}

TEST(SparsePointerArray, ReadCacheNeverReturnsAStaleValue) {
  TSparsePointerArray a(SPALarge);
  a.Put(9, P(1));
  EXPECT_EQ(a.Get(9), P(1));
  a.Put(9, P(2));
  EXPECT_EQ(a.Get(9), P(2));
  EXPECT_EQ(a.Get(8), nullptr);  // a cached miss must not stick either
  a.Put(8, P(3));
  EXPECT_EQ(a.Get(8), P(3));
}

TEST(SparseList, NegativeIndexRaisesWithTheIndex) {
  TSparseList l(SPASmall);
  try {
    l.Get(-3);
    FAIL() << "no error";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (-3)");
  }
  EXPECT_THROW(l.Put(-1, P(1)), EInvalidOperation);
  EXPECT_THROW(l.Insert(-1, P(1)), EInvalidOperation);
  EXPECT_THROW(l.Delete(-1), EInvalidOperation);
  EXPECT_THROW(l.Move(0, -1), EInvalidOperation);
}

TEST(SparseList, InsertDeleteMoveAndExchangeShiftEntries) {
  TSparseList l(SPASmall);
  for (int i = 0; i < 40; i += 2) l.Put(i, P(i + 100));  // 0, 2, ..., 38
  EXPECT_EQ(l.Count(), 39);

  l.Insert(1, P(7));
  EXPECT_EQ(l.Count(), 40);
  EXPECT_EQ(l.Get(0), P(100));
  EXPECT_EQ(l.Get(1), P(7));
  EXPECT_EQ(l.Get(3), P(102));
  EXPECT_EQ(l.Get(39), P(138));

  l.Delete(1);
  EXPECT_EQ(l.Count(), 39);
  EXPECT_EQ(l.Get(2), P(102));
  EXPECT_EQ(l.Get(38), P(138));
  EXPECT_EQ(l.Get(39), nullptr);

  l.Delete(500);  // outside: ignored
  EXPECT_EQ(l.Count(), 39);

  l.Move(0, 5);  // 100 to position 5, the rest move up
  EXPECT_EQ(l.Get(0), nullptr);
  EXPECT_EQ(l.Get(1), P(102));
  EXPECT_EQ(l.Get(5), P(100));
  l.Move(5, 0);
  EXPECT_EQ(l.Get(0), P(100));
  EXPECT_EQ(l.Get(2), P(102));

  l.Exchange(0, 2);
  EXPECT_EQ(l.Get(0), P(102));
  EXPECT_EQ(l.Get(2), P(100));

  l.Insert(100, P(9));  // beyond the end: count grows to the index + 1
  EXPECT_EQ(l.Count(), 101);
  EXPECT_EQ(l.Get(100), P(9));
}

TEST(StringSparseList, EmptyCellsAreReleasedAndObjectsKept) {
  TStringSparseList s(SPASmall);
  int marker = Tag(1);
  s.Put(3, "a");
  s.PutObject(3, &marker);
  s.Put(20, "z");
  EXPECT_EQ(s.Get(3), "a");
  EXPECT_EQ(s.GetObject(3), &marker);
  EXPECT_EQ(s.Get(4), "");
  s.Put(3, "");  // text gone, object keeps the cell
  EXPECT_EQ(s.GetObject(3), &marker);
  s.Put(20, "");
  EXPECT_EQ(s.List().Array().HighBound(), 3);
  s.PutObject(3, nullptr);
  EXPECT_EQ(s.List().Array().HighBound(), -1);

  s.Put(0, "x");
  s.Put(1, "y");
  s.Insert(0, "w");
  EXPECT_EQ(s.Get(0), "w");
  EXPECT_EQ(s.Get(2), "y");
  s.Delete(0);
  EXPECT_EQ(s.Get(0), "x");
  s.Move(0, 1);
  EXPECT_EQ(s.Get(0), "y");
  EXPECT_EQ(s.Get(1), "x");
}

TEST(Extents, ShrinkingBeyondTheTableIsAnError) {
  std::vector<int32_t> widths(3, 64);
  ModifyExtents(widths, 2, int32_t{10});
  EXPECT_EQ(widths.size(), 5u);
  EXPECT_EQ(widths[4], 10);
  try {
    ModifyExtents(widths, -6, int32_t{0});
    FAIL() << "no error";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "Too many rows or columns deleted");
  }
  EXPECT_EQ(widths.size(), 5u);
}

}  // namespace
