// Sparse cell storage: the two-level pointer table, the pointer list over it, and the list of
// (text, object) pairs that holds one grid row.
#include <algorithm>
#include <utility>

#include "grid/MyGrids.h"

// ---------------------------------------------------------------------------------------------
// TSparsePointerArray

TSparsePointerArray::TSparsePointerArray(TSPAQuantum quantum)
    : FSlotMask(quantum == SPASmall ? 15u : 255u), FSectionShift(quantum == SPASmall ? 4u : 8u) {}

TSparsePointerArray::~TSparsePointerArray() { Clear(); }

void TSparsePointerArray::Clear() {
  for (void** section : FDirectory) delete[] section;
  FDirectory.clear();
  FHighBound = -1;
  FCacheIndex = -1;
  FCacheValue = nullptr;
}

void* TSparsePointerArray::Get(int32_t index) const {
  if (index == FCacheIndex) return FCacheValue;
  void* value = nullptr;
  const uint32_t section = static_cast<uint32_t>(index) >> FSectionShift;
  if (section < FDirectory.size() && FDirectory[section] != nullptr)
    value = FDirectory[section][static_cast<uint32_t>(index) & FSlotMask];
  FCacheIndex = index;
  FCacheValue = value;
  return value;
}

void TSparsePointerArray::Put(int32_t index, void* value) {
  FCacheIndex = -1;
  const uint32_t section = static_cast<uint32_t>(index) >> FSectionShift;
  if (section >= FDirectory.size() || FDirectory[section] == nullptr) {
    if (value == nullptr) return;  // clearing nothing allocates nothing
    if (section >= FDirectory.size()) FDirectory.resize(section + 1, nullptr);
    FDirectory[section] = new void*[FSlotMask + 1]();
  }
  FDirectory[section][static_cast<uint32_t>(index) & FSlotMask] = value;
  if (value != nullptr) {
    if (index > FHighBound) FHighBound = index;
  } else if (index == FHighBound) {
    LowerHighBound();
  }
}

void TSparsePointerArray::LowerHighBound() {
  int32_t i = FHighBound - 1;
  while (i >= 0) {
    const uint32_t section = static_cast<uint32_t>(i) >> FSectionShift;
    void** block = FDirectory[section];
    if (block == nullptr) {  // skip a whole missing section
      i = static_cast<int32_t>(section << FSectionShift) - 1;
      continue;
    }
    if (block[static_cast<uint32_t>(i) & FSlotMask] != nullptr) break;
    --i;
  }
  FHighBound = i;
}

int32_t TSparsePointerArray::SectionCount() const {
  return static_cast<int32_t>(
      std::count_if(FDirectory.begin(), FDirectory.end(), [](void** s) { return s != nullptr; }));
}

void TSparsePointerArray::ForAll(const std::function<void(int32_t, void*)>& f, int32_t from) const {
  if (FHighBound < 0 || from > FHighBound) return;
  from = std::max(from, 0);
  const uint32_t last = static_cast<uint32_t>(FHighBound) >> FSectionShift;
  for (uint32_t section = static_cast<uint32_t>(from) >> FSectionShift; section <= last; ++section) {
    void** block = FDirectory[section];
    if (block == nullptr) continue;
    for (uint32_t slot = 0; slot <= FSlotMask; ++slot) {
      const int32_t index = static_cast<int32_t>((section << FSectionShift) | slot);
      if (index >= from && block[slot] != nullptr) f(index, block[slot]);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TSparseList

TSparseList::TSparseList(TSPAQuantum quantum) : FList(quantum) {}

void TSparseList::CheckIndex(int32_t index) {
  if (index < 0)
    throw EInvalidOperation(QString("List index out of bounds (%1)").arg(index).toStdString());
}

void* TSparseList::Get(int32_t index) const {
  CheckIndex(index);
  return FList.Get(index);
}

void TSparseList::Put(int32_t index, void* value) {
  CheckIndex(index);
  const void* old = FList.Get(index);
  if (old != nullptr && old != value) ++FRearrangements;
  FList.Put(index, value);
  FCount = FList.HighBound() + 1;
}

void TSparseList::Insert(int32_t index, void* value) {
  CheckIndex(index);
  ++FRearrangements;
  if (index < FCount) {
    // Shift only the stored entries, from the top down, so nothing is overwritten.
    std::vector<std::pair<int32_t, void*>> moved;
    FList.ForAll([&](int32_t i, void* v) { moved.emplace_back(i, v); }, index);
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
      FList.Put(it->first + 1, it->second);
      FList.Put(it->first, nullptr);
    }
  }
  FList.Put(index, value);
  FCount = std::max(FCount, index) + 1;
}

void TSparseList::Delete(int32_t index) {
  CheckIndex(index);
  if (index >= FCount) return;
  ++FRearrangements;
  std::vector<std::pair<int32_t, void*>> moved;
  FList.ForAll([&](int32_t i, void* v) { moved.emplace_back(i, v); }, index + 1);
  FList.Put(index, nullptr);
  for (const auto& [i, v] : moved) {
    FList.Put(i - 1, v);
    FList.Put(i, nullptr);
  }
  --FCount;
}

void TSparseList::Exchange(int32_t index1, int32_t index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  void* v1 = FList.Get(index1);
  void* v2 = FList.Get(index2);
  if (v1 != v2) ++FRearrangements;
  FList.Put(index1, v2);
  FList.Put(index2, v1);
  FCount = std::max(FCount, FList.HighBound() + 1);
}

void TSparseList::Move(int32_t curIndex, int32_t newIndex) {
  CheckIndex(curIndex);
  CheckIndex(newIndex);
  if (curIndex == newIndex) return;
  void* value = FList.Get(curIndex);
  if (curIndex < FCount && newIndex < FCount) {
    // Within the list only the entries between the two places shift, and the count stays:
    // what a delete and an insert leave, without walking every entry behind them.
    ++FRearrangements;
    const int32_t step = curIndex < newIndex ? 1 : -1;
    for (int32_t i = curIndex; i != newIndex; i += step) FList.Put(i, FList.Get(i + step));
    FList.Put(newIndex, value);
    return;
  }
  Delete(curIndex);
  Insert(newIndex, value);
}

void TSparseList::Clear() {
  ++FRearrangements;
  FList.Clear();
  FCount = 0;
}

// ---------------------------------------------------------------------------------------------
// TStringSparseList

TStringSparseList::TStringSparseList(TSPAQuantum quantum) : FList(quantum) {}

TStringSparseList::~TStringSparseList() { Clear(); }

QString TStringSparseList::Get(int32_t index) const {
  const TStrItem* item = Item(index);
  return item != nullptr ? item->Text : QString();
}

void* TStringSparseList::GetObject(int32_t index) const {
  const TStrItem* item = Item(index);
  return item != nullptr ? item->Object : nullptr;
}

void TStringSparseList::Store(int32_t index, const QString& text, void* object) {
  TStrItem* item = Item(index);
  if (text.isEmpty() && object == nullptr) {
    // An empty cell is not kept, so the row's high bound falls with it.
    if (item != nullptr) {
      FList.Put(index, nullptr);
      delete item;
    }
    return;
  }
  if (item == nullptr) {
    auto fresh = std::make_unique<TStrItem>();
    FList.Put(index, fresh.get());
    item = fresh.release();
  }
  item->Text = text;
  item->Object = object;
}

void TStringSparseList::Put(int32_t index, const QString& text) { Store(index, text, GetObject(index)); }

void TStringSparseList::PutObject(int32_t index, void* object) { Store(index, Get(index), object); }

void TStringSparseList::Insert(int32_t index, const QString& text) {
  std::unique_ptr<TStrItem> item;
  if (!text.isEmpty()) {
    item = std::make_unique<TStrItem>();
    item->Text = text;
  }
  FList.Insert(index, item.get());
  item.release();
}

void TStringSparseList::Delete(int32_t index) {
  TStrItem* item = index < FList.Count() ? Item(index) : nullptr;
  FList.Delete(index);
  delete item;
}

void TStringSparseList::Clear() {
  FList.ForAll([](int32_t, void* v) { delete static_cast<TStrItem*>(v); });
  FList.Clear();
}
