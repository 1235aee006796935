// The live pages and their data: what a browser gets, and that nothing from the protocol can
// break out of its place in them.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "net/LivePages.h"

namespace {

TLiveRider Rider(TLiveRider::State state, const QString& place, const QString& nr, const QString& name,
                 const QString& cat, int laps) {
  TLiveRider r;
  r.state = state;
  r.place = place;
  r.number = nr;
  r.name = name;
  r.category = cat;
  r.laps = laps;
  for (int k = 0; k < laps; ++k) r.lapTimes[static_cast<size_t>(k)] = QStringLiteral("1.0%1,0").arg(k);
  r.time = QStringLiteral("5.10,0");
  r.speed = QStringLiteral("35,2");
  return r;
}

TLiveSnapshot Race() {
  TLiveSnapshot s;
  s.serial = 42;
  s.title = QStringLiteral("Veltrano");
  s.raceRunning = true;
  s.raceMs = 600000;
  using State = TLiveRider::State;
  s.riders = {Rider(State::Finished, "1", "3", "Anna", "F", 5), Rider(State::Finished, "2", "5", "Cleo", "F", 5),
              Rider(State::Stopped, "-", "6", "Dora", "F", 2), Rider(State::Finished, "1", "4", "Ben", "M", 5),
              Rider(State::OnCourse, "-", "8", "Emil", "M", 3)};
  s.riders.back().runningMs = 123456;
  TLiveEvent finish;
  finish.kind = TLiveEvent::Kind::Finish;
  finish.wallClock = "10:15:03";
  finish.number = "4";
  finish.name = "Ben";
  finish.category = "M";
  finish.place = "1";
  s.events = {finish};
  return s;
}

QJsonObject Parse(const QByteArray& json) {
  QJsonParseError error;
  const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
  return doc.object();
}

}  // namespace

TEST(LivePages, TheDataGroupsTheRankedRidersPerCategoryAndListsThoseOnCourse) {
  const QJsonObject data = Parse(LiveResultsJson(Race()));
  EXPECT_EQ(data["serial"].toInt(), 42);
  EXPECT_TRUE(data["running"].toBool());
  const QJsonArray categories = data["categories"].toArray();
  ASSERT_EQ(categories.size(), 2);
  EXPECT_EQ(categories[0].toObject()["name"].toString(), "F");
  const QJsonArray women = categories[0].toObject()["riders"].toArray();
  ASSERT_EQ(women.size(), 3);
  EXPECT_EQ(women[0].toObject()["name"].toString(), "Anna");
  EXPECT_EQ(women[1].toObject()["place"].toString(), "2");
  EXPECT_FALSE(women[2].toObject()["finished"].toBool()) << "stopped before the fifth lap";
  EXPECT_EQ(women[0].toObject()["lapTimes"].toArray().size(), 5);
  EXPECT_EQ(women[0].toObject()["lastLap"].toString(), "1.04,0");
  EXPECT_EQ(categories[1].toObject()["riders"].toArray()[0].toObject()["name"].toString(), "Ben");
  const QJsonArray onCourse = data["onCourse"].toArray();
  ASSERT_EQ(onCourse.size(), 1);
  EXPECT_EQ(onCourse[0].toObject()["runningMs"].toInt(), 123456);
  EXPECT_EQ(onCourse[0].toObject()["lapTimes"].toArray().size(), 3);
  EXPECT_EQ(data["events"].toArray()[0].toObject()["kind"].toString(), "finish");
  EXPECT_EQ(data["events"].toArray()[0].toObject()["place"].toString(), "1");
}

TEST(LivePages, ACategoryIsOneWhateverItsLetterCaseAndListedByPlaceWhateverTheSortOrder) {
  TLiveSnapshot s = Race();
  s.takenAtMs = 1'781'000'000'123;
  using State = TLiveRider::State;
  // As the protocol stands after a sort by start number: places 3, 1, 2 of one category, typed
  // in other letters, a rider stopped early among them. It is named as its winner writes it.
  s.riders = {Rider(State::Finished, "3", "1", "Anna", "Herren", 5), Rider(State::Stopped, "-", "2", "Ben", "herren", 2),
              Rider(State::Finished, "1", "3", "Cem", "herren", 5), Rider(State::Finished, "2", "4", "Dirk", "HERREN", 5)};
  const QJsonObject data = Parse(LiveResultsJson(s));
  EXPECT_EQ(data["takenAt"].toDouble(), 1'781'000'000'123.0) << "when the state was taken";
  const QJsonArray categories = data["categories"].toArray();
  ASSERT_EQ(categories.size(), 1);
  EXPECT_EQ(categories[0].toObject()["name"].toString(), "herren");
  QStringList order;
  for (const QJsonValue rider : categories[0].toObject()["riders"].toArray()) order << rider["name"].toString();
  EXPECT_EQ(order, (QStringList{"Cem", "Dirk", "Anna", "Ben"}));
}

TEST(LivePages, HostileTextsStayTextInTheDataAndInThePages) {
  TLiveSnapshot race = Race();
  const QString hostile = QStringLiteral("</script><script>alert(1)</script>\"'&{{DATA}}\u2028\n\x01");
  race.riders[0].name = hostile;
  race.title = QStringLiteral("<b>Rennen</b> {{SCRIPT}}");
  const QByteArray json = LiveResultsJson(race);
  EXPECT_FALSE(json.contains('<')) << "no markup character may stand in the data";
  EXPECT_FALSE(json.contains('\n'));
  EXPECT_FALSE(json.contains("\xE2\x80\xA8")) << "a line separator would end the push message's line";
  EXPECT_EQ(Parse(json)["categories"].toArray()[0].toObject()["riders"].toArray()[0].toObject()["name"].toString(), hostile);

  const TLivePublication publication = RenderLivePublication(race);
  EXPECT_EQ(publication.pushData, json);
  for (const char* path : {"/", "/sprecher"}) {
    const QByteArray page = publication.resources.at(path).body;
    SCOPED_TRACE(path);
    EXPECT_EQ(page.count("<script"), 2) << "the data block and the page's own script, nothing else";
    EXPECT_TRUE(page.contains("<title>&lt;b&gt;Rennen&lt;/b&gt; {{SCRIPT}} – ")) << "the title escaped, not expanded";
    // The shell's placeholders are filled once: those inside the texts stay as typed.
    for (const char* placeholder : {"{{STYLE}}", "{{PAGE}}", "{{HEADING}}", "{{TITLE}}"})
      EXPECT_FALSE(page.contains(placeholder)) << placeholder;
    EXPECT_EQ(page.count("{{SCRIPT}}"), 2) << "the title's own text, in the page title and in the data";
    EXPECT_EQ(page.count("{{DATA}}"), 1) << "the name's own text only";
    // The data block holds exactly the data.
    const qsizetype open = page.indexOf("id=\"live-data\">") + 15;
    EXPECT_EQ(page.mid(open, page.indexOf("</script>", open) - open), json);
  }
}

TEST(LivePages, ThePublicationServesEachPageUnderTwoNamesAndLoadsNothingFromOutside) {
  const TLivePublication publication = RenderLivePublication(Race());
  EXPECT_EQ(publication.serial, 42u);
  for (const char* path :
       {"/", "/index.html", "/sprecher", "/sprecher.html", "/station", "/station.html", "/api/results.json"})
    EXPECT_TRUE(publication.resources.count(path)) << path;
  EXPECT_EQ(publication.resources.size(), 7u);
  EXPECT_EQ(publication.resources.at("/station").body, publication.resources.at("/station.html").body);
  EXPECT_EQ(publication.resources.at("/").body, publication.resources.at("/index.html").body);
  EXPECT_EQ(publication.resources.at("/api/results.json").contentType, "application/json; charset=utf-8");
  const QByteArray results = publication.resources.at("/").body;
  const QByteArray announcer = publication.resources.at("/sprecher").body;
  const QByteArray station = publication.resources.at("/station").body;
  EXPECT_TRUE(results.contains("data-page=\"ergebnisse\""));
  EXPECT_TRUE(announcer.contains("data-page=\"sprecher\""));
  EXPECT_TRUE(results.contains("<html lang=\"de\">"));
  EXPECT_TRUE(results.contains("charset=\"utf-8\""));
  for (const QByteArray& page : {results, announcer, station}) {
    EXPECT_FALSE(page.contains("{{")) << "every placeholder filled";
    EXPECT_FALSE(page.contains("http://") || page.contains("https://") || page.contains("//cdn")) << "all inline";
    EXPECT_FALSE(QRegularExpression(QStringLiteral("(src|href)=\"/")).match(QString::fromUtf8(page)).hasMatch())
        << "links are relative, so a copy in any folder works";
  }
  // The published copy: the pages and the data under the names they link to.
  QStringList files;
  for (const TLiveFile& file : kLiveFiles) {
    files << file.relativePath;
    EXPECT_TRUE(publication.resources.count(file.resourcePath)) << file.resourcePath;
  }
  EXPECT_EQ(files, (QStringList{"index.html", "sprecher.html", "api/results.json"}));
}
