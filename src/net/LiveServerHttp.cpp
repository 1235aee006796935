#include "net/LiveServerHttp.h"

#include <QUrl>
#include <algorithm>
#include <cstring>

namespace live_http {

namespace {

bool IsTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         (c != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

// A Content-Length value: digits only (a length beyond a request's limit is read, and refused
// by the caller once the head is complete).
bool ContentLength(const QByteArray& value, qint64* length) {
  if (value.isEmpty() || value.size() > 18) return false;
  for (char c : value)
    if (c < '0' || c > '9') return false;
  *length = value.toLongLong();
  return true;
}

}  // namespace

TRequestFramer::TState TRequestFramer::Feed(const char* data, qsizetype size) {
  for (qsizetype i = 0; i < size && state_ == TState::Reading; ++i) {
    if (phase_ == TPhase::Body) {
      const qsizetype take = qsizetype(std::min<qint64>(bodyLeft_, size - i));
      bodyLeft_ -= take;
      requestBytes_ += take;
      i += take - 1;
      if (bodyLeft_ == 0) EndOfRequest();
      continue;
    }
    const char c = data[i];
    if (phase_ == TPhase::Idle && c != '\r' && c != '\n') phase_ = TPhase::Head;
    if (++requestBytes_ > kMaxRequestBytes) {
      state_ = TState::TooLong;
    } else if (phase_ == TPhase::Idle) {
      continue;  // an empty line before a request
    } else if (requestLine_.isNull() && line_.size() >= kMaxRequestLine) {
      state_ = TState::TooLong;
    } else if (c == '\n') {
      if (line_.endsWith('\r')) line_.chop(1);
      Line(line_);
      line_.clear();
    } else if (line_.endsWith('\r')) {
      state_ = TState::Bad;  // a CR that ends no line
    } else {
      line_.append(c);
    }
  }
  return state_;
}

void TRequestFramer::Line(const QByteArray& line) {
  if (requestLine_.isNull()) {
    requestLine_ = line.isNull() ? QByteArray("") : line;
  } else if (!line.isEmpty()) {
    Header(line);
  } else if (bodyTooLarge_) {
    state_ = TState::Bad;  // nothing after this head can be told from its body
  } else if (hasLength_ && bodyLeft_ > 0) {
    phase_ = TPhase::Body;
  } else {
    EndOfRequest();
  }
}

void TRequestFramer::Header(const QByteArray& line) {
  const qsizetype colon = line.indexOf(':');
  // A folded line (starting with a blank) or a name with blanks, "Content-Length : 5", would be
  // a header to one parser and none to another.
  bool valid = colon > 0;
  for (qsizetype k = 0; valid && k < colon; ++k) valid = IsTokenChar(line[k]);
  const QByteArray value = valid ? line.mid(colon + 1).trimmed() : QByteArray();
  for (char c : value) valid = valid && (c == '\t' || uchar(c) >= 0x20) && c != 0x7f;
  if (!valid) {
    state_ = TState::Bad;
    return;
  }
  const QByteArray name = line.left(colon);
  // This server takes no body in chunks: GET and HEAD have none.
  if (name.compare("transfer-encoding", Qt::CaseInsensitive) == 0) {
    state_ = TState::Bad;
  } else if (name.compare("content-length", Qt::CaseInsensitive) == 0) {
    if (hasLength_ || !ContentLength(value, &bodyLeft_)) state_ = TState::Bad;
    hasLength_ = true;
    if (bodyLeft_ > kMaxRequestBytes) {
      declaredLength_ = bodyLeft_;
      bodyLeft_ = 0;
      bodyTooLarge_ = true;
    }
  } else if (name.compare("authorization", Qt::CaseInsensitive) == 0 && authorization_.isNull()) {
    authorization_ = value.isNull() ? QByteArray("") : value;
  }
}

void TRequestFramer::EndOfRequest() {
  complete_.push_back(requestLine_);
  ++completed_;
  phase_ = TPhase::Idle;
  requestLine_ = QByteArray();
  requestBytes_ = 0;
  bodyLeft_ = 0;
  hasLength_ = false;
  authorization_ = QByteArray();
}

QByteArray TRequestFramer::TakeComplete() {
  if (complete_.empty()) return QByteArray();
  QByteArray line = std::move(complete_.front());
  complete_.pop_front();
  return line;
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
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 413: return "Content Too Large";
    case 429: return "Too Many Requests";
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
                        const THeaders& extra) {
  QByteArray head;
  head.reserve(256);
  head += "HTTP/1.1 " + QByteArray::number(status) + ' ' + Reason(status) + "\r\n";
  head += "Content-Type: " + contentType + "\r\n";
  if (contentLength >= 0) head += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
  const bool ownCache = std::any_of(extra.begin(), extra.end(), [](const auto& header) {
    return qstricmp(header.first, "Cache-Control") == 0;
  });
  if (!ownCache) head += "Cache-Control: no-cache\r\n";
  head += "X-Content-Type-Options: nosniff\r\n";
  for (const auto& [name, value] : extra) head += QByteArray(name) + ": " + value + "\r\n";
  head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
  return head;
}

QByteArray TextResponse(int status, const QByteArray& text, bool keepAlive, bool withBody,
                        const THeaders& extra) {
  QByteArray response = ResponseHead(status, "text/plain; charset=utf-8", text.size(), keepAlive, extra);
  if (withBody) response += text;
  return response;
}

QByteArray JsonResponse(int status, const QByteArray& json, bool keepAlive, bool withBody,
                        const THeaders& extra) {
  THeaders headers = extra;
  headers.emplace_back("Cache-Control", QByteArrayLiteral("no-store"));
  QByteArray response = ResponseHead(status, "application/json; charset=utf-8", json.size(), keepAlive, headers);
  if (withBody) response += json;
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
