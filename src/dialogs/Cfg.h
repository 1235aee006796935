#pragma once
// The settings dialog: the lap length in km (the lap count is fixed and only shown).
#include <QDialog>
#include <QString>
#include <cstdint>

class QCheckBox;
class QLabel;
class QLineEdit;
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
  QLabel* LabMinLap;
  QSpinBox* seMinLap;  // the double-press guard's minimum lap time in seconds; 0 is off
  // The live results: the server on the network, and the copy as files in a folder.
  QCheckBox* cbLive;
  QLabel* LabLivePort;
  QSpinBox* seLivePort;
  QLabel* LabLiveClients;
  QSpinBox* seLiveClients;
  QLabel* LabLiveFolder;
  QLineEdit* eLiveFolder;
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

// What the settings dialog edits.
struct TCfgValues {
  int32_t RoundLen = 100000;  // lap length in metres
  int32_t Acc = 2;            // accuracy value; a confirmed dialog sets it to 1
  int32_t MinLapSeconds = 10; // the double-press guard; 0 is off
  int32_t LivePort = 0;       // the live-results server; 0 is off
  int32_t LiveClients = 200;
  QString LiveFolder;         // the published copy; empty is off
};
inline constexpr int32_t kDefaultLivePort = 8080;
inline constexpr int kMaxMinLapSeconds = 3600;

// The work of the settings button: shows the dialog with the values; OK stores the new lap
// length, minimum lap time and live-results settings and sets the accuracy value to 1, Cancel
// changes nothing. True when confirmed.
bool EditSettings(TCfgDialog& dialog, TCfgValues& values);
