#include "net/LivePages.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <map>


namespace {

QJsonArray LapTimes(const TLiveRider& rider) {
  QJsonArray laps;
  for (int k = 0; k < rider.laps; ++k) laps.append(rider.lapTimes[static_cast<size_t>(k)]);
  return laps;
}

QJsonObject RiderJson(const TLiveRider& rider, int32_t runningShiftMs) {
  QJsonObject o;
  o["place"] = rider.place;
  o["number"] = rider.number;
  o["name"] = rider.name;
  o["category"] = rider.category;
  o["laps"] = rider.laps;
  o["lapTimes"] = LapTimes(rider);
  o["lastLap"] = rider.LastLap();
  o["speed"] = rider.speed;
  o["time"] = rider.time;
  if (rider.state == TLiveRider::State::OnCourse) o["runningMs"] = rider.RunningMs(runningShiftMs);
  else o["finished"] = rider.state == TLiveRider::State::Finished;
  return o;
}

const char* KindName(TLiveEvent::Kind kind) {
  switch (kind) {
    case TLiveEvent::Kind::Start: return "start";
    case TLiveEvent::Kind::Lap: return "lap";
    case TLiveEvent::Kind::Finish: return "finish";
    case TLiveEvent::Kind::Stop: return "stop";
  }
  return "start";
}

QJsonObject EventJson(const TLiveEvent& event) {
  QJsonObject o;
  o["kind"] = KindName(event.kind);
  o["clock"] = event.wallClock;
  o["number"] = event.number;
  o["name"] = event.name;
  o["category"] = event.category;
  o["lap"] = event.lap;
  o["lapTime"] = event.lapTime;
  o["place"] = event.place;
  o["time"] = event.time;
  return o;
}

QJsonArray CategoriesJson(const TLiveSnapshot& snapshot) {
  QJsonArray result;
  for (const TLiveCategory& category : LiveCategories(snapshot.riders)) {
    QJsonArray list;
    for (const TLiveRider* rider : category.riders) list.append(RiderJson(*rider, snapshot.runningShiftMs));
    result.append(QJsonObject{{"name", category.name}, {"riders", list}});
  }
  return result;
}

QByteArray Resource(const char* name) {
  QFile file(QStringLiteral(":/live/%1").arg(QLatin1String(name)));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray HtmlEscaped(const QString& text) { return text.toHtmlEscaped().toUtf8(); }

// The shell with each {{NAME}} replaced in one pass, so no inserted text is read again.
QByteArray Fill(const QByteArray& shell, const std::map<QByteArray, QByteArray>& values) {
  QByteArray out;
  out.reserve(shell.size() + 4096);
  qsizetype at = 0;
  for (;;) {
    const qsizetype open = shell.indexOf("{{", at);
    const qsizetype close = open < 0 ? -1 : shell.indexOf("}}", open + 2);
    if (close < 0) break;
    out.append(shell.mid(at, open - at));
    const auto value = values.find(shell.mid(open + 2, close - open - 2));
    out.append(value != values.end() ? value->second : shell.mid(open, close + 2 - open));
    at = close + 2;
  }
  out.append(shell.mid(at));
  return out;
}

QByteArray Page(const char* page, const QString& heading, const TLiveSnapshot& snapshot, const QByteArray& json) {
  static const QByteArray shell = Resource("page.html");
  static const QByteArray style = Resource("live.css");
  static const QByteArray script = Resource("live.js");
  return Fill(shell, {{"STYLE", style},
                      {"SCRIPT", script},
                      {"PAGE", page},
                      {"TITLE", HtmlEscaped(snapshot.title)},
                      {"HEADING", HtmlEscaped(heading)},
                      {"DATA", json}});
}

// The page a phone at the course opens to become a timing station. Its own shell: it shares
// nothing of the results pages but the data.
QByteArray StationPage(const TLiveSnapshot& snapshot, const QByteArray& json) {
  static const QByteArray shell = Resource("station.html");
  static const QByteArray style = Resource("station.css");
  static const QByteArray script = Resource("station.js");
  return Fill(shell, {{"STYLE", style}, {"SCRIPT", script}, {"TITLE", HtmlEscaped(snapshot.title)}, {"DATA", json}});
}

}  // namespace

QByteArray LiveResultsJson(const TLiveSnapshot& snapshot) {
  QJsonObject root;
  root["serial"] = static_cast<double>(snapshot.serial);
  root["title"] = snapshot.title;
  root["running"] = snapshot.raceRunning;
  root["raceMs"] = snapshot.raceMs;
  root["takenAt"] = static_cast<double>(snapshot.takenAtMs);
  root["categories"] = CategoriesJson(snapshot);
  QJsonArray onCourse;
  for (const TLiveRider& rider : snapshot.riders)
    if (rider.state == TLiveRider::State::OnCourse) onCourse.append(RiderJson(rider, snapshot.runningShiftMs));
  root["onCourse"] = onCourse;
  QJsonArray events;
  for (const TLiveEvent& event : snapshot.events) events.append(EventJson(event));
  root["events"] = events;
  // The starter's phone: who goes next, and when the automatic start is due (0: none).
  if (!snapshot.nextNumber.isEmpty() || !snapshot.nextName.isEmpty())
    root["next"] = QJsonObject{{"number", snapshot.nextNumber},
                               {"name", snapshot.nextName},
                               {"atMs", static_cast<double>(snapshot.nextStartAtMs)}};
  QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Compact);
  // Only texts can hold these characters, and there the escapes mean the same.
  json.replace("<", "\\u003c").replace(">", "\\u003e").replace("&", "\\u0026");
  json.replace("\xE2\x80\xA8", "\\u2028").replace("\xE2\x80\xA9", "\\u2029");
  return json;
}

TLivePublication RenderLivePublication(const TLiveSnapshot& snapshot) {
  TLivePublication publication;
  publication.serial = snapshot.serial;
  publication.pushData = LiveResultsJson(snapshot);
  const QByteArray html = "text/html; charset=utf-8";
  const TLiveResource results{html, Page("ergebnisse", QStringLiteral("Live-Ergebnisse"), snapshot, publication.pushData)};
  const TLiveResource announcer{html, Page("sprecher", QStringLiteral("Sprecher"), snapshot, publication.pushData)};
  publication.resources[QStringLiteral("/")] = results;
  publication.resources[QStringLiteral("/index.html")] = results;
  publication.resources[QStringLiteral("/sprecher")] = announcer;
  publication.resources[QStringLiteral("/sprecher.html")] = announcer;
  const TLiveResource station{html, StationPage(snapshot, publication.pushData)};
  publication.resources[QStringLiteral("/station")] = station;
  publication.resources[QStringLiteral("/station.html")] = station;
  publication.resources[QStringLiteral("/api/results.json")] = {"application/json; charset=utf-8", publication.pushData};
  return publication;
}
