// Grid base without input: storage through the string grid and its views, the properties and
// their errors, geometry with hidden columns, line moves, the update bracket and painting.
#include <gtest/gtest.h>

#include <QImage>
#include <QScrollBar>
#include <set>

#include "GridTestUtil.h"

namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EInvalidOperation& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(GridStorage, ReadingFarOutsideCreatesNothing) {
  TestGrid g;
  EXPECT_EQ(g.Cells(3, 1000), "");
  EXPECT_EQ(g.Objects(3, 1000), nullptr);
  EXPECT_EQ(g.Data().Count(), 0);
  EXPECT_EQ(g.Data().Array().SectionCount(), 0);
  EXPECT_FALSE(g.HasRowView(1000));
  EXPECT_FALSE(g.HasColView(3));

  g.SetCells(2, 7, "x");
  EXPECT_TRUE(g.HasRowView(7));
  EXPECT_TRUE(g.HasColView(2));
  EXPECT_EQ(g.Rows(7)->Tag(), 8);
  EXPECT_EQ(g.Cols(2)->Tag(), ~2);
  EXPECT_EQ(ErrorOf([&] { g.SetCells(0, -1, "x"); }), "List index out of bounds (-1)");
}

TEST(GridStorage, ShrinkingAndRegrowingRowsShowsTheOldTexts) {
  TestGrid g;
  g.SetRowCount(10);
  for (int r = 0; r < 10; ++r) g.SetCells(1, r, QString("row %1").arg(r));
  g.SetRowCount(5);
  EXPECT_EQ(g.Rows(2)->Count(), 5);
  EXPECT_EQ(g.Cols(1)->Count(), 5);
  g.SetRowCount(10);
  for (int r = 5; r < 10; ++r) EXPECT_EQ(g.Cells(1, r), QString("row %1").arg(r));
}

TEST(GridStorage, RowViewAddFillsTheFirstEmptyCell) {
  TestGrid g;
  g.SetCells(0, 2, "a");
  g.SetCells(1, 2, "b");
  EXPECT_EQ(g.Rows(2)->Add("c"), 2);
  EXPECT_EQ(g.Cells(2, 2), "c");
  EXPECT_EQ(g.Rows(2)->Add(""), 3);
  EXPECT_EQ(g.Cells(3, 2), " ");  // an empty text would leave the cell empty for the next Add
  EXPECT_EQ(g.Rows(2)->Add("e"), 4);
  EXPECT_EQ(g.Rows(2)->Add("f"), -1);  // five columns, all written
  EXPECT_EQ(g.Cols(4)->Add("down"), 0);
  EXPECT_EQ(g.Cells(4, 0), "down");
}

TEST(GridStorage, ViewsCannotInsertOrDeleteButClearAndAssign) {
  TestGrid g;
  EXPECT_EQ(ErrorOf([&] { g.Rows(1)->Insert(0, "x"); }), "Cannot insert or delete rows from grid");
  EXPECT_EQ(ErrorOf([&] { g.Cols(1)->Delete(0); }), "Cannot insert or delete rows from grid");

  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c) g.SetCells(c, r, QString("%1%2").arg(c).arg(r));
  g.Rows(1)->Clear();
  EXPECT_EQ(g.Rows(1)->ToStringList(), QStringList({"", "", "", "", ""}));
  g.Cols(3)->Clear();
  EXPECT_EQ(g.Cols(3)->ToStringList(), QStringList({"", "", "", "", ""}));
  EXPECT_EQ(g.Cells(2, 2), "22");

  int object = 0;
  g.SetObjects(0, 4, &object);
  g.Rows(0)->Assign(*g.Rows(4));
  EXPECT_EQ(g.Rows(0)->ToStringList(), QStringList({"04", "14", "24", "", "44"}));
  EXPECT_EQ(g.Objects(0, 0), &object);
  g.Rows(0)->Assign(QStringList({"a", "b", "c", "d", "e", "f", "g"}));  // longer than the view
  EXPECT_EQ(g.Rows(0)->ToStringList(), QStringList({"a", "b", "c", "d", "e"}));
  EXPECT_EQ(g.Objects(0, 0), nullptr);
  EXPECT_EQ(g.Cells(5, 0), "");
}

TEST(GridLines, MovesCarryDataWidthsCurrentCellAndFireEvents) {
  TestGrid g;
  g.SetColCount(6);
  g.SetRowCount(6);
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 6; ++c) g.SetCells(c, r, QString("%1:%2").arg(c).arg(r));
  g.SetColWidths(1, 11);
  g.SetTabStops(1, false);
  std::vector<std::pair<int, int>> colMoves, rowMoves;
  g.OnColumnMoved = [&](QObject* s, int32_t f, int32_t t) {
    EXPECT_EQ(s, &g);
    colMoves.push_back({f, t});
  };
  g.OnRowMoved = [&](QObject*, int32_t f, int32_t t) { rowMoves.push_back({f, t}); };
  g.SetCol(1);
  g.SetRow(2);

  g.MoveColumn(1, 4);
  EXPECT_EQ(g.Rows(0)->ToStringList(), QStringList({"0:0", "2:0", "3:0", "4:0", "1:0", "5:0"}));
  EXPECT_EQ(g.ColWidths(4), 11);
  EXPECT_FALSE(g.TabStops(4));
  EXPECT_TRUE(g.TabStops(1));
  EXPECT_EQ(g.Col(), 4);

  g.MoveRow(5, 1);
  EXPECT_EQ(g.Cells(0, 1), "0:5");
  EXPECT_EQ(g.Cells(0, 2), "0:1");
  EXPECT_EQ(g.Row(), 3);  // the current row moved down with its line
  EXPECT_EQ(colMoves, (std::vector<std::pair<int, int>>{{1, 4}}));
  EXPECT_EQ(rowMoves, (std::vector<std::pair<int, int>>{{5, 1}}));
  EXPECT_EQ(ErrorOf([&] { g.MoveRow(0, 6); }), "Grid index out of range");

  // Deleting a row moves it to the end; its cells stay stored beyond the count.
  g.DeleteRow(1);
  EXPECT_EQ(g.RowCount(), 5);
  EXPECT_EQ(g.Cells(0, 1), "0:1");
  EXPECT_EQ(g.Cells(0, 5), "0:5");
}

TEST(GridProperties, DefaultsAtCreation) {
  TestGrid g;
  EXPECT_EQ(g.ColCount(), 5);
  EXPECT_EQ(g.RowCount(), 5);
  EXPECT_EQ(g.FixedCols(), 1);
  EXPECT_EQ(g.FixedRows(), 1);
  EXPECT_EQ(g.DefaultColWidth(), 64);
  EXPECT_EQ(g.DefaultRowHeight(), 24);
  EXPECT_EQ(g.GridLineWidth(), 1);
  EXPECT_EQ(g.Options().Bits(), 0x1Fu);  // fixed and normal lines, range select
  EXPECT_EQ(g.Col(), 1);
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.LeftCol(), 1);
  EXPECT_EQ(g.TopRow(), 1);
  EXPECT_EQ(g.FixedColor(), clBtnFace);
  EXPECT_EQ(g.Color(), clWindow);
  EXPECT_EQ(g.BorderStyle(), bsSingle);
  EXPECT_EQ(g.ScrollBars(), ssBoth);
  EXPECT_TRUE(g.DefaultDrawing());
  EXPECT_FALSE(g.EditorMode());
  EXPECT_FALSE(g.NowUpdating());
  EXPECT_EQ(g.size(), QSize(320, 120));
  EXPECT_EQ(g.focusPolicy() & Qt::TabFocus, Qt::TabFocus);
}

TEST(GridProperties, CountsBelowOneAndTheFixedCountErrors) {
  TestGrid g;
  g.SetRowCount(0);
  EXPECT_EQ(g.RowCount(), 1);
  EXPECT_EQ(g.FixedRows(), 0);
  g.SetColCount(-4);
  EXPECT_EQ(g.ColCount(), 1);
  EXPECT_EQ(g.FixedCols(), 0);

  TestGrid h;
  h.SetColCount(4);
  EXPECT_EQ(ErrorOf([&] { h.SetFixedCols(4); }), "Fixed column count must be less than column count");
  EXPECT_EQ(ErrorOf([&] { h.SetFixedCols(-1); }), "Grid index out of range");
  EXPECT_EQ(ErrorOf([&] { h.SetFixedRows(5); }), "Fixed row count must be less than row count");
  EXPECT_EQ(ErrorOf([&] { h.SetFixedRows(-1); }), "Grid index out of range");
  EXPECT_EQ(h.FixedCols(), 1);
  EXPECT_EQ(h.FixedRows(), 1);

  h.SetCol(3);
  h.SetRow(3);
  h.SetFixedCols(2);  // resets the current cell and the view to the fixed corner
  EXPECT_EQ(h.Col(), 2);
  EXPECT_EQ(h.Row(), 1);
  EXPECT_EQ(h.LeftCol(), 2);
  EXPECT_EQ(h.Selection(), (TGridRect{2, 1, 2, 1}));
}

TEST(GridProperties, ColumnWidthsHiddenColumnAndErrors) {
  TestGrid g;
  g.SetColCount(14);
  g.SetFixedCols(0);
  g.SetScrollBars(ssNone);
  g.resize(1200, 200);
  g.show();
  EXPECT_EQ(g.ColWidths(20), 64);  // no table yet
  g.SetColWidths(13, -1);
  EXPECT_EQ(g.ColWidths(13), -1);
  EXPECT_EQ(ErrorOf([&] { g.SetColWidths(14, 50); }), "Grid index out of range");
  EXPECT_EQ(g.ColWidths(20), 64);  // beyond the count: the default, also with a table
  g.SetColWidths(12, -1);

  // Hidden columns take no space and have no rectangle.
  EXPECT_EQ(g.CellRect(11, 1), (TRect{11 * 65, 25, 11 * 65 + 64, 49}));
  EXPECT_TRUE(g.CellRect(12, 1).IsEmpty());
  EXPECT_TRUE(g.CellRect(13, 1).IsEmpty());
  int32_t c, r;
  g.MouseToCell(11 * 65 + 66, 30, c, r);  // just right of column 11: nothing there
  EXPECT_EQ(c, -1);
  EXPECT_EQ(r, -1);
  g.MouseToCell(11 * 65 + 64, 30, c, r);  // the line after a cell belongs to it
  EXPECT_EQ(c, 11);
  EXPECT_EQ(r, 1);

  g.SetDefaultColWidth(30);  // drops the table: the hidden columns come back
  EXPECT_EQ(g.ColWidths(13), 30);
}

TEST(GridProperties, CurrentCellErrorsAndSelectCellVeto) {
  TestGrid g;
  EXPECT_EQ(ErrorOf([&] { g.MoveColRow(5, 1, true, true); }), "Grid index out of range");
  EXPECT_EQ(ErrorOf([&] { g.SetRow(-1); }), "Grid index out of range");
  bool allow = false;
  g.OnSelectCell = [&](QObject*, int32_t, int32_t, bool& can) { can = allow; };
  g.SetRow(3);
  EXPECT_EQ(g.Row(), 1);
  allow = true;
  g.SetRow(3);
  EXPECT_EQ(g.Row(), 3);
}

TEST(GridProperties, SelectionWriteAsksNothingAndDoesNotScroll) {
  TestGrid g;
  g.SetColCount(14);
  g.SetRowCount(40);
  g.resize(300, 100);
  g.SetTopRow(10);
  const int calls = g.selectCellCalls;
  g.SetSelection({0, 3, 13, 3});
  EXPECT_EQ(g.selectCellCalls, calls);
  EXPECT_EQ(g.TopRow(), 10);
  EXPECT_EQ(g.Selection(), (TGridRect{0, 3, 13, 3}));
  EXPECT_EQ(g.Row(), 3);
  EXPECT_EQ(g.Col(), 13);
  g.SetSelection({5, 8, 2, 4});  // normalised on reading
  EXPECT_EQ(g.Selection(), (TGridRect{2, 4, 5, 8}));
}

TEST(GridProperties, RowSelectSpansTheRowAndDropsAlwaysShowEditor) {
  TestGrid g;
  g.SetColCount(8);
  g.SetCol(3);
  g.SetOptions(g.Options() + goRowSelect + goAlwaysShowEditor + goEditing);
  EXPECT_FALSE(g.Options().Contains(goAlwaysShowEditor));
  EXPECT_EQ(g.Col(), 1);
  EXPECT_EQ(g.Selection(), (TGridRect{1, 1, 7, 1}));
  g.SetRow(3);
  EXPECT_EQ(g.Selection(), (TGridRect{1, 3, 7, 3}));
  g.SetColCount(10);
  EXPECT_EQ(g.Selection(), (TGridRect{1, 3, 9, 3}));
}

TEST(GridGeometry, ScrollBarsCountCellsNotPixels) {
  TestGrid g;
  g.SetRowCount(100);
  g.resize(340, 24 * 6 + 4);
  g.show();
  QScrollBar* v = g.verticalScrollBar();
  const int visible = g.VisibleRowCount();
  EXPECT_GT(visible, 0);
  EXPECT_EQ(v->minimum(), 1);
  EXPECT_EQ(v->maximum(), 100 - visible);
  EXPECT_EQ(v->pageStep(), visible);
  EXPECT_EQ(v->singleStep(), 1);

  int changes = 0;
  g.OnTopLeftChanged = [&](QObject*) { ++changes; };
  g.SetTopRow(50);
  EXPECT_EQ(v->value(), 50);
  v->setValue(60);  // the scroll bar moves the view by rows
  EXPECT_EQ(g.TopRow(), 60);
  EXPECT_EQ(changes, 2);

  g.SetRow(5);  // shown: the view scrolls back to it
  EXPECT_EQ(g.TopRow(), 5);
  g.SetRow(99);
  EXPECT_EQ(g.TopRow(), 100 - visible);
}

TEST(GridBracket, SizeChangesInsideABracketOnlyRecordTheCounts) {
  TestGrid g;
  g.SetRow(4);
  g.SetColWidths(1, 10);
  g.sizeCalls.clear();

  g.BeginUpdate();
  g.SetRowCount(50);
  EXPECT_EQ(g.RowCount(), 50);
  g.SetRowCount(3);
  g.SetColCount(8);
  EXPECT_EQ(g.ColWidths(7), 64);  // the width table lags behind: reads stay inside it
  g.SetColWidths(7, 20);
  EXPECT_EQ(g.ColWidths(7), 20);
  g.EndUpdate();
  EXPECT_TRUE(g.sizeCalls.empty());
  EXPECT_EQ(g.Row(), 4);  // not clamped by the bracket
  EXPECT_EQ(g.RowCount(), 3);

  g.SetRowCount(6);  // the next change outside catches up
  ASSERT_EQ(g.sizeCalls.size(), 1u);
  EXPECT_EQ(g.sizeCalls[0].oldCols, 8);
  EXPECT_EQ(g.sizeCalls[0].oldRows, 3);
  g.SetRowCount(2);
  EXPECT_EQ(g.Row(), 1);  // clamped now, and shown
  EXPECT_EQ(g.sizeCalls.back().oldRows, 6);
}

TEST(GridBracket, UncountedBracketsLeaveNoCursorLockOrDeadGrid) {
  TestGrid g;
  ShowActive(g);
  g.setFocus();
  ASSERT_TRUE(g.hasFocus());
  int begins = 0;
  g.OnBeginUpdate = [&](QObject* s) {
    EXPECT_EQ(s, &g);
    ++begins;
  };
  g.BeginUpdate();
  g.BeginUpdate();
  EXPECT_EQ(begins, 2);
  EXPECT_TRUE(g.NowUpdating());
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EXPECT_FALSE(g.updatesEnabled());
  EXPECT_FALSE(g.InputEnabled());
  EXPECT_TRUE(g.isEnabled());
  EXPECT_TRUE(g.hasFocus());

  QTest::keyClick(&g, Qt::Key_Down);  // no input inside the bracket
  EXPECT_EQ(g.Row(), 1);
  QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, QPoint(65 * 2 + 5, 25 * 2 + 5));
  EXPECT_EQ(g.Col(), 1);

  g.EndUpdate();
  EXPECT_FALSE(g.NowUpdating());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(g.updatesEnabled());
  EXPECT_TRUE(g.InputEnabled());
  EXPECT_TRUE(g.hasFocus());
  QTest::keyClick(&g, Qt::Key_Down);
  EXPECT_EQ(g.Row(), 2);
}

TEST(GridBracket, GuardClosesTheBracketWhenAnErrorEscapes) {
  TestGrid g;
  try {
    TGridUpdateGuard guard(g);
    g.SetFixedCols(9);
  } catch (const EInvalidOperation&) {
  }
  EXPECT_FALSE(g.NowUpdating());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(GridPaint, HiddenColumnsGetNoPaintAndSelectionIsHighlighted) {
  TestGrid g;
  g.SetColCount(4);
  g.SetScrollBars(ssNone);
  g.resize(400, 150);
  g.SetColWidths(2, -1);
  g.SetOptions(g.Options() + goRowSelect);
  g.SetRow(2);
  std::set<int> painted;
  g.OnDrawCell = [&](QObject*, int32_t c, int32_t, const TRect&, TGridDrawState) { painted.insert(c); };
  g.show();
  const QImage img = g.viewport()->grab().toImage();
  EXPECT_EQ(painted, (std::set<int>{0, 1, 3}));

  const QColor highlight = ToQColor(clHighlight);
  const QColor fixed = ToQColor(clBtnFace);
  const QColor window = ToQColor(clWindow);
  // Row 2 selected across the scrollable columns; column 3 starts right after column 1.
  EXPECT_EQ(img.pixelColor(65 + 30, 50 + 12), highlight);
  EXPECT_EQ(img.pixelColor(130 + 30, 50 + 12), highlight);
  EXPECT_EQ(img.pixelColor(130 + 30, 25 + 12), window);
  EXPECT_EQ(img.pixelColor(30, 50 + 12), fixed);
  // The line after column 1 is the only one at the hidden column's place.
  EXPECT_EQ(img.pixelColor(129, 75 + 12), ToQColor(clSilver));
  EXPECT_EQ(img.pixelColor(130, 75 + 12), window);
}

}  // namespace
