// The times a protocol row is computed from: their text form for the journal, the rows they give,
// the rows an older journal gives them back from, and the race time typed as the clock shows it.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "race/Protocol.h"
#include "race/RiderTimes.h"
#include "race/RowMoves.h"
#include "race/TimeText.h"

namespace {

TRiderTimes Times(uint32_t start, std::vector<uint32_t> presses, bool stopped = false) {
  TRiderTimes times;
  times.Started = true;
  times.Start = start;
  times.Presses = std::move(presses);
  times.Stopped = stopped;
  return times;
}

int32_t Km(int k) { return k * 1000; }

std::array<QString, 14> Row(const TTimeCells& times) {
  std::array<QString, 14> cells;
  for (int c = pcLap5; c <= pcStartTick; ++c) cells[static_cast<size_t>(c)] = times[static_cast<size_t>(c - pcLap5)];
  return cells;
}

}  // namespace

TEST(RiderTimes, TextFormRoundTripsAndRefusesWhatNoRaceHas) {
  const std::vector<TRiderTimes> kept = {
      TRiderTimes{},
      Times(4000000000u, {}),
      Times(4294967000u, {100, 90100, 180100}),  // across the counter's wrap
      Times(7, {8, 9, 10, 11, 12}, true),
  };
  for (const TRiderTimes& times : kept) {
    const auto back = TRiderTimes::FromText(times.ToText());
    ASSERT_TRUE(back.has_value()) << times.ToText().toStdString();
    EXPECT_EQ(*back, times);
  }
  EXPECT_EQ(TRiderTimes{}.ToText(), "");
  EXPECT_EQ(Times(5, {6, 7}, true).ToText(), "5|6,7|S");
  for (const char* bad : {"x|1|", "5|1,x|", "5||S", "0|1|", "5|0|", "5|1|X", "5|1,2,3,4,5,6|S", "5|1"})
    EXPECT_FALSE(TRiderTimes::FromText(bad).has_value()) << bad;
  // Order is a separate question: a press may fall in the millisecond before another only by
  // a clock fault, and is still recorded.
  EXPECT_TRUE(Times(10, {20, 15}).IsValid());
  EXPECT_FALSE(Times(10, {20, 15}).InOrder());
  EXPECT_TRUE(Times(10, {10, 10}).InOrder());
  EXPECT_FALSE(Times(10, {5}).InOrder());
  EXPECT_TRUE(Times(0xFFFFFF00u, {0x100}).InOrder());
}

TEST(RiderTimes, CellsOfRidersOnCourseStoppedAndFinished) {
  const uint32_t start = 0x7FFFFF00u;  // across the sign change of the stored tick
  TTimeCells cells = ComputeTimeCells(Times(start, {}), Km);
  EXPECT_EQ(cells[pcLapCount - pcLap5], "0");
  EXPECT_EQ(cells[pcStartTick - pcLap5], TickToText(start));
  EXPECT_EQ(cells[pcTime - pcLap5], "");
  EXPECT_EQ(cells[pcLastLapTick - pcLap5], "");

  cells = ComputeTimeCells(Times(start, {start + 90000, start + 181000}), Km);
  EXPECT_EQ(Row(cells)[pcLap1], "1.31,0");
  EXPECT_EQ(Row(cells)[pcLap2], "1.30,0");
  EXPECT_EQ(Row(cells)[pcLap3], "");
  EXPECT_EQ(Row(cells)[pcSpeed], "39,8");  // 2 km in 181 s
  EXPECT_EQ(Row(cells)[pcTime], "3.01,0");
  EXPECT_EQ(Row(cells)[pcLastLapTick], TickToText(start + 181000));

  // Stopped before the fifth lap: total in column 13, no time, the stopped mark.
  cells = ComputeTimeCells(Times(start, {start + 90000, start + 181000}, true), Km);
  EXPECT_EQ(Row(cells)[pcTime], "");
  EXPECT_EQ(Row(cells)[pcLastLapTick], "0");
  EXPECT_EQ(Row(cells)[pcStartTick], "181000");
  // A finisher.
  cells = ComputeTimeCells(Times(start, {start + 1000, start + 2000, start + 3000, start + 4000, start + 5000}, true), Km);
  EXPECT_EQ(Row(cells)[pcLap5], "1,0");
  EXPECT_EQ(Row(cells)[pcTime], "5,0");
  EXPECT_EQ(Row(cells)[pcSpeed], "3600,0");
  EXPECT_EQ(Row(cells)[pcStartTick], "5000");
  // An entry row has nothing.
  for (const QString& cell : ComputeTimeCells(TRiderTimes{}, Km)) EXPECT_TRUE(cell.isEmpty());
}

TEST(RiderTimes, AnOlderJournalsRowGivesItsTimesBack) {
  // A rider on course: start and last press exactly, the earlier laps to the tenth of their texts.
  const TRiderTimes truth = Times(5000000, {5090040, 5180080, 5270020});
  std::array<QString, 14> row = Row(ComputeTimeCells(truth, Km));
  const auto back = TimesFromCells(row);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->Start, truth.Start);
  EXPECT_EQ(back->Presses.back(), truth.Presses.back());
  EXPECT_EQ(back->Laps(), 3);
  EXPECT_FALSE(back->Stopped);
  // The rows they give differ at most in the first lap's tenth.
  const std::array<QString, 14> again = Row(ComputeTimeCells(*back, Km));
  for (int c : {pcLap2, pcLap1, pcLapCount, pcSpeed, pcTime, pcLastLapTick, pcStartTick}) EXPECT_EQ(again[c], row[c]) << c;

  // A stopped rider's start is not in his row: no times.
  row = Row(ComputeTimeCells(Times(10, {20}, true), Km));
  EXPECT_FALSE(TimesFromCells(row).has_value());
  // Started, no lap; a lap count that is no number counts as none.
  row = {};
  row[pcStartTick] = "1234";
  row[pcLapCount] = "x";
  ASSERT_TRUE(TimesFromCells(row).has_value());
  EXPECT_EQ(TimesFromCells(row)->Laps(), 0);
}

TEST(RaceTimeText, ParsesWhatTheClockShows) {
  EXPECT_EQ(ParseDuration("1:02.03,4"), 3723400);
  EXPECT_EQ(ParseDuration("2.03,4"), 123400);
  EXPECT_EQ(ParseDuration("3,4"), 3400);
  EXPECT_EQ(ParseDuration(" 0,0 "), 0);
  EXPECT_EQ(ParseDuration("2.03"), 123000);
  EXPECT_EQ(ParseDuration("75,3"), 75300);    // seconds alone may run past a minute
  EXPECT_EQ(ParseDuration("90.00,0"), 5400000);
  EXPECT_EQ(ParseDuration("99:59.59,9"), 359999900);
  for (const char* bad : {"", "1:60.00,0", "1.60,0", "1:2:3", "1,23", "a", "1.02,3,4", "-1,0", "123:00.00,0", "1.5.00"})
    EXPECT_FALSE(ParseDuration(bad).has_value()) << bad;
  // Every text the clock writes reads back to its tenth.
  for (int32_t ms : {0, 100, 59900, 60000, 3599900, 3600000, 35999900})
    EXPECT_EQ(ParseDuration(FormatDuration(ms)), ms) << ms;
}

TEST(RowMoves, TakeFewRunsAndGiveTheArrangementsBothWays) {
  std::vector<int> storage(200);
  std::vector<const void*> before;
  for (int& item : storage) before.push_back(&item);
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    // One row moved, one added, one removed: a ranking, a START, a removed row.
    std::vector<const void*> after = before;
    const size_t from = random() % after.size();
    const void* moved = after[from];
    after.erase(after.begin() + static_cast<std::ptrdiff_t>(from));
    after.insert(after.begin() + static_cast<std::ptrdiff_t>(random() % (after.size() + 1)), moved);
    static int extra;
    if (round % 3 == 0) after.push_back(&extra);
    if (round % 4 == 0) after.erase(after.begin() + static_cast<std::ptrdiff_t>(random() % 150));

    const TRowMoves moves = TRowMoves::Between(before, after);
    EXPECT_LE(moves.RunCount(), 5u);  // of 200 rows: a moved row and a gap split them so often
    const std::vector<int32_t> forward = moves.Sources(true);
    ASSERT_EQ(forward.size(), after.size());
    for (size_t p = 0; p < after.size(); ++p) {
      if (forward[p] < 0)
        EXPECT_EQ(after[p], &extra);
      else
        EXPECT_EQ(after[p], before[static_cast<size_t>(forward[p])]);
    }
    const std::vector<int32_t> backward = moves.Sources(false);
    ASSERT_EQ(backward.size(), before.size());
    for (size_t q = 0; q < before.size(); ++q) {
      if (backward[q] < 0)
        EXPECT_TRUE(std::find(after.begin(), after.end(), before[q]) == after.end());
      else
        EXPECT_EQ(before[q], after[static_cast<size_t>(backward[q])]);
    }
    // The positions that hold another row than before, either way: what a step rewrote.
    for (const bool way : {true, false}) {
      const std::vector<int32_t> sources = moves.Sources(way);
      std::vector<int32_t> other;
      for (size_t p = 0; p < sources.size(); ++p)
        if (sources[p] != static_cast<int32_t>(p)) other.push_back(static_cast<int32_t>(p));
      EXPECT_EQ(moves.Moved(way), other) << "round " << round;
      for (size_t p = 0; p < sources.size(); ++p)
        ASSERT_EQ(way ? moves.SourceOf(int32_t(p)) : moves.TargetOf(int32_t(p)), sources[p]) << "round " << round;
    }
  }
  EXPECT_TRUE(TRowMoves::Between(before, before).Unchanged());
  EXPECT_TRUE(TRowMoves::Between(before, before).Moved(true).empty());
}
