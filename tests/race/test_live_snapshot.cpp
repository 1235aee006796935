// The race as the live pages get it: riders from the protocol, and the announcer's events read
// from the presses the rows keep.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "common/Doubles.h"
#include "grid/SortGrid.h"
#include "race/LiveSnapshot.h"
#include "race/Protocol.h"
#include "race/RaceSession.h"

namespace {

constexpr uint32_t kT0 = 7'000'000;

struct LiveSnapshotTest : ::testing::Test {
  TSortGrid grid;
  std::unique_ptr<TProtocol> protocol;

  LiveSnapshotTest() {
    grid.resize(800, 300);
    protocol = std::make_unique<TProtocol>(grid, [](int k) { return k * 1000; });
    protocol->StartUp();
  }
  int32_t RowOf(const QString& nr) const { return protocol->RowOfNumber(nr); }
  void Start(const QString& nr, const QString& name, const QString& cat, uint32_t at) {
    grid.SetRow(grid.RowCount() - 1);
    protocol->RecordStart(at, nr, name, cat);
  }
  void Lap(const QString& nr, uint32_t at) {
    grid.SetRow(RowOf(nr));
    protocol->RecordLap(at);
  }
  void Stop(const QString& nr, uint32_t at) {
    grid.SetRow(RowOf(nr));
    protocol->StopRider(at);
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

TEST_F(LiveSnapshotTest, EventsAreTheTenNewestPressesWithTheirTimeOfDayAndPlacesForFinishers) {
  Start("7", "Dora", "F", kT0);
  Start("8", "Emil", "M", kT0 + 500);
  Start("9", "Finn", "M", kT0 + 600);
  Start("10", "Gina", "F", kT0 + 700);
  uint32_t at = kT0;
  for (int lap = 1; lap <= 4; ++lap) Lap("7", at += 60000);
  Stop("7", at += 60000);
  Lap("8", kT0 + 500 + 400000);
  Stop("8", kT0 + 500 + 490000);

  // The snapshot is taken at 12:00:00, ten seconds after Emil's stop.
  const QDateTime now(QDate(2026, 6, 14), QTime(12, 0, 0));
  const std::vector<TLiveEvent> events = LiveEvents(*protocol, kT0 + 500 + 500000, now);
  ASSERT_EQ(events.size(), kLiveEvents) << "four starts, five and two presses: the oldest goes";
  // Newest first: Emil stopped after one lap (no place), then his lap, then Dora's finish.
  EXPECT_EQ(events[0].kind, TLiveEvent::Kind::Stop);
  EXPECT_EQ(events[0].number, "8");
  EXPECT_TRUE(events[0].place.isEmpty());
  EXPECT_EQ(events[0].lap, 2);
  EXPECT_EQ(events[0].lapTime, "1.30,0");
  EXPECT_EQ(events[0].wallClock, "11:59:50");
  EXPECT_EQ(events[1].kind, TLiveEvent::Kind::Lap);
  EXPECT_EQ(events[1].lap, 1);
  EXPECT_EQ(events[1].lapTime, "6.40,0");
  EXPECT_EQ(events[1].wallClock, "11:58:20");
  EXPECT_EQ(events[2].kind, TLiveEvent::Kind::Finish);
  EXPECT_EQ(events[2].number, "7");
  EXPECT_EQ(events[2].name, "Dora");
  EXPECT_EQ(events[2].place, "1");
  EXPECT_EQ(events[2].category, "F");
  EXPECT_EQ(events[2].lap, 5);
  EXPECT_EQ(events[2].time, "5.00,0");
  EXPECT_EQ(events[2].wallClock, "11:56:39") << "200.5 s before";
  EXPECT_EQ(events[3].kind, TLiveEvent::Kind::Lap);
  EXPECT_EQ(events[3].lap, 4);
  EXPECT_EQ(events.back().kind, TLiveEvent::Kind::Start);
  EXPECT_EQ(events.back().number, "8") << "the first start is gone";
  EXPECT_EQ(events.back().lap, 0);

  // Fewer presses than ten: all of them; an empty protocol: none.
  protocol->Clear();
  Start("1", "Ida", "F", kT0);
  ASSERT_EQ(LiveEvents(*protocol, kT0 + 1000, now).size(), 1u);
  protocol->Clear();
  EXPECT_TRUE(LiveEvents(*protocol, kT0, now).empty());
}

TEST_F(LiveSnapshotTest, EventsFollowWhatIsTakenBackCorrectedAndRestored) {
  Start("1", "Anna", "F", kT0);
  Start("2", "Ben", "F", kT0 + 1000);
  Lap("1", kT0 + 60000);
  const QDateTime now(QDate(2026, 6, 14), QTime(12, 0, 0));
  const uint32_t nowTick = kT0 + 100000;
  ASSERT_EQ(LiveEvents(*protocol, nowTick, now).front().number, "1");

  // A LAP pressed on the wrong rider, taken back: its event goes with it.
  grid.SetRow(RowOf("2"));
  const TProtocolChange wrong = protocol->Track([&] { protocol->RecordLap(kT0 + 70000); });
  ASSERT_EQ(LiveEvents(*protocol, nowTick, now).front().number, "2");
  protocol->Apply(wrong, false);
  std::vector<TLiveEvent> events = LiveEvents(*protocol, nowTick, now);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events.front().kind, TLiveEvent::Kind::Lap);
  EXPECT_EQ(events.front().number, "1");

  // Anna's lap moved to Ben: the event is his now.
  EXPECT_TRUE(protocol->MoveLastPress(RowOf("1"), "2").isEmpty());
  events = LiveEvents(*protocol, nowTick, now);
  EXPECT_EQ(events.front().number, "2");
  EXPECT_EQ(events.front().lapTime, "59,0");

  // The rows as a journal restores them into a new protocol: the same events.
  TSortGrid restoredGrid;
  TProtocol restored(restoredGrid, [](int k) { return k * 1000; });
  restored.StartUp();
  restoredGrid.SetRowCount(grid.RowCount());
  for (int32_t row = 1; row < grid.RowCount(); ++row) {
    for (int32_t col = 0; col < kProtocolColumns; ++col) restoredGrid.SetCells(col, row, grid.Cells(col, row));
    restored.SetRecordText(row, protocol->RecordText(row));
  }
  const std::vector<TLiveEvent> again = LiveEvents(restored, nowTick, now);
  ASSERT_EQ(again.size(), events.size());
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(again[i].kind, events[i].kind) << i;
    EXPECT_EQ(again[i].number, events[i].number) << i;
    EXPECT_EQ(again[i].wallClock, events[i].wallClock) << i;
  }
}

TEST_F(LiveSnapshotTest, AFinishShowsThePlaceAsItStandsNow) {
  Start("1", "Anna", "F", kT0);
  Start("2", "Bea", "F", kT0 + 100000);
  for (int lap = 1; lap <= 5; ++lap) (lap < 5 ? Lap("1", kT0 + lap * 70000) : Stop("1", kT0 + lap * 70000));
  const QDateTime now(QDate(2026, 6, 14), QTime(12, 0, 0));
  EXPECT_EQ(LiveEvents(*protocol, kT0 + 360000, now).front().place, "1");
  // Bea rides faster and finishes after Anna: first in F, Anna second.
  for (int lap = 1; lap <= 5; ++lap)
    (lap < 5 ? Lap("2", kT0 + 100000 + lap * 60000) : Stop("2", kT0 + 100000 + lap * 60000));
  const std::vector<TLiveEvent> events = LiveEvents(*protocol, kT0 + 500000, now);
  EXPECT_EQ(events[0].kind, TLiveEvent::Kind::Finish);
  EXPECT_EQ(events[0].number, "2");
  EXPECT_EQ(events[0].place, "1");
  EXPECT_EQ(events[1].kind, TLiveEvent::Kind::Finish);
  EXPECT_EQ(events[1].number, "1");
  EXPECT_EQ(events[1].place, "2");
}

TEST(SnapshotPacerTest, ABigRaceWaitsFourTimesItsLastCostAtMostAQuarterSecond) {
  TSnapshotPacer pacer;
  EXPECT_EQ(pacer.DelayMs(0), 0) << "nothing taken yet";
  // A small race: under a millisecond, never held back.
  pacer.Took(500, 0);
  EXPECT_EQ(pacer.DelayMs(500), 0);
  // 20 ms at 1,000: the next from 1,080 on.
  pacer.Took(1000, 20);
  EXPECT_EQ(pacer.DelayMs(1000), 80);
  EXPECT_EQ(pacer.DelayMs(1050), 30);
  EXPECT_EQ(pacer.DelayMs(1080), 0);
  EXPECT_EQ(pacer.DelayMs(5000), 0);
  // However long one took, the next waits at most 250 ms; a clock that went back is no reason
  // to wait longer.
  pacer.Took(2000, 400);
  EXPECT_EQ(pacer.DelayMs(2000), 250);
  EXPECT_EQ(pacer.DelayMs(0), 250);
  pacer.Took(3000, -5);
  EXPECT_EQ(pacer.DelayMs(3000), 0);
}

TEST_F(LiveSnapshotTest, CategoriesKeepTheRankingsOrderAndSpellingWhateverTheWindowSortsBy) {
  // Four categories, two of them spelt two ways; finishers, riders stopped early, one on course.
  struct Ride {
    const char *nr, *name, *cat;
    int laps;        // 5: finishes
    uint32_t lapMs;  // each lap
  };
  const Ride rides[] = {{"1", "Zora", "Z-Klasse", 5, 70000}, {"2", "Anton", "a-klasse", 5, 66000},
                        {"3", "Bert", "A-Klasse", 5, 65000}, {"4", "Carl", "A-Klasse", 2, 60000},
                        {"5", "Dana", "m", 5, 80000},        {"6", "Emil", "M", 5, 75000},
                        {"7", "Finn", "Z-Klasse", 3, 61000}, {"8", "Gero", "Z-Klasse", 1, 62000},
                        {"9", "Hugo", "_Gast", 5, 90000}};
  for (size_t i = 0; i < std::size(rides); ++i) Start(rides[i].nr, rides[i].name, rides[i].cat, kT0 + uint32_t(i) * 1000);
  for (size_t i = 0; i < std::size(rides); ++i) {
    const uint32_t start = kT0 + uint32_t(i) * 1000;
    for (int lap = 1; lap < rides[i].laps; ++lap) Lap(rides[i].nr, start + uint32_t(lap) * rides[i].lapMs);
    Stop(rides[i].nr, start + uint32_t(rides[i].laps) * rides[i].lapMs);
  }
  Start("10", "Ida", "A-Klasse", kT0 + 500000);  // on course: not among those done
  auto shown = [&] {
    const std::vector<TLiveRider> riders = LiveRiders(*protocol, kT0 + 600000);
    QStringList lines;
    for (const TLiveCategory& category : LiveCategories(riders)) {
      QStringList names;
      for (const TLiveRider* rider : category.riders) names << rider->name;
      lines << category.name + ": " + names.join(' ');
    }
    return lines;
  };
  // Letter case aside, by character code: '_' before the letters, which compare as small ones.
  const QStringList ranking = {"_Gast: Hugo", "A-Klasse: Bert Anton Carl", "M: Emil Dana", "Z-Klasse: Zora Gero Finn"};
  ASSERT_EQ(shown(), ranking);
  for (const int32_t col : {pcName, pcNumber, pcTime, pcCategory, pcPlace, pcLapCount}) {
    for (const TSortDirection direction : {sdAscending, sdDescending}) {
      grid.SortOptions().SetSortDirection(direction);
      grid.SortByColumn(col);
      EXPECT_EQ(shown(), ranking) << "after a sort by column " << col << (direction == sdAscending ? " up" : " down");
    }
  }
}

namespace {

QString Described(const TLiveRider& r, int32_t shift) {
  return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9|")
             .arg(int(r.state))
             .arg(r.place, r.number, r.name, r.category)
             .arg(r.laps)
             .arg(r.speed, r.time)
             .arg(r.state == TLiveRider::State::OnCourse ? r.RunningMs(shift) : 0) +
         QStringList(r.lapTimes.begin(), r.lapTimes.end()).join(',');
}

QString Described(const TLiveEvent& e) {
  return QStringList{QString::number(int(e.kind)), e.wallClock, e.number, e.name, e.category, QString::number(e.lap),
                     e.lapTime, e.place, e.time}
      .join('|');
}

// The snapshot as one text per rider and event, to compare and to show where they differ.
QStringList Described(const TLiveSnapshot& s) {
  QStringList lines;
  for (const TLiveRider& r : s.riders) lines << Described(r, s.runningShiftMs);
  lines << "--";
  for (const TLiveEvent& e : s.events) lines << Described(e);
  return lines;
}

QStringList Full(const TProtocol& protocol, uint32_t now, const QDateTime& wall) {
  TLiveSnapshot full;
  full.riders = LiveRiders(protocol, now);
  full.events = LiveEvents(protocol, now, wall);
  return Described(full);
}

}  // namespace

// The snapshot kept between changes is, after every change of a random race, the one read from
// the whole protocol: presses at equal ticks, stops that rank, categories in two spellings,
// corrections, removals, header sorts, undo and redo, a restore; several changes may come
// between two snapshots. A change in place leaves the other riders' records shared.
TEST(LiveTracker, KeptSnapshotIsTheFullOneAfterEveryChangeOfARandomRace) {
  const QString categories[] = {"M", "m", "W", "w", "Jugend"};
  const QDateTime wall(QDate(2026, 6, 14), QTime(12, 0, 0));
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    TSortGrid grid;
    grid.resize(900, 400);
    TRaceSession session(grid, [](int k) { return k * 1000; });
    TProtocol& protocol = session.Protocol();
    protocol.StartUp();
    TLiveTracker tracker;
    protocol.OnHeaderSort = [&](const std::function<void()>& sort) { session.Change("Sortieren", "", "SORT", sort); };
    bool inPlace = true;
    size_t touched = 0;
    session.AddListener([&](const TSessionChange& change) {
      tracker.Note(protocol, change);
      inPlace = inPlace && change.Protocol && change.InPlace;
      touched += change.Rows.size();
    });
    std::mt19937 random(seed);
    uint32_t tick = 4'294'000'000u;  // the counter wraps during the race
    TLiveSnapshot last;
    for (int step = 0; step < 200; ++step) {
      tick += random() % 3 == 0 ? 0 : 300 + random() % 9000;  // a third at the tick before
      const int32_t riders = grid.RowCount() - 2;
      const int32_t row = riders > 0 ? 1 + static_cast<int32_t>(random() % static_cast<uint32_t>(riders)) : 1;
      const auto change = [&](const std::function<void()>& operation) { session.Change("x", "", "X", operation); };
      const uint32_t what = random() % 16;
      if (what < 2 || riders < 3) {
        grid.SetRow(grid.RowCount() - 1);
        const QString nr = QString::number(1 + random() % 60);
        const QString cat = categories[random() % std::size(categories)];
        change([&] { protocol.RecordStart(tick, nr, "Fahrer " + QString::number(random() % 5), cat); });
      } else if (what < 8) {
        grid.SetRow(row);
        session.Command("LAP", [&] { session.Change("LAP", "", "", [&] { protocol.RecordLap(tick); }); });
      } else if (what < 11) {
        grid.SetRow(row);
        session.Command("STOPP", [&] { session.Change("STOPP", "", "", [&] { protocol.StopRider(tick); }); });
      } else if (what == 11) {
        session.Undo();
      } else if (what == 12) {
        session.Redo();
      } else if (what == 13) {
        const QString to = grid.Cells(pcNumber, 1 + static_cast<int32_t>(random() % static_cast<uint32_t>(riders)));
        const QString cat = categories[random() % std::size(categories)];
        switch (random() % 3) {
          case 0: change([&] { protocol.MoveLastPress(row, to); }); break;
          case 1: change([&] { protocol.DeleteLap(row, 1 + static_cast<int32_t>(random() % 3)); }); break;
          default: change([&] { protocol.EditRider(row, grid.Cells(pcNumber, row), grid.Cells(pcName, row), cat); });
        }
      } else if (what == 14) {
        const int32_t col = random() % 2 ? pcNumber : pcName;
        grid.SortOptions().SetSortDirection(random() % 2 ? sdAscending : sdDescending);
        grid.OnHeaderSort(&grid, [&] { grid.SortByColumn(col); });
      } else if (random() % 3 == 0) {
        const std::vector<QStringList> rows = session.Rows();
        session.Restore(rows, {});
      } else {
        grid.SetRow(row);
        change([&] { protocol.mCutClick(); });
      }
      if (random() % 3 == 0) continue;  // gathered into the next snapshot
      const uint32_t now = tick + random() % 5000;
      TLiveSnapshot kept;
      tracker.Take(protocol, now, wall, kept);
      ASSERT_EQ(Described(kept), Full(protocol, now, wall)) << "seed " << seed << ", step " << step;
      if (inPlace && kept.riders.size() == last.riders.size()) {
        size_t fresh = 0;
        for (size_t i = 0; i < kept.riders.size(); ++i) fresh += kept.riders.Shared(i) != last.riders.Shared(i);
        EXPECT_LE(fresh, touched) << "seed " << seed << ", step " << step;
      }
      last = kept;
      inPlace = true;
      touched = 0;
    }
  }
}

TEST(LiveTracker, ARiderListCopiedIsNotChangedThroughTheCopy) {
  TLiveRiderList riders;
  for (int i = 0; i < 150; ++i) {
    TLiveRider rider;
    rider.number = QString::number(i);
    riders.push_back(rider);
  }
  const TLiveRiderList before = riders;
  riders[70].name = "Anna";
  riders.back().runningMs = 5;
  EXPECT_EQ(riders[70].name, "Anna");
  EXPECT_TRUE(before[70].name.isEmpty());
  EXPECT_EQ(before.back().runningMs, 0);
  EXPECT_EQ(before.Shared(3), riders.Shared(3)) << "the others stay shared";
  QStringList numbers;
  for (const TLiveRider& rider : before) numbers << rider.number;
  EXPECT_EQ(numbers.size(), 150);
  EXPECT_EQ(numbers.last(), "149");
}
