#pragma once
// Presses keys and mouse buttons through XTest, on a connection of its own to the X server, as a
// person at the keyboard would: the server stamps each event with its own clock. Callable from
// any thread, one thread at a time.
#include <QPoint>
#include <QString>
#include <cstdint>

using XDisplayHandle = struct _XDisplay*;

// Milliseconds of the boot-time clock, the tick counter's clock, read now.
int64_t BootMs();

class XTestInput {
public:
  static constexpr unsigned long kF4 = 0xFFC1;
  static constexpr unsigned long kF5 = 0xFFC2;
  static constexpr unsigned long kF9 = 0xFFC6;
  static constexpr unsigned long kReturn = 0xFF0D;
  static constexpr unsigned long kKeypadPlus = 0xFFAB;
  static constexpr unsigned long kUp = 0xFF52;
  static constexpr unsigned long kDown = 0xFF54;
  static constexpr unsigned long kDelete = 0xFFFF;
  static constexpr unsigned long kShift = 0xFFE1;
  static constexpr unsigned long kControl = 0xFFE3;
  static constexpr unsigned long kZ = 0x7A;
  static constexpr unsigned long kY = 0x79;
  // The keysym of a digit '0' to '9' is its character.
  static constexpr unsigned long Digit(char digit) { return static_cast<unsigned long>(digit); }

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
  // A key pressed and released; with a modifier, the modifier held around it. The instant is
  // the one of the key's press.
  Instant Key(unsigned long keysym, unsigned long modifier = 0);
  // The digits of number, one key each.
  void Type(const QString& number);
  Instant Click(QPoint global);  // the left button

private:
  XDisplayHandle display_;
};
