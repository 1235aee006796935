#include <gtest/gtest.h>

#include <algorithm>

#include <QStringList>
#include <random>
#include <tuple>

#include "common/Doubles.h"
#include "grid/SortGrid.h"
#include "race/ExpectedRiders.h"
#include "race/Protocol.h"

namespace {

// A protocol on its own grid; every operation goes through Track, and the rows it touched are
// handed to the riders expected, as the session hands them on.
struct ExpectedRidersTest : ::testing::Test {
  TSortGrid grid;
  TProtocol protocol{grid, [](int k) { return 1000 * k; }};
  TExpectedRiders expected;

  ExpectedRidersTest() { protocol.StartUp(); }

  void Empty() {
    protocol.Clear();
    protocol.StartUp();
    expected.Rebuild(protocol);
    expected.SetPrefix({});
  }
  // Runs an operation, hands its rows on and returns the change (for taking it back).
  TProtocolChange Do(const std::function<void()>& operation) {
    TProtocolChange change = protocol.Track(operation);
    // As the session tells it: a change that moved no row and renumbered no place is in place.
    const bool inPlace = (!change.Rearranged || change.Moves.Unchanged()) && change.Added.empty() && change.Removed.empty() &&
                         std::none_of(change.Cells.begin(), change.Cells.end(), [](const auto& cell) { return cell.Col == pcPlace; });
    expected.Update(protocol, protocol.ChangedRows(change, true), inPlace);
    return change;
  }
  TProtocolChange Start(uint32_t tick, const QString& nr) {
    return Do([&] {
      grid.SetRow(grid.RowCount() - 1);
      protocol.RecordStart(tick, nr, QStringLiteral("Fahrer ") + nr, QStringLiteral("M"));
    });
  }
  TProtocolChange Press(uint32_t tick, const QString& nr, bool stop) {
    return Do([&] {
      grid.SetRow(protocol.RowOfNumber(nr));
      stop ? protocol.StopRider(tick) : protocol.RecordLap(tick);
    });
  }
};

// "number/laps/countdown", "!" for a late one.
QString Describe(const std::vector<TExpectedLine>& lines) {
  QStringList texts;
  for (const TExpectedLine& line : lines)
    texts << line.Number + '/' + line.Laps + '/' + line.Countdown + (line.Late ? "!" : "");
  return texts.join(' ');
}

struct TRiderPlan {
  const char* Number;
  int32_t Start;                 // seconds after the base tick
  std::vector<int32_t> Presses;  // seconds after the base tick
  bool Stopped = false;
};
struct TOrderCase {
  const char* Rule;
  uint32_t Base;
  std::vector<TRiderPlan> Riders;
  int32_t Now;  // milliseconds after the base tick
  const char* Prefix;
  const char* Lines;
};

TEST_F(ExpectedRidersTest, OrdersByExpectedPassAndShowsTheCountdown) {
  const std::vector<TOrderCase> cases = {
      {"mean lap so far", 1'000'000, {{"1", 0, {100, 220}}, {"2", 10, {130}}}, 240'000, "",
       "2/1/10,0 1/2/1.30,0"},
      {"median first lap, odd count; a stopped rider counts", 1'000'000,
       {{"1", 0, {100}}, {"2", 0, {120, 240, 360, 480, 600}, true}, {"3", 0, {200}}, {"4", 50, {}}}, 150'000, "",
       "4/0/20,0 1/1/50,0 3/1/4.10,0"},
      {"median first lap, even count", 1'000'000, {{"1", 0, {100}}, {"2", 0, {130}}, {"3", 20, {}}}, 100'000, "",
       "3/0/35,0 1/1/1.40,0 2/1/2.40,0"},
      {"no lap anywhere: no time, by number", 1'000'000, {{"12", 0, {}}, {"3", 5, {}}, {"7", 1, {}}}, 60'000, "",
       "3/0/ 7/0/ 12/0/"},
      {"one first lap gives the others their time", 1'000'000, {{"1", 0, {}}, {"2", 0, {100}}}, 10'000, "",
       "1/0/1.30,0 2/1/3.10,0"},
      {"equal expected: by number, numerically, whenever they started", 1'000'000,
       {{"10", 0, {100}}, {"9", 20, {110}}}, 0, "", "9/1/3.20,0 10/1/3.20,0"},
      {"late by exactly half a lap is not marked", 1'000'000,
       {{"1", 0, {100}}, {"2", 0, {100}}, {"3", 1, {101}}}, 250'000, "",
       "1/1/-50,0 2/1/-50,0 3/1/-49,0"},
      {"late by more than half a lap", 1'000'000, {{"1", 0, {100}}}, 250'100, "", "1/1/-50,1!"},
      {"a countdown under a tenth late has no sign", 1'000'000, {{"1", 0, {100}}}, 200'040, "", "1/1/0,0"},
      {"before the first lap, late against the median", 1'000'000, {{"1", 0, {100}}, {"2", 0, {}}}, 151'000, "",
       "2/0/-51,0! 1/1/49,0"},
      {"prefix, leading zeros read as a number", 1'000'000,
       {{"7", 0, {}}, {"17", 0, {}}, {"70", 0, {}}, {"71", 0, {}}}, 0, "007", "7/0/ 70/0/ 71/0/"},
      {"only zeros filter nothing yet", 1'000'000, {{"7", 0, {}}, {"17", 0, {}}}, 0, "00", "7/0/ 17/0/"},
      {"the counter wraps 90 s in, between the passes", 0xFFFFFFFFu - 90'000,
       {{"1", 0, {100}}, {"2", 20, {140}}, {"3", 0, {40, 80}}, {"4", 0, {30}}}, 150'000, "",
       "4/1/-1.30,0! 3/2/-30,0! 1/1/50,0 2/1/1.50,0"},
  };
  for (const TOrderCase& c : cases) {
    SCOPED_TRACE(c.Rule);
    Empty();
    // Every press of the race in the order it happened, one Update each.
    std::vector<std::tuple<int32_t, QString, int>> presses;  // seconds, number, 0 START 1 LAP 2 STOPP
    for (const TRiderPlan& rider : c.Riders) {
      presses.emplace_back(rider.Start, rider.Number, 0);
      for (size_t i = 0; i < rider.Presses.size(); ++i)
        presses.emplace_back(rider.Presses[i], rider.Number, rider.Stopped && i + 1 == rider.Presses.size() ? 2 : 1);
    }
    std::stable_sort(presses.begin(), presses.end(), [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
    for (const auto& [at, nr, kind] : presses) {
      const uint32_t tick = c.Base + static_cast<uint32_t>(at) * 1000u;
      kind == 0 ? Start(tick, nr) : Press(tick, nr, kind == 2);
    }
    expected.SetPrefix(QString::fromLatin1(c.Prefix));
    const uint32_t now = c.Base + static_cast<uint32_t>(c.Now);
    EXPECT_EQ(Describe(ExpectedLines(expected.Shown(), now, 100)), QString::fromLatin1(c.Lines));
  }
}

// The order, times and rows, everything a line and a press depend on.
QString Snapshot(const TExpectedRiders& riders) {
  QStringList texts;
  for (const TExpectedRider* r : riders.Order())
    texts << QStringLiteral("%1@%2:%3/%4/%5/%6").arg(r->Number).arg(r->Row).arg(r->Laps)
                 .arg(r->Expected ? QString::number(*r->Expected) : "-").arg(r->ReckonedLap).arg(r->Name);
  texts << QStringLiteral("median %1").arg(riders.MedianFirstLap().value_or(-1));
  return texts.join(' ');
}

// Over random races with presses, stops, corrections, removals, rankings and undos (the wrap of
// the counter in every other race), the list kept from the touched rows is the one read afresh.
TEST_F(ExpectedRidersTest, UpdateFromTouchedRowsMatchesARebuild) {
  std::mt19937 random(26);
  for (int race = 0; race < 12; ++race) {
    SCOPED_TRACE(race);
    Empty();
    uint32_t tick = race % 2 ? 0xFFFFFFFFu - 200'000 : 5'000'000;
    int nextNumber = 1;
    std::vector<TProtocolChange> done;
    for (int step = 0; step < 120; ++step) {
      tick += 1 + random() % 20'000;
      if (tick == 0) tick = 1;
      std::vector<int32_t> riders;  // rider rows
      for (int32_t r = 1; r < grid.RowCount(); ++r)
        if (!protocol.IsEntryRow(r)) riders.push_back(r);
      const int32_t row = riders.empty() ? -1 : riders[random() % riders.size()];
      const int action = static_cast<int>(random() % 10);
      if (riders.empty() || action < 2) {
        done.push_back(Start(tick, QString::number(nextNumber++)));
      } else if (action < 6) {
        const std::optional<TRiderTimes> times = protocol.RowTimes(row);
        const QString nr = grid.Cells(pcNumber, row);
        if (times && !times->Stopped) done.push_back(Press(tick, nr, times->Laps() == 4 || random() % 8 == 0));
      } else if (action == 6) {
        done.push_back(Do([&] { protocol.DeleteLap(row, 1); }));
      } else if (action == 7) {
        const int32_t other = riders[random() % riders.size()];
        done.push_back(Do([&] { protocol.MoveLastPress(row, grid.Cells(pcNumber, other)); }));
      } else if (action == 8 && random() % 3 == 0) {
        done.push_back(Do([&] {
          grid.SetRow(row);
          protocol.mCutClick();
        }));
      } else if (!done.empty()) {
        protocol.Apply(done.back(), false);
        expected.Update(protocol, protocol.ChangedRows(done.back(), false));
        done.pop_back();
      }
      TExpectedRiders fresh;
      fresh.Rebuild(protocol);
      ASSERT_EQ(Snapshot(expected), Snapshot(fresh)) << "step " << step;
      for (const TExpectedRider* rider : expected.Order())
        ASSERT_EQ(grid.Cells(pcNumber, rider->Row), rider->Number);  // a press finds his row
    }
  }
}

}  // namespace
