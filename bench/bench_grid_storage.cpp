// Cell storage of the string grid against QStandardItemModel: writing then reading 10,000 rows
// of 14 cells, and 1,000,000 reads within one row.
#include <benchmark/benchmark.h>

#include <QStandardItemModel>
#include <QStringList>

#include "grid/MyGrids.h"

namespace {

constexpr int kRows = 10000;
constexpr int kCols = 14;
constexpr int kReads = 1000000;

const QStringList& Texts() {
  static const QStringList texts = [] {
    QStringList t;
    for (int i = 0; i < kRows * kCols; ++i) t << QString::number(i * 7919 % 100000);
    return t;
  }();
  return texts;
}

void GridWriteRead(benchmark::State& state) {
  const QStringList& texts = Texts();
  for (auto _ : state) {
    TMyStringGrid grid;
    grid.SetColCount(kCols);
    grid.SetRowCount(kRows);
    for (int r = 0; r < kRows; ++r)
      for (int c = 0; c < kCols; ++c) grid.SetCells(c, r, texts[r * kCols + c]);
    qsizetype total = 0;
    for (int r = 0; r < kRows; ++r)
      for (int c = 0; c < kCols; ++c) total += grid.Cells(c, r).size();
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(GridWriteRead)->Unit(benchmark::kMillisecond);

void ModelWriteRead(benchmark::State& state) {
  const QStringList& texts = Texts();
  for (auto _ : state) {
    QStandardItemModel model(kRows, kCols);
    for (int r = 0; r < kRows; ++r)
      for (int c = 0; c < kCols; ++c) model.setData(model.index(r, c), texts[r * kCols + c]);
    qsizetype total = 0;
    for (int r = 0; r < kRows; ++r)
      for (int c = 0; c < kCols; ++c) total += model.data(model.index(r, c)).toString().size();
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(ModelWriteRead)->Unit(benchmark::kMillisecond);

void GridReadOneRow(benchmark::State& state) {
  TMyStringGrid grid;
  grid.SetColCount(kCols);
  grid.SetRowCount(kRows);
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kCols; ++c) grid.SetCells(c, r, Texts()[r * kCols + c]);
  for (auto _ : state) {
    qsizetype total = 0;
    for (int i = 0; i < kReads; ++i) total += grid.Cells(i % kCols, 5000).size();
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(GridReadOneRow)->Unit(benchmark::kMillisecond);

void ModelReadOneRow(benchmark::State& state) {
  QStandardItemModel model(kRows, kCols);
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kCols; ++c) model.setData(model.index(r, c), Texts()[r * kCols + c]);
  for (auto _ : state) {
    qsizetype total = 0;
    for (int i = 0; i < kReads; ++i) total += model.data(model.index(5000, i % kCols)).toString().size();
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(ModelReadOneRow)->Unit(benchmark::kMillisecond);

}  // namespace
