#include "net/LiveServerHttp.h"

#include <QUrl>

namespace live_http {

TRequestLine::TState TRequestLine::Feed(const char* data, qsizetype size) {
  qsizetype i = 0;
  if (line_.isEmpty()) {
    while (i < size && (data[i] == '\r' || data[i] == '\n')) ++i;
  }
  for (; i < size && state_ == TState::Collecting; ++i) {
    if (data[i] == '\n') {
      if (line_.endsWith('\r')) line_.chop(1);
      state_ = TState::Complete;
    } else if (line_.size() >= kMaxRequestLine) {
      state_ = TState::TooLong;
    } else {
      line_.append(data[i]);
    }
  }
  return state_;
}

void TRequestLine::Reset() {
  state_ = TState::Collecting;
  line_.clear();
}

bool ParseRequestLine(const QByteArray& line, TRequestHead* head) {
  const qsizetype first = line.indexOf(' ');
  if (first <= 0) return false;
  const qsizetype second = line.indexOf(' ', first + 1);
  head->method = line.left(first);
  if (second < 0) {
    head->target = line.mid(first + 1);
    head->version.clear();
  } else {
    head->target = line.mid(first + 1, second - first - 1);
    head->version = line.mid(second + 1);
    if (head->version.contains(' ')) return false;
  }
  return !head->target.isEmpty();
}

QByteArray TargetPath(const QByteArray& target) {
  qsizetype start = -1;
  if (target.startsWith('/')) {
    start = 0;
  } else {
    const QByteArray lower = target.left(8).toLower();
    const qsizetype authority = lower.startsWith("http://") ? 7 : lower.startsWith("https://") ? 8 : -1;
    if (authority < 0) return QByteArray();
    qsizetype i = authority;
    while (i < target.size() && target[i] != '/' && target[i] != '?' && target[i] != '#') ++i;
    if (i >= target.size() || target[i] != '/') return QByteArrayLiteral("/");
    start = i;
  }
  qsizetype end = start;
  while (end < target.size() && target[end] != '?' && target[end] != '#') ++end;
  return target.mid(start, end - start);
}

namespace {

bool HasToken(const QByteArray& header, const char* token) {
  for (const QByteArray& part : header.split(',')) {
    if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Unknown";
  }
}

}  // namespace

bool KeepAlive(const QByteArray& version, const QByteArray& connectionHeader) {
  if (version == "HTTP/1.1") return !HasToken(connectionHeader, "close");
  if (version == "HTTP/1.0") return HasToken(connectionHeader, "keep-alive");
  return false;
}

QByteArray ResponseHead(int status, const QByteArray& contentType, qint64 contentLength, bool keepAlive,
                        std::initializer_list<std::pair<const char*, QByteArray>> extra) {
  QByteArray head;
  head.reserve(256);
  head += "HTTP/1.1 " + QByteArray::number(status) + ' ' + Reason(status) + "\r\n";
  head += "Content-Type: " + contentType + "\r\n";
  if (contentLength >= 0) head += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
  head += "Cache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\n";
  for (const auto& [name, value] : extra) head += QByteArray(name) + ": " + value + "\r\n";
  head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
  return head;
}

QByteArray TextResponse(int status, const QByteArray& text, bool keepAlive, bool withBody,
                        std::initializer_list<std::pair<const char*, QByteArray>> extra) {
  QByteArray response = ResponseHead(status, "text/plain; charset=utf-8", text.size(), keepAlive, extra);
  if (withBody) response += text;
  return response;
}

QByteArray PushEvent(const QByteArray& pushData) {
  QByteArray event;
  event.reserve(pushData.size() + 16);
  qsizetype start = 0;
  for (;;) {
    qsizetype end = start;
    while (end < pushData.size() && pushData[end] != '\n' && pushData[end] != '\r') ++end;
    event += "data: ";
    event.append(pushData.constData() + start, end - start);
    event += '\n';
    if (end >= pushData.size()) break;
    start = end + (pushData[end] == '\r' && end + 1 < pushData.size() && pushData[end + 1] == '\n' ? 2 : 1);
    if (start >= pushData.size()) break;
  }
  event += '\n';
  return event;
}

TPathTable::TPathTable(const TLivePublicationPtr& publication) {
  if (!publication) return;
  for (const auto& [key, resource] : publication->resources) {
    byPath_.emplace(key.toUtf8(), &resource);
    byPath_.emplace(QUrl::toPercentEncoding(key, "/!$&'()*+,;=:@"), &resource);
  }
}

const TLiveResource* TPathTable::Find(const QByteArray& path) const {
  if (path.isEmpty()) return nullptr;
  const auto it = byPath_.find(path);
  return it == byPath_.end() ? nullptr : it->second;
}

}  // namespace live_http
