#include "app/display.h"

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

}  // namespace gm
