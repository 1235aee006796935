// The sort styles' conversions and comparisons: every comparison is a consistent order on any
// two texts (a text equals itself, swapping the sides swaps the sign), and an integer that
// converts gives back its own text.
#include "FuzzCommon.h"
#include "grid/SortCompare.h"
#include "platform/LocaleFormats.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

void CheckOrder(int (*compare)(const QString&, const QString&), const char* name, const QString& a, const QString& b) {
  fuzz::Check(compare(a, a) == 0, name, QStringLiteral("a != a: ") + a);
  fuzz::Check(Sign(compare(a, b)) == -Sign(compare(b, a)), name, QStringLiteral("not antisymmetric: ") + a + u'|' + b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::EnsureApplication();
  fuzz::Input in(data, size);
  const QString a = in.Text();
  const QString b = in.Text();
  CheckOrder(ComparePlain, "plain", a, b);
  CheckOrder(CompareNumeric, "numeric", a, b);
  CheckOrder(CompareDateTime, "date-time", a, b);
  CheckOrder(CompareTime, "time", a, b);
  // The mixed style answers 1 both ways for numerically equal texts such as "01" and "1", as
  // its rule says; it never answers "smaller" both ways.
  fuzz::Check(CompareNumericExtended(a, a) == 0, "numeric-extended: a != a", a);
  const int ab = Sign(CompareNumericExtended(a, b)), ba = Sign(CompareNumericExtended(b, a));
  fuzz::Check(ab == -ba || (ab == 1 && ba == 1), "numeric-extended not antisymmetric", a + u'|' + b);
  fuzz::Check(LowerAscii(a).size() == a.size(), "lower case changed the length", a);

  int32_t value = 0;
  if (TryStrToInt(a, value)) {
    int32_t again = 0;
    fuzz::Check(TryStrToInt(QString::number(value), again) && again == value, "integer round trip", a);
  }
  if (const auto number = platform::StrToFloat(a)) {
    fuzz::Check(*number == *number, "a number converted to NaN", a);
  }
  if (const auto time = platform::StrToTime(a)) fuzz::Check(time->isValid(), "an invalid time converted", a);
  if (const auto stamp = platform::StrToDateTime(a)) fuzz::Check(stamp->isValid(), "an invalid date converted", a);
  return 0;
}
