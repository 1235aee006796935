#include "widgets/Udigit.h"

#include <QPainter>
#include <QPaintEvent>
#include <QPolygon>

TDigit::TDigit(QWidget* parent) : QWidget(parent) {
  // Opaque: the digit paints its whole client area itself.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
  resize(16, 32);
  SetThickness(2);
}

void TDigit::RepaintNow() {
  if (isVisible()) repaint();
}

void TDigit::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  update();
}

void TDigit::SetBorderStyle(TBorderStyle style) {
  if (style == borderStyle_) return;
  borderStyle_ = style;
  RepaintNow();
}

void TDigit::SetColorOff(TColor c) {
  if (c == colorOff_) return;
  colorOff_ = c;
  RepaintNow();
}

void TDigit::SetColorOn(TColor c) {
  if (c == colorOn_) return;
  colorOn_ = c;
  RepaintNow();
}

void TDigit::SetValue(int32_t n) {
  // Compared with the stored value only: a mask written directly since is not restored.
  if (n == value_) return;
  if (n < 0 || n > 9) {
    value_ = 0;
    if (OnOverflow) OnOverflow(this);
  } else {
    value_ = n;
  }
  valueBinary_ = kPatterns[value_];
  RepaintNow();
}

void TDigit::SetValueBinary(uint8_t mask) {
  if (mask == valueBinary_) return;
  valueBinary_ = mask;
  RepaintNow();
}

void TDigit::SetThickness(int32_t t) {
  if (t > width() / 2 || t > height() / 2) return;
  thickness_ = t;
  update();
}

void TDigit::SetSeparation(int32_t s) {
  separation_ = s;
  update();
}

void TDigit::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing, false);
  const QColor background = ToQColor(color_);
  p.fillRect(event->rect(), background);
  p.setPen(QPen(background, 0));

  const int w1 = width() - 1, h1 = height() - 1;
  const int t = thickness_, s = separation_, m = h1 / 2;
  auto segment = [&](int bit, const QPolygon& shape) {
    const bool lit = (valueBinary_ & (1u << bit)) != 0;
    p.setBrush(ToQColor(lit ? colorOn_ : colorOff_));
    p.drawPolygon(shape);
  };

  const int barTops[3] = {0, m - t, h1 - 2 * t};
  for (int bit = 0; bit < 3; ++bit) {
    const int y0 = barTops[bit];
    segment(bit, QPolygon({QPoint(t + s, y0 + t), QPoint(2 * t + s, y0), QPoint(w1 - 2 * t - s, y0),
                           QPoint(w1 - t - s, y0 + t), QPoint(w1 - 2 * t - s, y0 + 2 * t),
                           QPoint(2 * t + s, y0 + 2 * t)}));
  }

  const QPoint barOrigins[4] = {{0, 0}, {w1 - 2 * t, 0}, {0, m - t}, {w1 - 2 * t, m - t}};
  for (int i = 0; i < 4; ++i) {
    const int x0 = barOrigins[i].x(), y0 = barOrigins[i].y();
    segment(3 + i, QPolygon({QPoint(x0, y0 + 2 * t + s), QPoint(x0 + t, y0 + t + s),
                             QPoint(x0 + 2 * t, y0 + 2 * t + s), QPoint(x0 + 2 * t, y0 + m - t - s),
                             QPoint(x0 + t, y0 + m - s), QPoint(x0, y0 + m - t - s)}));
  }

  segment(7, QPolygon({QPoint(w1, h1), QPoint(w1 - 2 * t + s, h1), QPoint(w1, h1 - 2 * t + s)}));
}
