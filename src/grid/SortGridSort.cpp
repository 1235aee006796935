// The sort engine: multi-key stable sort of the data rows, style detection, row search.
#include <algorithm>
#include <numeric>

#include "grid/CommaList.h"
#include "grid/SortCompare.h"
#include "grid/SortGrid.h"
#include "platform/LocaleFormats.h"

namespace {

int Sign(int32_t v) { return (v > 0) - (v < 0); }

}  // namespace

int CompareEntries(const TSortedListEntry& E1, const TSortedListEntry& E2) {
  const TSortOptions& options = *E1.Options;
  int result = 0;
  switch (options.SortStyle()) {
    case ssAutomatic:
    case ssNormal: result = ComparePlain(E1.Text, E2.Text); break;
    case ssNumeric: result = CompareNumeric(E1.Text, E2.Text); break;
    case ssNumericExtended: result = CompareNumericExtended(E1.Text, E2.Text); break;
    case ssDateTime: result = CompareDateTime(E1.Text, E2.Text); break;
    case ssTime: result = CompareTime(E1.Text, E2.Text); break;
    case ssCustom:
      // Without a comparison the column still gets a consistent order: the plain one.
      // The sign alone, so that reversing the direction cannot overflow.
      result = options.CustomCompare ? Sign(options.CustomCompare(E1.Text, E2.Text)) : ComparePlain(E1.Text, E2.Text);
      break;
  }
  if (result == 0) return E1.RowIndex < E2.RowIndex ? -1 : (E1.RowIndex > E2.RowIndex ? 1 : 0);
  return options.SortDirection() == sdDescending ? -result : result;
}

void TSortGrid::SortByColumn(int32_t ACol) {
  if (!FSortOptions.CanSort()) return;
  // A sort started from the sort's own callbacks would pull its entries from under it.
  if (FSorting) return;
  FSortOptions.SetSortCol(ACol);
  FSorting = true;
  TGridUpdateGuard bracket(*this);
  // Runs before the bracket closes, so OnEndUpdate sees a finished sort.
  struct TFinish {
    TSortGrid& Grid;
    ~TFinish() {
      Grid.FSorting = false;
      Grid.FSortOptions.CustomCompare = nullptr;
    }
  } finish{*this};

  const QStringList oldSelection = FSelectedRows;

  // Key 0 is the primary column, then the secondary columns as written. Items that are no
  // column number, and columns the grid does not have, are left out.
  QStringList items = ReadCommaList(FSortOptions.SecondaryIndex());
  const QString primary = QString::number(ACol);
  items.removeOne(primary);
  items.prepend(primary);
  std::vector<int32_t> keys;
  if (ACol >= 0 && ACol < ColCount()) {
    for (const QString& item : std::as_const(items)) {
      int32_t col = 0;
      if (TryStrToInt(item, col) && col >= 0 && col < ColCount()) keys.push_back(col);
    }
  }

  // The working copy is a permutation of the grid's rows: order[p] is the original row at
  // working position p; where[r] is the grid position that original row r holds now.
  const int32_t n = RowCount();
  std::vector<int32_t> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::vector<int32_t> where = order;
  std::vector<int32_t> next(order.size());
  TSortStyle passStyle = ssAutomatic;

  for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
    const int32_t col = *key;
    FSortedList.clear();
    FSortEntries.clear();
    FSortEntries.reserve(static_cast<size_t>(std::max(0, n - 1)));
    for (int32_t p = 1; p < n; ++p)
      FSortEntries.push_back({Cells(col, where[static_cast<size_t>(order[static_cast<size_t>(p)])]), p, &FSortOptions});
    for (TSortedListEntry& entry : FSortEntries) FSortedList.push_back(&entry);

    if (OnGetSortStyle) {
      OnGetSortStyle(this, col, passStyle);
      FSortOptions.SetSortStyle(passStyle);
    } else if (FSortOptions.SortStyle() == ssAutomatic) {
      FSortOptions.SetSortStyle(DetectSortStyle(col));
    }
    if (!FSortOptions.SortCaseSensitive())
      for (auto& entry : FSortedList) entry->Text = LowerAscii(entry->Text);

    std::stable_sort(FSortedList.begin(), FSortedList.end(),
                     [](const TSortedListEntry* a, const TSortedListEntry* b) { return CompareEntries(*a, *b) < 0; });

    next[0] = 0;
    for (size_t i = 0; i < FSortedList.size(); ++i)
      next[i + 1] = order[static_cast<size_t>(FSortedList[i]->RowIndex)];
    order.swap(next);

    if (col == ACol) {
      WriteBackRows(order, where);
      SelectMovedRows(oldSelection, order);
    }
  }
}

void TSortGrid::WriteBackRows(const std::vector<int32_t>& order, std::vector<int32_t>& where) {
  // Whole rows move: texts and objects of every cell go with the row list that holds them.
  // Row heights and row fonts stay with the position.
  TSparseList& data = RowData();
  const size_t n = order.size();
  std::vector<void*> now(n, nullptr);
  for (size_t pos = 1; pos < n; ++pos) now[pos] = data.Get(static_cast<int32_t>(pos));
  for (size_t i = 1; i < n; ++i) data.Put(static_cast<int32_t>(i), now[static_cast<size_t>(where[static_cast<size_t>(order[i])])]);
  for (size_t i = 1; i < n; ++i) where[static_cast<size_t>(order[i])] = static_cast<int32_t>(i);
  ReloadEditor(Col(), Row());
  InvalidateGrid();
}

void TSortGrid::SelectMovedRows(const QStringList& oldSelection, const std::vector<int32_t>& order) {
  std::vector<bool> selected(order.size(), false);
  bool any = false;
  for (const QString& text : oldSelection) {
    int32_t r = 0;
    if (TryStrToInt(text, r) && r > 0 && r < static_cast<int32_t>(order.size())) {
      selected[static_cast<size_t>(r)] = true;
      any = true;
    }
  }
  if (!any) return;
  bool first = true;
  for (size_t i = 1; i < order.size(); ++i) {
    if (!selected[static_cast<size_t>(order[i])]) continue;
    const QString row = QString::number(i);
    if (first) {
      first = false;
      SetRow(static_cast<int32_t>(i));
      FSelectedRows.clear();
      FSelectionTrail.clear();
    }
    FSelectedRows << row;
    FSelectionTrail << row;
  }
}

TSortStyle TSortGrid::DetectSortStyle(int32_t ACol) const {
  bool numeric = true;
  bool dateTime = true;
  bool time = true;
  for (int32_t r = 1; r < RowCount() && (numeric || dateTime || time); ++r) {
    const QString text = Cells(ACol, r);
    if (numeric && !platform::StrToFloat(text)) numeric = false;
    if (time && !platform::StrToTime(text)) time = false;
    if (dateTime && !platform::StrToDateTime(text)) dateTime = false;
  }
  if (numeric) return ssNumeric;
  if (dateTime) return ssDateTime;
  if (time) return ssTime;
  return ssNormal;
}

int32_t TSortGrid::FindRow(int32_t ACol, const QString& Text, bool IgnoreCase) const {
  if (ACol < 0) return -1;
  const QString wanted = IgnoreCase ? LowerAscii(Text) : Text;
  const int32_t last = RowCount() - 1 + FParkedRowCount;
  for (int32_t r = 1; r <= last; ++r) {
    const QString cell = Cells(ACol, r);
    if ((IgnoreCase ? LowerAscii(cell) : cell) == wanted) return r;
  }
  return -1;
}
