#include "platform/LocaleFormats.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/LocalTime.h"

namespace platform {
namespace {

std::optional<QLocale>& Pinned() {
  static std::optional<QLocale> locale;
  return locale;
}

bool IsAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// The first character of a format that is neither a letter nor part of a quoted literal.
QChar SeparatorOf(const QString& format, QChar fallback) {
  bool quoted = false;
  for (QChar c : format) {
    if (c == u'\'') quoted = !quoted;
    else if (!quoted && !c.isLetter() && !c.isSpace()) return c;
  }
  return fallback;
}

QChar DateSeparator() { return SeparatorOf(ShortDateFormat(), u'.'); }
QChar TimeSeparator() { return SeparatorOf(ShortTimeFormat(), u':'); }

// The short time format with seconds, for the long-time tokens.
QString LongTimeFormat() {
  QString format = ShortTimeFormat();
  if (!format.contains(u's')) {
    const qsizetype m = format.lastIndexOf(QStringLiteral("mm"));
    if (m >= 0) format.insert(m + 2, TimeSeparator() + QStringLiteral("ss"));
  }
  return format;
}

// Reads a run of 1..maxDigits ASCII digits at pos.
std::optional<int> ReadNumber(const QString& s, qsizetype& pos, int maxDigits) {
  const qsizetype start = pos;
  int value = 0;
  while (pos < s.size() && IsAsciiDigit(s.at(pos)) && pos - start < maxDigits) {
    value = value * 10 + (s.at(pos).unicode() - u'0');
    ++pos;
  }
  if (pos == start) return std::nullopt;
  if (pos < s.size() && IsAsciiDigit(s.at(pos))) return std::nullopt;  // too many digits
  return value;
}

// A two-digit year lands within fifty years of the current one.
int ExpandYear(int year, qsizetype digits) {
  if (digits > 2) return year;
  const int base = Now().date().year() - 50;
  year += base / 100 * 100;
  if (year < base) year += 100;
  return year;
}

std::optional<QDate> ParseDate(const QString& s) {
  // The order of day, month and year as the short date format has them.
  const QString format = ShortDateFormat();
  QString order;
  for (QChar c : format) {
    const QChar lc = c.toLower();
    if ((lc == u'd' || lc == u'm' || lc == u'y') && !order.contains(lc)) order += lc;
  }
  if (order.size() != 3) order = QStringLiteral("dmy");
  const QChar sep = DateSeparator();

  int parts[3] = {0, 0, 0};
  qsizetype digits[3] = {0, 0, 0};
  int count = 0;
  qsizetype pos = 0;
  while (count < 3) {
    const qsizetype start = pos;
    const auto n = ReadNumber(s, pos, 4);
    if (!n) return std::nullopt;
    parts[count] = *n;
    digits[count] = pos - start;
    ++count;
    if (pos == s.size()) break;
    if (s.at(pos) != sep) return std::nullopt;
    ++pos;
    if (pos == s.size()) break;  // "16.05." is a date without a year
  }
  if (pos != s.size() || count < 2) return std::nullopt;

  int day = 0, month = 0, year = Now().date().year();
  int field = 0;
  for (QChar which : order) {
    if (count == 2 && which == u'y') continue;  // the year was left out
    if (which == u'd') day = parts[field];
    else if (which == u'm') month = parts[field];
    else year = ExpandYear(parts[field], digits[field]);
    ++field;
  }
  const QDate date(year, month, day);
  if (!date.isValid()) return std::nullopt;
  return date;
}

std::optional<QTime> ParseTime(QString s) {
  const QLocale locale = FormatLocale();
  int pm = -1;  // -1: 24-hour clock, 0: AM, 1: PM
  const QString am[] = {locale.amText(), QStringLiteral("AM")};
  const QString pmt[] = {locale.pmText(), QStringLiteral("PM")};
  for (int i = 0; i < 2 && pm < 0; ++i) {
    if (!pmt[i].isEmpty() && s.endsWith(pmt[i], Qt::CaseInsensitive)) { pm = 1; s.chop(pmt[i].size()); }
    else if (!am[i].isEmpty() && s.endsWith(am[i], Qt::CaseInsensitive)) { pm = 0; s.chop(am[i].size()); }
  }
  s = s.trimmed();
  const QChar sep = TimeSeparator();

  qsizetype pos = 0;
  const auto hour = ReadNumber(s, pos, 2);
  if (!hour || pos >= s.size() || s.at(pos) != sep) return std::nullopt;  // at least h:mm
  ++pos;
  const auto minute = ReadNumber(s, pos, 2);
  if (!minute) return std::nullopt;
  int second = 0, msec = 0;
  if (pos < s.size() && s.at(pos) == sep) {
    ++pos;
    const auto sec = ReadNumber(s, pos, 2);
    if (!sec) return std::nullopt;
    second = *sec;
    if (pos < s.size() && (s.at(pos) == DecimalSeparator() || s.at(pos) == u'.')) {
      ++pos;
      const qsizetype start = pos;
      const auto ms = ReadNumber(s, pos, 3);
      if (!ms) return std::nullopt;
      msec = *ms;
      for (qsizetype d = pos - start; d < 3; ++d) msec *= 10;
    }
  }
  if (pos != s.size()) return std::nullopt;
  int h = *hour;
  if (pm >= 0) {
    if (h < 1 || h > 12) return std::nullopt;
    h = h % 12 + (pm ? 12 : 0);
  }
  const QTime time(h, *minute, second, msec);
  if (!time.isValid()) return std::nullopt;
  return time;
}

QDateTime MakeDateTime(const QDate& date, const QTime& time) {
  QDateTime result(date, time);
  // A wall-clock time inside a daylight-saving gap still has to compare sensibly.
  if (!result.isValid()) result = QDateTime(date, time, Qt::UTC);
  return result;
}

QString Padded(int value, int width) { return QStringLiteral("%1").arg(value, width, 10, QChar(u'0')); }

}  // namespace

QLocale FormatLocale() {
  if (Pinned()) return *Pinned();
  const QLocale system = QLocale::system();
  if (system.language() == QLocale::C) return QLocale(QLocale::German, QLocale::Germany);
  return system;
}

void PinFormatLocale(std::optional<QLocale> locale) { Pinned() = std::move(locale); }

QChar DecimalSeparator() {
  const QString point = FormatLocale().decimalPoint();
  return point.isEmpty() ? QChar(u'.') : point.at(0);
}

QString ShortDateFormat() {
  // Qt's short formats carry two-digit years; the Windows short date a timing operator knows
  // has four, so a lone "yy" run is widened.
  QString format = FormatLocale().dateFormat(QLocale::ShortFormat);
  QString out;
  bool quoted = false;
  for (qsizetype i = 0; i < format.size();) {
    const QChar c = format.at(i);
    if (c == u'\'') quoted = !quoted;
    if (!quoted && c == u'y') {
      qsizetype run = 0;
      while (i + run < format.size() && format.at(i + run) == u'y') ++run;
      out += run == 2 ? QStringLiteral("yyyy") : QString(run, u'y');
      i += run;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

QString ShortTimeFormat() { return FormatLocale().timeFormat(QLocale::ShortFormat); }

std::optional<double> StrToFloat(const QString& text) {
  const QString s = text.trimmed();
  const QChar sep = DecimalSeparator();
  QByteArray ascii;
  qsizetype i = 0;
  const qsizetype n = s.size();
  if (i < n && (s.at(i) == u'+' || s.at(i) == u'-')) ascii += char(s.at(i++).unicode());
  qsizetype mantissaDigits = 0;
  while (i < n && IsAsciiDigit(s.at(i))) { ascii += char(s.at(i++).unicode()); ++mantissaDigits; }
  if (i < n && s.at(i) == sep) {
    ascii += '.';
    ++i;
    while (i < n && IsAsciiDigit(s.at(i))) { ascii += char(s.at(i++).unicode()); ++mantissaDigits; }
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < n && (s.at(i) == u'e' || s.at(i) == u'E')) {
    ascii += 'e';
    ++i;
    if (i < n && (s.at(i) == u'+' || s.at(i) == u'-')) ascii += char(s.at(i++).unicode());
    qsizetype exponentDigits = 0;
    while (i < n && IsAsciiDigit(s.at(i))) { ascii += char(s.at(i++).unicode()); ++exponentDigits; }
    if (exponentDigits == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;
  bool ok = false;
  const double value = QLocale::c().toDouble(QString::fromLatin1(ascii), &ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

QString FloatToStr(double value) {
  // General format with 15 significant digits, as the toolkit's FloatToStr.
  if (std::isnan(value)) return QStringLiteral("NAN");
  if (std::isinf(value)) return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
  if (value == 0) return QStringLiteral("0");
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  const std::string text(buffer, result.ptr);
  const bool negative = text[0] == '-';
  const size_t e = text.find('e');
  std::string digits;
  for (size_t k = negative ? 1 : 0; k < e; ++k)
    if (text[k] != '.') digits += text[k];
  int exponent = std::atoi(text.c_str() + e + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (digits == "0") return QStringLiteral("0");

  const QString sep = DecimalSeparator();
  QString out = negative ? QStringLiteral("-") : QString();
  if (exponent >= 15 || exponent < -5) {
    out += QChar(digits[0]);
    if (digits.size() > 1) out += sep + QString::fromLatin1(digits.substr(1));
    out += QStringLiteral("E") + QString::number(exponent);
  } else if (exponent >= 0) {
    const size_t whole = size_t(exponent) + 1;
    if (digits.size() <= whole) {
      out += QString::fromLatin1(digits) + QString(qsizetype(whole - digits.size()), u'0');
    } else {
      out += QString::fromLatin1(digits.substr(0, whole)) + sep + QString::fromLatin1(digits.substr(whole));
    }
  } else {
    out += QStringLiteral("0") + sep + QString(-exponent - 1, u'0') + QString::fromLatin1(digits);
  }
  return out;
}

std::optional<QDateTime> StrToDateTime(const QString& text) {
  const QString s = text.trimmed();
  if (s.isEmpty()) return std::nullopt;
  // A time alone stands on the toolkit's day zero.
  if (const auto time = ParseTime(s)) return MakeDateTime(QDate(1899, 12, 30), *time);
  const qsizetype blank = s.indexOf(u' ');
  const QString datePart = blank < 0 ? s : s.left(blank);
  const auto date = ParseDate(datePart);
  if (!date) return std::nullopt;
  if (blank < 0) return MakeDateTime(*date, QTime(0, 0));
  const auto time = ParseTime(s.mid(blank + 1).trimmed());
  if (!time) return std::nullopt;
  return MakeDateTime(*date, *time);
}

std::optional<QTime> StrToTime(const QString& text) { return ParseTime(text.trimmed()); }

QString FormatDateTime(const QString& pattern, const QDateTime& value) {
  const QLocale locale = FormatLocale();
  const QDate date = value.date();
  const QTime time = value.time();
  const bool twelveHour = pattern.contains(QStringLiteral("am/pm"), Qt::CaseInsensitive) ||
                          pattern.contains(QStringLiteral("a/p"), Qt::CaseInsensitive) ||
                          pattern.contains(QStringLiteral("ampm"), Qt::CaseInsensitive);
  QString out;
  QChar lastToken;
  const qsizetype n = pattern.size();
  for (qsizetype i = 0; i < n;) {
    const QChar c = pattern.at(i);
    if (c == u'"' || c == u'\'') {
      const qsizetype close = pattern.indexOf(c, i + 1);
      const qsizetype end = close < 0 ? n : close;
      out += pattern.mid(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    QChar token = c.toUpper();
    if (token.isLetter()) {
      // "m" right after an hour token means minutes ("hh:mm", also "hh-mm").
      if (token == u'M' && lastToken == u'H') token = u'N';
      lastToken = token;
    }
    qsizetype count = 1;
    while (i + count < n && pattern.at(i + count).toUpper() == c.toUpper()) ++count;

    switch (token.unicode()) {
      case u'Y':
        out += count <= 2 ? Padded(date.year() % 100, 2) : Padded(date.year(), 4);
        break;
      case u'M':
        if (count == 1) out += QString::number(date.month());
        else if (count == 2) out += Padded(date.month(), 2);
        else out += locale.monthName(date.month(), count == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
        break;
      case u'D':
        if (count == 1) out += QString::number(date.day());
        else if (count == 2) out += Padded(date.day(), 2);
        else if (count == 3) out += locale.dayName(date.dayOfWeek(), QLocale::ShortFormat);
        else if (count == 4) out += locale.dayName(date.dayOfWeek(), QLocale::LongFormat);
        else if (count == 5) out += locale.toString(date, ShortDateFormat());
        else out += locale.toString(date, QLocale::LongFormat);
        break;
      case u'H': {
        int hour = time.hour();
        if (twelveHour) hour = hour % 12 == 0 ? 12 : hour % 12;
        out += count == 1 ? QString::number(hour) : Padded(hour, 2);
        break;
      }
      case u'N':
        out += count == 1 ? QString::number(time.minute()) : Padded(time.minute(), 2);
        break;
      case u'S':
        out += count == 1 ? QString::number(time.second()) : Padded(time.second(), 2);
        break;
      case u'Z':
        out += count < 3 ? QString::number(time.msec()) : Padded(time.msec(), 3);
        break;
      case u'T':
        out += locale.toString(time, count == 1 ? ShortTimeFormat() : LongTimeFormat());
        break;
      case u'C':
        out += locale.toString(date, ShortDateFormat());
        if (time != QTime(0, 0)) out += u' ' + locale.toString(time, LongTimeFormat());
        break;
      case u'A': {
        const QString rest = pattern.mid(i);
        const bool afternoon = time.hour() >= 12;
        if (rest.startsWith(QStringLiteral("am/pm"), Qt::CaseInsensitive)) {
          const QString word = rest.left(5).split(u'/').at(afternoon ? 1 : 0);
          out += word;
          i += 5;
        } else if (rest.startsWith(QStringLiteral("a/p"), Qt::CaseInsensitive)) {
          out += rest.at(afternoon ? 2 : 0);
          i += 3;
        } else if (rest.startsWith(QStringLiteral("ampm"), Qt::CaseInsensitive)) {
          out += afternoon ? locale.pmText() : locale.amText();
          i += 4;
        } else {
          out += c;
          i += 1;
        }
        continue;
      }
      case u'/':
        out += QString(count, DateSeparator());
        break;
      case u':':
        out += QString(count, TimeSeparator());
        break;
      default:
        out += pattern.mid(i, count);
        break;
    }
    i += count;
  }
  return out;
}

}  // namespace platform
