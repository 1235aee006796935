#include <gtest/gtest.h>

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QTest>

#include "widgets/Udigit.h"

namespace {

constexpr TColor kBack = 0x102030;
constexpr TColor kOn = 0x00FFFF;
constexpr TColor kOff = 0x404040;

QImage Render(TDigit& digit) {
  QImage image(digit.size(), QImage::Format_RGB32);
  image.fill(Qt::magenta);
  digit.render(&image);
  return image;
}

TColor At(const QImage& image, int x, int y) { return FromQColor(image.pixelColor(x, y)); }

// Counts paint events, to see which writes repaint.
class PaintCounter : public QObject {
public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

struct ClockDigit : ::testing::Test {
  TDigit digit;
  void SetUp() override {
    digit.resize(45, 89);
    digit.SetThickness(5);
    digit.SetSeparation(1);
    digit.SetColor(kBack);
    digit.SetColorOn(kOn);
    digit.SetColorOff(kOff);
  }
};

}  // namespace

TEST(Digit, CreationDefaults) {
  TDigit d;
  EXPECT_EQ(d.width(), 16);
  EXPECT_EQ(d.height(), 32);
  EXPECT_EQ(d.Value(), 0);
  EXPECT_EQ(d.ValueBinary(), 0x7D);
  EXPECT_EQ(d.ColorOn(), 0x00FFFFu);
  EXPECT_EQ(d.ColorOff(), 0u);
  EXPECT_EQ(d.Color(), 0u);
  EXPECT_EQ(d.Thickness(), 2);
  EXPECT_EQ(d.Separation(), 1);
  EXPECT_EQ(d.BorderStyle(), bsSingle);
  EXPECT_EQ(d.focusPolicy(), Qt::NoFocus);
}

TEST(Digit, PatternTableAndOverflow) {
  TDigit d;
  const uint8_t expected[10] = {0x7D, 0x50, 0x37, 0x57, 0x5A, 0x4F, 0x6F, 0x51, 0x7F, 0x5F};
  for (int n = 9; n >= 0; --n) {
    d.SetValue(n);
    EXPECT_EQ(d.ValueBinary(), expected[n]) << n;
  }
  int overflows = 0;
  d.OnOverflow = [&](QObject* sender) {
    EXPECT_EQ(sender, &d);
    ++overflows;
  };
  d.SetValue(3);
  d.SetValue(10);
  EXPECT_EQ(d.Value(), 0);
  EXPECT_EQ(d.ValueBinary(), 0x7D);
  EXPECT_EQ(overflows, 1);

  // -1 differs from the stored 0, so it is handled: shows 0 and fires again.
  d.SetValueBinary(0);
  d.SetValue(-1);
  EXPECT_EQ(d.Value(), 0);
  EXPECT_EQ(d.ValueBinary(), 0x7D);
  EXPECT_EQ(overflows, 2);
}

TEST(Digit, StaleValueDoesNotRestoreMask) {
  TDigit d;
  d.SetValueBinary(0);
  d.SetValue(0);  // equals the stale Value: nothing happens
  EXPECT_EQ(d.ValueBinary(), 0);
  d.SetValueBinary(0x80);
  EXPECT_EQ(d.Value(), 0);
  d.SetValue(8);
  EXPECT_EQ(d.ValueBinary(), 0x7F);
}

TEST(Digit, ThicknessAcceptanceAgainstSize) {
  TDigit d;  // 16 x 32
  d.SetThickness(9);
  EXPECT_EQ(d.Thickness(), 2);
  d.SetThickness(8);
  EXPECT_EQ(d.Thickness(), 8);
  d.resize(45, 10);
  d.SetThickness(6);  // 6 > 10 div 2
  EXPECT_EQ(d.Thickness(), 8);
  d.SetSeparation(-3);  // no range check
  EXPECT_EQ(d.Separation(), -3);
}

TEST_F(ClockDigit, SegmentPolygonsToThePixel) {
  digit.SetValueBinary(0xFF);
  QImage all = Render(digit);

  // Top bar through (6,5) (11,0) (33,0) (38,5) (33,10) (11,10): its outline is drawn in the
  // background colour, its inside lit.
  for (QPoint p : {QPoint(6, 5), QPoint(11, 0), QPoint(33, 0), QPoint(38, 5), QPoint(33, 10), QPoint(11, 10)})
    EXPECT_EQ(At(all, p.x(), p.y()), kBack) << p.x() << "," << p.y();
  EXPECT_EQ(At(all, 7, 5), kOn);
  EXPECT_EQ(At(all, 37, 5), kOn);
  EXPECT_EQ(At(all, 22, 1), kOn);
  EXPECT_EQ(At(all, 22, 9), kOn);
  EXPECT_EQ(At(all, 12, 1), kOn);
  EXPECT_EQ(At(all, 32, 9), kOn);

  // Middle bar at y0 = 39 and bottom bar at y0 = 78: rows y0 and y0 + 10 are outline.
  for (int y0 : {39, 78}) {
    EXPECT_EQ(At(all, 22, y0), kBack) << y0;
    EXPECT_EQ(At(all, 22, y0 + 1), kOn) << y0;
    EXPECT_EQ(At(all, 22, y0 + 9), kOn) << y0;
    EXPECT_EQ(At(all, 22, y0 + 10), kBack) << y0;
    EXPECT_EQ(At(all, 7, y0 + 5), kOn) << y0;
  }

  // Upper-left bar through (0,11) (5,6) (10,11) (10,38) (5,43) (0,38).
  EXPECT_EQ(At(all, 5, 6), kBack);
  EXPECT_EQ(At(all, 5, 7), kOn);
  EXPECT_EQ(At(all, 0, 20), kBack);
  EXPECT_EQ(At(all, 1, 20), kOn);
  EXPECT_EQ(At(all, 9, 20), kOn);
  EXPECT_EQ(At(all, 10, 20), kBack);
  EXPECT_EQ(At(all, 5, 42), kOn);
  EXPECT_EQ(At(all, 5, 43), kBack);

  // Lower-right bar from x0 = 34, y0 = 39: x 34 and 44 outline, inside lit.
  EXPECT_EQ(At(all, 34, 60), kBack);
  EXPECT_EQ(At(all, 35, 60), kOn);
  EXPECT_EQ(At(all, 43, 60), kOn);
  EXPECT_EQ(At(all, 44, 60), kBack);
  EXPECT_EQ(At(all, 39, 45), kBack);  // (x0 + T, y0 + T + S) = (39, 45)
  EXPECT_EQ(At(all, 39, 46), kOn);

  // Decimal point through (44,88) (35,88) (44,79).
  EXPECT_EQ(At(all, 43, 87), kOn);
  EXPECT_EQ(At(all, 44, 79), kBack);
  EXPECT_EQ(At(all, 36, 80), kBack);  // outside the triangle
}

TEST_F(ClockDigit, LitAndUnlitSegmentsFollowTheMask) {
  digit.SetValue(7);  // top, upper right, lower right
  QImage seven = Render(digit);
  EXPECT_EQ(At(seven, 22, 5), kOn);    // top
  EXPECT_EQ(At(seven, 39, 20), kOn);   // upper right
  EXPECT_EQ(At(seven, 39, 60), kOn);   // lower right
  EXPECT_EQ(At(seven, 5, 20), kOff);   // upper left
  EXPECT_EQ(At(seven, 22, 44), kOff);  // middle
  EXPECT_EQ(At(seven, 22, 83), kOff);  // bottom
  EXPECT_EQ(At(seven, 43, 87), kOff);  // point

  digit.SetValueBinary(0x80);
  QImage point = Render(digit);
  EXPECT_EQ(At(point, 43, 87), kOn);
  EXPECT_EQ(At(point, 22, 5), kOff);

  // Outside every segment the background shows.
  EXPECT_EQ(At(point, 22, 25), kBack);
}

TEST(Digit, DegenerateSizesPaintWithoutFailing) {
  TDigit d;
  d.resize(1, 1);
  d.SetValueBinary(0xFF);
  QImage img = Render(d);
  EXPECT_EQ(img.size(), QSize(1, 1));
  d.resize(1, 40);
  EXPECT_EQ(Render(d).height(), 40);
}

TEST(Digit, RepaintsOnlyOnChange) {
  QWidget host;
  host.resize(60, 100);
  TDigit* d = new TDigit(&host);
  host.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  PaintCounter counter;
  d->installEventFilter(&counter);
  d->repaint();
  const int base = counter.paints;
  ASSERT_GT(base, 0);

  d->SetValue(0);
  d->SetColorOn(d->ColorOn());
  d->SetColorOff(d->ColorOff());
  d->SetValueBinary(d->ValueBinary());
  EXPECT_EQ(counter.paints, base);

  d->SetValue(5);  // repainted at once, not deferred
  EXPECT_EQ(counter.paints, base + 1);
  d->SetColorOn(clLime);
  EXPECT_EQ(counter.paints, base + 2);
}
