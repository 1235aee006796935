#pragma once
// "Station verbinden": the code a phone scans to become a timing station, the link as text, and
// the stations that have been in touch, one of which can be dropped. It takes no keys from the
// race: it is a window beside the main one, never modal.
#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class TQrCodeView;

// One station as the list shows it.
struct TStationLine {
  QString Name, Role, LastContact, Accuracy;
  int Passes = 0;
  bool operator==(const TStationLine&) const = default;
};

class TStationWindow : public QDialog {
public:
  explicit TStationWindow(QWidget* parent = nullptr);

  // The station link; empty while the live server is off (the window says so).
  void SetLink(const QString& link);
  void SetStations(const std::vector<TStationLine>& stations);
  const std::vector<TStationLine>& Stations() const { return stations_; }

  TQrCodeView* Code() const { return code_; }
  QLineEdit* Link() const { return link_; }
  QPushButton* NewCode() const { return newCode_; }
  QPushButton* Drop() const { return drop_; }
  QTableWidget* List() const { return list_; }

  // "Neuer Code" pressed; the station named dropped.
  std::function<void()> OnNewCode;
  std::function<void(const QString& name)> OnDrop;

private:
  void UpdateDrop();

  TQrCodeView* code_;
  QLabel* hint_;
  QLineEdit* link_;
  QPushButton* newCode_;
  QTableWidget* list_;
  QPushButton* drop_;
  std::vector<TStationLine> stations_;
};
