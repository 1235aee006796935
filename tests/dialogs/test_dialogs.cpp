#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "common/Doubles.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"
#include "platform/AppTitle.h"
#include "widgets/FlEdit.h"
#include "common/Eventually.h"

namespace {

using testing_doubles::Doubles;

TEST(CfgDialog, ControlsAsDesigned) {
  TCfgDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), "Einstellungen");
  EXPECT_EQ(dialog.Label1->text(), "Rundenanzahl:");
  EXPECT_EQ(dialog.seRoundCount->value(), 5);
  EXPECT_EQ(dialog.seRoundCount->minimum(), 1);
  EXPECT_EQ(dialog.seRoundCount->maximum(), 999);
  EXPECT_FALSE(dialog.seRoundCount->isEnabled());
  EXPECT_EQ(dialog.Label3->text(), "1 Runde:                      km");
  EXPECT_DOUBLE_EQ(dialog.seRoundLen->Increment(), 0.1);
  EXPECT_EQ(dialog.seRoundLen->Digits(), 3);
  EXPECT_DOUBLE_EQ(dialog.seRoundLen->Min(), 0.1);
  EXPECT_DOUBLE_EQ(dialog.seRoundLen->Max(), 1000.0);
  EXPECT_EQ(dialog.seRoundLen->text(), "100,000");
  EXPECT_EQ(dialog.seRoundLen->Alignment(), TFlAlignment::taLeftJustify);
  EXPECT_EQ(dialog.OKBtn->text(), "OK");
  EXPECT_TRUE(dialog.OKBtn->isDefault());
  EXPECT_EQ(dialog.CancelBtn->text(), "Abbrechen");
  // The field lies over the gap of its label, between "1 Runde:" and "km".
  const QRect field = dialog.seRoundLen->geometry();
  const QFontMetrics fm(dialog.Label3->font());
  EXPECT_GE(field.left(), dialog.Label3->x() + fm.horizontalAdvance("1 Runde:"));
  EXPECT_LT(field.right(), dialog.Label3->x() + fm.horizontalAdvance(dialog.Label3->text()) -
                               fm.horizontalAdvance("km"));
  // No text is cut.
  EXPECT_LE(dialog.Label3->geometry().right(), dialog.width());
  EXPECT_GE(dialog.Label1->width(), fm.horizontalAdvance("Rundenanzahl:"));
  EXPECT_LE(dialog.Label1->geometry().right(), dialog.seRoundCount->x());
}

TEST(CfgDialog, LapLengthRoundTrip) {
  TCfgDialog dialog;
  TCfgValues values;
  const int32_t& roundLen = values.RoundLen;
  const int32_t& acc = values.Acc;

  // Opens with the stored length in km; cancelling changes nothing.
  QString shown;
  Doubles().modal.AnswerDialog(mrCancel, [&](QDialog* d) {
    shown = static_cast<TCfgDialog*>(d)->seRoundLen->text();
    static_cast<TCfgDialog*>(d)->seRoundLen->SetValue(7);
  });
  EXPECT_FALSE(EditSettings(dialog, values));
  EXPECT_EQ(shown, "100,000");
  EXPECT_EQ(roundLen, 100000);
  EXPECT_EQ(acc, 2);
  EXPECT_EQ(Doubles().modal.History().back().caption, "Einstellungen");

  // 2.5 km typed and confirmed: 2500 m, and the accuracy value becomes 1.
  Doubles().modal.AnswerDialog(mrOk, [](QDialog* d) {
    auto* edit = static_cast<TCfgDialog*>(d)->seRoundLen;
    edit->selectAll();
    for (char c : QByteArray("2,5")) QTest::keyClick(edit, c);
  });
  EXPECT_TRUE(EditSettings(dialog, values));
  EXPECT_EQ(roundLen, 2500);
  EXPECT_EQ(acc, 1);

  // The field holds values at its limits, so a confirmed length stays in 100 m ... 1000 km.
  Doubles().modal.AnswerDialog(mrOk, [](QDialog* d) {
    static_cast<TCfgDialog*>(d)->seRoundLen->SetValue(5000);
  });
  EXPECT_TRUE(EditSettings(dialog, values));
  EXPECT_EQ(roundLen, 1000000);
  Doubles().modal.AnswerDialog(mrOk, [](QDialog* d) {
    static_cast<TCfgDialog*>(d)->seRoundLen->setText("0,01");
  });
  EXPECT_TRUE(EditSettings(dialog, values));
  EXPECT_EQ(roundLen, 100);
}

TEST(CfgDialog, MinimumLapTimeOfTheDoublePressGuard) {
  TCfgDialog dialog;
  EXPECT_EQ(dialog.LabMinLap->text(), "Mindestrundenzeit:");
  EXPECT_EQ(dialog.seMinLap->minimum(), 0);
  EXPECT_EQ(dialog.seMinLap->maximum(), kMaxMinLapSeconds);
  EXPECT_LE(dialog.seMinLap->geometry().right(), dialog.width());
  EXPECT_LE(dialog.seMinLap->geometry().bottom(), dialog.OKBtn->y());
  TCfgValues values;
  values.MinLapSeconds = 15;
  int shown = -1;
  // Typed, not yet left: the typed value counts; 0 switches the guard off.
  Doubles().modal.AnswerDialog(mrOk, [&](QDialog* d) {
    auto* field = static_cast<TCfgDialog*>(d)->seMinLap;
    shown = field->value();
    field->selectAll();
    QTest::keyClicks(field, "0");
  });
  EXPECT_TRUE(EditSettings(dialog, values));
  EXPECT_EQ(shown, 15);
  EXPECT_EQ(values.MinLapSeconds, 0);
  // Cancelled: unchanged.
  Doubles().modal.AnswerDialog(mrCancel, [](QDialog* d) { static_cast<TCfgDialog*>(d)->seMinLap->setValue(99); });
  EXPECT_FALSE(EditSettings(dialog, values));
  EXPECT_EQ(values.MinLapSeconds, 0);
}

TEST(CfgDialog, LiveResultsSwitchedOnWithAPortAndAFolder) {
  TCfgDialog dialog;
  EXPECT_EQ(dialog.cbLive->text(), "Live-Ergebnisse im Netzwerk");
  for (QWidget* w : std::initializer_list<QWidget*>{dialog.cbLive, dialog.seLiveClients, dialog.eLiveFolder}) {
    EXPECT_LE(w->geometry().right(), dialog.width());
    EXPECT_LE(w->geometry().bottom(), dialog.OKBtn->y());
  }
  TCfgValues values;  // off, no folder
  bool portEnabled = true;
  int shownPort = 0;
  Doubles().modal.AnswerDialog(mrOk, [&](QDialog* d) {
    auto* cfg = static_cast<TCfgDialog*>(d);
    portEnabled = cfg->seLivePort->isEnabled();
    shownPort = cfg->seLivePort->value();
    cfg->cbLive->setChecked(true);
    cfg->seLivePort->selectAll();
    QTest::keyClicks(cfg->seLivePort, "8181");  // typed, the focus never left
    cfg->seLiveClients->setValue(20);
    cfg->eLiveFolder->setText("  /srv/www/live  ");
  });
  EXPECT_TRUE(EditSettings(dialog, values));
  EXPECT_FALSE(portEnabled) << "the server's fields wait for the switch";
  EXPECT_EQ(shownPort, kDefaultLivePort);
  EXPECT_EQ(values.LivePort, 8181);
  EXPECT_EQ(values.LiveClients, 20);
  EXPECT_EQ(values.LiveFolder, "/srv/www/live");
  // Switched off: the port is 0 again, the folder stays its own setting.
  Doubles().modal.AnswerDialog(mrOk, [&](QDialog* d) {
    auto* cfg = static_cast<TCfgDialog*>(d);
    shownPort = cfg->seLivePort->value();
    cfg->cbLive->setChecked(false);
  });
  EXPECT_TRUE(EditSettings(dialog, values));
  EXPECT_EQ(shownPort, 8181);
  EXPECT_EQ(values.LivePort, 0);
  EXPECT_EQ(values.LiveFolder, "/srv/www/live");
}

TEST(CfgDialog, KilometresToWholeMetresHalfToEven) {
  EXPECT_EQ(KmToRoundLen(0.1), 100);  // 100.00000000000001
  EXPECT_EQ(KmToRoundLen(2.5), 2500);
  EXPECT_EQ(KmToRoundLen(1.0625), 1062);  // 1062.5 exactly: to the even neighbour
  EXPECT_EQ(KmToRoundLen(1.1875), 1188);  // 1187.5
  EXPECT_EQ(KmToRoundLen(1.0626), 1063);
  EXPECT_EQ(KmToRoundLen(1000.0), 1000000);
  EXPECT_DOUBLE_EQ(RoundLenToKm(100000), 100.0);
  EXPECT_DOUBLE_EQ(RoundLenToKm(2500), 2.5);
}

TEST(CfgDialog, EscapeAndClosingCancel) {
  TCfgDialog dialog;
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  dialog.CancelBtn->setFocus();
  QTest::keyClick(dialog.CancelBtn, Qt::Key_Escape);
  EXPECT_EQ(dialog.result(), mrCancel);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  dialog.close();
  EXPECT_EQ(dialog.result(), mrCancel);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  dialog.OKBtn->click();
  EXPECT_EQ(dialog.result(), mrOk);
}

TEST(DlgYesNo, CaptionFollowsTheExecutableName) {
  TFDlgYesNo dialog;
  EXPECT_EQ(dialog.windowTitle(), "Veltrano");
  platform::SetApplicationTitle("Zeitnahme");
  TFDlgYesNo renamed;
  platform::SetApplicationTitle("Veltrano");
  EXPECT_EQ(renamed.windowTitle(), "Zeitnahme");

  EXPECT_EQ(dialog.OKBtn->text(), "Ja");
  EXPECT_EQ(dialog.CancelBtn->text(), "Nein");
  EXPECT_EQ(dialog.Label1->text(), "?");
  EXPECT_TRUE(dialog.Label1->wordWrap());
  EXPECT_EQ(dialog.Label1->size(), QSize(169, 49));
  EXPECT_EQ(dialog.size(), QSize(222, 94));
  dialog.SetButtonCaptions("OK", "Abbrechen");
  EXPECT_EQ(dialog.OKBtn->text(), "OK");
  EXPECT_EQ(dialog.CancelBtn->text(), "Abbrechen");
}

TEST(DlgYesNo, AnswerByEnterEscapeAndClosing) {
  TFDlgYesNo dialog;
  dialog.Label1->setText("Beenden?");

  // Run modally, as callers do: Enter on the first button answers yes.
  QTimer::singleShot(0, &dialog, [&] {
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  });
  EXPECT_EQ(dialog.exec(), mrYes);

  // The caller focused "Nein": Enter answers no.
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  dialog.CancelBtn->setFocus();
  EXPECT_SOON(dialog.CancelBtn->hasFocus());
  QTest::keyClick(dialog.CancelBtn, Qt::Key_Return);
  EXPECT_EQ(dialog.result(), mrCancel);
  EXPECT_FALSE(dialog.isVisible());

  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  dialog.OKBtn->setFocus();
  QTest::keyClick(dialog.OKBtn, Qt::Key_Escape);
  EXPECT_EQ(dialog.result(), mrCancel);

  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  dialog.close();
  EXPECT_EQ(dialog.result(), mrCancel);
}

TEST(DlgYesNo, QuestionIconIsABlueMarkInAWhiteBubble) {
  const QImage icon = QuestionIcon().toImage();
  ASSERT_EQ(icon.size(), QSize(32, 32));
  EXPECT_EQ(qAlpha(icon.pixel(31, 31)), 0);  // transparent around the bubble
  EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
  int white = 0;
  int blue = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const QRgb px = icon.pixel(x, y);
      if (qAlpha(px) == 255 && (px & 0xFFFFFF) == 0xFFFFFF) ++white;
      if (qAlpha(px) == 255 && qBlue(px) > 200 && qRed(px) < 60 && qGreen(px) < 60) ++blue;
    }
  EXPECT_GT(white, 150);
  EXPECT_GT(blue, 15);
}

}  // namespace
