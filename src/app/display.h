// Connecting to the X server before any window is built.
#pragma once

namespace gm {

// Opens the display named by DISPLAY (after -display was read) and hands the connection to
// the toolkit, drawing through the LongTextDriver. Without one, prints one plain line to
// standard error and answers false.
bool open_x_display();

}  // namespace gm
