// Multi-row selection, keys, row drags, the wheel, row and column operations and filtering,
// driven through real Qt events where the user would act.
#include <gtest/gtest.h>

#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <cmath>

#include "common/Doubles.h"
#include "grid/GridTestUtil.h"
#include "grid/SortGridTestUtil.h"

namespace {

QPoint CellPoint(TSortGrid& grid, int32_t col, int32_t row) {
  const TRect r = grid.CellRect(col, row);
  return QPoint(r.Left + 5, r.Top + 5);
}

QStringList Rows(const TSortGrid& grid) { return grid.SelectedRows(); }

// A multi-select grid with a name per row, shown and focused.
void SetUpNames(TestSortGrid& grid, const QStringList& names) {
  std::vector<QStringList> rows{{"Nr.", "Name"}};
  for (int i = 0; i < names.size(); ++i) rows.push_back({QString::number(i + 1), names[i]});
  Fill(grid, rows);
  grid.resize(300, 400);
  ShowActive(grid);
  grid.setFocus();
}

void SendMove(QWidget* w, QPoint pos, Qt::MouseButtons buttons) {
  QMouseEvent move(QEvent::MouseMove, QPointF(pos), w->mapToGlobal(QPointF(pos)), Qt::NoButton, buttons,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(w, &move);
}

}  // namespace

TEST(SortGridSelection, CtrlClickAddsAndRemovesRows) {
  TestSortGrid grid;
  SetUpNames(grid, {"Anna", "Bert", "Carl", "Dora", "Emil"});
  grid.SetMultiSelect(true);
  EXPECT_TRUE(grid.Options().Contains(goRowSelect));
  int selectedEvents = 0;
  grid.OnRowSelected = [&selectedEvents](QObject*) { ++selectedEvents; };

  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, CellPoint(grid, 1, 2));
  EXPECT_EQ(Rows(grid), QStringList{"2"});
  QTest::keyPress(&grid, Qt::Key_Control, Qt::ControlModifier);
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier, CellPoint(grid, 1, 4));
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier, CellPoint(grid, 1, 5));
  EXPECT_EQ(Rows(grid), (QStringList{"2", "4", "5"}));
  EXPECT_EQ(grid.Row(), 5);
  // Removing one of several: the current row returns to the last row added before it.
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier, CellPoint(grid, 1, 5));
  EXPECT_EQ(Rows(grid), (QStringList{"2", "4"}));
  EXPECT_EQ(grid.Row(), 4);
  QTest::keyRelease(&grid, Qt::Key_Control, Qt::NoModifier);
  EXPECT_EQ(Rows(grid), (QStringList{"2", "4"}));

  // A plain click selects one row; a Ctrl-click on the only selected row keeps it.
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, CellPoint(grid, 1, 3));
  EXPECT_EQ(Rows(grid), QStringList{"3"});
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier, CellPoint(grid, 1, 3));
  EXPECT_EQ(Rows(grid), QStringList{"3"});
  EXPECT_GT(selectedEvents, 0);
}

TEST(SortGridSelection, ShiftClickSelectsFromAnchorTopToBottom) {
  TestSortGrid grid;
  SetUpNames(grid, {"Anna", "Bert", "Carl", "Dora", "Emil"});
  grid.SetMultiSelect(true);
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, CellPoint(grid, 1, 4));
  QTest::keyPress(&grid, Qt::Key_Shift, Qt::ShiftModifier);
  EXPECT_TRUE(grid.Options().Contains(goRangeSelect));
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ShiftModifier, CellPoint(grid, 1, 2));
  QTest::keyRelease(&grid, Qt::Key_Shift, Qt::NoModifier);
  EXPECT_EQ(Rows(grid), (QStringList{"2", "3", "4"}));
  EXPECT_TRUE(grid.IsRowSelected(3));
  EXPECT_FALSE(grid.IsRowSelected(5));

  // Every selected row is drawn highlighted, in every column.
  QImage image(grid.viewport()->size(), QImage::Format_RGB32);
  grid.viewport()->render(&image);
  for (int row : {2, 3, 4}) {
    const TRect r = grid.CellRect(1, row);
    EXPECT_EQ(QColor(image.pixel(r.Right - 3, r.Top + 2)), ToQColor(clHighlight)) << row;
  }
  const TRect r5 = grid.CellRect(1, 5);
  EXPECT_NE(QColor(image.pixel(r5.Right - 3, r5.Top + 2)), ToQColor(clHighlight));

  // Shift with the arrow keys, then the arrow released without Shift: the range again.
  QTest::keyClick(&grid, Qt::Key_Down);
  EXPECT_EQ(Rows(grid), QStringList{QString::number(grid.Row())});
}

TEST(SortGridSelection, QuickSearchWrapsAndIgnoresCase) {
  TestSortGrid grid;
  SetUpNames(grid, {"Anna", "Bert", "anton", "Berta", "Carl"});
  grid.SortOptions().SetSortCol(1);
  QString seen;
  grid.OnKeyPress = [&seen](QObject*, QChar& key) { seen += key; };
  grid.SetRow(2);
  QTest::keyClick(&grid, Qt::Key_B, Qt::NoModifier);
  EXPECT_EQ(grid.Row(), 4);
  QTest::keyClick(&grid, Qt::Key_B, Qt::NoModifier);
  EXPECT_EQ(grid.Row(), 2);  // wrapped to the top
  QTest::keyClick(&grid, Qt::Key_A, Qt::NoModifier);
  EXPECT_EQ(grid.Row(), 3);  // "anton": the comparison ignores case
  EXPECT_EQ(grid.Col(), 1);
  QTest::keyClick(&grid, Qt::Key_Z, Qt::NoModifier);
  EXPECT_EQ(grid.Row(), 3);  // no text starts with it
  EXPECT_EQ(seen, "BBAZ");   // the owner sees the upper-cased letter
  EXPECT_EQ(Rows(grid), QStringList{"3"});
}

TEST(SortGridSelection, ExtendedKeysInsertAndDeleteRowsAndColumns) {
  TestSortGrid grid;
  Fill(grid, {{"Nr.", "Name"}, {"1", "Anna"}});
  grid.SetExtendedKeys(true);
  std::vector<std::string> events;
  grid.OnRowInsert = [&events](QObject*, int32_t r) { events.push_back("+r" + std::to_string(r)); };
  grid.OnRowDelete = [&events](QObject*, int32_t r) { events.push_back("-r" + std::to_string(r)); };
  grid.OnColumnInsert = [&events](QObject*, int32_t c) { events.push_back("+c" + std::to_string(c)); };
  grid.OnColumnDelete = [&events](QObject*, int32_t c) { events.push_back("-c" + std::to_string(c)); };
  ShowActive(grid);
  grid.setFocus();

  // Header and one data row: Ctrl+Delete does nothing.
  QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.Cells(1, 1), "Anna");
  EXPECT_TRUE(events.empty());

  // Ctrl+Insert on the last row appends after it, on another row inserts before it.
  QTest::keyClick(&grid, Qt::Key_Insert, Qt::ControlModifier);
  EXPECT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(Column(grid, 1), (QStringList{"Anna", ""}));
  EXPECT_EQ(grid.Row(), 2);
  grid.SetCells(1, 2, "Bert");
  grid.SetRow(1);
  QTest::keyClick(&grid, Qt::Key_Insert, Qt::ControlModifier);
  EXPECT_EQ(Column(grid, 1), (QStringList{"", "Anna", "Bert"}));
  EXPECT_EQ(grid.Row(), 1);
  // The modifiers must be exact.
  QTest::keyClick(&grid, Qt::Key_Insert, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_EQ(grid.RowCount(), 4);

  QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(Column(grid, 1), (QStringList{"Anna", "Bert"}));
  EXPECT_TRUE(grid.Modified());

  QTest::keyClick(&grid, Qt::Key_Insert, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(grid.ColCount(), 3);
  EXPECT_EQ(grid.Cells(1, 0), "Nr.");
  EXPECT_EQ(grid.Cells(0, 0), "");
  QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(grid.ColCount(), 2);
  EXPECT_EQ(grid.Cells(0, 0), "Nr.");
  const std::vector<std::string> expected{"+r2", "+r1", "-r1", "+c0", "-c0"};
  EXPECT_EQ(events, expected);
}

TEST(SortGridSelection, RowFontsFollowMovedExchangedAndDeletedRows) {
  TestSortGrid grid;
  Fill(grid, {{"H"}, {"a"}, {"b"}, {"c"}, {"d"}});
  ASSERT_EQ(grid.RowFonts().Count(), 5);
  for (int32_t r = 0; r < 5; ++r) grid.RowFonts().Items(r).FontColor = static_cast<TColor>(r);
  grid.ExchangeRows(1, 3);
  EXPECT_EQ(Column(grid, 0), (QStringList{"c", "b", "a", "d"}));
  EXPECT_EQ(grid.RowFonts().Items(1).FontColor, 3u);
  EXPECT_EQ(grid.RowFonts().Items(3).FontColor, 1u);
  // Deleting a row drops exactly its entry, outside a bracket and inside one.
  grid.DeleteRow(2);
  EXPECT_EQ(Column(grid, 0), (QStringList{"c", "a", "d"}));
  ASSERT_EQ(grid.RowFonts().Count(), 4);
  EXPECT_EQ(grid.RowFonts().Items(2).FontColor, 1u);
  grid.BeginUpdate();
  grid.DeleteRow(1);
  grid.EndUpdate();
  ASSERT_EQ(grid.RowFonts().Count(), 3);
  EXPECT_EQ(grid.RowFonts().Items(1).FontColor, 1u);
  EXPECT_EQ(grid.RowFonts().Items(2).FontColor, 4u);
}

TEST(SortGridSelection, FilteringEverythingAwayAndBackKeepsEveryRow) {
  TestSortGrid grid;
  Fill(grid, {{"Nr.", "Name"}, {"3", "Carl"}, {"1", "Anna"}, {"2", "Bert"}});
  grid.SortOptions().SetSortCol(0);
  grid.SetModified(false);
  int endUpdates = 0;
  grid.OnEndUpdate = [&endUpdates](QObject*) { ++endUpdates; };

  grid.SetFiltered(true);  // no handler: nothing is accepted
  EXPECT_TRUE(grid.Filtered());
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_TRUE(grid.IsEmptyRow(1));
  EXPECT_EQ(grid.ParkedRowCount(), 3);
  for (const QString name : {"Anna", "Bert", "Carl"}) {
    const int32_t r = grid.FindRow(1, name, false);
    EXPECT_GT(r, 1) << name.toStdString();
    EXPECT_LE(r, 4);
  }
  EXPECT_FALSE(grid.Modified());
  EXPECT_GT(endUpdates, 0);

  grid.SetFiltered(false);
  EXPECT_EQ(grid.ParkedRowCount(), 0);
  EXPECT_EQ(Column(grid, 1), (QStringList{"Anna", "Bert", "Carl"}));  // sorted by column 0
  EXPECT_FALSE(grid.Modified());
}

TEST(SortGridSelection, FilteringAgainWhileOnBringsTheParkedRowsBackFirst) {
  TestSortGrid grid;
  Fill(grid, {{"Nr.", "Name"}, {"1", "Anna"}, {"2", "Bert"}, {"3", "Carl"}, {"4", "Dora"}, {"", ""}});
  grid.SortOptions().SetSortCol(0);
  bool even = true;
  grid.OnSetFilter = [&even](QStringList& cells, bool& accept) {
    const int n = cells[0].toInt();
    accept = n > 0 && (n % 2 == 0) == even;
  };
  grid.SetFiltered(true);
  EXPECT_EQ(Column(grid, 1), (QStringList{"Bert", "Dora"}));
  even = false;
  grid.SetFiltered(true);
  EXPECT_EQ(Column(grid, 1), (QStringList{"Anna", "Carl"}));
  EXPECT_EQ(grid.ParkedRowCount(), 3);
  grid.SetFiltered(false);
  // Every row once, the empty entry row included.
  EXPECT_EQ(Column(grid, 1), (QStringList{"", "Anna", "Bert", "Carl", "Dora"}));
}

TEST(SortGridSelection, DragStartsOnlyBeyondTenPixels) {
  TestSortGrid grid;
  SetUpNames(grid, {"Anna", "Bert", "Carl"});
  grid.SetMultiSelect(true);
  int drags = 0;
  grid.OnStartDrag = [&drags](QObject*) { ++drags; };
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, CellPoint(grid, 1, 2));
  const QPoint press = CellPoint(grid, 1, 2);
  QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, press);
  SendMove(grid.viewport(), press + QPoint(10, 0), Qt::LeftButton);
  SendMove(grid.viewport(), press + QPoint(0, -10), Qt::LeftButton);
  EXPECT_EQ(drags, 0);
  SendMove(grid.viewport(), press + QPoint(11, 0), Qt::LeftButton);
  EXPECT_EQ(drags, 1);
  SendMove(grid.viewport(), press + QPoint(30, 0), Qt::LeftButton);
  EXPECT_EQ(drags, 1);  // one drag per press
  QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, press + QPoint(30, 0));
  // A press on a row that is not selected starts no drag.
  QTest::mousePress(grid.viewport(), Qt::RightButton, {}, CellPoint(grid, 1, 3));
  SendMove(grid.viewport(), CellPoint(grid, 1, 3) + QPoint(0, 20), Qt::LeftButton);
  QTest::mouseRelease(grid.viewport(), Qt::RightButton, {}, CellPoint(grid, 1, 3));
  EXPECT_EQ(drags, 1);
}

TEST(SortGridSelection, WheelScrollsTwoRowsAndKeepsTheCurrentCell) {
  TestSortGrid grid;
  std::vector<QStringList> rows{{"Nr."}};
  for (int i = 1; i <= 40; ++i) rows.push_back({QString::number(i)});
  Fill(grid, rows);
  grid.resize(200, 240);
  ShowActive(grid);
  grid.SetRow(5);
  ASSERT_EQ(grid.TopRow(), 1);
  auto wheel = [&grid](int delta) {
    QWheelEvent e(QPointF(20, 60), grid.viewport()->mapToGlobal(QPointF(20, 60)), QPoint(), QPoint(0, delta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(grid.viewport(), &e);
  };
  wheel(-120);
  EXPECT_EQ(grid.TopRow(), 3);
  wheel(-120);
  EXPECT_EQ(grid.TopRow(), 5);
  wheel(120);
  EXPECT_EQ(grid.TopRow(), 3);
  EXPECT_EQ(grid.Row(), 5);
  for (int i = 0; i < 30; ++i) wheel(-120);
  EXPECT_EQ(grid.TopRow(), grid.RowCount() - grid.VisibleRowCount());  // the last page
  for (int i = 0; i < 30; ++i) wheel(120);
  EXPECT_EQ(grid.TopRow(), 1);
  EXPECT_EQ(grid.Row(), 5);
}

TEST(SortGridSelection, LastColumnStretchedUnlessHidden) {
  TestSortGrid grid;
  Fill(grid, {{"A", "B", "C"}, {"1", "2", "3"}});
  grid.resize(300, 120);
  ShowActive(grid);
  grid.resize(320, 120);
  QCoreApplication::processEvents();
  const int used = grid.ColWidths(0) + grid.ColWidths(1) + grid.ColWidths(2) + 3;
  EXPECT_EQ(used, grid.viewport()->width());

  grid.SetColWidths(2, -1);
  grid.resize(360, 120);
  QCoreApplication::processEvents();
  EXPECT_EQ(grid.ColWidths(2), -1);
}

TEST(SortGridSelection, PopupMenuOnRightReleaseBelowTheHeader) {
  TestSortGrid grid;
  SetUpNames(grid, {"Anna", "Bert"});
  QMenu menu;
  menu.addAction("Zeile entfernen");
  grid.SetPopupMenu(&menu);
  auto& modal = testing_doubles::Doubles().modal;
  modal.AnswerPopup("Zeile entfernen");
  QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, CellPoint(grid, 1, 2));
  EXPECT_EQ(modal.History().size(), 1u);
  // Over the header the right button sorts instead.
  QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, CellPoint(grid, 1, 0) + QPoint(10, 0));
  EXPECT_EQ(modal.History().size(), 1u);
  EXPECT_EQ(grid.SortOptions().SortDirection(), sdDescending);
}

TEST(SortGridSelection, ProportionalScrollBarThumb) {
  TestSortGrid grid;
  std::vector<QStringList> rows{{"Nr."}};
  for (int i = 1; i <= 30; ++i) rows.push_back({QString::number(i)});
  Fill(grid, rows);
  grid.resize(200, 200);
  ShowActive(grid);
  grid.SetProportionalScrollBars(true);
  QScrollBar* bar = grid.verticalScrollBar();
  const double positions = bar->maximum() - bar->minimum() + 1;
  const int expected = std::max(1, static_cast<int>(std::nearbyint((grid.VisibleRowCount() + 1) * positions / 31.0)));
  EXPECT_EQ(bar->pageStep(), expected);
  grid.SetRowCount(60);  // a size change keeps the thumb in proportion
  const double positions60 = bar->maximum() - bar->minimum() + 1;
  EXPECT_EQ(bar->pageStep(),
            std::max(1, static_cast<int>(std::nearbyint((grid.VisibleRowCount() + 1) * positions60 / 60.0))));
}
