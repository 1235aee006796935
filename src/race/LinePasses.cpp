#include "race/LinePasses.h"

#include "race/TimeText.h"

namespace {

QString Rider(int32_t number) { return QStringLiteral("Nr. %1").arg(number); }

// Presses this close read as one: the lap between would show 0,0.
constexpr int32_t kSamePressMs = 50;

}  // namespace

TLinePasses::TLinePasses(TRaceSession& session, TLinePassHost host) : session_(session), host_(std::move(host)) {}

QString TLinePasses::ShownTime(uint32_t tick) const { return FormatDuration(TickDiff(tick, host_.RaceStart())); }

TNumberedRider TLinePasses::RiderOnCourse(const QString& typed) const {
  const std::optional<int32_t> number = ParseStartNumber(typed);
  if (!number) return {-1, false, QStringLiteral("„%1“ ist keine Startnummer.").arg(typed.trimmed())};
  const TProtocol& protocol = session_.Protocol();
  const int32_t row = protocol.RowOfNumber(QString::number(*number));
  if (row < 1) return {-1, false, QStringLiteral("%1: kein Fahrer mit dieser Startnummer im Protokoll.").arg(Rider(*number))};
  const std::optional<TRiderTimes> times = protocol.RowTimes(row);
  if (!times || !times->Started) return {-1, false, QStringLiteral("%1 ist nicht gestartet.").arg(Rider(*number))};
  if (times->Stopped || times->Laps() >= kRaceLaps) return {-1, false, QStringLiteral("%1 ist schon im Ziel.").arg(Rider(*number))};
  return {row, times->Laps() == kRaceLaps - 1, {}};
}

QString TLinePasses::NumberEntered(const QString& typed, uint32_t tick, bool forced) {
  if (!session_.OpenTimes().Empty()) return GiveMarked(typed, forced);
  if (!host_.Running()) return QStringLiteral("Das Rennen läuft nicht: keine Zeit genommen.");
  const TNumberedRider rider = RiderOnCourse(typed);
  if (rider.Row < 0) {
    TOpenTime time;
    time.Tick = UsableTick(tick);
    time.Number = NormalStartNumber(typed);
    session_.MakeOpenTime(time, ShownTime(time.Tick));
    return QStringLiteral("%1 Die Zeit %2 bleibt offen.").arg(rider.Refusal, ShownTime(time.Tick));
  }
  host_.SelectRow(rider.Row);
  host_.Press(rider.Stop, tick, forced);
  return {};
}

QString TLinePasses::RowPassed(int32_t row, uint32_t tick, bool forced) {
  if (!host_.Running()) return QStringLiteral("Das Rennen läuft nicht: keine Zeit genommen.");
  const std::optional<TRiderTimes> times = session_.Protocol().RowTimes(row);
  if (!times || !times->Started || times->Stopped || times->Laps() >= kRaceLaps)
    return QStringLiteral("Dieser Fahrer ist nicht mehr auf der Strecke.");
  host_.SelectRow(row);
  host_.Press(times->Laps() == kRaceLaps - 1, tick, forced);
  return {};
}

QString TLinePasses::TimeTaken(uint32_t tick, const QString& device) {
  if (!host_.Running()) return QStringLiteral("Das Rennen läuft nicht: keine Zeit genommen.");
  TOpenTime time;
  time.Tick = UsableTick(tick);
  time.Device = device;
  session_.MakeOpenTime(time, ShownTime(time.Tick));
  return {};
}

QString TLinePasses::DropMarked() {
  const TOpenTime* marked = session_.OpenTimes().MarkedTime();
  if (!marked) return QStringLiteral("Keine offene Zeit zu löschen.");
  session_.DropMarkedOpenTime(ShownTime(marked->Tick));
  return {};
}

QString TLinePasses::GiveMarked(const QString& typed, bool forced) {
  const TOpenTime marked = *session_.OpenTimes().MarkedTime();
  const QString shown = ShownTime(marked.Tick);
  const auto refused = [&shown](const QString& why) { return QStringLiteral("%1 Die Zeit %2 bleibt offen.").arg(why, shown); };
  const std::optional<int32_t> number = ParseStartNumber(typed);
  TProtocol& protocol = session_.Protocol();
  const int32_t row = number ? protocol.RowOfNumber(QString::number(*number)) : -1;
  if (row < 1) return refused(RiderOnCourse(typed).Refusal);
  const std::optional<TRiderTimes> times = protocol.RowTimes(row);
  if (!times || !times->Started) return refused(RiderOnCourse(typed).Refusal);

  const QString rider = Rider(*number);
  const QString text = QStringLiteral("Zeit %1 an %2").arg(shown, rider);
  QString refusal;
  // A time that reads as his last press, or as good as (a lap of 0,0), is that press: the
  // inserted lap's rules refuse it.
  if (TickDiff(marked.Tick, times->LastPress()) > kSamePressMs && !times->Stopped) {
    // After his last press: his next press, as F4 or F9 at that instant would have given it.
    const bool stop = times->Laps() == kRaceLaps - 1;
    if (!forced) {
      const QString guard = host_.GuardRefusal(stop ? QStringLiteral("STOPP") : QStringLiteral("LAP"), row, marked.Tick);
      if (!guard.isEmpty()) return refused(guard);
    }
    host_.SelectRow(row);
    session_.ChangeTakingOpenTime(text, rider, QStringLiteral("ASSIGN"), marked.Serial, [&] {
      if (stop)
        protocol.StopRider(marked.Tick);
      else
        protocol.RecordLap(marked.Tick);
    });
    return {};
  }
  // Before a press he has already: a lap inserted between his presses, by the same rules.
  session_.ChangeTakingOpenTime(text, rider, QStringLiteral("ASSIGN"), marked.Serial,
                                [&] { refusal = protocol.InsertLap(row, marked.Tick, host_.Now(), host_.RaceStart()); });
  return refusal.isEmpty() ? QString() : refused(refusal);
}
