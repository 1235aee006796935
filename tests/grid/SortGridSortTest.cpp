// Sort engine: multi-key stability, styles, detection, header clicks, moved columns, the
// selection after a sort, the search, the update bracket and the size-change step.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <climits>

#include "common/Doubles.h"
#include "platform/LocaleFormats.h"
#include "SortGridTestUtil.h"

using testing_doubles::Doubles;

namespace {

// Protocol-like rows: Nr. in column 1, category in 3, lap count in 9, time in 11.
struct Rider {
  QString nr, cat, laps, time;
};

const std::vector<Rider> kRiders = {
    {"1", "M", "5", "1.05,2"}, {"2", "W", "5", "59,9"},   {"3", "M", "4", "59,9"},
    {"4", "M", "5", "1.05,2"}, {"5", "W", "5", "59,9"},   {"6", "M", "5", "58,1"},
    {"7", "W", "3", ""},       {"8", "M", "5", "1.05,2"}, {"9", "m", "5", "1:00.00,0"},
    {"10", "W", "10", "59,9"},
};

void FillProtocol(TSortGrid& grid, const std::vector<Rider>& riders) {
  grid.SetColCount(14);
  grid.SetRowCount(static_cast<int32_t>(riders.size()) + 1);
  for (size_t i = 0; i < riders.size(); ++i) {
    const auto r = static_cast<int32_t>(i + 1);
    grid.SetCells(1, r, riders[i].nr);
    grid.SetCells(3, r, riders[i].cat);
    grid.SetCells(9, r, riders[i].laps);
    grid.SetCells(11, r, riders[i].time);
  }
}

// The main window's answers: text for the category, its time comparison for count and time.
void AnswerLikeTheProtocol(TSortGrid& grid, std::vector<std::pair<int32_t, TSortStyle>>* calls = nullptr) {
  grid.OnGetSortStyle = [&grid, calls](QObject*, int32_t col, TSortStyle& style) {
    if (calls) calls->push_back({col, style});
    if (col == 3) style = ssNormal;
    if (col == 9 || col == 11) {
      style = ssCustom;
      grid.SortOptions().CustomCompare = LengthFirst;
    }
  };
}

}  // namespace

TEST(SortGridSort, RankingSortIsStableInBothDirections) {
  for (const TSortDirection direction : {sdAscending, sdDescending}) {
    TSortGrid grid;
    FillProtocol(grid, kRiders);
    std::vector<std::pair<int32_t, TSortStyle>> calls;
    AnswerLikeTheProtocol(grid, &calls);
    grid.SortOptions().SetSecondaryIndex("11");
    for (const int32_t col : {11, 9, 3}) {
      grid.SortOptions().SetSortDirection(direction);
      grid.SortByColumn(col);
    }

    // Expected: category (case-insensitive), then time, then laps; fully equal riders keep
    // their original order in both directions.
    std::vector<Rider> expected = kRiders;
    const int sign = direction == sdAscending ? 1 : -1;
    std::stable_sort(expected.begin(), expected.end(), [sign](const Rider& a, const Rider& b) {
      if (int c = ComparePlain(LowerAscii(a.cat), LowerAscii(b.cat))) return sign * c < 0;
      if (int c = LengthFirst(a.time, b.time)) return sign * c < 0;
      return sign * LengthFirst(a.laps, b.laps) < 0;
    });
    QStringList expectedNr;
    for (const Rider& r : expected) expectedNr << r.nr;
    EXPECT_EQ(Column(grid, 1), expectedNr) << "direction " << direction;

    // The style travels from key to key, starting automatic; the last key's style stays and
    // the custom comparison is gone after the sort.
    ASSERT_EQ(calls.size(), 5u);  // (11), (11, 9), (11, 3) in pass order
    EXPECT_EQ(calls[0], std::make_pair(11, ssAutomatic));
    EXPECT_EQ(calls[1], std::make_pair(11, ssAutomatic));
    EXPECT_EQ(calls[2], std::make_pair(9, ssCustom));
    EXPECT_EQ(calls[3], std::make_pair(11, ssAutomatic));
    EXPECT_EQ(calls[4], std::make_pair(3, ssCustom));
    EXPECT_EQ(grid.SortOptions().SortStyle(), ssNormal);
    EXPECT_FALSE(grid.SortOptions().CustomCompare);
    EXPECT_EQ(grid.SortOptions().SortCol(), 3);
    EXPECT_FALSE(grid.Sorting());
  }
}

TEST(SortGridSort, WholeRowsMoveWithTheirObjectsAndTheHeaderStays) {
  TSortGrid grid;
  Fill(grid, {{"Kopf", "B"}, {"c", "3"}, {"a", "1"}, {"b", "2"}});
  int tags[3] = {};
  for (int32_t r = 1; r <= 3; ++r) grid.SetObjects(1, r, &tags[r - 1]);
  grid.SortByColumn(0);
  EXPECT_EQ(Column(grid, 0), QStringList({"a", "b", "c"}));
  EXPECT_EQ(Column(grid, 1), QStringList({"1", "2", "3"}));
  EXPECT_EQ(grid.Objects(1, 1), &tags[1]);
  EXPECT_EQ(grid.Objects(1, 3), &tags[0]);
  EXPECT_EQ(grid.Cells(0, 0), "Kopf");
  EXPECT_EQ(grid.SortedList().size(), 3u);  // the last pass's entries stay until the next sort
}

TEST(SortGridSort, TenAgainstNineInTheStyles) {
  struct Case {
    TSortStyle style;
    QStringList data, sorted;
  };
  const Case cases[] = {
      {ssNormal, {"9", "10"}, {"10", "9"}},
      {ssAutomatic, {"9", "10"}, {"10", "9"}},  // with a handler assigned it compares as normal
      {ssNumeric, {"10", "9", "", "abc"}, {"", "9", "10", "abc"}},
      {ssNumericExtended, {"Lauf 10", "Lauf 9", "10", "9"}, {"9", "10", "Lauf 9", "Lauf 10"}},
      {ssTime, {"10:00", "9:05"}, {"9:05", "10:00"}},
      {ssDateTime, {"10.01.2026", "9.02.2025"}, {"9.02.2025", "10.01.2026"}},
  };
  for (const Case& c : cases) {
    TSortGrid grid;
    std::vector<QStringList> rows{{"H"}};
    for (const QString& t : c.data) rows.push_back({t});
    Fill(grid, rows);
    grid.OnGetSortStyle = [style = c.style](QObject*, int32_t, TSortStyle& s) { s = style; };
    grid.SortByColumn(0);
    EXPECT_EQ(Column(grid, 0), c.sorted) << "style " << c.style;
  }
}

TEST(SortGridSort, CaseRuleAndCustomComparisonsGetLowerCasedTexts) {
  TSortGrid grid;
  Fill(grid, {{"H"}, {"b"}, {"B"}, {"a"}, {"Ä"}});
  grid.SortOptions().SetSortStyle(ssNormal);
  grid.SortByColumn(0);
  EXPECT_EQ(Column(grid, 0), QStringList({"a", "b", "B", "Ä"}));  // only A..Z fold
  grid.SortOptions().SetSortCaseSensitive(true);
  grid.SortByColumn(0);
  EXPECT_EQ(Column(grid, 0), QStringList({"B", "a", "b", "Ä"}));

  grid.SortOptions().SetSortCaseSensitive(false);
  QStringList seen;
  grid.OnGetSortStyle = [&](QObject*, int32_t, TSortStyle& s) {
    s = ssCustom;
    grid.SortOptions().CustomCompare = [&seen](const QString& a, const QString& b) {
      seen << a << b;
      // Extreme results must not overflow when the direction reverses them.
      return a == b ? 0 : (ComparePlain(a, b) < 0 ? INT_MIN : INT_MAX);
    };
  };
  grid.SortOptions().SetSortDirection(sdDescending);
  grid.SortByColumn(0);
  EXPECT_EQ(Column(grid, 0), QStringList({"Ä", "B", "b", "a"}));  // equal keys keep their order
  for (const QString& t : seen) EXPECT_EQ(t, LowerAscii(t));
}

TEST(SortGridSort, DetectsTheStyleOnceAndKeepsIt) {
  TSortGrid grid;
  Fill(grid, {{"N", "T"}, {"10", "9"}, {"9", "10"}, {"100", ""}});
  grid.SortOptions().SetSortStyle(ssAutomatic);
  grid.SortByColumn(0);
  EXPECT_EQ(grid.SortOptions().SortStyle(), ssNumeric);
  EXPECT_EQ(Column(grid, 0), QStringList({"9", "10", "100"}));
  // Column 1 would detect as normal because of the empty cell; the kept numeric style
  // compares its numbers as numbers and the rest as text.
  grid.SortByColumn(1);
  EXPECT_EQ(grid.SortOptions().SortStyle(), ssNumeric);
  EXPECT_EQ(Column(grid, 1), QStringList({"", "9", "10"}));

  EXPECT_EQ(grid.DetectSortStyle(1), ssNormal);
  Fill(grid, {{"D", "Z"}, {"01.02.2026", "10:00"}, {"15.01.2025 08:30", "9:05"}});
  EXPECT_EQ(grid.DetectSortStyle(0), ssDateTime);  // dates are date-time values, not times
  EXPECT_EQ(grid.DetectSortStyle(1), ssDateTime);  // a time alone is a date-time value too
  grid.SortOptions().SetSortStyle(ssAutomatic);
  grid.SortByColumn(0);
  EXPECT_EQ(Column(grid, 0), QStringList({"15.01.2025 08:30", "01.02.2026"}));
}

TEST(SortGridSort, TinyGridsAndCanSortOff) {
  Doubles().modal.AnswerMessage(mrOk);  // "Rowsize too small" when cut to the header
  TSortGrid grid;
  Fill(grid, {{"H"}, {"b"}});
  grid.SortOptions().SetSortDirection(sdDescending);
  grid.SortByColumn(0);
  EXPECT_EQ(Column(grid, 0), QStringList({"b"}));
  grid.SetRowCount(1);
  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_EQ(Doubles().modal.History()[0].text, "Rowsize too small");
  EXPECT_EQ(Doubles().modal.History()[0].icon, MsgIcon::None);
  grid.SortOptions().SetSortStyle(ssAutomatic);
  grid.SortByColumn(0);
  EXPECT_EQ(grid.Cells(0, 0), "H");
  EXPECT_EQ(grid.SortOptions().SortStyle(), ssNumeric);  // no data rows: numeric

  TSortGrid off;
  Fill(off, {{"H"}, {"b"}, {"a"}});
  off.SortOptions().SetCanSort(false);
  int ends = 0;
  off.OnEndUpdate = [&](QObject*) { ++ends; };
  off.SortByColumn(0);
  EXPECT_EQ(Column(off, 0), QStringList({"b", "a"}));
  EXPECT_EQ(off.SortOptions().SortCol(), 0);
  EXPECT_EQ(ends, 0);
}

TEST(SortGridSort, CallerFaultsLeaveAConsistentOrderAndNoOpenBracket) {
  TSortGrid grid;
  Fill(grid, {{"A", "B"}, {"2", "x"}, {"1", "y"}, {"1", "x"}});
  // Items that name no column of the grid are left out; "1" still counts.
  grid.SortOptions().SetSecondaryIndex("abc, 99 -3,1");
  grid.SortByColumn(0);
  EXPECT_EQ(Column(grid, 1), QStringList({"x", "y", "x"}));
  EXPECT_EQ(Column(grid, 0), QStringList({"1", "1", "2"}));

  // ssCustom without a comparison compares plainly.
  grid.OnGetSortStyle = [](QObject*, int32_t, TSortStyle& s) { s = ssCustom; };
  grid.SortOptions().SetSecondaryIndex("");
  grid.SortByColumn(1);
  EXPECT_EQ(Column(grid, 1), QStringList({"x", "x", "y"}));

  // A key column the grid does not have sorts nothing, and the bracket closes.
  int ends = 0;
  grid.OnEndUpdate = [&](QObject*) { ++ends; };
  grid.SortByColumn(7);
  EXPECT_EQ(Column(grid, 1), QStringList({"x", "x", "y"}));
  EXPECT_EQ(grid.SortOptions().SortCol(), 7);
  EXPECT_EQ(ends, 1);

  // A handler that throws leaves the grid outside its bracket and not sorting.
  grid.OnGetSortStyle = [&](QObject*, int32_t, TSortStyle&) {
    grid.SortOptions().CustomCompare = LengthFirst;
    throw std::runtime_error("handler");
  };
  EXPECT_THROW(grid.SortByColumn(0), std::runtime_error);
  EXPECT_FALSE(grid.NowUpdating());
  EXPECT_TRUE(grid.InputEnabled());
  EXPECT_FALSE(grid.Sorting());
  EXPECT_FALSE(grid.SortOptions().CustomCompare);
  EXPECT_EQ(ends, 2);

  // A sort started from inside a sort is ignored instead of pulling the entries away.
  grid.OnGetSortStyle = [&](QObject*, int32_t, TSortStyle& s) {
    s = ssNormal;
    grid.SortByColumn(1);
  };
  grid.SortByColumn(0);
  EXPECT_EQ(Column(grid, 0), QStringList({"1", "1", "2"}));
  EXPECT_EQ(grid.SortOptions().SortCol(), 0);
}

TEST(SortGridSort, SelectionFollowsItsRows) {
  TestSortGrid grid;
  Fill(grid, {{"K", "Z"}, {"b", "3"}, {"a", "9"}, {"b", "1"}, {"a", "5"}, {"c", "2"}});
  grid.SetRow(3);  // "b","1"
  EXPECT_EQ(grid.SelectedRows(), QStringList({"3"}));
  grid.AddToSelection(5);  // "c","2"
  grid.SortOptions().SetSecondaryIndex("1");
  int selected = 0;
  grid.OnRowSelected = [&](QObject*) { ++selected; };
  grid.SortByColumn(0);
  // a5 a9 b1 b3 c2: the selected rows are now 3 and 5, the current row the topmost of them.
  EXPECT_EQ(Column(grid, 1), QStringList({"5", "9", "1", "3", "2"}));
  EXPECT_EQ(grid.SelectedRows(), QStringList({"3", "5"}));
  EXPECT_EQ(grid.SelectionTrail(), QStringList({"3", "5"}));
  EXPECT_EQ(grid.Row(), 3);
  EXPECT_EQ(selected, 0);  // row 3 was already current

  grid.SortOptions().SetSortDirection(sdDescending);
  grid.SortByColumn(1);  // 9 5 3 2 1
  EXPECT_EQ(grid.SelectedRows(), QStringList({"4", "5"}));
  EXPECT_EQ(grid.Row(), 4);
  EXPECT_EQ(selected, 1);

  // With nothing selected, lists and current row stay.
  grid.SelectRowAlone(99);
  grid.SortByColumn(0);
  EXPECT_EQ(grid.SelectedRows(), QStringList({"99"}));
  EXPECT_EQ(grid.Row(), 4);
}

TEST(SortGridSort, FindRowSearchesDataRowsOnly) {
  TSortGrid grid;
  Fill(grid, {{"Nr.", "Name"}, {"7", "Anna"}, {"12", ""}, {"7", "anna"}, {"", "Ben"}});
  EXPECT_EQ(grid.FindRow(0, "7", false), 1);
  EXPECT_EQ(grid.FindRow(1, "anna", false), 3);
  EXPECT_EQ(grid.FindRow(1, "ANNA", true), 1);
  EXPECT_EQ(grid.FindRow(1, "", false), 2);
  EXPECT_EQ(grid.FindRow(0, "Nr.", false), -1);  // never the header
  EXPECT_EQ(grid.FindRow(0, "99", false), -1);
  EXPECT_EQ(grid.FindRow(-1, "7", false), -1);
  grid.SetRowCount(3);  // rows 3 and 4 stay stored behind the end
  EXPECT_EQ(grid.FindRow(1, "Ben", false), -1);
  EXPECT_EQ(grid.FindRow(0, "", false), -1);
  EXPECT_EQ(grid.ParkedRowCount(), 0);

  // Rows a filter parks behind the last row are found, rows beyond them are not.
  TSortGrid filtered;
  Fill(filtered, {{"Nr.", "Kat"}, {"1", "M"}, {"2", "W"}, {"3", "M"}, {"4", "W"}});
  filtered.SetCells(0, 5, "stale");  // stored behind the grid, not part of it
  filtered.OnSetFilter = [](QStringList& row, bool& accept) { accept = row.value(1) == "M"; };
  filtered.SetFiltered(true);
  ASSERT_EQ(filtered.ParkedRowCount(), 2);
  ASSERT_EQ(filtered.RowCount(), 3);
  EXPECT_EQ(filtered.FindRow(0, "4", false), 4);
  EXPECT_EQ(filtered.FindRow(1, "w", true), 3);
  EXPECT_EQ(filtered.FindRow(0, "stale", false), -1);
}

TEST(SortGridSort, SortColumnFollowsMovedColumns) {
  TSortGrid grid;
  grid.SetColCount(8);
  grid.ColumnFonts().Items(5).Bold = true;
  int modified = 0;
  grid.OnModified = [&](QObject*) { ++modified; };
  grid.SortOptions().SetSortCol(3);
  grid.MoveColumn(5, 2);
  EXPECT_EQ(grid.SortOptions().SortCol(), 4);
  EXPECT_TRUE(grid.ColumnFonts().Items(2).Bold);
  EXPECT_TRUE(grid.Modified());
  EXPECT_EQ(modified, 1);
  grid.SortOptions().SetSortCol(3);
  grid.MoveColumn(2, 5);
  EXPECT_EQ(grid.SortOptions().SortCol(), 2);
  EXPECT_TRUE(grid.ColumnFonts().Items(5).Bold);
  grid.MoveColumn(2, 6);
  EXPECT_EQ(grid.SortOptions().SortCol(), 6);
  grid.MoveColumn(0, 1);  // outside the range between: unchanged
  EXPECT_EQ(grid.SortOptions().SortCol(), 6);
  grid.Clear();
  grid.MoveColumn(1, 4);  // the font list is empty after Clear: the move still works
  EXPECT_EQ(grid.ColumnFonts().Count(), 0);
}

TEST(SortGridSort, HeaderClicksThroughTheMouse) {
  TSortGrid grid;
  grid.resize(400, 200);
  Fill(grid, {{"A", "B", "C"}, {"2", "x", "k"}, {"1", "y", "k"}, {"3", "x", "j"}});
  grid.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
  QWidget* vp = grid.viewport();
  auto middle = [&](int32_t col) { return grid.CellRect(col, 0).ToQRect().center(); };

  // Column 0 is the sort column from the start, ascending: a click toggles it.
  QTest::mouseClick(vp, Qt::LeftButton, {}, middle(0));
  EXPECT_EQ(Column(grid, 0), QStringList({"3", "2", "1"}));
  EXPECT_EQ(grid.SortOptions().SortDirection(), sdDescending);
  QTest::mouseClick(vp, Qt::LeftButton, {}, middle(0));
  EXPECT_EQ(Column(grid, 0), QStringList({"1", "2", "3"}));
  QTest::mouseClick(vp, Qt::LeftButton, {}, middle(1));  // another column starts ascending
  EXPECT_EQ(grid.SortOptions().SortCol(), 1);
  EXPECT_EQ(grid.SortOptions().SortDirection(), sdAscending);
  EXPECT_EQ(Column(grid, 1), QStringList({"x", "x", "y"}));
  QTest::mouseClick(vp, Qt::RightButton, {}, middle(2));  // the right button: descending
  EXPECT_EQ(grid.SortOptions().SortDirection(), sdDescending);
  EXPECT_EQ(Column(grid, 2), QStringList({"k", "k", "j"}));
  QTest::mouseClick(vp, Qt::RightButton, {}, middle(2));  // and again descending
  EXPECT_EQ(grid.SortOptions().SortDirection(), sdDescending);

  // Within 5 pixels of a column edge: no sort. 6 pixels in: a sort.
  const TRect r = grid.CellRect(0, 0);
  const int y = middle(0).y();
  QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(r.Left + 5, y));
  QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(r.Right - 5, y));
  EXPECT_EQ(grid.SortOptions().SortCol(), 2);
  EXPECT_TRUE(grid.IsOnHeaderBorder(r.Right - 5, y));
  EXPECT_FALSE(grid.IsOnHeaderBorder(r.Right - 6, y));
  EXPECT_FALSE(grid.IsOnHeaderBorder(r.Left + 6, grid.CellRect(0, 1).ToQRect().center().y()));
  QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(r.Left + 6, y));
  EXPECT_EQ(grid.SortOptions().SortCol(), 0);

  // Pressed in one header cell, released in another: no sort.
  QTest::mousePress(vp, Qt::LeftButton, {}, middle(1));
  QTest::mouseRelease(vp, Qt::LeftButton, {}, middle(2));
  EXPECT_EQ(grid.SortOptions().SortCol(), 0);
  // Released on a data row: no sort either.
  QTest::mouseClick(vp, Qt::LeftButton, {}, grid.CellRect(1, 2).ToQRect().center());
  EXPECT_EQ(grid.SortOptions().SortCol(), 0);

  // With CanSort off a click only sets the direction.
  grid.SortOptions().SetCanSort(false);
  const QStringList before = Column(grid, 0);
  const TSortDirection dir = grid.SortOptions().SortDirection();
  QTest::mouseClick(vp, Qt::LeftButton, {}, middle(0));
  EXPECT_NE(grid.SortOptions().SortDirection(), dir);
  QTest::mouseClick(vp, Qt::LeftButton, {}, middle(1));
  EXPECT_EQ(grid.SortOptions().SortDirection(), sdAscending);
  EXPECT_EQ(grid.SortOptions().SortCol(), 0);
  EXPECT_EQ(Column(grid, 0), before);
}

TEST(SortGridSort, BracketSuspendsResortingAndFiresEndUpdate) {
  TSortGrid grid;
  Fill(grid, {{"H"}, {"b"}, {"a"}});
  int ends = 0;
  bool sortingAtEnd = true;
  grid.OnEndUpdate = [&](QObject*) {
    ++ends;
    sortingAtEnd = grid.Sorting();
  };
  grid.SortOptions().SetUpdateOnSizeChange(true);
  grid.SetRowCount(4);  // outside a bracket: re-sorted (the new empty row first)
  EXPECT_EQ(Column(grid, 0), QStringList({"", "a", "b"}));
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(sortingAtEnd);

  grid.BeginUpdate();
  EXPECT_FALSE(grid.SortOptions().UpdateOnSizeChange());
  grid.BeginUpdate();  // nested: the saved setting survives
  grid.SetCells(0, 3, "0");
  grid.SetRowCount(5);
  grid.EndUpdate();
  EXPECT_EQ(Column(grid, 0), QStringList({"", "a", "0", ""}));  // no re-sort, also not at the end
  EXPECT_TRUE(grid.SortOptions().UpdateOnSizeChange());
  grid.EndUpdate();  // already ended: no size step runs
  EXPECT_EQ(ends, 3);
  EXPECT_EQ(Column(grid, 0), QStringList({"", "a", "0", ""}));
  EXPECT_TRUE(grid.SortOptions().UpdateOnSizeChange());
  EXPECT_FALSE(grid.NowUpdating());
}

TEST(SortGridSort, SizeChangeStep) {
  TestSortGrid grid;
  grid.SetColCount(3);
  grid.SetRowCount(6);
  EXPECT_EQ(grid.ColumnFonts().Count(), 3);
  EXPECT_EQ(grid.RowFonts().Count(), 6);
  grid.SetModified(false);
  grid.SetRow(4);
  grid.SetCol(2);
  std::vector<std::pair<int32_t, int32_t>> sizes;
  int modified = 0;
  grid.OnSizeChanged = [&](QObject*, int32_t c, int32_t r) { sizes.push_back({c, r}); };
  grid.OnModified = [&](QObject*) { ++modified; };
  grid.SetRowCount(8);
  EXPECT_EQ(grid.Col(), 0);
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_EQ(grid.SelectedRows(), QStringList({"1"}));
  EXPECT_TRUE(grid.Modified());
  EXPECT_EQ(modified, 1);
  EXPECT_EQ(grid.RowFonts().Count(), 8);
  grid.SetColCount(2);
  EXPECT_EQ(grid.ColumnFonts().Count(), 2);
  EXPECT_EQ(sizes, (std::vector<std::pair<int32_t, int32_t>>{{3, 6}, {3, 8}}));

  // Inside a bracket the font lists are not resized and nothing moves.
  grid.SetRow(5);
  grid.BeginUpdate();
  grid.SetRowCount(12);
  grid.EndUpdate();
  EXPECT_EQ(grid.RowFonts().Count(), 8);
  EXPECT_EQ(grid.Row(), 5);
  EXPECT_EQ(sizes.size(), 2u);

  // Cut to the header: reported, current cell left where the grid base put it, lists
  // shrink only as far as they reach.
  grid.Clear();
  Doubles().modal.AnswerMessage(mrOk);
  grid.SetRowCount(1);
  EXPECT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_EQ(grid.RowFonts().Count(), 0);
  EXPECT_EQ(sizes.back(), std::make_pair(int32_t{2}, int32_t{2}));
}
