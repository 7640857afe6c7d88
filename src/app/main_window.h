// Building the main window; main and the tests use the same functions.
#pragma once

namespace gm {

class App;

// Creates the main window with its menu bar, sidebar, Editor and tag popup menu button,
// wires every callback and hooks the modify callbacks to both buffers.
void build_main_window(App& a);

// The Open dialog: start directory ".", text and source file filters, single selection.
void create_file_chooser(App& a);

// The repeating command-state refresh and the hover tick.
void start_timers(App& a);

}  // namespace gm
