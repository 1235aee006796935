#include <gtest/gtest.h>

#include "grid/SortCompare.h"
#include "platform/LocaleFormats.h"

namespace {
int Sign(int v) { return (v > 0) - (v < 0); }
}  // namespace

TEST(SortCompare, PlainIsByCodeWithPrefixSmaller) {
  EXPECT_LT(ComparePlain("10", "9"), 0);
  EXPECT_LT(ComparePlain("", "a"), 0);
  EXPECT_LT(ComparePlain("ab", "abc"), 0);
  EXPECT_EQ(ComparePlain("abc", "abc"), 0);
  EXPECT_LT(ComparePlain("Z", "a"), 0);  // upper case before lower case by code
  EXPECT_GT(ComparePlain("ä", "z"), 0);  // beyond ASCII by code too
  // By the bytes of Windows-1252: the euro sign is 0x80 and S with caron 0x8A, both below
  // a-umlaut 0xE4; a character the code page cannot hold comes after all of them.
  EXPECT_LT(ComparePlain("€", "ä"), 0);
  EXPECT_LT(ComparePlain("Šimon", "ärger"), 0);
  EXPECT_GT(ComparePlain("Łukasz", "ÿ"), 0);
  EXPECT_LT(ComparePlain("Ł", "Ń"), 0);
  EXPECT_EQ(LowerAscii("ÄBC-xyZ"), "Äbc-xyz");
}

TEST(SortCompare, NumericFallsBackToText) {
  platform::PinFormatLocale(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_LT(CompareNumeric("9", "10"), 0);
  EXPECT_GT(CompareNumeric("10,5", "10,25"), 0);  // the locale's decimal separator
  EXPECT_LT(CompareNumeric("-3", "2"), 0);
  EXPECT_EQ(CompareNumeric("1,0", "1"), 0);
  EXPECT_LT(CompareNumeric("", "1"), 0);      // empty fails: plain comparison
  EXPECT_GT(CompareNumeric("abc", "10"), 0);  // non-numeric: plain comparison
  platform::PinFormatLocale(std::nullopt);
}

TEST(SortCompare, DateAndTimeStyles) {
  platform::PinFormatLocale(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_LT(CompareTime("9:05", "10:00"), 0);
  EXPECT_GT(CompareTime("23:59", "0:01"), 0);
  EXPECT_LT(CompareDateTime("01.02.2026", "15.01.2027"), 0);
  EXPECT_GT(CompareDateTime("02.01.2026", "01.02.2025"), 0);
  EXPECT_LT(CompareDateTime("x", "y"), 0);  // neither converts: plain
  platform::PinFormatLocale(std::nullopt);
}

TEST(SortCompare, NumericExtendedComparesTheDifferingNumbers) {
  EXPECT_EQ(Sign(CompareNumericExtended("Lauf 9", "Lauf 10")), -1);
  EXPECT_EQ(Sign(CompareNumericExtended("Lauf 10", "Lauf 9")), 1);
  EXPECT_EQ(Sign(CompareNumericExtended("a10 xy", "a9 xy")), 1);
  EXPECT_EQ(Sign(CompareNumericExtended("9", "10")), -1);
  EXPECT_EQ(CompareNumericExtended("abc", "abc"), 0);
  // Numerically equal but different texts give 1 in both orders.
  EXPECT_EQ(CompareNumericExtended("01", "1"), 1);
  EXPECT_EQ(CompareNumericExtended("1", "01"), 1);
  // Non-numeric differences fall back to the plain comparison of the remainders.
  EXPECT_EQ(Sign(CompareNumericExtended("abc", "abd")), -1);
  // Empty texts first and equal to each other.
  EXPECT_EQ(CompareNumericExtended("", ""), 0);
  EXPECT_LT(CompareNumericExtended("", "a"), 0);
  EXPECT_GT(CompareNumericExtended("a", ""), 0);
}

TEST(SortCompare, StrToIntTakesSignAndBlanks) {
  int32_t v = 0;
  EXPECT_TRUE(TryStrToInt(" -42", v));
  EXPECT_EQ(v, -42);
  EXPECT_TRUE(TryStrToInt("2147483647", v));
  EXPECT_FALSE(TryStrToInt("2147483648", v));
  EXPECT_FALSE(TryStrToInt("1,5", v));
  EXPECT_FALSE(TryStrToInt("", v));
}
