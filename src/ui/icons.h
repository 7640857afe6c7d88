// The program's window icons.
#pragma once

class Fl_Window;

namespace gm {

// Gives the window the program icon in 16x16 and 32x32.
void set_window_icons(Fl_Window& window);

}  // namespace gm
