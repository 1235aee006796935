#pragma once
// The settings dialog: the lap length in km (the lap count is fixed and only shown).
#include <QDialog>
#include <cstdint>

class QLabel;
class QPushButton;
class QSpinBox;
class TSpinFloatEdit;

class TCfgDialog : public QDialog {
  Q_OBJECT
public:
  explicit TCfgDialog(QWidget* parent = nullptr);

  QLabel* Label1;
  QSpinBox* seRoundCount;
  QLabel* Label3;
  TSpinFloatEdit* seRoundLen;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

public slots:
  // Esc and closing the window give the modal result Cancel.
  void reject() override;
};

// The lap length in whole metres shown in km.
double RoundLenToKm(int32_t roundLen);
// km to the nearest whole metre; an exact half goes to the even neighbour.
int32_t KmToRoundLen(double km);

// The work of the settings button: shows the dialog with the lap length; OK stores the new length
// and sets the accuracy value to 1, Cancel changes nothing. True when confirmed.
bool EditLapLength(TCfgDialog& dialog, int32_t& RoundLen, int32_t& Acc);
