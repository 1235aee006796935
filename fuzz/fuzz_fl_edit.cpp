// The float edit: its parser takes any text, and the key filter lets through only characters
// that leave a number inside the bounds with no more decimals than allowed; Value always lies
// inside the bounds.
#include <cmath>

#include "FuzzCommon.h"
#include "widgets/FlEdit.h"

namespace {

class Edit : public TCustomFloatEdit {
public:
  using TCustomFloatEdit::KeyPress;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::EnsureApplication();
  fuzz::Input in(data, size);
  const uint8_t setup = in.Byte();
  const QChar separator = (setup & 1) ? QChar(u',') : QChar(u'.');
  const QString typed = in.Text();

  if (const auto v = ParseFloatText(typed, separator)) fuzz::Check(!std::isnan(*v), "parsed to NaN", typed);

  static Edit* edit = new Edit;
  const uint8_t digits = static_cast<uint8_t>((setup >> 1) & 7);
  const double bounds[] = {-1000.0, -1.5, 0.0, 1.0, 99.9, 1e6};
  double lo = bounds[(setup >> 4) % 6], hi = bounds[in.Byte() % 6];
  if (lo > hi) std::swap(lo, hi);
  edit->SetMin(std::min(lo, edit->Max()));
  edit->SetMax(hi);
  edit->SetMin(lo);
  edit->SetDigits(digits);
  edit->setText(in.Text());

  for (QChar key : typed) {
    // A few control bytes move the cursor or select, as a user would between keys.
    switch (key.unicode()) {
      case 1: edit->home(false); continue;
      case 2: edit->end(false); continue;
      case 3: edit->selectAll(); continue;
      case 4: edit->cursorBackward(false); continue;
      case 5: edit->cursorForward(true); continue;
      default: break;
    }
    const QChar original = key;
    edit->KeyPress(key);
    if (!key.isNull() && key.unicode() >= u' ' && key == original) {
      edit->insert(QString(key));
      const QString text = edit->text();
      const auto v = ParseFloatText(text, edit->DecimalSeparator());
      fuzz::Check(v.has_value(), "an accepted key leaves no number", text);
      fuzz::Check(*v >= edit->Min() && *v <= edit->Max(), "an accepted key leaves the bounds", text);
      const qsizetype at = text.indexOf(edit->DecimalSeparator());
      if (at >= 0 && !text.contains(u'e', Qt::CaseInsensitive))
        fuzz::Check(text.size() - at - 1 <= edit->Digits(), "too many decimals accepted", text);
    }
    const double value = edit->Value();
    fuzz::Check(value >= edit->Min() && value <= edit->Max(), "Value outside the bounds", edit->text());
  }
  return 0;
}
