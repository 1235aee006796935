// Corrections of the race: a time moved to the right rider, a lap deleted or inserted, a
// rider's start number, name or category changed. Each works on the riders' times and computes
// their rows from them, as the presses would have.
#include "grid/SortCompare.h"
#include "race/Protocol.h"
#include "race/TimeText.h"

namespace {

QString Rider(const QString& number) { return QStringLiteral("Nr. %1").arg(number); }

// Where a press at tick goes among a rider's presses: behind every press not later than it.
size_t InsertionPoint(const TRiderTimes& times, uint32_t tick) {
  size_t at = times.Presses.size();
  while (at > 0 && TickDiff(times.Presses[at - 1], tick) > 0) --at;
  return at;
}

// The race time of a tick as the clock shows it, for messages.
QString Shown(uint32_t tick, uint32_t start) { return FormatDuration(TickDiff(tick, start)); }

}  // namespace

QString TProtocol::MoveLastPress(int32_t row, const QString& toNumber) {
  if (row < 1 || row >= FGrid.RowCount() || IsEntryRow(row)) return QStringLiteral("In dieser Zeile steht kein Fahrer.");
  const QString from = Cell(pcNumber, row);
  const TRowRecord& source = Record(row);
  if (!source.Times) return QStringLiteral("Für %1 sind keine einzelnen Zeiten gespeichert.").arg(Rider(from));
  if (source.Times->Presses.empty()) return QStringLiteral("%1 hat noch keine Zeit.").arg(Rider(from));
  const QString number = toNumber.trimmed();
  const int32_t target = RowOfNumber(number);
  if (target < 0) return QStringLiteral("Es gibt keinen Fahrer mit der Startnummer %1.").arg(number);
  if (target == row) return QStringLiteral("Die Zeit gehört schon zu %1.").arg(Rider(number));
  const TRowRecord& receiver = Record(target);
  if (!receiver.Times) return QStringLiteral("Für %1 sind keine einzelnen Zeiten gespeichert.").arg(Rider(number));

  TRiderTimes left = *source.Times;
  TRiderTimes gets = *receiver.Times;
  const uint32_t tick = left.Presses.back();
  const bool stop = left.Stopped;
  left.Presses.pop_back();
  left.Stopped = false;
  if (TickDiff(tick, gets.Start) < 0)
    return QStringLiteral("Die Zeit %1 liegt vor dem Start von %2.").arg(Shown(tick, gets.Start), Rider(number));
  const size_t at = InsertionPoint(gets, tick);
  if (stop && gets.Stopped) return QStringLiteral("%1 ist schon gestoppt.").arg(Rider(number));
  if (stop && at != gets.Presses.size())
    return QStringLiteral("%1 hat eine Runde nach dieser STOPP-Zeit.").arg(Rider(number));
  if (!stop && gets.Stopped && at == gets.Presses.size())
    return QStringLiteral("Die Zeit liegt nach dem STOPP von %1.").arg(Rider(number));
  gets.Presses.insert(gets.Presses.begin() + static_cast<std::ptrdiff_t>(at), tick);
  gets.Stopped = gets.Stopped || stop;
  if (gets.Laps() > kRaceLaps) return QStringLiteral("%1 hätte dann mehr als fünf Runden.").arg(Rider(number));
  if (!gets.Stopped && gets.Laps() >= kRaceLaps)
    return QStringLiteral("%1 hätte dann fünf Runden ohne STOPP; die fünfte nimmt STOPP.").arg(Rider(number));
  CorrectTimes({{target, gets}, {row, left}});
  return {};
}

QString TProtocol::DeleteLap(int32_t row, int32_t lap) {
  if (row < 1 || row >= FGrid.RowCount() || IsEntryRow(row)) return QStringLiteral("In dieser Zeile steht kein Fahrer.");
  const TRowRecord& record = Record(row);
  const QString number = Cell(pcNumber, row);
  if (!record.Times) return QStringLiteral("Für %1 sind keine einzelnen Zeiten gespeichert.").arg(Rider(number));
  TRiderTimes times = *record.Times;
  if (lap < 1 || lap > times.Laps()) return QStringLiteral("%1 hat keine Runde %2.").arg(Rider(number)).arg(lap);
  times.Presses.erase(times.Presses.begin() + (lap - 1));
  // The STOPP itself going puts the rider back on course; so does his only press going.
  if (lap == record.Times->Laps() || times.Presses.empty()) times.Stopped = false;
  CorrectTimes({{row, times}});
  return {};
}

QString TProtocol::InsertLap(int32_t row, uint32_t tick, uint32_t now) {
  if (row < 1 || row >= FGrid.RowCount() || IsEntryRow(row)) return QStringLiteral("In dieser Zeile steht kein Fahrer.");
  const TRowRecord& record = Record(row);
  const QString number = Cell(pcNumber, row);
  if (!record.Times) return QStringLiteral("Für %1 sind keine einzelnen Zeiten gespeichert.").arg(Rider(number));
  TRiderTimes times = *record.Times;
  if (times.Stopped && times.Laps() >= kRaceLaps) return QStringLiteral("%1 hat schon fünf Runden.").arg(Rider(number));
  if (!times.Stopped && times.Laps() >= kRaceLaps - 1)
    return QStringLiteral("%1 hat schon vier Runden; die fünfte nimmt STOPP.").arg(Rider(number));
  if (TickDiff(now, tick) < 0) return QStringLiteral("Die Zeit liegt in der Zukunft.");
  if (TickDiff(tick, times.Start) <= 0) return QStringLiteral("Die Zeit liegt nicht nach dem Start von %1.").arg(Rider(number));
  const size_t at = InsertionPoint(times, tick);
  if (times.Stopped && at == times.Presses.size())
    return QStringLiteral("Die Zeit liegt nach dem STOPP von %1.").arg(Rider(number));
  if (at > 0 && times.Presses[at - 1] == tick)
    return QStringLiteral("%1 hat zu dieser Zeit schon eine Runde.").arg(Rider(number));
  times.Presses.insert(times.Presses.begin() + static_cast<std::ptrdiff_t>(at), UsableTick(tick));
  CorrectTimes({{row, times}});
  return {};
}

QString TProtocol::EditRider(int32_t row, const QString& number, const QString& name, const QString& category) {
  if (row < 1 || row >= FGrid.RowCount() || IsEntryRow(row))
    return QStringLiteral("In dieser Zeile steht kein Fahrer; die Eingabefelder gelten für den nächsten START.");
  int32_t value = 0;
  if (!TryStrToInt(number.trimmed(), value) || value <= 0) return QStringLiteral("Die Startnummer muss eine Zahl größer als 0 sein.");
  const QString text = QString::number(value);
  const int32_t other = RowOfNumber(text);
  if (other > 0 && other != row) {
    const QString who = Cell(pcName, other).isEmpty() ? QStringLiteral("Zeile %1").arg(other) : Cell(pcName, other);
    return QStringLiteral("Die Startnummer %1 hat schon %2.").arg(text, who);
  }
  if (text == Cell(pcNumber, row) && name == Cell(pcName, row) && category == Cell(pcCategory, row)) return {};
  const bool recategorised = category != Cell(pcCategory, row);
  SetCell(pcNumber, row, text);
  SetCell(pcName, row, name);
  SetCell(pcCategory, row, category);
  MarkCorrected(row);
  if (recategorised && IsFinisher(row)) {
    const TRowRecord* record = Attached(row);
    RankFinishers();
    SelectRow(RowOfRecord(record));
  } else {
    SelectRow(row);
  }
  return {};
}

void TProtocol::CorrectTimes(const std::vector<std::pair<int32_t, TRiderTimes>>& rows) {
  bool rank = false;
  for (const auto& [row, times] : rows) {
    rank = rank || IsFinisher(row);
    TRowRecord& record = EditRecord(row);
    record.Times = times;
    record.Corrected = true;
    ShowTimes(row);
    // Only a ranking gives a place, and only to a finisher.
    if (!IsFinisher(row)) SetCell(pcPlace, row, QStringLiteral("-"));
    rank = rank || IsFinisher(row);
  }
  const TRowRecord* first = Attached(rows.front().first);
  if (rank) RankFinishers();
  SelectRow(RowOfRecord(first));
}
