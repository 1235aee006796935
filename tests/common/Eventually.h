#pragma once
// Waiting for what arrives through the event loop (a reply over the bus, a focus change, an event
// from the X server). Qt Test's QTRY_ macros report to Qt Test's own log, which a GoogleTest run
// never reads, and end the test as if it had passed: these wait with QTest::qWaitFor and check
// with gtest.
#include <gtest/gtest.h>

#include <QString>
#include <QTest>
#include <QtGlobal>
#include <mutex>
#include <utility>
#include <vector>

namespace testing_common {

constexpr int kReplyWaitMs = 5000;

// Lets replies that might still come arrive, before checking that nothing happened.
inline void Settle() { QTest::qWait(200); }

// Records the messages logged while it lives.
class LogCatcher {
public:
  LogCatcher() {
    active_ = this;
    previous_ = qInstallMessageHandler(&LogCatcher::Handle);
  }
  ~LogCatcher() {
    qInstallMessageHandler(previous_);
    active_ = nullptr;
  }
  LogCatcher(const LogCatcher&) = delete;
  LogCatcher& operator=(const LogCatcher&) = delete;
  int Count(QtMsgType type) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& message : messages_) n += message.first == type;
    return n;
  }

private:
  // Qt D-Bus may log from its own thread.
  static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    {
      std::lock_guard lock(active_->mutex_);
      active_->messages_.emplace_back(type, text);
    }
    if (active_->previous_) active_->previous_(type, context, text);
  }
  static inline LogCatcher* active_ = nullptr;
  QtMessageHandler previous_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<std::pair<QtMsgType, QString>> messages_;
};

}  // namespace testing_common

#define EXPECT_SOON(condition) \
  EXPECT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(condition); }, testing_common::kReplyWaitMs)) \
      << #condition
#define ASSERT_SOON(condition) \
  ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(condition); }, testing_common::kReplyWaitMs)) \
      << #condition
#define EXPECT_SOON_EQ(actual, expected)                                                         \
  do {                                                                                           \
    (void)QTest::qWaitFor([&] { return (actual) == (expected); }, testing_common::kReplyWaitMs); \
    EXPECT_EQ(actual, expected);                                                                 \
  } while (0)
#define ASSERT_SOON_EQ(actual, expected)                                                         \
  do {                                                                                           \
    (void)QTest::qWaitFor([&] { return (actual) == (expected); }, testing_common::kReplyWaitMs); \
    ASSERT_EQ(actual, expected);                                                                 \
  } while (0)
