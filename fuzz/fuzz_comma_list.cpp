// The comma list: items written and read again are the same items, and any text read, written
// and read again gives what the first read gave.
#include "FuzzCommon.h"
#include "grid/CommaList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const bool asItems = in.Byte() & 1;
  if (asItems) {
    QStringList items;
    while (!in.Empty()) items << in.Text();
    const QStringList back = ReadCommaList(WriteCommaList(items));
    fuzz::Check(back == items, "items written and read differ", WriteCommaList(items));
  } else {
    const QString text = QString::fromUtf8(in.Rest());
    const QStringList first = ReadCommaList(text);
    const QStringList again = ReadCommaList(WriteCommaList(first));
    fuzz::Check(again == first, "a read list written and read again differs", text);
  }
  return 0;
}
