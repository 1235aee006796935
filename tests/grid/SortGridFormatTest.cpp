// Cell drawing on rendered pixels, the in-cell controls through real key and mouse events, and
// the validation of edited cells.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPainter>
#include <QTest>

#include "common/Doubles.h"
#include "grid/GridTestUtil.h"
#include "grid/SortGrid.h"

namespace {

class FormatGrid : public TSortGrid {
public:
  FormatGrid() {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(13);
    f.setStyleStrategy(QFont::NoAntialias);  // crisp pixels that a reference can match exactly
    setFont(f);
    SetOptions(Options() - goRangeSelect);  // no row highlight unless a test asks for one
    SortOptions().SetCanSort(false);
  }
  using TSortGrid::CellRect;
  using TSortGrid::SelectCell;
  using TSortGrid::SetModified;
};

QImage Render(TSortGrid& grid) {
  if (!grid.isVisible()) {
    grid.show();
    (void)QTest::qWaitForWindowExposed(&grid);
  }
  QImage image(grid.viewport()->size(), QImage::Format_RGB32);
  image.fill(Qt::magenta);
  grid.viewport()->render(&image);
  return image;
}

// The cell as it must look: its background, the text at (x, y) from the cell's top-left corner,
// clipped to the cell.
QImage Expected(const QImage& rendered, const TRect& r, const QFont& font, const QString& text, int x, int y,
                QColor fore, QColor back) {
  QImage image = rendered.copy();
  QPainter p(&image);
  p.fillRect(r.ToQRect(), back);
  p.setClipRect(r.ToQRect());
  p.setFont(font);
  p.setPen(fore);
  p.drawText(QPoint(r.Left + x, r.Top + y + QFontMetrics(font).ascent()), text);
  return image;
}

bool SameCell(const QImage& a, const QImage& b, const TRect& r) {
  return a.copy(r.ToQRect()) == b.copy(r.ToQRect());
}

QImage Bitmap(const char* name) { return LoadGridBitmap(name); }

// Compares the bitmap with the rendered pixels at (x, y); `inset` leaves out a border that the
// focus rectangle may cover.
bool ShowsBitmap(const QImage& rendered, int x, int y, const QImage& bitmap, int w, int h, int inset = 0) {
  for (int j = inset; j < h - inset; ++j)
    for (int i = inset; i < w - inset; ++i)
      if (rendered.pixel(x + i, y + j) != bitmap.pixel(i, j)) return false;
  return true;
}

void Fill(TSortGrid& grid, int cols, const std::vector<QStringList>& rows) {
  grid.SetColCount(cols);
  grid.SetRowCount(static_cast<int32_t>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r)
    for (int c = 0; c < rows[static_cast<size_t>(r)].size(); ++c) grid.SetCells(c, r, rows[static_cast<size_t>(r)][c]);
}

}  // namespace

TEST(SortGridFormat, BitmapsShipWithTheirSizes) {
  const std::pair<const char*, QSize> sizes[] = {{"UP", {8, 7}},         {"DOWN", {8, 7}},     {"CHECKED", {10, 10}},
                                                 {"UNCHECKED", {10, 10}}, {"COMBOBOX", {16, 16}}, {"ELLIPSIS", {16, 16}}};
  for (const auto& [name, size] : sizes) EXPECT_EQ(Bitmap(name).size(), size) << name;
  // The tick is blue, the unchecked box has none; the glyphs differ in direction.
  EXPECT_EQ(QColor(Bitmap("CHECKED").pixel(4, 5)), QColor(0, 0, 255));
  EXPECT_EQ(QColor(Bitmap("UNCHECKED").pixel(4, 5)), QColor(Qt::white));
  EXPECT_NE(Bitmap("UP"), Bitmap("DOWN"));
}

TEST(SortGridFormat, HeaderShorteningKeepsTwoDotsAndThreeCharacters) {
  const auto chars = [](const QString& t) { return static_cast<int>(t.size()) * 10; };  // 10 pixels a character
  EXPECT_EQ(ShortenHeaderText("Kategorie", chars, 90), "Kategorie");
  EXPECT_EQ(ShortenHeaderText("Kategorie", chars, 89), "Katego..");
  EXPECT_EQ(ShortenHeaderText("Kategorie", chars, 50), "Kat..");
  EXPECT_EQ(ShortenHeaderText("Kategorie", chars, 5), "K..");  // never shorter than three
  EXPECT_EQ(ShortenHeaderText("K", chars, 0), "K");            // one character is never cut
  EXPECT_EQ(ShortenHeaderText("Nr", chars, 5), "..");
}

TEST(SortGridFormat, AlignmentOffsetsOnPixels) {
  FormatGrid grid;
  grid.resize(400, 200);
  Fill(grid, 3, {{"A", "B", "C"}, {"12,5", "Breiter Text als die Zelle", "x"}, {"", "", ""}});
  grid.SetColWidths(0, 60);
  grid.SetColWidths(1, 40);
  grid.SetRow(2);
  grid.SetAlignmentHorz(taRightJustify);
  grid.OnGetCellFormat = [](QObject*, int32_t col, int32_t row, TGridDrawState, TFormatOptions& f, bool&, bool&,
                            bool&) {
    if (row == 1 && col == 1) f.AlignmentHorz = taCenter;
    if (row == 1 && col == 2) f.AlignmentVert = taBottomJustify;
  };
  QImage image = Render(grid);
  const QFontMetrics m(grid.font());
  const QColor fore = ToQColor(clWindowText), back = ToQColor(clWindow);

  // Right-justified: the text's advance ends 2 pixels before the cell's right edge.
  const TRect right = grid.CellRect(0, 1);
  const int rightX = right.Width() - m.horizontalAdvance("12,5") - 2;
  EXPECT_TRUE(SameCell(image, Expected(image, right, grid.font(), "12,5", rightX, 2, fore, back), right));
  EXPECT_FALSE(SameCell(image, Expected(image, right, grid.font(), "12,5", rightX - 1, 2, fore, back), right));

  // Centred: half the room on each side, truncated toward zero (a text too wide: see below).
  grid.SetCells(1, 1, "ab");
  image = Render(grid);
  const TRect centre = grid.CellRect(1, 1);
  const int centreX = (centre.Width() - m.horizontalAdvance("ab")) / 2;
  EXPECT_TRUE(SameCell(image, Expected(image, centre, grid.font(), "ab", centreX, 2, fore, back), centre));

  // Bottom: 3 pixels above the bottom edge.
  const TRect bottom = grid.CellRect(2, 1);
  const int bottomX = bottom.Width() - m.horizontalAdvance("x") - 2;
  EXPECT_TRUE(SameCell(image,
                       Expected(image, bottom, grid.font(), "x", bottomX, bottom.Height() - m.height() - 3, fore, back),
                       bottom));
}

// A text wider than its cell never shows as a shorter text: cut at either end, "16987,1" would
// read as "6987,1" or "1698".
TEST(SortGridFormat, TextThatDoesNotFitSaysSo) {
  const auto tenEach = [](const QString& t) { return static_cast<int>(t.size()) * 10; };
  const QString dots(QChar(0x2026));
  struct Case {
    QString text;
    TAlignment alignment;
    int width;
    QString shown;
    int x;
  };
  const Case cases[] = {
      {"16987,1", taRightJustify, 72, "16987,1", 0},  // exactly fits: x 0, 2 pixels to the right
      {"16987,1", taRightJustify, 71, "######", 9},
      {"16987,1", taRightJustify, 56, "#####", 4},
      {"16987,1", taCenter, 70, "16987,1", 0},
      {"16987,1", taCenter, 69, "######", 4},
      {"16987,1", taLeftJustify, 72, "16987,1", 2},
      {"16987,1", taLeftJustify, 71, "16987" + dots, 2},
      {"16987,1", taLeftJustify, 12, dots, 2},
      {"16987,1", taLeftJustify, 11, "", 2},
      {"16987,1", taRightJustify, 11, "", 9},
      {"", taRightJustify, 0, "", -2},
  };
  for (const Case& c : cases) {
    const TFittedCellText fitted = FitCellText(c.text, c.alignment, c.width, tenEach);
    EXPECT_EQ(fitted.Text, c.shown) << c.text.toStdString() << " in " << c.width;
    EXPECT_EQ(fitted.X, c.x) << c.text.toStdString() << " in " << c.width;
    EXPECT_EQ(fitted.Fits, c.shown == c.text) << c.text.toStdString() << " in " << c.width;
  }
}

// The same on the protocol's pixels, for every alignment and for the plain string grid, with
// the whole text in the cell's tooltip.
TEST(SortGridFormat, CellsTooNarrowShowHashesOnPixelsAndTheTextInTheirTooltip) {
  FormatGrid grid;
  grid.resize(500, 200);
  Fill(grid, 3, {{"R", "C", "L"}, {"16987,1", "16987,1", "16987,1"}, {"9,5", "9,5", "9,5"}, {"", "", ""}});
  grid.SetFixedCols(0);
  grid.SetRow(3);
  grid.OnGetCellFormat = [](QObject*, int32_t col, int32_t, TGridDrawState, TFormatOptions& f, bool&, bool&, bool&) {
    f.AlignmentHorz = col == 0 ? taRightJustify : col == 1 ? taCenter : taLeftJustify;
  };
  const QFontMetrics m(grid.font());
  const auto width = [&m](const QString& t) { return m.horizontalAdvance(t); };
  const QColor fore = ToQColor(clWindowText), back = ToQColor(clWindow);
  const TAlignment alignments[] = {taRightJustify, taCenter, taLeftJustify};
  for (const int w : {20, 40, width("16987,1") + 1, width("16987,1") + 4, 100}) {
    for (int c = 0; c < 3; ++c) grid.SetColWidths(c, w);
    const QImage image = Render(grid);
    for (int c = 0; c < 3; ++c) {
      for (int r = 1; r <= 2; ++r) {
        const QString text = grid.Cells(c, r);
        const TRect cell = grid.CellRect(c, r);  // the last column may take the rest of the width
        const int x = AlignedTextOffset(alignments[c], cell.Width(), width(text));
        const bool fits = x >= 0 && x + width(text) <= cell.Width();
        const TFittedCellText fitted = FitCellText(text, alignments[c], cell.Width(), width);
        EXPECT_EQ(fitted.Fits, fits);
        EXPECT_TRUE(SameCell(image, Expected(image, cell, grid.font(), fitted.Text, fitted.X, 2, fore, back), cell))
            << "column " << c << " row " << r << " width " << w;
        if (!fits) {
          EXPECT_FALSE(SameCell(image, Expected(image, cell, grid.font(), text, x, 2, fore, back), cell))
              << "drawn cut, column " << c << " width " << w;
        }
        EXPECT_EQ(grid.CellToolTip(c, r), fits ? QString() : text) << "column " << c << " width " << w;
      }
    }
  }
  EXPECT_EQ(grid.CellToolTip(0, 0), QString()) << "the header is shortened instead";

  // The plain string grid draws left-justified and says so the same way.
  TMyStringGrid plain;
  plain.setFont(grid.font());
  plain.resize(300, 100);
  plain.SetCells(2, 2, "16987,1");  // away from the current cell (1, 1)
  plain.SetColWidths(2, width("16987,1"));
  plain.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&plain));
  QImage image(plain.viewport()->size(), QImage::Format_RGB32);
  plain.viewport()->render(&image);
  const TRect cell = plain.CellRect(2, 2);
  const TFittedCellText fitted = FitCellText("16987,1", taLeftJustify, cell.Width(), width);
  ASSERT_FALSE(fitted.Fits);
  EXPECT_TRUE(SameCell(image, Expected(image, cell, plain.font(), fitted.Text, 2, 2, fore, back), cell));
  EXPECT_FALSE(SameCell(image, Expected(image, cell, plain.font(), "16987,1", 2, 2, fore, back), cell));
}

TEST(SortGridFormat, HeaderShortenedAndShiftedForTheSortGlyph) {
  FormatGrid grid;
  grid.resize(400, 200);
  Fill(grid, 2, {{"Kategorie der Fahrer", "Nr."}, {"b", "1"}, {"a", "2"}});
  grid.SetColWidths(0, 70);
  const QFontMetrics m(grid.font());
  const TRect header = grid.CellRect(0, 0);
  const QColor fore = ToQColor(clBtnText), back = ToQColor(clBtnFace);
  auto shortened = [&m](int available) {
    return ShortenHeaderText("Kategorie der Fahrer", [&m](const QString& t) { return m.horizontalAdvance(t); },
                             available);
  };

  // Without sorting: 1 pixel given up, text at 2.
  QImage image = Render(grid);
  EXPECT_TRUE(SameCell(image, Expected(image, header, grid.font(), shortened(69), 2, 2, fore, back), header));
  EXPECT_TRUE(shortened(69).endsWith(".."));

  // Sorted by this column: 12 pixels given up, the text 10 pixels further right, the glyph at
  // (left + 3, RowHeights[0] / 2 - 4), "UP" ascending and "DOWN" descending.
  grid.SortOptions().SetCanSort(true);
  grid.SortByColumn(0);
  image = Render(grid);
  const int y0 = grid.RowHeights(0) / 2 - 4;
  QImage expected = Expected(image, header, grid.font(), shortened(58), 12, 2, fore, back);
  QPainter(&expected).drawImage(QPoint(header.Left + 3, y0), Bitmap("UP"));
  EXPECT_TRUE(SameCell(image, expected, header));
  EXPECT_NE(shortened(58), shortened(69));
  EXPECT_TRUE(ShowsBitmap(image, header.Left + 3, y0, Bitmap("UP"), 8, 7));

  grid.SortOptions().SetSortDirection(sdDescending);
  grid.SortByColumn(0);
  image = Render(grid);
  EXPECT_TRUE(ShowsBitmap(image, header.Left + 3, y0, Bitmap("DOWN"), 8, 7));
  EXPECT_EQ(grid.Cells(0, 1), "b");

  // Switched off, the glyph goes and the text moves back.
  grid.SortOptions().SetCanSort(false);
  image = Render(grid);
  EXPECT_FALSE(ShowsBitmap(image, header.Left + 3, y0, Bitmap("DOWN"), 8, 7));
}

TEST(SortGridFormat, HiddenRowsAndRowHighlightKeepTheTexts) {
  FormatGrid grid;
  grid.resize(300, 200);
  Fill(grid, 2, {{"H1", "H2"}, {"eins", "zwei"}, {"drei", "vier"}});
  grid.SetOptions(grid.Options() + goRangeSelect);
  grid.SetRow(2);
  QImage image = Render(grid);
  // The whole current row is highlighted, every column.
  const TRect current = grid.CellRect(1, 2);
  EXPECT_EQ(QColor(image.pixel(current.Right - 2, current.Top + 1)), ToQColor(clHighlight));

  grid.SetHideRows(true);
  EXPECT_EQ(grid.Row(), 1);
  image = Render(grid);
  const TRect data = grid.CellRect(0, 1);
  const QColor blank = QColor(image.pixel(data.Left + 1, data.Top + 1));
  for (int y = data.Top + 1; y < data.Bottom - 1; ++y)  // inside the focus rectangle
    for (int x = data.Left + 1; x < data.Right - 1; ++x) ASSERT_EQ(QColor(image.pixel(x, y)), blank);
  EXPECT_EQ(grid.Cells(0, 1), "eins");

  grid.SetHideRows(false);
  image = Render(grid);
  bool ink = false;
  for (int x = data.Left; x < data.Right; ++x) ink |= QColor(image.pixel(x, data.Top + 8)) != blank;
  EXPECT_TRUE(ink);
}

TEST(SortGridFormat, CheckBoxToggledBySpaceAndByClick) {
  FormatGrid grid;
  grid.resize(300, 200);
  Fill(grid, 3, {{"Name", "OK", "x"}, {"Anna", "1", ""}, {"Bert", "TRUE", ""}, {"Carl", "", ""}});
  grid.OnGetCellFormat = [](QObject*, int32_t col, int32_t row, TGridDrawState, TFormatOptions&, bool& check, bool&,
                            bool&) { check = col == 1 && row > 0; };
  std::vector<std::pair<int, bool>> events;
  grid.OnSetChecked = [&events](QObject*, int32_t, int32_t row, bool state) { events.push_back({row, state}); };
  ShowActive(grid);
  grid.setFocus();

  // Only an exact "true" or "1" is on: capitals show the empty box.
  EXPECT_TRUE(grid.IsChecked(1, 1));
  EXPECT_FALSE(grid.IsChecked(1, 2));
  EXPECT_FALSE(grid.IsChecked(0, 1));  // no check box cell
  QImage image = Render(grid);
  auto boxAt = [&grid](int row) {
    const TRect r = grid.CellRect(1, row);
    return QPoint(r.Left + (r.Width() - 10) / 2, r.Top + grid.RowHeights(row) / 2 - 5);
  };
  EXPECT_TRUE(ShowsBitmap(image, boxAt(1).x(), boxAt(1).y(), Bitmap("CHECKED"), 10, 10));
  EXPECT_TRUE(ShowsBitmap(image, boxAt(2).x(), boxAt(2).y(), Bitmap("UNCHECKED"), 10, 10));

  grid.SetCol(1);
  grid.SetRow(1);
  QTest::keyClick(&grid, Qt::Key_Space);
  EXPECT_EQ(grid.Cells(1, 1), "");
  QTest::keyClick(&grid, Qt::Key_Space);
  EXPECT_EQ(grid.Cells(1, 1), "1");

  const TRect r3 = grid.CellRect(1, 3);
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(r3.Left + 5, r3.Top + 5));
  EXPECT_EQ(grid.Cells(1, 3), "1");
  EXPECT_EQ(grid.Row(), 3);
  // A press on one cell and a release on another is no click.
  const TRect r2 = grid.CellRect(1, 2);
  QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, QPoint(r2.Left + 5, r2.Top + 5));
  QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, QPoint(r3.Left + 5, r3.Top + 5));
  EXPECT_EQ(grid.Cells(1, 2), "TRUE");
  EXPECT_EQ(grid.Cells(1, 3), "1");

  const std::vector<std::pair<int, bool>> expected{{1, false}, {1, true}, {3, true}};
  EXPECT_EQ(events, expected);
  // SetChecked leaves other cells alone.
  grid.SetChecked(0, 1, true);
  EXPECT_EQ(grid.Cells(0, 1), "Anna");
}

TEST(SortGridFormat, DropDownAcceptedByEnter) {
  FormatGrid grid;
  grid.resize(300, 200);
  grid.SetDefaultRowHeight(16);  // the buttons are 16 pixels high: no stretching
  Fill(grid, 3, {{"Name", "Kat", "Info"}, {"Anna", "Beta", ""}, {"Bert", "", ""}});
  grid.SetColWidths(1, 80);
  grid.OnGetCellFormat = [](QObject*, int32_t col, int32_t row, TGridDrawState, TFormatOptions&, bool&, bool& combo,
                            bool& ellipsis) {
    combo = col == 1 && row > 0;
    ellipsis = col == 2 && row > 0;
  };
  grid.OnGetComboBox = [](QObject*, int32_t, int32_t, QStringList& items, int32_t&, int32_t&, bool&) {
    items << "Gamma" << "alpha" << "Beta";
  };
  std::vector<QString> taken;
  grid.OnSetComboBox = [&taken](QObject*, int32_t col, int32_t row, const QString& text) {
    taken.push_back(QString("%1,%2:%3").arg(col).arg(row).arg(text));
  };
  std::vector<int> ellipsisRows;
  grid.OnSetEllipsis = [&ellipsisRows](QObject*, int32_t, int32_t row) { ellipsisRows.push_back(row); };
  ShowActive(grid);
  grid.setFocus();
  grid.SetCol(1);
  grid.SetRow(1);

  // The drop-down button on the current cell, the ellipsis button on the same row elsewhere.
  const QImage image = Render(grid);
  const TRect combo = grid.CellRect(1, 1);
  const TRect ell = grid.CellRect(2, 1);
  EXPECT_TRUE(ShowsBitmap(image, combo.Right - 16, combo.Top, Bitmap("COMBOBOX"), 16, 16, 1));
  EXPECT_TRUE(ShowsBitmap(image, ell.Right - 16, ell.Top, Bitmap("ELLIPSIS"), 16, 16));

  QTest::keyClick(&grid, Qt::Key_Space);
  QListWidget* list = grid.DropDownList();
  ASSERT_NE(list, nullptr);
  ASSERT_TRUE(list->isVisible());
  EXPECT_TRUE(list->hasFocus());
  // Sorted without regard to case, the cell's text selected, placed 2 right and 1 down.
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(0)->text(), "alpha");
  EXPECT_EQ(list->currentItem()->text(), "Beta");
  EXPECT_EQ(list->pos(), grid.viewport()->mapTo(grid.window(), QPoint(combo.Left + 2, combo.Top + 1)));
  EXPECT_EQ(list->width(), combo.Width() + 1);
  EXPECT_EQ(list->height(), 3 * list->sizeHintForRow(0) + 5);

  QTest::keyClick(list, Qt::Key_Down);
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_FALSE(list->isVisible());
  EXPECT_EQ(grid.Cells(1, 1), "Gamma");
  EXPECT_TRUE(grid.hasFocus());
  EXPECT_EQ(taken, std::vector<QString>{"1,1:Gamma"});

  // Space on an ellipsis cell, and a click in its rightmost 16 pixels only.
  grid.SetCol(2);
  QTest::keyClick(&grid, Qt::Key_Space);
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(ell.Right - 17, ell.Top + 5));
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(ell.Right - 16, ell.Top + 5));
  EXPECT_EQ(ellipsisRows, (std::vector<int>{1, 1}));

  // A cell whose handler offers nothing opens no list.
  grid.OnGetComboBox = [](QObject*, int32_t, int32_t, QStringList&, int32_t&, int32_t&, bool&) {};
  EXPECT_FALSE(grid.DropDownCombo(1, 2));
  EXPECT_FALSE(grid.DropDownCombo(0, 1));
}

TEST(SortGridFormat, ValidationRejectsAnEditAndRestoresModified) {
  FormatGrid grid;
  grid.resize(300, 200);
  Fill(grid, 2, {{"Runde", "Meter"}, {"1", "100"}, {"2", "200"}});
  grid.SetOptions(grid.Options() + goEditing + goAlwaysShowEditor);
  grid.SetModified(false);
  struct Call {
    int col, row;
    QString oldValue, newValue;
  };
  std::vector<Call> calls;
  grid.OnCellValidate = [&calls](QObject*, int32_t col, int32_t row, const QString& oldValue, QString& newValue,
                                 bool& valid) {
    calls.push_back({col, row, oldValue, newValue});
    bool number = false;
    newValue.toInt(&number);
    valid = number;
    if (newValue == "zwei") newValue = "2";  // a correction is stored even when rejected
  };
  grid.SetCol(1);
  grid.SetRow(1);
  ShowActive(grid);
  grid.setFocus();
  QLineEdit* editor = grid.InplaceEditor();
  ASSERT_NE(editor, nullptr);
  ASSERT_TRUE(editor->isVisible());

  // Enter validates: the text goes back and Modified with it.
  editor->selectAll();
  QTest::keyClicks(editor, "abc");
  EXPECT_EQ(grid.Cells(1, 1), "abc");
  EXPECT_TRUE(grid.Modified());
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].oldValue, "100");
  EXPECT_EQ(calls[0].newValue, "abc");
  EXPECT_EQ(grid.Cells(1, 1), "100");
  EXPECT_EQ(editor->text(), "100");
  EXPECT_FALSE(grid.Modified());

  // Moving on validates the cell that was left; a valid text stays, Modified too.
  editor->selectAll();
  QTest::keyClicks(editor, "150");
  QTest::keyClick(editor, Qt::Key_Down);
  EXPECT_EQ(grid.Row(), 2);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(grid.Cells(1, 1), "150");
  EXPECT_TRUE(grid.Modified());

  // A rejected text that the handler corrected is stored corrected; Modified as on entry.
  editor->selectAll();
  QTest::keyClicks(editor, "zwei");
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_EQ(grid.Cells(1, 2), "2");
  EXPECT_TRUE(grid.Modified());
  EXPECT_EQ(calls.size(), 3u);
  // Unchanged cells are not validated.
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_EQ(calls.size(), 3u);
}

TEST(SortGridFormat, ValidationOfAnEditorOpenedWithF2) {
  FormatGrid grid;
  grid.resize(300, 200);
  Fill(grid, 2, {{"Runde", "Meter"}, {"1", "100"}});
  grid.SetOptions(grid.Options() + goEditing);
  grid.OnCellValidate = [](QObject*, int32_t, int32_t, const QString&, QString&, bool& valid) { valid = false; };
  grid.SetCol(1);
  ShowActive(grid);
  grid.setFocus();
  grid.SetModified(false);
  QTest::keyClick(&grid, Qt::Key_F2);
  ASSERT_TRUE(grid.EditorMode());
  QTest::keyClicks(grid.InplaceEditor(), "7");
  EXPECT_EQ(grid.Cells(1, 1), "1007");
  QTest::keyClick(grid.InplaceEditor(), Qt::Key_Return);
  EXPECT_EQ(grid.Cells(1, 1), "100");
  EXPECT_FALSE(grid.Modified());
}

TEST(SortGridFormat, PrintOptionsAreStoredOnly) {
  TSortGrid grid;
  const TPrintOptions& p = grid.PrintOptions();
  EXPECT_EQ(p.Copies(), 0u);
  EXPECT_EQ(p.PrintRange(), prAll);
  EXPECT_TRUE(p.JobTitle().isEmpty());
  grid.PrintOptions().SetCopies(2);
  grid.PrintOptions().SetPageTitle("Zeitenprotokoll");
  EXPECT_EQ(grid.PrintOptions().Copies(), 2u);
  EXPECT_EQ(grid.PrintOptions().PageTitle(), "Zeitenprotokoll");
  EXPECT_EQ(grid.AlignmentHorz(), taLeftJustify);
  EXPECT_EQ(grid.BevelStyle(), cbNone);
}

TEST(SortGridFormat, WhileEditingAClickOnAControlCellUsesTheControlAndKeepsTheCell) {
  FormatGrid grid;
  grid.resize(300, 200);
  Fill(grid, 3, {{"Name", "Kat", "OK"}, {"Anna", "M", "1"}});
  grid.SetOptions(grid.Options() + goEditing);
  grid.OnGetCellFormat = [](QObject*, int32_t col, int32_t row, TGridDrawState, TFormatOptions&, bool& check,
                            bool& combo, bool&) {
    combo = col == 1 && row > 0;
    check = col == 2 && row > 0;
  };
  grid.OnGetComboBox = [](QObject*, int32_t, int32_t, QStringList& items, int32_t&, int32_t&, bool&) {
    items << "M" << "F";
  };
  ShowActive(grid);
  grid.setFocus();
  grid.SetCol(0);
  grid.SetRow(1);
  QTest::keyClick(&grid, Qt::Key_F2);
  ASSERT_TRUE(grid.EditorMode());

  // The drop-down cell opens its list but does not become current.
  const TRect combo = grid.CellRect(1, 1);
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(combo.Left + 5, combo.Top + 5));
  ASSERT_NE(grid.DropDownList(), nullptr);
  EXPECT_TRUE(grid.DropDownList()->isVisible());
  EXPECT_EQ(grid.Col(), 0);

  // Nor does the check box cell; a plain cell still does.
  EXPECT_FALSE(grid.SelectCell(2, 1));
  EXPECT_TRUE(grid.SelectCell(0, 1));
  EXPECT_EQ(grid.Col(), 0);
  // The grid goes while its list is still open: the list goes with it and accepts nothing.
}
