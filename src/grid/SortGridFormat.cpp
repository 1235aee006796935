// The sort grid's cell drawing, its in-cell controls (check box, drop-down list, ellipsis
// button) and the validation of edited cells.
#include <QFocusEvent>
#include <QHelpEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

#include "grid/SortGrid.h"
#include "platform/Application.h"

// Outside any namespace, as the resource system wants it. A static library's resources are
// only linked when something refers to them.
static void InitGridResources() { Q_INIT_RESOURCE(grid); }

QImage LoadGridBitmap(const char* name) {
  static const bool initialised = (InitGridResources(), true);
  (void)initialised;
  QImage image(QStringLiteral(":/grid/%1.png").arg(QLatin1String(name)));
  if (!image.isNull()) image = image.convertToFormat(QImage::Format_RGB32);
  return image;
}

QString ShortenHeaderText(QString text, const std::function<int(const QString&)>& width, int32_t available) {
  if (width(text) <= available || text.size() < 2) return text;
  text.replace(text.size() - 2, 2, QStringLiteral(".."));
  while (width(text) > available && text.size() > 3) {
    text.chop(1);
    text[text.size() - 2] = QLatin1Char('.');
  }
  return text;
}

namespace {

const QImage& Required(const QImage& image, const char* name) {
  if (image.isNull()) throw std::runtime_error(std::string("Bitmap resource not found: ") + name);
  return image;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The drop-down list: accepts its item on a mouse release, on Enter or Space released in it,
// and when it loses the focus.

class TDropDownList : public QListWidget {
public:
  TDropDownList(TSortGrid* grid, QWidget* parent) : QListWidget(parent), FGrid(grid) {
    hide();
    setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::Box);
    setAccessibleName(QStringLiteral("Auswahlliste"));
  }

  bool Accepting = false;

protected:
  void mouseReleaseEvent(QMouseEvent* e) override {
    QListWidget::mouseReleaseEvent(e);
    Accept();
  }
  void keyPressEvent(QKeyEvent* e) override {
    QListWidget::keyPressEvent(e);
    // The keys that accept stay with the list; the grid must not see them as its own.
    const int key = e->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) e->accept();
  }
  void keyReleaseEvent(QKeyEvent* e) override {
    const int key = e->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
      e->accept();
      Accept();
      return;
    }
    QListWidget::keyReleaseEvent(e);
  }
  void focusOutEvent(QFocusEvent* e) override {
    QListWidget::focusOutEvent(e);
    if (isVisible()) Accept();
  }

private:
  void Accept() {
    try {
      FGrid->AcceptDropDown();
    } catch (const std::exception& error) {
      platform::ShowException(error);
    }
  }
  TSortGrid* FGrid;
};

// ---------------------------------------------------------------------------------------------
// Drawing

void TSortGrid::DrawCell(int32_t ACol, int32_t ARow, const TRect& ARect, TGridDrawState AState) {
  QPainter* canvas = Canvas();
  if (canvas == nullptr) return;
  const int32_t w = ARect.Width();
  const int32_t h = ARect.Height();

  // Blank data rows: the fill runs on to the right edge of the grid.
  if (ARow > 0 && (NowUpdating() || FHideRows)) {
    canvas->fillRect(QRect(ARect.Left, ARect.Top, ARect.Right + width() + 1 - ARect.Left, h + 1), canvas->brush());
    return;
  }

  // The colours the base grid painted the cell with, in the grid's own colour values.
  TColor back = Color();
  TColor fore = clWindowText;
  if (AState.Contains(gdFixed)) {
    back = FixedColor();
    fore = clBtnText;
  } else if (AState.Contains(gdSelected) &&
             !(AState.Contains(gdFocused) && !Options().Contains(goDrawFocusSelected) &&
               !Options().Contains(goRowSelect))) {
    back = clHighlight;
    fore = clHighlightText;
  }
  FCanvasFont = TCellFont{canvas->font(), fore};
  FCanvasBrush = TCellBrush{back, Qt::SolidPattern};

  TFormatOptions format;
  bool checkBox = false, combobox = false, ellipsis = false;
  GetCellFormat(ACol, ARow, format, checkBox, combobox, ellipsis);
  if (checkBox) format.HideText = true;
  TCellFont& cellFont = format.Font != nullptr ? *format.Font : FCanvasFont;
  TCellBrush& cellBrush = format.Brush != nullptr ? *format.Brush : FCanvasBrush;

  const TGridRect sel = Selection();
  if ((Options().Contains(goRangeSelect) && sel.Top <= ARow && ARow <= sel.Bottom) ||
      (FMultiSelect && IsRowSelected(ARow) && !Options().Contains(goEditing))) {
    cellFont.Color = clHighlightText;
    cellBrush.Color = clHighlight;
  }

  canvas->setFont(cellFont.Font);
  const QFontMetrics metrics(cellFont.Font);
  QString text = Cells(ACol, ARow);
  const bool glyph = ACol == FSortOptions.SortCol() && FSortOptions.CanSort();
  const auto textWidth = [&metrics](const QString& t) { return metrics.horizontalAdvance(t); };
  QString shown;
  int32_t x = 0;
  if (ARow == 0) {
    shown = ShortenHeaderText(text, textWidth, Extent(true, ACol) - (glyph ? 12 : 1));
    x = AlignedTextOffset(format.AlignmentHorz, w, textWidth(shown));
  } else {
    TFittedCellText fitted = FitCellText(text, format.AlignmentHorz, w, textWidth);
    shown = std::move(fitted.Text);
    x = fitted.X;
  }
  const int32_t textHeight = metrics.height();
  int32_t y = 2;
  if (format.AlignmentVert == taBottomJustify)
    y = h - textHeight - 3;
  else if (format.AlignmentVert == taMiddle)
    y = (h - textHeight) / 2;
  if (glyph && ARow == 0) x += 10;

  const QRect cell = ARect.ToQRect();
  canvas->fillRect(cell, QBrush(ToQColor(cellBrush.Color), cellBrush.Style));
  if (!format.HideText && !shown.isEmpty()) {
    canvas->save();
    canvas->setClipRect(cell, Qt::IntersectClip);
    canvas->setPen(ToQColor(cellFont.Color));
    canvas->drawText(QPoint(ARect.Left + x, ARect.Top + y + metrics.ascent()), shown);
    canvas->restore();
  }

  // The direction glyph goes on top of the header text, so it shows whichever cells repaint.
  if (glyph && ARow == 0) {
    const QImage& bitmap = FSortOptions.SortDirection() == sdDescending ? Required(FGlyphDown, "DOWN")
                                                                        : Required(FGlyphUp, "UP");
    const int32_t g = w <= 10 ? w - 3 : 8;
    const int32_t y0 = RowHeights(0) / 2 - 4;
    if (g > 0) canvas->drawImage(QRect(ARect.Left + 3, y0, g, 7), bitmap, QRect(0, 0, g, 7));
  }

  if (checkBox) {
    const bool on = text == QLatin1String("true") || text == QLatin1String("1");
    const QImage bitmap = LoadGridBitmap(on ? "CHECKED" : "UNCHECKED");
    Required(bitmap, on ? "CHECKED" : "UNCHECKED");
    const int32_t s = w <= 10 ? w - 1 : 10;
    const int32_t cx = ARect.Left + (w - s) / 2;
    const int32_t cy = ARect.Top + RowHeights(ARow) / 2 - 5;
    if (s > 0) canvas->drawImage(QRect(cx, cy, s, 10), bitmap, QRect(0, 0, s, 10));
  }

  const bool comboButton = combobox && ARow == Row() && (ACol == Col() || EditorMode());
  const bool ellipsisButton = ellipsis && ARow == Row() && ACol != Col();
  for (const char* name : {comboButton ? "COMBOBOX" : nullptr, ellipsisButton ? "ELLIPSIS" : nullptr}) {
    if (name == nullptr) continue;
    const QImage bitmap = LoadGridBitmap(name);
    Required(bitmap, name);
    const int32_t m = w < 16 ? w : 16;
    if (m > 0) canvas->drawImage(QRect(ARect.Right - m, ARect.Top, m, h), bitmap, QRect(0, 0, m, 16));
  }

  if (format.Bevel != cbNone && ARow >= 1) {
    const QColor shadow = ToQColor(format.ShadowColor);
    const QColor highlight = ToQColor(format.HighlightColor);
    const bool vert = Options().Contains(goFixedVertLine);
    const bool horz = Options().Contains(goFixedHorzLine);
    if (vert) canvas->fillRect(QRect(ARect.Right - 1, ARect.Top, 1, h), shadow);
    if (horz) canvas->fillRect(QRect(ARect.Left, ARect.Bottom - 1, w, 1), shadow);
    if (vert) canvas->fillRect(QRect(ARect.Left, ARect.Top, 1, h), highlight);
    if (horz) canvas->fillRect(QRect(ARect.Left, ARect.Top, w, 1), highlight);
  }

  TMyDrawGrid::DrawCell(ACol, ARow, ARect, AState);
}

QString TSortGrid::CellToolTip(int32_t ACol, int32_t ARow) {
  if (ARow <= 0 || ACol < 0 || ACol >= ColCount() || ARow >= RowCount() || Extent(true, ACol) <= 0) return {};
  bool checkBox = false, combobox = false, ellipsis = false;
  const TFormatOptions format = FormatOutsideDrawing(ACol, ARow, checkBox, combobox, ellipsis);
  if (checkBox || format.HideText) return {};
  const QFontMetrics metrics(format.Font != nullptr ? format.Font->Font : FCanvasFont.Font);
  const QString text = Cells(ACol, ARow);
  const bool fits = FitCellText(text, format.AlignmentHorz, Extent(true, ACol),
                                [&metrics](const QString& t) { return metrics.horizontalAdvance(t); })
                        .Fits;
  return fits ? QString() : text;
}

bool TSortGrid::viewportEvent(QEvent* e) {
  if (e->type() != QEvent::ToolTip) return TMyDrawGrid::viewportEvent(e);
  const auto* help = static_cast<QHelpEvent*>(e);
  const TGridCoord cell = MouseCoord(help->pos().x(), help->pos().y());
  const QString tip = CellToolTip(cell.X, cell.Y);
  if (tip.isEmpty()) {
    QToolTip::hideText();
    e->ignore();
  } else {
    QToolTip::showText(help->globalPos(), tip, viewport(), CellRect(cell.X, cell.Y).ToQRect());
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Check boxes

TFormatOptions TSortGrid::FormatOutsideDrawing(int32_t ACol, int32_t ARow, bool& CheckBox, bool& Combobox,
                                               bool& Ellipsis) {
  // The handler may change the font and brush; outside drawing they start from the grid's.
  FCanvasFont = TCellFont{font(), clWindowText};
  FCanvasBrush = TCellBrush{};
  TFormatOptions format;
  GetCellFormat(ACol, ARow, format, CheckBox, Combobox, Ellipsis);
  return format;
}

void TSortGrid::CellControls(int32_t ACol, int32_t ARow, bool& CheckBox, bool& Combobox, bool& Ellipsis) {
  FormatOutsideDrawing(ACol, ARow, CheckBox, Combobox, Ellipsis);
}

bool TSortGrid::IsChecked(int32_t ACol, int32_t ARow) {
  bool checkBox = false, combobox = false, ellipsis = false;
  CellControls(ACol, ARow, checkBox, combobox, ellipsis);
  if (!checkBox) return false;
  const QString text = Cells(ACol, ARow);
  return text == QLatin1String("true") || text == QLatin1String("1");
}

void TSortGrid::SetChecked(int32_t ACol, int32_t ARow, bool Value) {
  bool checkBox = false, combobox = false, ellipsis = false;
  CellControls(ACol, ARow, checkBox, combobox, ellipsis);
  if (!checkBox) return;
  SetCells(ACol, ARow, Value ? QStringLiteral("1") : QString());
  InvalidateRow(ARow);
  if (OnSetChecked) OnSetChecked(this, ACol, ARow, Value);
}

// ---------------------------------------------------------------------------------------------
// Drop-down list

bool TSortGrid::DropDownCombo(int32_t ACol, int32_t ARow) {
  bool checkBox = false, combobox = false, ellipsis = false;
  CellControls(ACol, ARow, checkBox, combobox, ellipsis);
  if (!combobox || !OnGetComboBox) return false;
  QStringList items;
  int32_t listWidth = 0;
  int32_t listHeight = 0;
  bool sorted = true;
  OnGetComboBox(this, ACol, ARow, items, listWidth, listHeight, sorted);
  if (items.isEmpty()) return false;

  QWidget* owner = window();
  if (FDropDown == nullptr) FDropDown = new TDropDownList(this, owner);
  auto* list = static_cast<TDropDownList*>(FDropDown);
  if (list->parentWidget() != owner) list->setParent(owner);
  list->setFont(font());
  list->clear();
  // Sorted as a list box sorts: without regard to case.
  if (sorted)
    std::stable_sort(items.begin(), items.end(),
                     [](const QString& a, const QString& b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; });
  list->addItems(items);
  const int32_t current = static_cast<int32_t>(items.indexOf(Cells(ACol, ARow)));
  list->setCurrentRow(current >= 0 ? current : 0);

  const TRect r = CellRect(ACol, ARow);
  const QPoint topLeft = viewport()->mapTo(owner, QPoint(r.Left + 2, r.Top + 1));
  int32_t itemHeight = list->sizeHintForRow(0);
  if (itemHeight <= 0) itemHeight = QFontMetrics(font()).height();
  // Ten items at most are shown when the owner gives no height; the rest scroll.
  const int32_t shown = std::min<int32_t>(static_cast<int32_t>(items.size()), 10);
  const int32_t w = listWidth != 0 ? listWidth : r.Width() + 1;
  const int32_t h = listHeight != 0 ? listHeight : shown * itemHeight + 5;
  list->setGeometry(topLeft.x(), topLeft.y(), w, h);
  list->show();
  list->raise();
  list->setFocus(Qt::OtherFocusReason);
  return true;
}

// The list may sit on another window and outlive the grid: it goes with the grid, unaccepted.
void TSortGrid::DestroyDropDown() {
  QListWidget* list = FDropDown;
  FDropDown = nullptr;  // a focus change while the list goes finds nothing to accept
  delete list;
}

void TSortGrid::HideDropDown() {
  auto* list = static_cast<TDropDownList*>(FDropDown);
  if (list == nullptr || list->isHidden()) return;
  list->Accepting = true;  // hiding moves the focus; that must not accept
  list->hide();
  list->Accepting = false;
}

void TSortGrid::AcceptDropDown() {
  auto* list = static_cast<TDropDownList*>(FDropDown);
  if (list == nullptr || list->isHidden() || list->Accepting) return;
  list->Accepting = true;
  QString text;
  if (list->currentItem() != nullptr) text = list->currentItem()->text();
  const QPoint at = viewport()->mapFrom(list->parentWidget(), list->pos()) - QPoint(2, 1);
  const TGridCoord cell = MouseCoord(at.x(), at.y());
  list->hide();
  list->Accepting = false;
  if (cell.X < 0 || cell.Y < 0) return;
  SetCells(cell.X, cell.Y, text);
  InvalidateCol(cell.X);
  setFocus(Qt::OtherFocusReason);
  if (OnSetComboBox) OnSetComboBox(this, cell.X, cell.Y, text);
}

// ---------------------------------------------------------------------------------------------
// Keys and clicks on in-cell controls

void TSortGrid::SpaceReleased() {
  const int32_t c = Col();
  const int32_t r = Row();
  bool checkBox = false, combobox = false, ellipsis = false;
  CellControls(c, r, checkBox, combobox, ellipsis);
  if (checkBox) SetChecked(c, r, !IsChecked(c, r));
  if (combobox && !DropDownCombo(c, r)) HideDropDown();
  if (ellipsis && OnSetEllipsis) OnSetEllipsis(this, c, r);
}

void TSortGrid::CellControlClick(int32_t ACol, int32_t ARow, int X) {
  bool checkBox = false, combobox = false, ellipsis = false;
  CellControls(ACol, ARow, checkBox, combobox, ellipsis);
  if (checkBox) SetChecked(ACol, ARow, !IsChecked(ACol, ARow));
  if (combobox) DropDownCombo(ACol, ARow);
  if (ellipsis && OnSetEllipsis) {
    const TRect r = CellRect(ACol, ARow);
    if (!r.IsEmpty() && r.Right - 16 <= X && X <= r.Right) OnSetEllipsis(this, ACol, ARow);
  }
}

bool TSortGrid::SelectCellInEditor(int32_t ACol, int32_t ARow) {
  if (EditorMode()) {
    bool checkBox = false, combobox = false, ellipsis = false;
    CellControls(ACol, ARow, checkBox, combobox, ellipsis);
    if (combobox) {
      DropDownCombo(ACol, ARow);
      if (FTabHeld && ACol < ColCount() - 2 && SelectCell(ACol + 1, ARow)) SetCol(ACol + 1);
    }
    if (checkBox || combobox) return false;
  }
  return TMyStringGrid::SelectCell(ACol, ARow);
}

// ---------------------------------------------------------------------------------------------
// Validation

void TSortGrid::TakeSnapshot() {
  if (!EditorMode()) return;
  FSnapshot = TCellSnapshot{true, Col(), Row(), Cells(Col(), Row()), FModified};
}

void TSortGrid::CheckCellEdit() {
  if (!EditorMode() || !FSnapshot.Taken) return;
  // Writing the cell reloads the editor, which may take a new snapshot: work from a copy.
  const TCellSnapshot snapshot = FSnapshot;
  const int32_t c = snapshot.Col;
  const int32_t r = snapshot.Row;
  if (c < 0 || r < 0 || c >= ColCount() || r >= RowCount()) {
    TakeSnapshot();
    return;
  }
  const QString current = Cells(c, r);
  if (current != snapshot.Text) {
    QString newValue = current;
    bool valid = true;
    if (OnCellValidate) OnCellValidate(this, c, r, snapshot.Text, newValue, valid);
    if (valid) {
      if (newValue != Cells(c, r)) SetCells(c, r, newValue);
    } else {
      SetCells(c, r, newValue != Cells(c, r) ? newValue : snapshot.Text);
      SetModified(snapshot.Modified);
    }
  }
  TakeSnapshot();
}

QString TSortGrid::GetEditText(int32_t ACol, int32_t ARow) {
  const QString text = TMyStringGrid::GetEditText(ACol, ARow);
  // The editor opens on a cell: that is when the cell counts as entered, unless an edit of the
  // remembered cell still waits for its validation.
  const bool pending = FSnapshot.Taken && FSnapshot.Col >= 0 && FSnapshot.Row >= 0 &&
                       FSnapshot.Col < ColCount() && FSnapshot.Row < RowCount() &&
                       Cells(FSnapshot.Col, FSnapshot.Row) != FSnapshot.Text;
  if (EditorMode() && !pending && ACol == Col() && ARow == Row()) TakeSnapshot();
  return text;
}

void TSortGrid::SetEditText(int32_t ACol, int32_t ARow, const QString& Value) {
  const bool changed = Cells(ACol, ARow) != Value;
  TMyStringGrid::SetEditText(ACol, ARow, Value);
  if (changed) SetModified(true);
}

void TSortGrid::Click() {
  TMyStringGrid::Click();
  if (FEntered) CheckCellEdit();
}

void TSortGrid::DoEnter() {
  FEntered = true;
  TakeSnapshot();
  TMyStringGrid::DoEnter();
}

void TSortGrid::DoExit() {
  Click();
  FEntered = false;
  TMyStringGrid::DoExit();
}
