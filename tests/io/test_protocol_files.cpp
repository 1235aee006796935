// The protocol's files byte for byte: the tab-separated text, the CSV as the save command
// writes it, and the HTML report; the save dialog's file types and default name.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "common/Doubles.h"
#include "grid/SortGrid.h"
#include "io/HtmlReport.h"
#include "io/ProtocolFiles.h"
#include "platform/AppTitle.h"

namespace {

using testing_doubles::Doubles;

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

// Lines joined with CR LF after each, as the files end their lines.
QByteArray CrLf(std::initializer_list<const char*> lines) {
  QByteArray out;
  for (const char* line : lines) out += QByteArray(line) + "\r\n";
  return out;
}

// A protocol of fourteen columns with the titles the window writes, and data rows given as
// they stand in the grid (a place "-" is an unranked rider).
struct ProtocolGrid : ::testing::Test {
  QTemporaryDir dir;
  TSortGrid grid;

  void SetUp() override {
    grid.SetColCount(14);
    grid.SetRowCount(2);
    const char* titles[] = {"Platz", "Nr.", "Name", "Kat", "Lap5", "Lap4", "Lap3",
                            "Lap2", "Lap1", "R.Z", "km/h", "Zeit"};
    for (int c = 0; c < 12; ++c) grid.SetCells(c, 0, titles[c]);
  }
  void Row(int row, const QStringList& cells) {
    if (grid.RowCount() <= row) grid.SetRowCount(row + 1);
    for (int c = 0; c < cells.size(); ++c) grid.SetCells(c, row, cells[c]);
  }
  // Two finishers and one rider on course; the last row is the empty entry row.
  void SmallRace() {
    Row(1, {"1", "7", QString::fromUtf8("Jörg Weiß"), "M", "1.40,0", "1.40,5", "1.39,9", "1.41,0", "1.38,6",
            "5", "35,2", "8.20,0", "0", "500000"});
    Row(2, {"-", "12", "Ann; \"Speedy\"", "F", "", "", "", "2.05,1", "2.01,0", "2", "28,9", "4.06,1",
            "123456", "-99"});
    Row(3, {});
  }
  QString Path(const char* name) { return dir.filePath(name); }
};

}  // namespace

TEST_F(ProtocolGrid, TabSeparatedTextHasTwelveFieldsWithATabAfterEach) {
  SmallRace();
  const QString path = Path("race.txt");
  ASSERT_TRUE(SaveProtocolText(grid, path));
  // Umlauts as single Windows-1252 bytes, empty cells as one blank, hidden columns left out.
  EXPECT_EQ(ReadBytes(path),
            CrLf({"Platz\tNr.\tName\tKat\tLap5\tLap4\tLap3\tLap2\tLap1\tR.Z\tkm/h\tZeit\t",
                  "1\t7\tJ\xF6rg Wei\xDF\tM\t1.40,0\t1.40,5\t1.39,9\t1.41,0\t1.38,6\t5\t35,2\t8.20,0\t",
                  "-\t12\tAnn; \"Speedy\"\tF\t \t \t \t2.05,1\t2.01,0\t2\t28,9\t4.06,1\t",
                  " \t \t \t \t \t \t \t \t \t \t \t \t"}));
  EXPECT_TRUE(grid.Modified());  // a save does not count as emptying the protocol
}

TEST_F(ProtocolGrid, TextFileThatCannotBeWrittenIsReported) {
  const QString path = Path("missing-folder/race.txt");
  Doubles().modal.AnswerMessage(mrOk);
  EXPECT_FALSE(SaveProtocolText(grid, path));
  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_EQ(Doubles().modal.History()[0].text, "Der Schreibfehler der Datei: " + path);
  EXPECT_EQ(Doubles().modal.History()[0].icon, MsgIcon::Error);
  EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(ProtocolGrid, CsvCarriesTheHiddenColumnsAndQuotesOnlyWhereNeeded) {
  SmallRace();
  const QString path = Path("race");
  SaveProtocolAs(grid, path, sfCSV);
  EXPECT_EQ(ReadBytes(path),
            CrLf({"Platz;Nr.;Name;Kat;Lap5;Lap4;Lap3;Lap2;Lap1;R.Z;km/h;Zeit;;",
                  "1;7;J\xF6rg Wei\xDF;M;1.40,0;1.40,5;1.39,9;1.41,0;1.38,6;5;35,2;8.20,0;0;500000",
                  "-;12;\"Ann; \"\"Speedy\"\"\";F;;;;2.05,1;2.01,0;2;28,9;4.06,1;123456;-99",
                  ";;;;;;;;;;;;;"}));
  EXPECT_TRUE(grid.Modified());  // a save does not count as emptying the protocol
}

TEST_F(ProtocolGrid, SaveDispatchesByFileTypeAndAddsNoExtension) {
  SmallRace();
  SaveProtocolAs(grid, Path("a"), sfHTML);
  SaveProtocolAs(grid, Path("b"), sfText);
  SaveProtocolAs(grid, Path("c"), 0);  // any other type is text
  EXPECT_TRUE(ReadBytes(Path("a")).startsWith("<HTML>\r\n<HEAD>\r\n"));
  EXPECT_TRUE(ReadBytes(Path("b")).startsWith("Platz\tNr.\t"));
  EXPECT_EQ(ReadBytes(Path("c")), ReadBytes(Path("b")));
  EXPECT_FALSE(QFileInfo::exists(Path("a.html")));

  // An existing file is replaced without a question.
  SaveProtocolAs(grid, Path("a"), sfText);
  EXPECT_EQ(ReadBytes(Path("a")), ReadBytes(Path("b")));
  EXPECT_TRUE(Doubles().modal.History().empty());
}

namespace {

// The page's fixed lines around the table, as the report is published.
const char* const kHead[] = {
    "<HTML>",
    "<HEAD>",
    "<!--quorvex.example software -->",
    "<TITLE>Veltrano</TITLE>",
    "<META http-equiv=Content-Type content=\"text/html; charset=iso-8859-1\">",
    "<META name=keywords content=\"Veltrano\">",
    "<META name=description content=\"Quorvex professional software development for all\">",
    "<META name=\"Webdesign\" content=\"https://quorvex.example/webdesign\">",
    "<STYLE type=text/css>",
    "body {  background-color:#ECF5FF;",
    "\tfont-family:Arial;",
    "\tscrollbar-base-color:#8C8CC6;",
    "\tscrollbar-3dlight-color:#FFFFFF;",
    "\tscrollbar-arrow-color:#FFFFFF;",
    "\tscrollbar-darkshadow-color:0;",
    "\tscrollbar-face-color:#91B5FF;",
    "\tscrollbar-highlight-color:#FFFFFF;",
    "\tscrollbar-shadow-color:0;",
    "\tscrollbar-track-color:#ECF5FF;}",
    "\th6 {background:#91B5FF}",
    "h1 {\tbackground:#FFFFFF;",
    "\tfont-size:14pt;\tcolor:#333333;",
    "\tfont-style:italic;",
    "\tborder-bottom:4px double;",
    "\tpadding-bottom:4px;}",
    "pre {\tbackground-color: #FFFFFF;",
    "\tbackground-image: url(Quorvex.gif);",
    "\tline-height: 22px;",
    "\tWIDTH: 649px;",
    "\tbackground-repeat: repeat-y;",
    "\ttext-transform: uppercase;",
    "\tborder:solid;",
    "\tborder-width: 0px 0px 1px;",
    "\tborder-color: black black #999999}",
    "A:hover{background-color: #FFFFFF;",
    "\tTEXT-DECORATION: none}",
    "</STYLE>",
    "</HEAD>",
    "<BODY>",
    "<DIV style=\"FILTER: Blur(direction=225, strength=6); WIDTH:100%\">",
    "<H1>Zeitenprotokoll</H1></div>",
    "<table style=\"BORDER-COLLAPSE: collapse\" bgcolor=#FFFFFF borderColor=#808080 border=1 cellpadding=4>",
    "<colgroup valign=top><col align=right><col align=right><col><col><col align=right><col align=right>"
    "<col align=right><col align=right><col align=right><col align=right><col align=right><col align=right>"
    "</colgroup>",
    "<thead align=left bgcolor=#91B5FF>",
    "<tr>",
    "<th width=2%>Platz",
    "<th width=2%>Nr.",
    "<th width=10%>Name",
    "<th width=5%>Kat",
    "<th width=5%>Lap5",
    "<th width=5%>Lap4",
    "<th width=5%>Lap3",
    "<th width=5%>Lap2",
    "<th width=5%>Lap1",
    "<th width=2%>R.Z",
    "<th width=5%>km/h",
    "<th width=5%>Zeit",
    "</tr></thead>",
};

const char* const kFoot[] = {
    "</table>",
    "<FONT face=Arial size=4><B>",
    "<P align=right><a style=\"cursor:help\" href=\"https://quorvex.example/\" title=\"Veltrano\">"
    "<FONT color=#FF0000>Qu<FONT color=#009900>or<FONT color=#999999>vex</a>"
    "<FONT color=#666600 size=3>&nbsp;Software</P>",
    "</body></html>",
};

QByteArray Page(std::initializer_list<const char*> body) {
  QByteArray out;
  for (const char* line : kHead) out += QByteArray(line) + "\r\n";
  for (const char* line : body) out += QByteArray(line) + "\r\n";
  for (const char* line : kFoot) out += QByteArray(line) + "\r\n";
  return out;
}

}  // namespace

TEST_F(ProtocolGrid, HtmlPageOfASmallProtocolLineByLine) {
  SmallRace();
  // A rider whose name would be markup, and a cell with two commas.
  Row(3, {"2", "9", "<b>Tom & Jerry</b>", "M", "", "", "", "", "", "1", "1,2,3", "", "7", "8"});
  Row(4, {});
  const QString path = Path("report.html");
  ASSERT_TRUE(WriteHtmlReport(grid, path));
  const QByteArray page = ReadBytes(path);
  const QByteArray expected =
      Page({"<tr><td>1<td>7<td>J\xF6rg Wei\xDF<td>M<td>1.40.0<td>1.40.5<td>1.39.9<td>1.41.0<td>1.38.6<td>5"
            "<td>35.2<td>8.20.0</tr>",
            "<tr><td><h6>-<td>12<td>Ann; &quot;Speedy&quot;<td>F<td><td><td><td>2.05.1<td>2.01.0<td>2<td>28.9"
            "<td>4.06.1</tr>",
            "<tr><td>2<td>9<td>&lt;b&gt;Tom &amp; Jerry&lt;/b&gt;<td>M<td><td><td><td><td><td>1<td>1.2,3<td></tr>",
            "<tr><td><td><td><td><td><td><td><td><td><td><td><td></tr>"});
  // Compare line by line first, so a difference names its line.
  const QList<QByteArray> got = page.split('\n');
  const QList<QByteArray> want = expected.split('\n');
  for (qsizetype i = 0; i < std::min(got.size(), want.size()); ++i)
    EXPECT_EQ(got[i].toStdString(), want[i].toStdString()) << "line " << i + 1;
  EXPECT_EQ(page, expected);
  EXPECT_TRUE(grid.Modified());  // a save does not count as emptying the protocol
}

TEST_F(ProtocolGrid, HtmlPageOfAnEmptyProtocol) {
  ASSERT_TRUE(WriteHtmlReport(grid, Path("empty.html")));
  EXPECT_EQ(ReadBytes(Path("empty.html")), Page({"<tr><td><td><td><td><td><td><td><td><td><td><td><td></tr>"}));
}

TEST_F(ProtocolGrid, HtmlTitlesAndCharactersBeyondTheCodePage) {
  // Titles set by a participant list appear as they stand; the application title is escaped too.
  grid.SetCells(2, 0, "Name & Verein");
  Row(1, {"", "3", QString::fromUtf8("Łukasz 😀"), "", "", "", "", "", "", "", "", "-,5"});
  platform::SetApplicationTitle("Zeit<1>");
  const QStringList lines = HtmlReportLines(grid, platform::ApplicationTitle());
  EXPECT_EQ(lines[3], "<TITLE>Zeit&lt;1&gt;</TITLE>");
  EXPECT_EQ(lines[5], "<META name=keywords content=\"Zeit&lt;1&gt;\">");
  EXPECT_EQ(lines[47], "<th width=10%>Name &amp; Verein");
  // No character is damaged: what Windows-1252 lacks becomes a numeric reference, and "-,5"
  // is "-.5", not the unranked dash.
  EXPECT_EQ(lines[58], "<tr><td><td>3<td>&#321;ukasz &#128512;<td><td><td><td><td><td><td><td><td>-.5</tr>");
  EXPECT_TRUE(lines.last() == "</body></html>");
  EXPECT_TRUE(lines[lines.size() - 2].contains("title=\"Zeit&lt;1&gt;\""));

  ASSERT_TRUE(WriteHtmlReport(grid, Path("t.html")));
  const QByteArray bytes = ReadBytes(Path("t.html"));
  EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));  // stays in the declared 8-bit set
  EXPECT_TRUE(bytes.contains("&#321;ukasz"));
}

TEST_F(ProtocolGrid, HtmlFileThatCannotBeCreatedShowsTheError) {
  // A folder in the file's place cannot be replaced, whoever runs the test.
  const QString path = Path("report.html");
  ASSERT_TRUE(QDir().mkpath(path));
  Doubles().modal.AnswerMessage(mrOk);
  EXPECT_FALSE(WriteHtmlReport(grid, path));
  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_EQ(Doubles().modal.History()[0].text, "Der Schreibfehler der Datei: " + path);
  EXPECT_EQ(Doubles().modal.History()[0].icon, MsgIcon::Error);
  EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST(SaveDialogSetUp, FilterFromTheDescriptionsWithDefaultsForMissingOnes) {
  EXPECT_EQ(SaveDialogFilter(TFileTypeDescriptions{}),
            "MS Excel (*.csv)|*.csv|Webseite (*.html)|*.html|Textdatei (*.txt)|*.txt");
  QStringList asked;
  const TFileTypeDescriptions found = ReadFileTypeDescriptions([&](const QString& id) {
    asked << id;
    return id == "txtfile" ? QString("Einfaches Textdokument") : QString();
  });
  EXPECT_EQ(asked, QStringList({"htmlfile", "txtfile", "Excel.CSV"}));
  EXPECT_EQ(SaveDialogFilter(found),
            "MS Excel (*.csv)|*.csv|Webseite (*.html)|*.html|Einfaches Textdokument (*.txt)|*.txt");
}

TEST(SaveDialogSetUp, TimestampNameHasNoExtension) {
  EXPECT_EQ(TimestampFileName(QDateTime(QDate(2004, 5, 16), QTime(9, 7, 59))), "2004-05-16-09-07");
  EXPECT_EQ(TimestampFileName(QDateTime(QDate(2026, 12, 31), QTime(23, 0))), "2026-12-31-23-00");
}
