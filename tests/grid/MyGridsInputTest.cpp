// Grid base input through real Qt events: keyboard navigation, mouse selection, sizing and
// moving, the wheel, and the in-place editor's key routing.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QWheelEvent>

#include "GridTestUtil.h"

namespace {

// A shown, focused grid of cols x rows cells of 64 x 24 pixels, lines 1 pixel.
struct Fixture {
  QWidget window;
  TestGrid* grid;
  QLineEdit* other;
  Fixture(int cols, int rows, int width = 400, int height = 200) {
    grid = new TestGrid(&window);
    other = new QLineEdit(&window);
    other->move(0, height + 10);
    grid->SetColCount(cols);
    grid->SetRowCount(rows);
    grid->resize(width, height);
    window.resize(width + 20, height + 50);
    ShowActive(window);
    grid->setFocus();
  }
  QWidget* vp() const { return grid->viewport(); }
  void Key(int key, Qt::KeyboardModifiers mods = {}) {
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), mods);
  }
  // Centre of a cell in viewport pixels (no scrolling).
  static QPoint Cell(int c, int r) { return QPoint(c * 65 + 32, r * 25 + 12); }
};

TEST(GridKeys, ArrowsMoveOneCellAndStopAtTheEdges) {
  Fixture f(5, 5);
  TestGrid& g = *f.grid;
  f.Key(Qt::Key_Down);
  f.Key(Qt::Key_Right);
  EXPECT_EQ(g.Row(), 2);
  EXPECT_EQ(g.Col(), 2);
  f.Key(Qt::Key_Up);
  f.Key(Qt::Key_Up);  // not into the fixed row
  f.Key(Qt::Key_Left);
  f.Key(Qt::Key_Left);
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.Col(), 1);
  for (int i = 0; i < 6; ++i) f.Key(Qt::Key_Down);
  EXPECT_EQ(g.Row(), 4);

  // Shift keeps the anchor and extends the selection.
  f.Key(Qt::Key_Up, Qt::ShiftModifier);
  f.Key(Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(g.Selection(), (TGridRect{1, 3, 2, 4}));
  f.Key(Qt::Key_Left);
  EXPECT_EQ(g.Selection(), (TGridRect{1, 3, 1, 3}));
}

TEST(GridKeys, PageKeysMoveRowAndViewByAPage) {
  Fixture f(5, 60, 400, 24 * 10 + 4);
  TestGrid& g = *f.grid;
  const int page = g.VisibleRowCount() - 1;  // last fully visible row minus the top row
  ASSERT_GT(page, 1);
  int clicks = 0;
  g.OnClick = [&](QObject*) { ++clicks; };
  f.Key(Qt::Key_PageDown);
  EXPECT_EQ(g.Row(), 1 + page);
  EXPECT_EQ(g.TopRow(), 1 + page);
  EXPECT_EQ(clicks, 1);
  f.Key(Qt::Key_PageUp);
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.TopRow(), 1);
  for (int i = 0; i < 20; ++i) f.Key(Qt::Key_PageDown);
  EXPECT_EQ(g.Row(), 59);
  EXPECT_EQ(g.TopRow(), 60 - g.VisibleRowCount());

  f.Key(Qt::Key_Up, Qt::ControlModifier);  // scrolls without moving the cell
  EXPECT_EQ(g.Row(), 59);
  EXPECT_EQ(g.TopRow(), 59 - g.VisibleRowCount());
  f.Key(Qt::Key_PageUp, Qt::ControlModifier);  // to the top visible row
  EXPECT_EQ(g.Row(), g.TopRow());
}

TEST(GridKeys, HomeAndEndWithAndWithoutRowSelect) {
  Fixture f(8, 30);
  TestGrid& g = *f.grid;
  g.SetRow(5);
  f.Key(Qt::Key_End);
  EXPECT_EQ(g.Col(), 7);
  EXPECT_EQ(g.Row(), 5);
  f.Key(Qt::Key_Home);
  EXPECT_EQ(g.Col(), 1);
  f.Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(g.Col(), 7);
  EXPECT_EQ(g.Row(), 29);
  f.Key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(g.Col(), 1);
  EXPECT_EQ(g.Row(), 1);

  g.SetOptions(g.Options() + goRowSelect);
  g.SetRow(5);
  f.Key(Qt::Key_End);
  EXPECT_EQ(g.Row(), 29);
  EXPECT_EQ(g.Col(), 1);
  EXPECT_EQ(g.Selection(), (TGridRect{1, 29, 7, 29}));
  f.Key(Qt::Key_Home);
  EXPECT_EQ(g.Row(), 1);

  // With row selection Left and Right scroll the view instead of moving the cell.
  f.Key(Qt::Key_Right);
  EXPECT_EQ(g.LeftCol(), 2);
  EXPECT_EQ(g.Col(), 1);
  f.Key(Qt::Key_Left);
  f.Key(Qt::Key_Left);
  EXPECT_EQ(g.LeftCol(), 1);
}

TEST(GridKeys, TabWrapsAcrossRowsAndSkipsColumnsWithoutTabStop) {
  Fixture f(4, 3);
  TestGrid& g = *f.grid;
  f.Key(Qt::Key_Tab);  // without goTabs Tab leaves the grid
  EXPECT_EQ(g.Col(), 1);
  EXPECT_TRUE(f.other->hasFocus());

  g.SetOptions(g.Options() + goTabs);
  g.setFocus();
  g.SetTabStops(2, false);
  f.Key(Qt::Key_Tab);
  EXPECT_EQ(g.Col(), 3);
  f.Key(Qt::Key_Tab);  // past the last column: first scrollable column of the next row
  EXPECT_EQ(g.Col(), 1);
  EXPECT_EQ(g.Row(), 2);
  g.SetCol(3);
  f.Key(Qt::Key_Tab);  // past the last row: back to the first scrollable row
  EXPECT_EQ(g.Col(), 1);
  EXPECT_EQ(g.Row(), 1);
  f.Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(g.Col(), 3);
  EXPECT_EQ(g.Row(), 2);
  EXPECT_TRUE(g.hasFocus());
}

TEST(GridMouse, ClickSelectsShiftClickExtendsWheelMovesTheRow) {
  Fixture f(5, 30);
  TestGrid& g = *f.grid;
  int clicks = 0;
  g.OnClick = [&](QObject*) { ++clicks; };
  QTest::mouseClick(f.vp(), Qt::LeftButton, {}, Fixture::Cell(2, 3));
  EXPECT_EQ(g.Col(), 2);
  EXPECT_EQ(g.Row(), 3);
  EXPECT_EQ(clicks, 1);  // fired by the release
  QTest::mouseClick(f.vp(), Qt::LeftButton, Qt::ShiftModifier, Fixture::Cell(4, 5));
  EXPECT_EQ(g.Selection(), (TGridRect{2, 3, 4, 5}));

  // Dragging selects a range.
  QTest::mousePress(f.vp(), Qt::LeftButton, {}, Fixture::Cell(1, 1));
  QTest::mouseMove(f.vp(), Fixture::Cell(3, 2));
  QTest::mouseRelease(f.vp(), Qt::LeftButton, {}, Fixture::Cell(3, 2));
  EXPECT_EQ(g.Selection(), (TGridRect{1, 1, 3, 2}));

  auto wheel = [&](int delta) {
    QWheelEvent e(QPointF(100, 50), g.mapToGlobal(QPointF(100, 50)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f.vp(), &e);
  };
  g.SetRow(5);
  wheel(-120);
  EXPECT_EQ(g.Row(), 6);
  wheel(120);
  wheel(120);
  EXPECT_EQ(g.Row(), 4);
  wheel(-60);  // half a notch does nothing yet
  EXPECT_EQ(g.Row(), 4);
  wheel(-60);
  EXPECT_EQ(g.Row(), 5);
  g.SetRow(29);
  wheel(-120);
  EXPECT_EQ(g.Row(), 29);
}

TEST(GridMouse, ColumnAndRowSizingWithHiddenColumnsLeftAlone) {
  Fixture f(5, 5);
  TestGrid& g = *f.grid;
  const QPoint line1(65 + 64, 10);  // the line after column 1, in the fixed row
  QTest::mousePress(f.vp(), Qt::LeftButton, {}, line1);
  QTest::mouseMove(f.vp(), line1 + QPoint(20, 0));
  QTest::mouseRelease(f.vp(), Qt::LeftButton, {}, line1 + QPoint(20, 0));
  EXPECT_EQ(g.ColWidths(1), 64);  // sizing is off by default
  EXPECT_EQ(g.Col(), 1);

  g.SetOptions(g.Options() + goColSizing + goRowSizing);
  QTest::mousePress(f.vp(), Qt::LeftButton, {}, line1 + QPoint(2, 0));  // inside the catch band
  QTest::mouseMove(f.vp(), line1 + QPoint(22, 0));
  QTest::mouseRelease(f.vp(), Qt::LeftButton, {}, line1 + QPoint(22, 0));
  EXPECT_EQ(g.ColWidths(1), 84);
  QTest::mousePress(f.vp(), Qt::LeftButton, {}, QPoint(65 + 84 - 3, 10));  // band starts 3 before
  QTest::mouseRelease(f.vp(), Qt::LeftButton, {}, QPoint(0, 10));  // to 1 pixel or less: no change
  EXPECT_EQ(g.ColWidths(1), 84);

  const QPoint rowLine(10, 25 + 24);  // the line after row 1, in the fixed column
  QTest::mousePress(f.vp(), Qt::LeftButton, {}, rowLine);
  QTest::mouseMove(f.vp(), rowLine + QPoint(0, 10));
  QTest::mouseRelease(f.vp(), Qt::LeftButton, {}, rowLine + QPoint(0, 10));
  EXPECT_EQ(g.RowHeights(1), 34);

  // A hidden first column: its line is the first in the band and wins, but stays hidden.
  g.SetFixedCols(0);
  g.SetColWidths(0, -1);
  QTest::mousePress(f.vp(), Qt::LeftButton, {}, QPoint(1, 10));
  QTest::mouseMove(f.vp(), QPoint(40, 10));
  QTest::mouseRelease(f.vp(), Qt::LeftButton, {}, QPoint(40, 10));
  EXPECT_EQ(g.ColWidths(0), -1);
  EXPECT_EQ(g.ColWidths(1), 84);
}

TEST(GridMouse, DraggingAHeaderMovesTheColumnAndAFixedCellTheRow) {
  Fixture f(5, 5);
  TestGrid& g = *f.grid;
  for (int c = 0; c < 5; ++c) g.SetCells(c, 0, QString("H%1").arg(c));
  for (int r = 0; r < 5; ++r) g.SetCells(0, r, QString("R%1").arg(r));
  std::vector<std::pair<int, int>> moved;
  g.OnColumnMoved = [&](QObject*, int32_t a, int32_t b) { moved.push_back({a, b}); };
  g.OnRowMoved = [&](QObject*, int32_t a, int32_t b) { moved.push_back({a + 100, b + 100}); };
  g.SetOptions(g.Options() + goColMoving + goRowMoving);

  QTest::mousePress(f.vp(), Qt::LeftButton, {}, Fixture::Cell(1, 0));
  QTest::mouseMove(f.vp(), Fixture::Cell(2, 0));
  QTest::mouseMove(f.vp(), Fixture::Cell(3, 0));
  QTest::mouseRelease(f.vp(), Qt::LeftButton, {}, Fixture::Cell(3, 0));
  EXPECT_EQ(g.Rows(0)->ToStringList(), QStringList({"R0", "H2", "H3", "H1", "H4"}));

  QTest::mousePress(f.vp(), Qt::LeftButton, {}, Fixture::Cell(0, 4));
  QTest::mouseMove(f.vp(), Fixture::Cell(0, 2));
  QTest::mouseRelease(f.vp(), Qt::LeftButton, {}, Fixture::Cell(0, 2));
  EXPECT_EQ(g.Cols(0)->ToStringList(), QStringList({"R0", "R1", "R4", "R2", "R3"}));

  QTest::mouseClick(f.vp(), Qt::LeftButton, {}, Fixture::Cell(2, 0));  // press and release in place
  EXPECT_EQ(moved, (std::vector<std::pair<int, int>>{{1, 3}, {104, 102}}));
}

struct EditFixture : Fixture {
  EditFixture() : Fixture(4, 4) {
    grid->SetOptions(grid->Options() + goEditing);
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) grid->SetCells(c, r, QString("t%1%2").arg(c).arg(r));
  }
  TInplaceEdit* ed() const { return grid->InplaceEditor(); }
  bool Editing() const { return ed() != nullptr && ed()->isVisible(); }
};

TEST(GridEditor, F2TypingAndEnterEditTheCurrentCell) {
  EditFixture f;
  TestGrid& g = *f.grid;
  f.Key(Qt::Key_F2);
  ASSERT_TRUE(f.Editing());
  EXPECT_TRUE(f.ed()->hasFocus());
  EXPECT_EQ(f.ed()->text(), "t11");
  EXPECT_FALSE(f.ed()->hasSelectedText());  // caret at the end
  EXPECT_EQ(f.ed()->geometry(), QRect(65, 25, 64, 24));
  f.Key(Qt::Key_X);
  EXPECT_EQ(g.Cells(1, 1), "t11x");  // every change is written through
  f.Key(Qt::Key_Return);
  EXPECT_FALSE(f.Editing());
  EXPECT_FALSE(g.EditorMode());
  EXPECT_TRUE(g.hasFocus());

  f.Key(Qt::Key_Right);
  f.Key(Qt::Key_Q);  // a character typed on the grid opens the editor and replaces the text
  ASSERT_TRUE(f.Editing());
  EXPECT_EQ(f.ed()->text(), "q");
  EXPECT_EQ(g.Cells(2, 1), "q");
  f.Key(Qt::Key_Backspace);
  EXPECT_EQ(g.Cells(2, 1), "");

  g.SetCells(2, 1, "from code");  // a program write shows in the open editor
  EXPECT_EQ(f.ed()->text(), "from code");
  f.Key(Qt::Key_Return);
  f.Key(Qt::Key_Return);  // Enter on the grid opens it again
  EXPECT_TRUE(f.Editing());
  f.Key(Qt::Key_Return);  // and in the editor closes it
  EXPECT_FALSE(f.Editing());
}

TEST(GridEditor, NavigationKeysGoToTheGridAndFocusLossHidesTheEditor) {
  EditFixture f;
  TestGrid& g = *f.grid;
  std::vector<int> seen;
  g.OnKeyDown = [&](QObject*, int& key, TShiftState) { seen.push_back(key); };
  f.Key(Qt::Key_F2);
  f.Key(Qt::Key_Down);  // moves the cell and closes the editor
  EXPECT_EQ(g.Row(), 2);
  EXPECT_FALSE(f.Editing());
  EXPECT_TRUE(g.hasFocus());

  g.SetOptions(g.Options() + goTabs);
  f.Key(Qt::Key_F2);
  ASSERT_TRUE(f.ed()->hasFocus());
  f.Key(Qt::Key_Tab);
  EXPECT_EQ(g.Col(), 2);
  f.Key(Qt::Key_F2);
  f.Key(Qt::Key_Escape);  // to the grid's key handling, nothing typed
  EXPECT_TRUE(f.Editing());
  EXPECT_EQ(f.ed()->text(), "t22");
  f.Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(f.ed()->text(), "t22");
  EXPECT_EQ(seen, (std::vector<int>{Qt::Key_F2, Qt::Key_Down, Qt::Key_F2, Qt::Key_Tab, Qt::Key_F2, Qt::Key_Escape,
                                    Qt::Key_Control, Qt::Key_Delete}));

  f.other->setFocus();
  EXPECT_FALSE(f.Editing());
  EXPECT_TRUE(g.EditorMode());  // still requested: it comes back with the focus
  g.setFocus();
  EXPECT_TRUE(f.Editing());
}

TEST(GridEditor, KeyEventsMayChangeOrRefuseWhatIsTyped) {
  EditFixture f;
  TestGrid& g = *f.grid;
  f.Key(Qt::Key_F2);
  g.OnKeyDown = [](QObject*, int& key, TShiftState) {
    if (key == Qt::Key_Z) key = 0;  // swallowed before the editor sees it
  };
  g.OnKeyPress = [](QObject*, QChar& ch) {
    if (ch == QChar('a')) ch = QChar('A');
    if (ch == QChar('b')) ch = QChar();
  };
  f.Key(Qt::Key_Z);
  f.Key(Qt::Key_A);
  f.Key(Qt::Key_B);
  EXPECT_EQ(g.Cells(1, 1), "t11A");

  g.editModify = false;
  f.Key(Qt::Key_Backspace);
  f.Key(Qt::Key_Home);
  f.Key(Qt::Key_Delete);
  f.Key(Qt::Key_C);
  EXPECT_EQ(g.Cells(1, 1), "t11A");
}

TEST(GridEditor, ClickOnTheCurrentCellOpensTheEditorAndAnotherCellMoves) {
  EditFixture f;
  TestGrid& g = *f.grid;
  QTest::mouseClick(f.vp(), Qt::LeftButton, {}, Fixture::Cell(2, 2));
  EXPECT_EQ(g.Col(), 2);
  EXPECT_FALSE(f.Editing());
  QTest::mouseClick(f.vp(), Qt::LeftButton, {}, Fixture::Cell(2, 2));
  EXPECT_TRUE(f.Editing());
  EXPECT_EQ(f.ed()->text(), "t22");
  QTest::mouseClick(f.vp(), Qt::LeftButton, {}, Fixture::Cell(3, 3));
  EXPECT_FALSE(f.Editing());
  EXPECT_EQ(g.Row(), 3);
}

}  // namespace
