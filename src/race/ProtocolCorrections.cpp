// Corrections of the race: a time moved to the right rider, a lap deleted or inserted, a
// rider's start number, name or category changed. Each works on the riders' times and computes
// their rows from them, as the presses would have.
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

// The race time of a tick as the protocol shows it.
QString RaceTime(uint32_t tick, uint32_t raceStart) { return FormatDuration(TickDiff(tick, raceStart)); }

}  // namespace

QString TProtocol::MoveLastPress(int32_t row, const QString& toNumber) {
  const TTimesPlan plan = PlanMove(row, RowOfNumber(toNumber), toNumber);
  if (plan.Refusal.isEmpty()) CorrectTimes(plan.Rows);
  return plan.Refusal;
}

bool TProtocol::CanMoveLastPress(int32_t row) const {
  for (int32_t target = 1; target < FGrid.RowCount(); ++target)
    if (target != row && !IsEntryRow(target) && PlanMove(row, target, Cell(pcNumber, target)).Refusal.isEmpty() &&
        RowOfNumber(Cell(pcNumber, target)) == target)
      return true;
  return false;
}

TProtocol::TTimesPlan TProtocol::PlanMove(int32_t row, int32_t target, const QString& toNumber) const {
  if (row < 1 || row >= FGrid.RowCount() || IsEntryRow(row)) return TTimesPlan::Refused(QStringLiteral("In dieser Zeile steht kein Fahrer."));
  const QString from = Cell(pcNumber, row);
  const std::optional<TRiderTimes> source = RowTimes(row);
  if (!source) return TTimesPlan::Refused(QStringLiteral("Für %1 sind keine einzelnen Zeiten gespeichert.").arg(Rider(from)));
  if (source->Presses.empty()) return TTimesPlan::Refused(QStringLiteral("%1 hat noch keine Zeit.").arg(Rider(from)));
  if (target < 0)
    return TTimesPlan::Refused(ParseStartNumber(toNumber) ? QStringLiteral("Es gibt keinen Fahrer mit der Startnummer %1.").arg(NormalStartNumber(toNumber))
                                       : QStringLiteral("Die Startnummer muss eine Zahl größer als 0 sein."));
  const QString number = Cell(pcNumber, target);
  if (target == row) return TTimesPlan::Refused(QStringLiteral("Die Zeit gehört schon zu %1.").arg(Rider(number)));
  const std::optional<TRiderTimes> receiver = RowTimes(target);
  if (!receiver) return TTimesPlan::Refused(QStringLiteral("Für %1 sind keine einzelnen Zeiten gespeichert.").arg(Rider(number)));

  TRiderTimes left = *source;
  TRiderTimes gets = *receiver;
  const uint32_t tick = left.Presses.back();
  const bool stop = left.Stopped;
  left.Presses.pop_back();
  left.Stopped = false;
  if (TickDiff(tick, gets.Start) < 0)
    return TTimesPlan::Refused(QStringLiteral("Die Zeit liegt %1 s vor dem Start von %2.").arg(FormatGap(TickDiff(gets.Start, tick)), Rider(number)));
  const size_t at = InsertionPoint(gets, tick);
  if (stop && gets.Stopped) return TTimesPlan::Refused(QStringLiteral("%1 ist schon gestoppt.").arg(Rider(number)));
  if (stop && at != gets.Presses.size()) return TTimesPlan::Refused(QStringLiteral("%1 hat eine Runde nach dieser STOPP-Zeit.").arg(Rider(number)));
  if (!stop && gets.Stopped && at == gets.Presses.size())
    return TTimesPlan::Refused(QStringLiteral("Die Zeit liegt nach dem STOPP von %1.").arg(Rider(number)));
  gets.Presses.insert(gets.Presses.begin() + static_cast<std::ptrdiff_t>(at), tick);
  gets.Stopped = gets.Stopped || stop;
  if (gets.Laps() > kRaceLaps) return TTimesPlan::Refused(QStringLiteral("%1 hätte dann mehr als fünf Runden.").arg(Rider(number)));
  if (!gets.Stopped && gets.Laps() >= kRaceLaps)
    return TTimesPlan::Refused(QStringLiteral("%1 hätte dann fünf Runden ohne STOPP; die fünfte nimmt STOPP.").arg(Rider(number)));
  return {{}, {{target, gets}, {row, left}}};
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

QString TProtocol::InsertLap(int32_t row, uint32_t tick, uint32_t now, uint32_t raceStart) {
  const TTimesPlan plan = PlanInsert(row, tick, now, raceStart);
  if (plan.Refusal.isEmpty()) CorrectTimes(plan.Rows);
  return plan.Refusal;
}

bool TProtocol::CanInsertLap(int32_t row, uint32_t now, uint32_t raceStart) const {
  const std::optional<TRiderTimes> times = RowTimes(row);
  if (!times || !times->Started) return false;
  // Behind each press (the start included) the first tenths of race time that are clear of it.
  std::vector<uint32_t> presses{times->Start};
  presses.insert(presses.end(), times->Presses.begin(), times->Presses.end());
  for (const uint32_t press : presses) {
    const int64_t tenth = RoundHalfEven(TickDiff(press, raceStart), 100);
    for (int64_t next = tenth + 1; next <= tenth + 2; ++next)
      if (PlanInsert(row, raceStart + static_cast<uint32_t>(next * 100), now, raceStart).Refusal.isEmpty()) return true;
  }
  return false;
}

TProtocol::TTimesPlan TProtocol::PlanInsert(int32_t row, uint32_t tick, uint32_t now, uint32_t raceStart) const {
  if (row < 1 || row >= FGrid.RowCount() || IsEntryRow(row)) return TTimesPlan::Refused(QStringLiteral("In dieser Zeile steht kein Fahrer."));
  const QString number = Cell(pcNumber, row);
  const std::optional<TRiderTimes> kept = RowTimes(row);
  if (!kept) return TTimesPlan::Refused(QStringLiteral("Für %1 sind keine einzelnen Zeiten gespeichert.").arg(Rider(number)));
  TRiderTimes times = *kept;
  if (times.Stopped && times.Laps() >= kRaceLaps) return TTimesPlan::Refused(QStringLiteral("%1 hat schon fünf Runden.").arg(Rider(number)));
  if (!times.Stopped && times.Laps() >= kRaceLaps - 1)
    return TTimesPlan::Refused(QStringLiteral("%1 hat schon vier Runden; die fünfte nimmt STOPP.").arg(Rider(number)));
  if (TickDiff(now, tick) < 0) {
    // The clock's time, as proposed when the question opened, is now; anything later is not yet.
    if (RaceTime(tick, raceStart) != RaceTime(now, raceStart)) return TTimesPlan::Refused(QStringLiteral("Die Zeit liegt in der Zukunft."));
    tick = now;
  }
  // A race time typed as the protocol shows one of the rider's presses is that press; so is
  // one so close that the lap between would read 0,0.
  const QString shown = RaceTime(tick, raceStart);
  for (int32_t k = 0; k <= times.Laps(); ++k) {
    const uint32_t press = k == 0 ? times.Start : times.Presses[static_cast<size_t>(k - 1)];
    const int32_t apart = TickDiff(tick, press);
    if (RaceTime(press, raceStart) != shown && (apart < -50 || apart > 50)) continue;  // 50 ms read 0,0
    const QString which = k == 0 ? QStringLiteral("START")
                          : k == times.Laps() && times.Stopped ? QStringLiteral("STOPP")
                                                                : QStringLiteral("Runde %1").arg(k);
    return TTimesPlan::Refused(QStringLiteral("Die Zeit %1 fällt auf eine Zeit von %2: %3 bei %4.")
                .arg(shown, Rider(number), which, RaceTime(press, raceStart)));
  }
  if (TickDiff(tick, times.Start) <= 0) return TTimesPlan::Refused(QStringLiteral("Die Zeit liegt nicht nach dem Start von %1.").arg(Rider(number)));
  const size_t at = InsertionPoint(times, tick);
  if (times.Stopped && at == times.Presses.size())
    return TTimesPlan::Refused(QStringLiteral("Die Zeit liegt nach dem STOPP von %1.").arg(Rider(number)));
  times.Presses.insert(times.Presses.begin() + static_cast<std::ptrdiff_t>(at), UsableTick(tick));
  return {{}, {{row, times}}};
}

QString TProtocol::EditRider(int32_t row, const QString& number, const QString& name, const QString& category) {
  if (row < 1 || row >= FGrid.RowCount() || IsEntryRow(row))
    return QStringLiteral("In dieser Zeile steht kein Fahrer; die Eingabefelder gelten für den nächsten START.");
  const std::optional<int32_t> value = ParseStartNumber(number);
  if (!value) return QStringLiteral("Die Startnummer muss eine Zahl größer als 0 sein.");
  const QString text = QString::number(*value);
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
