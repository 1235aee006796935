#pragma once
// A compact list of the riders expected next at the line: number, name, laps done and the
// countdown, one line each, the late ones in red. It shows what it is given; a mouse press on a
// line is handed on with its event, so the press is timed when it was made.
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QMouseEvent;

struct TExpectedLine {
  QString Number;
  QString Name;
  QString Laps;
  QString Countdown;
  bool Late = false;
  bool operator==(const TExpectedLine&) const = default;
};

class TExpectedList : public QWidget {
public:
  explicit TExpectedList(QWidget* parent = nullptr);

  void SetLines(std::vector<TExpectedLine> lines);
  const std::vector<TExpectedLine>& Lines() const { return lines_; }
  // How many lines fit below the caption.
  int Capacity() const;
  // The line at a point of the widget; -1 where there is none.
  int LineAt(const QPoint& point) const;
  QRect LineRect(int index) const;

  std::function<void(int index, const QMouseEvent* event)> OnLinePressed;

  static constexpr int kLineHeight = 16;
  static constexpr int kWidth = 208;

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  std::vector<TExpectedLine> lines_;
};
