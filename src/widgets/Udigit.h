#pragma once
// One seven-segment digit with a decimal-point triangle, painted from an 8-bit segment mask.
#include <QWidget>
#include <cstdint>
#include <functional>

#include "platform/ControlTypes.h"
#include "platform/Color.h"


class TDigit : public QWidget {
  Q_OBJECT
public:
  // Segment masks of the digits 0 to 9 (bit 0 top, 1 middle, 2 bottom, 3 upper left,
  // 4 upper right, 5 lower left, 6 lower right, 7 decimal point).
  static constexpr uint8_t kPatterns[10] = {0x7D, 0x50, 0x37, 0x57, 0x5A, 0x4F, 0x6F, 0x51, 0x7F, 0x5F};

  explicit TDigit(QWidget* parent = nullptr);

  TColor Color() const { return color_; }
  void SetColor(TColor c);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle style);
  TColor ColorOff() const { return colorOff_; }
  void SetColorOff(TColor c);
  TColor ColorOn() const { return colorOn_; }
  void SetColorOn(TColor c);
  int32_t Value() const { return value_; }
  void SetValue(int32_t n);
  uint8_t ValueBinary() const { return valueBinary_; }
  void SetValueBinary(uint8_t mask);
  int32_t Thickness() const { return thickness_; }
  void SetThickness(int32_t t);
  int32_t Separation() const { return separation_; }
  void SetSeparation(int32_t s);

  std::function<void(QObject* Sender)> OnOverflow;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  void RepaintNow();

  TColor color_ = clBlack;
  TBorderStyle borderStyle_ = bsSingle;
  TColor colorOff_ = clBlack;
  TColor colorOn_ = clYellow;
  int32_t value_ = 0;
  uint8_t valueBinary_ = kPatterns[0];
  int32_t thickness_ = 2;
  int32_t separation_ = 1;
};
