#pragma once
// A QR code of a text (the live results' address), drawn in black on white with its quiet zone,
// each module a whole number of pixels so a phone's camera reads it off the screen.
#include <QImage>
#include <QString>
#include <QWidget>
#include <vector>

// The dark modules of the code, row by row; empty when the text cannot be encoded.
struct TQrMatrix {
  int size = 0;
  std::vector<bool> dark;  // size * size
  bool Dark(int x, int y) const { return dark[static_cast<size_t>(y * size + x)]; }
};
TQrMatrix EncodeQr(const QString& text);

class TQrCodeView : public QWidget {
public:
  static constexpr int kQuietModules = 4;
  explicit TQrCodeView(QWidget* parent = nullptr);
  void SetText(const QString& text);
  const QString& Text() const { return text_; }
  // The size at modulePixels pixels per module, quiet zone included.
  QSize SizeFor(int modulePixels) const;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QString text_;
  TQrMatrix matrix_;
};
