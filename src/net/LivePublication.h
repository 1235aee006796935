#pragma once
// What the live-results server serves: every page and file, rendered once per change of the race
// and then handed out unchanged to every reader. Immutable once built; shared between threads.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>

struct TLiveResource {
  QByteArray contentType;  // e.g. "text/html; charset=utf-8"
  QByteArray body;
};

struct TLivePublication {
  uint64_t serial = 0;  // grows with every change of the race
  // By request path ("/", "/sprecher", "/api/results.json", ...). Nothing else exists.
  std::map<QString, TLiveResource> resources;
  // The change as sent on the push channel: one line of JSON, no line breaks.
  QByteArray pushData;
};

using TLivePublicationPtr = std::shared_ptr<const TLivePublication>;
