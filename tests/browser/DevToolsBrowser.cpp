#include "DevToolsBrowser.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

DevToolsBrowser::DevToolsBrowser() {
  QObject::connect(&socket_, &QWebSocket::textMessageReceived, [this](const QString& text) {
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    if (message.contains("id")) replies_[message["id"].toInt()] = message;
  });
}

DevToolsBrowser::~DevToolsBrowser() {
  // Closed the browser's own way, so its helper processes are gone before the profile is removed
  // (a killed one still writes there).
  if (socket_.state() == QAbstractSocket::ConnectedState) {
    socket_.sendTextMessage(QStringLiteral("{\"id\":%1,\"method\":\"Browser.close\"}").arg(nextId_++));
    socket_.flush();
    process_.waitForFinished(5000);
  }
  socket_.abort();
  if (process_.state() != QProcess::NotRunning) {
    process_.kill();
    process_.waitForFinished(5000);
  }
}

QString DevToolsBrowser::Program() {
  for (const char* name : {"chromium", "chromium-browser", "google-chrome"}) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (!path.isEmpty()) return path;
  }
  return {};
}

bool DevToolsBrowser::Start(QString* error) {
  const QString program = Program();
  if (program.isEmpty()) {
    *error = "no Chromium installed";
    return false;
  }
  process_.setProcessChannelMode(QProcess::SeparateChannels);
  process_.start(program, {"--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                           "--no-first-run", "--no-default-browser-check", "--remote-debugging-port=0",
                           "--user-data-dir=" + profile_.path(), "about:blank"});
  if (!process_.waitForStarted(10000)) {
    *error = "Chromium did not start: " + process_.errorString();
    return false;
  }
  // It says where its DevTools listen on standard error.
  static const QRegularExpression listening(QStringLiteral("DevTools listening on (ws://\\S+)"));
  QByteArray said;
  QString address;
  (void)QTest::qWaitFor(
      [&] {
        said += process_.readAllStandardError();
        const QRegularExpressionMatch match = listening.match(QString::fromUtf8(said));
        if (match.hasMatch()) address = match.captured(1);
        return !address.isEmpty() || process_.state() == QProcess::NotRunning;
      },
      30000);
  if (address.isEmpty()) {
    *error = "Chromium gave no DevTools address: " + QString::fromUtf8(said.right(2000));
    return false;
  }
  socket_.open(QUrl(address));
  if (!QTest::qWaitFor([this] { return socket_.state() == QAbstractSocket::ConnectedState; }, kReplyMs)) {
    *error = "no connection to Chromium's DevTools: " + socket_.errorString();
    return false;
  }
  return true;
}

QJsonObject DevToolsBrowser::Call(const QString& method, const QJsonObject& params, const QString& session) {
  const int id = nextId_++;
  QJsonObject message{{"id", id}, {"method", method}, {"params", params}};
  if (!session.isEmpty()) message["sessionId"] = session;
  socket_.sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
  if (!QTest::qWaitFor([&] { return replies_.count(id) > 0; }, kReplyMs)) return {};
  const QJsonObject reply = replies_[id];
  replies_.erase(id);
  return reply["result"].toObject();
}

QString DevToolsBrowser::Open(const QString& url, int width, int height, const QString& prelude) {
  const QString target = Call("Target.createTarget", {{"url", "about:blank"}})["targetId"].toString();
  if (target.isEmpty()) return {};
  const QString session = Call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}})["sessionId"].toString();
  if (session.isEmpty()) return {};
  Call("Emulation.setDeviceMetricsOverride",
       {{"width", width}, {"height", height}, {"deviceScaleFactor", 2}, {"mobile", true}}, session);
  Call("Emulation.setTouchEmulationEnabled", {{"enabled", true}, {"maxTouchPoints", 5}}, session);
  Call("Page.enable", {}, session);
  if (!prelude.isEmpty()) Call("Page.addScriptToEvaluateOnNewDocument", {{"source", prelude}}, session);
  return Navigate(session, url) ? session : QString();
}

bool DevToolsBrowser::Navigate(const QString& session, const QString& url) {
  Call("Page.navigate", {{"url", url}}, session);
  // Loaded once the page's script has drawn its content.
  return QTest::qWaitFor([&] { return Evaluate(session, "document.readyState").toString() == "complete"; }, kReplyMs);
}

std::optional<QPointF> DevToolsBrowser::Centre(const QString& session, const QString& selector) {
  // The selector goes in as JSON, so no quote in it can break the expression.
  const QString quoted = QString::fromUtf8(QJsonDocument(QJsonArray{selector}).toJson(QJsonDocument::Compact));
  const QJsonArray centre = Evaluate(session, "(function () { var e = document.querySelector(" + quoted +
                                                  "[0]); if (!e) return null; var r = e.getBoundingClientRect();"
                                                  " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
                                .toArray();
  if (centre.size() != 2) return std::nullopt;
  return QPointF(centre[0].toDouble(), centre[1].toDouble());
}

void DevToolsBrowser::Touch(const QString& session, QPointF at, const std::function<void()>& afterDown,
                            std::optional<qint64> wallMs) {
  const QJsonArray points{QJsonObject{{"x", at.x()}, {"y", at.y()}}};
  QJsonObject down{{"type", "touchStart"}, {"touchPoints", points}};
  if (wallMs) down["timestamp"] = static_cast<double>(*wallMs) / 1000.0;
  Call("Input.dispatchTouchEvent", down, session);
  if (afterDown) afterDown();
  Call("Input.dispatchTouchEvent", {{"type", "touchEnd"}, {"touchPoints", QJsonArray{}}}, session);
}

bool DevToolsBrowser::Tap(const QString& session, const QString& selector) {
  const std::optional<QPointF> at = Centre(session, selector);
  if (at) Touch(session, *at);
  return at.has_value();
}

QJsonValue DevToolsBrowser::Evaluate(const QString& session, const QString& expression) {
  return Call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}}, session)["result"]
      .toObject()["value"];
}

QByteArray DevToolsBrowser::Screenshot(const QString& session) {
  return QByteArray::fromBase64(Call("Page.captureScreenshot", {{"format", "png"}}, session)["data"].toString().toLatin1());
}

bool DevToolsBrowser::SaveScreenshot(const QString& session, const QString& name) {
  const QByteArray png = Screenshot(session);
  QFile file(QDir(qEnvironmentVariable("VELTRANO_SCREENSHOTS", QDir::tempPath())).filePath(name));
  if (file.open(QIODevice::WriteOnly)) file.write(png);
  return png.startsWith("\x89PNG");
}
