// The participant list's parser, its loading rules and the list files it reads.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <vector>
#include <sys/stat.h>

#include "io/ParticipantList.h"

namespace {

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

}  // namespace

TEST(ParticipantParser, StepsOverBlanksAndStopsOnTheTab) {
  const QString line = "  12\t\t Meier  \tM\textra";
  int pos = 1;
  SkipBlanks(line, pos);
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(ReadField(line, pos), "12");
  EXPECT_EQ(pos, 5);  // on the TAB
  SkipBlanks(line, pos);
  EXPECT_EQ(ReadField(line, pos), "Meier  ");
  // At the end of the line both steps stand still and the field is empty.
  int end = line.size() + 1;
  SkipBlanks(line, end);
  EXPECT_EQ(ReadField(line, end), "");
  EXPECT_EQ(end, line.size() + 1);

  // An empty field between two TABs does not exist for this parser; a fourth field is ignored.
  EXPECT_EQ(ParseParticipant("12\t\tMeier"), (TParticipant{"12", "Meier", ""}));
  EXPECT_EQ(ParseParticipant(" 7 \t Anna\tF\tVerein"), (TParticipant{"7 ", "Anna", "F"}));
  EXPECT_EQ(ParseParticipant(""), TParticipant{});
  EXPECT_EQ(ParseParticipant(" \t "), TParticipant{});
}

TEST(ParticipantParser, StartNumberChoiceIsTheRawTextBeforeTheFirstTab) {
  EXPECT_EQ(StartNumberChoice(" 7\tAnna\tF"), " 7");
  EXPECT_EQ(StartNumberChoice("\tAnna"), "");
  EXPECT_EQ(StartNumberChoice("42"), "42");
  // Only the first 255 characters count.
  EXPECT_EQ(StartNumberChoice(QString(300, 'x') + "\tName"), QString(255, 'x'));
}

TEST(ParticipantListLoad, HeaderLineGivesTheTitlesAndIsDropped) {
  TParticipantList list;
  const auto loaded = list.Load({"Nr.\tName\tKat", "1\tAnna\tF", "2\tBert\tM"}, "Name:");
  EXPECT_EQ(loaded.Titles, (std::array<QString, 3>{"Nr.", "Name", "Kat"}));
  EXPECT_EQ(loaded.StartNumbers, QStringList({"1", "2"}));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.CounterText(), "1 von 2");

  // Each marker alone makes a header, tested case-sensitively.
  for (const char* head : {"Start Nr.", "Teilnehmer\tName:", "Startnr\tNamen"}) {
    list.Load({head, "1\tAnna"}, "Name:");
    EXPECT_EQ(list.Count(), 1) << head;
  }
  list.Load({"nr\tname", "1\tAnna"}, "Name:");
  EXPECT_EQ(list.Count(), 2);
}

TEST(ParticipantListLoad, WithoutHeaderTheFirstRiderNamesTheColumnsAndStays) {
  TParticipantList list;
  const auto loaded = list.Load({"12\tMeier\tM", "13\tMüller"}, "Name:");
  EXPECT_EQ(loaded.Titles, (std::array<QString, 3>{"12", "Meier", "M"}));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.CurrentParticipant(), (TParticipant{"12", "Meier", "M"}));
}

TEST(ParticipantListLoad, EmptyLinesGoExceptTheFirst) {
  TParticipantList list;
  const auto loaded = list.Load({"", "1\tAnna", "", "", " \t", "2\tBert", ""}, "Name:");
  // The empty first line stays and is counted; a line of blanks stays too.
  EXPECT_EQ(list.Lines(), QStringList({"", "1\tAnna", " \t", "2\tBert"}));
  EXPECT_EQ(loaded.Titles, (std::array<QString, 3>{}));
  EXPECT_EQ(loaded.StartNumbers, QStringList({"", "1", " ", "2"}));

  list.Load({}, "Name:");
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Current(), -1);
  EXPECT_EQ(list.CounterText(), "0 von 0");
  EXPECT_FALSE(list.CurrentParticipant().has_value());
  EXPECT_FALSE(list.CanGoBack() || list.CanGoForward());
}

TEST(ParticipantListMoves, StepAndChooseStayInsideTheList) {
  TParticipantList list;
  list.Load({"1\tA", "2\tB", "3\tC"}, "Name:");
  EXPECT_FALSE(list.CanGoBack());
  EXPECT_TRUE(list.CanGoForward());
  list.Step(1);
  list.Step(1);
  EXPECT_EQ(list.CounterText(), "3 von 3");
  EXPECT_FALSE(list.CanGoForward());
  EXPECT_TRUE(list.CanGoBack());
  // An index beyond the list (a second load doubled the drop-down) means no participant.
  list.Choose(4);
  EXPECT_EQ(list.Current(), -1);
  EXPECT_EQ(list.CounterText(), "0 von 3");
  EXPECT_FALSE(list.CurrentParticipant().has_value());
  EXPECT_TRUE(list.CanGoForward());
  list.Step(1);
  EXPECT_EQ(list.CurrentParticipant()->Name, "A");
}

TEST(ListFiles, ReadsEitherEncodingAndEveryLineEnd) {
  QTemporaryDir dir;
  const QString ansi = dir.filePath("ansi.txt");
  WriteBytes(ansi, "1\tJ\xF6rg\tM\r\n2\tGr\xE4" "f\tF\n3\tO\xDF\rend");
  const TListFile a = ReadListFile(ansi);
  ASSERT_TRUE(a.Lines.has_value());
  EXPECT_EQ(*a.Lines, QStringList({QString::fromUtf8("1\tJörg\tM"), QString::fromUtf8("2\tGräf\tF"),
                                   QString::fromUtf8("3\tOß"), "end"}));

  const QString utf8 = dir.filePath("utf8.txt");
  WriteBytes(utf8, "\xEF\xBB\xBF" "1\tJ\xC3\xB6rg\r\n");
  EXPECT_EQ(*ReadListFile(utf8).Lines, QStringList({QString::fromUtf8("1\tJörg")}));

  const QString empty = dir.filePath("empty.txt");
  WriteBytes(empty, "");
  EXPECT_EQ(*ReadListFile(empty).Lines, QStringList());
}

TEST(ListFiles, ReportsWhyAFileCannotBeOpened) {
  QTemporaryDir dir;
  const TListFile missing = ReadListFile(dir.filePath("Kategorie.txt"));
  EXPECT_FALSE(missing.Lines.has_value());
  EXPECT_EQ(missing.Error, "Die Datei \"" + dir.filePath("Kategorie.txt") +
                               "\" kann nicht geöffnet werden. Sie wurde nicht gefunden.");
  const TListFile folder = ReadListFile(dir.path());
  EXPECT_FALSE(folder.Lines.has_value());
  EXPECT_TRUE(folder.Error.endsWith("Das ist ein Ordner."));

  const QString big = dir.filePath("big.txt");
  {
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(kMaxListFileBytes + 1));
  }
  const TListFile tooBig = ReadListFile(big);
  EXPECT_FALSE(tooBig.Lines.has_value());
  EXPECT_TRUE(tooBig.Error.endsWith("Sie ist zu groß für eine Liste."));
}

TEST(ListFiles, APipeIsRefusedInsteadOfWaitedFor) {
  QTemporaryDir dir;
  const QString pipe = dir.filePath("liste.txt");
  ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  // Opening a pipe without a writer would block for good.
  const TListFile file = ReadListFile(pipe);
  EXPECT_FALSE(file.Lines.has_value());
  EXPECT_TRUE(file.Error.endsWith("Das ist keine Datei."));
}

TEST(ParticipantParser, FieldsOfMegabytesAreCutAndSoAreTheTitles) {
  const QString huge(1000000, u'n');
  const TParticipant p = ParseParticipant("  " + huge + "\t" + huge + "\t\tF" + huge);
  EXPECT_EQ(p.Number, huge.left(kMaxParticipantField));
  EXPECT_EQ(p.Name, huge.left(kMaxParticipantField));
  EXPECT_EQ(p.Category, "F" + huge.left(kMaxParticipantField - 1));

  TParticipantList list;
  const auto loaded = list.Load({"7\t" + huge + "\tM"}, "Name:");
  EXPECT_EQ(loaded.Titles[1].size(), kMaxParticipantField);
  EXPECT_EQ(list.CurrentParticipant()->Category, "M");
}

TEST(CategoryFile, BlankLinesGiveNoChoice) {
  EXPECT_EQ(CategoryChoices({"M", "", "F", "   ", "\t", "Jugend B", ""}), QStringList({"M", "F", "Jugend B"}));
  EXPECT_EQ(CategoryChoices({"", " "}), QStringList());
  // A choice keeps its text as the file has it.
  EXPECT_EQ(CategoryChoices({" M40 "}), QStringList({" M40 "}));
}

// Which protocol row a participant rides in: a started row with his name and the number START
// gave him; not the entry row, not a namesake with another number.
TEST(ParticipantRow, IsTheStartedRowWithHisNameAndNumber) {
  // Number, name, start tick (column 13) of rows 0 (the header) to 6.
  const std::vector<std::array<QString, 3>> rows{{"Nr.", "Name", ""}, {"7", "Meier", "1"}, {"8", "Meier", "2"},
                                                 {"3", "Ohne", "3"},  {"", "", ""},       {"9", "Leer", ""},
                                                 {"12", "", "4"}};
  auto cell = [&rows](int32_t col, int32_t row) {
    const auto& r = rows.at(static_cast<size_t>(row));
    return col == 1 ? r[0] : col == 2 ? r[1] : col == 13 ? r[2] : QString();
  };
  const std::vector<std::pair<TParticipant, int32_t>> cases{
      {{"8", "Meier", "M"}, 2}, {{"007", "Meier", ""}, 1}, {{" 8", "Meier", ""}, 2}, {{"5", "Meier", ""}, 0},
      {{"A1", "Ohne", ""}, 3},  // no number: START gave him his row's, which rankings change
      {{"9", "Leer", ""}, 0},   {{"12", "", ""}, 6},       {{"", "", ""}, 0},        {{"7", "meier", ""}, 0}};
  for (const auto& [participant, row] : cases)
    EXPECT_EQ(StartedRowOf(participant, static_cast<int32_t>(rows.size()), cell), row)
        << participant.Number.toStdString() << " " << participant.Name.toStdString();
}
