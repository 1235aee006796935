// Grid base painting: where a cell's text goes and what of it fits, cell backgrounds, the
// DrawCell hook per visible cell, grid lines, the focus rectangle and the line that follows the
// mouse while sizing or moving.
#include <QPaintEvent>
#include <QPainter>
#include <vector>

#include "grid/MyGrids.h"

namespace {

struct TSpan {
  int32_t Index;
  int32_t Start;
  int32_t Size;
};

// An inverted dotted pen: drawing twice restores the pixels, as the platform's focus
// rectangle does.
QPen InvertedDots(int width = 1) {
  QPen pen(Qt::white);
  pen.setWidth(width);
  pen.setCosmetic(true);
  pen.setDashPattern({1.0, 1.0});
  return pen;
}

}  // namespace

int32_t AlignedTextOffset(TAlignment alignment, int32_t cellWidth, int32_t textWidth) {
  if (alignment == taRightJustify) return cellWidth - textWidth - 2;
  if (alignment == taCenter) return (cellWidth - textWidth) / 2;
  return 2;
}

TFittedCellText FitCellText(const QString& text, TAlignment alignment, int32_t cellWidth,
                            const std::function<int(const QString&)>& width) {
  auto placed = [&](const QString& shown, bool fits) {
    return TFittedCellText{shown, AlignedTextOffset(alignment, cellWidth, width(shown)), fits};
  };
  auto inside = [&](const QString& shown) {
    const int32_t x = AlignedTextOffset(alignment, cellWidth, width(shown));
    return x >= 0 && x + width(shown) <= cellWidth;
  };
  if (text.isEmpty() || inside(text)) return placed(text, true);
  QString shown;
  if (alignment == taLeftJustify) {
    const QString ellipsis(QChar(0x2026));
    shown = text;
    do shown.chop(shown.size() > 1 && shown.back().isLowSurrogate() ? 2 : 1);
    while (!shown.isEmpty() && !inside(shown + ellipsis));
    if (!shown.isEmpty() || inside(ellipsis)) shown += ellipsis;
  } else {
    while (inside(shown + QLatin1Char('#'))) shown += QLatin1Char('#');
  }
  return placed(shown, false);
}

void TMyCustomGrid::paintEvent(QPaintEvent* e) {
  QPainter p(viewport());
  FCanvas = &p;
  try {
    PaintGrid(p, e->rect());
  } catch (const std::exception&) {
    // A failing cell handler must not unwind through the paint event; it would fail again on
    // every repaint, so it is not reported here.
  }
  FCanvas = nullptr;
}

void TMyCustomGrid::PaintGrid(QPainter& p, const QRect& clip) {
  p.setRenderHint(QPainter::Antialiasing, false);
  const TAxisInfo h = AxisInfo(true);
  const TAxisInfo v = AxisInfo(false);
  p.fillRect(viewport()->rect(), ToQColor(FColor));

  // Cells drawn along one axis: the fixed ones, then the scrollable ones from the top-left on;
  // hidden cells (size plus line width 0 or less) are skipped.
  auto spans = [this](const TAxisInfo& a, bool horz) {
    std::vector<TSpan> out;
    int32_t pos = 0;
    for (int32_t i = 0; i < a.FixedCellCount && i < a.GridCellCount; ++i) {
      if (!IsHiddenCell(horz, i)) out.push_back({i, pos, Extent(horz, i)});
      pos = AddPixels(pos, Advance(horz, i, a.LineWidth));
    }
    pos = a.FixedBoundary;
    for (int32_t i = std::max(a.FirstGridCell, 0); i < a.GridCellCount && pos < a.GridExtent; ++i) {
      if (!IsHiddenCell(horz, i)) out.push_back({i, pos, Extent(horz, i)});
      pos = AddPixels(pos, Advance(horz, i, a.LineWidth));
    }
    return out;
  };
  const std::vector<TSpan> cols = spans(h, true);
  const std::vector<TSpan> rows = spans(v, false);

  const TGridRect sel = Selection();
  const bool focused = GridHasFocus();
  const bool rowSelect = FOptions.Contains(goRowSelect);
  const QColor fixedLine = ToQColor(clBlack);
  const QColor gridLine = ToQColor(clSilver);

  for (const TSpan& row : rows) {
    for (const TSpan& col : cols) {
      const TRect r{col.Start, row.Start, col.Start + col.Size, row.Start + row.Size};
      const QRect area(r.Left, r.Top, col.Size + h.LineWidth, row.Size + v.LineWidth);
      if (!area.intersects(clip)) continue;
      const bool fixed = col.Index < FFixedCols || row.Index < FFixedRows;
      TGridDrawState state;
      if (fixed) {
        state += gdFixed;
      } else {
        if (focused && col.Index == FCurrent.X && row.Index == FCurrent.Y) state += gdFocused;
        if (col.Index >= sel.Left && col.Index <= sel.Right && row.Index >= sel.Top && row.Index <= sel.Bottom)
          state += gdSelected;
      }
      TColor back = FColor;
      TColor fore = clWindowText;
      if (fixed) {
        back = FFixedColor;
        fore = clBtnText;
      } else if (state.Contains(gdSelected) &&
                 !(state.Contains(gdFocused) && !FOptions.Contains(goDrawFocusSelected) && !rowSelect)) {
        back = clHighlight;
        fore = clHighlightText;
      }
      p.save();
      p.setBrush(ToQColor(back));
      p.setPen(ToQColor(fore));
      p.setFont(font());
      if (FDefaultDrawing && !r.IsEmpty()) p.fillRect(r.ToQRect(), ToQColor(back));
      DrawCell(col.Index, row.Index, r, state);
      p.restore();
      if (FDefaultDrawing && state.Contains(gdFocused) && !rowSelect && !FOptions.Contains(goAlwaysShowEditor))
        DrawFocusRect(p, r);

      const bool vertLine = FOptions.Contains(fixed ? goFixedVertLine : goVertLine);
      const bool horzLine = FOptions.Contains(fixed ? goFixedHorzLine : goHorzLine);
      const QColor& lineColor = fixed ? fixedLine : gridLine;
      if (vertLine && h.LineWidth > 0)
        p.fillRect(QRect(r.Right, r.Top, h.LineWidth, row.Size + v.LineWidth), lineColor);
      if (horzLine && v.LineWidth > 0)
        p.fillRect(QRect(r.Left, r.Bottom, col.Size + h.LineWidth, v.LineWidth), lineColor);
    }
  }
  DrawDragLine(p);
}

void TMyCustomGrid::DrawFocusRect(QPainter& p, const TRect& r) const {
  if (r.Width() <= 0 || r.Height() <= 0) return;
  p.save();
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  p.setPen(InvertedDots());
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
  p.restore();
}

void TMyCustomGrid::DrawDragLine(QPainter& p) const {
  if (FGridState == gsNormal || FGridState == gsSelecting) return;
  p.save();
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  const int w = viewport()->width();
  const int hgt = viewport()->height();
  switch (FGridState) {
    case gsColSizing:
      p.setPen(InvertedDots());
      p.drawLine(FSizingPos, 0, FSizingPos, hgt);
      break;
    case gsRowSizing:
      p.setPen(InvertedDots());
      p.drawLine(0, FSizingPos, w, FSizingPos);
      break;
    case gsColMoving: {
      // The line where the column will land: before the target, or after it when moving right.
      const TRect r = CellRect(FMovePos, FixedRows() > 0 ? 0 : TopRow());
      if (!r.IsEmpty()) {
        const int x = FMovePos > FSizingIndex ? r.Right : r.Left;
        p.setPen(InvertedDots(2));
        p.drawLine(x, 0, x, hgt);
      }
      break;
    }
    case gsRowMoving: {
      const TRect r = CellRect(FixedCols() > 0 ? 0 : LeftCol(), FMovePos);
      if (!r.IsEmpty()) {
        const int y = FMovePos > FSizingIndex ? r.Bottom : r.Top;
        p.setPen(InvertedDots(2));
        p.drawLine(0, y, w, y);
      }
      break;
    }
    default: break;
  }
  p.restore();
}
