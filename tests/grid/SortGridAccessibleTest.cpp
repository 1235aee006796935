// The grid as an accessible table: counts, headers, cells, hidden columns left out, and a row
// selected through the interface as a click selects it.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QTest>

#include "grid/SortGrid.h"

namespace {

struct TableGrid : ::testing::Test {
  TSortGrid grid;
  QAccessibleInterface* table = nullptr;
  QAccessibleTableInterface* t = nullptr;

  void SetUp() override {
    grid.resize(400, 200);
    grid.SetColCount(4);
    grid.SetRowCount(4);
    const QStringList rows[] = {{"Platz", "Name", "Tick", "Zeit"},
                                {"1", "Anna", "5000", "7.30,0"},
                                {"2", "Bert", "6000", "8.20,0"},
                                {"-", "", "", ""}};
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) grid.SetCells(c, r, rows[r][c]);
    grid.SetColWidths(2, -1);  // hidden
    table = QAccessible::queryAccessibleInterface(&grid);
    ASSERT_NE(table, nullptr);
    t = table->tableInterface();
    ASSERT_NE(t, nullptr);
  }
};

}  // namespace

TEST_F(TableGrid, CountsHeadersAndCellsWithoutHiddenColumns) {
  EXPECT_EQ(table->role(), QAccessible::Table);
  EXPECT_EQ(t->rowCount(), 3);
  EXPECT_EQ(t->columnCount(), 3);
  EXPECT_EQ(t->columnDescription(0), "Platz");
  EXPECT_EQ(t->columnDescription(2), "Zeit");  // "Tick" is hidden
  EXPECT_EQ(t->cellAt(0, 1)->text(QAccessible::Name), "Anna");
  EXPECT_EQ(t->cellAt(1, 2)->text(QAccessible::Name), "8.20,0");
  EXPECT_EQ(t->cellAt(3, 0), nullptr);
  EXPECT_EQ(t->cellAt(0, 3), nullptr);

  // Children: the header cells, then the cells row by row; each knows its place.
  EXPECT_EQ(table->childCount(), 12);
  QAccessibleInterface* header = table->child(1);
  EXPECT_EQ(header->role(), QAccessible::ColumnHeader);
  EXPECT_EQ(header->text(QAccessible::Name), "Name");
  QAccessibleInterface* cell = table->child(3 + 1);
  EXPECT_EQ(cell, t->cellAt(0, 1));  // one interface per place
  EXPECT_EQ(table->indexOfChild(cell), 4);
  EXPECT_EQ(cell->parent(), table);
  ASSERT_NE(cell->tableCellInterface(), nullptr);
  EXPECT_EQ(cell->tableCellInterface()->columnHeaderCells().value(0), header);

  // The text is read live.
  grid.SetCells(1, 1, "Anna K.");
  EXPECT_EQ(cell->text(QAccessible::Name), "Anna K.");
  // A cell beyond a shrunken grid is no longer valid.
  QAccessibleInterface* last = t->cellAt(2, 0);
  grid.SetRowCount(2);
  EXPECT_EQ(t->rowCount(), 1);
  EXPECT_FALSE(last->isValid());
}

TEST_F(TableGrid, SelectionIsTheCurrentRowAndSelectingAsksLikeAClick) {
  grid.SetRow(2);
  EXPECT_EQ(t->selectedRows(), QList<int>{1});
  EXPECT_TRUE(t->isRowSelected(1));
  EXPECT_EQ(t->selectedCellCount(), 3);
  EXPECT_TRUE(t->cellAt(1, 0)->state().selected);
  EXPECT_FALSE(t->cellAt(0, 0)->state().selected);

  std::vector<int> asked;
  grid.OnSelectCell = [&asked](QObject*, int32_t, int32_t row, bool& canSelect) {
    asked.push_back(row);
    canSelect = row != 3;
  };
  EXPECT_TRUE(t->selectRow(0));
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_FALSE(t->selectRow(2));  // the owner refuses, as it may refuse a click
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_FALSE(t->selectRow(5));
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.front(), 1);
  EXPECT_EQ(asked.back(), 3);  // row 5 does not exist: not asked
}
