#include "dialogs/Cfg.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <cmath>

#include "io/Settings.h"
#include "platform/Modal.h"
#include "widgets/FlEdit.h"

TCfgDialog::TCfgDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Einstellungen"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  // The design is about 169 x 195 pixels; the controls follow the font's metrics so that no
  // text is cut, and the dialog grows with them when the font is larger.
  Label1 = new QLabel(QStringLiteral("Rundenanzahl:"), this);
  const QFontMetrics fm(Label1->font());
  Label1->setGeometry(12, 20, fm.horizontalAdvance(Label1->text()) + 4, fm.height());

  seRoundCount = new QSpinBox(this);
  seRoundCount->setRange(1, 999);
  seRoundCount->setValue(5);
  seRoundCount->setEnabled(false);  // the race has five laps, always
  seRoundCount->setGeometry(std::max(96, Label1->geometry().right() + 6), 16, 60, 24);
  seRoundCount->setAccessibleName(Label1->text());
  Label1->setBuddy(seRoundCount);

  // The field sits over the gap between "1 Runde:" and "km".
  const QString lead = QStringLiteral("1 Runde:");
  const QString caption = lead + QString(22, ' ') + QStringLiteral("km");
  Label3 = new QLabel(caption, this);
  Label3->setGeometry(12, 68, fm.horizontalAdvance(caption) + 4, fm.height());
  const int fieldLeft = Label3->x() + fm.horizontalAdvance(lead + ' ');
  const int fieldRight = Label3->x() + fm.horizontalAdvance(caption.left(caption.size() - 2)) - 2;

  seRoundLen = new TSpinFloatEdit(this);
  seRoundLen->SetIncrement(0.1);
  seRoundLen->SetDigits(3);
  seRoundLen->SetMax(1000.0);
  seRoundLen->SetMin(0.1);
  seRoundLen->SetValue(100.0);
  seRoundLen->SetAlignment(TFlAlignment::taLeftJustify);
  const int fieldHeight = std::max(24, seRoundLen->minimumHeight());
  seRoundLen->setGeometry(fieldLeft, Label3->y() + (fm.height() - fieldHeight) / 2,
                          fieldRight - fieldLeft, fieldHeight);
  seRoundLen->setAccessibleName(QStringLiteral("1 Runde (km)"));
  Label3->setBuddy(seRoundLen);

  // The double-press guard: a LAP or STOPP sooner than this after the rider's last press is
  // not counted.
  LabMinLap = new QLabel(QStringLiteral("Mindestrundenzeit:"), this);
  LabMinLap->setGeometry(12, 116, fm.horizontalAdvance(LabMinLap->text()) + 4, fm.height());
  seMinLap = new QSpinBox(this);
  seMinLap->setRange(0, kMaxMinLapSeconds);
  seMinLap->setValue(10);
  seMinLap->setSuffix(QStringLiteral(" s"));
  seMinLap->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  seMinLap->setToolTip(QStringLiteral("Ein LAP oder STOPP, der früher nach der letzten Zeit des Fahrers kommt, "
                                      "wird nicht gezählt (Shift zählt ihn trotzdem). 0 schaltet das aus."));
  seMinLap->setGeometry(LabMinLap->geometry().right() + 6, 112, 76, 24);
  seMinLap->setAccessibleName(QStringLiteral("Mindestrundenzeit (s)"));
  LabMinLap->setBuddy(seMinLap);

  // The live results: off until switched on; the port and the connections belong to the server.
  cbLive = new QCheckBox(QStringLiteral("Live-Ergebnisse im Netzwerk"), this);
  cbLive->setGeometry(12, 150, fm.horizontalAdvance(cbLive->text()) + 32, 24);
  cbLive->setToolTip(QStringLiteral("Ergebnisseite, Sprecheransicht und Daten für jeden Browser im Netzwerk; "
                                    "der Server hört dann auf allen Netzwerkschnittstellen."));
  LabLivePort = new QLabel(QStringLiteral("Port:"), this);
  const int liveLeft = 30;
  const int liveLabels = std::max(fm.horizontalAdvance(LabLivePort->text()), fm.horizontalAdvance("Verbindungen höchstens:")) + 10;
  LabLivePort->setGeometry(liveLeft, 184, liveLabels, fm.height());
  seLivePort = new QSpinBox(this);
  seLivePort->setRange(1, 65535);
  seLivePort->setValue(kDefaultLivePort);
  seLivePort->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  seLivePort->setGeometry(liveLeft + liveLabels, 180, 80, 24);
  seLivePort->setAccessibleName(QStringLiteral("Port der Live-Ergebnisse"));
  LabLivePort->setBuddy(seLivePort);
  LabLiveClients = new QLabel(QStringLiteral("Verbindungen höchstens:"), this);
  LabLiveClients->setGeometry(liveLeft, 214, liveLabels, fm.height());
  seLiveClients = new QSpinBox(this);
  seLiveClients->setRange(1, kMaxLiveClients);
  seLiveClients->setValue(200);
  seLiveClients->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  seLiveClients->setToolTip(QStringLiteral("Weitere Browser werden abgewiesen, bis eine Verbindung frei wird."));
  seLiveClients->setGeometry(liveLeft + liveLabels, 210, 80, 24);
  seLiveClients->setAccessibleName(QStringLiteral("Höchstzahl der Verbindungen"));
  LabLiveClients->setBuddy(seLiveClients);
  auto enableServerFields = [this](bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{LabLivePort, seLivePort, LabLiveClients, seLiveClients}) w->setEnabled(on);
  };
  connect(cbLive, &QCheckBox::toggled, this, enableServerFields);
  enableServerFields(false);
  LabLiveFolder = new QLabel(QStringLiteral("Als Dateien veröffentlichen in Ordner:"), this);
  LabLiveFolder->setGeometry(12, 246, fm.horizontalAdvance(LabLiveFolder->text()) + 4, fm.height());
  eLiveFolder = new QLineEdit(this);
  eLiveFolder->setPlaceholderText(QStringLiteral("(aus)"));
  eLiveFolder->setToolTip(QStringLiteral("Höchstens einmal pro Sekunde werden die Seiten und die Daten dorthin "
                                         "geschrieben, etwa in den Ordner eines Webservers. Leer: aus."));
  eLiveFolder->setAccessibleName(LabLiveFolder->text());
  LabLiveFolder->setBuddy(eLiveFolder);

  const int width = std::max({169, seRoundCount->geometry().right() + 13, Label3->geometry().right() + 13,
                              seMinLap->geometry().right() + 13, cbLive->geometry().right() + 13,
                              seLiveClients->geometry().right() + 13, LabLiveFolder->geometry().right() + 13, 320});
  eLiveFolder->setGeometry(12, 266, width - 24, 24);
  setFixedSize(width, 350);

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setGeometry(width / 2 - 77, 310, 72, 28);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), this);
  CancelBtn->setGeometry(width / 2 + 5, 310, std::max(72, fm.horizontalAdvance("Abbrechen") + 16), 28);
  connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { done(mrCancel); });

  setTabOrder(seRoundLen, seMinLap);
  setTabOrder(seMinLap, cbLive);
  setTabOrder(cbLive, seLivePort);
  setTabOrder(seLivePort, seLiveClients);
  setTabOrder(seLiveClients, eLiveFolder);
  setTabOrder(eLiveFolder, OKBtn);
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

bool EditSettings(TCfgDialog& dialog, TCfgValues& values) {
  dialog.seRoundLen->SetValue(RoundLenToKm(values.RoundLen));
  dialog.seMinLap->setValue(values.MinLapSeconds);
  dialog.cbLive->setChecked(values.LivePort != 0);
  dialog.seLivePort->setValue(values.LivePort != 0 ? values.LivePort : kDefaultLivePort);
  dialog.seLiveClients->setValue(values.LiveClients);
  dialog.eLiveFolder->setText(values.LiveFolder);
  if (platform::Modal().ExecDialog(&dialog) != mrOk) return false;
  values.RoundLen = KmToRoundLen(dialog.seRoundLen->Value());
  // A typed value counts even when the focus never left the field.
  for (QSpinBox* field : {dialog.seMinLap, dialog.seLivePort, dialog.seLiveClients}) field->interpretText();
  values.MinLapSeconds = dialog.seMinLap->value();
  values.LivePort = dialog.cbLive->isChecked() ? dialog.seLivePort->value() : 0;
  values.LiveClients = dialog.seLiveClients->value();
  values.LiveFolder = dialog.eLiveFolder->text().trimmed();
  values.Acc = 1;
  return true;
}
