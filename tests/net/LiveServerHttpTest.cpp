// The server's own bits of HTTP: which path a target names (never a decoded or normalised one),
// the request line gathered from bytes that arrive in pieces, when a connection stays open,
// and events that stay in step whatever their payload holds.
#include <gtest/gtest.h>

#include <QList>

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

TEST(LiveServerHttpTest, RequestsAreFramedFromPiecesAndBounded) {
  TRequestFramer framer;
  // Empty lines before a request are skipped; the bytes may come one at a time; a body of
  // Content-Length belongs to its request, whatever it holds.
  const QByteArray bytes = "\r\n\r\nGET /sprecher HTTP/1.1\r\nHost: h\r\n\r\n"
                           "POST / HTTP/1.1\r\ncontent-length: 16\r\n\r\nGET / HTTP/1.1\r\n\r\n"
                           "GET / HTTP/1.0\n\nGET /x";  // a bare LF ends a line too
  for (char c : bytes) ASSERT_EQ(framer.Feed(&c, 1), TRequestFramer::TState::Reading);
  EXPECT_EQ(framer.Completed(), 3);
  EXPECT_TRUE(framer.InRequest());
  EXPECT_EQ(framer.TakeComplete(), "GET /sprecher HTTP/1.1");
  EXPECT_EQ(framer.TakeComplete(), "POST / HTTP/1.1");
  EXPECT_EQ(framer.TakeComplete(), "GET / HTTP/1.0");
  EXPECT_FALSE(framer.HasComplete());

  TRequestFramer longLine;
  const QByteArray line(kMaxRequestLine + 1, 'a');
  EXPECT_EQ(longLine.Feed(line.constData(), line.size()), TRequestFramer::TState::TooLong);
  TRequestFramer longHead;
  const QByteArray head = "GET / HTTP/1.1\r\n" + QByteArray("X-A: b\r\n").repeated(int(kMaxRequestBytes / 8));
  EXPECT_EQ(longHead.Feed(head.constData(), head.size()), TRequestFramer::TState::TooLong);
}

// Every head whose length two parsers could read differently, so that a request could hide in
// another's body. Each is followed by such a request; none of them may count as complete.
TEST(LiveServerHttpTest, AmbiguousLengthsAndMalformedHeadersAreRefused) {
  const QByteArray hidden = "GET /sprecher HTTP/1.1\r\nHost: h\r\n\r\n";
  const QByteArray size = QByteArray::number(hidden.size());
  const QList<QByteArray> heads = {
      "Content-Length: " + size + "\r\nTransfer-Encoding: chunked\r\n",
      "Transfer-Encoding: chunked\r\nContent-Length: " + size + "\r\n",
      "Transfer-Encoding: chunked\r\n",
      "Transfer-Encoding: gzip, chunked\r\n",
      "Transfer-Encoding: chunked, identity\r\n",
      "Content-Length: 0\r\nContent-Length: " + size + "\r\n",
      "Content-Length: " + size + "\r\ncontent-length: " + size + "\r\n",  // equal twice, still twice
      "Content-Length: 0, " + size + "\r\n",
      "Content-Length: -1\r\n",
      "Content-Length: +" + size + "\r\n",
      "Content-Length: 0x10\r\n",
      "Content-Length: 1e2\r\n",
      "Content-Length:\r\n",
      "Content-Length: 99999999999999999999\r\n",
      "Content-Length: 18446744073709551616\r\n",
      "Content-Length: " + QByteArray::number(kMaxRequestBytes + 1) + "\r\n",
      "Content-Length : " + size + "\r\n",  // a blank before the colon
      "Content-Length\t: " + size + "\r\n",
      "X-A: b\r\n Content-Length: " + size + "\r\n",  // a folded line
      "X-A: b\r\n\tx\r\n",
      "NoColon\r\n",
      ": empty name\r\n",
      "X-A: a\rContent-Length: " + size + "\r\n",  // a CR that ends no line
      QByteArray("X-A: a\0b\r\n", 11),  // a NUL in a value
  };
  for (const QByteArray& lines : heads) {
    TRequestFramer framer;
    const QByteArray request = "GET / HTTP/1.1\r\nHost: h\r\n" + lines + "\r\n" + hidden;
    EXPECT_EQ(framer.Feed(request.constData(), request.size()), TRequestFramer::TState::Bad) << lines.toStdString();
    EXPECT_EQ(framer.Completed(), 0) << lines.toStdString();
  }
  // Blanks around a value are no part of it.
  TRequestFramer blanks;
  const QByteArray request = "POST / HTTP/1.1\r\nContent-Length: \t3 \r\n\r\nabc";
  EXPECT_EQ(blanks.Feed(request.constData(), request.size()), TRequestFramer::TState::Reading);
  EXPECT_EQ(blanks.Completed(), 1);
}

TEST(LiveServerHttpTest, RequestLinesAreSplit) {
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
