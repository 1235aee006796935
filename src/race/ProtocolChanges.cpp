// What the protocol's rows carry beside their cells, and the taking and giving back of one
// operation's change: the undo steps of the race commands and corrections rest on this.
#include <algorithm>
#include <optional>
#include <unordered_map>

#include "race/Protocol.h"

// ---------------------------------------------------------------------------------------------
// Row records

QString TRowRecord::ToText() const {
  // An entry row carries nothing its cells do not say.
  if (Times && !Times->Started) return {};
  const QString times = Times ? Times->ToText() : QStringLiteral("?");
  return Corrected ? QStringLiteral("K") + times : times;
}

std::optional<TRowRecord> TRowRecord::FromText(const QString& text) {
  TRowRecord record;
  QString times = text;
  if (times.startsWith(u'K')) {
    record.Corrected = true;
    times.remove(0, 1);
  }
  if (times == QLatin1String("?")) return record;
  const std::optional<TRiderTimes> parsed = TRiderTimes::FromText(times);
  if (!parsed) return std::nullopt;
  record.Times = *parsed;
  return record;
}

TRowRecord* TProtocol::Attached(int32_t row) const {
  if (row < 1 || row >= FGrid.RowCount()) return nullptr;
  return static_cast<TRowRecord*>(FGrid.Objects(pcPlace, row));
}

TRowRecord& TProtocol::Attach(int32_t row, TRowRecord record) {
  record.TextCache.clear();
  TRowRecord& kept = FRecords.emplace_back(std::move(record));
  FGrid.SetObjects(pcPlace, row, &kept);
  return kept;
}

std::optional<TRiderTimes> TProtocol::TimesInCells(int32_t row) const {
  std::array<QString, kProtocolColumns> cells;
  for (int32_t c = 0; c < kProtocolColumns; ++c) cells[static_cast<size_t>(c)] = Cell(c, row);
  return TimesFromCells(cells);
}

const TRowRecord& TProtocol::Record(int32_t row) {
  if (TRowRecord* record = Attached(row)) return *record;
  // A row the grid made (after emptying) or one written from an older journal: its cells tell.
  TRowRecord record;
  record.Times = IsEntryRow(row) ? TRiderTimes{} : TimesInCells(row);
  return Attach(row, record);
}

std::optional<TRiderTimes> TProtocol::RowTimes(int32_t row) const {
  if (row < 1 || row >= FGrid.RowCount() || IsEntryRow(row)) return std::nullopt;
  if (const TRowRecord* record = Attached(row)) return record->Times;
  return TimesInCells(row);
}

TRowRecord& TProtocol::EditRecord(int32_t row) {
  Record(row);
  TRowRecord& record = *Attached(row);
  record.TextCache.clear();
  if (FTracking) {
    Touch(row, record);
    FTracking->OldRecords.try_emplace(&record, record);
  }
  return record;
}

QString TProtocol::RecordText(int32_t row) {
  const TRowRecord& record = Record(row);
  if (record.TextCache.isEmpty()) record.TextCache = record.ToText();
  return record.TextCache;
}

void TProtocol::SetRecordText(int32_t row, const QString& text) {
  // No record (an entry row, a journal of the first format) or one that cannot be read: the
  // row's cells tell when it is needed.
  FGrid.SetObjects(pcPlace, row, nullptr);
  if (text.isEmpty()) return;
  if (const std::optional<TRowRecord> record = TRowRecord::FromText(text)) Attach(row, *record);
}

void TProtocol::MarkCorrected(int32_t row) {
  if (row < 1 || row >= FGrid.RowCount() || IsEntryRow(row)) return;
  EditRecord(row).Corrected = true;
  FGrid.InvalidateCell(pcNumber, row);
}

int32_t TProtocol::RowOfRecord(const TRowRecord* record) const {
  for (int32_t r = 1; r < FGrid.RowCount(); ++r)
    if (Attached(r) == record) return r;
  return -1;
}

int32_t TProtocol::RowOfNumber(const QString& number) const {
  const QString wanted = NormalStartNumber(number);
  for (int32_t r = 1; r < FGrid.RowCount(); ++r)
    if (NormalStartNumber(Cell(pcNumber, r)) == wanted && !IsEntryRow(r)) return r;
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Taking a change

void TProtocol::SetCell(int32_t col, int32_t row, const QString& text) {
  const QString old = Cell(col, row);
  if (old == text) return;
  if (FTracking && row >= 1) {
    Record(row);
    TRowRecord& record = *Attached(row);
    Touch(row, record);
    FTracking->OldCells[&record].try_emplace(col, old);
  }
  FGrid.SetCells(col, row, text);
}

void TProtocol::Touch(int32_t row, TRowRecord& record) { FTracking->RowAtTouch.try_emplace(&record, row); }

std::vector<const void*> TProtocol::Arrangement() {
  std::vector<const void*> rows;
  rows.reserve(static_cast<size_t>(FGrid.RowCount()));
  for (int32_t r = 1; r < FGrid.RowCount(); ++r) rows.push_back(&Record(r));
  return rows;
}

void TProtocol::BeforeRearranging() {
  if (!FTracking || FTracking->Rearranged) return;
  FTracking->Rearranged = true;
  FTracking->ArrangementBefore = Arrangement();
}

void TProtocol::BeforeRemoving(int32_t row) {
  BeforeRearranging();
  if (!FTracking) return;
  TProtocolChange::TRow removed{row, {}, Record(row)};
  for (int32_t c = 0; c < kProtocolColumns; ++c) removed.Cells << Cell(c, row);
  FTracking->Removed.emplace_back(Attached(row), std::move(removed));
}

bool TProtocolChange::Empty() const {
  return (!Rearranged || Moves.Unchanged()) && Cells.empty() && Records.empty() && Added.empty() && Removed.empty() &&
         CanSortBefore == CanSortAfter;
}

TProtocolChange TProtocol::Track(const std::function<void()>& operation) {
  FTracking.emplace();
  FTracking->RowBefore = FGrid.Row();
  FTracking->CanSortBefore = FGrid.SortOptions().CanSort();
  struct TStop {
    std::optional<TTracking>& Tracking;
    ~TStop() { Tracking.reset(); }
  } stop{FTracking};
  operation();
  const TTracking tracking = std::move(*FTracking);
  FTracking.reset();

  TProtocolChange change;
  change.RowBefore = tracking.RowBefore;
  change.RowAfter = FGrid.Row();
  change.CanSortBefore = tracking.CanSortBefore;
  change.CanSortAfter = FGrid.SortOptions().CanSort();
  change.Rearranged = tracking.Rearranged;

  // Where a record's row stands before and after: unmoved rows stay where they were touched; a
  // moved one is found through the moves from where it was touched (a ranking moves few runs of
  // rows), and only failing that by a look over all rows.
  std::vector<const void*> arrangement;
  std::optional<std::unordered_map<const void*, int32_t>> beforeAll, afterAll;
  auto all = [](std::optional<std::unordered_map<const void*, int32_t>>& rows, const std::vector<const void*>& order)
      -> const std::unordered_map<const void*, int32_t>& {
    if (!rows) {
      rows.emplace();
      rows->reserve(order.size());
      for (size_t i = 0; i < order.size(); ++i) rows->emplace(order[i], static_cast<int32_t>(i + 1));
    }
    return *rows;
  };
  if (tracking.Rearranged) {
    arrangement = Arrangement();
    change.Moves = TRowMoves::Between(tracking.ArrangementBefore, arrangement);
  }
  const bool fewRuns = change.Moves.RunCount() <= 16;
  auto stands = [](const std::vector<const void*>& order, const void* record, int32_t row) {
    return row >= 1 && static_cast<size_t>(row) <= order.size() && order[static_cast<size_t>(row - 1)] == record;
  };
  auto hint = [&tracking](const void* record) {
    const auto found = tracking.RowAtTouch.find(static_cast<const TRowRecord*>(record));
    return found == tracking.RowAtTouch.end() ? -1 : found->second;
  };
  auto rowBefore = [&](const void* record) -> int32_t {
    const int32_t row = hint(record);
    if (fewRuns && stands(tracking.ArrangementBefore, record, row)) return row;
    if (fewRuns && stands(arrangement, record, row)) return change.Moves.SourceOf(row - 1) + 1;  // 0: new
    const auto& rows = all(beforeAll, tracking.ArrangementBefore);
    const auto found = rows.find(record);
    return found == rows.end() ? -1 : found->second;
  };
  auto rowAfter = [&](const void* record) -> int32_t {
    const int32_t row = hint(record);
    if (fewRuns && stands(arrangement, record, row)) return row;
    if (fewRuns && stands(tracking.ArrangementBefore, record, row)) return change.Moves.TargetOf(row - 1) + 1;  // 0: gone
    const auto& rows = all(afterAll, arrangement);
    const auto found = rows.find(record);
    return found == rows.end() ? -1 : found->second;
  };
  if (tracking.Rearranged) {
    for (int32_t added : change.Moves.Added()) {
      const int32_t row = added + 1;
      TProtocolChange::TRow image{row, {}, Record(row)};
      for (int32_t c = 0; c < kProtocolColumns; ++c) image.Cells << Cell(c, row);
      change.Added.push_back(std::move(image));
    }
    for (const auto& [record, image] : tracking.Removed) {
      const int32_t b = rowBefore(record);
      if (b < 1 || rowAfter(record) >= 1) continue;  // came and went within
      TProtocolChange::TRow kept = image;
      kept.Row = b;
      change.Removed.push_back(std::move(kept));
    }
  }
  auto rowIn = [&](bool after, const TRowRecord* record) {
    if (!tracking.Rearranged) return tracking.RowAtTouch.at(record);
    const int32_t row = after ? rowAfter(record) : rowBefore(record);
    return row < 1 ? -1 : row;
  };
  for (const auto& [record, cells] : tracking.OldCells) {
    const int32_t b = rowIn(false, record), a = rowIn(true, record);
    if (b < 0) continue;  // a new row: the image of it holds its cells
    for (const auto& [col, old] : cells) {
      const QString now = a >= 0 ? Cell(col, a) : QString();
      if (a >= 0 && now == old) continue;
      change.Cells.push_back({b, a, col, old, now});
    }
  }
  for (const auto& [record, old] : tracking.OldRecords) {
    const int32_t b = rowIn(false, record), a = rowIn(true, record);
    if (b < 0 || (a >= 0 && *record == old)) continue;
    change.Records.push_back({b, a, old, a >= 0 ? *record : TRowRecord{}});
  }
  return change;
}

// ---------------------------------------------------------------------------------------------
// Giving it back, or again

void TProtocol::Apply(const TProtocolChange& change, bool forward) {
  {
    // The protocol's own bracket: no entry row is moved behind its back.
    const bool ranking = FRanking;
    FRanking = true;
    struct TRestore {
      bool& Flag;
      bool Old;
      ~TRestore() { Flag = Old; }
    } restore{FRanking, ranking};
    TGridUpdateGuard bracket(FGrid);
    if (change.Rearranged) {
      FGrid.ArrangeRows(change.Moves.Sources(forward));
      for (const TProtocolChange::TRow& row : forward ? change.Added : change.Removed) {
        Attach(row.Row, row.Record);
        for (int32_t c = 0; c < kProtocolColumns; ++c) FGrid.SetCells(c, row.Row, row.Cells.value(c));
      }
    }
    for (const TProtocolChange::TCell& cell : change.Cells) {
      const int32_t row = forward ? cell.After : cell.Before;
      if (row >= 1) FGrid.SetCells(cell.Col, row, forward ? cell.New : cell.Old);
    }
    for (const TProtocolChange::TRecord& record : change.Records) {
      const int32_t row = forward ? record.After : record.Before;
      if (row < 1) continue;
      Record(row);
      TRowRecord& target = *Attached(row);
      // A correction's mark stays until the protocol is emptied, whichever way a step goes.
      const bool corrected = target.Corrected;
      target = forward ? record.New : record.Old;
      target.Corrected = target.Corrected || corrected;
      target.TextCache.clear();
    }
    FGrid.SortOptions().SetCanSort(forward ? change.CanSortAfter : change.CanSortBefore);
  }
  const int32_t row = forward ? change.RowAfter : change.RowBefore;
  SelectRow(std::clamp<int32_t>(row, 1, FGrid.RowCount() - 1));
}

std::vector<int32_t> TProtocol::ChangedRows(const TProtocolChange& change, bool forward) const {
  std::vector<int32_t> rows;
  for (const TProtocolChange::TRecord& record : change.Records) rows.push_back(forward ? record.After : record.Before);
  // Places are renumbered by every ranking; only a change beyond the place is the row's own.
  for (const TProtocolChange::TCell& cell : change.Cells)
    if (cell.Col != pcPlace) rows.push_back(forward ? cell.After : cell.Before);
  for (const TProtocolChange::TRow& row : forward ? change.Added : change.Removed) rows.push_back(row.Row);
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::erase_if(rows, [](int32_t row) { return row < 1; });
  return rows;
}
