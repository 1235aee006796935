#include "widgets/LbSpeedButton.h"
#include "widgets/FocusRect.h"
#include "widgets/WidgetsAccessible.h"

#include <QAction>
#include <QEnterEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QShortcut>
#include <cmath>
#include <exception>

#include "platform/Application.h"
#include "platform/Modal.h"
#include "widgets/LbButtons.h"

namespace {

QColor Q(TColor c) { return ToQColor(c); }

// 32 bands from `from` at y = top to `to` at y = bottom, between x = left and right.
void DrawGradient(QPainter& p, int left, int right, int top, int bottom, TColor from, TColor to) {
  const int height = bottom - top;
  if (height <= 0 || right <= left) return;
  const TColor a = ColorToRGB(from);
  const TColor b = ColorToRGB(to);
  for (int i = 0; i < 32; ++i) {
    const int y = top + i * height / 31;
    const int h = std::min(height / 31 + 1, bottom - y);
    if (h <= 0) continue;
    TColor c = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      const double ca = (a >> shift) & 0xFF;
      const double cb = (b >> shift) & 0xFF;
      const auto channel = static_cast<TColor>(std::trunc(ca + i * (cb - ca) / 31.0));
      c |= (channel & 0xFF) << shift;
    }
    p.fillRect(QRect(left, y, right - left, h), Q(c));
  }
}

// The edges of the flat styles, drawn as the line calls do: a pen path from the bottom-left
// corner up and right in `lightOrTop`, then on round in `darkOrBottom`.
void DrawEdges(QPainter& p, int w, int h, TColor topLeft, TColor bottomRight) {
  p.fillRect(QRect(0, 1, 1, h - 1), Q(topLeft));
  p.fillRect(QRect(0, 0, w - 1, 1), Q(topLeft));
  p.fillRect(QRect(w - 1, 0, 1, h - 1), Q(bottomRight));
  p.fillRect(QRect(1, h - 1, w - 1, 1), Q(bottomRight));
}

Qt::Alignment HorizontalFlag(TLbAlignment a) {
  switch (a) {
    case TLbAlignment::taRightJustify: return Qt::AlignRight;
    case TLbAlignment::taCenter: return Qt::AlignHCenter;
    default: return Qt::AlignLeft;
  }
}

// The strip image with its see-through colour (the strip's bottom-left pixel) made clear.
QImage GlyphImage(const QImage& strip, int index, int width) {
  QImage image = strip.copy(index * width, 0, width, strip.height())
                     .convertToFormat(QImage::Format_ARGB32);
  const QRgb see = strip.pixel(0, strip.height() - 1) & 0xFFFFFF;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFF) == see) image.setPixel(x, y, 0);
  return image;
}

}  // namespace

TLbSpeedButton::TLbSpeedButton(QWidget* parent) : QWidget(parent) {
  EnsureWidgetsAccessible();
  setAttribute(Qt::WA_Hover, false);
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(true);
  hotTrackFont_ = font();
  resize(100, 23);
}

TLbSpeedButton::~TLbSpeedButton() {
  destroying_ = true;
  thread_.reset();
}

void TLbSpeedButton::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    platform::ShowException(e);
  }
}

void TLbSpeedButton::RepaintNow() {
  // Transparent buttons let the parent paint first.
  if (transparent_)
    update();
  else
    repaint();
}

bool TLbSpeedButton::CanTrack() const {
  return isEnabled() && isVisible() && parentWidget() != nullptr && parentWidget()->isVisible();
}

void TLbSpeedButton::SetAlignment(TLbAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  RepaintNow();
}

void TLbSpeedButton::SetCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  UpdateAccelerator();
  update();
}

void TLbSpeedButton::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  update();
}

void TLbSpeedButton::SetColorWhenDown(TColor c) {
  if (c == colorWhenDown_) return;
  colorWhenDown_ = c;
  RepaintNow();
}

void TLbSpeedButton::SetColorStyle(TLbColorStyle style) {
  if (style == lcsCustom) return;
  struct Preset {
    TColor color, light, shadow, whenDown, hot;
    char style;  // 'M' modern, 'Q' quicken, 'F' flat, ' ' normal
  };
  static const Preset presets[] = {
      {0, 0, 0, 0, 0, ' '},
      {0x00C0C0, 0x00FFFF, 0x008080, clNone, 0x00DFDF, 'M'},        // gold
      {0xC0C0C0, 0xFFFFFF, 0x808080, clNone, clNone, 'M'},          // chrome
      {0xFF8000, 0xFFFF00, 0xFF0000, clNone, clNone, 'M'},          // blue
      {0x0000FF, 0xC0C0FF, 0x0000C0, clNone, clNone, 'M'},          // red
      {clBtnFace, 0xB59284, 0xB59284, 0xB59284, 0xDED3D6, 'F'},     // ultra flat 1
      {clBtnFace, 0, 0, 0x24DABC, 0x8CF6E4, 'F'},                   // ultra flat 2
      {0xD1D8DB, 0xB59284, 0xB59285, 0xB59285, 0xD2BDB6, 'F'},      // ultra flat XP
      {0xECCE94, 0xFCE6D4, 0, clNone, clNone, 'M'},                 // aqua
      {clBtnFace, 0xFFFFFF, 0x808080, clNone, clNone, ' '},         // default
      {0x603000, 0xC0C0C0, 0xC0C0C0, 0xAD6529, 0xCEAE9C, 'Q'},      // quicken
  };
  const Preset& preset = presets[style];
  flat_ = false;
  fontColor_ = clBlack;
  color_ = preset.color;
  lightColor_ = preset.light;
  shadowColor_ = preset.shadow;
  colorWhenDown_ = preset.whenDown;
  hotTrackColor_ = preset.hot;
  if (preset.style == 'F') flat_ = true;
  style_ = bsNormal;
  if (preset.style == 'M') SetStyle(bsModern);
  if (preset.style == 'Q') {
    style_ = bsQuicken;
    fontColor_ = clWhite;
  }
  repaint();
}

void TLbSpeedButton::SetDown(bool down) {
  if (down == down_) return;
  if (groupIndex_ != 0 && parentWidget() != nullptr) {
    for (QObject* child : parentWidget()->children()) {
      auto* sibling = qobject_cast<TLbSpeedButton*>(child);
      if (sibling != nullptr && sibling != this && sibling->groupIndex_ == groupIndex_)
        sibling->SetDown(false);
    }
  }
  down_ = down;
  RepaintNow();
}

void TLbSpeedButton::SetFlat(bool flat) {
  if (flat == flat_) return;
  flat_ = flat;
  RepaintNow();
}

void TLbSpeedButton::SetFontColor(TColor c) {
  if (c == fontColor_) return;
  fontColor_ = c;
  update();
}

void TLbSpeedButton::SetGlyph(const QImage& glyph) {
  glyph_ = glyph.isNull() ? QImage() : glyph.convertToFormat(QImage::Format_RGB32);
  // Square images assumed; NumGlyphs written afterwards overrides this.
  numGlyphs_ = (glyph_.isNull() || glyph_.height() == 0) ? 0 : glyph_.width() / glyph_.height();
  update();
}

void TLbSpeedButton::SetGroupIndex(int32_t index) {
  if (index == groupIndex_) return;
  groupIndex_ = index;
  RepaintNow();
}

void TLbSpeedButton::SetHotTrackColor(TColor c) {
  if (c == hotTrackColor_) return;
  hotTrackColor_ = c;
  RepaintNow();
}

void TLbSpeedButton::SetHotTrackFont(const QFont& font) {
  hotTrackFont_ = font;
  if (hot_ && useHotTrackFont_) RepaintNow();
}

void TLbSpeedButton::SetLayout(TLbSpeedButtonLayout layout) {
  if (layout == layout_) return;
  layout_ = layout;
  RepaintNow();
}

void TLbSpeedButton::SetLightColor(TColor c) {
  if (c == lightColor_) return;
  lightColor_ = c;
  RepaintNow();
}

void TLbSpeedButton::SetNumGlyphs(int32_t n) {
  if (n == numGlyphs_) return;
  numGlyphs_ = n;
  update();
}

void TLbSpeedButton::SetShadowColor(TColor c) {
  if (c == shadowColor_) return;
  shadowColor_ = c;
  RepaintNow();
}

void TLbSpeedButton::SetSlowDecease(bool on) {
  if (on == (thread_ != nullptr)) return;
  if (on) {
    thread_ = std::make_unique<TLbButtonThread>([this] { FadeStep(); });
  } else {
    fadeLevel_ = 0;
    thread_.reset();
  }
  update();
}

void TLbSpeedButton::SetStyle(TLbSpeedButtonStyle style) {
  // The gradient needs more colours than a palette display has.
  if (style == bsModern && LbScreenDepth() <= 8) style = bsNormal;
  if (style == style_) return;
  style_ = style;
  update();
}

void TLbSpeedButton::SetTransparent(bool transparent) {
  if (transparent == transparent_) return;
  transparent_ = transparent;
  update();
}

void TLbSpeedButton::SetUseHotTrackFont(bool use) {
  if (use == useHotTrackFont_) return;
  useHotTrackFont_ = use;
  RepaintNow();
}

void TLbSpeedButton::SetWordWrap(bool wrap) {
  if (wrap == wordWrap_) return;
  wordWrap_ = wrap;
  RepaintNow();
}

void TLbSpeedButton::SetPopupMenu(QMenu* menu) {
  if (menu == popupMenu_) return;
  popupMenu_ = menu;
  update();
}

void TLbSpeedButton::SetAction(QAction* action) {
  if (action == action_) return;
  if (action_) disconnect(action_, nullptr, this, nullptr);
  action_ = action;
  if (action_) {
    connect(action_, &QAction::changed, this, [this] { ActionChanged(); });
    ActionChanged();
  }
}

void TLbSpeedButton::ActionChanged() {
  if (!action_) return;
  SetCaption(action_->text());
  setEnabled(action_->isEnabled());
  setVisible(action_->isVisible());
  setToolTip(action_->toolTip());
  if (glyph_.isNull() && !action_->icon().isNull()) {
    const QPixmap pixmap = action_->icon().pixmap(16, 16);
    QImage image(pixmap.size(), QImage::Format_RGB32);
    image.fill(QColor(0xFF, 0x00, 0xFF));
    QPainter p(&image);
    p.drawPixmap(0, 0, pixmap);
    p.end();
    SetGlyph(image);
    SetNumGlyphs(1);
  }
}

void TLbSpeedButton::UpdateAccelerator() {
  delete accelerator_;
  accelerator_ = nullptr;
  const QKeySequence key = QKeySequence::mnemonic(caption_);
  if (key.isEmpty()) return;
  accelerator_ = new QShortcut(key, this);
  accelerator_->setContext(Qt::WindowShortcut);
  connect(accelerator_, &QShortcut::activated, this, [this] { Press(); });
}

void TLbSpeedButton::Press() {
  if (!CanTrack()) return;
  QPointer<TLbSpeedButton> alive(this);
  const bool saved = down_;
  down_ = true;
  repaint();
  Click();
  if (!alive) return;
  down_ = saved;
  repaint();
}

TColor TLbSpeedButton::FaceColor() const {
  TColor base = color_;
  if (isEnabled() && hotTrackColor_ != clNone) base = LbFadeColor(color_, hotTrackColor_, fadeLevel_);
  if (down_ && isEnabled() && colorWhenDown_ != clNone) base = colorWhenDown_;
  return base;
}

void TLbSpeedButton::Click() {
  Guarded([this] {
    QPointer<TLbSpeedButton> alive(this);
    if (popupMenu_) platform::Modal().PopupMenu(popupMenu_, mapToGlobal(QPoint(0, height())));
    if (!alive) return;
    if (OnClick)
      OnClick(this);
    else if (action_)
      action_->trigger();
  });
}

void TLbSpeedButton::FadeStep() {
  if (destroying_ || !thread_) return;
  if (hot_) {
    // The mouse came back while a step was on its way: the highlight stays.
    thread_->Suspend();
    return;
  }
  --fadeLevel_;
  if (fadeLevel_ <= 0) {
    thread_->Suspend();
    fadeLevel_ = 0;
  }
  RepaintNow();
}

void TLbSpeedButton::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  if (!CanTrack()) return;
  hot_ = true;
  fadeLevel_ = 8;
  RepaintNow();
  if (OnMouseEnter) Guarded([this] { OnMouseEnter(this); });
}

void TLbSpeedButton::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  hot_ = false;
  if (thread_) {
    thread_->Resume();
  } else {
    fadeLevel_ = 0;
    RepaintNow();
  }
  if (CanTrack() && OnMouseExit) Guarded([this] { OnMouseExit(this); });
}

void TLbSpeedButton::mousePressEvent(QMouseEvent* event) {
  QPointer<TLbSpeedButton> alive(this);
  pressSeen_ = true;
  if (event->button() == Qt::LeftButton) {
    if (groupIndex_ == 0 || !down_)
      SetDown(true);
    else if (allowAllUp_)
      SetDown(false);
  }
  if (OnMouseDown) {
    const QPoint pos = event->position().toPoint();
    Guarded([&] { OnMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y()); });
  }
  if (alive) event->accept();
}

void TLbSpeedButton::mouseReleaseEvent(QMouseEvent* event) {
  QPointer<TLbSpeedButton> alive(this);
  pressSeen_ = false;
  const QPoint pos = event->position().toPoint();
  if (event->button() == Qt::LeftButton) {
    if (groupIndex_ == 0) SetDown(false);
    if (rect().contains(pos)) Click();
  }
  if (alive && OnMouseUp)
    Guarded([&] { OnMouseUp(this, event->button(), event->modifiers(), pos.x(), pos.y()); });
}

void TLbSpeedButton::mouseMoveEvent(QMouseEvent* event) {
  if (OnMouseMove) {
    const QPoint pos = event->position().toPoint();
    Guarded([&] { OnMouseMove(this, event->modifiers(), pos.x(), pos.y()); });
  }
}

void TLbSpeedButton::mouseDoubleClickEvent(QMouseEvent* event) {
  // A double click counts as another press, once, whether or not a press event came before it.
  if (pressSeen_) {
    event->accept();
    return;
  }
  mousePressEvent(event);
}

void TLbSpeedButton::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) RepaintNow();
  if (event->type() == QEvent::FontChange) update();
}

void TLbSpeedButton::paintEvent(QPaintEvent*) {
  if (width() <= 0 || height() <= 0) return;
  // One off-screen image per paint; what it leaves clear shows the parent.
  QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
  PaintInto(buffer);
  QPainter p(this);
  p.drawImage(0, 0, buffer);
  // Only a window that lets the button take the focus by Tab ever shows this.
  if (hasFocus()) DrawFocusRect(p, rect().adjusted(2, 2, -3, -3));
}

void TLbSpeedButton::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
    // A held key is one press.
    if (!event->isAutoRepeat()) Press();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TLbSpeedButton::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void TLbSpeedButton::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

void TLbSpeedButton::PaintInto(QImage& buffer) {
  const int W = width();
  const int H = height();
  buffer.fill(Qt::transparent);
  QPainter p(&buffer);

  const bool enabled = isEnabled();
  const bool down = down_ && enabled;
  const TColor base = FaceColor();
  const int P = (down && style_ != bsEncarta) ? 1 : 0;

  // 1. Background.
  if (style_ != bsShape && !transparent_) {
    switch (style_) {
      case bsNormal:
      case bsEncarta:
      case bsOld:
        p.fillRect(QRect(0, 0, W, H), Q(base));
        break;
      case bsModern:
        DrawGradient(p, 2, W - 2, 2, H / 4 + P, lightColor_, base);
        DrawGradient(p, 2, W - 2, H / 4 + P, H - 1, base, lightColor_);
        break;
      default:
        break;
    }
  }

  // 2. Border.
  if ((enabled && (!flat_ || hot_ || down)) || (!enabled && !flat_)) {
    switch (style_) {
      case bsNormal:
      case bsEncarta:
        if (down)
          DrawEdges(p, W, H, shadowColor_, lightColor_);
        else
          DrawEdges(p, W, H, lightColor_, shadowColor_);
        break;
      case bsOld:
        if (down) {
          p.fillRect(QRect(1, 1, 1, H - 2), Q(shadowColor_));
          p.fillRect(QRect(1, 1, W - 2, 1), Q(shadowColor_));
          DrawEdges(p, W, H, cl3DDkShadow, lightColor_);
        } else {
          p.fillRect(QRect(W - 2, 1, 1, H - 2), Q(shadowColor_));
          p.fillRect(QRect(1, H - 2, W - 2, 1), Q(shadowColor_));
          DrawEdges(p, W, H, lightColor_, cl3DDkShadow);
        }
        break;
      case bsModern: {
        const QColor inner = Q(down ? shadowColor_ : base);
        p.fillRect(QRect(1, 1, W - 2, 1), inner);
        p.fillRect(QRect(1, H - 2, W - 2, 1), inner);
        p.fillRect(QRect(1, 1, 1, H - 2), inner);
        p.fillRect(QRect(W - 2, 1, 1, H - 2), inner);
        p.setPen(Q(shadowColor_));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRect(0, 0, W - 1, H - 1), 3, 3);
        break;
      }
      case bsQuicken:
        p.setPen(Qt::NoPen);
        p.setBrush(Q(base));
        p.drawRoundedRect(QRect(0, 1, W, H - 1), 2, 2);
        p.fillRect(QRect(4, 0, std::max(0, W - 9), 1), Q(shadowColor_));
        p.fillRect(QRect(4, H - 1, std::max(0, W - 9), 1), Q(shadowColor_));
        break;
      case bsShape:
        break;
    }
  }

  // 3. Font.
  QFont font = (hot_ && useHotTrackFont_) ? hotTrackFont_ : this->font();
  if (style_ == bsEncarta && down) font.setBold(true);
  p.setFont(font);
  const QFontMetrics fm(font);

  // 4. Glyph image.
  const bool hasGlyph = !glyph_.isNull() && numGlyphs_ > 0 && glyph_.width() / numGlyphs_ > 0;
  const int gw = hasGlyph ? glyph_.width() / numGlyphs_ : 0;
  const int gh = hasGlyph ? glyph_.height() : 0;
  int index = 0;
  if (enabled && hot_ && numGlyphs_ > 3) index = 3;
  if (enabled && down && numGlyphs_ > 2) index = 2;
  if (!enabled && numGlyphs_ > 1) index = 1;

  // 5. Caption.
  const bool sideways = layout_ == TLbSpeedButtonLayout::blGlyphLeft ||
                        layout_ == TLbSpeedButtonLayout::blGlyphRight;
  const int limit = std::max(0, (sideways && hasGlyph) ? W - gw - 12 : W - 8);
  const int lineFlags = Qt::TextShowMnemonic | Qt::TextSingleLine;
  QString text = caption_;
  if (!wordWrap_) {
    while (!text.isEmpty() && fm.size(lineFlags, text).width() > limit) text.chop(1);
  }
  const int drawFlags = Qt::TextWordWrap | Qt::TextShowMnemonic | HorizontalFlag(alignment_);
  const QRect measured =
      text.isEmpty() ? QRect() : fm.boundingRect(QRect(0, 0, limit, 1 << 20), drawFlags, text);
  const int th = measured.height();
  const int tw = measured.width();

  // 6. Placement.
  QPoint glyphAt;
  QRect captionBox;
  if (style_ == bsShape) {
    glyphAt = QPoint((W - gw) / 2, (H - gh) / 2);
    const int top = (H - th) / 2 + P;
    captionBox = QRect(P, top, W - P, H - top);
  } else if (!sideways) {
    const int block = th + (hasGlyph ? gh + 4 : 0);
    const int j = (H - block) / 2;
    int glyphY = j;
    int captionY = j + gh;
    if (layout_ == TLbSpeedButtonLayout::blGlyphBottom) {
      captionY = j;
      glyphY = j + th;
    }
    int glyphX = 4;
    if (alignment_ == TLbAlignment::taRightJustify) glyphX = W - gw - 4;
    if (alignment_ == TLbAlignment::taCenter) glyphX = (W - gw) / 2;
    glyphAt = QPoint(glyphX + P, glyphY + P);
    captionBox = QRect(4 + P, captionY + P, W - 8, th);
  } else {
    const int captionY = (H - th) / 2;
    const int glyphY = (H - gh) / 2;
    const int T = text.isEmpty() ? 0 : tw + 4;
    int captionX;
    int glyphX;
    if (layout_ == TLbSpeedButtonLayout::blGlyphLeft) {
      captionX = hasGlyph ? 4 + gw + 4 : 4;
      glyphX = 4;
      if (!wordWrap_ && alignment_ == TLbAlignment::taRightJustify) glyphX = W - gw - T - 4;
      if (!wordWrap_ && alignment_ == TLbAlignment::taCenter) glyphX = (W - gw) / 2 - T / 2;
    } else {
      captionX = 4;
      glyphX = 4 + T;
      if (!wordWrap_ && alignment_ == TLbAlignment::taRightJustify) glyphX = W - gw - 4;
      if (!wordWrap_ && alignment_ == TLbAlignment::taCenter) glyphX = (W - gw) / 2 + T / 2;
    }
    glyphAt = QPoint(glyphX + P, glyphY + P);
    captionBox = QRect(captionX + P, captionY + P, limit, th);
  }

  if (hasGlyph) p.drawImage(glyphAt, GlyphImage(glyph_, index, gw));
  if (!text.isEmpty()) {
    p.setPen(enabled ? Q(fontColor_) : QColor(0x80, 0x80, 0x80));
    p.drawText(captionBox, drawFlags, text);
  }

  // 7. Drop-down arrow.
  if (popupMenu_) p.drawImage(W - 11, H / 2 - 1, LbArrowBitmap());
}
