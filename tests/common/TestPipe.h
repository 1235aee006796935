#pragma once
// A named pipe, for readers that must refuse one instead of waiting on it. Should a reader
// open it anyway, a writer comes along after a while and ends the wait, so the test fails
// instead of hanging.
#include <QFile>
#include <QString>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class TestPipe {
public:
  explicit TestPipe(QString path, std::chrono::milliseconds releaseAfter = std::chrono::seconds(5))
      : path_(std::move(path)), created_(mkfifo(QFile::encodeName(path_).constData(), 0600) == 0) {
    if (!created_) return;
    releaser_ = std::thread([this, releaseAfter] {
      const auto deadline = std::chrono::steady_clock::now() + releaseAfter;
      while (!stop_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (std::chrono::steady_clock::now() < deadline) continue;
        // Succeeds only while a reader waits; closing it again gives that reader its end.
        const int fd = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) readerWaited_ = true;
        ::close(fd);
      }
    });
  }
  ~TestPipe() {
    stop_ = true;
    if (releaser_.joinable()) releaser_.join();
    if (created_) QFile::remove(path_);
  }
  TestPipe(const TestPipe&) = delete;
  TestPipe& operator=(const TestPipe&) = delete;

  bool Created() const { return created_; }
  // Whether someone opened the pipe to read it and had to be let go.
  bool ReaderWaited() const { return readerWaited_; }

private:
  QString path_;
  bool created_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> readerWaited_{false};
  std::thread releaser_;
};
