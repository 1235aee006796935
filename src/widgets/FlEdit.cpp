#include "widgets/FlEdit.h"
#include "widgets/WidgetsAccessible.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <charconv>
#include <cmath>
#include <exception>
#include <memory>
#include <string>

#include "platform/Application.h"
#include "platform/LocaleFormats.h"
#include "platform/Modal.h"

std::optional<double> ParseFloatText(const QString& text, QChar separator) {
  const QString s = text.trimmed();
  std::string plain;
  int i = 0;
  const int n = s.size();
  if (i < n && (s[i] == '-' || s[i] == '+')) {
    if (s[i] == '-') plain += '-';
    ++i;
  }
  int mantissaDigits = 0;
  std::string whole;
  while (i < n && s[i].isDigit() && s[i].unicode() < 128) whole += char(s[i++].unicode());
  mantissaDigits += static_cast<int>(whole.size());
  std::string fraction;
  if (i < n && s[i] == separator) {
    ++i;
    while (i < n && s[i].isDigit() && s[i].unicode() < 128) fraction += char(s[i++].unicode());
    mantissaDigits += static_cast<int>(fraction.size());
  }
  if (mantissaDigits == 0) return std::nullopt;
  plain += whole.empty() ? "0" : whole;
  if (!fraction.empty()) plain += "." + fraction;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    plain += 'e';
    if (i < n && (s[i] == '-' || s[i] == '+')) plain += char(s[i++].unicode());
    int expDigits = 0;
    while (i < n && s[i].isDigit() && s[i].unicode() < 128) {
      plain += char(s[i++].unicode());
      ++expDigits;
    }
    // An exponent still being typed ("1e", "1e-") counts as 0, so 1e2 can be typed key by key.
    if (expDigits == 0) plain += '0';
  }
  if (i != n) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (error != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
  return value;
}

// ---------------------------------------------------------------------------------------------
// TCustomFloatEdit

TCustomFloatEdit::TCustomFloatEdit(QWidget* parent)
    : QLineEdit(parent), separator_(platform::DecimalSeparator()) {
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  setText(FormatValue(min_));
  setMinimumHeight(MinHeight());
  resize(121, MinHeight());
}

int TCustomFloatEdit::MinHeight() const {
  // Four border heights, the character height and a quarter of the smaller of the system and
  // the own font height, plus two.
  const int fontHeight = fontMetrics().height();
  const int systemHeight = QFontMetrics(QApplication::font()).height();
  return 4 * 1 + fontHeight + std::min(systemHeight, fontHeight) / 4 + 2;
}

QString TCustomFloatEdit::FormatValue(double x) const {
  if (x == 0) x = 0;  // no "-0"
  if (!std::isfinite(x)) return QString::number(x);
  const double whole = std::trunc(std::fabs(x));
  const int intDigits = whole >= 1 ? static_cast<int>(QString::number(whole, 'f', 0).size()) : 0;
  QString s;
  if (intDigits > 18) {
    // More integer digits than the precision: exponent notation.
    s = QString::number(x, 'E', 17);
  } else {
    // A double holds 17 significant digits; the rest of the decimals are zeros.
    const int decimals = std::min<int>(digits_, std::max(0, 17 - intDigits));
    s = QString::number(x, 'f', decimals);
    if (decimals < digits_) {
      if (decimals == 0) s += '.';
      s += QString(digits_ - decimals, '0');
    }
  }
  s.replace('.', separator_);
  return s;
}

void TCustomFloatEdit::ShowError() const {
  if (!errorMessage_.isEmpty()) platform::ShowMessage(errorMessage_);
}

double TCustomFloatEdit::Value() const {
  if (loading_) return loadingValue_;
  QString t = text();
  if (t == "-" || t == QString(separator_) || t.isEmpty() || t == "E") t = "0";
  double value = ParseFloatText(t, separator_).value_or(min_);
  if (value < min_)
    value = min_;
  else if (value > max_)
    value = max_;
  return value;
}

void TCustomFloatEdit::SetValue(double x) {
  if (loading_) {
    loadingValue_ = x;
    return;
  }
  if (!(x <= max_)) {  // above, or not comparable
    ShowError();
    x = max_;
  } else if (x < min_) {
    ShowError();
    x = min_;
  }
  setText(FormatValue(x));
}

void TCustomFloatEdit::SetDigits(uint8_t digits) {
  if (digits == digits_) return;
  digits_ = std::min<uint8_t>(digits, 18);
  SetValue(Value());
}

void TCustomFloatEdit::SetMin(double x) {
  if (x == min_) return;
  if (!(x <= max_))
    throw std::invalid_argument("Minimum value must not be greater than maximum value !");
  min_ = x;
  SetValue(Value());
}

void TCustomFloatEdit::SetMax(double x) {
  if (x == max_) return;
  if (!(x >= min_))
    throw std::invalid_argument("Maximum value must not be less than minimum value !");
  max_ = x;
  SetValue(Value());
}

void TCustomFloatEdit::SetAlignment(TFlAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  switch (a) {
    case TFlAlignment::taLeftJustify: setAlignment(Qt::AlignLeft | Qt::AlignVCenter); break;
    case TFlAlignment::taRightJustify: setAlignment(Qt::AlignRight | Qt::AlignVCenter); break;
    case TFlAlignment::taCenter: setAlignment(Qt::AlignHCenter | Qt::AlignVCenter); break;
  }
}

void TCustomFloatEdit::BeginLoading() {
  if (loading_) return;
  loadingValue_ = Value();
  loading_ = true;
}

void TCustomFloatEdit::Loaded() {
  if (!loading_) return;
  loading_ = false;
  SetValue(loadingValue_);
}

bool TCustomFloatEdit::KeyDown(QKeyEvent*) { return true; }

void TCustomFloatEdit::KeyPress(QChar& key) {
  if (OnKeyPress) OnKeyPress(this, key);
  if (key.isNull()) return;
  const ushort code = key.unicode();
  if (code == '\r' || code == '\n') {
    if (OnEnterPress) OnEnterPress(this, key);
    key = QChar();
    return;
  }
  if (code == 27) {
    SetValue(entryValue_);
    selectAll();
    key = QChar();
    return;
  }
  if (code < ' ') return;  // Backspace and the clipboard keys pass unchanged
  const bool isDigit = code >= '0' && code <= '9';
  if (!(key == '-' || isDigit || key == 'e' || key == separator_)) {
    key = QChar();
    return;
  }

  const QString current = text();
  const int selStart = hasSelectedText() ? selectionStart() : cursorPosition();
  const int selLength = hasSelectedText() ? static_cast<int>(selectedText().size()) : 0;
  const QString candidate = current.left(selStart) + key + current.mid(selStart + selLength);

  if (candidate == "-") {
    setText("-0");
    setSelection(1, 1);
    key = QChar();
    return;
  }
  if (candidate == QString(separator_)) {
    setText(QString("0") + separator_ + "0");
    setSelection(2, 1);
    key = QChar();
    return;
  }
  const std::optional<double> number = ParseFloatText(candidate, separator_);
  if (!number || *number < min_ || *number > max_) {
    key = QChar();
    return;
  }
  if (key == separator_ && digits_ == 0) {
    key = QChar();
    return;
  }
  if (candidate.contains('e', Qt::CaseInsensitive)) return;
  const int at = static_cast<int>(candidate.indexOf(separator_));
  if (at >= 0 && candidate.size() - (at + 1) > digits_) key = QChar();
}

void TCustomFloatEdit::keyPressEvent(QKeyEvent* event) {
  try {
    const bool passed = KeyDown(event);

    // The character of the key, if it types one: shortcuts with Ctrl or Alt and keys without
    // text (arrows, Delete) produce none, as on the platform the filter was drawn for.
    QChar ch;
    const QString text = event->text();
    if (text.size() == 1 && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
        text[0].unicode() != 0x7F)
      ch = text[0];
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) ch = QChar('\r');
    if (event->key() == Qt::Key_Escape) ch = QChar(27);

    if (!ch.isNull()) {
      const QChar original = ch;
      KeyPress(ch);
      if (ch.isNull() || !passed) {
        event->accept();
        return;
      }
      if (ch != original && ch.unicode() >= ' ') {
        // A handler replaced the character: type the replacement.
        insert(QString(ch));
        event->accept();
        return;
      }
    }
    if (!passed) {
      event->accept();
      return;
    }
    if ((event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) &&
        !ClipboardAllowed()) {
      event->accept();
      return;
    }
    QLineEdit::keyPressEvent(event);
  } catch (const std::exception& e) {
    event->accept();
    platform::ShowException(e);
  }
}

void TCustomFloatEdit::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu(createStandardContextMenu());
  if (!ClipboardAllowed()) {
    for (QAction* action : menu->actions()) {
      const QString name = action->objectName();
      if (name == "edit-cut" || name == "edit-paste" || name == "edit-delete")
        action->setEnabled(false);
    }
  }
  platform::Modal().PopupMenu(menu.get(), event->globalPos());
  event->accept();
}

void TCustomFloatEdit::mouseReleaseEvent(QMouseEvent* event) {
  // The middle button pastes the selection on X11: a paste like any other.
  if (event->button() == Qt::MiddleButton && !ClipboardAllowed()) {
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

void TCustomFloatEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  if (autoSelect_ && event->reason() != Qt::MouseFocusReason) selectAll();
  entryValue_ = Value();
  if (OnEnter) {
    try {
      OnEnter(this);
    } catch (const std::exception& e) {
      platform::ShowException(e);
    }
  }
}

void TCustomFloatEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // The window losing the focus (a message box, another program) is no exit from the field.
  if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
    return;
  try {
    if (ExitCheck() && OnExit) OnExit(this);
  } catch (const std::exception& e) {
    platform::ShowException(e);
  }
}

bool TCustomFloatEdit::ExitCheck() {
  QString t = text();
  if (t.isEmpty()) t = FormatValue(min_);
  const std::optional<double> number = ParseFloatText(t, separator_);
  if (!number || *number < min_ || *number > max_) {
    ShowError();
    SetValue(entryValue_);
    selectAll();
    // The exit is cancelled: the focus comes back once Qt has finished moving it away.
    QPointer<TCustomFloatEdit> self(this);
    QTimer::singleShot(0, this, [self] {
      if (self && self->isVisible() && self->isEnabled()) self->setFocus(Qt::OtherFocusReason);
    });
    return false;
  }
  setText(FormatValue(*number));
  SetValue(ParseFloatText(text(), separator_).value_or(min_));
  return true;
}

void TCustomFloatEdit::changeEvent(QEvent* event) {
  QLineEdit::changeEvent(event);
  if (event->type() == QEvent::FontChange) setMinimumHeight(MinHeight());
}

// ---------------------------------------------------------------------------------------------
// TSpinButton

TSpinButton::TSpinButton(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  auto make = [this](Qt::ArrowType arrow, const QString& name) {
    auto* button = new QToolButton(this);
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setAutoRepeatDelay(400);
    button->setAutoRepeatInterval(100);
    button->setAccessibleName(name);
    return button;
  };
  up_ = make(Qt::UpArrow, QStringLiteral("Erh\u00f6hen"));
  down_ = make(Qt::DownArrow, QStringLiteral("Verringern"));
  connect(up_, &QToolButton::clicked, this, [this] {
    if (OnUpClick) OnUpClick();
  });
  connect(down_, &QToolButton::clicked, this, [this] {
    if (OnDownClick) OnDownClick();
  });
  resize(15, 17);
}

void TSpinButton::resizeEvent(QResizeEvent*) {
  const int half = height() / 2;
  up_->setGeometry(0, 0, width(), half);
  down_->setGeometry(0, half, width(), height() - half);
}

// ---------------------------------------------------------------------------------------------
// TSpinFloatEdit

TSpinFloatEdit::TSpinFloatEdit(QWidget* parent)
    : TCustomFloatEdit(parent), button_(new TSpinButton(this)) {
  EnsureWidgetsAccessible();
  button_->resize(15, 17);
  button_->setCursor(Qt::ArrowCursor);
  auto guarded = [this](bool up) {
    try {
      // The focus goes to the edit first, so the value on entry is the one before the step.
      if (!hasFocus()) setFocus(Qt::OtherFocusReason);
      if (up)
        UpClick();
      else
        DownClick();
    } catch (const std::exception& e) {
      platform::ShowException(e);
    }
  };
  button_->OnUpClick = [guarded] { guarded(true); };
  button_->OnDownClick = [guarded] { guarded(false); };
  PlaceButton();
}

void TSpinFloatEdit::SetEditorEnabled(bool enabled) {
  editorEnabled_ = enabled;
  setAcceptDrops(enabled);
}

void TSpinFloatEdit::Step(bool up) {
  if (OnComputedIncrement) {
    OnComputedIncrement(this, up);
    return;
  }
  SetValue(up ? Value() + increment_ : Value() - increment_);
}

void TSpinFloatEdit::UpClick() {
  if (isReadOnly())
    QApplication::beep();
  else
    Step(true);
}

void TSpinFloatEdit::DownClick() {
  if (isReadOnly())
    QApplication::beep();
  else
    Step(false);
}

bool TSpinFloatEdit::KeyDown(QKeyEvent* event) {
  if (!editorEnabled_) return false;
  if (event->key() == Qt::Key_Up) UpClick();
  if (event->key() == Qt::Key_Down) DownClick();
  return true;
}

void TSpinFloatEdit::KeyPress(QChar& key) {
  TCustomFloatEdit::KeyPress(key);
  if (!editorEnabled_) key = QChar();
}

bool TSpinFloatEdit::ClipboardAllowed() const { return editorEnabled_ && !isReadOnly(); }

void TSpinFloatEdit::resizeEvent(QResizeEvent* event) {
  TCustomFloatEdit::resizeEvent(event);
  PlaceButton();
}

void TSpinFloatEdit::PlaceButton() {
  const int bw = button_->width();
  if (hasFrame()) {
    // Inside the two-pixel sunken border.
    button_->setGeometry(width() - bw - 5 + 2, 2, bw, std::max(0, height() - 5));
  } else {
    button_->setGeometry(width() - bw, 1, bw, std::max(0, height() - 3));
  }
  // The text ends two pixels left of the buttons.
  const int right = width() - button_->x() + 2;
  setTextMargins(0, 0, std::max(0, right - (hasFrame() ? 2 : 0)), 0);
}
