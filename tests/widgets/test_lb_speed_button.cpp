#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QMenu>
#include <QTest>
#include <atomic>
#include <memory>
#include <semaphore>

#include "common/Doubles.h"
#include "widgets/LbButtons.h"
#include "widgets/LbSpeedButton.h"
#include "common/Eventually.h"

namespace {

using testing_doubles::Doubles;

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
int Alpha(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)); }

// What the button paints, over a clear background.
QImage Shot(TLbSpeedButton& b) {
  QImage image(b.size(), QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  b.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
  return image;
}

void Enter(TLbSpeedButton& b) {
  QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(&b, &e);
}

void Leave(TLbSpeedButton& b) {
  QEvent e(QEvent::Leave);
  QApplication::sendEvent(&b, &e);
}

// A strip of four 8 x 8 images in four colours; its bottom-left pixel is the see-through one.
QImage FourColourStrip() {
  QImage strip(32, 8, QImage::Format_RGB32);
  const QRgb colours[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 0)};
  for (int i = 0; i < 4; ++i)
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) strip.setPixel(i * 8 + x, y, colours[i]);
  strip.setPixel(0, 7, qRgb(0xFF, 0x00, 0xFF));
  return strip;
}

// The glyph's centre with the default layout and no caption: x = 4, vertically centred.
QRgb GlyphCentre(TLbSpeedButton& b) { return At(Shot(b), 4 + 4, (b.height() - 8) / 2 + 4); }

class SpeedButtonTest : public ::testing::Test {
protected:
  void SetUp() override {
    // Hot tracking starts only when the mouse comes in, never because it happens to be there.
    QCursor::setPos(2000, 2000);
    parent.resize(300, 200);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
  }
  void TearDown() override { SetLbFadeSleep({}); }
  QWidget parent;
};

TEST_F(SpeedButtonTest, FadesOutInEightStepsAndSuspendsItsThread) {
  // Each sleep of the worker waits for one tick of the test.
  std::counting_semaphore<64> ticks(0);
  SetLbFadeSleep([&](std::chrono::milliseconds duration, std::stop_token stop) {
    EXPECT_EQ(duration.count(), 30);
    while (!stop.stop_requested())
      if (ticks.try_acquire_for(std::chrono::milliseconds(1))) return;
  });
  auto* b = new TLbSpeedButton(&parent);
  b->SetColor(clBlack);
  b->SetHotTrackColor(0x0000FF);
  b->SetSlowDecease(true);
  b->show();
  ASSERT_NE(b->FadeThread(), nullptr);
  EXPECT_TRUE(b->FadeThread()->Suspended());

  auto red = [&] { return qRed(Shot(*b).pixel(50, 11)); };
  EXPECT_EQ(red(), 0);
  Enter(*b);
  EXPECT_EQ(red(), 255);
  Leave(*b);
  EXPECT_FALSE(b->Hot());
  EXPECT_EQ(red(), 255);  // unchanged until the first tick
  for (int expected : {223, 191, 159, 127, 95, 63, 31, 0}) {
    const int level = b->FadeLevel();
    ticks.release();
    EXPECT_SOON(b->FadeLevel() == level - 1);
    EXPECT_EQ(red(), expected);
  }
  EXPECT_TRUE(b->FadeThread()->Suspended());
  QTest::qWait(20);
  EXPECT_EQ(b->FadeLevel(), 0);

  // Off again: the thread goes, however it was waiting.
  b->SetSlowDecease(false);
  EXPECT_EQ(b->FadeThread(), nullptr);
}

TEST_F(SpeedButtonTest, DestroyedInTheMiddleOfAFade) {
  // A step is waiting in the event queue while the button goes: no deadlock, and the step
  // never reaches the freed button.
  SetLbFadeSleep([](std::chrono::milliseconds, std::stop_token) {});
  for (int round = 0; round < 20; ++round) {
    auto* b = new TLbSpeedButton(&parent);
    b->SetHotTrackColor(clRed);
    b->SetSlowDecease(true);
    b->show();
    Enter(*b);
    Leave(*b);
    if (round % 2) QApplication::processEvents();
    delete b;
    QApplication::processEvents();
  }

  // With the real sleep: stopping wakes it at once.
  SetLbFadeSleep({});
  auto* b = new TLbSpeedButton(&parent);
  b->SetHotTrackColor(clRed);
  b->SetSlowDecease(true);
  b->show();
  Enter(*b);
  Leave(*b);
  QTest::qWait(45);
  QElapsedTimer timer;
  timer.start();
  delete b;
  EXPECT_LT(timer.elapsed(), 1000);
  QApplication::processEvents();
}

TEST_F(SpeedButtonTest, ComingBackDuringAFadeKeepsTheHighlight) {
  SetLbFadeSleep([](std::chrono::milliseconds, std::stop_token) {});
  auto* b = new TLbSpeedButton(&parent);
  b->SetColor(clBlack);
  b->SetHotTrackColor(0x0000FF);
  b->SetSlowDecease(true);
  b->show();
  Enter(*b);
  Leave(*b);
  Enter(*b);
  QTest::qWait(50);
  EXPECT_EQ(b->FadeLevel(), 8);
  EXPECT_EQ(qRed(Shot(*b).pixel(50, 11)), 255);
  EXPECT_TRUE(b->FadeThread()->Suspended());
}

TEST_F(SpeedButtonTest, HotTrackingShowsHotFaceGlyphAndBorder) {
  auto* b = new TLbSpeedButton(&parent);
  b->resize(38, 38);
  b->SetColor(clWhite);
  b->SetHotTrackColor(clYellow);
  b->SetFlat(true);
  b->SetLightColor(clGreen);
  b->SetShadowColor(clBlue);
  b->SetGlyph(FourColourStrip());
  EXPECT_EQ(b->NumGlyphs(), 4);
  b->show();

  QImage cold = Shot(*b);
  EXPECT_EQ(At(cold, 20, 2), 0xFFFFFFu);
  EXPECT_EQ(At(cold, 0, 10), 0xFFFFFFu);  // flat: no border while cold
  EXPECT_EQ(GlyphCentre(*b), qRgb(255, 0, 0) & 0xFFFFFF);
  EXPECT_EQ(At(cold, 4, (38 - 8) / 2 + 7), 0xFFFFFFu);  // the see-through pixel shows the face

  Enter(*b);
  QImage hot = Shot(*b);
  EXPECT_EQ(At(hot, 20, 2), qRgb(255, 255, 0) & 0xFFFFFF);
  EXPECT_EQ(At(hot, 0, 10), qRgb(0, 128, 0) & 0xFFFFFF);   // light edge, left
  EXPECT_EQ(At(hot, 37, 10), qRgb(0, 0, 255) & 0xFFFFFF);  // shadow edge, right
  EXPECT_EQ(GlyphCentre(*b), qRgb(255, 255, 0) & 0xFFFFFF);  // image 3

  // Pressed while hot: image 2 wins, edges swap, everything one pixel down-right.
  b->SetDown(true);
  QImage down = Shot(*b);
  EXPECT_EQ(At(down, 0, 10), qRgb(0, 0, 255) & 0xFFFFFF);
  EXPECT_EQ(At(down, 4 + 4 + 1, 15 + 4 + 1), qRgb(0, 0, 255) & 0xFFFFFF);
  b->SetDown(false);

  Leave(*b);  // without SlowDecease: cold at once
  EXPECT_EQ(At(Shot(*b), 20, 2), 0xFFFFFFu);

  // A transparent bsNormal button never fills its face.
  b->SetTransparent(true);
  EXPECT_EQ(Alpha(Shot(*b), 20, 2), 0);
  Enter(*b);
  QImage clear = Shot(*b);
  EXPECT_EQ(Alpha(clear, 20, 2), 0);
  EXPECT_EQ(At(clear, 0, 10), qRgb(0, 128, 0) & 0xFFFFFF);
}

TEST_F(SpeedButtonTest, DisabledShowsImageOneGreyCaptionAndIsNeverDrawnDown) {
  auto* b = new TLbSpeedButton(&parent);
  b->resize(38, 38);
  b->SetGlyph(FourColourStrip());
  b->show();
  b->setEnabled(false);
  EXPECT_EQ(GlyphCentre(*b), qRgb(0, 255, 0) & 0xFFFFFF);
  b->SetDown(true);
  EXPECT_EQ(GlyphCentre(*b), qRgb(0, 255, 0) & 0xFFFFFF);
  EXPECT_EQ(At(Shot(*b), 0, 10), 0xFFFFFFu);  // light edge on the left: not pressed
  b->SetDown(false);

  b->SetNumGlyphs(1);
  QImage single(8, 8, QImage::Format_RGB32);
  single.fill(qRgb(200, 0, 200));
  single.setPixel(0, 7, qRgb(1, 2, 3));
  b->SetGlyph(single);
  EXPECT_EQ(b->NumGlyphs(), 1);
  EXPECT_EQ(GlyphCentre(*b), qRgb(200, 0, 200) & 0xFFFFFF);

  // Grey caption.
  b->SetGlyph(QImage());
  QFont font = b->font();
  font.setStyleStrategy(QFont::NoAntialias);
  font.setPixelSize(14);
  b->setFont(font);
  b->SetCaption("Hilfe");
  const QImage text = Shot(*b);
  bool grey = false;
  for (int y = 0; y < 38; ++y)
    for (int x = 2; x < 36; ++x) grey |= At(text, x, y) == 0x808080;
  EXPECT_TRUE(grey);
}

TEST_F(SpeedButtonTest, GroupedButtonsLatch) {
  TLbSpeedButton* buttons[3];
  for (int i = 0; i < 3; ++i) {
    buttons[i] = new TLbSpeedButton(&parent);
    buttons[i]->move(0, i * 30);
    buttons[i]->SetGroupIndex(1);
    buttons[i]->show();
  }
  auto click = [](TLbSpeedButton* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, 5)); };
  click(buttons[0]);
  EXPECT_TRUE(buttons[0]->Down());
  click(buttons[1]);
  EXPECT_FALSE(buttons[0]->Down());
  EXPECT_TRUE(buttons[1]->Down());
  buttons[2]->SetDown(true);
  EXPECT_FALSE(buttons[1]->Down());
  click(buttons[2]);
  EXPECT_TRUE(buttons[2]->Down());  // stays down
  buttons[2]->SetAllowAllUp(true);
  click(buttons[2]);
  EXPECT_FALSE(buttons[2]->Down());

  // A momentary button comes up again and clicks on the release inside it.
  auto* plain = new TLbSpeedButton(&parent);
  plain->move(150, 0);
  plain->show();
  int clicks = 0;
  plain->OnClick = [&](QObject*) { ++clicks; };
  QTest::mousePress(plain, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_TRUE(plain->Down());
  QTest::mouseRelease(plain, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_FALSE(plain->Down());
  EXPECT_EQ(clicks, 1);
  QTest::mousePress(plain, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseRelease(plain, Qt::LeftButton, {}, QPoint(500, 5));
  EXPECT_EQ(clicks, 1);
}

TEST_F(SpeedButtonTest, LongCaptionIsShortenedOrWrapped) {
  auto* b = new TLbSpeedButton(&parent);
  b->resize(60, 60);
  QFont font = b->font();
  font.setStyleStrategy(QFont::NoAntialias);
  font.setPixelSize(12);
  b->setFont(font);
  b->SetColor(clWhite);
  b->SetCaption("WWW WWW WWW WWW");
  b->show();
  auto inkRows = [&](int& left, int& right) {
    const QImage image = Shot(*b);
    QSet<int> rows;
    left = 1000;
    right = -1;
    for (int y = 1; y < 59; ++y)
      for (int x = 1; x < 59; ++x)
        if (At(image, x, y) == 0) {
          rows.insert(y);
          left = std::min(left, x);
          right = std::max(right, x);
        }
    return rows.size();
  };
  int left = 0;
  int right = 0;
  const int oneLine = inkRows(left, right);
  EXPECT_GE(left, 4);
  EXPECT_LT(right, 56);
  b->SetWordWrap(true);
  const int wrapped = inkRows(left, right);
  EXPECT_GT(wrapped, oneLine * 2);
  EXPECT_LT(right, 56);
}

TEST_F(SpeedButtonTest, PresetsAndTheModernStyleOnPaletteDisplays) {
  auto* b = new TLbSpeedButton(&parent);
  b->SetFlat(true);
  b->SetColorStyle(lcsQuicken);
  EXPECT_EQ(b->ColorStyle(), lcsCustom);
  EXPECT_EQ(b->Style(), bsQuicken);
  EXPECT_EQ(b->FontColor(), clWhite);
  EXPECT_EQ(b->Color(), 0x603000u);
  EXPECT_EQ(b->LightColor(), 0xC0C0C0u);
  EXPECT_EQ(b->ColorWhenDown(), 0xAD6529u);
  EXPECT_EQ(b->HotTrackColor(), 0xCEAE9Cu);
  EXPECT_FALSE(b->Flat());

  b->SetColorStyle(lcsUltraFlat2);
  EXPECT_TRUE(b->Flat());
  EXPECT_EQ(b->Style(), bsNormal);
  EXPECT_EQ(b->FontColor(), clBlack);
  EXPECT_EQ(b->Color(), clBtnFace);
  EXPECT_EQ(b->ColorWhenDown(), 0x24DABCu);

  b->SetColorStyle(lcsGold);
  EXPECT_EQ(b->Style(), bsModern);
  EXPECT_EQ(b->HotTrackColor(), 0x00DFDFu);

  SetLbScreenDepth(8);
  b->SetStyle(bsNormal);
  b->SetStyle(bsModern);
  EXPECT_EQ(b->Style(), bsNormal);
  b->SetColorStyle(lcsChrome);
  EXPECT_EQ(b->Style(), bsNormal);
  SetLbScreenDepth(0);

  // Pressed with ColorWhenDown: that face, unless disabled.
  b->SetColorStyle(lcsUltraFlat1);
  b->SetDown(true);
  EXPECT_EQ(b->FaceColor(), 0xB59284u);
  b->setEnabled(false);
  EXPECT_EQ(b->FaceColor(), clBtnFace);
}

TEST_F(SpeedButtonTest, PopupMenuOpensOnClickAndShowsItsArrow) {
  auto* b = new TLbSpeedButton(&parent);
  b->SetColor(clWhite);
  QMenu menu;
  menu.addAction("Eins");
  b->SetPopupMenu(&menu);
  b->show();
  const QImage image = Shot(*b);
  const int x = b->width() - 11;
  const int y = b->height() / 2 - 1;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(At(image, x + i, y), 0u);
  EXPECT_EQ(At(image, x, y + 1), 0xFFFFFFu);
  EXPECT_EQ(At(image, x + 2, y + 2), 0u);
  EXPECT_EQ(At(image, x + 1, y + 2), 0xFFFFFFu);

  int clicks = 0;
  b->OnClick = [&](QObject*) {
    EXPECT_EQ(Doubles().modal.History().size(), 1u);  // the menu came first
    ++clicks;
  };
  Doubles().modal.AnswerPopup("");
  QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(Doubles().modal.PendingAnswers(), 0);
}

TEST(LbButtons, FadeColourIsTruncatedPerChannel) {
  EXPECT_EQ(LbFadeColor(clBlack, clWhite, 8), 0xFFFFFFu);
  EXPECT_EQ(LbFadeColor(clBlack, clWhite, 0), 0u);
  EXPECT_EQ(LbFadeColor(0x000000, 0x0000FF, 7), 223u);
  EXPECT_EQ(LbFadeColor(0x102030, 0x302010, 4), 0x202020u);
  EXPECT_EQ(LbFadeColor(0x0000FF, 0x000000, 1), 223u);
}

}  // namespace
