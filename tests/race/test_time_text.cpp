#include <gtest/gtest.h>

#include "race/TimeText.h"

TEST(FormatDuration, TableOfTexts) {
  const std::pair<int32_t, const char*> table[] = {
      {0, "0,0"},           {340, "0,3"},           {5000, "5,0"},
      {59949, "59,9"},      {65200, "1.05,2"},      {600000, "10.00,0"},
      {3600000, "1:00.00,0"}, {45296700, "12:34.56,7"}, {3723400, "1:02.03,4"},
  };
  for (auto [ms, text] : table) EXPECT_EQ(FormatDuration(ms), text) << ms;
}

TEST(FormatDuration, RoundsTenthsHalfToEven) {
  EXPECT_EQ(FormatDuration(949), "0,9");
  EXPECT_EQ(FormatDuration(950), "1,0");   // 9.5 -> 10
  EXPECT_EQ(FormatDuration(1050), "1,0");  // 10.5 -> 10
  EXPECT_EQ(FormatDuration(1150), "1,2");  // 11.5 -> 12
  EXPECT_EQ(FormatDuration(59950), "1.00,0");  // carries into the minutes
  EXPECT_EQ(FormatDuration(50), "0,0");
  EXPECT_EQ(FormatDuration(150), "0,2");
}

TEST(FormatDuration, HoursUpToNinetyNine) {
  EXPECT_EQ(FormatDuration(36000000), "10:00.00,0");
  EXPECT_EQ(FormatDuration(99 * 3600000 + 59 * 60000 + 59900), "99:59.59,9");
  EXPECT_EQ(FormatDuration(100 * 3600000), "0,0");  // hours wrap at 100, as the full text has two digits
}

TEST(FormatDuration, EqualLengthTextsSortLikeDurations) {
  QString previous = FormatDuration(0);
  for (int32_t ms = 100; ms < 4000000; ms += 7919) {
    const QString text = FormatDuration(ms);
    if (text.size() == previous.size()) {
      EXPECT_LE(previous, text) << ms;
    }
    EXPECT_GE(text.size(), previous.size()) << ms;
    previous = text;
  }
}

TEST(FormatDuration, NegativeKeepsOneSign) {
  EXPECT_EQ(FormatDuration(-65200), "-1.05,2");
  EXPECT_EQ(FormatDuration(INT32_MIN), "-96:31.23,6");
}

TEST(Ticks, DifferencesAcrossSignChangeAndWrap) {
  // Passing 2^31: the stored text turns negative, the difference stays right.
  const uint32_t start = 0x7FFFF000u;
  const uint32_t later = start + 123456u;
  EXPECT_EQ(TickToText(start), "2147479552");
  EXPECT_TRUE(TickToText(later).startsWith('-'));
  EXPECT_EQ(TickDiff(*TickFromText(TickToText(later)), *TickFromText(TickToText(start))), 123456);

  // Wrapping at 2^32.
  const uint32_t nearEnd = 0xFFFFFF00u;
  const uint32_t afterWrap = nearEnd + 1000u;
  EXPECT_LT(afterWrap, nearEnd);
  EXPECT_EQ(TickDiff(afterWrap, nearEnd), 1000);
  EXPECT_EQ(TickToText(nearEnd), "-256");
  EXPECT_EQ(*TickFromText("-256"), nearEnd);
  EXPECT_FALSE(TickFromText("12a").has_value());
  EXPECT_FALSE(TickFromText("").has_value());
}

TEST(Ticks, RoundHalfEvenBothSigns) {
  EXPECT_EQ(RoundHalfEven(95, 10), 10);
  EXPECT_EQ(RoundHalfEven(105, 10), 10);
  EXPECT_EQ(RoundHalfEven(-95, 10), -10);
  EXPECT_EQ(RoundHalfEven(-105, 10), -10);
  EXPECT_EQ(RoundHalfEven(-94, 10), -9);
  EXPECT_EQ(RoundHalfEven(-96, 10), -10);
  EXPECT_EQ(RoundHalfEven(1296, 10), 130);
}
