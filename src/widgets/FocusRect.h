#pragma once
#include <QRect>

class QPainter;

// The dotted focus outline, inverted against what is beneath so it shows on every face.
void DrawFocusRect(QPainter& p, const QRect& r);
