// The About box: the program's icon, name and version, and its maker's notice.
#pragma once

class Fl_Pixmap;

namespace gm {

class App;

// The About icon, one for the whole run; made on first use, as the About box is.
Fl_Pixmap& about_icon();

// Builds the About window on first use and shows it; later calls show the same window.
void show_about(App& a);

}  // namespace gm
