#pragma once
// The small pieces of HTTP the live server does itself, kept free of sockets so they can be
// tested and fuzzed alone. Qt's HTTP server module parses the requests; it does not give the
// request line's version nor the target as sent (its URL folds "//x/y" into a host), and it
// writes neither Connection nor our fixed headers, so these fill the gap.
#include <QByteArray>
#include <QtGlobal>
#include <deque>
#include <initializer_list>
#include <map>
#include <utility>
#include <vector>

#include "net/LivePublication.h"

namespace live_http {

// Everything of one request before the module hands it over: request line, headers and any
// body. Browsers send well under 8 KB; more is refused rather than buffered.
constexpr qint64 kMaxRequestBytes = 32 * 1024;
constexpr qsizetype kMaxRequestLine = 8 * 1024;

// The server's own paths, never looked up in a publication: the push channel, the clock the
// stations set theirs by, and the one path that writes.
inline constexpr char kEventsPath[] = "/api/events";
inline constexpr char kClockPath[] = "/api/clock";
inline constexpr char kPassesPath[] = "/api/passes";

// Follows the requests of a connection from the bytes as they arrive, before the module parses
// them: where each request ends (its head and a Content-Length body) and its request line. A
// request whose length two parsers could read differently (Transfer-Encoding, a second or a
// malformed Content-Length, folded or malformed header lines, a bare CR) is refused, so no
// request can hide in another's body. Empty lines before a request are skipped, as RFC 9112
// asks of a server; a bare LF ends a line, as the module reads it.
class TRequestFramer {
public:
  enum class TState { Reading, TooLong, Bad };
  // The next bytes of the connection; nothing is looked at once the state is not Reading.
  TState Feed(const char* data, qsizetype size);
  TState State() const { return state_; }
  // Whether a request has begun (empty lines before it count) and is not complete yet.
  bool InRequest() const { return requestBytes_ > 0; }
  // The request lines of the complete requests not yet taken, oldest first.
  bool HasComplete() const { return !complete_.empty(); }
  QByteArray TakeComplete();
  qint64 Completed() const { return completed_; }
  // Bad because a request declared a body longer than a request may be: its head was read whole
  // (so it can be answered with 413, or refused for its credentials first), its body is not.
  bool BodyTooLarge() const { return bodyTooLarge_; }
  const QByteArray& TooLargeRequestLine() const { return requestLine_; }
  const QByteArray& TooLargeAuthorization() const { return authorization_; }
  qint64 TooLargeLength() const { return declaredLength_; }

private:
  enum class TPhase { Idle, Head, Body };
  void Line(const QByteArray& line);
  void Header(const QByteArray& line);
  void EndOfRequest();

  TState state_ = TState::Reading;
  TPhase phase_ = TPhase::Idle;
  QByteArray line_;         // the line being received, without its end
  QByteArray requestLine_;  // of the request being received
  qint64 requestBytes_ = 0;  // of the request being received, head and body
  qint64 bodyLeft_ = 0;
  bool hasLength_ = false;
  bool bodyTooLarge_ = false;
  qint64 declaredLength_ = 0;
  QByteArray authorization_;  // of the request being received
  std::deque<QByteArray> complete_;
  qint64 completed_ = 0;
};

struct TRequestHead {
  QByteArray method;
  QByteArray target;
  QByteArray version;  // "HTTP/1.1"; empty for a line without one
};
// Splits "METHOD target HTTP/x.y"; false for anything else.
bool ParseRequestLine(const QByteArray& line, TRequestHead* head);

// The path of a request target, exactly as sent: the origin form up to '?' or '#', or the
// path of an absolute "http://host/path" ("/" when it has none). Any other form ("*",
// "\..\x", "x") gives an empty path, which names nothing.
QByteArray TargetPath(const QByteArray& target);

// Whether the connection stays open after the response: HTTP/1.1 unless "Connection: close",
// HTTP/1.0 only with "Connection: keep-alive", anything else never.
bool KeepAlive(const QByteArray& version, const QByteArray& connectionHeader);

using THeaders = std::vector<std::pair<const char*, QByteArray>>;

// A response's status line and headers, ending with the empty line. A negative length leaves
// Content-Length out (the push channel's stream ends when the connection does). A Cache-Control
// among the extra headers replaces the default one.
QByteArray ResponseHead(int status, const QByteArray& contentType, qint64 contentLength, bool keepAlive,
                        const THeaders& extra = {});
// A complete short text response (errors), German body.
QByteArray TextResponse(int status, const QByteArray& text, bool keepAlive, bool withBody,
                        const THeaders& extra = {});

// A complete JSON response, never cached: the clock and the stations' answers are of the moment.
QByteArray JsonResponse(int status, const QByteArray& json, bool keepAlive, bool withBody,
                        const THeaders& extra = {});

// One event of the push channel. The payload is meant to be one line; should it hold line
// breaks anyway, each line becomes a data field, so the stream stays in step.
QByteArray PushEvent(const QByteArray& pushData);
inline constexpr char kPing[] = ": ping\n\n";

// The publication's resources by the path bytes a browser sends for them: the key as UTF-8,
// and percent-encoded as browsers send a path with other than ASCII letters.
class TPathTable {
public:
  TPathTable() = default;
  explicit TPathTable(const TLivePublicationPtr& publication);
  const TLiveResource* Find(const QByteArray& path) const;

private:
  std::map<QByteArray, const TLiveResource*> byPath_;
};

}  // namespace live_http
