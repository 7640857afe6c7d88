#include "ui/top_level.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

namespace gm {

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
