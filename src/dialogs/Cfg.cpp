#include "dialogs/Cfg.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <cmath>

#include "platform/Modal.h"
#include "widgets/FlEdit.h"

TCfgDialog::TCfgDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Einstellungen"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(169, 195);

  Label1 = new QLabel(QStringLiteral("Rundenanzahl:"), this);
  Label1->setGeometry(12, 20, 80, 16);

  seRoundCount = new QSpinBox(this);
  seRoundCount->setRange(1, 999);
  seRoundCount->setValue(5);
  seRoundCount->setEnabled(false);  // the race has five laps, always
  seRoundCount->setGeometry(96, 16, 60, 24);
  seRoundCount->setAccessibleName(Label1->text());
  Label1->setBuddy(seRoundCount);

  // The field sits over the gap between "1 Runde:" and "km".
  const QString lead = QStringLiteral("1 Runde:");
  const QString caption = lead + QString(22, ' ') + QStringLiteral("km");
  Label3 = new QLabel(caption, this);
  Label3->setGeometry(12, 68, 150, 16);
  const QFontMetrics fm(Label3->font());
  const int fieldLeft = Label3->x() + fm.horizontalAdvance(lead + ' ');
  const int fieldRight = Label3->x() + fm.horizontalAdvance(caption.left(caption.size() - 2)) - 2;

  seRoundLen = new TSpinFloatEdit(this);
  seRoundLen->SetIncrement(0.1);
  seRoundLen->SetDigits(3);
  seRoundLen->SetMax(1000.0);
  seRoundLen->SetMin(0.1);
  seRoundLen->SetValue(100.0);
  seRoundLen->SetAlignment(TFlAlignment::taLeftJustify);
  seRoundLen->setGeometry(fieldLeft, 64, std::max(72, fieldRight - fieldLeft),
                          std::max(24, seRoundLen->minimumHeight()));
  seRoundLen->setAccessibleName(QStringLiteral("1 Runde (km)"));
  Label3->setBuddy(seRoundLen);

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setGeometry(8, 156, 72, 28);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), this);
  CancelBtn->setGeometry(89, 156, 72, 28);
  connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { done(mrCancel); });

  setTabOrder(seRoundLen, OKBtn);
  setTabOrder(OKBtn, CancelBtn);
}

void TCfgDialog::reject() { done(mrCancel); }

double RoundLenToKm(int32_t roundLen) { return roundLen / 1000.0; }

int32_t KmToRoundLen(double km) {
  const double metres = km * 1000.0;
  double whole = std::floor(metres);
  const double rest = metres - whole;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return static_cast<int32_t>(whole);
}

bool EditLapLength(TCfgDialog& dialog, int32_t& RoundLen, int32_t& Acc) {
  dialog.seRoundLen->SetValue(RoundLenToKm(RoundLen));
  if (platform::Modal().ExecDialog(&dialog) != mrOk) return false;
  RoundLen = KmToRoundLen(dialog.seRoundLen->Value());
  Acc = 1;
  return true;
}
