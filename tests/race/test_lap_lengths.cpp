#include <gtest/gtest.h>

#include <QLocale>
#include <QTest>

#include "common/Doubles.h"
#include "grid/SortGrid.h"
#include "platform/LocaleFormats.h"
#include "race/LapLengths.h"

namespace {

struct LapLengthTable : ::testing::Test {
  TSortGrid table;
  std::unique_ptr<TLapLengths> lengths;

  LapLengthTable() {
    table.resize(120, 140);
    lengths = std::make_unique<TLapLengths>(table);
  }

  std::vector<int32_t> Distances() const { return {lengths->LapDistance.begin() + 1, lengths->LapDistance.end()}; }
  void SetLengths(const QStringList& km) {
    for (int k = 1; k <= 5; ++k) table.SetCells(1, k, km[k - 1]);
  }
};

}  // namespace

TEST_F(LapLengthTable, StartUpContents) {
  EXPECT_EQ(table.ColCount(), 3);
  EXPECT_EQ(table.RowCount(), 6);
  EXPECT_EQ(table.Cells(0, 0), "Runde");
  EXPECT_EQ(table.Cells(1, 0), "Lange");
  EXPECT_EQ(table.Cells(2, 0), "");
  for (int k = 1; k <= 5; ++k) {
    EXPECT_EQ(table.Cells(0, k), QString::number(k));
    EXPECT_EQ(table.Cells(1, k), "0,100");  // the C locale counts as German
    EXPECT_EQ(table.Cells(2, k), "");
  }
  EXPECT_EQ(table.FixedCols(), 1);
  // The length column fills the table, so the empty third column lies outside it.
  EXPECT_EQ(table.ColWidths(1), table.width() - table.ColWidths(0) - 1);
  EXPECT_FALSE(table.SortOptions().CanSort());
  EXPECT_TRUE(table.Options().Contains(goEditing));
  EXPECT_EQ(table.AlignmentHorz(), taCenter);
  EXPECT_EQ(lengths->RoundLen, 100000);
}

TEST_F(LapLengthTable, DistancesFromTheLapLengthOrTheTable) {
  lengths->RoundLen = 2500;
  lengths->TableLengthEndUpdate();
  EXPECT_EQ(Distances(), (std::vector<int32_t>{2500, 5000, 7500, 10000, 12500}));

  // The table counts only when the lap length is 0.
  lengths->RoundLen = 0;
  lengths->TableLengthEndUpdate();
  EXPECT_EQ(Distances(), (std::vector<int32_t>{100, 200, 300, 400, 500}));

  SetLengths({"1,2", "0,8", "1,2", "0,8", "1,0"});
  lengths->TableLengthEndUpdate();
  EXPECT_EQ(Distances(), (std::vector<int32_t>{1200, 2000, 3200, 4000, 5000}));

  // Whole metres, half to even: 0,0005 km is 0.5 m and rounds to 0; 0,0015 km to 2.
  SetLengths({"0,0005", "0,0015", "2", "0,0025", ",5"});
  lengths->TableLengthEndUpdate();
  EXPECT_EQ(Distances(), (std::vector<int32_t>{0, 2, 2002, 2004, 2504}));
  EXPECT_TRUE(testing_doubles::Doubles().modal.History().empty());
}

TEST_F(LapLengthTable, EndOfABulkUpdateRecomputesButAChangedLengthAloneDoesNot) {
  lengths->RoundLen = 1000;
  lengths->TableLengthEndUpdate();
  // The settings dialog changing the lap length during a race leaves this race's distances.
  lengths->RoundLen = 3000;
  EXPECT_EQ(lengths->LapDistance[5], 5000);
  table.BeginUpdate();
  table.EndUpdate();
  EXPECT_EQ(lengths->LapDistance[5], 15000);
}

TEST_F(LapLengthTable, ABadLengthIsReportedAndKeepsTheLaterDistances) {
  lengths->RoundLen = 1000;
  lengths->TableLengthEndUpdate();  // 1000 .. 5000
  lengths->RoundLen = 0;
  auto& modal = testing_doubles::Doubles().modal;
  modal.AnswerMessage(mrOk);
  SetLengths({"1,5", "2,5", "1,2,3", "1", "1"});
  lengths->TableLengthEndUpdate();
  ASSERT_EQ(modal.History().size(), 1u);
  EXPECT_EQ(modal.History()[0].text, "'1,2,3' is not a valid floating point value");
  EXPECT_EQ(modal.History()[0].icon, MsgIcon::Error);
  EXPECT_EQ(modal.History()[0].caption, "Veltrano");
  EXPECT_EQ(Distances(), (std::vector<int32_t>{1500, 4000, 3000, 4000, 5000}));

  // An empty length fails the same way; the throwing form tells the caller.
  table.SetCells(1, 3, "");
  EXPECT_THROW(lengths->ComputeLapDistance(), EConvertError);
  try {
    lengths->ComputeLapDistance();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'' is not a valid floating point value");
  }
  // A length too long for a distance in metres is no usable number either.
  table.SetCells(1, 3, "99999999");
  EXPECT_THROW(lengths->ComputeLapDistance(), EConvertError);
}

TEST(LapLengthKeyFilter, LetsThroughDigitsBackspaceAndTheLocalesSeparatorOnly) {
  auto passes = [](QChar c) {
    TableLengthKeyPress(c);
    return !c.isNull();
  };
  // German (the C locale counts as German).
  for (char c : QByteArrayLiteral("0123456789,\b")) EXPECT_TRUE(passes(QChar(c))) << c;
  for (char c : QByteArrayLiteral(".-+aZ e")) EXPECT_FALSE(passes(QChar(c))) << c;
  EXPECT_FALSE(passes(QChar(0x00E4)));  // a-umlaut

  platform::PinFormatLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_TRUE(passes(QChar('.')));
  EXPECT_TRUE(passes(QChar('7')));
  EXPECT_FALSE(passes(QChar(',')));
  EXPECT_FALSE(passes(QChar('-')));
}

TEST_F(LapLengthTable, TypedLettersNeverReachTheCell) {
  table.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
  table.setFocus();
  table.SetCol(1);
  table.SetRow(2);
  table.SetCells(1, 2, "");
  QTest::keyClicks(&table, "1x.,5-");
  if (QWidget* editor = table.InplaceEditor(); editor && editor->hasFocus()) QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_EQ(table.Cells(1, 2), "1,5");
}

TEST_F(LapLengthTable, LockingForTheRaceAndUnlockingAfterIt) {
  table.SetSelection(TGridRect{1, 4, 1, 4});
  lengths->Lock();
  EXPECT_TRUE(lengths->Locked());
  EXPECT_FALSE(table.isEnabled());
  lengths->Unlock();
  EXPECT_FALSE(lengths->Locked());
  EXPECT_TRUE(table.isEnabled());
  EXPECT_EQ(table.Selection(), (TGridRect{1, 1, 1, 1}));
}
