#include "widgets/ButtonWithColor.h"
#include "widgets/FocusRect.h"
#include "widgets/WidgetsAccessible.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcut>
#include <QVariant>
#include <exception>
#include <map>

#include "platform/Application.h"
#include "platform/HelpViewer.h"
#include "platform/Modal.h"
#include "widgets/LbButtons.h"

namespace {

struct KindPreset {
  const char* caption;
  int modalResult;
  const char* resource;
};

const KindPreset& Preset(TBitBtnWithColorKind kind) {
  static const KindPreset presets[] = {
      {"", 0, nullptr},
      {"OK", mrOk, "BBCOK"},
      {"Abbrechen", mrCancel, "BBCCANCEL"},
      {"&Hilfe", 0, "BBCHELP"},
      {"&Ja", mrYes, "BBCYES"},
      {"&Nein", mrNo, "BBCNO"},
      {"&Schlie\u00dfen", 0, "BBCCLOSE"},
      {"Abbruch", mrAbort, "BBCABORT"},
      {"&Wiederholen", mrRetry, "BBCRETRY"},
      {"&Ignorieren", mrIgnore, "BBCIGNORE"},
      {"&Alle", mrAll, "BBCALL"},
  };
  return presets[kind];
}

bool PresetDefault(TBitBtnWithColorKind kind) { return kind == bkOK || kind == bkYes; }
bool PresetCancel(TBitBtnWithColorKind kind) { return kind == bkCancel || kind == bkNo; }

QRgb Rgb(TColor c) {
  const TColor v = ColorToRGB(c);
  return qRgb(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

// One-pixel outline covering exactly the pixels of r, as the Windows frame calls do.
void FrameRect(QPainter& p, const QRect& r, TColor c) {
  if (r.width() <= 0 || r.height() <= 0) return;
  const QColor q = ToQColor(c);
  p.fillRect(QRect(r.left(), r.top(), r.width(), 1), q);
  p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), q);
  p.fillRect(QRect(r.left(), r.top(), 1, r.height()), q);
  p.fillRect(QRect(r.right(), r.top(), 1, r.height()), q);
}

// The raised push-button edge: two pixels, light top-left, dark bottom-right.
void DrawRaisedEdge(QPainter& p, const QRect& r) {
  auto edge = [&](const QRect& e, TColor topLeft, TColor bottomRight) {
    if (e.width() <= 0 || e.height() <= 0) return;
    p.fillRect(QRect(e.left(), e.bottom(), e.width(), 1), ToQColor(bottomRight));
    p.fillRect(QRect(e.right(), e.top(), 1, e.height()), ToQColor(bottomRight));
    p.fillRect(QRect(e.left(), e.top(), e.width() - 1, 1), ToQColor(topLeft));
    p.fillRect(QRect(e.left(), e.top(), 1, e.height() - 1), ToQColor(topLeft));
  };
  edge(r, clBtnHighlight, cl3DDkShadow);
  edge(r.adjusted(1, 1, -1, -1), cl3DLight, clBtnShadow);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TButtonGlyph

void TButtonGlyph::SetGlyph(const QImage& glyph) {
  for (QImage& image : prepared_) image = QImage();
  original_ = glyph.isNull() ? QImage() : glyph.convertToFormat(QImage::Format_RGB32);
  if (!original_.isNull() && original_.height() > 0) {
    transparentColor_ = FromQColor(QColor(original_.pixel(0, original_.height() - 1)));
    if (original_.width() % original_.height() == 0) {
      int n = original_.width() / original_.height();
      if (n > 4) n = 1;
      SetNumGlyphs(n);
    }
  }
  Changed();
}

void TButtonGlyph::SetNumGlyphs(int n) {
  if (n < 0) n = 1;
  if (n > 4) n = 4;
  if (n == 0 || n == numGlyphs_) return;
  numGlyphs_ = n;
  for (QImage& image : prepared_) image = QImage();
  Changed();
}

void TButtonGlyph::Changed() {
  if (OnChange) OnChange();
}

QSize TButtonGlyph::ImageSize() const {
  if (original_.isNull() || numGlyphs_ <= 0) return {0, 0};
  return {original_.width() / numGlyphs_, original_.height()};
}

QImage TButtonGlyph::Image(TButtonState state, TColor face) {
  const QSize size = ImageSize();
  if (size.isEmpty()) return {};
  if (face != preparedFace_) {
    for (QImage& image : prepared_) image = QImage();
    preparedFace_ = face;
  }
  QImage& slot = prepared_[state];
  if (!slot.isNull()) return slot;

  const QRgb faceRgb = Rgb(face);
  const QRgb see = Rgb(transparentColor_);
  auto cut = [&](int index) {
    QImage image = original_.copy(index * size.width(), 0, size.width(), size.height());
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if ((image.pixel(x, y) & 0xFFFFFF) == (see & 0xFFFFFF)) image.setPixel(x, y, faceRgb);
    return image;
  };

  const int index = static_cast<int>(state);
  if (index < numGlyphs_) {
    slot = cut(index);
  } else if (state == bsDisabled) {
    // Embossed from the up image: its dark pixels in white one pixel down-right, then in grey.
    const QImage up = original_.copy(0, 0, size.width(), size.height());
    QImage image(size, QImage::Format_RGB32);
    image.fill(faceRgb);
    auto isInk = [&](int x, int y) {
      const QRgb px = up.pixel(x, y) & 0xFFFFFF;
      return px != (see & 0xFFFFFF) && px != 0xFFFFFF;
    };
    for (int y = 0; y < up.height(); ++y)
      for (int x = 0; x < up.width(); ++x)
        if (isInk(x, y) && x + 1 < image.width() && y + 1 < image.height())
          image.setPixel(x + 1, y + 1, qRgb(255, 255, 255));
    for (int y = 0; y < up.height(); ++y)
      for (int x = 0; x < up.width(); ++x)
        if (isInk(x, y)) image.setPixel(x, y, qRgb(0x80, 0x80, 0x80));
    slot = image;
  } else {
    slot = cut(0);
  }
  return slot;
}

// ---------------------------------------------------------------------------------------------
// Layout

TButtonLayoutResult CalcButtonLayout(const QRect& client, QSize glyphSize, QSize textSize,
                                     TButtonLayout layout, int32_t margin, int32_t spacing) {
  const bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;
  const int clientX = client.width();
  const int clientY = client.height();
  QPoint glyphPos;
  QPoint textPos;
  if (horizontal) {
    glyphPos.setY((clientY - glyphSize.height() + 1) / 2);
    textPos.setY((clientY - textSize.height() + 1) / 2);
  } else {
    glyphPos.setX((clientX - glyphSize.width() + 1) / 2);
    textPos.setX((clientX - textSize.width() + 1) / 2);
  }
  if (textSize.width() == 0 || glyphSize.width() == 0) spacing = 0;

  const int clientAxis = horizontal ? clientX : clientY;
  const int glyphAxis = horizontal ? glyphSize.width() : glyphSize.height();
  const int textAxis = horizontal ? textSize.width() : textSize.height();
  if (margin == -1) {
    if (spacing == -1) {
      margin = (clientAxis - (glyphAxis + textAxis)) / 3;
      spacing = margin;
    } else {
      margin = (clientAxis - (glyphAxis + spacing + textAxis) + 1) / 2;
    }
  } else if (spacing == -1) {
    spacing = (clientAxis - (margin + glyphAxis) - textAxis) / 2;
  }

  switch (layout) {
    case blGlyphLeft:
      glyphPos.setX(margin);
      textPos.setX(glyphPos.x() + glyphSize.width() + spacing);
      break;
    case blGlyphRight:
      glyphPos.setX(clientX - margin - glyphSize.width());
      textPos.setX(glyphPos.x() - spacing - textSize.width());
      break;
    case blGlyphTop:
      glyphPos.setY(margin);
      textPos.setY(glyphPos.y() + glyphSize.height() + spacing);
      break;
    case blGlyphBottom:
      glyphPos.setY(clientY - margin - glyphSize.height());
      textPos.setY(glyphPos.y() - spacing - textSize.height());
      break;
  }
  return {glyphPos + client.topLeft(), QRect(textPos + client.topLeft(), textSize)};
}

// ---------------------------------------------------------------------------------------------
// Kind glyphs

QImage KindGlyph(TBitBtnWithColorKind kind) {
  // Loaded once and shared until the program ends.
  static std::map<TBitBtnWithColorKind, QImage> cache;
  if (kind == bkCustom) return {};
  auto found = cache.find(kind);
  if (found != cache.end()) return found->second;
  InitWidgetResources();
  QImage image(QStringLiteral(":/widgets/%1.png").arg(QLatin1String(Preset(kind).resource)));
  cache[kind] = image;
  return image;
}

// ---------------------------------------------------------------------------------------------
// TBitBtnWithColor

TBitBtnWithColor::TBitBtnWithColor(QWidget* parent) : QPushButton(parent) {
  EnsureWidgetsAccessible();
  setAttribute(Qt::WA_OpaquePaintEvent);
  glyph_.OnChange = [this] { update(); };
  connect(this, &QAbstractButton::clicked, this, [this] {
    try {
      Click();
    } catch (const std::exception& e) {
      platform::ShowException(e);
    }
  });
  connect(qApp, &QApplication::focusChanged, this, [this] { UpdateActive(); });
}

TBitBtnWithColor::~TBitBtnWithColor() { glyph_.OnChange = nullptr; }

void TBitBtnWithColor::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  // Re-assigning the strip prepares its images against the new face.
  glyph_.SetGlyph(QImage(glyph_.Glyph()));
  update();
}

void TBitBtnWithColor::SetFontColor(TColor c) {
  if (c == fontColor_) return;
  fontColor_ = c;
  update();
}

void TBitBtnWithColor::SetGlyph(const QImage& glyph) {
  glyph_.SetGlyph(glyph);
  modifiedGlyph_ = true;
  update();
}

void TBitBtnWithColor::SetNumGlyphs(int32_t n) {
  if (n > 4) n = 4;
  if (n == glyph_.NumGlyphs()) return;
  glyph_.SetNumGlyphs(n);
  update();
}

TBitBtnWithColorKind TBitBtnWithColor::Kind() const {
  if (kind_ != bkCustom) {
    if (isDefault() != PresetDefault(kind_) || cancel_ != PresetCancel(kind_) ||
        modalResult_ != Preset(kind_).modalResult || modifiedGlyph_)
      kind_ = bkCustom;
  }
  return kind_;
}

void TBitBtnWithColor::SetKind(TBitBtnWithColorKind kind) {
  if (kind == kind_) return;
  if (kind != bkCustom) {
    SetDefault(PresetDefault(kind));
    SetCancel(PresetCancel(kind));
    SetCaption(QString::fromUtf8(Preset(kind).caption));
    modalResult_ = Preset(kind).modalResult;
    glyph_.SetGlyph(KindGlyph(kind));
    glyph_.SetNumGlyphs(2);
    modifiedGlyph_ = false;
  }
  kind_ = kind;
  update();
}

void TBitBtnWithColor::SetLayout(TButtonLayout layout) {
  if (layout == layout_) return;
  layout_ = layout;
  update();
}

void TBitBtnWithColor::SetMargin(int32_t margin) {
  if (margin == margin_ || margin < -1) return;
  margin_ = margin;
  update();
}

void TBitBtnWithColor::SetSpacing(int32_t spacing) {
  if (spacing == spacing_) return;
  spacing_ = spacing;
  update();
}

void TBitBtnWithColor::SetStyle(TButtonStyle style) {
  if (style == style_) return;
  style_ = style;
  update();
}

void TBitBtnWithColor::SetCaption(const QString& caption) {
  if (caption == text()) return;
  setText(caption);
  update();
}

void TBitBtnWithColor::SetCancel(bool cancel) {
  if (cancel == cancel_) return;
  cancel_ = cancel;
  if (cancel_) {
    // Escape anywhere in the button's window presses it.
    cancelShortcut_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    cancelShortcut_->setContext(Qt::WindowShortcut);
    connect(cancelShortcut_, &QShortcut::activated, this, [this] {
      if (isEnabled() && isVisible()) click();
    });
  } else {
    delete cancelShortcut_;
    cancelShortcut_ = nullptr;
  }
}

void TBitBtnWithColor::SetDefault(bool d) {
  if (d == isDefault()) return;
  setDefault(d);
  UpdateActive();
}

void TBitBtnWithColor::UpdateActive() {
  // The focused button has the default look; so has the default button while the focus is on
  // something that is not a button.
  bool active = hasFocus();
  if (!active && isDefault()) {
    QWidget* focus = QApplication::focusWidget();
    active = focus != nullptr && focus->window() == window() &&
             qobject_cast<QAbstractButton*>(focus) == nullptr;
  }
  if (active == active_) return;
  active_ = active;
  update();
}

void TBitBtnWithColor::Click() {
  const TBitBtnWithColorKind kind = Kind();
  if (kind == bkHelp) {
    for (QWidget* w = this; w != nullptr; w = w->parentWidget()) {
      if (w->property("helpContext").toInt() != 0) {
        const QFileInfo exe(QCoreApplication::applicationFilePath());
        platform::Help().ShowContents(exe.path() + "/" + exe.completeBaseName() + ".hlp");
        return;
      }
    }
  } else if (kind == bkClose) {
    if (QWidget* form = window(); form != this) {
      form->close();
      return;
    }
  }
  if (OnClick) OnClick(this);
  if (modalResult_ != 0) {
    if (auto* dialog = qobject_cast<QDialog*>(window())) dialog->done(modalResult_);
  }
}

void TBitBtnWithColor::RaiseMouseDown(QMouseEvent* event) {
  if (!OnMouseDown) return;
  QPointer<TBitBtnWithColor> alive(this);
  pressEvent_ = event;
  try {
    const QPoint pos = event->position().toPoint();
    OnMouseDown(this, event->button(), event->modifiers(), pos.x(), pos.y());
  } catch (const std::exception& e) {
    platform::ShowException(e);
  }
  if (alive) pressEvent_ = nullptr;
}

void TBitBtnWithColor::mousePressEvent(QMouseEvent* event) {
  QPointer<TBitBtnWithColor> alive(this);
  pressSeen_ = true;
  RaiseMouseDown(event);
  if (alive) QPushButton::mousePressEvent(event);
}

void TBitBtnWithColor::mouseReleaseEvent(QMouseEvent* event) {
  pressSeen_ = false;
  QPushButton::mouseReleaseEvent(event);
}

void TBitBtnWithColor::mouseDoubleClickEvent(QMouseEvent* event) {
  // A double click is a second press. Some sources send the press before the double-click
  // event, others only the double-click event: count it once either way.
  if (pressSeen_) {
    event->accept();
    return;
  }
  mousePressEvent(event);
}

void TBitBtnWithColor::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      event->modifiers() == Qt::NoModifier) {
    // Enter clicks the focused button in any window, not only in dialogs; a held key clicks once.
    if (!event->isAutoRepeat()) click();
    event->accept();
    return;
  }
  QPushButton::keyPressEvent(event);
}

void TBitBtnWithColor::focusInEvent(QFocusEvent* event) {
  QPushButton::focusInEvent(event);
  UpdateActive();
  if (OnEnter) {
    try {
      OnEnter(this);
    } catch (const std::exception& e) {
      platform::ShowException(e);
    }
  }
}

void TBitBtnWithColor::focusOutEvent(QFocusEvent* event) {
  QPushButton::focusOutEvent(event);
  UpdateActive();
  if (OnExit) {
    try {
      OnExit(this);
    } catch (const std::exception& e) {
      platform::ShowException(e);
    }
  }
}

void TBitBtnWithColor::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::EnabledChange) update();
  QPushButton::changeEvent(event);
}

void TBitBtnWithColor::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect client = rect();
  QRect r = client;
  const TButtonState state = !isEnabled() ? bsDisabled : isDown() ? bsDown : bsUp;

  if (active_ || hasFocus()) {
    FrameRect(p, r, clWindowFrame);
    r.adjust(1, 1, -1, -1);
  }
  TColor pen = color_;
  if (state == bsDown) {
    pen = clBtnShadow;
  } else {
    DrawRaisedEdge(p, r);
    r.adjust(2, 2, -2, -2);
  }
  p.fillRect(r, ToQColor(color_));
  FrameRect(p, r, pen);
  r.adjust(1, 1, -1, -1);
  if (active_) r = client.adjusted(1, 1, -1, -1);

  p.setFont(font());
  if (state == bsDown) r.translate(1, 1);

  const int textFlags = Qt::TextSingleLine | Qt::TextShowMnemonic;
  const QString caption = text();
  const QSize textSize =
      caption.isEmpty() ? QSize(0, 0) : p.fontMetrics().size(textFlags, caption);
  const TButtonLayoutResult place =
      CalcButtonLayout(r, glyph_.ImageSize(), textSize, layout_, margin_, spacing_);

  const QImage image = glyph_.Image(state, color_);
  if (!image.isNull()) p.drawImage(place.glyphPos, image);

  if (!caption.isEmpty()) {
    if (state == bsDisabled) {
      const int flags = textFlags | Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip;
      p.setPen(QColor(255, 255, 255));
      p.drawText(place.textBounds.translated(1, 1), flags, caption);
      p.setPen(QColor(0x80, 0x80, 0x80));
      p.drawText(place.textBounds, flags, caption);
    } else {
      p.setPen(ToQColor(fontColor_));
      p.drawText(place.textBounds, textFlags | Qt::AlignCenter | Qt::TextDontClip, caption);
    }
  }
  if (active_) DrawFocusRect(p, client.adjusted(4, 4, -4, -4));
}
