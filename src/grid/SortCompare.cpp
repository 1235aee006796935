#include "grid/SortCompare.h"

#include <algorithm>

#include "platform/LocaleFormats.h"

namespace {

bool IsDigit(QChar c) { return c >= '0' && c <= '9'; }

// Characters 0x80..0x9F of Windows-1252, by byte.
constexpr char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The order of a character as the byte it is stored as in the 8-bit code page; characters the
// code page cannot hold come after all of them, by code.
uint32_t ByteOrder(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (uint32_t i = 0; i < 32; ++i)
    if (kHigh1252[i] == c) return 0x80 + i;
  return 0x100u + c;
}

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

QString LowerAscii(const QString& text) {
  const auto upper = std::find_if(text.begin(), text.end(), [](QChar c) { return c >= 'A' && c <= 'Z'; });
  if (upper == text.end()) return text;  // shared, no copy
  QString lower = text;
  for (QChar& c : lower) {
    if (c >= 'A' && c <= 'Z') c = QChar(c.unicode() + ('a' - 'A'));
  }
  return lower;
}

int ComparePlain(const QString& a, const QString& b) {
  const qsizetype n = std::min(a.size(), b.size());
  const char16_t* x = reinterpret_cast<const char16_t*>(a.constData());
  const char16_t* y = reinterpret_cast<const char16_t*>(b.constData());
  for (qsizetype i = 0; i < n; ++i) {
    if (x[i] != y[i]) return ByteOrder(x[i]) < ByteOrder(y[i]) ? -1 : 1;
  }
  return Order(a.size(), b.size());
}

int ComparePlainFolded(const QString& a, const QString& b) {
  const qsizetype n = std::min(a.size(), b.size());
  const char16_t* x = reinterpret_cast<const char16_t*>(a.constData());
  const char16_t* y = reinterpret_cast<const char16_t*>(b.constData());
  for (qsizetype i = 0; i < n; ++i) {
    char16_t c = x[i], d = y[i];
    if (c >= u'A' && c <= u'Z') c += u'a' - u'A';
    if (d >= u'A' && d <= u'Z') d += u'a' - u'A';
    if (c != d) return ByteOrder(c) < ByteOrder(d) ? -1 : 1;
  }
  return Order(a.size(), b.size());
}

int CompareNumeric(const QString& a, const QString& b) {
  const auto x = platform::StrToFloat(a);
  const auto y = platform::StrToFloat(b);
  if (x && y) return Order(*x, *y);
  return ComparePlain(a, b);
}

int CompareDateTime(const QString& a, const QString& b) {
  const auto x = platform::StrToDateTime(a);
  const auto y = platform::StrToDateTime(b);
  if (x && y) return Order(*x, *y);
  return ComparePlain(a, b);
}

int CompareTime(const QString& a, const QString& b) {
  const auto x = platform::StrToTime(a);
  const auto y = platform::StrToTime(b);
  if (x && y) return Order(*x, *y);
  return ComparePlain(a, b);
}

bool TryStrToInt(const QString& text, int32_t& value) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return false;
  bool ok = false;
  const int parsed = trimmed.toInt(&ok, 10);
  if (!ok) return false;
  value = parsed;
  return true;
}

int CompareNumericExtended(const QString& s1, const QString& s2) {
  // Both empty are equal and empty comes first: a consistent order for what the rule
  // below cannot handle.
  if (s1.isEmpty() || s2.isEmpty()) return Order(!s1.isEmpty(), !s2.isEmpty());

  // Keep only the positions where the texts differ or hold digits; at the last position of
  // the shorter text take both remainders.
  const int shorter = std::min(s1.size(), s2.size());
  QString a, b;
  for (int i = 0; i < shorter; ++i) {
    if (s1[i] == s2[i] && !IsDigit(s1[i])) continue;
    if (i == shorter - 1) {
      a += s1.mid(i);
      b += s2.mid(i);
    } else {
      a += s1[i];
      b += s2[i];
    }
  }

  // Drop as many trailing characters as the two snapshots share non-digit characters,
  // counted from the end, mismatches notwithstanding.
  const QString c = a, d = b;
  const int overlap = std::min(c.size(), d.size());
  for (int j = 0; j < overlap; ++j) {
    const QChar x = c[c.size() - 1 - j];
    if (x == d[d.size() - 1 - j] && !IsDigit(x)) {
      a.chop(1);
      b.chop(1);
    }
  }

  if (a == b) return 0;
  int32_t x = 0, y = 0;
  if (TryStrToInt(a, x) && TryStrToInt(b, y)) return x < y ? -1 : 1;
  return ComparePlain(a, b);
}
