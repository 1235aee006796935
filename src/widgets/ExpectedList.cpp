#include "widgets/ExpectedList.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStringList>

#include "platform/Application.h"

namespace {
constexpr int kNumberWidth = 36;
constexpr int kLapsWidth = 14;
constexpr int kCountdownWidth = 58;
constexpr int kGap = 4;
constexpr int kDesignWidth = 208;
constexpr int kDesignLines = 20;
}  // namespace

TExpectedList::TExpectedList(QWidget* parent) : QWidget(parent) {
  setAccessibleName(QStringLiteral("Erwartet"));
  setMinimumWidth(kMinWidth);
  // Whole pixels, as the rest of the window draws, so the late colour is the colour on screen.
  QFont face(QStringLiteral("Liberation Sans"), 9);
  face.setStyleStrategy(QFont::NoAntialias);
  setFont(face);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
}

QSize TExpectedList::sizeHint() const { return {kDesignWidth, kCaptionHeight + kDesignLines * kLineHeight}; }

QSize TExpectedList::minimumSizeHint() const { return {kMinWidth, kCaptionHeight + kLineHeight}; }

void TExpectedList::SetLines(std::vector<TExpectedLine> lines) {
  if (lines == lines_) return;
  lines_ = std::move(lines);
  Describe();
  update();
}

int TExpectedList::Capacity() const { return std::max(0, (height() - kCaptionHeight) / kLineHeight); }

QRect TExpectedList::LineRect(int index) const { return {0, kCaptionHeight + index * kLineHeight, width(), kLineHeight}; }

int TExpectedList::LineAt(const QPoint& point) const {
  if (point.y() < kCaptionHeight || !rect().contains(point)) return -1;
  const int index = (point.y() - kCaptionHeight) / kLineHeight;
  return index < static_cast<int>(lines_.size()) && index < Capacity() ? index : -1;
}

void TExpectedList::Describe() {
  QStringList described;
  const int shown = std::min(static_cast<int>(lines_.size()), Capacity());
  for (int i = 0; i < shown; ++i) {
    const TExpectedLine& line = lines_[static_cast<size_t>(i)];
    QString text = QStringLiteral("%1 %2, %3 Runden, %4").arg(line.Number, line.Name, line.Laps, line.Countdown);
    if (line.Late) text += QStringLiteral(", überfällig");
    described << text;
  }
  setAccessibleDescription(described.join(QLatin1Char('\n')));
}

void TExpectedList::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Describe();
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
  const int nameWidth = std::max(0, width() - kNumberWidth - kLapsWidth - kCountdownWidth - 5 * kGap);
  for (int i = 0; i < shown; ++i) {
    const TExpectedLine& line = lines_[static_cast<size_t>(i)];
    const QRect place = LineRect(i);
    if (line.Late) painter.fillRect(place.adjusted(1, 0, -1, 0), QColor(0xFF, 0xD8, 0xD8));
    painter.setPen(line.Late ? QColor(kLateText) : QColor(Qt::black));
    int x = kGap;
    // A number or time too wide is never cut (it could read as another one): it shows ###.
    auto cell = [&](int w, const QString& text, bool isName) {
      const QString shown = isName ? painter.fontMetrics().elidedText(text, Qt::ElideRight, w)
                            : painter.fontMetrics().horizontalAdvance(text) > w ? QStringLiteral("###")
                                                                                 : text;
      painter.drawText(QRect(x, place.top(), w, kLineHeight), (isName ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                       shown);
      x += w + kGap;
    };
    cell(kNumberWidth, line.Number, false);
    cell(nameWidth, line.Name, true);
    cell(kLapsWidth, line.Laps, false);
    cell(kCountdownWidth, line.Countdown, false);
  }
}

void TExpectedList::mousePressEvent(QMouseEvent* event) {
  const int index = LineAt(event->position().toPoint());
  if (index < 0 || event->button() != Qt::LeftButton || !OnLinePressed) return;
  event->accept();
  try {
    OnLinePressed(index, event);
  } catch (const std::exception& e) {
    platform::ShowException(e);
  }
}
