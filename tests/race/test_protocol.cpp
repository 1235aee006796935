#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>
#include <array>
#include <memory>
#include <random>

#include "common/Doubles.h"
#include "grid/SortGrid.h"
#include "platform/LocaleFormats.h"
#include "race/Protocol.h"
#include "race/RaceControl.h"

namespace {

constexpr uint32_t kT0 = 5'000'000;

// A protocol on its own grid, with the entry fields and the selection handler of the main
// window played by the fixture: like the real handler, it loads a row's values into the fields.
struct ProtocolTest : ::testing::Test {
  platform::ManualClock& clock = testing_doubles::Doubles().clock;
  TSortGrid grid;
  std::array<int32_t, 6> distance{0, 1000, 2000, 3000, 4000, 5000};  // 1 km laps
  std::unique_ptr<TProtocol> protocol;
  std::vector<int32_t> handled;  // rows the selection handler ran for
  bool handlerLoadsFields = true;
  QString number, name, category;

  ProtocolTest() {
    grid.resize(800, 300);
    grid.show();  // the column layout needs the real viewport
    protocol = std::make_unique<TProtocol>(grid, [this](int k) { return distance[static_cast<size_t>(k)]; });
    protocol->OnSelectRow = [this](int32_t row) {
      handled.push_back(row);
      if (!handlerLoadsFields) return;
      number = grid.Cells(pcNumber, row);
      name = grid.Cells(pcName, row);
      if (!grid.Cells(pcCategory, row).isEmpty()) category = grid.Cells(pcCategory, row);
    };
    protocol->StartNumberField = [this] { return number; };
    protocol->NameField = [this] { return name; };
    protocol->CategoryField = [this] { return category; };
    protocol->StartUp();
    clock.Set(kT0);
  }

  int32_t Last() const { return grid.RowCount() - 1; }
  int32_t RowOf(const QString& nr) const { return grid.FindRow(pcNumber, nr, false); }
  QString Cell(int32_t col, const QString& nr) const { return grid.Cells(col, RowOf(nr)); }
  QStringList Laps(const QString& nr) const {
    QStringList laps;
    for (int32_t c = pcLap5; c <= pcLap1; ++c) laps << Cell(c, nr);
    return laps;
  }
  QStringList Column(int32_t col) const {
    QStringList texts;
    for (int32_t r = 1; r < grid.RowCount(); ++r) texts << grid.Cells(col, r);
    return texts;
  }

  // START at tick on the entry row.
  void Start(uint32_t tick, const QString& nr, const QString& nm = {}, const QString& cat = {}) {
    clock.Set(tick);
    grid.SetRow(grid.FindRow(pcStartTick, QString(), false));
    protocol->RecordStart(clock.Now(), nr, nm, cat);
  }
  void Lap(uint32_t tick, const QString& nr) {
    clock.Set(tick);
    grid.SetRow(RowOf(nr));
    protocol->RecordLap(clock.Now());
  }
  void Stop(uint32_t tick, const QString& nr) {
    clock.Set(tick);
    grid.SetRow(RowOf(nr));
    protocol->StopRider(clock.Now());
  }
  // A whole race of five equal laps.
  void Race(uint32_t start, const QString& nr, const QString& nm, const QString& cat, int32_t lapMs) {
    Start(start, nr, nm, cat);
    for (int k = 1; k <= 4; ++k) Lap(start + static_cast<uint32_t>(k * lapMs), nr);
    Stop(start + static_cast<uint32_t>(5 * lapMs), nr);
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pure rules

TEST(ProtocolRules, CompareByLengthIsTheOrderOfDurationsAndLapCounts) {
  auto less = [](const QString& a, const QString& b) { return CompareByLength(a, b) < 0 && CompareByLength(b, a) > 0; };
  EXPECT_TRUE(less("59,9", "1.00,0"));
  EXPECT_TRUE(less("9.59,9", "10.00,0"));
  EXPECT_TRUE(less("59.59,9", "1:00.00,0"));
  EXPECT_TRUE(less("1.05,2", "1.05,3"));
  EXPECT_TRUE(less("4", "5"));
  EXPECT_EQ(CompareByLength("1.00,0", "1.00,0"), 0);
  EXPECT_EQ(CompareByLength("", ""), 0);
  // An empty text counts as 20 characters: after every time and lap count.
  EXPECT_TRUE(less("99:59.59,9", ""));
  EXPECT_TRUE(less(QString(19, 'x'), ""));
  EXPECT_TRUE(less("5", ""));
}

TEST(ProtocolRules, SpeedRoundsHalfAwayFromZeroWithTheLocalesSeparator) {
  EXPECT_EQ(FormatSpeed(40.0), "40,0");
  EXPECT_EQ(FormatSpeed(1000.0 * 3600 / 115200), "31,3");  // exactly 31.25
  EXPECT_EQ(FormatSpeed(1000.0 * 3600 / 89888), "40,0");   // 40.0498...
  EXPECT_EQ(FormatSpeed(0.04), "0,0");
  EXPECT_EQ(FormatSpeed(123.96), "124,0");
  platform::PinFormatLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(FormatSpeed(31.25), "31.3");
}

TEST(ProtocolRules, FileButtonsFollowTheProtocolSize) {
  int asked = 0;
  auto printer = [&asked](bool has) {
    return [&asked, has] {
      ++asked;
      return has;
    };
  };
  EXPECT_EQ(DecideFileButtons(2, printer(true)), (TFileButtons{false, false, false, false}));
  EXPECT_EQ(asked, 0);  // an empty protocol never waits for the printer list
  EXPECT_EQ(DecideFileButtons(3, printer(true)), (TFileButtons{true, true, true, true}));
  EXPECT_EQ(DecideFileButtons(3, printer(false)), (TFileButtons{true, false, true, true}));
}

// ---------------------------------------------------------------------------------------------
// Layout

TEST_F(ProtocolTest, StartUpLayout) {
  EXPECT_EQ(grid.ColCount(), 14);
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.FixedCols(), 0);
  EXPECT_EQ(grid.FixedRows(), 1);
  EXPECT_TRUE(grid.Options().Contains(goRowSelect));
  EXPECT_TRUE(grid.Options().Contains(goColSizing));
  EXPECT_FALSE(grid.Options().Contains(goEditing));
  EXPECT_EQ(grid.ScrollBars(), ssVertical);
  EXPECT_FALSE(grid.SortOptions().CanSort());
  EXPECT_EQ(grid.SortOptions().SortCol(), 3);
  EXPECT_EQ(grid.SortOptions().SecondaryIndex(), "11");
  const QStringList headers = {"Platz", "Nr.", "Name", "Kat", "Lap5", "Lap4", "Lap3",
                               "Lap2",  "Lap1", "R.Z", "km/h", "Zeit", "", ""};
  QStringList shown;
  for (int32_t c = 0; c < 14; ++c) shown << grid.Cells(c, 0);
  EXPECT_EQ(shown, headers);
  const std::vector<int32_t> widths = {48, 48, -2, 54, 76, 76, 76, 76, 76, 46, 56, 76, -1, -1};
  for (int32_t c = 0; c < 14; ++c) {
    if (c == 2) continue;
    EXPECT_EQ(grid.ColWidths(c), widths[static_cast<size_t>(c)]) << c;
  }
  // "Name" takes the rest: 706 for the other columns (the hidden ones count -1) and 14 lines.
  EXPECT_EQ(grid.ColWidths(2), grid.viewport()->width() - 720);
  EXPECT_GT(grid.ColWidths(2), 0);
  EXPECT_EQ(grid.Selection(), (TGridRect{0, 1, 13, 1}));
  EXPECT_EQ(grid.Row(), 1);
}

TEST_F(ProtocolTest, NameColumnGivesWayToTheScrollBar) {
  const int32_t wide = grid.ColWidths(2);
  for (int i = 1; i <= 30; ++i) Start(kT0 + static_cast<uint32_t>(i) * 1000, QString::number(i));
  // The START that brought the scroll bar laid the columns out for it before it was shown.
  const int32_t laidOut = grid.ColWidths(2);
  QCoreApplication::processEvents();
  ASSERT_TRUE(grid.verticalScrollBar()->isVisible());
  EXPECT_EQ(laidOut, grid.viewport()->width() - 720);
  EXPECT_LT(laidOut, wide);
  EXPECT_EQ(grid.ColWidths(13), -1);

  // Emptied, the protocol loses the scroll bar again and the name column its width back.
  grid.Clear();
  protocol->LayoutProtocolColumns();
  EXPECT_EQ(grid.ColWidths(2), wide);
  QCoreApplication::processEvents();
  EXPECT_FALSE(grid.verticalScrollBar()->isVisible());
  EXPECT_EQ(grid.ColWidths(2), grid.viewport()->width() - 720);
}

TEST_F(ProtocolTest, NameColumnKeepsAUsableWidthInANarrowGrid) {
  for (const int width : {720, 600, 100}) {
    grid.resize(width, 300);
    protocol->LayoutProtocolColumns();
    EXPECT_EQ(grid.ColWidths(pcName), kMinNameWidth) << width;
  }
  grid.resize(900, 300);
  protocol->LayoutProtocolColumns();
  EXPECT_EQ(grid.ColWidths(pcName), grid.viewport()->width() - 720);
}

TEST_F(ProtocolTest, CellAlignment) {
  auto alignment = [this](int32_t col, int32_t row) {
    TFormatOptions format;
    bool checkBox = false, combo = false, ellipsis = false;
    grid.GetCellFormat(col, row, format, checkBox, combo, ellipsis);
    return format.AlignmentHorz;
  };
  for (int32_t c = 0; c < 14; ++c) EXPECT_EQ(alignment(c, 0), taCenter) << c;
  EXPECT_EQ(alignment(pcName, 1), taLeftJustify);
  EXPECT_EQ(alignment(pcCategory, 5), taLeftJustify);
  for (int32_t c : {pcPlace, pcNumber, pcLap5, pcLap1, pcLapCount, pcSpeed, pcTime})
    EXPECT_EQ(alignment(c, 1), taRightJustify) << c;
}

// ---------------------------------------------------------------------------------------------
// START

TEST_F(ProtocolTest, StartFillsTheEntryRowAndAppendsTheNext) {
  handled.clear();
  Start(kT0, "12", "Anna", "W30");
  EXPECT_EQ(grid.RowCount(), 3);
  const QStringList row1 = grid.Rows(1)->ToStringList();
  EXPECT_EQ(row1, (QStringList{"-", "12", "Anna", "W30", "", "", "", "", "", "0", "", "", "", QString::number(kT0)}));
  EXPECT_EQ(grid.Cells(pcPlace, 2), "-");
  EXPECT_TRUE(protocol->IsEntryRow(2));
  EXPECT_EQ(grid.Row(), 2);
  ASSERT_FALSE(handled.empty());
  EXPECT_EQ(handled.back(), 2);
}

TEST_F(ProtocolTest, StartNumberIsReadAsANumberOrReplacedByTheRowNumber) {
  Start(kT0, "007");
  Start(kT0 + 1, "abc");
  Start(kT0 + 2, "");
  Start(kT0 + 3, "0");
  Start(kT0 + 4, " 42");
  EXPECT_EQ(Column(pcNumber), (QStringList{"7", "2", "3", "4", "42", ""}));
}

TEST_F(ProtocolTest, StartInAMiddleRowAppendsNoRow) {
  grid.SetRowCount(4);  // three entry rows
  grid.SetRow(2);
  protocol->RecordStart(kT0, "5", "Ben", "M40");
  EXPECT_EQ(grid.RowCount(), 4);
  EXPECT_EQ(grid.Cells(pcNumber, 2), "5");
  EXPECT_EQ(grid.Row(), 3);
}

TEST_F(ProtocolTest, AnAppendedRowDoesNotBringBackARemovedRider) {
  Start(kT0, "1", "Gone", "A");
  grid.SetRow(1);
  protocol->mCutClick();  // the rider's texts stay stored behind the last row
  ASSERT_EQ(grid.RowCount(), 2);
  Start(kT0 + 1000, "2", "Here", "A");
  EXPECT_EQ(grid.RowCount(), 3);
  EXPECT_EQ(grid.Rows(2)->ToStringList(), (QStringList{"-", "", "", "", "", "", "", "", "", "", "", "", "", ""}));
  EXPECT_EQ(grid.FindRow(pcName, "Gone", false), -1);
}

// ---------------------------------------------------------------------------------------------
// LAP and STOPP

TEST_F(ProtocolTest, FinisherWithFiveLaps) {
  Start(kT0, "1", "Anna", "W30");
  const std::array<int32_t, 5> laps = {90'000, 91'200, 89'900, 95'040, 84'000};
  uint32_t t = kT0;
  for (int k = 0; k < 4; ++k) {
    t += static_cast<uint32_t>(laps[static_cast<size_t>(k)]);
    Lap(t, "1");
    EXPECT_EQ(Cell(pcLapCount, "1"), QString::number(k + 1));
    EXPECT_EQ(Cell(pcLastLapTick, "1"), QString::number(t));
  }
  // The first lap: 1 km in 90 s.
  EXPECT_EQ(Laps("1"), (QStringList{"", "1.30,0", "1.31,2", "1.29,9", "1.35,0"}));
  t += static_cast<uint32_t>(laps[4]);
  Stop(t, "1");
  EXPECT_EQ(Laps("1"), (QStringList{"1.30,0", "1.31,2", "1.29,9", "1.35,0", "1.24,0"}));
  EXPECT_EQ(Cell(pcLapCount, "1"), "5");
  EXPECT_EQ(Cell(pcTime, "1"), "7.30,1");  // 450 140 ms
  EXPECT_EQ(Cell(pcSpeed, "1"), "40,0");   // 5 km in 450.14 s
  EXPECT_EQ(Cell(pcPlace, "1"), "1");
  EXPECT_EQ(Cell(pcLastLapTick, "1"), "0");
  EXPECT_EQ(Cell(pcStartTick, "1"), "450140");
  EXPECT_TRUE(protocol->IsFinisher(RowOf("1")));
}

TEST_F(ProtocolTest, SpeedIsTheAverageSinceTheStart) {
  Start(kT0, "1");
  Lap(kT0 + 90'000, "1");
  EXPECT_EQ(Cell(pcSpeed, "1"), "40,0");
  Lap(kT0 + 90'000 + 60'000, "1");  // 2 km in 150 s
  EXPECT_EQ(Cell(pcSpeed, "1"), "48,0");
  EXPECT_EQ(Cell(pcTime, "1"), "2.30,0");
  Lap(kT0 + 300'000, "1");
  Lap(kT0 + 400'000, "1");
  Stop(kT0 + 450'000, "1");  // 5 km in 450 s
  EXPECT_EQ(Cell(pcSpeed, "1"), "40,0");
  EXPECT_EQ(Cell(pcTime, "1"), "7.30,0");
}

TEST_F(ProtocolTest, ALapInTheMillisecondOfTheStartCountsWithoutSpeed) {
  Start(kT0, "1");
  Lap(kT0, "1");
  EXPECT_EQ(Cell(pcLapCount, "1"), "1");
  EXPECT_EQ(Cell(pcLap1, "1"), "0,0");
  EXPECT_EQ(Cell(pcTime, "1"), "0,0");
  EXPECT_EQ(Cell(pcSpeed, "1"), "");
  Lap(kT0 + 60'000, "1");  // the next lap has a speed again
  EXPECT_EQ(Cell(pcSpeed, "1"), "120,0");
}

TEST_F(ProtocolTest, LapsAcrossTheTickCountersSignChangeAndWrap) {
  for (const uint32_t start : {0xFFFF0000u, 0x7FFF8000u}) {
    const QString nr = QString::number(start % 1000);
    Start(start, nr);
    EXPECT_EQ(Cell(pcStartTick, nr), QString::number(static_cast<int32_t>(start)));
    for (uint32_t k = 1; k <= 4; ++k) Lap(start + k * 90'000u, nr);  // crosses the boundary on lap 1
    Stop(start + 450'000u, nr);
    EXPECT_EQ(Laps(nr), (QStringList{"1.30,0", "1.30,0", "1.30,0", "1.30,0", "1.30,0"}));
    EXPECT_EQ(Cell(pcSpeed, nr), "40,0");
    EXPECT_EQ(Cell(pcTime, nr), "7.30,0");
    EXPECT_EQ(Cell(pcStartTick, nr), "450000");
  }
}

// The counter reads 0 for one millisecond when it wraps; 0 is also the stopped mark of the
// last-lap column. A press in that millisecond must keep the rider on course and finish him.
TEST_F(ProtocolTest, APressWhenTheCounterReadsZeroIsATimeNotTheStoppedMark) {
  Start(0xFFFFF000u, "1", "Wrap", "A");
  Lap(0, "1");
  EXPECT_NE(Cell(pcLastLapTick, "1"), "0");
  EXPECT_EQ(Cell(pcLapCount, "1"), "1");
  RowCommands commands = CommandsForRow(Cell(pcLapCount, "1"), Cell(pcLastLapTick, "1"), Cell(pcStartTick, "1"));
  EXPECT_TRUE(commands.lap);
  EXPECT_TRUE(commands.stop);
  EXPECT_EQ(Cell(pcLap1, "1"), "4,1");
  // Later laps count from that press, as if it had been made one millisecond on.
  Lap(4095, "1");
  Lap(8191, "1");
  Lap(12287, "1");
  EXPECT_EQ(Laps("1"), (QStringList{"", "4,1", "4,1", "4,1", "4,1"}));
  Stop(16383, "1");
  EXPECT_TRUE(protocol->IsFinisher(RowOf("1")));
  EXPECT_EQ(Cell(pcPlace, "1"), "1");
  EXPECT_EQ(Cell(pcTime, "1"), "20,5");

  // A STOPP in that millisecond stops and ranks the rider like any other.
  Start(0xFFFFF000u, "2", "Stop", "B");
  for (uint32_t k = 1; k <= 4; ++k) Lap(0xFFFFF000u + k * 512u, "2");
  Stop(0, "2");
  EXPECT_TRUE(protocol->IsFinisher(RowOf("2")));
  EXPECT_EQ(Cell(pcPlace, "2"), "1");
  EXPECT_EQ(Cell(pcTime, "2"), "4,1");
}

TEST_F(ProtocolTest, LapMovesToTheNextRowUnlessItWasTheLast) {
  Start(kT0, "1");
  Start(kT0 + 1000, "2");
  handled.clear();
  Lap(kT0 + 60'000, "1");
  EXPECT_EQ(grid.Row(), 2);
  EXPECT_EQ(handled.back(), 2);
  Lap(kT0 + 61'000, "2");
  EXPECT_EQ(grid.Row(), 3);  // the entry row
  // The fifth lap (from STOPP) stays on the rider.
  for (uint32_t k = 2; k <= 4; ++k) Lap(kT0 + k * 60'000, "1");
  grid.SetRow(RowOf("1"));
  clock.Set(kT0 + 300'000);
  protocol->RecordLap(clock.Now());
  EXPECT_EQ(Cell(pcLapCount, "1"), "5");
  EXPECT_EQ(grid.Row(), RowOf("1"));
}

TEST_F(ProtocolTest, StopBeforeTheFifthLapLeavesTheRiderUnranked) {
  Start(kT0, "1", "Early", "A");
  Lap(kT0 + 60'000, "1");
  Lap(kT0 + 120'000, "1");
  handled.clear();
  Stop(kT0 + 180'000, "1");
  EXPECT_EQ(Cell(pcLapCount, "1"), "3");
  EXPECT_EQ(Cell(pcTime, "1"), "");
  EXPECT_EQ(Cell(pcPlace, "1"), "-");
  EXPECT_EQ(Cell(pcLastLapTick, "1"), "0");
  EXPECT_EQ(Cell(pcStartTick, "1"), "180000");
  EXPECT_EQ(Laps("1"), (QStringList{"", "", "1.00,0", "1.00,0", "1.00,0"}));
  EXPECT_FALSE(protocol->IsFinisher(RowOf("1")));
  EXPECT_EQ(handled.back(), RowOf("1"));
  EXPECT_FALSE(grid.SortOptions().CanSort());  // no ranking happened

  // Later rankings never give him a place, even as the only rider of his category.
  Race(kT0 + 1000, "2", "Ben", "A", 70'000);
  Race(kT0 + 2000, "3", "Cleo", "B", 70'000);
  EXPECT_EQ(Cell(pcPlace, "1"), "-");
  EXPECT_EQ(Cell(pcPlace, "2"), "1");
  EXPECT_EQ(Cell(pcPlace, "3"), "1");
  // In his category he comes after the finisher: an empty time sorts last.
  EXPECT_EQ(RowOf("2") + 1, RowOf("1"));
}

TEST_F(ProtocolTest, CorrectionsInTheEntryFieldsAreTakenAtTheStop) {
  Start(kT0, "9", "Typo", "a");
  for (uint32_t k = 1; k <= 4; ++k) Lap(kT0 + k * 60'000, "9");
  clock.Set(kT0 + 300'000);
  grid.SetRow(RowOf("9"));
  number = "19";
  name = "Fixed";
  category = "A";
  handlerLoadsFields = false;
  protocol->StopRider(clock.Now());
  EXPECT_EQ(RowOf("9"), -1);
  EXPECT_EQ(Cell(pcName, "19"), "Fixed");
  EXPECT_EQ(Cell(pcCategory, "19"), "A");
  EXPECT_EQ(Cell(pcPlace, "19"), "1");
}

TEST_F(ProtocolTest, StopOnAnEntryRowDoesNothing) {
  Start(kT0, "1");
  const QStringList before = grid.Rows(2)->ToStringList();
  grid.SetRow(2);
  protocol->StopRider(clock.Now());
  protocol->RecordLap(clock.Now());
  EXPECT_EQ(grid.Rows(2)->ToStringList(), before);
  EXPECT_EQ(grid.RowCount(), 3);
}

// ---------------------------------------------------------------------------------------------
// Ranking

TEST_F(ProtocolTest, PlacesPerCategoryWithTies) {
  Race(kT0, "1", "Anna", "A", 120'000);         // 10.00,0
  Race(kT0 + 1000, "2", "Ben", "B", 121'000);   // 10.05,0
  Race(kT0 + 2000, "3", "Cleo", "A", 121'000);  // 10.05,0
  Race(kT0 + 3000, "4", "Dora", "a", 120'000);  // 10.00,0: ties with 1 (categories ignore case)
  Race(kT0 + 4000, "5", "Emil", "B", 125'000);  // 10.25,0
  Race(kT0 + 5000, "6", "Fred", "B", 110'000);  // 9.10,0: a shorter text is a shorter time
  Start(kT0 + 6000, "7", "Gina", "A");          // on course with one lap: 1.04,0
  Lap(kT0 + 70'000, "7");
  protocol->RankFinishers();
  EXPECT_EQ(Column(pcNumber), (QStringList{"7", "1", "4", "3", "6", "2", "5", ""}));
  EXPECT_EQ(Column(pcPlace), (QStringList{"-", "1", "1", "2", "1", "2", "3", "-"}));

  // Ranking again (as the next STOPP does) changes nothing.
  protocol->RankFinishers();
  EXPECT_EQ(Column(pcNumber), (QStringList{"7", "1", "4", "3", "6", "2", "5", ""}));
  EXPECT_EQ(Column(pcPlace), (QStringList{"-", "1", "1", "2", "1", "2", "3", "-"}));
  EXPECT_TRUE(grid.SortOptions().CanSort());
}

TEST_F(ProtocolTest, FirstFinisherOfACategoryIsFirstEvenWithTheTimeOfTheOneBefore) {
  Race(kT0, "1", "Anna", "A", 120'000);
  Race(kT0 + 1000, "2", "Ben", "B", 120'000);
  Race(kT0 + 2000, "3", "Cleo", "C", 120'000);
  EXPECT_EQ(Column(pcCategory), (QStringList{"A", "B", "C", ""}));
  EXPECT_EQ(Column(pcPlace), (QStringList{"1", "1", "1", "-"}));
}

TEST_F(ProtocolTest, AfterARankingTheEntryRowIsLastAndSelected) {
  Start(kT0, "1", "Anna", "B");
  Start(kT0 + 1000, "2", "Ben", "A");
  Race(kT0 + 2000, "3", "Cleo", "A", 60'000);
  // Riders of category A sort first; the empty entry row stays behind everyone.
  EXPECT_EQ(Column(pcNumber), (QStringList{"3", "2", "1", ""}));
  EXPECT_TRUE(protocol->IsEntryRow(Last()));
  // The field-loading handler emptied the name field on the entry row, so the entry row
  // stays selected and START is ready.
  EXPECT_EQ(grid.Row(), Last());
  EXPECT_EQ(grid.Selection(), (TGridRect{0, Last(), 13, Last()}));
  EXPECT_EQ(handled.back(), Last());
  EXPECT_EQ(grid.SelectedRows(), QStringList{QString::number(Last())});
  Start(kT0 + 400'000, "4", "Dora", "C");
  EXPECT_EQ(grid.RowCount(), 6);
  EXPECT_TRUE(protocol->IsEntryRow(Last()));
}

TEST_F(ProtocolTest, AfterAStopTheFinisherIsFoundByTheNameField) {
  // Without a handler that reloads the fields, the name field still names the finisher.
  handlerLoadsFields = false;
  Start(kT0, "1", "Anna", "B");
  Start(kT0 + 500, "5", "", "0");  // a nameless rider whose category sorts first
  Start(kT0 + 1000, "2", "Ben", "A");
  for (uint32_t k = 1; k <= 4; ++k) Lap(kT0 + 1000 + k * 60'000, "2");
  number = "2", name = "Ben", category = "A";
  Stop(kT0 + 1000 + 300'000, "2");
  EXPECT_EQ(RowOf("2"), 2);
  EXPECT_EQ(grid.Row(), 2);
  EXPECT_EQ(grid.Selection(), (TGridRect{0, 2, 13, 2}));
  EXPECT_EQ(grid.SelectedRows(), QStringList{"2"});

  // A nameless finisher leaves the entry row selected, not the first nameless rider.
  Start(kT0 + 2000, "3", "", "A");
  for (uint32_t k = 1; k <= 4; ++k) Lap(kT0 + 2000 + k * 50'000, "3");
  number = "3", name = "", category = "A";
  Stop(kT0 + 2000 + 250'000, "3");
  EXPECT_EQ(Column(pcNumber), (QStringList{"5", "3", "2", "1", ""}));
  EXPECT_EQ(grid.Row(), Last());
}

TEST_F(ProtocolTest, SortStyleAnswers) {
  TSortStyle style = ssAutomatic;
  protocol->SortGrid1GetSortStyle(3, style);
  EXPECT_EQ(style, ssNormal);
  style = ssNumeric;
  grid.SortOptions().CustomCompare = nullptr;
  protocol->SortGrid1GetSortStyle(9, style);
  EXPECT_EQ(style, ssCustom);
  ASSERT_TRUE(grid.SortOptions().CustomCompare);
  EXPECT_LT(grid.SortOptions().CustomCompare("9.59,9", "10.00,0"), 0);
  style = ssNumeric;
  protocol->SortGrid1GetSortStyle(11, style);
  EXPECT_EQ(style, ssCustom);
  style = ssDateTime;
  protocol->SortGrid1GetSortStyle(5, style);
  EXPECT_EQ(style, ssDateTime);
}

TEST_F(ProtocolTest, HeaderClickSortKeepsTheEntryRowLast) {
  Race(kT0, "1", "Anna", "B", 60'000);
  Race(kT0 + 1000, "2", "Ben", "A", 60'000);
  Start(kT0 + 2000, "3", "Cleo", "C");
  Start(kT0 + 3000, "4", "Dora", "B");
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
  grid.SetRow(Last());
  // The ranking sorted by "Kat": a click on its header sorts descending, which leaves the
  // entry row (no category) at the end anyway.
  const TRect header = grid.CellRect(pcCategory, 0);
  const QPoint centre((header.Left + header.Right) / 2, (header.Top + header.Bottom) / 2);
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, centre);
  EXPECT_EQ(Column(pcNumber), (QStringList{"3", "4", "1", "2", ""}));
  EXPECT_EQ(grid.Row(), Last());
  // Ascending, the entry row comes first and is put back at the end.
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, centre);
  EXPECT_EQ(Column(pcNumber), (QStringList{"2", "1", "4", "3", ""}));
  EXPECT_EQ(grid.Row(), Last());  // the selection went with the entry row
  EXPECT_EQ(grid.SelectedRows(), QStringList{QString::number(Last())});
  // A selected rider is followed through the sort and stays selected, though the entry row
  // moved past him.
  grid.SetRow(RowOf("4"));
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, centre);
  EXPECT_EQ(Column(pcNumber), (QStringList{"3", "4", "1", "2", ""}));
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, centre);
  EXPECT_EQ(Column(pcNumber), (QStringList{"2", "1", "4", "3", ""}));
  EXPECT_EQ(grid.Row(), RowOf("4"));
  EXPECT_EQ(grid.SelectedRows(), QStringList{QString::number(RowOf("4"))});
}

// ---------------------------------------------------------------------------------------------
// Row removal

TEST_F(ProtocolTest, RemovingAFinisherRenumbersHisCategory) {
  Race(kT0, "1", "Anna", "A", 60'000);
  Race(kT0 + 1000, "2", "Ben", "A", 61'000);
  Race(kT0 + 2000, "3", "Cleo", "A", 62'000);
  Race(kT0 + 3000, "4", "Dora", "B", 59'000);
  EXPECT_EQ(Column(pcPlace), (QStringList{"1", "2", "3", "1", "-"}));
  grid.SetRow(RowOf("1"));
  protocol->mCutClick();
  EXPECT_EQ(Column(pcNumber), (QStringList{"2", "3", "4", ""}));
  EXPECT_EQ(Column(pcPlace), (QStringList{"1", "2", "1", "-"}));
  EXPECT_EQ(grid.Row(), Last());
}

TEST_F(ProtocolTest, RemovingTheEntryRowBringsANewOne) {
  Start(kT0, "1", "Anna", "A");
  grid.SetRow(Last());
  protocol->mCutClick();
  EXPECT_EQ(grid.RowCount(), 3);
  EXPECT_TRUE(protocol->IsEntryRow(Last()));
  EXPECT_EQ(grid.Cells(pcPlace, Last()), "-");
  EXPECT_EQ(grid.Cells(pcNumber, 1), "1");
}

TEST(ProtocolRanking, OrdersAsTheThreeStableSortsByTimeLapCountAndCategory) {
  // The ranking sorts once with two further keys; the order must be the one the three sorts
  // of the written procedure leave, whatever the mix of categories, times and lap counts.
  std::mt19937 random(20261207);
  const QStringList categories = {"M30", "m30", "W20", "", "Jugend", "W20 "};
  const QStringList times = {"", "59,9", "1.00,0", "9.59,9", "10.00,0", "10.00,0", "1:00.00,0", "7.30,1"};
  TSortGrid ranked, reference;
  std::vector<QStringList> rows;
  for (int i = 1; i <= 300; ++i) {
    QStringList row(kProtocolColumns);
    row[pcNumber] = QString::number(i);
    row[pcCategory] = categories[static_cast<qsizetype>(random() % categories.size())];
    row[pcTime] = times[static_cast<qsizetype>(random() % times.size())];
    row[pcLapCount] = row[pcTime].isEmpty() ? QString::number(random() % 5) : QString::number(3 + random() % 3);
    row[pcStartTick] = QString::number(1000 + i);  // no entry rows: only riders are compared
    rows.push_back(row);
  }
  TProtocol protocol(ranked, [](int k) { return k * 1000; });
  for (TSortGrid* grid : {&ranked, &reference}) {
    grid->SetColCount(kProtocolColumns);
    grid->SetRowCount(static_cast<int32_t>(rows.size()) + 1);
    for (size_t r = 0; r < rows.size(); ++r)
      for (int32_t c = 0; c < kProtocolColumns; ++c) grid->SetCells(c, static_cast<int32_t>(r) + 1, rows[r][c]);
  }
  reference.SortOptions().SetSecondaryIndex("11");
  reference.OnGetSortStyle = [&reference](QObject*, int32_t col, TSortStyle& style) {
    if (col == pcCategory) style = ssNormal;
    if (col == pcLapCount || col == pcTime) {
      style = ssCustom;
      reference.SortOptions().CustomCompare = CompareByLength;
    }
  };
  reference.SortByColumn(pcTime);
  reference.SortByColumn(pcLapCount);
  reference.SortByColumn(pcCategory);
  protocol.RankFinishers();
  QStringList order, expected;
  for (int32_t r = 1; r < reference.RowCount(); ++r) {
    if (!ranked.Cells(pcStartTick, r).isEmpty()) order << ranked.Cells(pcNumber, r);
    expected << reference.Cells(pcNumber, r);
  }
  EXPECT_EQ(order, expected);
  EXPECT_EQ(ranked.SortOptions().SecondaryIndex(), "11");
  EXPECT_EQ(ranked.SortOptions().SortCol(), pcCategory);
}
