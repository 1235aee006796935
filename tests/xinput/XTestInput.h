#pragma once
// Presses keys and mouse buttons through XTest, on a connection of its own to the X server, as a
// person at the keyboard would: the server stamps each event with its own clock. Callable from
// any thread, one thread at a time.
#include <QPoint>
#include <cstdint>

using XDisplayHandle = struct _XDisplay*;

// Milliseconds of the boot-time clock, the tick counter's clock, read now.
int64_t BootMs();

class XTestInput {
public:
  static constexpr unsigned long kF4 = 0xFFC1;
  static constexpr unsigned long kF5 = 0xFFC2;
  static constexpr unsigned long kF9 = 0xFFC6;

  // The boot-time interval within which the server took the press.
  struct Instant {
    int64_t before = 0;
    int64_t after = 0;
  };

  XTestInput();
  ~XTestInput();
  XTestInput(const XTestInput&) = delete;
  XTestInput& operator=(const XTestInput&) = delete;

  bool Connected() const { return display_ != nullptr; }
  void MoveTo(QPoint global);
  Instant Key(unsigned long keysym);
  Instant Click(QPoint global);  // the left button

private:
  XDisplayHandle display_;
};
