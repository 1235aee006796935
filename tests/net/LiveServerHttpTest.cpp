// The server's own bits of HTTP: which path a target names (never a decoded or normalised one),
// the request line gathered from bytes that arrive in pieces, when a connection stays open,
// and events that stay in step whatever their payload holds.
#include <gtest/gtest.h>

#include "net/LiveServerHttp.h"

using namespace live_http;

namespace {

TEST(LiveServerHttpTest, TargetPathIsTheTargetAsSentWithoutQuery) {
  const std::pair<QByteArray, QByteArray> cases[] = {
      {"/", "/"},
      {"/sprecher?x=1", "/sprecher"},
      {"/sprecher#top", "/sprecher"},
      {"/a?b#c", "/a"},
      {"/%2e%2e/etc/passwd", "/%2e%2e/etc/passwd"},  // not decoded
      {"/../etc/passwd", "/../etc/passwd"},          // not normalised
      {"//etc/passwd", "//etc/passwd"},              // not an authority
      {"http://host/sprecher?q", "/sprecher"},
      {"HTTPS://host:8080/api/results.json", "/api/results.json"},
      {"http://host", "/"},
      {"http://host?x", "/"},
      {"http://", "/"},
      {"ftp://host/x", ""},
      {"*", ""},
      {"\\..\\x", ""},
      {"sprecher", ""},
      {"", ""},
  };
  for (const auto& [target, path] : cases) EXPECT_EQ(TargetPath(target), path) << target.toStdString();
}

TEST(LiveServerHttpTest, RequestLineIsGatheredFromPiecesAndBounded) {
  TRequestLine line;
  // Empty lines before a request are skipped; the line may come a byte at a time.
  const QByteArray bytes = "\r\n\r\nGET /sprecher HTTP/1.1\r\nHost: h\r\n\r\n";
  for (char c : bytes) {
    if (line.Feed(&c, 1) != TRequestLine::TState::Collecting) break;
  }
  ASSERT_EQ(line.State(), TRequestLine::TState::Complete);
  EXPECT_EQ(line.Line(), "GET /sprecher HTTP/1.1");
  // Bytes after the line do not change it.
  line.Feed("GET /other HTTP/1.1\n", 20);
  EXPECT_EQ(line.Line(), "GET /sprecher HTTP/1.1");

  line.Reset();
  EXPECT_EQ(line.Feed("GET / HTTP/1.0\n", 15), TRequestLine::TState::Complete);  // a bare LF ends it too
  EXPECT_EQ(line.Line(), "GET / HTTP/1.0");

  line.Reset();
  const QByteArray longLine(kMaxRequestLine + 1, 'a');
  EXPECT_EQ(line.Feed(longLine.constData(), longLine.size()), TRequestLine::TState::TooLong);
  EXPECT_EQ(line.Line(), "");

  TRequestHead head;
  ASSERT_TRUE(ParseRequestLine("GET /a?b HTTP/1.1", &head));
  EXPECT_EQ(head.method, "GET");
  EXPECT_EQ(head.target, "/a?b");
  EXPECT_EQ(head.version, "HTTP/1.1");
  ASSERT_TRUE(ParseRequestLine("GET /", &head));
  EXPECT_EQ(head.version, "");
  for (const char* bad : {"", "GET", " / HTTP/1.1", "GET  HTTP/1.1", "GET / HTTP/1.1 x"}) {
    EXPECT_FALSE(ParseRequestLine(bad, &head)) << bad;
  }
}

TEST(LiveServerHttpTest, KeepAliveFollowsTheVersionAndTheConnectionHeader) {
  EXPECT_TRUE(KeepAlive("HTTP/1.1", ""));
  EXPECT_TRUE(KeepAlive("HTTP/1.1", "keep-alive"));
  EXPECT_FALSE(KeepAlive("HTTP/1.1", "close"));
  EXPECT_FALSE(KeepAlive("HTTP/1.1", "Upgrade, Close"));
  EXPECT_TRUE(KeepAlive("HTTP/1.1", "closed"));  // a token, not a substring
  EXPECT_FALSE(KeepAlive("HTTP/1.0", ""));
  EXPECT_TRUE(KeepAlive("HTTP/1.0", "Keep-Alive"));
  EXPECT_FALSE(KeepAlive("", "keep-alive"));
  EXPECT_FALSE(KeepAlive("HTTP/2.0", ""));
}

TEST(LiveServerHttpTest, EventsStayInStepWhateverThePayloadHolds) {
  EXPECT_EQ(PushEvent("{\"a\":1}"), "data: {\"a\":1}\n\n");
  EXPECT_EQ(PushEvent("a\nb"), "data: a\ndata: b\n\n");
  EXPECT_EQ(PushEvent("a\r\nb\rc"), "data: a\ndata: b\ndata: c\n\n");
  EXPECT_EQ(PushEvent("a\n\nb"), "data: a\ndata: \ndata: b\n\n");  // no empty line inside an event
  EXPECT_EQ(PushEvent("a\n"), "data: a\n\n");
}

TEST(LiveServerHttpTest, PathTableFindsKeysAsBrowsersSendThem) {
  auto publication = std::make_shared<TLivePublication>();
  publication->resources[QStringLiteral("/")] = {"text/html", "index"};
  publication->resources[QStringLiteral("/kategorie/Männer")] = {"text/html", "m"};
  const TPathTable table(publication);
  ASSERT_TRUE(table.Find("/"));
  EXPECT_EQ(table.Find("/")->body, "index");
  ASSERT_TRUE(table.Find("/kategorie/M%C3%A4nner"));
  EXPECT_EQ(table.Find("/kategorie/M%C3%A4nner")->body, "m");
  ASSERT_TRUE(table.Find("/kategorie/M\xc3\xa4nner"));
  EXPECT_FALSE(table.Find(""));
  EXPECT_FALSE(table.Find("/%2F"));
  EXPECT_FALSE(table.Find("//"));
  EXPECT_FALSE(TPathTable().Find("/"));
}

}  // namespace
