// Corrections on the protocol: every one leaves the rows (cells, hidden ticks and the times
// beside them) as the right presses would have; each undo step gives back exactly what was
// there, the order of the rows included.
#include <gtest/gtest.h>

#include <QUndoStack>
#include <memory>
#include <random>

#include "common/Doubles.h"
#include "grid/SortGrid.h"
#include "race/Protocol.h"
#include "race/ProtocolCommand.h"
#include "race/TimeText.h"

namespace {

constexpr uint32_t kT0 = 1'000'000;

// A protocol on its own grid; its entry fields follow the selected row, as the window's do.
struct Race {
  TSortGrid grid;
  std::unique_ptr<TProtocol> protocol;
  QUndoStack stack;
  QString number, name, category;

  Race() {
    grid.resize(900, 400);
    protocol = std::make_unique<TProtocol>(grid, [](int k) { return k * 1000; });
    protocol->OnSelectRow = [this](int32_t row) {
      number = grid.Cells(pcNumber, row);
      name = grid.Cells(pcName, row);
      category = grid.Cells(pcCategory, row);
    };
    protocol->StartNumberField = [this] { return number; };
    protocol->NameField = [this] { return name; };
    protocol->CategoryField = [this] { return category; };
    protocol->StartUp();
  }
  int32_t RowOf(const QString& nr) const { return protocol->RowOfNumber(nr); }
  QString Cell(int32_t col, const QString& nr) const { return grid.Cells(col, RowOf(nr)); }
  void Push(const std::function<void()>& operation) {
    TProtocolCommand::Push(stack, *protocol, QStringLiteral("Schritt"), operation, nullptr);
  }
  void Start(uint32_t tick, const QString& nr, const QString& cat = QStringLiteral("M")) {
    grid.SetRow(grid.RowCount() - 1);
    Push([=, this] { protocol->RecordStart(tick, nr, QStringLiteral("Fahrer ") + nr, cat); });
  }
  void Lap(uint32_t tick, const QString& nr) {
    grid.SetRow(RowOf(nr));
    Push([=, this] { protocol->RecordLap(tick); });
  }
  void Stop(uint32_t tick, const QString& nr) {
    grid.SetRow(RowOf(nr));
    Push([=, this] { protocol->StopRider(tick); });
  }
  QString Correct(const std::function<QString()>& correction) {
    QString refusal;
    Push([&] { refusal = correction(); });
    return refusal;
  }
  // Every cell of every row and the times each row carries; corrected marks aside.
  std::vector<QStringList> State() {
    std::vector<QStringList> rows;
    for (int32_t r = 0; r < grid.RowCount(); ++r) {
      QStringList row;
      for (int32_t c = 0; c < kProtocolColumns; ++c) row << grid.Cells(c, r);
      if (r > 0) {
        const TRowRecord& record = protocol->Record(r);
        row << (record.Times ? record.Times->ToText() : QStringLiteral("?"));
      }
      rows.push_back(row);
    }
    return rows;
  }
};

// Two riders of one category, five laps of about 90 s each, started 20 s apart.
void CleanRace(Race& race) {
  race.Start(kT0, "1");
  race.Start(kT0 + 20000, "2");
  for (uint32_t lap = 1; lap <= 4; ++lap) {
    race.Lap(kT0 + lap * 90000 + lap * 10, "1");
    race.Lap(kT0 + 20000 + lap * 91000, "2");
  }
  race.Stop(kT0 + 450070, "1");
  race.Stop(kT0 + 20000 + 455000, "2");
}

}  // namespace

TEST(ProtocolCorrections, ALapOnTheWrongRiderMovedToTheRightOneGivesTheRightRace) {
  Race clean, fixed;
  CleanRace(clean);
  fixed.Start(kT0, "1");
  fixed.Start(kT0 + 20000, "2");
  for (uint32_t lap = 1; lap <= 4; ++lap) {
    fixed.Lap(kT0 + lap * 90000 + lap * 10, "1");
    if (lap == 3) {
      // Rider 2 passed, the press went to rider 1 (who then has a lap too many).
      fixed.Lap(kT0 + 20000 + lap * 91000, "1");
      EXPECT_EQ(fixed.Correct([&] { return fixed.protocol->MoveLastPress(fixed.RowOf("1"), "2"); }), "");
    } else {
      fixed.Lap(kT0 + 20000 + lap * 91000, "2");
    }
  }
  fixed.Stop(kT0 + 450070, "1");
  fixed.Stop(kT0 + 20000 + 455000, "2");
  EXPECT_EQ(fixed.State(), clean.State());
  EXPECT_TRUE(fixed.protocol->Record(fixed.RowOf("2")).Corrected);
}

TEST(ProtocolCorrections, AWrongStoppMovedToTheRightRiderUnranksTheOneAndRanksTheOther) {
  Race clean, fixed;
  CleanRace(clean);
  fixed.Start(kT0, "1");
  fixed.Start(kT0 + 20000, "2");
  for (uint32_t lap = 1; lap <= 4; ++lap) {
    fixed.Lap(kT0 + lap * 90000 + lap * 10, "1");
    fixed.Lap(kT0 + 20000 + lap * 91000, "2");
  }
  fixed.Stop(kT0 + 450070, "1");
  // Rider 2's finish pressed on the row of rider 3, who is on course: it stops him.
  fixed.Start(kT0 + 40000, "3");
  fixed.Stop(kT0 + 20000 + 455000, "3");
  EXPECT_EQ(fixed.Cell(pcLastLapTick, "3"), "0");
  EXPECT_EQ(fixed.Correct([&] { return fixed.protocol->MoveLastPress(fixed.RowOf("3"), "2"); }), "");
  EXPECT_EQ(fixed.Cell(pcPlace, "2"), "2");
  EXPECT_EQ(fixed.Cell(pcPlace, "3"), "-");
  EXPECT_EQ(fixed.Cell(pcLapCount, "3"), "0");
  EXPECT_EQ(fixed.Cell(pcStartTick, "3"), TickToText(kT0 + 40000));
  // Without rider 3, the race is the clean one.
  EXPECT_EQ(fixed.Correct([&] { return fixed.protocol->DeleteLap(fixed.RowOf("3"), 1); }),
            "Nr. 3 hat keine Runde 1.");
  fixed.grid.SetRow(fixed.RowOf("3"));
  fixed.Push([&] { fixed.protocol->mCutClick(); });
  EXPECT_EQ(fixed.State(), clean.State());
}

TEST(ProtocolCorrections, ADoublePressDeletedAndAMissedLapInsertedGiveTheRightRace) {
  Race clean, fixed;
  CleanRace(clean);
  fixed.Start(kT0, "1");
  fixed.Start(kT0 + 20000, "2");
  for (uint32_t lap = 1; lap <= 4; ++lap) {
    fixed.Lap(kT0 + lap * 90000 + lap * 10, "1");
    if (lap == 2) fixed.Lap(kT0 + lap * 90000 + 900, "1");  // pressed twice
    if (lap != 3) fixed.Lap(kT0 + 20000 + lap * 91000, "2");  // missed
  }
  EXPECT_EQ(fixed.Correct([&] { return fixed.protocol->DeleteLap(fixed.RowOf("1"), 3); }), "");
  const uint32_t missed = kT0 + 20000 + 3 * 91000;
  EXPECT_EQ(fixed.Correct([&] { return fixed.protocol->InsertLap(fixed.RowOf("2"), missed, missed + 100000, kT0); }), "");
  fixed.Stop(kT0 + 450070, "1");
  fixed.Stop(kT0 + 20000 + 455000, "2");
  EXPECT_EQ(fixed.State(), clean.State());
}

TEST(ProtocolCorrections, RefusedCorrectionsSayWhyAndChangeNothing) {
  Race race;
  race.Start(kT0, "1");
  race.Start(kT0 + 20000, "2");
  race.Start(kT0 + 40000, "3");
  for (uint32_t lap = 1; lap <= 4; ++lap) race.Lap(kT0 + lap * 90000, "1");
  for (uint32_t lap = 1; lap <= 4; ++lap) race.Lap(kT0 + 20000 + lap * 90000, "2");
  race.Stop(kT0 + 20000 + 450000, "2");
  race.Lap(kT0 + 40000 + 90000, "3");
  const auto before = race.State();
  const int steps = race.stack.count();
  const int32_t one = race.RowOf("1"), two = race.RowOf("2"), three = race.RowOf("3");
  const uint32_t now = kT0 + 600000;
  auto refused = [&](const std::function<QString()>& correction) {
    const QString refusal = race.Correct(correction);
    EXPECT_FALSE(refusal.isEmpty());
    EXPECT_EQ(race.State(), before) << refusal.toStdString();
    EXPECT_EQ(race.stack.count(), steps) << refusal.toStdString();
    return refusal.toStdString();
  };
  EXPECT_EQ(refused([&] { return race.protocol->MoveLastPress(one, "7"); }), "Es gibt keinen Fahrer mit der Startnummer 7.");
  EXPECT_EQ(refused([&] { return race.protocol->MoveLastPress(one, "1"); }), "Die Zeit gehört schon zu Nr. 1.");
  EXPECT_EQ(refused([&] { return race.protocol->MoveLastPress(three, "1"); }),
            "Nr. 1 hätte dann fünf Runden ohne STOPP; die fünfte nimmt STOPP.");
  EXPECT_EQ(refused([&] { return race.protocol->MoveLastPress(race.grid.RowCount() - 1, "1"); }),
            "In dieser Zeile steht kein Fahrer.");
  EXPECT_EQ(refused([&] { return race.protocol->InsertLap(three, now + 51, now, kT0); }), "Die Zeit liegt in der Zukunft.");
  EXPECT_EQ(refused([&] { return race.protocol->InsertLap(three, kT0 + 39900, now, kT0); }),
            "Die Zeit liegt nicht nach dem Start von Nr. 3.");
  EXPECT_EQ(refused([&] { return race.protocol->InsertLap(three, kT0 + 130000, now, kT0); }),
            "Die Zeit 2.10,0 fällt auf eine Zeit von Nr. 3: Runde 1 bei 2.10,0.");
  EXPECT_EQ(refused([&] { return race.protocol->InsertLap(one, kT0 + 45000, now, kT0); }),
            "Nr. 1 hat schon vier Runden; die fünfte nimmt STOPP.");
  EXPECT_EQ(refused([&] { return race.protocol->InsertLap(two, kT0 + 30000, now, kT0); }), "Nr. 2 hat schon fünf Runden.");
  EXPECT_EQ(refused([&] { return race.protocol->DeleteLap(three, 2); }), "Nr. 3 hat keine Runde 2.");
  EXPECT_EQ(refused([&] { return race.protocol->MoveLastPress(three, "07"); }), "Es gibt keinen Fahrer mit der Startnummer 7.");
  EXPECT_EQ(refused([&] { return race.protocol->EditRider(one, " 002", "X", "M"); }), "Die Startnummer 2 hat schon Fahrer 2.");
  for (const char* none : {"abc", "0", "-3", "3a"})
    EXPECT_EQ(refused([&] { return race.protocol->EditRider(one, none, "X", "M"); }), "Die Startnummer muss eine Zahl größer als 0 sein.");
  EXPECT_EQ(refused([&] { return race.protocol->EditRider(race.grid.RowCount() - 1, "9", "X", "M"); }),
            "In dieser Zeile steht kein Fahrer; die Eingabefelder gelten für den nächsten START.");
  // A time after a STOPP belongs to nobody's race; before it, it is a lap.
  race.Start(kT0 + 50000, "4");
  race.Stop(kT0 + 200000, "4");
  EXPECT_EQ(race.Correct([&] { return race.protocol->InsertLap(race.RowOf("4"), kT0 + 250000, now, kT0); }),
            "Die Zeit liegt nach dem STOPP von Nr. 4.");
  EXPECT_EQ(race.Correct([&] { return race.protocol->InsertLap(race.RowOf("4"), kT0 + 120000, now, kT0); }), "");
  EXPECT_EQ(race.Cell(pcLapCount, "4"), "2");
  EXPECT_EQ(race.Cell(pcLastLapTick, "4"), "0");
  EXPECT_EQ(race.Cell(pcStartTick, "4"), "150000");
  // A STOPP cannot go to a rider already stopped, nor before a lap of his.
  EXPECT_EQ(race.Correct([&] { return race.protocol->MoveLastPress(race.RowOf("2"), "4"); }), "Nr. 4 ist schon gestoppt.");
  race.Stop(kT0 + 300000, "3");
  EXPECT_EQ(race.Correct([&] { return race.protocol->InsertLap(race.RowOf("3"), kT0 + 280000, now, kT0); }), "");
  race.Start(kT0 + 60000, "5");
  race.Lap(kT0 + 400000, "5");
  EXPECT_EQ(race.Correct([&] { return race.protocol->MoveLastPress(race.RowOf("3"), "5"); }),
            "Nr. 5 hat eine Runde nach dieser STOPP-Zeit.");
}

// Random races with presses close together (some 50 ms apart): the menu's questions agree with
// trying every race time to the tenth and every rider; a time shown as a press of the rider, or
// 50 ms from one (a lap of 0,0), is never taken.
TEST(ProtocolCorrections, WhatTheMenuOffersIsExactlyWhatCanBeDone) {
  std::mt19937 random(2512);
  for (int round = 0; round < 40; ++round) {
    Race race;
    uint32_t at = kT0;
    const uint32_t riders = 2 + random() % 3;
    for (uint32_t r = 1; r <= riders; ++r) race.Start(at += 1000 + random() % 3000, QString::number(r));
    for (int press = 0; press < 14; ++press) {
      const QString nr = QString::number(1 + random() % riders);
      at += random() % 3 == 0 ? 50 : 40 + random() % 400;
      if (race.Cell(pcLastLapTick, nr) == "0") continue;
      (random() % 5 == 0 || race.Cell(pcLapCount, nr) == "4") ? race.Stop(at, nr) : race.Lap(at, nr);
    }
    const uint32_t now = at + 600;
    auto taken = [&race](const std::function<QString()>& correction) {
      QString refusal;
      const TProtocolChange change = race.protocol->Track([&] { refusal = correction(); });
      race.protocol->Apply(change, false);
      return refusal.isEmpty();
    };
    for (uint32_t r = 1; r <= riders; ++r) {
      const int32_t row = race.RowOf(QString::number(r));
      TRiderTimes times = *race.protocol->RowTimes(row);
      times.Presses.push_back(times.Start);
      bool insertable = false, movable = false;
      for (uint32_t tick = kT0; tick <= now + 100; tick += 100) {
        const bool lap = taken([&] { return race.protocol->InsertLap(row, tick, now, kT0); });
        for (uint32_t press : times.Presses) EXPECT_FALSE(lap && (std::abs(TickDiff(tick, press)) <= 50 ||
                                                          FormatDuration(TickDiff(tick, kT0)) == FormatDuration(TickDiff(press, kT0))));
        insertable = insertable || lap;
      }
      for (uint32_t to = 1; to <= riders; ++to)
        movable = movable || taken([&] { return race.protocol->MoveLastPress(row, QString::number(to)); });
      EXPECT_EQ(race.protocol->CanInsertLap(row, now, kT0), insertable) << round << " " << r;
      EXPECT_EQ(race.protocol->CanMoveLastPress(row), movable) << round << " " << r;
    }
  }
}

TEST(ProtocolCorrections, EditingARiderChecksTheNumberAndRanksANewCategory) {
  Race race;
  race.Start(kT0, "1", "M");
  race.Start(kT0 + 1000, "2", "F");
  race.Start(kT0 + 2000, "3", "F");
  for (const QString nr : {"1", "2", "3"}) {
    const uint32_t start = kT0 + static_cast<uint32_t>(nr.toInt() - 1) * 1000;
    for (uint32_t lap = 1; lap <= 4; ++lap) race.Lap(start + lap * 60000 + static_cast<uint32_t>(nr.toInt()) * 100, nr);
    race.Stop(start + 300000 + static_cast<uint32_t>(nr.toInt()) * 100, nr);
  }
  EXPECT_EQ(race.Cell(pcPlace, "1"), "1");
  EXPECT_EQ(race.Cell(pcPlace, "2"), "1");
  EXPECT_EQ(race.Cell(pcPlace, "3"), "2");
  // Rider 1 rode in F: he is ranked there, the faster of the three.
  EXPECT_EQ(race.Correct([&] { return race.protocol->EditRider(race.RowOf("1"), "007", "Anna", "F"); }), "");
  EXPECT_EQ(race.RowOf("1"), -1);
  EXPECT_EQ(race.Cell(pcName, "7"), "Anna");
  EXPECT_EQ(race.Cell(pcPlace, "7"), "1");
  EXPECT_EQ(race.Cell(pcPlace, "2"), "2");
  EXPECT_EQ(race.Cell(pcPlace, "3"), "3");
  EXPECT_TRUE(race.protocol->Record(race.RowOf("7")).Corrected);
  EXPECT_EQ(race.grid.Row(), race.RowOf("7"));
}

TEST(ProtocolCorrections, UndoAndRedoGiveBackEveryEarlierStateOrderIncluded) {
  Race race;
  race.protocol->OnHeaderSort = [&race](const std::function<void()>& sort) { race.Push(sort); };
  std::vector<std::vector<QStringList>> states{race.State()};
  auto step = [&](const std::function<void()>& action) {
    const int before = race.stack.count();
    action();
    if (race.stack.count() > before) states.push_back(race.State());
  };
  step([&] { race.Start(kT0, "1", "M"); });
  step([&] { race.Start(kT0 + 1000, "2", "F"); });
  step([&] { race.Start(kT0 + 2000, "3", "M"); });
  step([&] { race.Lap(kT0 + 60000, "2"); });
  step([&] { race.Lap(kT0 + 61000, "1"); });
  step([&] { race.Stop(kT0 + 62000, "3"); });  // stopped early
  step([&] { race.Start(kT0 + 3000, "4", "F"); });
  for (uint32_t lap = 2; lap <= 4; ++lap) step([&] { race.Lap(kT0 + lap * 60000, "1"); });
  step([&] { race.Stop(kT0 + 300000, "1"); });  // a finisher: ranked, rows move
  step([&] { race.Correct([&] { return race.protocol->InsertLap(race.RowOf("2"), kT0 + 120000, kT0 + 400000, kT0); }); });
  step([&] { race.Correct([&] { return race.protocol->MoveLastPress(race.RowOf("2"), "4"); }); });
  step([&] { race.Correct([&] { return race.protocol->DeleteLap(race.RowOf("1"), 2); }); });  // unranks him
  step([&] { race.Start(kT0 + 310000, "5", "F"); });
  step([&] {
    // A header click: the protocol sorts by name, descending.
    race.grid.OnHeaderSort(&race.grid, [&] {
      race.grid.SortOptions().SetSortDirection(sdDescending);
      race.grid.SortByColumn(pcName);
    });
  });
  step([&] {
    race.grid.SetRow(race.RowOf("3"));
    race.Push([&] { race.protocol->mCutClick(); });
  });
  step([&] { race.Correct([&] { return race.protocol->EditRider(race.RowOf("5"), "6", "Neu", "M"); }); });
  ASSERT_EQ(race.stack.count(), static_cast<int>(states.size()) - 1);

  for (int k = race.stack.count(); k > 0; --k) {
    race.stack.undo();
    EXPECT_EQ(race.State(), states[static_cast<size_t>(k - 1)]) << "undo to " << k - 1;
  }
  for (int k = 1; k <= race.stack.count(); ++k) {
    race.stack.redo();
    EXPECT_EQ(race.State(), states[static_cast<size_t>(k)]) << "redo to " << k;
  }
  // Rows a step was taken back and done again for carry the mark of a correction.
  EXPECT_TRUE(race.protocol->Record(race.RowOf("6")).Corrected);
  EXPECT_EQ(race.stack.count(), 18);
}
