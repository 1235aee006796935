#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>
#include <stdexcept>

#include "common/Doubles.h"
#include "platform/LocaleFormats.h"
#include "widgets/FlEdit.h"
#include "common/Eventually.h"

namespace {

using testing_doubles::Doubles;

// The lap-length field of the settings dialog, focused in an active window beside another field.
class FloatEditTest : public ::testing::Test {
protected:
  void SetUp() override {
    edit = new TSpinFloatEdit(&window);
    edit->setGeometry(10, 10, 120, 24);
    edit->SetIncrement(0.1);
    edit->SetDigits(3);
    edit->SetMax(1000.0);
    edit->SetMin(0.1);
    edit->SetValue(100.0);
    other = new QLineEdit(&window);
    other->setGeometry(10, 50, 120, 24);
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    Focus(edit);
  }

  void Focus(QWidget* w) {
    w->setFocus(Qt::TabFocusReason);
    EXPECT_SOON(w->hasFocus());
  }

  void Type(const QString& keys) {
    for (QChar c : keys) QTest::keyClick(edit, c.toLatin1());
  }

  QWidget window;
  TSpinFloatEdit* edit = nullptr;
  QLineEdit* other = nullptr;
};

TEST_F(FloatEditTest, TypingOverTheSelectedValueKeepsTheTextANumberInsideTheBounds) {
  EXPECT_EQ(edit->text(), "100,000");
  EXPECT_EQ(edit->selectedText(), "100,000");  // selected on entry

  Type("5");
  EXPECT_EQ(edit->text(), "5");

  edit->selectAll();
  Type("0");  // 0 lies below the minimum 0.1
  EXPECT_EQ(edit->text(), "5");

  edit->selectAll();
  Type(",");
  EXPECT_EQ(edit->text(), "0,0");
  EXPECT_EQ(edit->selectionStart(), 2);
  EXPECT_EQ(edit->selectedText(), "0");
  Type("25");
  EXPECT_EQ(edit->text(), "0,25");

  edit->selectAll();
  Type("2000");  // the fourth digit would exceed the maximum
  EXPECT_EQ(edit->text(), "200");
  EXPECT_DOUBLE_EQ(edit->Value(), 200.0);
}

TEST_F(FloatEditTest, NoMoreDecimalsThanDigitsAndNoSeparatorWithoutDecimals) {
  edit->setText("1,234");
  edit->setCursorPosition(5);
  Type("4");
  EXPECT_EQ(edit->text(), "1,234");
  edit->setCursorPosition(1);
  Type("2");  // before the separator the decimals stay three
  EXPECT_EQ(edit->text(), "12,234");

  edit->SetDigits(0);
  EXPECT_EQ(edit->text(), "12");
  edit->setCursorPosition(2);
  Type(",");
  EXPECT_EQ(edit->text(), "12");
}

TEST_F(FloatEditTest, MinusGivesMinusZeroAndTheBoundsDecideTheDigitAfterIt) {
  edit->clear();
  Type("-");
  EXPECT_EQ(edit->text(), "-0");  // whatever the bounds
  EXPECT_EQ(edit->selectionStart(), 1);
  EXPECT_EQ(edit->selectedText(), "0");

  edit->SetMin(-5);
  edit->clear();
  Type("-5");
  EXPECT_EQ(edit->text(), "-5");
  EXPECT_DOUBLE_EQ(edit->Value(), -5.0);

  edit->SetMin(0);
  edit->clear();
  Type("-5");
  EXPECT_EQ(edit->text(), "-0");
}

TEST_F(FloatEditTest, ExponentCanBeTypedKeyByKey) {
  edit->selectAll();
  Type("1e2");
  EXPECT_EQ(edit->text(), "1e2");
  EXPECT_DOUBLE_EQ(edit->Value(), 100.0);

  // A negative exponent: the minus after the e is part of the number being typed.
  edit->SetMin(0.001);
  edit->selectAll();
  Type("5e-2");
  EXPECT_EQ(edit->text(), "5e-2");
  EXPECT_DOUBLE_EQ(edit->Value(), 0.05);

  // The bounds still hold for the finished number: 5e-4 lies below the minimum.
  edit->selectAll();
  Type("5e-4");
  EXPECT_EQ(edit->text(), "5e-");
  // Half-typed, the field holds the mantissa's value.
  EXPECT_DOUBLE_EQ(edit->Value(), 5.0);
}

TEST_F(FloatEditTest, ExponentCanBeTypedWhenItsNumberFitsAndSkipsTheDecimalsRule) {
  edit->setText("12");
  edit->setCursorPosition(1);
  Type("e");
  EXPECT_EQ(edit->text(), "1e2");
  EXPECT_DOUBLE_EQ(edit->Value(), 100.0);

  edit->setText("12");
  edit->setCursorPosition(1);
  edit->setText("14");
  edit->setCursorPosition(1);
  Type("e");  // 1e4 lies above the maximum
  EXPECT_EQ(edit->text(), "14");

  edit->SetDigits(1);
  edit->setText("1,2e2");
  edit->setCursorPosition(3);
  Type("5");  // two decimals, but with an exponent
  EXPECT_EQ(edit->text(), "1,25e2");
  EXPECT_DOUBLE_EQ(edit->Value(), 125.0);

  // Capital E is not among the keys.
  edit->setText("12");
  edit->setCursorPosition(1);
  QTest::keyClick(edit, 'E');
  EXPECT_EQ(edit->text(), "12");
}

TEST_F(FloatEditTest, OtherKeysAreRejectedOrPassedOn) {
  edit->setText("12,5");
  edit->setCursorPosition(4);
  Type("a. +");
  EXPECT_EQ(edit->text(), "12,5");
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(edit->text(), "12,");
  QTest::keyClick(edit, Qt::Key_Left);
  QTest::keyClick(edit, Qt::Key_Delete);
  EXPECT_EQ(edit->text(), "12");

  // Enter is handed to OnEnterPress and swallowed.
  int enters = 0;
  edit->OnEnterPress = [&](QObject* sender, QChar& key) {
    EXPECT_EQ(sender, edit);
    EXPECT_EQ(key, QChar('\r'));
    ++enters;
  };
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(edit->text(), "12");

  // OnKeyPress sees every character first and may swallow it.
  QString seen;
  edit->OnKeyPress = [&](QObject*, QChar& key) {
    seen += key;
    if (key == '7') key = QChar();
  };
  Type("x73");
  EXPECT_EQ(seen, "x73");
  EXPECT_EQ(edit->text(), "123");
}

TEST_F(FloatEditTest, ValueWritesAreClampedAndBadTextReadsAsMinimum) {
  edit->SetValue(5000);
  EXPECT_EQ(edit->text(), "1000,000");
  edit->SetValue(0.01);
  EXPECT_EQ(edit->text(), "0,100");
  EXPECT_TRUE(Doubles().modal.History().empty());  // no message while ErrorMessage is empty

  edit->setText("abc");  // pasted letters
  EXPECT_DOUBLE_EQ(edit->Value(), 0.1);
  EXPECT_EQ(edit->text(), "abc");  // reading does not change the text
  for (const char* zero : {"", "-", ",", "E"}) {
    edit->setText(zero);
    EXPECT_DOUBLE_EQ(edit->Value(), 0.1) << zero;  // counts as 0, clamped to the minimum
  }
  edit->setText("2000");
  EXPECT_DOUBLE_EQ(edit->Value(), 1000.0);

  edit->SetErrorMessage("Wert au\u00dferhalb des Bereichs");
  Doubles().modal.AnswerMessage(mrOk);
  edit->SetValue(-3);
  ASSERT_EQ(Doubles().modal.History().size(), 1u);
  EXPECT_EQ(Doubles().modal.History()[0].text, "Wert au\u00dferhalb des Bereichs");
  EXPECT_EQ(edit->text(), "0,100");
}

TEST_F(FloatEditTest, BoundsThatWouldCrossAreRefused) {
  try {
    edit->SetMax(0.05);
    FAIL() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "Maximum value must not be less than minimum value !");
  }
  try {
    edit->SetMin(2000);
    FAIL() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "Minimum value must not be greater than maximum value !");
  }
  EXPECT_DOUBLE_EQ(edit->Min(), 0.1);
  EXPECT_DOUBLE_EQ(edit->Max(), 1000.0);

  // A narrower range reformats the value into it.
  edit->SetMax(50);
  EXPECT_EQ(edit->text(), "50,000");
}

TEST_F(FloatEditTest, StepsAreClampedAtTheMaximum) {
  edit->SetValue(999.95);
  EXPECT_EQ(edit->text(), "999,950");
  edit->UpClick();
  EXPECT_EQ(edit->text(), "1000,000");
  edit->UpClick();
  EXPECT_EQ(edit->text(), "1000,000");
  QTest::keyClick(edit, Qt::Key_Down);
  EXPECT_EQ(edit->text(), "999,900");
  QTest::keyClick(edit, Qt::Key_Up);
  EXPECT_EQ(edit->text(), "1000,000");

  // A computed increment replaces the step.
  std::vector<bool> asked;
  edit->OnComputedIncrement = [&](QObject*, bool up) { asked.push_back(up); };
  edit->UpClick();
  edit->DownClick();
  EXPECT_EQ(asked, (std::vector<bool>{true, false}));
  EXPECT_EQ(edit->text(), "1000,000");
  edit->OnComputedIncrement = nullptr;

  edit->setReadOnly(true);
  edit->DownClick();  // beeps
  EXPECT_EQ(edit->text(), "1000,000");
}

TEST_F(FloatEditTest, EscapeRestoresTheValueTheFieldHadOnEntry) {
  Focus(other);
  edit->SetValue(42.5);
  Focus(edit);
  Type("7");
  EXPECT_EQ(edit->text(), "7");
  QTest::keyClick(edit, Qt::Key_Up);
  EXPECT_EQ(edit->text(), "7,100");
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_EQ(edit->text(), "42,500");
  EXPECT_EQ(edit->selectedText(), "42,500");
}

TEST_F(FloatEditTest, WithTheEditorDisabledOnlyTheButtonsStep) {
  edit->SetEditorEnabled(false);
  edit->setCursorPosition(0);
  Type("5,");
  QTest::keyClick(edit, Qt::Key_Up);
  QTest::keyClick(edit, Qt::Key_Down);
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(edit->text(), "100,000");

  QTest::mouseClick(edit->Button()->UpButton(), Qt::LeftButton);
  EXPECT_EQ(edit->text(), "100,100");
  QTest::mouseClick(edit->Button()->DownButton(), Qt::LeftButton);
  QTest::mouseClick(edit->Button()->DownButton(), Qt::LeftButton);
  EXPECT_EQ(edit->text(), "99,900");
}

TEST_F(FloatEditTest, LeavingWithBadTextRevertsAndKeepsTheFocus) {
  int exits = 0;
  edit->OnExit = [&](QObject*) { ++exits; };
  edit->SetErrorMessage("Ung\u00fcltige Eingabe");
  edit->setText("12x");  // pasted text is not filtered
  Doubles().modal.AnswerMessage(mrOk);
  Focus(other);
  EXPECT_SOON(edit->hasFocus());
  EXPECT_EQ(edit->text(), "100,000");
  EXPECT_EQ(edit->selectedText(), "100,000");
  EXPECT_EQ(exits, 0);
  EXPECT_EQ(Doubles().modal.History().size(), 1u);

  // Good text is reformatted to the digits and the exit proceeds.
  edit->setText("2,5");
  Focus(other);
  EXPECT_EQ(edit->text(), "2,500");
  EXPECT_EQ(exits, 1);

  // An emptied field leaves with the minimum.
  Focus(edit);
  edit->clear();
  Focus(other);
  EXPECT_EQ(edit->text(), "0,100");
  EXPECT_EQ(exits, 2);
}

TEST(FloatEdit, CreationShowsMinimumWithOneDecimalAndTheLocaleSeparator) {
  TSpinFloatEdit edit;
  EXPECT_EQ(edit.text(), "0,0");
  EXPECT_EQ(edit.Digits(), 1);
  EXPECT_DOUBLE_EQ(edit.Max(), 100.0);
  EXPECT_DOUBLE_EQ(edit.Increment(), 1.0);
  EXPECT_TRUE(edit.EditorEnabled());
  EXPECT_EQ(edit.Alignment(), TFlAlignment::taRightJustify);
  EXPECT_TRUE(edit.alignment() & Qt::AlignRight);
  EXPECT_EQ(edit.Button()->width(), 15);
  {
    QWidget window;
    auto* framed = new TSpinFloatEdit(&window);
    framed->setGeometry(0, 0, 100, 30);
    window.show();
    // Inside the two-pixel border: at width - 15 - 5 and height - 5 of the client area.
    EXPECT_EQ(framed->Button()->geometry(), QRect(100 - 15 - 3, 2, 15, 25));
  }

  // The edit never gets lower than its minimum height.
  edit.resize(100, 5);
  EXPECT_GE(edit.height(), edit.fontMetrics().height() + 6);

  // A locale with a decimal point: the point is the one separator key.
  platform::PinFormatLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  TSpinFloatEdit english;
  platform::PinFormatLocale(std::nullopt);
  EXPECT_EQ(english.text(), "0.0");
  english.SetDigits(2);
  english.SetValue(12.5);
  EXPECT_EQ(english.text(), "12.50");
  english.setText("12");
  english.setCursorPosition(2);
  QTest::keyClick(&english, ',');
  EXPECT_EQ(english.text(), "12");
  QTest::keyClick(&english, '.');
  QTest::keyClick(&english, '7');
  EXPECT_EQ(english.text(), "12.7");
}

TEST(FloatEdit, ParsingFollowsTheToolkitConverter) {
  const QChar sep(',');
  EXPECT_EQ(ParseFloatText("12,5", sep), 12.5);
  EXPECT_EQ(ParseFloatText(" 12,5 ", sep), 12.5);
  EXPECT_EQ(ParseFloatText("5,", sep), 5.0);
  EXPECT_EQ(ParseFloatText(",5", sep), 0.5);
  EXPECT_EQ(ParseFloatText("-1e2", sep), -100.0);
  EXPECT_EQ(ParseFloatText("1,5E-1", sep), 0.15);
  // An exponent without digits yet is the one of 1: the field is typed key by key.
  EXPECT_EQ(ParseFloatText("1e", sep), 1.0);
  EXPECT_EQ(ParseFloatText("2,5E-", sep), 2.5);
  for (const char* bad : {"", "-", ",", "e", "-e", ",e", "1ee", "1e--2", "1,2,3", "12.5", "1 2", "abc", "1e2x"})
    EXPECT_FALSE(ParseFloatText(bad, sep).has_value()) << bad;
}

TEST(FloatEdit, ValueWrittenWhileLoadingIsAppliedAfterTheBounds) {
  TSpinFloatEdit edit;
  edit.BeginLoading();
  edit.SetValue(500);
  EXPECT_DOUBLE_EQ(edit.Value(), 500.0);
  edit.SetMax(1000);
  edit.SetDigits(2);
  edit.Loaded();
  EXPECT_EQ(edit.text(), "500,00");
}

}  // namespace
