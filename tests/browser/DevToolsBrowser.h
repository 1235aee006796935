#pragma once
// A headless Chromium driven over its DevTools protocol: opens pages, reads them back with
// JavaScript, takes screenshots. Everything waits with the event loop running, so the program
// under test goes on working meanwhile.
#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QPointF>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QWebSocket>
#include <functional>
#include <map>
#include <optional>

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

  // A new tab showing url at a phone's size, with a touch screen; its session id, empty on
  // failure. A prelude runs in every document of the tab before the page's own scripts.
  QString Open(const QString& url, int width = 390, int height = 844, const QString& prelude = {});
  // Loads url in the tab (also one that fails to load); false when it never finished.
  bool Navigate(const QString& session, const QString& url);
  // The centre of the first element matching the CSS selector, in CSS pixels of the viewport.
  std::optional<QPointF> Centre(const QString& session, const QString& selector);
  // A finger down and up there, at the instant given (ms since 1970), or else at the moment of
  // the call. afterDown runs once the browser has taken the finger down.
  void Touch(const QString& session, QPointF at, const std::function<void()>& afterDown = {},
             std::optional<qint64> wallMs = std::nullopt);
  // Touch at the element's centre; false when there is no such element.
  bool Tap(const QString& session, const QString& selector);
  // The value of a JavaScript expression in the tab.
  QJsonValue Evaluate(const QString& session, const QString& expression);
  // A PNG of the tab as it is now.
  QByteArray Screenshot(const QString& session);
  // The PNG into the folder VELTRANO_SCREENSHOTS names (the temporary folder by default); false
  // when there was no picture.
  bool SaveScreenshot(const QString& session, const QString& name);

  QJsonObject Call(const QString& method, const QJsonObject& params, const QString& session = {});

private:

  QTemporaryDir profile_;
  QProcess process_;
  QWebSocket socket_;
  int nextId_ = 1;
  std::map<int, QJsonObject> replies_;
};
