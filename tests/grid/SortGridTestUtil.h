#pragma once
// A sort grid with its protected steps reachable, and helpers to fill and read it.
#include <QStringList>
#include <vector>

#include "grid/SortCompare.h"
#include "grid/SortGrid.h"

class TestSortGrid : public TSortGrid {
public:
  explicit TestSortGrid(QWidget* parent = nullptr) : TSortGrid(parent) {}
  using TSortGrid::AddToSelection;
  using TSortGrid::SelectRowAlone;
  using TSortGrid::SetModified;
};

// Sets the grid to these rows (header first) outside any bracket, so the size step runs.
inline void Fill(TSortGrid& grid, const std::vector<QStringList>& rows) {
  grid.SetColCount(static_cast<int32_t>(rows.front().size()));
  grid.SetRowCount(static_cast<int32_t>(rows.size()));
  for (size_t r = 0; r < rows.size(); ++r)
    for (qsizetype c = 0; c < rows[r].size(); ++c)
      grid.SetCells(static_cast<int32_t>(c), static_cast<int32_t>(r), rows[r][c]);
}

// The texts of one column, rows 1 and down.
inline QStringList Column(const TSortGrid& grid, int32_t col) {
  QStringList out;
  for (int32_t r = 1; r < grid.RowCount(); ++r) out << grid.Cells(col, r);
  return out;
}

// The time comparison the protocol uses: a longer duration text is a longer time.
inline int32_t LengthFirst(const QString& a, const QString& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return ComparePlain(a, b);
}
