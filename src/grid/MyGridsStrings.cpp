// The string grid: cell texts and objects in sparse storage, and the row and column views.
#include <algorithm>
#include <QFontMetrics>
#include <QPainter>

#include "grid/MyGrids.h"

namespace {

// Lists hold 256-slot sections once a grid is big enough to fill them.
TSPAQuantum QuantumFor(int32_t count, int32_t limit) { return count > limit ? SPALarge : SPASmall; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// TMyStringGridStrings

TMyStringGridStrings::TMyStringGridStrings(TMyStringGrid* grid, int32_t tag) : FGrid(grid), FTag(tag) {}

int32_t TMyStringGridStrings::Count() const { return FTag > 0 ? FGrid->ColCount() : FGrid->RowCount(); }

QString TMyStringGridStrings::Get(int32_t Index) const { return FGrid->Cells(CellCol(Index), CellRow(Index)); }

void TMyStringGridStrings::Put(int32_t Index, const QString& S) { FGrid->SetCells(CellCol(Index), CellRow(Index), S); }

void* TMyStringGridStrings::GetObject(int32_t Index) const {
  return FGrid->Objects(CellCol(Index), CellRow(Index));
}

void TMyStringGridStrings::PutObject(int32_t Index, void* AObject) {
  FGrid->SetObjects(CellCol(Index), CellRow(Index), AObject);
}

int32_t TMyStringGridStrings::Add(const QString& S) { return AddObject(S, nullptr); }

int32_t TMyStringGridStrings::AddObject(const QString& S, void* AObject) {
  const int32_t count = Count();
  for (int32_t i = 0; i < count; ++i) {
    if (!Get(i).isEmpty()) continue;
    // A blank keeps the cell from counting as empty for the next Add.
    Put(i, S.isEmpty() ? QStringLiteral(" ") : S);
    if (AObject != nullptr) PutObject(i, AObject);
    return i;
  }
  return -1;
}

void TMyStringGridStrings::Clear() {
  if (FGrid->OnCellWriting) FGrid->OnCellWriting(FTag > 0 ? -1 : ~FTag, FTag > 0 ? FTag - 1 : -1);
  if (FTag > 0) {
    const int32_t row = FTag - 1;
    if (auto* list = static_cast<TStringSparseList*>(FGrid->FData.Get(row))) list->Clear();
    FGrid->CellsCleared(-1, row);
  } else {
    const int32_t col = ~FTag;
    FGrid->FData.ForAll([col](int32_t, void* v) {
      auto* list = static_cast<TStringSparseList*>(v);
      list->Put(col, QString());
      list->PutObject(col, nullptr);
    });
    FGrid->CellsCleared(col, -1);
  }
}

void TMyStringGridStrings::Assign(const TMyStringGridStrings& Source) {
  BeginUpdate();
  try {
    const int32_t n = std::min(Source.Count(), Count());
    for (int32_t i = 0; i < n; ++i) {
      Put(i, Source.Get(i));
      PutObject(i, Source.GetObject(i));
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TMyStringGridStrings::Assign(const QStringList& Source) {
  BeginUpdate();
  try {
    const int32_t n = std::min(static_cast<int32_t>(Source.size()), Count());
    for (int32_t i = 0; i < n; ++i) {
      Put(i, Source[i]);
      PutObject(i, nullptr);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TMyStringGridStrings::Insert(int32_t, const QString&) {
  throw EInvalidOperation("Cannot insert or delete rows from grid");
}

void TMyStringGridStrings::Delete(int32_t) { throw EInvalidOperation("Cannot insert or delete rows from grid"); }

void TMyStringGridStrings::BeginUpdate() {
  if (FUpdateCount++ == 0) FGrid->ViewsUpdate(true);
}

void TMyStringGridStrings::EndUpdate() {
  if (FUpdateCount == 0) return;
  if (--FUpdateCount == 0) FGrid->ViewsUpdate(false);
}

QStringList TMyStringGridStrings::ToStringList() const {
  QStringList result;
  const int32_t count = Count();
  result.reserve(count);
  for (int32_t i = 0; i < count; ++i) result << Get(i);
  return result;
}

// ---------------------------------------------------------------------------------------------
// TMyStringGrid

TMyStringGrid::TMyStringGrid(QWidget* parent)
    : TMyDrawGrid(parent),
      FData(QuantumFor(RowCount(), 256)),
      FRowViews(QuantumFor(RowCount(), 256)),
      FColViews(QuantumFor(ColCount(), 512)) {}

TMyStringGrid::~TMyStringGrid() {
  DestroyEditor();
  FData.ForAll([](int32_t, void* v) { delete static_cast<TStringSparseList*>(v); });
  FRowViews.ForAll([](int32_t, void* v) { delete static_cast<TMyStringGridStrings*>(v); });
  FColViews.ForAll([](int32_t, void* v) { delete static_cast<TMyStringGridStrings*>(v); });
}

QString TMyStringGrid::Cells(int32_t ACol, int32_t ARow) const {
  const auto* list = static_cast<const TStringSparseList*>(FData.Get(ARow));
  return list != nullptr ? list->Get(ACol) : QString();
}

void* TMyStringGrid::Objects(int32_t ACol, int32_t ARow) const {
  const auto* list = static_cast<const TStringSparseList*>(FData.Get(ARow));
  return list != nullptr ? list->GetObject(ACol) : nullptr;
}

TStringSparseList* TMyStringGrid::EnsureRow(int32_t ARow) {
  auto* list = static_cast<TStringSparseList*>(FData.Get(ARow));
  if (list == nullptr) {
    auto fresh = std::make_unique<TStringSparseList>(QuantumFor(ColCount(), 512));
    FData.Put(ARow, fresh.get());
    list = fresh.release();
  }
  return list;
}

TMyStringGridStrings* TMyStringGrid::View(TSparseList& views, int32_t index, int32_t tag) {
  auto* view = static_cast<TMyStringGridStrings*>(views.Get(index));
  if (view == nullptr) {
    auto fresh = std::make_unique<TMyStringGridStrings>(this, tag);
    views.Put(index, fresh.get());
    view = fresh.release();
  }
  return view;
}

void TMyStringGrid::EnsureViews(int32_t ACol, int32_t ARow) {
  View(FColViews, ACol, ~ACol);
  View(FRowViews, ARow, ARow + 1);
}

void TMyStringGrid::SetCells(int32_t ACol, int32_t ARow, const QString& Value) {
  if (OnCellWriting) OnCellWriting(ACol, ARow);
  TStringSparseList* list = EnsureRow(ARow);
  list->Put(ACol, Value);
  EnsureViews(ACol, ARow);
  CellChanged(ACol, ARow);
}

void TMyStringGrid::SetObjects(int32_t ACol, int32_t ARow, void* Value) {
  TStringSparseList* list = EnsureRow(ARow);
  list->PutObject(ACol, Value);
  EnsureViews(ACol, ARow);
  CellChanged(ACol, ARow);
}

TMyStringGridStrings* TMyStringGrid::Rows(int32_t Index) { return View(FRowViews, Index, Index + 1); }

TMyStringGridStrings* TMyStringGrid::Cols(int32_t Index) { return View(FColViews, Index, ~Index); }

void TMyStringGrid::CellChanged(int32_t ACol, int32_t ARow) {
  if (FViewUpdating > 0)
    FViewNeedsRepaint = true;
  else
    InvalidateCell(ACol, ARow);
  if (ACol == Col() && ARow == Row() && !EditorWriteBack()) ReloadEditor(ACol, ARow);
}

void TMyStringGrid::CellsCleared(int32_t ACol, int32_t ARow) {
  if (FViewUpdating > 0)
    FViewNeedsRepaint = true;
  else if (ARow >= 0)
    InvalidateRow(ARow);
  else
    InvalidateCol(ACol);
  if ((ARow < 0 || ARow == Row()) && (ACol < 0 || ACol == Col())) ReloadEditor(Col(), Row());
}

void TMyStringGrid::ViewsUpdate(bool updating) {
  if (updating) {
    if (FViewUpdating++ == 0) FViewNeedsRepaint = false;
    return;
  }
  if (FViewUpdating > 0 && --FViewUpdating == 0 && FViewNeedsRepaint) {
    FViewNeedsRepaint = false;
    InvalidateGrid();
  }
}

void TMyStringGrid::ColumnMoved(int32_t FromIndex, int32_t ToIndex) {
  if (OnCellWriting) OnCellWriting(-1, -1);
  FData.ForAll([=](int32_t, void* v) { static_cast<TStringSparseList*>(v)->Move(FromIndex, ToIndex); });
  TMyDrawGrid::ColumnMoved(FromIndex, ToIndex);
}

void TMyStringGrid::RowMoved(int32_t FromIndex, int32_t ToIndex) {
  FData.Move(FromIndex, ToIndex);
  TMyDrawGrid::RowMoved(FromIndex, ToIndex);
}

void TMyStringGrid::DrawCell(int32_t ACol, int32_t ARow, const TRect& ARect, TGridDrawState AState) {
  QPainter* canvas = Canvas();
  if (DefaultDrawing() && canvas != nullptr) {
    const QFontMetrics metrics(canvas->font());
    const TFittedCellText fitted = FitCellText(Cells(ACol, ARow), taLeftJustify, ARect.Width(),
                                               [&metrics](const QString& t) { return metrics.horizontalAdvance(t); });
    if (!fitted.Text.isEmpty()) {
      canvas->save();
      canvas->setClipRect(ARect.ToQRect(), Qt::IntersectClip);
      canvas->drawText(QPoint(ARect.Left + fitted.X, ARect.Top + 2 + metrics.ascent()), fitted.Text);
      canvas->restore();
    }
  }
  TMyDrawGrid::DrawCell(ACol, ARow, ARect, AState);
}

QString TMyStringGrid::GetEditText(int32_t ACol, int32_t ARow) {
  QString value = Cells(ACol, ARow);
  if (OnGetEditText) OnGetEditText(this, ACol, ARow, value);
  return value;
}

void TMyStringGrid::SetEditText(int32_t ACol, int32_t ARow, const QString& Value) {
  {
    WriteBackScope scope(*this);
    if (Cells(ACol, ARow) != Value) SetCells(ACol, ARow, Value);
  }
  TMyDrawGrid::SetEditText(ACol, ARow, Value);
}
