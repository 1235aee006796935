#pragma once
// A window-less push button drawn from a glyph strip, a caption and a few colours, with hot
// tracking that can fade out, latching groups and an optional popup menu.
#include <QAction>
#include <QFont>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Color.h"

class QShortcut;
class TLbButtonThread;

enum class TLbAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TLbSpeedButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TLbSpeedButtonStyle { bsNormal, bsEncarta, bsModern, bsOld, bsShape, bsQuicken };
enum TLbColorStyle {
  lcsCustom, lcsGold, lcsChrome, lcsBlue, lcsRed, lcsUltraFlat1, lcsUltraFlat2, lcsUltraFlatXP,
  lcsAqua, lcsDefault, lcsQuicken
};

class TLbSpeedButton : public QWidget {
  Q_OBJECT
public:
  explicit TLbSpeedButton(QWidget* parent = nullptr);
  ~TLbSpeedButton() override;

  TLbAlignment Alignment() const { return alignment_; }
  void SetAlignment(TLbAlignment a);
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool allow) { allowAllUp_ = allow; }
  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  TColor ColorWhenDown() const { return colorWhenDown_; }
  void SetColorWhenDown(TColor c);
  // A preset is applied, not remembered: reading gives lcsCustom.
  TLbColorStyle ColorStyle() const { return lcsCustom; }
  void SetColorStyle(TLbColorStyle style);
  bool Down() const { return down_; }
  void SetDown(bool down);
  bool Flat() const { return flat_; }
  void SetFlat(bool flat);
  // Caption colour (the toolkit keeps it in the font).
  TColor FontColor() const { return fontColor_; }
  void SetFontColor(TColor c);
  const QImage& Glyph() const { return glyph_; }
  void SetGlyph(const QImage& glyph);
  int32_t GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int32_t index);
  TColor HotTrackColor() const { return hotTrackColor_; }
  void SetHotTrackColor(TColor c);
  const QFont& HotTrackFont() const { return hotTrackFont_; }
  void SetHotTrackFont(const QFont& font);
  TLbSpeedButtonLayout Layout() const { return layout_; }
  void SetLayout(TLbSpeedButtonLayout layout);
  TColor LightColor() const { return lightColor_; }
  void SetLightColor(TColor c);
  int32_t NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int32_t n);
  TColor ShadowColor() const { return shadowColor_; }
  void SetShadowColor(TColor c);
  bool SlowDecease() const { return thread_ != nullptr; }
  void SetSlowDecease(bool on);
  TLbSpeedButtonStyle Style() const { return style_; }
  void SetStyle(TLbSpeedButtonStyle style);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool transparent);
  bool UseHotTrackFont() const { return useHotTrackFont_; }
  void SetUseHotTrackFont(bool use);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool wrap);
  QMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(QMenu* menu);
  QAction* Action() const { return action_; }
  void SetAction(QAction* action);

  // State seen by tests and the fade.
  bool Hot() const { return hot_; }
  int FadeLevel() const { return fadeLevel_; }
  // The fade worker while SlowDecease is on, else nullptr.
  TLbButtonThread* FadeThread() const { return thread_.get(); }
  // The face colour the next paint uses.
  TColor FaceColor() const;

  // A click: the popup menu first, then OnClick (or the linked action).
  void Click();
  // A press without the mouse (accelerator key, assistive tool): shown down while the click runs.
  void Press();

  std::function<void(QObject* Sender)> OnClick;
  std::function<void(QObject* Sender)> OnMouseEnter;
  std::function<void(QObject* Sender)> OnMouseExit;
  std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                     int X, int Y)>
      OnMouseDown;
  std::function<void(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                     int X, int Y)>
      OnMouseUp;
  std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y)> OnMouseMove;

protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  void RepaintNow();  // at once when opaque, by invalidation when transparent
  void FadeStep();
  bool CanTrack() const;
  void UpdateAccelerator();
  void ActionChanged();
  void Guarded(const std::function<void()>& handler);
  void PaintInto(QImage& buffer);

  TLbAlignment alignment_ = TLbAlignment::taLeftJustify;
  bool allowAllUp_ = false;
  QString caption_;
  TColor color_ = clBtnFace;
  TColor colorWhenDown_ = clNone;
  bool down_ = false;
  bool flat_ = false;
  TColor fontColor_ = clBlack;
  QImage glyph_;
  int32_t groupIndex_ = 0;
  TColor hotTrackColor_ = clNone;
  QFont hotTrackFont_;
  TLbSpeedButtonLayout layout_ = TLbSpeedButtonLayout::blGlyphLeft;
  TColor lightColor_ = clWhite;
  int32_t numGlyphs_ = 0;
  TColor shadowColor_ = clBlack;
  TLbSpeedButtonStyle style_ = bsNormal;
  bool transparent_ = false;
  bool useHotTrackFont_ = false;
  bool wordWrap_ = false;
  QPointer<QMenu> popupMenu_;
  QPointer<QAction> action_;

  bool hot_ = false;
  int fadeLevel_ = 0;
  bool destroying_ = false;
  bool pressSeen_ = false;  // a press came since the last release
  std::unique_ptr<TLbButtonThread> thread_;
  QShortcut* accelerator_ = nullptr;
};
