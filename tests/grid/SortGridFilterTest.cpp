// Rows hidden by the filter: whatever is done to the visible rows (insert, delete, clear, load,
// sort), the hidden ones come back as they were when the filter goes off, and no row is lost,
// doubled or made up.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTest>
#include <algorithm>
#include <map>
#include <random>

#include "SortGridTestUtil.h"
#include "grid/CommaList.h"

namespace {

// Column 0 names a row, column 1 is what the filter looks at, column 2 a sort key.
void AcceptLetters(TSortGrid& grid, const QString& letters) {
  grid.OnSetFilter = [letters](QStringList& cells, bool& accept) {
    accept = !cells[1].isEmpty() && letters.contains(cells[1]);
  };
}

// The names of the rows in view, empty rows left out.
QStringList Visible(const TSortGrid& grid) {
  QStringList names;
  for (int32_t r = 1; r < grid.RowCount(); ++r)
    if (!grid.Cells(0, r).isEmpty()) names << grid.Cells(0, r);
  return names;
}

int EmptyRows(const TSortGrid& grid) {
  int empty = 0;
  for (int32_t r = 1; r < grid.RowCount(); ++r) empty += grid.IsEmptyRow(r) ? 1 : 0;
  return empty;
}

QStringList Sorted(QStringList names) {
  names.sort();
  return names;
}

struct FilterFixture : ::testing::Test {
  TestSortGrid grid;
  void SetUp() override {
    Fill(grid, {{"Nr.", "Kat", "Zeit"}, {"a", "A", "3"}, {"b", "B", "1"}, {"c", "A", "2"}, {"d", "B", "4"}, {"e", "A", "5"}});
    grid.SortOptions().SetSortCol(0);
    AcceptLetters(grid, "A");
    grid.SetFiltered(true);
    ASSERT_EQ(Visible(grid), QStringList({"a", "c", "e"}));
    ASSERT_EQ(grid.ParkedRowCount(), 2);
  }
};

}  // namespace

TEST_F(FilterFixture, DeletingAVisibleRowKeepsTheHiddenOnes) {
  grid.DeleteRow(2);  // c
  EXPECT_EQ(Visible(grid), QStringList({"a", "e"}));
  EXPECT_EQ(grid.ParkedRowCount(), 2);
  grid.SetFiltered(false);
  EXPECT_EQ(Visible(grid), QStringList({"a", "b", "d", "e"}));
  EXPECT_EQ(EmptyRows(grid), 0);
}

TEST_F(FilterFixture, DeletingEveryVisibleRowLeavesTheStandInRowOnly) {
  grid.DeleteRow(1);
  grid.DeleteRow(1);
  grid.DeleteRow(1);  // the last one is emptied in place and becomes the stand-in row
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_TRUE(grid.IsEmptyRow(1));
  grid.SetFiltered(false);
  EXPECT_EQ(Visible(grid), QStringList({"b", "d"}));
  EXPECT_EQ(EmptyRows(grid), 0);
}

TEST_F(FilterFixture, InsertingARowWhileFilteredEmptiesNoHiddenRow) {
  grid.SetExtendedKeys(true);
  grid.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&grid));
  grid.SetRow(2);
  QTest::keyClick(&grid, Qt::Key_Insert, Qt::ControlModifier);  // before c
  ASSERT_EQ(grid.RowCount(), 5);
  EXPECT_TRUE(grid.IsEmptyRow(2));
  grid.SetCells(0, 2, "new");
  grid.SetCells(1, 2, "B");
  grid.InsertRow(grid.RowCount() - 1);  // after the last
  grid.SetCells(0, grid.RowCount() - 1, "last");
  grid.SetFiltered(false);
  EXPECT_EQ(Sorted(Visible(grid)), QStringList({"a", "b", "c", "d", "e", "last", "new"}));
  EXPECT_EQ(EmptyRows(grid), 0);
}

TEST_F(FilterFixture, InsertingIntoAnEmptyViewUsesTheStandInRow) {
  AcceptLetters(grid, "X");
  grid.SetFiltered(true);
  ASSERT_EQ(grid.RowCount(), 2);
  ASSERT_EQ(grid.ParkedRowCount(), 5);
  grid.InsertRow(1);
  EXPECT_EQ(grid.RowCount(), 2);
  grid.SetCells(0, 1, "new");
  grid.SetFiltered(false);
  EXPECT_EQ(Sorted(Visible(grid)), QStringList({"a", "b", "c", "d", "e", "new"}));
  EXPECT_EQ(EmptyRows(grid), 0);
}

TEST_F(FilterFixture, ClearAndLoadWhileFilteredLeaveNoGhostRows) {
  grid.Clear();
  EXPECT_EQ(grid.ParkedRowCount(), 0);
  grid.SetFiltered(false);
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(Visible(grid), QStringList());

  grid.SetFiltered(false);
  Fill(grid, {{"Nr.", "Kat", "Zeit"}, {"a", "A", "3"}, {"b", "B", "1"}, {"c", "B", "2"}});
  grid.SetFiltered(true);
  ASSERT_EQ(grid.ParkedRowCount(), 2);
  ASSERT_TRUE(grid.LoadFromStrings({"-1,-1,-1,-1,-1,-1,-1", "Nr.,Kat,Zeit", "x,A,1", "y,B,2"}, false));
  grid.SetFiltered(false);
  EXPECT_EQ(Sorted(Visible(grid)), QStringList({"x", "y"}));
  EXPECT_EQ(grid.RowCount(), 3);
}

// Random sequences of filter on and off, insert, delete, clear, load and sort on a grid of 200
// rows, against a plain set of the rows that should exist.
TEST(SortGridFilterProperty, NoRowIsLostDoubledOrMadeUp) {
  std::mt19937 random(20261208);
  auto pick = [&random](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const QString letters = "ABC";
  int nextName = 0;
  auto newRow = [&](QStringList& model) {
    const QString name = "r" + QString::number(nextName++);
    model << name;
    return QStringList{name, QString(letters[pick(3)]), QString::number(pick(1000))};
  };
  auto loadLines = [&](QStringList& model, int rows) {
    model.clear();
    QStringList lines{"-1,-1,-1,-1,-1,-1,-1", "Nr.,Kat,Zeit"};
    for (int i = 0; i < rows; ++i) lines << WriteCommaList(newRow(model));
    return lines;
  };

  for (int sequence = 0; sequence < 20; ++sequence) {
    TestSortGrid grid;
    QStringList model;
    ASSERT_TRUE(grid.LoadFromStrings(loadLines(model, 200), false));
    grid.SortOptions().SetCanSort(true);
    std::string steps;
    for (int step = 0; step < 60; ++step) {
      const int op = pick(9);
      if (op <= 1) {
        QString accepted;
        for (QChar letter : letters)
          if (pick(2)) accepted += letter;
        AcceptLetters(grid, accepted);
        grid.SetFiltered(true);
        steps += " filter(" + accepted.toStdString() + ")";
      } else if (op == 2) {
        grid.SetFiltered(false);
        steps += " unfilter";
      } else if (op == 3) {
        const int32_t row = 1 + pick(grid.RowCount() - 1);
        grid.InsertRow(row);
        const QStringList cells = newRow(model);
        for (int32_t c = 0; c < 3; ++c) grid.SetCells(c, grid.Row(), cells[c]);
        steps += " insert(" + std::to_string(row) + ")";
      } else if (op <= 5) {
        const int32_t row = 1 + pick(grid.RowCount() - 1);
        const QString name = grid.Cells(0, row);
        grid.DeleteRow(row);
        model.removeOne(name);
        steps += " delete(" + std::to_string(row) + ")";
      } else if (op == 6) {
        const int32_t col = pick(3);
        grid.SortByColumn(col);
        steps += " sort(" + std::to_string(col) + ")";
      } else if (op == 7 && pick(4) == 0) {
        grid.Clear();
        model.clear();
        steps += " clear";
      } else if (op == 8 && pick(4) == 0) {
        const int rows = 1 + pick(200);
        ASSERT_TRUE(grid.LoadFromStrings(loadLines(model, rows), false));
        steps += " load(" + std::to_string(rows) + ")";
      }

      // Every row of the model can still be found, in view or parked, and the view shows no
      // row twice and none the model does not have.
      const QStringList shown = Visible(grid);
      for (const QString& name : model) ASSERT_GT(grid.FindRow(0, name, false), 0) << name.toStdString() << ":" << steps;
      QStringList rest = model;
      for (const QString& name : shown) ASSERT_TRUE(rest.removeOne(name)) << name.toStdString() << ":" << steps;
      // What is not in view is parked (with, at most, the grid's one empty row).
      ASSERT_LE(rest.size(), grid.ParkedRowCount()) << steps;
      ASSERT_LE(grid.ParkedRowCount(), rest.size() + 1) << steps;
    }
    // Off again, the grid holds exactly the model's rows. An empty row is the grid's own (the
    // one a clear leaves): never more than one, and one when there is nothing else.
    grid.SetFiltered(false);
    EXPECT_EQ(Sorted(Visible(grid)), Sorted(model)) << steps;
    EXPECT_LE(EmptyRows(grid), 1) << steps;
    if (model.isEmpty()) {
      EXPECT_EQ(EmptyRows(grid), 1) << steps;
    }
  }
}
