#pragma once
// The live results' panel: the address and what else is on, beside the address's QR code. A
// click hides the code or shows it again; the code is also left out where the room the window
// gives the panel is too low for it, so the panel never takes the place of the results.
#include <QFrame>
#include <QStringList>

class QLabel;
class QPushButton;
class TQrCodeView;

class TLivePanel : public QFrame {
public:
  explicit TLivePanel(QWidget* parent = nullptr);
  // Shows the lines, and the address's code when there is one; no lines hide the panel. With an
  // address the panel offers "Station verbinden…" too.
  void Show(const QString& address, const QStringList& lines);
  // The height the panel may take; the code is shown only when it fits.
  void SetRoom(int height);
  TQrCodeView* Code() const { return code_; }
  QLabel* Text() const { return text_; }
  QPushButton* Stations() const { return stations_; }

protected:
  void mousePressEvent(QMouseEvent* event) override;

private:
  void FitCode();

  TQrCodeView* code_;
  QLabel* text_;
  QPushButton* stations_;
  bool codeWanted_ = true;
  int room_ = QWIDGETSIZE_MAX;
};
