// A STOPP places the new finisher into the ranked order instead of sorting the whole protocol;
// whatever happened since the last ranking, the protocol must come out as a full ranking of the
// same rows leaves it.
#include <gtest/gtest.h>

#include <random>

#include "common/Doubles.h"
#include "grid/SortGrid.h"
#include "race/Protocol.h"

namespace {

constexpr uint32_t kT0 = 5'000'000;

struct Side {
  TSortGrid grid;
  TProtocol protocol{grid, [](int k) { return k * 1000; }};
  Side() { protocol.StartUp(); }
};

// The rows, cells and records of one protocol written into a fresh one, which has never
// ranked and so ranks by the full sort.
void CopyInto(Side& from, Side& to) {
  to.grid.SetRowCount(from.grid.RowCount());
  for (int32_t r = 1; r < from.grid.RowCount(); ++r) {
    for (int32_t c = 0; c < kProtocolColumns; ++c) to.grid.SetCells(c, r, from.grid.Cells(c, r));
    to.protocol.SetRecordText(r, from.protocol.RecordText(r));
  }
  to.grid.SetRow(from.grid.Row());
}

void ExpectSame(Side& a, Side& b, const std::string& step) {
  ASSERT_EQ(a.grid.RowCount(), b.grid.RowCount()) << step;
  for (int32_t r = 1; r < a.grid.RowCount(); ++r) {
    for (int32_t c = 0; c < kProtocolColumns; ++c)
      ASSERT_EQ(a.grid.Cells(c, r), b.grid.Cells(c, r)) << step << ", row " << r << ", column " << c;
    ASSERT_EQ(a.protocol.RecordText(r), b.protocol.RecordText(r)) << step << ", row " << r;
  }
  ASSERT_EQ(a.grid.Row(), b.grid.Row()) << step;
}

std::vector<int32_t> RidersOnCourse(TProtocol& protocol) {
  std::vector<int32_t> rows;
  for (int32_t r = 1; r < protocol.Grid().RowCount(); ++r) {
    const std::optional<TRiderTimes> times = protocol.RowTimes(r);
    if (times && times->Started && !times->Stopped && times->Laps() < kRaceLaps) rows.push_back(r);
  }
  return rows;
}

// Random races: starts, laps, STOPPs after five laps and before, equal times, categories that
// differ only in letter case or are missing, corrections of a category or a time, cells written
// behind the protocol's back, header sorts and undone STOPPs in between.
TEST(Ranking, StoppIsTheFullRankingInRandomRaces) {
  testing_doubles::Doubles().clock.Set(kT0);
  const QStringList categories = {"M20", "m20", "W30", "", "Jugend", "jugend", "M40"};
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    std::mt19937 random(seed);
    auto pick = [&random](size_t n) { return static_cast<size_t>(random() % n); };
    Side a;
    uint32_t tick = kT0;
    int riders = 0, stops = 0;
    for (int step = 0; step < 400; ++step) {
      // Coarse steps make equal times common.
      tick += 1000 * static_cast<uint32_t>(1 + pick(3));
      const std::vector<int32_t> onCourse = RidersOnCourse(a.protocol);
      const size_t action = pick(60);
      const std::string what = "seed " + std::to_string(seed) + ", step " + std::to_string(step);
      if ((action < 12 || onCourse.empty()) && riders < 60) {
        a.grid.SetRow(a.grid.RowCount() - 1);
        ++riders;
        a.protocol.RecordStart(tick - 1000 * static_cast<uint32_t>(pick(4)), QString::number(riders),
                               QStringLiteral("Fahrer %1").arg(riders), categories[static_cast<qsizetype>(pick(7))]);
      } else if (action < 33 && !onCourse.empty()) {
        a.grid.SetRow(onCourse[pick(onCourse.size())]);
        a.protocol.RecordLap(tick);
      } else if (action < 52 && !onCourse.empty()) {
        // Mostly riders on their last lap; now and then one who gives up early.
        std::vector<int32_t> last;
        for (int32_t r : onCourse)
          if (a.protocol.RowTimes(r)->Laps() == kRaceLaps - 1) last.push_back(r);
        const int32_t row = !last.empty() && pick(5) != 0 ? last[pick(last.size())] : onCourse[pick(onCourse.size())];
        a.grid.SetRow(row);
        Side b;
        CopyInto(a, b);
        const bool undo = pick(8) == 0;
        const TProtocolChange change = a.protocol.Track([&] { a.protocol.StopRider(tick); });
        b.protocol.StopRider(tick);
        ExpectSame(a, b, what + ", STOPP of row " + std::to_string(row));
        if (undo) a.protocol.Apply(change, false);
        ++stops;
      } else if (action < 55 && a.grid.RowCount() > 2) {
        // A correction: another category, or a lap less (another time).
        const int32_t row = 1 + static_cast<int32_t>(pick(static_cast<size_t>(a.grid.RowCount() - 2)));
        if (pick(2) == 0)
          a.protocol.EditRider(row, a.grid.Cells(pcNumber, row), a.grid.Cells(pcName, row),
                               categories[static_cast<qsizetype>(pick(7))]);
        else
          a.protocol.DeleteLap(row, 1);
      } else if (action < 58 && a.grid.RowCount() > 2) {
        // Written into the grid directly, as a restore writes it.
        const int32_t row = 1 + static_cast<int32_t>(pick(static_cast<size_t>(a.grid.RowCount() - 2)));
        a.grid.SetCells(pcCategory, row, categories[static_cast<qsizetype>(pick(7))]);
      } else if (action == 58) {
        a.grid.SortOptions().SetSortDirection(pick(2) == 0 ? sdAscending : sdDescending);
        a.grid.SortByColumn(static_cast<int32_t>(std::array{pcName, pcNumber, pcTime}[pick(3)]));
      }
      if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_GT(stops, 60) << "seed " << seed;
  }
}

// A sort by several keys is one pass where the keys' comparisons are orders; it must leave what
// stable sorts by each key, last key first, leave: letter case folded, ties kept, either way.
TEST(Ranking, OneSortByAllKeysIsTheStablePasses) {
  std::mt19937 random(11);
  const QStringList categories = {"M20", "m20", "W30", "", "w30", "Jugend"};
  for (int round = 0; round < 40; ++round) {
    TSortGrid one, passes;
    for (TSortGrid* grid : {&one, &passes}) {
      grid->SetColCount(4);
      grid->SetRowCount(60);
      grid->OnGetSortStyle = [grid](QObject*, int32_t col, TSortStyle& style) {
        style = col == 3 ? ssNormal : ssCustom;
        if (col != 3) grid->SortOptions().CustomCompare = CompareByLength;
      };
      grid->SortOptions().SetSortDirection(round % 2 == 0 ? sdAscending : sdDescending);
    }
    for (int32_t r = 1; r < 60; ++r) {
      const QStringList cells = {QString::number(r), QString::number(random() % 6),
                                 random() % 3 == 0 ? QString() : QStringLiteral("%1,%2").arg(random() % 3).arg(random() % 2),
                                 categories[static_cast<qsizetype>(random() % 6)]};
      for (int32_t c = 0; c < 4; ++c) {
        one.SetCells(c, r, cells[c]);
        passes.SetCells(c, r, cells[c]);
      }
    }
    one.SortOptions().SetSecondaryIndex(QStringLiteral("2,1"));
    one.SortByColumn(3);
    passes.SortOptions().SetSecondaryIndex(QString());
    for (int32_t col : {1, 2, 3}) passes.SortByColumn(col);
    for (int32_t r = 1; r < 60; ++r) ASSERT_EQ(one.Cells(0, r), passes.Cells(0, r)) << "round " << round << ", row " << r;
  }
}

// Moving a row list shifts only the entries between the two places; it must leave what a
// delete and an insert leave, count included, also at and beyond the end.
TEST(Ranking, ListMoveIsDeleteThenInsert) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    TSparseList fast(SPASmall), slow(SPASmall);
    const int32_t size = 1 + static_cast<int32_t>(random() % 40);
    std::vector<int> values(static_cast<size_t>(size));
    for (int32_t i = 0; i < size; ++i) {
      void* value = random() % 4 == 0 ? nullptr : &values[static_cast<size_t>(i)];
      fast.Put(i, value);
      slow.Put(i, value);
    }
    const int32_t from = static_cast<int32_t>(random() % static_cast<uint32_t>(size + 3));
    const int32_t to = static_cast<int32_t>(random() % static_cast<uint32_t>(size + 3));
    if (from == to) continue;  // no move at all
    fast.Move(from, to);
    void* moved = slow.Get(from);
    slow.Delete(from);
    slow.Insert(to, moved);
    ASSERT_EQ(fast.Count(), slow.Count()) << from << " -> " << to;
    for (int32_t i = 0; i < size + 4; ++i) ASSERT_EQ(fast.Get(i), slow.Get(i)) << from << " -> " << to << " at " << i;
  }
}

}  // namespace
