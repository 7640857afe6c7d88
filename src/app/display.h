// Connecting to the X server before any window is built, and giving a new window the keyboard.
#pragma once

class Fl_Window;

namespace gm {

// Opens the display named by DISPLAY (after -display was read) and hands the connection to
// the toolkit, drawing through the LongTextDriver. Without one, prints one plain line to
// standard error and answers false.
bool open_x_display();

// Gives a window just shown the keyboard focus once it is on screen, as a window manager
// does. Without one, keys go to the window under the pointer: Escape meant for a new dialog
// would reach the main window and end the program.
void focus_new_window(Fl_Window& window);

}  // namespace gm
