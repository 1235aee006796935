#pragma once
// A focusable push button with an optional glyph whose face is painted in a colour of the
// program's choosing; the race commands use it.
#include <QImage>
#include <QPushButton>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Color.h"

class QShortcut;

enum TBitBtnWithColorKind {
  bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll
};
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };
enum TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };

// Keeps the source strip of a button glyph and the images prepared from it per state.
class TButtonGlyph {
public:
  const QImage& Glyph() const { return original_; }
  // Drops the prepared images and copies the strip; a strip whose width is a whole multiple of
  // its height sets the count (more than four images count as one).
  void SetGlyph(const QImage& glyph);
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int n);
  TColor TransparentColor() const { return transparentColor_; }
  QSize ImageSize() const;
  // The image of a state with its see-through colour replaced by Face.
  QImage Image(TButtonState state, TColor face);

  std::function<void()> OnChange;

private:
  void Changed();

  QImage original_;
  int numGlyphs_ = 1;
  TColor transparentColor_ = clOlive;
  TColor preparedFace_ = clNone;
  QImage prepared_[4];
};

// Where glyph and caption go inside a rectangle; exposed for the layout rules' tests.
struct TButtonLayoutResult {
  QPoint glyphPos;
  QRect textBounds;
};
TButtonLayoutResult CalcButtonLayout(const QRect& client, QSize glyphSize, QSize textSize,
                                     TButtonLayout layout, int32_t margin, int32_t spacing);

class TBitBtnWithColor : public QPushButton {
  Q_OBJECT
public:
  explicit TBitBtnWithColor(QWidget* parent = nullptr);
  ~TBitBtnWithColor() override;

  TColor Color() const { return color_; }
  void SetColor(TColor c);
  // Caption colour (the toolkit keeps it in the font).
  TColor FontColor() const { return fontColor_; }
  void SetFontColor(TColor c);
  const QImage& Glyph() const { return glyph_.Glyph(); }
  void SetGlyph(const QImage& glyph);
  int32_t NumGlyphs() const { return glyph_.NumGlyphs(); }
  void SetNumGlyphs(int32_t n);
  TBitBtnWithColorKind Kind() const;
  void SetKind(TBitBtnWithColorKind kind);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout layout);
  int32_t Margin() const { return margin_; }
  void SetMargin(int32_t margin);
  int32_t Spacing() const { return spacing_; }
  void SetSpacing(int32_t spacing);
  TButtonStyle Style() const { return style_; }
  void SetStyle(TButtonStyle style);

  QString Caption() const { return text(); }
  void SetCaption(const QString& caption);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool cancel);
  bool Default() const { return isDefault(); }
  void SetDefault(bool d);
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result) { modalResult_ = result; }

  // Whether the button has the default-button look at the moment.
  bool Active() const { return active_; }

  // The button's click: help and close kinds act themselves, every other kind fires OnClick
  // and hands ModalResult to a dialog.
  void Click();

  std::function<void(QObject* Sender)> OnClick;
  // Any mouse button pressed on the button, at the moment of the press.
  std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                     int X, int Y)>
      OnMouseDown;
  // The mouse press OnMouseDown is reporting, for its time; null at any other moment and for a
  // press that came without one (an accessibility action).
  const QMouseEvent* PressEvent() const { return pressEvent_; }
  std::function<void(QObject* Sender)> OnEnter;
  std::function<void(QObject* Sender)> OnExit;

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  void UpdateActive();
  void RaiseMouseDown(QMouseEvent* event);

  TColor color_ = clBtnFace;
  TColor fontColor_ = clBtnText;
  TButtonGlyph glyph_;
  mutable TBitBtnWithColorKind kind_ = bkCustom;
  TButtonLayout layout_ = blGlyphLeft;
  int32_t margin_ = -1;
  int32_t spacing_ = 4;
  TButtonStyle style_ = bsAutoDetect;
  bool cancel_ = false;
  int modalResult_ = 0;
  bool active_ = false;
  bool modifiedGlyph_ = false;
  bool pressSeen_ = false;  // a press came since the last release
  const QMouseEvent* pressEvent_ = nullptr;
  QShortcut* cancelShortcut_ = nullptr;
};

// The shared glyph strip of a kind (36 x 18, up and disabled images); empty for bkCustom.
QImage KindGlyph(TBitBtnWithColorKind kind);
