#include "race/OpenTimes.h"

#include <algorithm>

#include "race/TimeText.h"

QString TOpenTime::ToText() const {
  return QStringLiteral("%1|%2|%3").arg(Tick == 0 ? QStringLiteral("-") : QString::number(Tick), Number, Device);
}

std::optional<TOpenTime> TOpenTime::FromText(const QString& text) {
  const qsizetype first = text.indexOf(u'|');
  const qsizetype second = first < 0 ? -1 : text.indexOf(u'|', first + 1);
  if (second < 0) return std::nullopt;
  bool ok = false;
  const bool waiting = text.left(first) == QLatin1String("-");
  const qulonglong tick = waiting ? 0 : text.left(first).toULongLong(&ok);
  if (!waiting && (!ok || tick == 0 || tick > 0xFFFFFFFFull)) return std::nullopt;
  TOpenTime time;
  time.Tick = static_cast<uint32_t>(tick);
  time.Number = text.mid(first + 1, second - first - 1);
  time.Device = text.mid(second + 1);
  return time;
}

int TOpenTimes::Marked() const {
  if (times_.empty()) return -1;
  if (!marked_) return 0;
  const auto it = std::find_if(times_.begin(), times_.end(), [this](const TOpenTime& t) { return t.Serial == *marked_; });
  return it == times_.end() ? 0 : static_cast<int>(it - times_.begin());
}

const TOpenTime* TOpenTimes::MarkedTime() const {
  const int index = Marked();
  return index < 0 ? nullptr : &times_[static_cast<size_t>(index)];
}

void TOpenTimes::MoveMark(int delta) {
  if (times_.empty()) return;
  Mark(std::clamp(Marked() + delta, 0, static_cast<int>(times_.size()) - 1));
}

void TOpenTimes::Mark(int index) {
  if (index < 0 || index >= static_cast<int>(times_.size()))
    marked_.reset();
  else
    marked_ = times_[static_cast<size_t>(index)].Serial;
}

void TOpenTimes::Add(TOpenTime time) {
  // Ticks wrap: a time is older than another when their difference says so.
  const auto at = std::find_if(times_.begin(), times_.end(),
                               [&time](const TOpenTime& t) { return TickDiff(t.Tick, time.Tick) > 0; });
  times_.insert(at, std::move(time));
}

std::optional<TOpenTime> TOpenTimes::Remove(uint64_t serial) {
  const auto it = std::find_if(times_.begin(), times_.end(), [serial](const TOpenTime& t) { return t.Serial == serial; });
  if (it == times_.end()) return std::nullopt;
  TOpenTime removed = std::move(*it);
  times_.erase(it);
  if (marked_ == serial) marked_.reset();
  return removed;
}

void TOpenTimes::Clear() {
  times_.clear();
  marked_.reset();
}

std::vector<TOpenTimeLine> OpenTimeLines(const TOpenTimes& times, uint32_t raceStart, uint32_t now, size_t most) {
  std::vector<TOpenTimeLine> lines;
  const int marked = times.Marked();
  for (const TOpenTime& time : times.Times()) {
    if (lines.size() >= most) break;
    TOpenTimeLine line;
    line.Text = FormatDuration(TickDiff(time.Tick, raceStart));
    if (!time.Number.isEmpty()) line.Text += QStringLiteral("  Nr. %1?").arg(time.Number);
    if (!time.Device.isEmpty()) line.Text += QStringLiteral("  (%1)").arg(time.Device);
    const int32_t age = TickDiff(now, time.Tick);
    line.Old = age > kOldOpenTimeMs;
    if (line.Old) line.Text += QStringLiteral("  vor %1 min").arg(age / 60000);
    line.Marked = static_cast<int>(lines.size()) == marked;
    lines.push_back(std::move(line));
  }
  return lines;
}
