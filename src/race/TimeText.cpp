#include "race/TimeText.h"

#include <QRegularExpression>

QString TickToText(uint32_t tick) { return QString::number(static_cast<int32_t>(tick)); }

std::optional<uint32_t> TickFromText(const QString& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  if (!ok) return std::nullopt;
  return static_cast<uint32_t>(value);
}

int64_t RoundHalfEven(int64_t n, int64_t d) {
  if (d < 0) { n = -n; d = -d; }
  int64_t q = n / d;
  int64_t r = n % d;  // same sign as n
  if (r < 0) { --q; r += d; }  // now n = q*d + r with 0 <= r < d
  if (2 * r > d || (2 * r == d && (q & 1) != 0)) ++q;
  return q;
}

namespace {

QString FormatTenths(int64_t t) {
  const QString full = QString("%1:%2.%3,%4")
                           .arg((t / 36000) % 100, 2, 10, QChar('0'))
                           .arg((t / 600) % 60, 2, 10, QChar('0'))
                           .arg((t / 10) % 60, 2, 10, QChar('0'))
                           .arg(t % 10);
  // Strip leading zeros and separators, but keep at least the seconds units, "," and tenth.
  int strip = 0;
  while (strip < 7 && !(full[strip] >= '1' && full[strip] <= '9')) ++strip;
  return full.mid(strip);
}

}  // namespace

QString FormatDuration(int32_t ms) {
  // A negative duration only arises from a clock fault; it keeps its sign in front instead of
  // scattering minus signs through the fields.
  if (ms < 0) return "-" + FormatTenths(RoundHalfEven(-static_cast<int64_t>(ms), 100));
  return FormatTenths(RoundHalfEven(ms, 100));
}

QString FormatGap(int32_t ms) {
  if (ms < 0) return "-" + FormatGap(ms == INT32_MIN ? INT32_MAX : -ms);
  if (ms == 0 || ms >= 100) return FormatTenths(ms / 100);
  return ms >= 10 ? QStringLiteral("0,0%1").arg(ms / 10) : QStringLiteral("0,00%1").arg(ms);
}

std::optional<int32_t> ParseDuration(const QString& text) {
  static const QRegularExpression form(
      QStringLiteral("^(?:(?:(\\d{1,2}):)?(\\d{1,2})\\.)?(\\d{1,2})(?:,(\\d))?$"));
  const QRegularExpressionMatch match = form.match(text.trimmed());
  if (!match.hasMatch()) return std::nullopt;
  const bool hasHours = match.capturedLength(1) > 0;
  const bool hasMinutes = match.capturedLength(2) > 0;
  const int64_t hours = hasHours ? match.captured(1).toInt() : 0;
  const int64_t minutes = hasMinutes ? match.captured(2).toInt() : 0;
  const int64_t seconds = match.captured(3).toInt();
  const int64_t tenths = match.capturedLength(4) > 0 ? match.captured(4).toInt() : 0;
  if ((hasHours && minutes >= 60) || (hasMinutes && seconds >= 60)) return std::nullopt;
  return static_cast<int32_t>(((hours * 60 + minutes) * 60 + seconds) * 1000 + tenths * 100);
}
