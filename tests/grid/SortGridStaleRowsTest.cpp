// Rows that leave the grid must not come back when it grows again.
#include <gtest/gtest.h>

#include "grid/SortGridTestUtil.h"

TEST(SortGridStaleRows, DeletedRowDoesNotReturnWhenTheGridGrows) {
  TestSortGrid grid;
  Fill(grid, {{"Nr.", "Name"}, {"1", "Anna"}, {"2", "Bert"}, {"3", "Cleo"}});
  grid.DeleteRow(2);
  EXPECT_EQ(Column(grid, 1), (QStringList{"Anna", "Cleo"}));
  grid.SetRowCount(grid.RowCount() + 1);
  EXPECT_EQ(Column(grid, 1), (QStringList{"Anna", "Cleo", ""}));
  EXPECT_EQ(grid.Cells(0, 3), "");
}

TEST(SortGridStaleRows, ClearForgetsRowsBeyondTheCount) {
  TestSortGrid grid;
  Fill(grid, {{"Nr.", "Name"}, {"1", "Anna"}, {"2", "Bert"}, {"3", "Cleo"}});
  grid.SetRowCount(2);  // Bert and Cleo are only hidden by the count
  grid.Clear();
  grid.SetRowCount(4);
  EXPECT_EQ(Column(grid, 1), (QStringList{"", "", ""}));
  EXPECT_EQ(grid.Cells(1, 0), "Name");
}
