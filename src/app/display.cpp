#include "app/display.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <cstdio>
#include <cstdlib>

#include "ui/text_driver.h"

namespace gm {

bool open_x_display() {
  // The connection is kept and given to the toolkit: closing a probe connection would make
  // a server with no other client reset itself, and the toolkit's own connection could
  // then be refused.
  if (Display* display = XOpenDisplay(nullptr)) {
    fl_open_display(display);
    install_long_text_driver();
    return true;
  }
  const char* name = std::getenv("DISPLAY");
  if (name && *name) {
    std::fprintf(stderr,
                 "glossmark: cannot open X display \"%s\"; start it inside an X session or "
                 "under xvfb-run\n",
                 name);
  } else {
    std::fputs(
        "glossmark: cannot open X display (DISPLAY not set); start it inside an X session or "
        "under xvfb-run\n",
        stderr);
  }
  return false;
}

namespace {

bool viewable(Fl_Window& window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(fl_display, fl_xid(&window), &attributes) &&
         attributes.map_state == IsViewable;
}

}  // namespace

void focus_new_window(Fl_Window& window) {
  // The server refuses the focus to a window that is not viewable yet. Events run while
  // waiting: a load may close the dialog meanwhile. Bounded, should it never be mapped.
  Fl_Widget_Tracker alive(&window);
  for (int tries = 0; tries < 200; ++tries) {
    if (!alive.exists() || !window.shown()) return;
    if (viewable(window)) {
      XSetInputFocus(fl_display, fl_xid(&window), RevertToParent, CurrentTime);
      return;
    }
    Fl::wait(0.01);
  }
}

}  // namespace gm
