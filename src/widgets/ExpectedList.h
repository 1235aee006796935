#pragma once
// A compact list of the riders expected next at the line: number, name, laps done and the
// countdown, one line each below the caption, the late ones in red. It shows what it is given, as
// many lines as fit; a left press on a line is handed on with its event, so the press is timed
// when it was made.
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

class QMouseEvent;

struct TExpectedLine {
  QString Number;
  QString Name;
  QString Laps;
  QString Countdown;
  bool Late = false;
  // The protocol row the line was made for, so a press times the rider that was painted.
  int32_t Row = 0;
  bool operator==(const TExpectedLine&) const = default;
};

class TExpectedList : public QWidget {
public:
  explicit TExpectedList(QWidget* parent = nullptr);

  void SetLines(std::vector<TExpectedLine> lines);
  const std::vector<TExpectedLine>& Lines() const { return lines_; }
  // How many whole lines fit below the caption.
  int Capacity() const;
  // The line shown at a point of the widget; -1 where there is none.
  int LineAt(const QPoint& point) const;
  QRect LineRect(int index) const;

  std::function<void(int index, const QMouseEvent* event)> OnLinePressed;

  static constexpr int kCaptionHeight = 18;
  static constexpr int kLineHeight = 16;
  static constexpr int kMinWidth = 150;
  static constexpr QRgb kLateText = 0xFFC00000;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  // The lines shown, for readers of the screen.
  void Describe();

  std::vector<TExpectedLine> lines_;
};
