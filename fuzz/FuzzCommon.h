#pragma once
// Shared by the fuzz targets: the application object the widgets need, and a failed property
// that stops the fuzzer with the input that broke it.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {

// An offscreen application, created once; widgets, fonts and locale formats need it. Message
// boxes are answered at once with their first button and counted, never shown.
void EnsureApplication();
// The texts of the message boxes since the last call.
QStringList TakeMessages();

// A folder of this process for targets that go through files.
QString ScratchFolder();

[[noreturn]] inline void Fail(const char* what, const QString& detail = QString()) {
  std::fprintf(stderr, "PROPERTY FAILED: %s %s\n", what, detail.toUtf8().constData());
  std::abort();
}

inline void Check(bool ok, const char* what, const QString& detail = QString()) {
  if (!ok) Fail(what, detail);
}

// Reads the fuzzer's bytes as a stream of small decisions and texts.
class Input {
public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return pos_ >= size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // A text up to the next 0xFF byte (or the end), read as UTF-8.
  QString Text() {
    const size_t start = pos_;
    while (pos_ < size_ && data_[pos_] != 0xFF) ++pos_;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data_ + start), qsizetype(pos_ - start));
    if (pos_ < size_) ++pos_;
    return text;
  }
  QByteArray Rest() {
    const QByteArray rest(reinterpret_cast<const char*>(data_ + pos_), qsizetype(size_ - pos_));
    pos_ = size_;
    return rest;
  }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace fuzz
