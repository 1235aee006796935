// The race session on its own: every change is one undo step, and its listeners hear of each
// change exactly once, with what it touched; a change that changes nothing is neither pushed
// nor told.
#include <gtest/gtest.h>

#include "grid/SortGrid.h"
#include "race/RaceSession.h"

#include <random>

namespace {

using TKind = TSessionChange::TKind;

struct Session {
  TSortGrid grid;
  TRaceSession session{grid, [](int k) { return k * 1000; }};
  std::vector<TSessionChange> told;

  Session() {
    grid.resize(900, 400);
    session.Protocol().StartUp();
    session.AddListener([this](const TSessionChange& change) { told.push_back(change); });
  }
  TProtocol& Protocol() { return session.Protocol(); }
  bool Start(uint32_t tick, const QString& nr) {
    grid.SetRow(grid.RowCount() - 1);
    return session.Change("START " + nr, "Nr. " + nr, "START",
                          [&, this] { Protocol().RecordStart(tick, nr, "Fahrer " + nr, "M"); });
  }
  // A race key: the command, told once as LAP, around the step that records the press.
  void Lap(uint32_t tick, int32_t row) {
    grid.SetRow(row);
    session.Command("LAP", [&, this] { session.Change("LAP", "Nr. x", QString(), [&, this] { Protocol().RecordLap(tick); }); });
  }
  std::vector<TSessionChange> Take() { return std::exchange(told, {}); }
};

TEST(RaceSession, EachChangeIsOneUndoStepToldOnceWithWhatItTouched) {
  Session s;
  ASSERT_TRUE(s.Start(1000, "7"));
  ASSERT_TRUE(s.Start(2000, "8"));
  std::vector<TSessionChange> told = s.Take();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[1].Kind, TKind::Step);
  EXPECT_EQ(told[1].Event, "START");
  EXPECT_TRUE(told[1].Protocol);
  EXPECT_EQ(told[1].Rows, (std::vector<int32_t>{2, 3}));  // his row and the new entry row
  EXPECT_EQ(s.session.UndoStack().count(), 2);

  const int32_t row8 = s.Protocol().RowOfNumber("8");
  s.Lap(70000, row8);
  told = s.Take();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].Event, "LAP");
  EXPECT_EQ(told[0].Rows, std::vector<int32_t>{s.Protocol().RowOfNumber("8")});
  EXPECT_EQ(s.session.UndoStack().count(), 3);

  // Undo and redo are told as such, and each is listed as a correction.
  s.session.Undo();
  s.session.Redo();
  told = s.Take();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0].Kind, TKind::Undo);
  EXPECT_EQ(told[0].Event, "UNDO");
  EXPECT_EQ(told[1].Kind, TKind::Redo);
  EXPECT_EQ(told[1].Event, "REDO");
  EXPECT_FALSE(told[1].Rows.empty());
  ASSERT_EQ(s.session.Corrections().Entries().size(), 2u);
  EXPECT_EQ(s.session.Corrections().Entries()[0].What, "Rückgängig: LAP");
  EXPECT_EQ(s.session.Corrections().Entries()[1].What, "Wiederholt: LAP");

  // A group of steps (a START with the list's move) is taken back as one, told once.
  s.session.Group("START 9", [&] {
    s.Start(3000, "9");
    s.session.Push(new QUndoCommand("Liste weiter"));
  });
  EXPECT_EQ(s.session.UndoStack().count(), 4);
  s.Take();
  s.session.Undo();
  EXPECT_EQ(s.Take().size(), 1u);
  EXPECT_LT(s.Protocol().RowOfNumber("9"), 1);
}

TEST(RaceSession, AChangeOfNothingIsNeitherPushedNorToldAndKeepsTheRedoSteps) {
  Session s;
  s.Start(1000, "7");
  s.session.Undo();
  s.Take();
  ASSERT_TRUE(s.session.UndoStack().canRedo());

  // A lap on the entry row and a race key that records nothing.
  s.grid.SetRow(s.grid.RowCount() - 1);
  EXPECT_FALSE(s.session.Change("LAP", "Nr. ", "LAP", [&] { s.Protocol().RecordLap(5000); }));
  s.session.Command("LAP", [] {});
  s.Lap(5000, s.grid.RowCount() - 1);
  EXPECT_TRUE(s.Take().empty());
  EXPECT_TRUE(s.session.UndoStack().canRedo());
  EXPECT_EQ(s.session.Corrections().Entries().size(), 1u);  // the undo above

  // A change outside the undo stack is told as it is; emptying tells with nothing to journal.
  s.session.Changed("ENDE");
  s.session.Clear();
  const std::vector<TSessionChange> told = s.Take();
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0].Kind, TKind::Other);
  EXPECT_EQ(told[0].Event, "ENDE");
  EXPECT_FALSE(told[0].Protocol);
  EXPECT_TRUE(told[1].Event.isEmpty());
  EXPECT_EQ(s.session.UndoStack().count(), 0);
  EXPECT_TRUE(s.session.Corrections().IsEmpty());
}

TEST(RaceSession, ARestoredRaceIsTheRaceItsRowsWereTakenFromToldOnce) {
  Session from, to;
  from.Start(1000, "7");
  from.Start(2000, "8");
  from.Lap(70000, from.Protocol().RowOfNumber("7"));
  from.session.Undo();
  to.Take();
  to.session.Restore(from.session.Rows(), from.session.Corrections().Lines());
  EXPECT_EQ(to.session.Rows(), from.session.Rows());
  EXPECT_EQ(to.session.Corrections().Lines(), from.session.Corrections().Lines());
  EXPECT_EQ(to.session.Corrections().Entries().size(), 1u);
  ASSERT_EQ(to.Take().size(), 1u);
}

}  // namespace

namespace {

// The rows as the grid and the records hold them now, read afresh.
std::vector<QStringList> ReadAfresh(Session& s) {
  std::vector<QStringList> rows;
  for (int32_t r = 0; r < s.grid.RowCount(); ++r) {
    QStringList row;
    for (int32_t c = 0; c < kProtocolColumns; ++c) row << s.grid.Cells(c, r);
    row << (r > 0 ? s.Protocol().RecordText(r) : QString());
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

// The rows the journal is given are kept between changes: after every change of a random race
// (presses, stops that rank, removals, undo and redo) they are the rows as they stand.
TEST(RaceSession, TheKeptRowsAreTheRowsAfterEveryChange) {
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    Session s;
    std::mt19937 random(seed);
    uint32_t tick = 1000;
    for (int step = 0; step < 120; ++step) {
      tick += 500 + random() % 4000;
      const int32_t riders = s.grid.RowCount() - 2;
      const int32_t row = riders > 0 ? 1 + static_cast<int32_t>(random() % static_cast<uint32_t>(riders)) : 1;
      switch (random() % 6) {
        case 0: s.Start(tick, QString::number(step + 1)); break;
        case 1:
        case 2: s.Lap(tick, row); break;
        case 3:
          s.grid.SetRow(row);
          s.session.Command("STOPP", [&] { s.session.Change("STOPP", "", "", [&] { s.Protocol().StopRider(tick); }); });
          break;
        case 4: s.session.Undo(); break;
        default: s.session.Redo(); break;
      }
      ASSERT_EQ(s.session.Rows(), ReadAfresh(s)) << "seed " << seed << ", step " << step;
    }
  }
}
