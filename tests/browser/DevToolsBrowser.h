#pragma once
// A headless Chromium driven over its DevTools protocol: opens pages, reads them back with
// JavaScript, takes screenshots. Everything waits with the event loop running, so the program
// under test goes on working meanwhile.
#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QWebSocket>
#include <map>

class DevToolsBrowser {
public:
  static constexpr int kReplyMs = 10000;

  DevToolsBrowser();
  ~DevToolsBrowser();
  DevToolsBrowser(const DevToolsBrowser&) = delete;
  DevToolsBrowser& operator=(const DevToolsBrowser&) = delete;

  // The browser program, or empty when none is installed.
  static QString Program();
  // Starts the browser and connects; the error says why not.
  bool Start(QString* error);

  // A new tab showing url at a phone's size; its session id, empty on failure.
  QString Open(const QString& url, int width = 390, int height = 844);
  // The value of a JavaScript expression in the tab.
  QJsonValue Evaluate(const QString& session, const QString& expression);
  // A PNG of the tab as it is now.
  QByteArray Screenshot(const QString& session);

private:
  QJsonObject Call(const QString& method, const QJsonObject& params, const QString& session = {});

  QTemporaryDir profile_;
  QProcess process_;
  QWebSocket socket_;
  int nextId_ = 1;
  std::map<int, QJsonObject> replies_;
};
