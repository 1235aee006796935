// The race journal's reader. Three ways in, chosen by the first byte: a line with any bytes;
// a line made valid by its own checksum, so the fields behind the check are reached; and a
// whole file. A decoded line encodes to a line that decodes to the same record; a file's
// replay never holds more rows than its last line says, and its counts agree. Lines of all
// three formats are read; a line is written in the third.
#include <QFile>

#include "FuzzCommon.h"
#include "io/Journal.h"
#include "race/Protocol.h"

namespace {

bool SameRecord(const TJournalRecord& a, const TJournalRecord& b) {
  return a.Seq == b.Seq && a.Event == b.Event && a.Tick == b.Tick && a.Wall == b.Wall && a.Boot == b.Boot &&
         a.State == b.State && a.RaceStartTick == b.RaceStartTick && a.RoundLen == b.RoundLen &&
         a.LapTable == b.LapTable && a.CanSort == b.CanSort && a.SelectedRow == b.SelectedRow &&
         a.RowCount == b.RowCount && a.Rows == b.Rows && a.CorrectionCount == b.CorrectionCount &&
         a.NewCorrections == b.NewCorrections && a.OpenTimeCount == b.OpenTimeCount && a.OpenTimes == b.OpenTimes;
}

void CheckLine(const QByteArray& line) {
  const auto record = DecodeJournalLine(line);
  if (!record) return;
  fuzz::Check(record->RowCount >= 1, "row count below one");
  for (const auto& [index, cells] : record->Rows) {
    fuzz::Check(index >= 0 && index < record->RowCount, "row outside the count");
    fuzz::Check(cells.size() == kJournalRowFields, "row with a wrong cell count");
  }
  fuzz::Check(record->NewCorrections.size() <= record->CorrectionCount, "more new corrections than corrections");
  fuzz::Check(record->OpenTimes ? record->OpenTimes->size() == record->OpenTimeCount : record->OpenTimeCount > 0,
              "open times that disagree with their count");
  QByteArray encoded = EncodeJournalLine(*record);
  fuzz::Check(encoded.endsWith('\n'), "encoded line without its end");
  encoded.chop(1);
  const auto again = DecodeJournalLine(encoded);
  fuzz::Check(again && SameRecord(*again, *record), "a record encoded and decoded differs", QString::fromUtf8(encoded));
  // A first line must carry its open times; one that keeps them from a line before does not fit.
  TRaceSnapshot state;
  const bool fits = ApplyJournalRecord(*record, state);
  fuzz::Check(fits == record->OpenTimes.has_value(), "a first line fits only with its open times");
  if (!fits) return;
  fuzz::Check(state.Rows.size() == size_t(record->RowCount), "applied row count");
  fuzz::Check(state.Corrections == record->NewCorrections, "applied corrections of a first line");
  fuzz::Check(state.OpenTimes == *record->OpenTimes, "applied open times of a first line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t mode = in.Byte() % 3;
  QByteArray body = in.Rest();
  if (mode == 0) {
    CheckLine(body);
  } else if (mode == 1) {
    body.replace('\n', ' ');
    const uint32_t crc = Crc32(body.constData(), size_t(body.size()));
    CheckLine(body + "\t*" + QByteArray::number(crc, 16).rightJustified(8, '0'));
  } else {
    const QString path = fuzz::ScratchFolder() + QStringLiteral("/Veltrano.journal");
    {
      QFile f(path);
      if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) fuzz::Fail("cannot write the scratch file");
      f.write(body);
    }
    const TJournalContents contents = ReadJournal(path);
    fuzz::Check(contents.Exists, "the file is not found");
    const qsizetype lines = body.count('\n');
    fuzz::Check(contents.ValidLines <= lines, "more valid lines than lines");
    fuzz::Check(contents.CorruptLine == 0 || (contents.CorruptLine == contents.ValidLines + 1 && contents.CorruptLine < lines),
                "damaged line number", QString::number(contents.CorruptLine));
    if (contents.ValidLines == 0) fuzz::Check(contents.State == TRaceSnapshot{}, "state from no line");
    for (const QStringList& row : contents.State.Rows)
      fuzz::Check(row.size() == kJournalRowFields, "restored row with a wrong cell count");
  }
  return 0;
}
