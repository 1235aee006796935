#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <stdexcept>

#include "common/Doubles.h"
#include "widgets/ButtonWithColor.h"
#include "common/Eventually.h"

namespace {

using testing_doubles::Doubles;

QRgb Rgb(TColor c) { return ToQColor(c).rgb() & 0xFFFFFF; }
QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

// The bounding box of the pixels of one exact colour inside an area.
QRect BoxOf(const QImage& image, QRgb colour, const QRect& area) {
  QRect box;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (At(image, x, y) == colour) box |= QRect(x, y, 1, 1);
  return box;
}

// A race button as the main window builds it; the font is unsmoothed so colours stay exact.
std::unique_ptr<TBitBtnWithColor> RaceButton(const QString& caption, TColor color,
                                             TColor fontColor = clWhite) {
  auto button = std::make_unique<TBitBtnWithColor>();
  button->resize(95, 42);
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(24);
  font.setBold(true);
  font.setStyleStrategy(QFont::NoAntialias);
  button->setFont(font);
  button->SetCaption(caption);
  button->SetColor(color);
  button->SetFontColor(fontColor);
  return button;
}

QImage Shot(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

const QRect kInside(3, 3, 89, 36);  // within the edge of a 95 x 42 button

TEST(BitBtnWithColor, DisabledGreenButtonShowsGreyCaptionOverWhiteShadow) {
  auto button = RaceButton("START", clGreen);
  button->setEnabled(false);
  const QImage image = Shot(*button);

  EXPECT_EQ(At(image, 5, 5), Rgb(clGreen));
  const QRect grey = BoxOf(image, 0x808080, kInside);
  const QRect white = BoxOf(image, 0xFFFFFF, kInside);
  ASSERT_FALSE(grey.isEmpty());
  ASSERT_FALSE(white.isEmpty());
  // The white copy lies one pixel right and down under the grey one.
  EXPECT_EQ(white.right(), grey.right() + 1);
  EXPECT_EQ(white.bottom(), grey.bottom() + 1);
  // Nothing else: face, grey caption and its white shadow.
  for (int y = kInside.top(); y <= kInside.bottom(); ++y)
    for (int x = kInside.left(); x <= kInside.right(); ++x) {
      const QRgb px = At(image, x, y);
      ASSERT_TRUE(px == Rgb(clGreen) || px == 0x808080 || px == 0xFFFFFF) << x << "," << y;
    }

  // Enabled, the caption is in its own colour and there is no grey.
  button->setEnabled(true);
  const QImage enabled = Shot(*button);
  EXPECT_TRUE(BoxOf(enabled, 0x808080, kInside).isEmpty());
  EXPECT_FALSE(BoxOf(enabled, 0xFFFFFF, kInside).isEmpty());
}

TEST(BitBtnWithColor, PressedShiftsCaptionAndOutlinesFaceWithShadow) {
  auto button = RaceButton("LAP", clYellow, clBlack);
  const QImage up = Shot(*button);
  button->setDown(true);
  const QImage down = Shot(*button);

  // Up: raised edge (highlight at the corner), the face outline in the face colour.
  EXPECT_EQ(At(up, 0, 0), Rgb(clBtnHighlight));
  EXPECT_EQ(At(up, 94, 41), Rgb(cl3DDkShadow));
  EXPECT_EQ(At(up, 2, 2), Rgb(clYellow));
  // Down: no raised edge, the face outlined in the button-shadow colour.
  EXPECT_EQ(At(down, 0, 0), Rgb(clBtnShadow));
  EXPECT_EQ(At(down, 94, 41), Rgb(clBtnShadow));
  EXPECT_EQ(At(down, 1, 1), Rgb(clYellow));

  const QRect captionUp = BoxOf(up, 0x000000, kInside);
  const QRect captionDown = BoxOf(down, 0x000000, kInside);
  ASSERT_FALSE(captionUp.isEmpty());
  EXPECT_EQ(captionDown, captionUp.translated(1, 1));
}

TEST(BitBtnWithColor, ColourWrittenUnchangedDoesNotRepaint) {
  QWidget window;
  auto* button = new TBitBtnWithColor(&window);
  button->resize(95, 42);
  button->SetColor(clRed);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QApplication::processEvents();

  struct Counter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++paints;
      return false;
    }
  } counter;
  button->installEventFilter(&counter);

  button->SetColor(clRed);
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, 0);

  button->SetColor(clGreen);
  EXPECT_SOON(counter.paints > 0);
  EXPECT_EQ(At(button->grab().toImage(), 10, 10), Rgb(clGreen));
}

TEST(BitBtnWithColor, GlyphCountsMarginAndKind) {
  TBitBtnWithColor button;
  EXPECT_EQ(button.NumGlyphs(), 1);
  button.SetNumGlyphs(7);
  EXPECT_EQ(button.NumGlyphs(), 4);
  button.SetMargin(-2);
  EXPECT_EQ(button.Margin(), -1);
  button.SetMargin(3);
  EXPECT_EQ(button.Margin(), 3);

  // A strip of square images sets the count; more than four count as one.
  QImage strip(54, 18, QImage::Format_RGB32);
  strip.fill(Qt::red);
  button.SetGlyph(strip);
  EXPECT_EQ(button.NumGlyphs(), 3);
  button.SetGlyph(QImage(90, 18, QImage::Format_RGB32));
  EXPECT_EQ(button.NumGlyphs(), 1);

  TBitBtnWithColor ok;
  ok.SetKind(bkOK);
  EXPECT_EQ(ok.Kind(), bkOK);
  EXPECT_TRUE(ok.Default());
  EXPECT_FALSE(ok.Cancel());
  EXPECT_EQ(ok.ModalResult(), mrOk);
  EXPECT_EQ(ok.Caption(), "OK");
  EXPECT_EQ(ok.NumGlyphs(), 2);
  EXPECT_EQ(ok.Glyph().size(), QSize(36, 18));
  ok.SetModalResult(mrCancel);
  EXPECT_EQ(ok.Kind(), bkCustom);
  ok.SetModalResult(mrOk);
  EXPECT_EQ(ok.Kind(), bkCustom);  // the kind was given up, not recomputed

  TBitBtnWithColor no;
  no.SetKind(bkNo);
  EXPECT_TRUE(no.Cancel());
  EXPECT_EQ(no.Kind(), bkNo);
  no.SetGlyph(QImage(18, 18, QImage::Format_RGB32));
  EXPECT_EQ(no.Kind(), bkCustom);
}

TEST(BitBtnWithColor, MissingImagesComeFromTheUpImage) {
  // One image: a black square on the see-through olive, which the bottom-left pixel names.
  QImage glyph(8, 8, QImage::Format_RGB32);
  glyph.fill(QColor(0x80, 0x80, 0x00));
  for (int y = 2; y < 5; ++y)
    for (int x = 2; x < 5; ++x) glyph.setPixel(x, y, qRgb(0, 0, 0));
  TButtonGlyph store;
  store.SetGlyph(glyph);
  EXPECT_EQ(store.TransparentColor(), clOlive);

  const QImage up = store.Image(bsUp, clRed);
  EXPECT_EQ(At(up, 0, 0), Rgb(clRed));  // see-through replaced by the face
  EXPECT_EQ(At(up, 3, 3), 0x000000u);
  EXPECT_EQ(store.Image(bsDown, clRed), up);
  EXPECT_EQ(store.Image(bsExclusive, clRed), up);

  // Disabled: embossed, grey ink with a white copy one pixel down-right, on the face.
  const QImage disabled = store.Image(bsDisabled, clRed);
  EXPECT_EQ(At(disabled, 2, 2), 0x808080u);
  EXPECT_EQ(At(disabled, 4, 4), 0x808080u);
  EXPECT_EQ(At(disabled, 5, 5), 0xFFFFFFu);
  EXPECT_EQ(At(disabled, 5, 3), 0xFFFFFFu);
  EXPECT_EQ(At(disabled, 5, 2), Rgb(clRed));
  EXPECT_EQ(At(disabled, 0, 7), Rgb(clRed));

  // Prepared again against a new face.
  EXPECT_EQ(At(store.Image(bsUp, clBlue), 0, 0), Rgb(clBlue));
}

TEST(BitBtnWithColor, LayoutOfGlyphAndCaption) {
  const QRect client(0, 0, 100, 40);
  const QSize glyph(16, 16);
  const QSize text(40, 14);

  // Margin and spacing -1: three equal parts of the free 44 pixels.
  auto r = CalcButtonLayout(client, glyph, text, blGlyphLeft, -1, -1);
  EXPECT_EQ(r.glyphPos, QPoint(14, 12));
  EXPECT_EQ(r.textBounds, QRect(44, 13, 40, 14));

  // Centred block with the given spacing.
  r = CalcButtonLayout(client, glyph, text, blGlyphLeft, -1, 4);
  EXPECT_EQ(r.glyphPos.x(), 20);
  EXPECT_EQ(r.textBounds.left(), 40);

  // Given margin, caption centred in what is left.
  r = CalcButtonLayout(client, glyph, text, blGlyphRight, 4, -1);
  EXPECT_EQ(r.glyphPos.x(), 80);
  EXPECT_EQ(r.textBounds.left(), 20);

  // Top: glyph above, both centred across; the client's offset is added.
  r = CalcButtonLayout(client.translated(3, 3), glyph, text, blGlyphTop, -1, 4);
  EXPECT_EQ(r.glyphPos, QPoint(45, 6));
  EXPECT_EQ(r.textBounds, QRect(33, 26, 40, 14));

  // No glyph: no spacing, the caption centred.
  r = CalcButtonLayout(client, QSize(0, 0), text, blGlyphLeft, -1, 4);
  EXPECT_EQ(r.textBounds.left(), 30);
}

TEST(BitBtnWithColor, MousePressOfAnyButtonIsReportedAtThePress) {
  TBitBtnWithColor button;
  button.resize(95, 42);
  std::vector<Qt::MouseButton> presses;
  int clicks = 0;
  button.OnMouseDown = [&](QObject* sender, Qt::MouseButton b, Qt::KeyboardModifiers, int x,
                           int y) {
    EXPECT_EQ(sender, &button);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 12);
    presses.push_back(b);
  };
  button.OnClick = [&](QObject*) { ++clicks; };

  QTest::mousePress(&button, Qt::RightButton, {}, QPoint(10, 12));
  ASSERT_EQ(presses.size(), 1u);
  EXPECT_EQ(presses[0], Qt::RightButton);
  QTest::mouseRelease(&button, Qt::RightButton, {}, QPoint(10, 12));
  EXPECT_EQ(clicks, 0);

  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 12));
  EXPECT_EQ(presses.size(), 2u);
  EXPECT_EQ(clicks, 0);  // the command fires on the press; the click comes at the release
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 12));
  EXPECT_EQ(clicks, 1);
}

TEST(BitBtnWithColor, TwoQuickClicksAreTwoPressesAndTwoClicks) {
  QWidget window;
  auto* button = new TBitBtnWithColor(&window);
  button->resize(95, 42);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  int presses = 0;
  int clicks = 0;
  button->OnMouseDown = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
    ++presses;
  };
  button->OnClick = [&](QObject*) { ++clicks; };
  // Through the window, so Qt turns the second press into press and double click as it does
  // with real mouse input.
  QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(presses, 2);
  EXPECT_EQ(clicks, 2);

  // The order the X11 connection delivers: press, release, press, double click, release.
  auto send = [&](QEvent::Type type) {
    QMouseEvent e(type, QPointF(20, 20), button->mapToGlobal(QPointF(20, 20)), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(button, &e);
  };
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                            QEvent::MouseButtonPress, QEvent::MouseButtonDblClick,
                            QEvent::MouseButtonRelease})
    send(type);
  EXPECT_EQ(presses, 4);
  EXPECT_EQ(clicks, 4);
}

TEST(BitBtnWithColor, EnterAndSpaceClickTheFocusedButtonOutsideADialog) {
  QWidget window;
  auto* button = new TBitBtnWithColor(&window);
  button->resize(95, 42);
  int clicks = 0;
  button->OnClick = [&](QObject*) { ++clicks; };
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  button->setFocus();
  EXPECT_SOON(button->hasFocus());

  QTest::keyClick(button, Qt::Key_Return);
  EXPECT_EQ(clicks, 1);
  QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(clicks, 1);  // only plain Enter
  QTest::keyClick(button, Qt::Key_Enter);
  EXPECT_EQ(clicks, 2);
  QTest::keyClick(button, Qt::Key_Space);
  EXPECT_EQ(clicks, 3);
  // A held key clicks once.
  QTest::keyPress(button, Qt::Key_Return);
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r", true);
  QApplication::sendEvent(button, &repeat);
  EXPECT_EQ(clicks, 4);
}

TEST(BitBtnWithColor, DefaultLookFollowsTheFocus) {
  QWidget window;
  auto* edit = new QLineEdit(&window);
  edit->setGeometry(0, 0, 80, 24);
  auto* other = new TBitBtnWithColor(&window);
  other->setGeometry(0, 30, 95, 42);
  auto* button = new TBitBtnWithColor(&window);
  button->setGeometry(100, 30, 95, 42);
  button->SetColor(clBlue);
  button->SetDefault(true);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  edit->setFocus();
  EXPECT_SOON(edit->hasFocus());
  EXPECT_TRUE(button->Active());
  QImage image = Shot(*button);
  EXPECT_EQ(At(image, 0, 0), Rgb(clWindowFrame));
  // The dotted focus outline inverts the face every other pixel.
  EXPECT_EQ(At(image, 4, 20), Rgb(clBlue) ^ 0xFFFFFF);
  EXPECT_EQ(At(image, 4, 21), Rgb(clBlue));

  other->setFocus();
  EXPECT_SOON(other->hasFocus());
  EXPECT_FALSE(button->Active());
  EXPECT_TRUE(other->Active());
  image = Shot(*button);
  EXPECT_EQ(At(image, 0, 0), Rgb(clBtnHighlight));
}

TEST(BitBtnWithColor, ModalResultClosesTheDialogAndCancelAnswersEscape) {
  QDialog dialog;
  auto* ok = new TBitBtnWithColor(&dialog);
  ok->SetKind(bkOK);
  auto* cancel = new TBitBtnWithColor(&dialog);
  cancel->SetKind(bkCancel);
  cancel->move(0, 50);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  ok->click();
  EXPECT_EQ(dialog.result(), mrOk);

  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  ok->setFocus();
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_EQ(dialog.result(), mrCancel);
  EXPECT_FALSE(dialog.isVisible());
}

TEST(BitBtnWithColor, AnExceptionInAHandlerIsReportedNotPropagated) {
  TBitBtnWithColor button;
  button.resize(95, 42);
  button.OnClick = [](QObject*) { throw std::runtime_error("Kaputt"); };
  Doubles().modal.AnswerMessage(mrOk);
  button.click();
  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_EQ(Doubles().modal.History()[0].text, "Kaputt.");
  EXPECT_EQ(Doubles().modal.History()[0].icon, MsgIcon::Error);
}

}  // namespace
