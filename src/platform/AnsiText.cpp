#include "platform/AnsiText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace platform {
namespace {

// Bytes 0x80..0x9F of Windows-1252. The five bytes Windows leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 controls of the same number, as Windows' own converter does, so any
// byte sequence survives a round trip.
constexpr char16_t kHighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The 1252 byte of a UTF-16 unit, or -1 when it has none.
int ByteOf(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (int i = 0; i < 32; ++i)
    if (kHighTable[i] == c) return 0x80 + i;
  return -1;
}

const QByteArray kBom("\xEF\xBB\xBF", 3);

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool IsValidUtf8(const QByteArray& bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
  const qsizetype n = bytes.size();
  qsizetype i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) { ++i; continue; }
    int follow;
    uint32_t cp;
    uint32_t min;
    if ((c & 0xE0) == 0xC0) { follow = 1; cp = c & 0x1F; min = 0x80; }
    else if ((c & 0xF0) == 0xE0) { follow = 2; cp = c & 0x0F; min = 0x800; }
    else if ((c & 0xF8) == 0xF0) { follow = 3; cp = c & 0x07; min = 0x10000; }
    else return false;
    if (n - i <= follow) return false;
    for (int k = 1; k <= follow; ++k) {
      const unsigned char cc = p[i + k];
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += follow + 1;
  }
  return true;
}

}  // namespace

bool FitsWindows1252(const QString& text) {
  for (QChar c : text)
    if (ByteOf(c.unicode()) < 0) return false;
  return true;
}

QByteArray ToWindows1252(const QString& text) {
  QByteArray out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    const int b = ByteOf(c.unicode());
    if (b >= 0) {
      out.append(static_cast<char>(b));
      continue;
    }
    out.append('?');
    // One '?' per character, not per UTF-16 unit.
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ++i;
  }
  return out;
}

QString FromWindows1252(const QByteArray& bytes) {
  QString out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    out.append(QChar(b >= 0x80 && b < 0xA0 ? kHighTable[b - 0x80] : char16_t(b)));
  }
  return out;
}

QByteArray EncodeLines(const QStringList& lines) {
  QString text;
  for (const QString& line : lines) {
    text += line;
    text += QStringLiteral("\r\n");
  }
  if (FitsWindows1252(text)) {
    // Code-page bytes that happen to form valid UTF-8 ("Ã©") or start like a byte-order mark
    // ("ï»¿") would be read back as something else: such a text goes out as UTF-8 instead.
    QByteArray bytes = ToWindows1252(text);
    if (DecodeText(bytes) == text) return bytes;
  }
  return kBom + text.toUtf8();
}

QString DecodeText(const QByteArray& bytes) {
  const QByteArray body = bytes.startsWith(kBom) ? bytes.mid(kBom.size()) : bytes;
  // fromUtf8 would drop a second byte-order mark, which is a character of the text here.
  if (IsValidUtf8(body)) return QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom)(body);
  return FromWindows1252(body);
}

QStringList SplitLines(const QString& text) {
  QStringList lines;
  qsizetype start = 0;
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text.at(i);
    if (c != u'\r' && c != u'\n') continue;
    lines.append(text.mid(start, i - start));
    if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n') ++i;
    start = i + 1;
  }
  if (start < n) lines.append(text.mid(start));
  return lines;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  // Never fall back to writing the target in place: a half-written file is what we avoid.
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    file.commit();
    return false;
  }
  return file.commit();
}

bool WriteTextFile(const QString& path, const QStringList& lines) {
  return WriteFileAtomically(path, EncodeLines(lines));
}

std::optional<QString> ReadText(const QString& path) {
  // A pipe or device would block until someone writes to it, or never end.
  if (!QFileInfo(path).isFile()) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  return DecodeText(bytes);
}

std::optional<QStringList> ReadTextFile(const QString& path) {
  const std::optional<QString> text = ReadText(path);
  if (!text) return std::nullopt;
  return SplitLines(*text);
}

}  // namespace platform
