#include "widgets/ExpectedList.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr int kCaptionHeight = 18;
constexpr int kNumberWidth = 36;
constexpr int kLapsWidth = 18;
constexpr int kCountdownWidth = 62;
constexpr int kGap = 4;
}  // namespace

TExpectedList::TExpectedList(QWidget* parent) : QWidget(parent) {
  setAccessibleName(QStringLiteral("Erwartet"));
  setFixedWidth(kWidth);
  setFont(QFont(QStringLiteral("Liberation Sans"), 9));
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
}

void TExpectedList::SetLines(std::vector<TExpectedLine> lines) {
  if (lines == lines_) return;
  lines_ = std::move(lines);
  update();
}

int TExpectedList::Capacity() const { return std::max(0, (height() - kCaptionHeight) / kLineHeight); }

QRect TExpectedList::LineRect(int index) const { return {0, kCaptionHeight + index * kLineHeight, width(), kLineHeight}; }

int TExpectedList::LineAt(const QPoint& point) const {
  if (point.y() < kCaptionHeight) return -1;
  const int index = (point.y() - kCaptionHeight) / kLineHeight;
  return index < static_cast<int>(lines_.size()) && index < Capacity() ? index : -1;
}

void TExpectedList::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(Qt::gray);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  QFont bold = font();
  bold.setBold(true);
  painter.setFont(bold);
  painter.setPen(Qt::black);
  painter.drawText(QRect(kGap, 0, width() - 2 * kGap, kCaptionHeight), Qt::AlignVCenter | Qt::AlignLeft,
                   QStringLiteral("Erwartet"));
  painter.setFont(font());
  const int shown = std::min(static_cast<int>(lines_.size()), Capacity());
  const int nameWidth = width() - kNumberWidth - kLapsWidth - kCountdownWidth - 5 * kGap;
  for (int i = 0; i < shown; ++i) {
    const TExpectedLine& line = lines_[static_cast<size_t>(i)];
    const QRect place = LineRect(i);
    if (line.Late) painter.fillRect(place.adjusted(1, 0, -1, 0), QColor(0xFF, 0xD8, 0xD8));
    painter.setPen(line.Late ? QColor(0xC0, 0, 0) : QColor(Qt::black));
    int x = kGap;
    auto cell = [&](int w, const QString& text, Qt::Alignment align) {
      painter.drawText(QRect(x, place.top(), w, kLineHeight), align | Qt::AlignVCenter,
                       painter.fontMetrics().elidedText(text, Qt::ElideRight, w));
      x += w + kGap;
    };
    cell(kNumberWidth, line.Number, Qt::AlignRight);
    cell(nameWidth, line.Name, Qt::AlignLeft);
    cell(kLapsWidth, line.Laps, Qt::AlignRight);
    cell(kCountdownWidth, line.Countdown, Qt::AlignRight);
  }
}

void TExpectedList::mousePressEvent(QMouseEvent* event) {
  const int index = LineAt(event->position().toPoint());
  if (index >= 0 && event->button() == Qt::LeftButton && OnLinePressed) OnLinePressed(index, event);
}
