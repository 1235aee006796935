// The 8-bit text decoder: any bytes decode, the lines of a decoded text written and read
// again are the same lines, and no line holds a line end.
#include "FuzzCommon.h"
#include "platform/AnsiText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QStringList lines = platform::SplitLines(platform::DecodeText(bytes));
  for (const QString& line : lines)
    fuzz::Check(!line.contains(u'\r') && !line.contains(u'\n'), "a line holds a line end", line);
  const QStringList back = platform::SplitLines(platform::DecodeText(platform::EncodeLines(lines)));
  fuzz::Check(back == lines, "lines written and read again differ", lines.join(u'|'));
  // Text that fits the code page goes through it unchanged.
  const QString text = lines.join(QString());
  if (platform::FitsWindows1252(text))
    fuzz::Check(platform::FromWindows1252(platform::ToWindows1252(text)) == text, "code page round trip", text);
  return 0;
}
