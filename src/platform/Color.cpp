#include "platform/Color.h"

#include <QApplication>
#include <QPalette>

namespace {

QPalette::ColorRole RoleOf(TColor system, QPalette::ColorGroup& group) {
  group = QPalette::Active;
  switch (system & 0xFF) {
    case 0x05: return QPalette::Base;                  // window
    case 0x06: return QPalette::Shadow;                // window frame
    case 0x07: case 0x08: return QPalette::WindowText; // menu text, window text
    case 0x0D: return QPalette::Highlight;
    case 0x0E: return QPalette::HighlightedText;
    case 0x10: return QPalette::Dark;                  // button shadow
    case 0x11: group = QPalette::Disabled; return QPalette::WindowText;  // grey text
    case 0x12: return QPalette::ButtonText;
    case 0x14: return QPalette::Light;                 // button highlight
    case 0x15: return QPalette::Shadow;                // 3D dark shadow
    case 0x16: return QPalette::Midlight;              // 3D light
    case 0x17: return QPalette::ToolTipText;
    case 0x18: return QPalette::ToolTipBase;
    case 0x09: case 0x13: return QPalette::HighlightedText;  // caption texts
    case 0x02: case 0x03: return QPalette::Highlight;        // captions
    default: return QPalette::Button;                  // button face, menu and the rest
  }
}

}  // namespace

QColor ToQColor(TColor c) {
  if (c == clNone) return QColor(Qt::transparent);
  if (IsSystemColor(c)) {
    QPalette::ColorGroup group;
    const QPalette::ColorRole role = RoleOf(c, group);
    return QApplication::palette().color(group, role);
  }
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

TColor ColorToRGB(TColor c) { return IsSystemColor(c) ? FromQColor(ToQColor(c)) : c; }

TColor FromQColor(const QColor& c) {
  return static_cast<TColor>(c.red()) | (static_cast<TColor>(c.green()) << 8) |
         (static_cast<TColor>(c.blue()) << 16);
}
