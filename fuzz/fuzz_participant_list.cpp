// The participant list: any file's bytes load; the list keeps its first line and drops only
// empty lines and a header, one start number per kept line, the fields of every line hold no
// TAB and start with no blank, and stepping through the list stays inside it.
#include "FuzzCommon.h"
#include "io/ParticipantList.h"
#include "platform/AnsiText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QStringList lines = platform::SplitLines(platform::DecodeText(bytes));
  qsizetype nonEmpty = 0;
  for (const QString& line : lines) nonEmpty += line.isEmpty() ? 0 : 1;

  TParticipantList list;
  const TParticipantList::TLoaded loaded = list.Load(lines, QStringLiteral("Name:"));
  fuzz::Check(list.Count() <= lines.size() && list.Count() + 1 >= nonEmpty, "line count", QString::number(list.Count()));
  fuzz::Check(loaded.StartNumbers.size() == list.Count(), "one start number per line");
  if (list.Count() > 0) fuzz::Check(list.Current() == 0, "the first line is current");

  for (int i = 0; i < list.Count(); ++i) {
    list.Choose(i);
    const auto p = list.CurrentParticipant();
    fuzz::Check(p.has_value(), "a chosen line has fields");
    for (const QString* field : {&p->Number, &p->Name, &p->Category}) {
      fuzz::Check(!field->contains(u'\t'), "a field holds a TAB", *field);
      fuzz::Check(field->isEmpty() || (*field)[0] != u' ', "a field starts with a blank", *field);
    }
    fuzz::Check(StartNumberChoice(list.Lines()[i]).size() <= 255, "start number longer than 255");
    fuzz::Check(list.CounterText() == QStringLiteral("%1 von %2").arg(i + 1).arg(list.Count()), "counter text",
                list.CounterText());
  }
  list.Choose(0);
  for (int i = 0; i < list.Count(); ++i) list.Step(1);
  fuzz::Check(!list.CurrentParticipant().has_value() && list.Current() == -1, "stepped past the end");
  return 0;
}
