// The race as the live pages get it: riders from the protocol, and the announcer's ticker.
#include <gtest/gtest.h>

#include <memory>

#include "common/Doubles.h"
#include "grid/SortGrid.h"
#include "race/LiveSnapshot.h"
#include "race/Protocol.h"

namespace {

constexpr uint32_t kT0 = 7'000'000;

struct LiveSnapshotTest : ::testing::Test {
  TSortGrid grid;
  std::unique_ptr<TProtocol> protocol;
  TRaceTicker ticker;

  LiveSnapshotTest() {
    grid.resize(800, 300);
    protocol = std::make_unique<TProtocol>(grid, [](int k) { return k * 1000; });
    protocol->StartUp();
  }
  int32_t RowOf(const QString& nr) const { return protocol->RowOfNumber(nr); }
  void Start(const QString& nr, const QString& name, const QString& cat, uint32_t at) {
    grid.SetRow(grid.RowCount() - 1);
    protocol->RecordStart(at, nr, name, cat);
    ticker.Add(TLiveEvent::Kind::Start, *protocol, RowOf(nr), "10:00:00");
  }
  void Lap(const QString& nr, uint32_t at) {
    grid.SetRow(RowOf(nr));
    protocol->RecordLap(at);
    ticker.Add(TLiveEvent::Kind::Lap, *protocol, RowOf(nr), "10:01:00");
  }
  void Stop(const QString& nr, uint32_t at) {
    grid.SetRow(RowOf(nr));
    protocol->StopRider(at);
    ticker.Add(TLiveEvent::Kind::Finish, *protocol, RowOf(nr), "10:02:00");
  }
  const TLiveRider& Rider(const std::vector<TLiveRider>& riders, const QString& nr) {
    for (const TLiveRider& r : riders)
      if (r.number == nr) return r;
    static TLiveRider none;
    ADD_FAILURE() << "no rider " << nr.toStdString();
    return none;
  }
};

}  // namespace

TEST_F(LiveSnapshotTest, RidersCarryTheirLapsOldestFirstTheirStateAndTheirRunningTime) {
  Start("1", "Anna", "F", kT0);
  Start("2", "Ben", "M", kT0 + 1000);
  Start("3", "Cleo", "F", kT0 + 2000);
  // Anna rides five laps: 61.0, 62.0, 63.0, 64.0, 65.0 s.
  uint32_t at = kT0;
  for (int lap = 1; lap <= 4; ++lap) Lap("1", at += 60000 + lap * 1000);
  Stop("1", at += 65000);
  // Ben two laps, then stopped; Cleo on course with one lap.
  Lap("2", kT0 + 1000 + 70000);
  Lap("2", kT0 + 1000 + 140000);
  Stop("2", kT0 + 1000 + 150000);
  Lap("3", kT0 + 2000 + 80000);

  const std::vector<TLiveRider> riders = LiveRiders(*protocol, kT0 + 2000 + 95000);
  ASSERT_EQ(riders.size(), 3u) << "the entry row is no rider";
  const TLiveRider& anna = Rider(riders, "1");
  EXPECT_EQ(anna.state, TLiveRider::State::Finished);
  EXPECT_EQ(anna.place, "1");
  EXPECT_EQ(anna.laps, 5);
  EXPECT_EQ(anna.lapTimes, (std::array<QString, 5>{"1.01,0", "1.02,0", "1.03,0", "1.04,0", "1.05,0"}));
  EXPECT_EQ(anna.LastLap(), "1.05,0");
  EXPECT_EQ(anna.time, "5.15,0");
  const TLiveRider& ben = Rider(riders, "2");
  EXPECT_EQ(ben.state, TLiveRider::State::Stopped);
  EXPECT_EQ(ben.laps, 3);
  EXPECT_EQ(ben.lapTimes[0], "1.10,0");
  EXPECT_EQ(ben.lapTimes[2], "10,0");
  EXPECT_TRUE(ben.lapTimes[3].isEmpty());
  const TLiveRider& cleo = Rider(riders, "3");
  EXPECT_EQ(cleo.state, TLiveRider::State::OnCourse);
  EXPECT_EQ(cleo.laps, 1);
  EXPECT_EQ(cleo.LastLap(), "1.20,0");
  EXPECT_EQ(cleo.runningMs, 95000) << "counted from his start to the snapshot";
}

TEST_F(LiveSnapshotTest, TheTickerKeepsTheTenNewestEventsWithPlacesForFinishers) {
  Start("7", "Dora", "F", kT0);
  Start("8", "Emil", "M", kT0 + 500);
  Start("9", "Finn", "M", kT0 + 600);
  Start("10", "Gina", "F", kT0 + 700);
  uint32_t at = kT0;
  for (int lap = 1; lap <= 4; ++lap) Lap("7", at += 60000);
  Stop("7", at += 60000);
  Lap("8", kT0 + 500 + 90000);
  Stop("8", kT0 + 500 + 180000);

  const std::vector<TLiveEvent> events = ticker.Events();
  ASSERT_EQ(events.size(), TRaceTicker::kEvents) << "four starts, five and two presses: the oldest goes";
  // Newest first: Emil stopped after two laps (no place), then his lap, then Dora's finish.
  EXPECT_EQ(events[0].kind, TLiveEvent::Kind::Stop);
  EXPECT_EQ(events[0].number, "8");
  EXPECT_TRUE(events[0].place.isEmpty());
  EXPECT_EQ(events[0].lap, 2);
  EXPECT_EQ(events[1].kind, TLiveEvent::Kind::Lap);
  EXPECT_EQ(events[1].lapTime, "1.30,0");
  EXPECT_EQ(events[2].kind, TLiveEvent::Kind::Finish);
  EXPECT_EQ(events[2].number, "7");
  EXPECT_EQ(events[2].place, "1");
  EXPECT_EQ(events[2].category, "F");
  EXPECT_EQ(events[2].time, "5.00,0");
  EXPECT_EQ(events[2].wallClock, "10:02:00");
  EXPECT_EQ(events.back().kind, TLiveEvent::Kind::Start);
  EXPECT_EQ(events.back().number, "8") << "the first start is gone";
  // An entry row or a row out of range adds nothing.
  ticker.Add(TLiveEvent::Kind::Lap, *protocol, grid.RowCount() - 1, "x");
  ticker.Add(TLiveEvent::Kind::Lap, *protocol, 999, "x");
  EXPECT_EQ(ticker.Events().front().kind, TLiveEvent::Kind::Stop);
  ticker.Clear();
  EXPECT_TRUE(ticker.Events().empty());
}
