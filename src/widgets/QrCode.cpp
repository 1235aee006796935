#include "widgets/QrCode.h"

#include <QPainter>
#include <qrencode.h>

TQrMatrix EncodeQr(const QString& text) {
  TQrMatrix matrix;
  const QByteArray bytes = text.toUtf8();
  QRcode* code = QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M);
  if (!code) return matrix;
  matrix.size = code->width;
  matrix.dark.resize(static_cast<size_t>(code->width) * static_cast<size_t>(code->width));
  for (size_t i = 0; i < matrix.dark.size(); ++i) matrix.dark[i] = (code->data[i] & 1) != 0;
  QRcode_free(code);
  return matrix;
}

TQrCodeView::TQrCodeView(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void TQrCodeView::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  matrix_ = EncodeQr(text);
  setAccessibleName(QStringLiteral("QR-Code: ") + text);
  update();
}

QSize TQrCodeView::SizeFor(int modulePixels) const {
  const int side = (matrix_.size + 2 * kQuietModules) * modulePixels;
  return {side, side};
}

void TQrCodeView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (matrix_.size == 0) return;
  const int modules = matrix_.size + 2 * kQuietModules;
  const int pixels = std::max(1, std::min(width(), height()) / modules);
  const int left = (width() - modules * pixels) / 2 + kQuietModules * pixels;
  const int top = (height() - modules * pixels) / 2 + kQuietModules * pixels;
  for (int y = 0; y < matrix_.size; ++y)
    for (int x = 0; x < matrix_.size; ++x)
      if (matrix_.Dark(x, y)) painter.fillRect(left + x * pixels, top + y * pixels, pixels, pixels, Qt::black);
}
