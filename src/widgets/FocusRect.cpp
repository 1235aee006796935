#include "widgets/FocusRect.h"

#include <QPainter>

void DrawFocusRect(QPainter& p, const QRect& r) {
  if (r.width() <= 0 || r.height() <= 0) return;
  p.save();
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  auto dot = [&](int x, int y) {
    if (((x + y) & 1) == 0) p.fillRect(QRect(x, y, 1, 1), Qt::white);
  };
  for (int x = r.left(); x <= r.right(); ++x) {
    dot(x, r.top());
    if (r.bottom() != r.top()) dot(x, r.bottom());
  }
  for (int y = r.top() + 1; y < r.bottom(); ++y) {
    dot(r.left(), y);
    if (r.right() != r.left()) dot(r.right(), y);
  }
  p.restore();
}
