// The protocol's ranking on the sort grid: three stable sorts (time, lap count, category with
// the time as secondary key) of 10,000 protocol-like rows, against one std::stable_sort of
// plain row vectors by the same keys; and a save/load round trip of that grid.
#include <benchmark/benchmark.h>

#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "grid/SortCompare.h"
#include "grid/SortGrid.h"

namespace {

constexpr int kRows = 10000;
constexpr int kCols = 14;
using Row = std::vector<QString>;

// A duration in the protocol's text form: 59,9 / 1.05,2 / 1:00.00,0.
QString Duration(int ms) {
  const int tenths = ms / 100;
  const int t = tenths % 10, s = tenths / 10 % 60, m = tenths / 600 % 60, h = tenths / 36000;
  if (h > 0) return QString("%1:%2.%3,%4").arg(h).arg(m, 2, 10, QChar('0')).arg(s, 2, 10, QChar('0')).arg(t);
  if (m > 0) return QString("%1.%2,%3").arg(m).arg(s, 2, 10, QChar('0')).arg(t);
  return QString("%1,%2").arg(s).arg(t);
}

const std::vector<Row>& Protocol() {
  static const std::vector<Row> rows = [] {
    std::mt19937 random(4711);
    const QStringList categories = {"M20", "W20", "M30", "W30", "M40", "W40", "Jugend", "Senioren"};
    std::vector<Row> out;
    out.push_back({"Platz", "Nr.", "Name", "Kat", "Lap5", "Lap4", "Lap3", "Lap2", "Lap1", "R.Z", "km/h", "Zeit", "", ""});
    for (int i = 0; i < kRows; ++i) {
      Row r(kCols);
      r[1] = QString::number(i + 1);
      r[2] = QString("Fahrer %1").arg(random() % 100000);
      r[3] = categories[static_cast<qsizetype>(random() % categories.size())];
      const int laps = static_cast<int>(random() % 6);
      int total = 0;
      for (int l = 0; l < laps; ++l) {
        const int lap = 40000 + static_cast<int>(random() % 60000);
        total += lap;
        r[static_cast<size_t>(8 - l)] = Duration(lap);
      }
      r[9] = QString::number(laps);
      r[10] = QString("%1,%2").arg(30 + random() % 15).arg(random() % 10);
      if (laps == 5) r[11] = Duration(total);
      r[12] = QString::number(random());
      r[13] = QString::number(random());
      out.push_back(r);
    }
    return out;
  }();
  return rows;
}

int32_t LengthFirst(const QString& a, const QString& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return ComparePlain(a, b);
}

// 'A'..'Z' as 'a'..'z', without building lower-cased copies.
int CompareFolded(const QString& a, const QString& b) {
  const qsizetype n = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < n; ++i) {
    char16_t x = a[i].unicode(), y = b[i].unicode();
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool PlainOrder(const Row& a, const Row& b) {
  if (int c = CompareFolded(a[3], b[3])) return c < 0;
  if (int c = LengthFirst(a[11], b[11])) return c < 0;
  return LengthFirst(a[9], b[9]) < 0;
}

void FillGrid(TSortGrid& grid) {
  const std::vector<Row>& rows = Protocol();
  grid.BeginUpdate();
  grid.SetColCount(kCols);
  grid.SetRowCount(static_cast<int32_t>(rows.size()));
  for (size_t r = 0; r < rows.size(); ++r)
    for (int c = 0; c < kCols; ++c) grid.SetCells(c, static_cast<int32_t>(r), rows[r][static_cast<size_t>(c)]);
  grid.EndUpdate();
}

void Rank(TSortGrid& grid) {
  grid.SortOptions().SetSortDirection(sdAscending);
  grid.SortByColumn(11);
  grid.SortByColumn(9);
  grid.SortByColumn(3);
}

void PrepareRanking(TSortGrid& grid) {
  grid.SortOptions().SetSecondaryIndex("11");
  grid.OnGetSortStyle = [&grid](QObject*, int32_t col, TSortStyle& style) {
    if (col == 3) style = ssNormal;
    if (col == 9 || col == 11) {
      style = ssCustom;
      grid.SortOptions().CustomCompare = LengthFirst;
    }
  };
}

void SortGridRanking(benchmark::State& state) {
  TSortGrid grid;
  PrepareRanking(grid);
  for (auto _ : state) {
    state.PauseTiming();
    FillGrid(grid);
    state.ResumeTiming();
    Rank(grid);
    benchmark::DoNotOptimize(grid.Cells(1, 1));
  }
}
BENCHMARK(SortGridRanking)->Unit(benchmark::kMillisecond);

void PlainRowsStableSort(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<Row> rows(Protocol().begin() + 1, Protocol().end());
    state.ResumeTiming();
    std::stable_sort(rows.begin(), rows.end(), PlainOrder);
    benchmark::DoNotOptimize(rows.front());
  }
}
BENCHMARK(PlainRowsStableSort)->Unit(benchmark::kMillisecond);

// The two above in one run, alternating, as the ratio of their medians: the figure the ranking's
// sorts are held to (at most twice the plain sort).
void RankingOverPlainSort(benchmark::State& state) {
  TSortGrid grid;
  PrepareRanking(grid);
  std::vector<double> ranking, plain;
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    state.PauseTiming();
    FillGrid(grid);
    auto begin = Clock::now();
    Rank(grid);
    ranking.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    std::vector<Row> rows(Protocol().begin() + 1, Protocol().end());
    begin = Clock::now();
    std::stable_sort(rows.begin(), rows.end(), PlainOrder);
    plain.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    benchmark::DoNotOptimize(rows.front());
    state.ResumeTiming();
  }
  auto median = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  state.counters["ranking_ms"] = median(ranking);
  state.counters["plain_ms"] = median(plain);
  state.counters["ratio"] = median(ranking) / median(plain);
}
BENCHMARK(RankingOverPlainSort)->Iterations(40)->Unit(benchmark::kMillisecond);

void SortGridSaveLoad(benchmark::State& state) {
  QTemporaryDir dir;
  const QString path = dir.filePath("protocol.txt");
  TSortGrid grid;
  PrepareRanking(grid);
  FillGrid(grid);
  Rank(grid);
  TSortGrid loaded;
  loaded.SortOptions().SetCanSort(false);
  for (auto _ : state) {
    grid.SaveToFile(path, false);
    if (!loaded.LoadFromFile(path, false)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(loaded.RowCount());
  }
}
BENCHMARK(SortGridSaveLoad)->Unit(benchmark::kMillisecond);

}  // namespace
