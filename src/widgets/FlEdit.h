#pragma once
// A single-line edit for a number with a fixed count of decimals between two bounds; the spin
// variant adds up/down buttons that step it.
#include <QChar>
#include <QLineEdit>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>

class QToolButton;

enum class TFlAlignment { taLeftJustify, taRightJustify, taCenter };

// Parses a float as the toolkit's converter does: blanks around it, an optional sign, digits
// with at most one `separator` (a number may end or start with it), an optional exponent.
std::optional<double> ParseFloatText(const QString& text, QChar separator);

class TCustomFloatEdit : public QLineEdit {
  Q_OBJECT
public:
  explicit TCustomFloatEdit(QWidget* parent = nullptr);

  uint8_t Digits() const { return digits_; }
  void SetDigits(uint8_t digits);
  double Min() const { return min_; }
  // Throws std::invalid_argument when the new minimum lies above the maximum.
  void SetMin(double x);
  double Max() const { return max_; }
  // Throws std::invalid_argument when the new maximum lies below the minimum.
  void SetMax(double x);
  // The text's number, clamped into the bounds; an unparsable text gives Min.
  double Value() const;
  // Clamps (showing ErrorMessage when set) and shows the value with Digits decimals.
  void SetValue(double x);
  QString ErrorMessage() const { return errorMessage_; }
  void SetErrorMessage(const QString& message) { errorMessage_ = message; }
  TFlAlignment Alignment() const { return alignment_; }
  void SetAlignment(TFlAlignment a);
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool on) { autoSelect_ = on; }
  QChar DecimalSeparator() const { return separator_; }

  // Form loading: value writes are parked until Loaded().
  void BeginLoading();
  void Loaded();

  // The value shown with Digits decimals in the edit's notation.
  QString FormatValue(double x) const;

  // Sees every typed character first; setting Key to 0 swallows it.
  std::function<void(QObject* Sender, QChar& Key)> OnKeyPress;
  std::function<void(QObject* Sender, QChar& Key)> OnEnterPress;
  std::function<void(QObject* Sender)> OnEnter;
  // Fired only when the field is left with acceptable text.
  std::function<void(QObject* Sender)> OnExit;

protected:
  // The key-down phase; false drops the key (its character is still filtered).
  virtual bool KeyDown(QKeyEvent* event);
  // The character filter; sets Key to 0 when the character is swallowed or rejected.
  virtual void KeyPress(QChar& key);
  virtual bool ClipboardAllowed() const { return !isReadOnly(); }
  void ShowError() const;

  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  bool ExitCheck();
  int MinHeight() const;

  uint8_t digits_ = 1;
  double min_ = 0.0;
  double max_ = 100.0;
  QChar separator_;
  QString errorMessage_;
  double entryValue_ = 0.0;
  TFlAlignment alignment_ = TFlAlignment::taRightJustify;
  bool autoSelect_ = true;
  bool loading_ = false;
  double loadingValue_ = 0.0;
};

// The up/down button pair; holds repeat their click.
class TSpinButton : public QWidget {
  Q_OBJECT
public:
  explicit TSpinButton(QWidget* parent = nullptr);
  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }
  std::function<void()> OnUpClick;
  std::function<void()> OnDownClick;

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  QToolButton* up_;
  QToolButton* down_;
};

class TSpinFloatEdit : public TCustomFloatEdit {
  Q_OBJECT
public:
  explicit TSpinFloatEdit(QWidget* parent = nullptr);

  double Increment() const { return increment_; }
  void SetIncrement(double increment) { increment_ = increment; }
  bool EditorEnabled() const { return editorEnabled_; }
  void SetEditorEnabled(bool enabled);
  TSpinButton* Button() const { return button_; }

  // One step of the buttons and the Up/Down keys.
  void Step(bool up);
  void UpClick();
  void DownClick();

  // When set, replaces the built-in step.
  std::function<void(QObject* Sender, bool bIncrement)> OnComputedIncrement;

protected:
  bool KeyDown(QKeyEvent* event) override;
  void KeyPress(QChar& key) override;
  bool ClipboardAllowed() const override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void PlaceButton();

  double increment_ = 1.0;
  bool editorEnabled_ = true;
  TSpinButton* button_;
};
