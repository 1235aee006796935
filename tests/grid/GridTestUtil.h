#pragma once
// A string grid with its hooks observable, and helpers to drive it with real Qt events.
#include <QApplication>
#include <QTest>
#include <vector>

#include "grid/MyGrids.h"

class TestGrid : public TMyStringGrid {
public:
  explicit TestGrid(QWidget* parent = nullptr) : TMyStringGrid(parent) {}

  using TMyCustomGrid::CellRect;
  using TMyCustomGrid::DeleteRow;
  using TMyCustomGrid::MoveColRow;

  struct SizeCall {
    int32_t oldCols, oldRows;
  };
  std::vector<SizeCall> sizeCalls;
  int selectCellCalls = 0;
  bool editModify = true;

protected:
  void SizeChanged(int32_t OldColCount, int32_t OldRowCount) override {
    sizeCalls.push_back({OldColCount, OldRowCount});
    TMyStringGrid::SizeChanged(OldColCount, OldRowCount);
  }
  bool SelectCell(int32_t ACol, int32_t ARow) override {
    ++selectCellCalls;
    return TMyStringGrid::SelectCell(ACol, ARow);
  }
  bool CanEditModify() override { return editModify; }
};

// Shows the grid in an active window so it can hold the keyboard focus.
inline void ShowActive(QWidget& w) {
  w.show();
  QApplication::setActiveWindow(&w);
  w.activateWindow();
  (void)QTest::qWaitForWindowActive(&w);
}
