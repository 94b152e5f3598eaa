// window_floor BADMAIL: the floor of the Linux window's launch. Does the scan
// floor's I/O on the Bad Mail directory, then maps a plain X window and waits to
// be killed, as a window waits for its operator.
#include <X11/Xlib.h>

#include <cstdio>

#include "floors.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window_floor BADMAIL\n");
    return 2;
  }
  velmoth::bench::ScanFloor(argv[1]);
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 1;
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 577, 289, 0,
                                            0, WhitePixel(display, DefaultScreen(display)));
  XMapWindow(display, window);
  XFlush(display);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
  }
}
