#include "grid/SortCompare.h"

#include "platform/LocaleFormats.h"

namespace {

bool IsDigit(QChar c) { return c >= '0' && c <= '9'; }

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

QString LowerAscii(const QString& text) {
  QString lower = text;
  for (QChar& c : lower) {
    if (c >= 'A' && c <= 'Z') c = QChar(c.unicode() + ('a' - 'A'));
  }
  return lower;
}

int ComparePlain(const QString& a, const QString& b) {
  const int n = std::min(a.size(), b.size());
  for (int i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i].unicode() < b[i].unicode() ? -1 : 1;
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
