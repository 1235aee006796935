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

int CompareSortTexts(TSortStyle Style, const TCustomCompare& Custom, const QString& Text1, const QString& Text2) {
  switch (Style) {
    case ssAutomatic:
    case ssNormal: return ComparePlain(Text1, Text2);
    case ssNumeric: return CompareNumeric(Text1, Text2);
    case ssNumericExtended: return CompareNumericExtended(Text1, Text2);
    case ssDateTime: return CompareDateTime(Text1, Text2);
    case ssTime: return CompareTime(Text1, Text2);
    case ssCustom:
      // Without a comparison the column still gets a consistent order: the plain one.
      // The sign alone, so that reversing the direction cannot overflow.
      return Custom ? Sign(Custom(Text1, Text2)) : ComparePlain(Text1, Text2);
  }
  return 0;
}

int CompareEntries(const TSortedListEntry& E1, const TSortedListEntry& E2) {
  const TSortOptions& options = *E1.Options;
  const int result = CompareSortTexts(options.SortStyle(), options.CustomCompare, E1.Text, E2.Text);
  if (result == 0) return E1.RowIndex < E2.RowIndex ? -1 : (E1.RowIndex > E2.RowIndex ? 1 : 0);
  return options.SortDirection() == sdDescending ? -result : result;
}

TSortKeys TSortGrid::SortKeysFor(int32_t ACol) {
  TSortKeys result;
  result.CaseSensitive = FSortOptions.SortCaseSensitive();
  for (int32_t col : KeyColumns(ACol)) result.Keys.push_back({col, ssAutomatic, {}});
  // The styles are asked last key first, as a sort asks them; a handler that leaves a style
  // or comparison alone leaves the one of the key before.
  TSortStyle passStyle = ssAutomatic;
  for (auto key = result.Keys.rbegin(); key != result.Keys.rend(); ++key) {
    if (OnGetSortStyle) {
      OnGetSortStyle(this, key->Col, passStyle);
      FSortOptions.SetSortStyle(passStyle);
    } else if (FSortOptions.SortStyle() == ssAutomatic) {
      FSortOptions.SetSortStyle(DetectSortStyle(key->Col));
    }
    key->Style = FSortOptions.SortStyle();
    key->Custom = FSortOptions.CustomCompare;
  }
  FSortOptions.CustomCompare = nullptr;
  return result;
}

int TSortGrid::CompareRows(const TSortKeys& Keys, int32_t Row1, int32_t Row2) const {
  for (const TSortKeys::TKey& key : Keys.Keys) {
    QString a = Cells(key.Col, Row1), b = Cells(key.Col, Row2);
    if (!Keys.CaseSensitive) {
      a = LowerAscii(a);
      b = LowerAscii(b);
    }
    if (const int result = CompareSortTexts(key.Style, key.Custom, a, b)) return result;
  }
  return 0;
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
  const std::vector<int32_t> keys = KeyColumns(ACol);
  // Whatever it leaves, the rows are no longer where a reader last saw them sorted.
  RowData().NoteRearranged();

  // The working copy is a permutation of the grid's rows: order[p] is the original row at
  // working position p; where[r] is the grid position that original row r holds now.
  const int32_t n = RowCount();
  std::vector<int32_t> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::vector<int32_t> where = order;
  std::vector<int32_t> next(order.size());

  // The styles of the keys, asked last key first as the passes have always asked them; a
  // handler that leaves a style or comparison alone leaves the one of the key before.
  std::vector<TSortKeys::TKey> styles(keys.size());
  std::vector<bool> fold(keys.size());
  TSortStyle passStyle = ssAutomatic;
  bool oneSort = keys.size() > 1;
  for (size_t k = keys.size(); k-- > 0;) {
    if (OnGetSortStyle) {
      OnGetSortStyle(this, keys[k], passStyle);
      FSortOptions.SetSortStyle(passStyle);
    } else if (FSortOptions.SortStyle() == ssAutomatic) {
      FSortOptions.SetSortStyle(DetectSortStyle(keys[k]));
    }
    styles[k] = {keys[k], FSortOptions.SortStyle(), FSortOptions.CustomCompare};
    fold[k] = !FSortOptions.SortCaseSensitive();
    // Plain texts and the owner's comparison are orders; the number, date and time styles
    // fall back on the plain order for texts they cannot read, and keep their passes.
    const TSortStyle style = styles[k].Style;
    if (style != ssNormal && style != ssAutomatic && style != ssCustom) oneSort = false;
    for (size_t other = k + 1; other < keys.size(); ++other)
      if (keys[other] == keys[k]) oneSort = false;
  }

  // Every key's texts are read once, row by row in the order the rows are stored, and not
  // copied. Read pass by pass in the working order and copied, they were fetched from all over
  // the rows' storage, which cost more than the sorting itself. Plain texts are compared with
  // their letter case folded on the way; a text for another comparison is lowered only when it
  // has a capital letter.
  static const QString kEmpty;
  std::vector<std::vector<const QString*>> texts(keys.size(), std::vector<const QString*>(static_cast<size_t>(n), &kEmpty));
  for (int32_t r = 1; r < n; ++r) {
    const auto* list = static_cast<const TStringSparseList*>(RowData().Get(r));
    if (list == nullptr) continue;
    for (size_t k = 0; k < keys.size(); ++k)
      if (const QString* text = list->Text(keys[k])) texts[k][static_cast<size_t>(r)] = text;
  }
  auto hasUpper = [](const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c >= u'A' && c <= u'Z'; });
  };
  const bool descending = FSortOptions.SortDirection() == sdDescending;

  auto compareTexts = [&](size_t k, const QString& x, const QString& y) {
    const TSortKeys::TKey& key = styles[k];
    if (!fold[k]) return CompareSortTexts(key.Style, key.Custom, x, y);
    if (key.Style == ssNormal || key.Style == ssAutomatic) return ComparePlainFolded(x, y);
    if (!hasUpper(x) && !hasUpper(y)) return CompareSortTexts(key.Style, key.Custom, x, y);
    return CompareSortTexts(key.Style, key.Custom, LowerAscii(x), LowerAscii(y));
  };

  // The entries of a pass: its key's texts and the working positions. Where the primary key
  // comes twice, rows are written back (and the selection handler runs) before the last pass:
  // its texts are then read from the grid again.
  const bool writesBetween = std::count(keys.begin(), keys.end(), ACol) > 1;
  bool written = false;
  auto fillEntries = [&](size_t k) {
    FSortedList.clear();
    FSortEntries.clear();
    FSortEntries.reserve(static_cast<size_t>(std::max(0, n - 1)));
    for (int32_t p = 1; p < n; ++p) {
      const size_t row = static_cast<size_t>(order[static_cast<size_t>(p)]);
      FSortEntries.push_back({written ? Cells(keys[k], where[row]) : *texts[k][row], p, &FSortOptions});
    }
    for (TSortedListEntry& entry : FSortEntries) FSortedList.push_back(&entry);
  };
  auto takeOrder = [&] {
    next[0] = 0;
    for (size_t i = 0; i < FSortedList.size(); ++i) next[i + 1] = order[static_cast<size_t>(FSortedList[i]->RowIndex)];
    order.swap(next);
  };

  if (oneSort) {
    // Stable passes by orders, last key first, leave the rows ordered by all keys at once and
    // then by their order before: one sort does that.
    // The working order is still the grid's, so an entry's position is its row.
    fillEntries(0);
    std::stable_sort(FSortedList.begin(), FSortedList.end(), [&](const TSortedListEntry* a, const TSortedListEntry* b) {
      int result = compareTexts(0, a->Text, b->Text);
      for (size_t k = 1; result == 0 && k < keys.size(); ++k)
        result = compareTexts(k, *texts[k][static_cast<size_t>(a->RowIndex)], *texts[k][static_cast<size_t>(b->RowIndex)]);
      if (result == 0) return a->RowIndex < b->RowIndex;
      return descending ? result > 0 : result < 0;
    });
    takeOrder();
    WriteBackRows(order, where);
    SelectMovedRows(oldSelection, order);
    return;
  }

  for (size_t k = keys.size(); k-- > 0;) {
    fillEntries(k);
    FSortOptions.SetSortStyle(styles[k].Style);
    std::stable_sort(FSortedList.begin(), FSortedList.end(), [&, k](const TSortedListEntry* a, const TSortedListEntry* b) {
      const int result = compareTexts(k, a->Text, b->Text);
      if (result == 0) return a->RowIndex < b->RowIndex;
      return descending ? result > 0 : result < 0;
    });
    takeOrder();
    if (keys[k] == ACol) {
      WriteBackRows(order, where);
      SelectMovedRows(oldSelection, order);
      written = writesBetween;
    }
  }
}


std::vector<int32_t> TSortGrid::KeyColumns(int32_t ACol) const {
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
  return keys;
}

int TSortGrid::CompareCell(const TSortKeys& Keys, size_t Key, int32_t Row, const QString& Text) const {
  const TSortKeys::TKey& key = Keys.Keys.at(Key);
  const QString cell = Cells(key.Col, Row);
  return CompareSortTexts(key.Style, key.Custom, Keys.CaseSensitive ? cell : LowerAscii(cell), Text);
}

void TSortGrid::ArrangeRowRange(int32_t First, const std::vector<int32_t>& Order) {
  if (Order.empty()) return;
  TGridUpdateGuard bracket(*this);
  TSparseList& data = RowData();
  std::vector<void*> lists(Order.size());
  for (size_t i = 0; i < Order.size(); ++i) lists[i] = data.Get(Order[i]);
  for (size_t i = 0; i < Order.size(); ++i) data.Put(First + static_cast<int32_t>(i), lists[i]);
  // The selected rows follow their lines, as SelectMovedRows has them follow after a sort.
  const int32_t last = First + static_cast<int32_t>(Order.size()) - 1;
  std::vector<int32_t> selected;
  for (const QString& text : std::as_const(FSelectedRows)) {
    int32_t r = 0;
    if (!TryStrToInt(text, r) || r <= 0 || r >= RowCount()) continue;
    if (r >= First && r <= last) {
      for (size_t i = 0; i < Order.size(); ++i)
        if (Order[i] == r) r = First + static_cast<int32_t>(i);
    }
    selected.push_back(r);
  }
  std::sort(selected.begin(), selected.end());
  selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
  if (!selected.empty()) {
    SetRow(selected.front());
    FSelectedRows.clear();
    FSelectionTrail.clear();
    for (int32_t r : selected) {
      FSelectedRows << QString::number(r);
      FSelectionTrail << QString::number(r);
    }
  }
  ReloadEditor(Col(), Row());
  InvalidateGrid();
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
