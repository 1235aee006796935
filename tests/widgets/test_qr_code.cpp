// The QR code of the live address is read back by a real decoder (zbarimg) from the pixels the
// widget paints, at the size the window shows it and in a larger widget.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "widgets/QrCode.h"

namespace {

// What zbarimg reads from the image; empty when it finds no code.
QString Decode(const QImage& image) {
  const QString decoder = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
  if (decoder.isEmpty()) {
    ADD_FAILURE() << "zbarimg is missing (Debian package zbar-tools)";
    return {};
  }
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("code.png"));
  if (!image.save(path)) {
    ADD_FAILURE() << "cannot write " << path.toStdString();
    return {};
  }
  QProcess zbar;
  zbar.start(decoder, {QStringLiteral("--quiet"), QStringLiteral("--raw"), path});
  if (!zbar.waitForFinished(30000)) {
    ADD_FAILURE() << "zbarimg did not finish";
    return {};
  }
  return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

QImage Painted(TQrCodeView& view) { return view.grab().toImage(); }

TEST(QrCodeTest, AddressesAreReadBackFromThePaintedWidget) {
  for (const QString& address :
       {QStringLiteral("http://192.168.178.23:8080/"), QStringLiteral("http://10.0.0.1:65535/"),
        QStringLiteral("http://[fe80::1]:8080/")}) {
    TQrCodeView view;
    view.SetText(address);
    EXPECT_EQ(view.Text(), address);
    // The size the window gives it (3 px a module), and a larger widget it is centred in.
    view.setFixedSize(view.SizeFor(3));
    EXPECT_EQ(Decode(Painted(view)), address);
    view.setFixedSize(view.SizeFor(3) + QSize(61, 17));
    EXPECT_EQ(Decode(Painted(view)), address);
  }
}

TEST(QrCodeTest, QuietZoneAndModulesAreWholePixels) {
  TQrCodeView view;
  view.SetText(QStringLiteral("http://192.168.1.5:8080/"));
  const TQrMatrix matrix = EncodeQr(view.Text());
  ASSERT_GT(matrix.size, 0);
  constexpr int kPixels = 3;
  view.setFixedSize(view.SizeFor(kPixels));
  EXPECT_EQ(view.width(), (matrix.size + 2 * TQrCodeView::kQuietModules) * kPixels);
  const QImage image = Painted(view);
  const int origin = TQrCodeView::kQuietModules * kPixels;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const int mx = (x - origin) / kPixels, my = (y - origin) / kPixels;
      const bool inCode = x >= origin && y >= origin && mx < matrix.size && my < matrix.size;
      const bool dark = qGray(image.pixel(x, y)) < 128;
      ASSERT_EQ(dark, inCode && matrix.Dark(mx, my)) << x << "," << y;
    }
}

TEST(QrCodeTest, TextTooLongForAnyCodeLeavesAWhiteSquare) {
  TQrCodeView view;
  view.SetText(QString(8000, QLatin1Char('x')));
  EXPECT_EQ(EncodeQr(view.Text()).size, 0);
  view.resize(100, 100);
  const QImage image = Painted(view);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ASSERT_EQ(qGray(image.pixel(x, y)), 255);
  // An empty text is no code either; a usable one afterwards is painted again.
  view.SetText({});
  EXPECT_EQ(EncodeQr(view.Text()).size, 0);
  view.SetText(QStringLiteral("http://192.168.1.5:8080/"));
  view.setFixedSize(view.SizeFor(3));
  EXPECT_EQ(Decode(Painted(view)), QStringLiteral("http://192.168.1.5:8080/"));
}

}  // namespace
