#include "XTestInput.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <ctime>

int64_t BootMs() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

XTestInput::XTestInput() : display_(XOpenDisplay(nullptr)) {}

XTestInput::~XTestInput() {
  if (display_) XCloseDisplay(display_);
}

void XTestInput::MoveTo(QPoint global) {
  XTestFakeMotionEvent(display_, -1, global.x(), global.y(), CurrentTime);
  XSync(display_, False);
}

XTestInput::Instant XTestInput::Key(unsigned long keysym, unsigned long modifier) {
  const KeyCode code = XKeysymToKeycode(display_, keysym);
  const KeyCode held = modifier ? XKeysymToKeycode(display_, modifier) : 0;
  if (held) XTestFakeKeyEvent(display_, held, True, CurrentTime);
  Instant instant;
  instant.before = BootMs();
  XTestFakeKeyEvent(display_, code, True, CurrentTime);
  XSync(display_, False);  // the server has taken it once the round trip is back
  instant.after = BootMs();
  XTestFakeKeyEvent(display_, code, False, CurrentTime);
  if (held) XTestFakeKeyEvent(display_, held, False, CurrentTime);
  XSync(display_, False);
  return instant;
}

void XTestInput::Type(const QString& number) {
  for (const QChar digit : number) Key(Digit(digit.toLatin1()));
}

XTestInput::Instant XTestInput::Click(QPoint global) {
  MoveTo(global);
  Instant instant;
  instant.before = BootMs();
  XTestFakeButtonEvent(display_, 1, True, CurrentTime);
  XSync(display_, False);
  instant.after = BootMs();
  XTestFakeButtonEvent(display_, 1, False, CurrentTime);
  XSync(display_, False);
  return instant;
}
