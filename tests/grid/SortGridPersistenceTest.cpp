// Grid persistence: Clear, the grid's own file format, loading and its failure rules, CSV,
// the Modified flag, font settings and colour texts.
#include <gtest/gtest.h>

#include <QDir>
#include <algorithm>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <limits>

#include "common/Doubles.h"
#include "grid/CommaList.h"
#include "SortGridTestUtil.h"

using testing_doubles::Doubles;

namespace {

QByteArray ReadBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

std::vector<QStringList> AllCells(const TSortGrid& grid) {
  std::vector<QStringList> rows;
  for (int32_t r = 0; r < grid.RowCount(); ++r) {
    QStringList row;
    for (int32_t c = 0; c < grid.ColCount(); ++c) row << grid.Cells(c, r);
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

TEST(SortGridPersistence, ExampleFileByteForByte) {
  QTemporaryDir dir;
  TSortGrid grid;
  Fill(grid, {{"Nr.", "Name"}, {"3", "Xaver"}, {"4", "Yvonne"}});
  grid.Clear();
  grid.SetCells(0, 1, "7");
  const QString path = dir.filePath("grid.txt");
  grid.SaveToFile(path, false);
  EXPECT_EQ(ReadBytes(path),
            QByteArray("GenerelSettings,0\r\nFontColSettings\r\nFontRowSettings\r\nUserSettings\r\n"
                       "-1,-1,-1,-1,-1,-1\r\nNr.,Name\r\n7,\r\n"));
  EXPECT_TRUE(Doubles().modal.History().empty());
}

TEST(SortGridPersistence, ClearKeepsHeaderAndForgetsTheRest) {
  TSortGrid grid;
  Fill(grid, {{"A", "B", "C"}, {"1", "x", "h"}, {"2", "y", "h"}, {"3", "z", "h"}});
  grid.SetColWidths(2, -1);
  grid.SetObjects(0, 2, &grid);
  grid.SetRow(3);
  grid.SortOptions().SetSecondaryIndex("1");
  grid.SetUserSettings({"keep"});
  int modified = 0, ends = 0, selected = 0;
  grid.OnModified = [&](QObject*) { ++modified; };
  grid.OnEndUpdate = [&](QObject*) { ++ends; };
  grid.OnRowSelected = [&](QObject*) { ++selected; };
  grid.Clear();

  EXPECT_EQ(AllCells(grid), (std::vector<QStringList>{{"A", "B", "C"}, {"", "", ""}}));
  EXPECT_EQ(grid.Objects(0, 2), nullptr);
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_FALSE(grid.Modified());
  EXPECT_EQ(modified, 0);               // false without the event
  EXPECT_EQ(ends, 2);                   // the auto-size bracket and Clear's own
  EXPECT_GE(selected, 1);               // the last thing Clear does
  EXPECT_FALSE(grid.NowUpdating());
  EXPECT_TRUE(grid.SelectedRows().isEmpty());
  EXPECT_EQ(grid.SelectionTrail(), QStringList({"1"}));
  EXPECT_GT(grid.ColWidths(2), 0);      // forced auto-size shows hidden columns again
  EXPECT_EQ(grid.ColCount(), 3);
  EXPECT_EQ(grid.SortOptions().SecondaryIndex(), "1");
  EXPECT_EQ(grid.UserSettings(), QStringList({"keep"}));

  const QStringList lines = grid.SaveToStrings(false);
  EXPECT_EQ(lines.mid(0, 4), QStringList({"GenerelSettings,0", "FontColSettings", "FontRowSettings",
                                          "UserSettings,keep"}));

  // A grid cut down to its header clears too.
  Doubles().modal.AnswerMessage(mrOk);
  grid.SetRowCount(1);
  grid.Clear();
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.Row(), 1);
}

TEST(SortGridPersistence, RoundTripOfAwkwardTexts) {
  QTemporaryDir dir;
  TSortGrid grid;
  // Column 0 is already in order, since loading sorts by it.
  Fill(grid, {{"Nr.", "Name, Vorname", "Kat"},
              {"1", "Müller, Anna", "say \"hi\""},
              {"2", " lead and trail ", "tab\there"},
              {"3", "", ""},
              {"4", "\"", "a;b"},
              {"5", "Łukasz Żółć", "€ Š"},
              {"", "", ""}});
  grid.SetColumnFontsFirst(true);
  grid.ColumnFonts().Items(1).Bold = true;
  grid.ColumnFonts().Items(1).FontColor = clRed;
  grid.ColumnFonts().Items(2).BackColor = 0x00123456;
  grid.RowFonts().Items(3).Underline = true;
  grid.RowFonts().Items(3).FontColor = clBtnFace;
  grid.SetUserSettings({"eins zwei", "", "drei,vier", "\"q\""});
  const QString path = dir.filePath("awkward.txt");
  grid.SaveToFile(path, false);
  // A name outside Windows-1252 makes the file UTF-8 with a byte-order mark.
  EXPECT_TRUE(ReadBytes(path).startsWith("\xEF\xBB\xBF"));

  TSortGrid loaded;
  int modified = 0;
  loaded.OnModified = [&](QObject*) { ++modified; };
  ASSERT_TRUE(loaded.LoadFromFile(path, false));
  std::vector<QStringList> expected = AllCells(grid);
  std::rotate(expected.begin() + 1, expected.end() - 1, expected.end());  // the empty key sorts first
  EXPECT_EQ(AllCells(loaded), expected);
  EXPECT_FALSE(loaded.Modified());
  EXPECT_TRUE(loaded.ColumnFontsFirst());
  EXPECT_EQ(loaded.UserSettings(), grid.UserSettings());
  ASSERT_EQ(loaded.ColumnFonts().Count(), 3);
  EXPECT_TRUE(loaded.ColumnFonts().Items(1).Bold);
  EXPECT_EQ(loaded.ColumnFonts().Items(1).FontColor, clRed);
  EXPECT_EQ(loaded.ColumnFonts().Items(2).BackColor, 0x00123456u);
  ASSERT_EQ(loaded.RowFonts().Count(), 7);
  EXPECT_TRUE(loaded.RowFonts().Items(3).Underline);
  EXPECT_EQ(loaded.RowFonts().Items(3).FontColor, clBtnFace);
  EXPECT_EQ(loaded.SaveToStrings(false).mid(0, 4), grid.SaveToStrings(false).mid(0, 4));

  // A one-column grid with an empty cell writes two quotes and reads back an empty cell.
  TSortGrid single;
  Fill(single, {{"x"}, {""}});
  const QStringList lines = single.SaveToStrings(false);
  EXPECT_EQ(lines.last(), "\"\"");
  EXPECT_EQ(lines[4], "-1,-1,-1,-1,-1");
  TSortGrid back;
  ASSERT_TRUE(back.LoadFromStrings(lines, false));
  EXPECT_EQ(AllCells(back), (std::vector<QStringList>{{"x"}, {""}}));
}

TEST(SortGridPersistence, LoadSortsByTheFirstColumnAndOwnsTheStyle) {
  TSortGrid grid;
  const QStringList lines = {"-1,-1,-1,-1,-1,-1", "Nr.,Name", "10,a", "9,b", "100,c"};
  ASSERT_TRUE(grid.LoadFromStrings(lines, false));  // no sections: the first line is the layout
  EXPECT_EQ(Column(grid, 0), QStringList({"10", "100", "9"}));  // as text
  EXPECT_EQ(grid.SortOptions().SortDirection(), sdAscending);
  grid.OnGetSortStyle = [](QObject*, int32_t, TSortStyle& s) { s = ssNumeric; };
  ASSERT_TRUE(grid.LoadFromStrings(lines, false));
  EXPECT_EQ(Column(grid, 0), QStringList({"9", "10", "100"}));
  grid.SortOptions().SetCanSort(false);
  ASSERT_TRUE(grid.LoadFromStrings(lines, false));
  EXPECT_EQ(Column(grid, 0), QStringList({"10", "9", "100"}));
  EXPECT_EQ(grid.ColCount(), 2);
  EXPECT_EQ(grid.RowCount(), 4);
  EXPECT_TRUE(grid.UserSettings().isEmpty());
}

TEST(SortGridPersistence, MalformedFilesFailAndLeaveTheBracket) {
  QTemporaryDir dir;
  TSortGrid grid;
  Fill(grid, {{"A", "B"}, {"1", "2"}});
  int ends = 0;
  grid.OnEndUpdate = [&](QObject*) { ++ends; };

  // Unreadable: false, no message, grid unchanged.
  EXPECT_FALSE(grid.LoadFromFile(dir.filePath("missing.txt"), false));
  EXPECT_EQ(grid.Cells(0, 1), "1");
  EXPECT_EQ(ends, 0);

  const std::vector<QStringList> bad = {
      {},                                                   // no line at all
      {"GenerelSettings"},                                  // its flag is missing
      {"GenerelSettings,0", "FontColSettings,\"clBlack,0,0\""},  // a font text of three items
      {"FontColSettings,\"clNix,0,0,0,clBlack\""},          // a colour nobody knows
      {"GenerelSettings,1", ""},                            // an empty line where a section may stand
  };
  for (const QStringList& lines : bad) {
    EXPECT_FALSE(grid.LoadFromStrings(lines, false)) << lines.join(" / ").toStdString();
    EXPECT_FALSE(grid.NowUpdating());
    EXPECT_TRUE(grid.InputEnabled());
    EXPECT_EQ(grid.Cells(0, 1), "");  // it was cleared first
  }

  // What was read before the fault stays.
  ASSERT_FALSE(grid.LoadFromStrings({"GenerelSettings,1", "FontColSettings,\"clRed,1,0,0,clWhite\",x"}, false));
  EXPECT_TRUE(grid.ColumnFontsFirst());
  ASSERT_EQ(grid.ColumnFonts().Count(), 1);
  EXPECT_EQ(grid.ColumnFonts().Items(0).FontColor, clRed);

  // A layout line that does not convert fails only when the layout is restored.
  const QStringList layoutBad = {"UserSettings", "w,h,x,y,z,v", "A,B", "1,2"};
  EXPECT_TRUE(grid.LoadFromStrings(layoutBad, false));
  EXPECT_FALSE(grid.LoadFromStrings(layoutBad, true));
  EXPECT_EQ(grid.Cells(1, 1), "2");  // rows were in before the layout step
}

TEST(SortGridPersistence, LayoutIsSavedAndRestored) {
  QWidget form;
  auto* grid = new TSortGrid(&form);
  Fill(*grid, {{"A", "B", "C"}, {"1", "2", "3"}});
  grid->SetColWidths(0, 40);
  grid->SetColWidths(1, 55);
  grid->SetColWidths(2, -1);
  form.resize(300, 200);
  QStringList lines = grid->SaveToStrings(true);
  const QStringList layout = ReadCommaList(lines[4]);
  ASSERT_EQ(layout.size(), 7);
  EXPECT_EQ(layout.mid(2, 3), QStringList({"40", "55", "-1"}));
  EXPECT_EQ(layout[0].toInt(), form.frameGeometry().width());

  QWidget other;
  auto* target = new TSortGrid(&other);
  ASSERT_TRUE(target->LoadFromStrings(lines, true));
  EXPECT_EQ(target->ColWidths(0), 40);
  EXPECT_EQ(target->ColWidths(1), 55);
  EXPECT_EQ(target->ColWidths(2), -1);
  EXPECT_EQ(other.frameGeometry().width(), form.frameGeometry().width());

  // Saved without layout and restored with it: every column is hidden.
  lines = grid->SaveToStrings(false);
  ASSERT_TRUE(target->LoadFromStrings(lines, true));
  for (int32_t c = 0; c < 3; ++c) EXPECT_EQ(target->ColWidths(c), -1);
}

TEST(SortGridPersistence, CsvHasTheHeaderHiddenColumnsAndQuotesOnlyWhereNeeded) {
  QTemporaryDir dir;
  TSortGrid grid;
  Fill(grid, {{"Platz", "Name", "Tick"},
              {"1", "Müller, Anna", "123"},
              {"2", "a;b", "say \"x\""},
              {"", "two\r\nlines", " "}});
  grid.SetColWidths(2, -1);
  const QString path = dir.filePath("p.csv");
  grid.SaveToCSV(path);
  EXPECT_EQ(ReadBytes(path), QByteArray("Platz;Name;Tick\r\n"
                                        "1;M\xFCller, Anna;123\r\n"
                                        "2;\"a;b\";\"say \"\"x\"\"\"\r\n"
                                        ";\"two\r\nlines\"; \r\n"));
  EXPECT_TRUE(Doubles().modal.History().empty());
}

TEST(SortGridPersistence, WriteFailuresAreReported) {
  QTemporaryDir dir;
  TSortGrid grid;
  Fill(grid, {{"A"}, {"1"}});
  const QString bad = dir.filePath("no/such/folder/x.txt");
  Doubles().modal.AnswerMessage(mrOk);
  grid.SaveToFile(bad, false);
  Doubles().modal.AnswerMessage(mrOk);
  grid.SaveToCSV(bad);
  ASSERT_EQ(Doubles().modal.History().size(), 2u);
  for (const auto& shown : Doubles().modal.History()) {
    EXPECT_EQ(shown.text, "Can't write to file:\r" + bad);
    EXPECT_EQ(shown.icon, MsgIcon::Error);
  }
  EXPECT_FALSE(QFile::exists(bad));

  // Replacing an existing file leaves no temporary file behind.
  const QString good = dir.filePath("x.txt");
  WriteBytes(good, "old");
  grid.SaveToFile(good, false);
  EXPECT_TRUE(ReadBytes(good).startsWith("GenerelSettings"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"x.txt"}));
}

TEST(SortGridPersistence, ModifiedAndItsCallers) {
  TestSortGrid grid;
  int events = 0;
  grid.OnModified = [&](QObject*) { ++events; };
  EXPECT_FALSE(grid.Modified());
  grid.SetUserSettings({"a"});
  EXPECT_TRUE(grid.Modified());
  EXPECT_EQ(events, 1);
  grid.SetModified(false);
  EXPECT_EQ(events, 1);
  grid.SetCells(0, 1, "x");  // a cell write is no size change
  EXPECT_FALSE(grid.Modified());
  grid.SetRowCount(6);
  EXPECT_TRUE(grid.Modified());
  grid.UserSettings() << "in place";  // editing the list in place is no assignment
  grid.Clear();
  EXPECT_FALSE(grid.Modified());
  grid.UserSettings() << "b";
  EXPECT_FALSE(grid.Modified());
}

TEST(SortGridPersistence, ColourTextsAndFontSettings) {
  EXPECT_EQ(ColorToString(0), "clBlack");
  EXPECT_EQ(ColorToString(clWhite), "clWhite");
  EXPECT_EQ(ColorToString(clBtnFace), "clBtnFace");
  EXPECT_EQ(ColorToString(clNone), "clNone");
  EXPECT_EQ(ColorToString(0x00123456), "$00123456");
  EXPECT_EQ(ColorToString(0xFF0000AB), "$FF0000AB");
  EXPECT_EQ(StringToColor("clMaroon"), clMaroon);
  EXPECT_EQ(StringToColor("CLBTNFACE"), clBtnFace);
  EXPECT_EQ(StringToColor("$00FF0000"), clBlue);
  EXPECT_EQ(StringToColor("$ff"), clRed);
  EXPECT_EQ(StringToColor("255"), clRed);
  EXPECT_EQ(StringToColor("-16777201"), clBtnFace);
  EXPECT_FALSE(StringToColor("clNix"));
  EXPECT_FALSE(StringToColor("$"));
  EXPECT_FALSE(StringToColor("$123456789"));
  EXPECT_FALSE(StringToColor(""));

  TFontSetting setting;
  EXPECT_EQ(setting.Text(), "clBlack,0,0,0,clBlack");
  setting.SetText("$00010203,1,true,1,clInfoBk,extra");
  EXPECT_EQ(setting.FontColor, 0x00010203u);
  EXPECT_TRUE(setting.Bold);
  EXPECT_FALSE(setting.Italic);  // only "1" is true
  EXPECT_TRUE(setting.Underline);
  EXPECT_EQ(setting.BackColor, clInfoBk);
  EXPECT_FALSE(setting.Active);
  EXPECT_EQ(setting.Text(), "$00010203,1,0,1,clInfoBk");
  EXPECT_THROW(setting.SetText("clRed,1,1,1"), std::exception);
}

TEST(SortGridPersistence, AFileCutAnywhereInItsRowsLoadsTheRowsBeforeTheCut) {
  QTemporaryDir dir;
  TSortGrid source;
  Fill(source, {{"Nr.", "Name", "Kat"},
                {"1", "Anna \"die Schnelle\", Berg", "F"},
                {"2", "J\u00f6rg Wei\u00df", "M"},
                {"3", "", "M"},
                {"4", "Zo\u00eb\tTab", "F"}});
  source.UserSettings() = QStringList{"a b", "c,d"};
  const QString path = dir.filePath("grid.txt");
  source.SaveToFile(path, false);
  const QByteArray whole = ReadBytes(path);
  const QList<QByteArray> lines = whole.split('\n');
  // The rows begin after four setting lines, the layout line and the header line.
  qsizetype firstRowEnd = 0;
  for (int i = 0; i < 7; ++i) firstRowEnd = whole.indexOf('\n', firstRowEnd) + 1;

  TSortGrid grid;
  for (qsizetype cut = firstRowEnd; cut < whole.size(); ++cut) {
    const QByteArray part = whole.left(cut);
    WriteBytes(path, part);
    ASSERT_TRUE(grid.LoadFromFile(path, false)) << cut;
    const QList<QByteArray> kept = part.split('\n');
    const qsizetype rowLines = kept.size() - 5 - (kept.last().isEmpty() ? 1 : 0);
    EXPECT_EQ(grid.RowCount(), rowLines) << cut;
    EXPECT_FALSE(grid.NowUpdating());
    // Every row the cut left whole is there as it was saved, in the columns the last line
    // gives the grid (the torn line decides the count, as for any file).
    const auto cells = AllCells(grid);
    for (qsizetype r = 1; r + 1 < rowLines || (r < rowLines && kept.last().isEmpty()); ++r) {
      QStringList row;
      for (int32_t c = 0; c < grid.ColCount(); ++c) row << source.Cells(c, static_cast<int32_t>(r));
      EXPECT_NE(std::find(cells.begin(), cells.end(), row), cells.end()) << cut << " row " << r;
    }
  }
  EXPECT_TRUE(Doubles().modal.History().empty());
}

TEST(SortGridPersistence, ACellWithLineBreaksSurvivesTheFile) {
  QTemporaryDir dir;
  TSortGrid grid;
  Fill(grid, {{"Nr.", "Name", "Bemerkung"},
              {"1", "Anna\r\nBerg", "zwei Zeilen"},
              {"2", "Ben\nLF", "\"\r\""},
              {"3", "Cleo\rCR", "\r\n\r\n"},
              {"4", "Dora", ""}});
  grid.SetUserSettings({"eine\nZeile mehr"});
  const QString path = dir.filePath("lines.txt");
  grid.SaveToFile(path, false);

  TSortGrid loaded;
  ASSERT_TRUE(loaded.LoadFromFile(path, false));
  EXPECT_EQ(AllCells(loaded), AllCells(grid));
  EXPECT_EQ(loaded.UserSettings(), grid.UserSettings());
  // And once more through the file: nothing shifts.
  loaded.SaveToFile(path, false);
  TSortGrid again;
  ASSERT_TRUE(again.LoadFromFile(path, false));
  EXPECT_EQ(AllCells(again), AllCells(grid));
}

TEST(SortGridPersistence, AFileEndingAfterItsSectionsFailsWithoutCrashing) {
  const QStringList sections = {"GenerelSettings,1", "FontColSettings", "FontRowSettings", "UserSettings,a"};
  QWidget form;
  auto* grid = new TSortGrid(&form);
  for (const bool layout : {false, true}) {
    // Cut after every section line: no layout line, no rows.
    for (qsizetype kept = 1; kept <= sections.size(); ++kept) {
      Fill(*grid, {{"A", "B"}, {"1", "2"}});
      EXPECT_FALSE(grid->LoadFromStrings(sections.mid(0, kept), layout)) << kept << " " << layout;
      EXPECT_FALSE(grid->NowUpdating());
      EXPECT_GE(grid->RowCount(), 1);
    }
    // The user-settings line alone.
    EXPECT_FALSE(grid->LoadFromStrings({"UserSettings"}, layout));
    // The same through a file.
    QTemporaryDir dir;
    const QString path = dir.filePath("cut.txt");
    WriteBytes(path, "GenerelSettings,0\r\nFontColSettings\r\nFontRowSettings\r\nUserSettings\r\n");
    EXPECT_FALSE(grid->LoadFromFile(path, layout));
  }
  // With its layout line the file loads.
  ASSERT_TRUE(grid->LoadFromStrings(sections + QStringList{"-1,-1,-1,-1,-1,-1", "A,B", "1,2"}, true));
  EXPECT_EQ(grid->Cells(1, 1), "2");
}

TEST(SortGridPersistence, AbsurdLayoutNumbersAreTakenWithoutHarm) {
  QWidget form;
  form.resize(400, 300);
  auto* grid = new TSortGrid(&form);
  grid->resize(380, 280);
  Fill(*grid, {{"A", "B", "C", "D"}, {"1", "2", "3", "4"}, {"5", "6", "7", "8"}});
  grid->SetFixedCols(1);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const QString max = QString::number(std::numeric_limits<int32_t>::max());
  const QString min = QString::number(std::numeric_limits<int32_t>::min());
  const QStringList layouts = {
      WriteCommaList({"300", "200", max, max, "20", max, "10", "10"}),
      WriteCommaList({"300", "200", min, "30", min, max, min, min}),
      WriteCommaList({min, min, "-1", max, "-1", max, max, max}),
      WriteCommaList({max, max, max, min, max, min, "0", "0"}),
  };
  for (const QString& layout : layouts) {
    ASSERT_TRUE(grid->LoadFromStrings({layout, "A,B,C,D", "1,2,3,4", "5,6,7,8"}, true)) << layout.toStdString();
    EXPECT_EQ(grid->ColWidths(1), ReadCommaList(layout)[3].toInt());  // taken as it stands
    // Everything that measures cells: painting, hit tests, scrolling, the editor's place.
    form.setWindowState(Qt::WindowNoState);
    form.resize(400, 300);
    grid->resize(380, 280);
    grid->grab();
    grid->CellRect(1, 1);
    QTest::mouseMove(grid->viewport(), QPoint(50, 30));
    QTest::mouseMove(grid->viewport(), QPoint(370, 270));
    grid->SetLeftCol(2);
    grid->SetCol(3);
    grid->SetRow(2);
    grid->grab();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(60, 30));
    QTest::mouseMove(grid->viewport(), QPoint(5, 5));
    grid->SetGridLineWidth(std::numeric_limits<int32_t>::min());
    grid->grab();
    grid->SetGridLineWidth(std::numeric_limits<int32_t>::max());
    grid->grab();
    grid->SetGridLineWidth(1);
  }
}
