#include "race/RiderTimes.h"

#include <QStringList>

#include "grid/SortCompare.h"
#include "race/Protocol.h"
#include "race/TimeText.h"

bool TRiderTimes::IsValid() const {
  if (!Started) return Presses.empty() && !Stopped;
  const int32_t laps = Laps();
  if (laps > kRaceLaps || (Stopped && laps == 0)) return false;
  // 0 is the stopped mark and no tick.
  for (uint32_t press : Presses)
    if (press == 0) return false;
  return Start != 0;
}

bool TRiderTimes::InOrder() const {
  // A press may fall in the millisecond of the one before.
  uint32_t previous = Start;
  for (uint32_t press : Presses) {
    if (TickDiff(press, previous) < 0) return false;
    previous = press;
  }
  return true;
}

QString TRiderTimes::ToText() const {
  if (!Started) return {};
  QStringList presses;
  for (uint32_t press : Presses) presses << QString::number(press);
  return QStringLiteral("%1|%2|%3").arg(Start).arg(presses.join(u',')).arg(Stopped ? QStringLiteral("S") : QString());
}

std::optional<TRiderTimes> TRiderTimes::FromText(const QString& text) {
  TRiderTimes times;
  if (text.isEmpty()) return times;
  const QStringList parts = text.split(u'|');
  if (parts.size() != 3 || (!parts[2].isEmpty() && parts[2] != QLatin1String("S"))) return std::nullopt;
  bool ok = false;
  times.Started = true;
  times.Start = parts[0].toUInt(&ok);
  if (!ok) return std::nullopt;
  if (!parts[1].isEmpty()) {
    for (const QString& press : parts[1].split(u',')) {
      times.Presses.push_back(press.toUInt(&ok));
      if (!ok) return std::nullopt;
    }
  }
  times.Stopped = parts[2] == QLatin1String("S");
  if (!times.IsValid()) return std::nullopt;
  return times;
}

TTimeCells ComputeTimeCells(const TRiderTimes& times, const std::function<int32_t(int k)>& lapDistance) {
  // Index i of the result is protocol column 4 + i.
  TTimeCells cells;
  auto cell = [&cells](int32_t col) -> QString& { return cells[static_cast<size_t>(col - pcLap5)]; };
  if (!times.Started) return cells;
  const int32_t k = times.Laps();
  cell(pcLapCount) = QString::number(k);
  if (k == 0) {
    cell(pcStartTick) = TickToText(times.Start);
    return cells;
  }
  // The newest lap in "Lap1", the older ones to its left, five at most.
  uint32_t later = times.Presses.back();
  for (int32_t i = k - 1, col = pcLap1; i >= 0 && col >= pcLap5; --i, --col) {
    const uint32_t earlier = i > 0 ? times.Presses[static_cast<size_t>(i - 1)] : times.Start;
    cell(col) = FormatDuration(TickDiff(later, earlier));
    later = earlier;
  }
  const int32_t total = TickDiff(times.Presses.back(), times.Start);
  // A lap in the millisecond of the start has no speed; the lap itself still counts.
  if (total != 0 && k <= kRaceLaps && lapDistance)
    cell(pcSpeed) = FormatSpeed(static_cast<double>(lapDistance(k)) * 3600.0 / static_cast<double>(total));
  if (times.Stopped) {
    // A stopped rider keeps his total; only a finisher has a time.
    if (k == kRaceLaps) cell(pcTime) = FormatDuration(total);
    cell(pcLastLapTick) = QStringLiteral("0");
    cell(pcStartTick) = QString::number(total);
  } else {
    cell(pcTime) = FormatDuration(total);
    cell(pcLastLapTick) = TickToText(times.Presses.back());
    cell(pcStartTick) = TickToText(times.Start);
  }
  return cells;
}

std::optional<TRiderTimes> TimesFromCells(const std::array<QString, 14>& cells) {
  const std::optional<uint32_t> start = TickFromText(cells[pcStartTick]);
  // A stopped rider's start is gone from his row (column 13 holds his total): not to be had.
  if (!start || cells[pcLastLapTick] == QLatin1String("0")) return std::nullopt;
  TRiderTimes times;
  times.Started = true;
  times.Start = *start;
  // A lap count that is no number counts as none, as a LAP takes it.
  int32_t laps = 0;
  if (!TryStrToInt(cells[pcLapCount], laps) || laps <= 0) return times.IsValid() ? std::optional(times) : std::nullopt;
  const std::optional<uint32_t> last = TickFromText(cells[pcLastLapTick]);
  if (!last || laps > kRaceLaps) return std::nullopt;
  // Back from the last press by the lap texts; the first lap takes what is left.
  times.Presses.assign(static_cast<size_t>(laps), *last);
  for (int32_t i = laps - 1, col = pcLap1; i >= 1; --i, --col) {
    const std::optional<int32_t> lap = ParseDuration(cells[static_cast<size_t>(col)]);
    if (!lap) return std::nullopt;
    times.Presses[static_cast<size_t>(i - 1)] = times.Presses[static_cast<size_t>(i)] - static_cast<uint32_t>(*lap);
  }
  if (!times.IsValid()) return std::nullopt;
  return times;
}
