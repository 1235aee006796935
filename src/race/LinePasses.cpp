#include "race/LinePasses.h"

#include <algorithm>

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
  if (!session_.OpenTimes().Empty()) return GiveTime(*session_.OpenTimes().MarkedTime(), typed, forced);
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

QString TLinePasses::GiveTime(const TOpenTime& time, const QString& typed, bool forced) {
  const QString shown = ShownTime(time.Tick);
  const auto refused = [&shown](const QString& why) { return QStringLiteral("%1 Die Zeit %2 bleibt offen.").arg(why, shown); };
  const std::optional<int32_t> number = ParseStartNumber(typed);
  TProtocol& protocol = session_.Protocol();
  const int32_t row = number ? protocol.RowOfNumber(QString::number(*number)) : -1;
  if (row < 1) return refused(RiderOnCourse(typed).Refusal);
  const std::optional<TRiderTimes> times = protocol.RowTimes(row);
  if (!times || !times->Started) return refused(RiderOnCourse(typed).Refusal);

  const QString rider = Rider(*number);
  const QString text = QStringLiteral("Zeit %1 an %2").arg(shown, rider) +
                       (time.Device.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(time.Device));
  // An open time leaves the list in the step that gives it; a station's instant was none.
  const auto change = [&](const QString& event, const std::function<void()>& operation) {
    if (time.Serial != 0)
      session_.ChangeTakingOpenTime(text, rider, QStringLiteral("ASSIGN"), time.Serial, operation);
    else
      session_.Change(text, rider, event, operation);
  };
  QString refusal;
  // A time that reads as his last press, or as good as (a lap of 0,0), is that press: the
  // inserted lap's rules refuse it.
  if (TickDiff(time.Tick, times->LastPress()) > kSamePressMs && !times->Stopped) {
    // After his last press: his next press, as F4 or F9 at that instant would have given it.
    const bool stop = times->Laps() == kRaceLaps - 1;
    if (!forced) {
      const QString guard = host_.GuardRefusal(stop ? QStringLiteral("STOPP") : QStringLiteral("LAP"), row, time.Tick);
      if (!guard.isEmpty()) return refused(guard);
    }
    host_.SelectRow(row);
    change(stop ? QStringLiteral("STOPP") : QStringLiteral("LAP"), [&] {
      if (stop)
        protocol.StopRider(time.Tick);
      else
        protocol.RecordLap(time.Tick);
    });
    return {};
  }
  // Before a press he has already: a lap inserted between his presses, by the same rules.
  change(QStringLiteral("INSLAP"), [&] { refusal = protocol.InsertLap(row, time.Tick, host_.Now(), host_.RaceStart()); });
  return refusal.isEmpty() ? QString() : refused(refusal);
}

QString TLinePasses::StationPassed(const QString& device, std::optional<uint32_t> tick, const QString& typed) {
  if (!host_.Running()) return QStringLiteral("Das Rennen läuft nicht: keine Zeit genommen.");
  if (tick) {
    // The station's clock may be a little ahead of ours; a pass cannot be later than now.
    const uint32_t now = host_.Now();
    if (TickDiff(*tick, now) > 0) tick = now;
    if (TickDiff(*tick, host_.RaceStart()) < 0) return QStringLiteral("Zeit vor dem Start: nicht genommen.");
  }
  if (!tick) return NumberForOldest(device, typed);
  TOpenTime time;
  time.Tick = UsableTick(*tick);
  time.Device = device;
  if (typed.isEmpty()) {
    QString refusal;
    session_.Group(QStringLiteral("Offene Zeit %1 (%2)").arg(ShownTime(time.Tick), device), [&] {
      session_.MakeOpenTime(time, ShownTime(time.Tick));
      refusal = ServeWaitingNumbers();
    });
    return refusal;
  }
  QString refusal;
  if (host_.AsideFromOperator)
    host_.AsideFromOperator([&] { refusal = GiveTime(time, typed, false); });
  else
    refusal = GiveTime(time, typed, false);
  if (refusal.isEmpty()) return {};
  // Refused: the instant is kept, with the number, for the operator to give.
  time.Number = NormalStartNumber(typed);
  session_.MakeOpenTime(time, ShownTime(time.Tick));
  return refusal;
}

QString TLinePasses::NumberForOldest(const QString& device, const QString& typed) {
  const auto& times = session_.OpenTimes().Times();
  const auto oldest = std::find_if(times.begin(), times.end(), [](const TOpenTime& t) { return t.Number.isEmpty(); });
  if (oldest == times.end()) {
    TOpenTime number;
    number.Number = NormalStartNumber(typed);
    number.Device = device;
    session_.AddWaitingNumber(number);
    return {};
  }
  const TOpenTime time = *oldest;
  QString refusal;
  const auto give = [&] { refusal = GiveTime(time, typed, false); };
  session_.Group(QStringLiteral("Nr. %1 an Zeit %2").arg(NormalStartNumber(typed), ShownTime(time.Tick)), [&] {
    if (host_.AsideFromOperator)
      host_.AsideFromOperator(give);
    else
      give();
    // A number that named nobody stays noted on its time, so the next number takes the next time.
    if (!refusal.isEmpty()) session_.NoteOpenTimeNumber(time.Serial, NormalStartNumber(typed), ShownTime(time.Tick));
  });
  return refusal;
}

QString TLinePasses::ServeWaitingNumbers() {
  QString refusals;
  while (!session_.WaitingNumbers().empty()) {
    const auto& times = session_.OpenTimes().Times();
    if (std::none_of(times.begin(), times.end(), [](const TOpenTime& t) { return t.Number.isEmpty(); })) break;
    const std::optional<TOpenTime> number = session_.TakeWaitingNumber();
    const QString refusal = NumberForOldest(number->Device, number->Number);
    if (!refusal.isEmpty()) refusals = refusal;
  }
  return refusals;
}
