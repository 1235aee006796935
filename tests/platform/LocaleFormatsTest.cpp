#include <gtest/gtest.h>

#include "platform/LocalTime.h"
#include "platform/LocaleFormats.h"

using namespace platform;

namespace {

// Pins a locale (and a fixed "now") for one test and restores the system's afterwards.
class PlatformLocale : public ::testing::Test {
protected:
  void TearDown() override {
    PinFormatLocale(std::nullopt);
    SetNowSource({});
  }
  static void Pin(QLocale::Language language, QLocale::Territory territory) {
    PinFormatLocale(QLocale(language, territory));
  }
};

}  // namespace

TEST_F(PlatformLocale, CLocaleCountsAsGerman) {
  if (QLocale::system().language() != QLocale::C)
    GTEST_SKIP() << "needs LC_ALL=C, as ctest runs the suites";
  EXPECT_EQ(FormatLocale().language(), QLocale::German);
  EXPECT_EQ(DecimalSeparator(), QChar(u','));
  EXPECT_EQ(ShortDateFormat(), QStringLiteral("dd.MM.yyyy"));
  EXPECT_EQ(ShortTimeFormat(), QStringLiteral("HH:mm"));
  EXPECT_EQ(FloatToStr(2.5), QStringLiteral("2,5"));
  EXPECT_EQ(StrToFloat(QStringLiteral("2,5")), 2.5);
}

TEST_F(PlatformLocale, PinnedLocaleDecidesTheSeparators) {
  Pin(QLocale::English, QLocale::UnitedStates);
  EXPECT_EQ(DecimalSeparator(), QChar(u'.'));
  EXPECT_EQ(StrToFloat(QStringLiteral("1.5")), 1.5);
  EXPECT_FALSE(StrToFloat(QStringLiteral("1,5")).has_value());
  EXPECT_EQ(FloatToStr(-0.25), QStringLiteral("-0.25"));
  EXPECT_EQ(StrToDateTime(QStringLiteral("5/16/2004 9:07 PM")), QDateTime(QDate(2004, 5, 16), QTime(21, 7)));
  EXPECT_EQ(FormatDateTime(QStringLiteral("h:nn am/pm"), QDateTime(QDate(2004, 5, 16), QTime(0, 7))),
            QStringLiteral("12:07 am"));
}

TEST_F(PlatformLocale, StrToFloatAcceptsOnlyTheLocalesNumbers) {
  Pin(QLocale::German, QLocale::Germany);
  EXPECT_EQ(StrToFloat(QStringLiteral("1,5")), 1.5);
  EXPECT_EQ(StrToFloat(QStringLiteral("  -2,5e3 ")), -2500.0);
  EXPECT_EQ(StrToFloat(QStringLiteral("+7")), 7.0);
  EXPECT_EQ(StrToFloat(QStringLiteral(",5")), 0.5);
  EXPECT_EQ(StrToFloat(QStringLiteral("5,")), 5.0);
  EXPECT_EQ(StrToFloat(QStringLiteral("1E-2")), 0.01);
  for (const char* bad : {"", " ", "-", ",", "1.5", "1.000,5", "1,2,3", "1e", "1e+", "e5", "0x10",
                          "1e400", "inf", "nan", "1 000", "\u0661"}) {
    EXPECT_FALSE(StrToFloat(QString::fromUtf8(bad)).has_value()) << bad;
  }
}

TEST_F(PlatformLocale, FloatToStrIsTheGeneralFormatWithFifteenDigits) {
  Pin(QLocale::German, QLocale::Germany);
  EXPECT_EQ(FloatToStr(0), QStringLiteral("0"));
  EXPECT_EQ(FloatToStr(100), QStringLiteral("100"));
  EXPECT_EQ(FloatToStr(0.1 + 0.2), QStringLiteral("0,3"));
  EXPECT_EQ(FloatToStr(-123456.789), QStringLiteral("-123456,789"));
  EXPECT_EQ(FloatToStr(123456789012345.0), QStringLiteral("123456789012345"));
  EXPECT_EQ(FloatToStr(1e15), QStringLiteral("1E15"));
  EXPECT_EQ(FloatToStr(1.25e20), QStringLiteral("1,25E20"));
  EXPECT_EQ(FloatToStr(0.00001), QStringLiteral("0,00001"));
  EXPECT_EQ(FloatToStr(1.5e-6), QStringLiteral("1,5E-6"));
  EXPECT_EQ(FloatToStr(2.0 / 3.0), QStringLiteral("0,666666666666667"));
  // What FloatToStr writes, StrToFloat reads back.
  for (double v : {1.5, -0.001, 9.87654321e-9, 4.2e100})
    EXPECT_DOUBLE_EQ(StrToFloat(FloatToStr(v)).value_or(0), v);
}

TEST_F(PlatformLocale, FormatDateTimeFollowsTheToolkitsPatterns) {
  Pin(QLocale::German, QLocale::Germany);
  const QDateTime morning(QDate(2004, 5, 16), QTime(9, 7, 5, 30));
  // "mm" after an hour is minutes, also with a separator between; elsewhere it is the month.
  EXPECT_EQ(FormatDateTime(QStringLiteral("yyyy-mm-dd-hh-mm"), morning), QStringLiteral("2004-05-16-09-07"));
  EXPECT_EQ(FormatDateTime(QStringLiteral("d.m.yy h:nn:ss,zzz"), morning), QStringLiteral("16.5.04 9:07:05,030"));
  EXPECT_EQ(FormatDateTime(QStringLiteral("ddddd   t"), QDateTime(QDate(2026, 12, 6), QTime(23, 33, 59))),
            QStringLiteral("06.12.2026   23:33"));
  EXPECT_EQ(FormatDateTime(QStringLiteral("tt"), morning), QStringLiteral("09:07:05"));
  EXPECT_EQ(FormatDateTime(QStringLiteral("'yyyy' \"mm\" yyyy"), morning), QStringLiteral("yyyy mm 2004"));
  EXPECT_EQ(FormatDateTime(QStringLiteral("dddd, d. mmmm"), morning), QStringLiteral("Sonntag, 16. Mai"));
  EXPECT_EQ(FormatDateTime(QStringLiteral("dd/mm/yyyy hh:nn"), morning), QStringLiteral("16.05.2004 09:07"));
  EXPECT_EQ(FormatDateTime(QStringLiteral("c"), QDateTime(QDate(2004, 5, 16), QTime(0, 0))), QStringLiteral("16.05.2004"));
}

TEST_F(PlatformLocale, DatesAndTimesAreReadInTheLocalesFormats) {
  Pin(QLocale::German, QLocale::Germany);
  SetNowSource([] { return QDateTime(QDate(2025, 6, 1), QTime(12, 0)); });
  EXPECT_EQ(StrToDateTime(QStringLiteral("16.05.2004 09:07")), QDateTime(QDate(2004, 5, 16), QTime(9, 7)));
  EXPECT_EQ(StrToDateTime(QStringLiteral("16.5.2004")), QDateTime(QDate(2004, 5, 16), QTime(0, 0)));
  EXPECT_EQ(StrToDateTime(QStringLiteral("1.2.")), QDateTime(QDate(2025, 2, 1), QTime(0, 0)));
  // Two-digit years fall within fifty years of now.
  EXPECT_EQ(StrToDateTime(QStringLiteral("1.1.74"))->date().year(), 2074);
  EXPECT_EQ(StrToDateTime(QStringLiteral("1.1.75"))->date().year(), 1975);
  // A time alone stands on day zero, so it sorts before every date.
  EXPECT_EQ(StrToDateTime(QStringLiteral("9:07:05,5")), QDateTime(QDate(1899, 12, 30), QTime(9, 7, 5, 500)));
  EXPECT_LT(*StrToDateTime(QStringLiteral("23:59")), *StrToDateTime(QStringLiteral("01.01.1900")));
  EXPECT_EQ(StrToTime(QStringLiteral(" 23:59:59 ")), QTime(23, 59, 59));
  for (const char* bad : {"", "12", "31.02.2004", "16.05.2004 25:00", "16.05.2004 12:60", "16-05-2004",
                          "9:07 Uhr", "16.05.2004 x", "1.2.3.4", "123456.1.2004"}) {
    EXPECT_FALSE(StrToDateTime(QString::fromLatin1(bad)).has_value()) << bad;
  }
  EXPECT_FALSE(StrToTime(QStringLiteral("16.05.2004")).has_value());
  EXPECT_FALSE(StrToTime(QStringLiteral("7")).has_value());
}

TEST_F(PlatformLocale, NowCanBeReplaced) {
  const QDateTime fixed(QDate(2004, 5, 16), QTime(9, 7));
  SetNowSource([&] { return fixed; });
  EXPECT_EQ(Now(), fixed);
  SetNowSource({});
  EXPECT_LE(qAbs(Now().secsTo(QDateTime::currentDateTime())), 5);
}
