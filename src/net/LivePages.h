#pragma once
// The live results as pages and JSON: the results per category ("/"), the announcer's view
// ("/sprecher"), the timing station for a phone ("/station") and the data they are drawn from
// ("/api/results.json", also the push payload).
// The pages carry their data and their script, load nothing from elsewhere, and update
// themselves from the push channel, or by asking for the JSON again where there is none (a copy
// on a plain web server).
#include <QByteArray>

#include "net/LivePublication.h"
#include "race/LiveSnapshot.h"

// One line of JSON; every text escaped, "<", ">" and "&" as \u escapes so it may stand inside a
// page.
QByteArray LiveResultsJson(const TLiveSnapshot& snapshot);

// Every resource of the live results for this state of the race.
TLivePublication RenderLivePublication(const TLiveSnapshot& snapshot);

// The files of a published copy, by their path relative to the folder, and the resource each is.
struct TLiveFile {
  const char* relativePath;
  const char* resourcePath;
};
inline constexpr TLiveFile kLiveFiles[] = {
    {"index.html", "/index.html"},
    {"sprecher.html", "/sprecher.html"},
    {"api/results.json", "/api/results.json"},
};
