#include <gtest/gtest.h>

#include "grid/CommaList.h"

TEST(CommaList, WritesQuotesOnlyWhereNeeded) {
  EXPECT_EQ(WriteCommaList({}), "");
  EXPECT_EQ(WriteCommaList({""}), "\"\"");
  EXPECT_EQ(WriteCommaList({"Nr.", "Name"}), "Nr.,Name");
  EXPECT_EQ(WriteCommaList({"7", ""}), "7,");
  EXPECT_EQ(WriteCommaList({"", "", ""}), ",,");
  EXPECT_EQ(WriteCommaList({"a b", "x,y", "say \"hi\"", "tab\there"}),
            "\"a b\",\"x,y\",\"say \"\"hi\"\"\",\"tab\there\"");
  EXPECT_EQ(WriteCommaList({"clBlack,0,0,0,clBlack"}), "\"clBlack,0,0,0,clBlack\"");
}

TEST(CommaList, ReadsItemsBlanksAndQuotes) {
  EXPECT_EQ(ReadCommaList(""), QStringList());
  EXPECT_EQ(ReadCommaList("\"\""), QStringList({""}));
  EXPECT_EQ(ReadCommaList("7,"), QStringList({"7", ""}));
  EXPECT_EQ(ReadCommaList(",,"), QStringList({"", "", ""}));
  EXPECT_EQ(ReadCommaList("1 2"), QStringList({"1", "2"}));  // an unquoted blank separates
  EXPECT_EQ(ReadCommaList("  11 , 9 ,3"), QStringList({"11", "9", "3"}));
  EXPECT_EQ(ReadCommaList("\"a \"\"b\"\" c\",d"), QStringList({"a \"b\" c", "d"}));
  EXPECT_EQ(ReadCommaList("\"unterminated"), QStringList({"unterminated"}));
  EXPECT_EQ(ReadCommaList(QString("a,b") + QChar(0) + ",c"), QStringList({"a", "b"}));
  EXPECT_EQ(ReadCommaList(QString("a,") + QChar(0) + "b"), QStringList({"a"}));  // an unquoted NUL ends it
}

TEST(CommaList, RoundTripsEveryNonEmptyList) {
  const QList<QStringList> lists = {
      {""}, {"", ""}, {"a"}, {" lead", "trail ", "mid dle"}, {"\"", "\"\"", ","},
      {"Müller, Anna", "1.05,2", "", "-1"}, {"\r\n", "x"}, {"", "", "", ""},
      {QString("a") + QChar(0) + "b", "c"},  // a NUL inside quotes is kept
  };
  for (const QStringList& items : lists) {
    EXPECT_EQ(ReadCommaList(WriteCommaList(items)), items) << WriteCommaList(items).toStdString();
  }
}

TEST(CommaList, FileTextSplitsWhereAListEndsNotInsideQuotes) {
  // Without line breaks inside quotes it splits as plain lines do.
  EXPECT_EQ(SplitCommaListLines("a,b\r\nc\nd\re\r\n"), QStringList({"a,b", "c", "d", "e"}));
  EXPECT_EQ(SplitCommaListLines("a\r\n\r\nb"), QStringList({"a", "", "b"}));
  EXPECT_EQ(SplitCommaListLines(""), QStringList());
  // A quote inside an unquoted item is a character of it, not the start of a quoted item.
  EXPECT_EQ(SplitCommaListLines("ab\"c,d\r\ne\"\r\nf"), QStringList({"ab\"c,d", "e\"", "f"}));

  // Every kind of line break inside a quoted item stays in it; doubled quotes do not end it.
  const QStringList written = {WriteCommaList({"1", "zwei\r\nZeilen", "x"}), WriteCommaList({"2", "nur\nLF"}),
                               WriteCommaList({"3", "nur\rCR", "\"\r\n\"\""}), WriteCommaList({"\n"})};
  EXPECT_EQ(SplitCommaListLines(written.join("\r\n") + "\r\n"), written);
  EXPECT_EQ(ReadCommaList(SplitCommaListLines(written.join("\r\n"))[2]), QStringList({"3", "nur\rCR", "\"\r\n\"\""}));

  // A quote never closed (a file cut inside a cell, or damaged by hand) does not swallow the
  // rest of the file: from its line on, lines split as plain lines do.
  EXPECT_EQ(SplitCommaListLines("a\r\n\"cut\r\nb\r\nc"), QStringList({"a", "\"cut", "b", "c"}));
}
