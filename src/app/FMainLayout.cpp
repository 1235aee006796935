// The main window's controls and their places.
#include <QAction>
#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>

#include "app/FMain.h"
#include "grid/SortGrid.h"
#include "widgets/ButtonWithColor.h"
#include "widgets/LbSpeedButton.h"
#include "widgets/LivePanel.h"
#include "widgets/ExpectedList.h"
#include "widgets/OpenTimesList.h"
#include "widgets/Udigit.h"
#include "widgets/WidgetsAccessible.h"

namespace {

constexpr int kTitleBarHeight = 33;
constexpr int kClockAreaHeight = 237;
constexpr int kPanelTimerWidth = 398;
constexpr int kPanelDateWidth = 222;
constexpr int kProtocolBarHeight = 41;
// The protocol's header and one row (20 pixels and a grid line each), in the grid's frame of two
// pixels on each side.
constexpr int kGridMinimumHeight = 2 * 21 + 2 * 2;

// Clock digit geometry.
constexpr int kDigitWidth = 45;
constexpr int kDigitHeight = 89;
constexpr int kDigitGap = 2;
constexpr int kSeparatorWidth = 22;

QFont Arial(int pixelSize, bool bold = false) {
  QFont font("Liberation Sans");
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

void Paint(QWidget* widget, TColor background, TColor text = clNone) {
  widget->setAutoFillBackground(true);
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, ToQColor(background));
  if (text != clNone) palette.setColor(QPalette::WindowText, ToQColor(text));
  widget->setPalette(palette);
}

// A label that reports a press of the mouse: the word mark's link.
class LinkLabel : public QLabel {
public:
  LinkLabel(const QString& text, QWidget* parent, std::function<void()> onPress)
      : QLabel(text, parent), onPress_(std::move(onPress)) {
    setCursor(Qt::PointingHandCursor);
  }

protected:
  void mousePressEvent(QMouseEvent* event) override {
    event->accept();
    onPress_();
  }

private:
  std::function<void()> onPress_;
};

// A combo box that reports the closing of its list, however it closes. The report comes once
// the event that closed it is done: a chosen item becomes current only after the list hides.
class CloseUpComboBox : public QComboBox {
public:
  CloseUpComboBox(QWidget* parent, std::function<void()> onCloseUp)
      : QComboBox(parent), onCloseUp_(std::move(onCloseUp)) {
    view()->parentWidget()->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Hide && watched == view()->parentWidget()) QTimer::singleShot(0, this, onCloseUp_);
    return QComboBox::eventFilter(watched, event);
  }

private:
  std::function<void()> onCloseUp_;
};

QLabel* Label(const QString& text, QWidget* parent, const QRect& place) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(place);
  return label;
}

TLbSpeedButton* SpeedButton(QWidget* parent, const QString& name, const QString& hint, const QRect& place) {
  auto* button = new TLbSpeedButton(parent);
  button->setObjectName(name);
  button->setToolTip(hint);
  button->setAccessibleName(hint);
  button->setGeometry(place);
  button->SetFlat(true);
  button->setFocusPolicy(Qt::TabFocus);  // every command within reach of the keyboard
  return button;
}

TBitBtnWithColor* CommandButton(QWidget* parent, const QString& name, const QString& caption, TColor colour,
                                TColor fontColour, const QRect& place) {
  auto* button = new TBitBtnWithColor(parent);
  button->setObjectName(name);
  button->SetCaption(caption);
  button->setAccessibleName(caption);
  button->setFont(Arial(24, true));
  button->SetFontColor(fontColour);
  button->SetColor(colour);
  button->setGeometry(place);
  return button;
}

// A small glyph drawn for the buttons that have no stored one.
QImage ArrowGlyph(bool right) {
  QImage image(16, 16, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  const QPolygon shape = right ? QPolygon({QPoint(5, 3), QPoint(11, 8), QPoint(5, 13)})
                               : QPolygon({QPoint(11, 3), QPoint(5, 8), QPoint(11, 13)});
  p.drawPolygon(shape);
  return image;
}

}  // namespace

QWidget* TFormMain::BuildTitleBar(QWidget* parent) {
  auto* bar = new QFrame(parent);
  bar->setObjectName("PanelTitle");
  bar->setFixedHeight(kTitleBarHeight);

  bCFG = SpeedButton(bar, "bCFG", "Einstellungen", QRect(4, 2, 30, 29));
  bCFG->SetGlyph(QImage(":/widgets/LBCFG.png"));
  bCFG->SetNumGlyphs(4);
  bCFG->OnClick = [this](QObject*) { bCFGClick(); };
  bHelp = SpeedButton(bar, "bHelp", "Hilfe", QRect(36, 2, 30, 29));
  bHelp->SetGlyph(QImage(":/widgets/LBHELP.png"));
  bHelp->SetNumGlyphs(4);
  bHelp->OnClick = [this](QObject*) { bHelpClick(); };

  // The maker's word mark: coloured parts over black shadows, a link to the maker's page.
  struct Part { const char* text; TColor colour; bool shadow; };
  const Part parts[] = {{"Quor", clRed, true}, {"vex", clGreen, true}, {" Zeitnahme", clGray, false}};
  int x = 84;
  for (const Part& part : parts) {
    const QFont font = Arial(20, true);
    const int width = QFontMetrics(font).horizontalAdvance(part.text) + 2;
    if (part.shadow) {
      auto* shadow = Label(part.text, bar, QRect(x + 2, 4 + 1, width, 26));
      shadow->setFont(font);
      Paint(shadow, clNone, clBlack);
      shadow->setAutoFillBackground(false);
    }
    QLabel* label = part.shadow ? new LinkLabel(part.text, bar, [this] { ImageDEClick(); })
                                : new QLabel(part.text, bar);
    label->setGeometry(x, 4, width, 26);
    label->setObjectName(QString("ImageDE_%1").arg(QString(part.text).trimmed()));
    label->setFont(font);
    Paint(label, clNone, part.colour);
    label->setAutoFillBackground(false);
    x += width;
  }

  PanelDate = new QLabel("00:00", bar);
  PanelDate->setObjectName("PanelDate");
  PanelDate->setAlignment(Qt::AlignCenter);
  QFont narrow("Liberation Sans Narrow");
  narrow.setPixelSize(18);
  PanelDate->setFont(narrow);
  Paint(PanelDate, clBlack, clSilver);
  LabBattery = new QLabel(bar);
  LabBattery->setObjectName("LabBattery");
  LabBattery->setWordWrap(true);
  LabBattery->setAlignment(Qt::AlignCenter);
  LabBattery->setStyleSheet(QStringLiteral("QLabel { background: #FFF0A0; color: #A00000; font-weight: bold; "
                                           "font-size: 11px; padding: 0 4px; }"));
  LabBattery->setAccessibleName(QStringLiteral("Akku"));
  LabBattery->hide();

  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 2, 4, 2);
  row->addSpacing(x + 8);
  row->addWidget(LabBattery, 1);
  row->addStretch(0);
  PanelDate->setFixedWidth(kPanelDateWidth);
  row->addWidget(PanelDate);
  return bar;
}

QWidget* TFormMain::BuildClockArea(QWidget* parent) {
  auto* area = new QWidget(parent);
  area->setFixedHeight(kClockAreaHeight);
  auto* row = new QHBoxLayout(area);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);

  PanelTimer = new TSpokenPanel(area);
  PanelTimer->setObjectName("PanelTimer");
  PanelTimer->setFixedWidth(kPanelTimerWidth);
  Paint(PanelTimer, clBlack);
  row->addWidget(PanelTimer);
  row->addWidget(BuildCommandPanel(area), 1);
  return area;
}

QWidget* TFormMain::BuildCommandPanel(QWidget* parent) {
  auto* panel = new QFrame(parent);
  panel->setObjectName("PanelCommands");
  panel->setFrameShape(QFrame::StyledPanel);

  // Participant list.
  bDB = SpeedButton(panel, "bDB", "Teilnehmerliste laden", QRect(8, 6, 26, 24));
  bDB->SetCaption("DB");
  sb1m = SpeedButton(panel, "sb1m", "Vorheriger Teilnehmer", QRect(38, 6, 24, 24));
  sb1m->SetGlyph(ArrowGlyph(false));
  sb1m->setProperty("Tag", -1);
  sb1m->setEnabled(false);
  LabelBase = Label("0 von 0", panel, QRect(64, 6, 72, 24));
  LabelBase->setObjectName("LabelBase");
  LabelBase->setAlignment(Qt::AlignCenter);
  LabelBase->setEnabled(false);
  sb1p = SpeedButton(panel, "sb1p", "Nächster Teilnehmer", QRect(138, 6, 24, 24));
  sb1p->SetGlyph(ArrowGlyph(true));
  sb1p->setProperty("Tag", 1);
  sb1p->setEnabled(false);

  auto* labPol = Label("Kat.:", panel, QRect(214, 6, 40, 24));
  cbPol = new QComboBox(panel);
  cbPol->setObjectName("cbPol");
  cbPol->setGeometry(256, 6, 80, 24);
  cbPol->addItems({"M", "F"});
  cbPol->setCurrentIndex(0);
  labPol->setBuddy(cbPol);
  cbPol->setAccessibleName("Kat.:");

  // Rider entry.
  auto* labNr = Label("Nr.:", panel, QRect(8, 38, 30, 24));
  cbStartN = new CloseUpComboBox(panel, [this] { sb1mClick(cbStartN); });
  cbStartN->setObjectName("cbStartN");
  cbStartN->setEditable(true);
  cbStartN->lineEdit()->setMaxLength(5);
  cbStartN->setInsertPolicy(QComboBox::NoInsert);
  cbStartN->setMaxVisibleItems(10);
  cbStartN->setGeometry(40, 38, 70, 24);
  cbStartN->setAccessibleName("Nr.:");
  labNr->setBuddy(cbStartN);
  LabName = Label("Name:", panel, QRect(120, 38, 44, 24));
  eName = new QLineEdit(panel);
  eName->setObjectName("eName");
  eName->setGeometry(166, 38, 230, 24);
  eName->setAccessibleName("Name:");
  LabName->setBuddy(eName);

  // The commands.
  bSTART = CommandButton(panel, "bSTART", "START", clGreen, clWhite, QRect(8, 72, 126, 64));
  bSTART->setToolTip("F5");
  bLAP = CommandButton(panel, "bLAP", "LAP", clBtnFace, clBlack, QRect(140, 72, 126, 64));
  bLAP->setToolTip("F4");
  bLAP->setFocusPolicy(Qt::ClickFocus);
  bLAP->setEnabled(false);
  bSTOP = CommandButton(panel, "bSTOP", "STOPP", clBtnFace, clWhite, QRect(272, 72, 126, 64));
  bSTOP->setToolTip("F9");
  bSTOP->setFocusPolicy(Qt::ClickFocus);
  bSTOP->setEnabled(false);
  bEnd = CommandButton(panel, "bEnd", "ENDE", clBtnFace, clWhite, QRect(8, 144, 126, 48));
  bEnd->setEnabled(false);
  bRESET = CommandButton(panel, "bRESET", "00:00", clBtnFace, clWhite, QRect(140, 144, 126, 48));
  bRESET->setEnabled(false);

  // Auto-start.
  cbAutoStart = new QCheckBox("AutoStart ", panel);
  cbAutoStart->setObjectName("cbAutoStart");
  cbAutoStart->setGeometry(276, 144, 110, 22);
  seAutoStart = new QSpinBox(panel);
  seAutoStart->setObjectName("seAutoStart");
  seAutoStart->setRange(AutoStart::kMinSeconds, AutoStart::kMaxSeconds);
  seAutoStart->setValue(30);
  // A typed value outside the range is brought into it when the focus leaves.
  seAutoStart->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  seAutoStart->setKeyboardTracking(true);
  seAutoStart->setGeometry(276, 168, 64, 24);
  seAutoStart->setAccessibleName("s");
  Label("s", panel, QRect(344, 168, 16, 24))->setBuddy(seAutoStart);

  // The number field, under ENDE: a start number and Enter take a pass, Enter alone an open time.
  eNumber = new QLineEdit(panel);
  eNumber->setObjectName("eNumber");
  eNumber->setGeometry(8, 198, 126, 32);
  eNumber->setFont(Arial(16, true));
  eNumber->setMaxLength(6);
  eNumber->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), eNumber));
  eNumber->setPlaceholderText(QStringLiteral("Nummer"));
  eNumber->setAccessibleName(QStringLiteral("Nummer eingeben"));
  eNumber->setToolTip(QStringLiteral("Startnummer + Enter: Runde (die fünfte: STOPP) bei Enter; Shift+Enter zählt "
                                     "auch nach kurzer Zeit. Enter allein oder „+“ auf dem Ziffernblock: offene Zeit."));

  // The line for a refused press, beside the number field; shown for a few seconds.
  LabStatus = new QLabel(panel);
  LabStatus->setObjectName("LabStatus");
  LabStatus->setGeometry(140, 195, 260, 40);
  LabStatus->setWordWrap(true);
  LabStatus->setStyleSheet(QStringLiteral("QLabel { background: #FFF0A0; color: #A00000; font-weight: bold; "
                                          "padding: 1px 4px; }"));
  LabStatus->setAccessibleName(QStringLiteral("Hinweis"));
  LabStatus->hide();

  // The lap-length table: never shown, it keeps its start-up contents.
  TableLength = new TSortGrid(panel);
  TableLength->setObjectName("TableLength");
  TableLength->setGeometry(8, 200, 160, 30);
  TableLength->hide();
  return panel;
}

QWidget* TFormMain::BuildProtocolArea(QWidget* parent) {
  auto* area = new QWidget(parent);
  auto* column = new QVBoxLayout(area);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* bar = new QFrame(area);
  bar->setObjectName("PanelProtocol");
  bar->setFixedHeight(kProtocolBarHeight);
  bar->setFrameShape(QFrame::StyledPanel);
  auto* barRow = new QHBoxLayout(bar);
  barRow->setContentsMargins(4, 4, 4, 4);
  sbSave = SpeedButton(bar, "sbSave", "Protokoll speichern unter", QRect());
  sbSave->SetCaption("Speichern");
  sbPrint = SpeedButton(bar, "sbPrint", "Protokoll drucken", QRect());
  sbPrint->SetCaption("Drucken");
  auto* title = new QLabel("Protokoll", bar);
  title->setFont(Arial(18, true));
  title->setAlignment(Qt::AlignCenter);
  sbExcel = SpeedButton(bar, "sbExcel", "Datei in MS Excel", QRect());
  sbExcel->SetCaption("Excel");
  sbHTML = SpeedButton(bar, "sbHTML", "Als Webseite", QRect());
  sbHTML->SetCaption("Webseite");
  for (TLbSpeedButton* button : {sbSave, sbPrint, sbExcel, sbHTML}) {
    button->setFixedSize(84, 32);
    button->setEnabled(false);
  }
  barRow->addWidget(sbSave);
  barRow->addWidget(sbPrint);
  barRow->addWidget(title, 1);
  barRow->addWidget(sbExcel);
  barRow->addWidget(sbHTML);
  column->addWidget(bar);

  SortGrid1 = new TSortGrid(area);
  SortGrid1->setObjectName("SortGrid1");
  SortGrid1->setAccessibleName(QStringLiteral("Protokoll"));
  column->addWidget(SortGrid1, 1);
  // In the smallest window the grid keeps its header and one row beside the panels below it.
  SortGrid1->setMinimumHeight(kGridMinimumHeight);
  // The panels of the live results and of the spreadsheet export take their own place below the
  // grid, never over it: the grid's visible area ends where they begin.
  PanelBelowProtocol = new QWidget(area);
  PanelBelowProtocol->setObjectName("PanelBelowProtocol");
  auto* panels = new QHBoxLayout(PanelBelowProtocol);
  panels->setContentsMargins(0, 0, 0, 0);
  ListOpenTimes = new TOpenTimesList(PanelBelowProtocol);
  ListOpenTimes->setFixedWidth(TOpenTimesList::kWidth);
  ListOpenTimes->setMinimumHeight(1);
  ListOpenTimes->setMaximumHeight(kLineListsHeight);
  ListOpenTimes->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  panels->addWidget(ListOpenTimes);
  ListOpenTimes->hide();
  ExpectedList = new TExpectedList(PanelBelowProtocol);
  ExpectedList->setObjectName("ExpectedList");
  // Explicit minimums: the lists' own hints would take the smallest window's last protocol row.
  ExpectedList->setMinimumHeight(1);
  ExpectedList->setMaximumHeight(kLineListsHeight);
  ExpectedList->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  panels->addWidget(ExpectedList, 1);
  ExpectedList->hide();
  panels->addStretch(1);
  BuildLivePanel(PanelBelowProtocol);
  panels->addWidget(PanelLive);
  column->addWidget(PanelBelowProtocol);
  return area;
}

// One row of six digits with its ":" "." "," separators, centred in the panel.
ClockDisplay TFormMain::BuildDisplay(QWidget* panel, int top, bool withCaptions) {
  ClockDisplay display;
  const int rowWidth = 6 * kDigitWidth + 2 * kDigitGap + 3 * kSeparatorWidth;
  int x = (kPanelTimerWidth - rowWidth) / 2;
  QFont separatorFont("Liberation Serif", 36, QFont::Bold);

  auto addDigit = [&](int index) {
    auto* digit = new TDigit(panel);
    digit->setGeometry(x, top, kDigitWidth, kDigitHeight);
    digit->SetThickness(5);
    digit->SetSeparation(1);
    display.digits[index] = digit;
    x += kDigitWidth;
    return digit;
  };
  auto addSeparator = [&](const char* text) {
    auto* label = Label(text, panel, QRect(x, top, kSeparatorWidth, kDigitHeight));
    label->setFont(separatorFont);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    x += kSeparatorWidth;
    return label;
  };
  auto addCaption = [&](const char* text, TDigit* under) -> QLabel* {
    if (!withCaptions) return nullptr;
    auto* label = Label(text, panel, QRect(under->x() - 10, top + kDigitHeight + 4, kDigitWidth + 20, 18));
    label->setFont(Arial(12, true));
    label->setAlignment(Qt::AlignCenter);
    return label;
  };

  TDigit* hours = addDigit(0);
  display.hourSeparator = addSeparator(":");
  addDigit(1);
  x += kDigitGap;
  TDigit* minutes = addDigit(2);
  display.minuteSeparator = addSeparator(".");
  addDigit(3);
  x += kDigitGap;
  TDigit* seconds = addDigit(4);
  display.secondSeparator = addSeparator(",");
  TDigit* tenths = addDigit(5);

  display.hourCaption = addCaption("Std.", hours);
  display.minuteCaption = addCaption("Min.", minutes);
  display.secondCaption = addCaption("Sek.", seconds);
  display.tenthCaption = addCaption("1/10", tenths);

  auto& d = display.digits;
  if (withCaptions) {
    Digit2 = d[0]; Digit3 = d[1]; Digit4 = d[2]; Digit5 = d[3]; Digit6 = d[4]; Digit7 = d[5];
    LabHour = display.hourSeparator; LabMin = display.minuteSeparator; LabSec = display.secondSeparator;
  } else {
    Digit13 = d[0]; Digit15 = d[1]; Digit16 = d[2]; Digit18 = d[3]; Digit19 = d[4]; Digit21 = d[5];
    LabHour2 = display.hourSeparator; LabMin2 = display.minuteSeparator; LabSec2 = display.secondSeparator;
  }
  return display;
}

void TFormMain::BuildHiddenMenu() {
  // One invisible top-level item; its entries exist for their keys only.
  QMenu* hidden = menuBar()->addMenu("HideMenu");
  menuBar()->setVisible(false);
  auto item = [&](const char* name, const QString& caption, const QKeySequence& key) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    if (!key.isEmpty()) {
      action->setShortcut(key);
      action->setShortcutContext(Qt::WindowShortcut);
    }
    hidden->addAction(action);
    addAction(action);  // shortcuts of a hidden menu act through the window
    return action;
  };
  // F5, F4 and F9 go through the race key filter, never through Qt's shortcut map.
  mStart = item("mStart", "Start", {});
  mLap = item("mLap", "Lap", {});
  mStop = item("mStop", "Sto&pp", {});
  mReset = item("mReset", "0,00", {});
  EinstellunGen1 = item("EinstellunGen1", "&Einstellungen", QKeySequence(Qt::ALT | Qt::Key_E));
  Hilfe1 = item("Hilfe1", "H&ilfe", QKeySequence(Qt::ALT | Qt::Key_I));
  Drucker1 = item("Drucker1", "&Drucker", QKeySequence(Qt::ALT | Qt::Key_D));
  mHilfe = item("mHilfe", "Hilfe", QKeySequence(Qt::Key_F1));
  mLap->setEnabled(false);
  mStop->setEnabled(false);
  mReset->setEnabled(false);
}

// Tab goes as the operator works: the entry fields, the commands, auto-start, the participant
// list, the file buttons, the protocol, then the title bar.
void TFormMain::SetTabOrder() {
  const QList<QWidget*> order{cbStartN, eName, cbPol, bSTART, bLAP, bSTOP, bEnd, bRESET, eNumber, cbAutoStart, seAutoStart,
                              bDB, sb1m, sb1p, sbSave, sbPrint, sbExcel, sbHTML, SortGrid1, bCFG, bHelp};
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void TFormMain::BuildPopupMenu() {
  PopupMenuProtokol = new QMenu(this);
  PopupMenuProtokol->setObjectName("PopupMenuProtokol");
  mCut = PopupMenuProtokol->addAction("Zeile entfernen");
  mCut->setObjectName("mCut");
  mSelectAll = PopupMenuProtokol->addAction("Alles markieren");
  mSelectAll->setObjectName("mSelectAll");
  mSelectAll->setVisible(false);
}
