#include "grid/SortGridAccessible.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <map>
#include <vector>

#include "grid/SortGrid.h"

namespace {

class GridTableAccessible;

// One cell; row -1 is the header. Reads the grid live, so it never shows stale text.
class GridCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
  GridCellAccessible(TSortGrid* grid, GridTableAccessible* table, int row, int column)
      : grid_(grid), table_(table), row_(row), column_(column) {}

  bool isValid() const override;
  QObject* object() const override { return nullptr; }
  QAccessibleInterface* parent() const override;
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QString text(QAccessible::Text t) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override;
  QAccessible::Role role() const override { return row_ < 0 ? QAccessible::ColumnHeader : QAccessible::Cell; }
  QAccessible::State state() const override;
  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TableCellInterface) return static_cast<QAccessibleTableCellInterface*>(this);
    return nullptr;
  }

  bool isSelected() const override;
  QList<QAccessibleInterface*> columnHeaderCells() const override;
  QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
  int columnIndex() const override { return column_; }
  int rowIndex() const override { return row_; }
  int columnExtent() const override { return 1; }
  int rowExtent() const override { return 1; }
  QAccessibleInterface* table() const override;

private:
  QPointer<TSortGrid> grid_;
  GridTableAccessible* table_;
  int row_;
  int column_;
};

class GridTableAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
  explicit GridTableAccessible(TSortGrid* grid) : QAccessibleWidget(grid, QAccessible::Table) {}
  ~GridTableAccessible() override {
    for (const auto& entry : cells_) QAccessible::deleteAccessibleInterface(entry.second);
  }

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }

  // Children: the header cells, then the data cells row by row.
  int childCount() const override { return (rowCount() + 1) * columnCount(); }
  QAccessibleInterface* child(int index) const override {
    const int columns = columnCount();
    if (columns == 0 || index < 0 || index >= childCount()) return nullptr;
    return Cell(index / columns - 1, index % columns);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (child == nullptr || (child->role() != QAccessible::Cell && child->role() != QAccessible::ColumnHeader))
      return -1;
    auto* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface();
    if (cell == nullptr || cell->table() != this) return -1;
    const int row = child->role() == QAccessible::ColumnHeader ? -1 : cell->rowIndex();
    return (row + 1) * columnCount() + cell->columnIndex();
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    const QPoint p = Grid()->viewport()->mapFromGlobal(QPoint(x, y));
    const std::vector<int> columns = VisibleColumns();
    for (int j = 0; j < static_cast<int>(columns.size()); ++j)
      for (int r = 0; r < Grid()->RowCount(); ++r)
        if (Grid()->CellRect(columns[static_cast<size_t>(j)], r).ToQRect().contains(p)) return Cell(r - 1, j);
    return nullptr;
  }

  // The table.
  QAccessibleInterface* caption() const override { return nullptr; }
  QAccessibleInterface* summary() const override { return nullptr; }
  QAccessibleInterface* cellAt(int row, int column) const override {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return nullptr;
    return Cell(row, column);
  }
  int columnCount() const override { return static_cast<int>(VisibleColumns().size()); }
  int rowCount() const override { return std::max(0, Grid()->RowCount() - 1); }
  QString columnDescription(int column) const override {
    const std::vector<int> columns = VisibleColumns();
    if (column < 0 || column >= static_cast<int>(columns.size())) return {};
    return Grid()->Cells(columns[static_cast<size_t>(column)], 0);
  }
  QString rowDescription(int) const override { return {}; }

  int selectedCellCount() const override { return selectedRowCount() * columnCount(); }
  int selectedColumnCount() const override { return 0; }
  int selectedRowCount() const override { return SelectedRow() >= 0 ? 1 : 0; }
  QList<QAccessibleInterface*> selectedCells() const override {
    QList<QAccessibleInterface*> cells;
    const int row = SelectedRow();
    if (row >= 0)
      for (int j = 0; j < columnCount(); ++j) cells << Cell(row, j);
    return cells;
  }
  QList<int> selectedColumns() const override { return {}; }
  QList<int> selectedRows() const override {
    const int row = SelectedRow();
    return row >= 0 ? QList<int>{row} : QList<int>{};
  }
  bool isColumnSelected(int) const override { return false; }
  bool isRowSelected(int row) const override { return row >= 0 && row == SelectedRow(); }
  // As a click on the row: the grid asks its owner, moves there and shows it.
  bool selectRow(int row) override {
    if (row < 0 || row >= rowCount() || !Grid()->isEnabled()) return false;
    Grid()->GoToCell(Grid()->Col(), row + 1, true);
    return Grid()->Row() == row + 1;
  }
  bool selectColumn(int) override { return false; }
  bool unselectRow(int) override { return false; }
  bool unselectColumn(int) override { return false; }
  void modelChange(QAccessibleTableModelChangeEvent*) override {}

  TSortGrid* Grid() const { return static_cast<TSortGrid*>(widget()); }

  // The grid columns shown, in order: a hidden column has width -1.
  std::vector<int> VisibleColumns() const {
    std::vector<int> columns;
    for (int c = 0; c < Grid()->ColCount(); ++c)
      if (Grid()->ColWidths(c) >= 0) columns.push_back(c);
    return columns;
  }
  int GridColumn(int column) const {
    const std::vector<int> columns = VisibleColumns();
    return column >= 0 && column < static_cast<int>(columns.size()) ? columns[static_cast<size_t>(column)] : -1;
  }
  int SelectedRow() const { return Grid()->Row() >= 1 ? Grid()->Row() - 1 : -1; }

private:
  // Cells are made once per place and live as long as the table, as the bus expects of ids.
  QAccessibleInterface* Cell(int row, int column) const {
    const auto key = std::make_pair(row, column);
    auto it = cells_.find(key);
    if (it == cells_.end()) {
      auto* cell = new GridCellAccessible(Grid(), const_cast<GridTableAccessible*>(this), row, column);
      it = cells_.emplace(key, QAccessible::registerAccessibleInterface(cell)).first;
    }
    return QAccessible::accessibleInterface(it->second);
  }

  mutable std::map<std::pair<int, int>, QAccessible::Id> cells_;
};

bool GridCellAccessible::isValid() const {
  return grid_ != nullptr && row_ < table_->rowCount() && table_->GridColumn(column_) >= 0;
}

QAccessibleInterface* GridCellAccessible::parent() const { return table_; }

QAccessibleInterface* GridCellAccessible::table() const { return table_; }

QString GridCellAccessible::text(QAccessible::Text t) const {
  if (!isValid() || (t != QAccessible::Name && t != QAccessible::Value)) return {};
  return grid_->Cells(table_->GridColumn(column_), row_ + 1);
}

QRect GridCellAccessible::rect() const {
  if (!isValid()) return {};
  const QRect r = grid_->CellRect(table_->GridColumn(column_), row_ + 1).ToQRect();
  if (r.isEmpty()) return {};
  return QRect(grid_->viewport()->mapToGlobal(r.topLeft()), r.size());
}

QAccessible::State GridCellAccessible::state() const {
  QAccessible::State s;
  if (!isValid()) {
    s.invalid = true;
    return s;
  }
  if (row_ >= 0) {
    s.selectable = true;
    s.selected = isSelected();
  }
  s.invisible = grid_->CellRect(table_->GridColumn(column_), row_ + 1).IsEmpty();
  return s;
}

bool GridCellAccessible::isSelected() const { return row_ >= 0 && table_->isRowSelected(row_); }

QList<QAccessibleInterface*> GridCellAccessible::columnHeaderCells() const {
  if (row_ < 0) return {};
  return {table_->child(column_)};
}

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className == QLatin1String("TSortGrid") && object != nullptr && object->isWidgetType())
    return new GridTableAccessible(static_cast<TSortGrid*>(object));
  return nullptr;
}

}  // namespace

void EnsureSortGridAccessible() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}
