// The style chooser: a browser listing the 58 styles, each line drawn in its own style, and
// the browser format codes of a style that the tag browser's lines begin with too.
#pragma once

#include <string>

class Fl_Browser;
class Fl_Hold_Browser;
class Fl_Widget;

namespace gm {

// "@C<colour>@F<font>@S<size>@." for a style character, at most 98 characters.
std::string style_codes(unsigned char style);
// A chooser line: the style's codes, then the font's name and the size.
std::string style_line_text(unsigned char style);

// A filled chooser inside the group being built: line n holds style 64 + n as its data.
// No line selected, no callback, no tooltip.
Fl_Hold_Browser* build_style_chooser(int x, int y, int w, int h);

// Chooser line n (from 1) belongs to style 64 + n: 'A' is line 1, 'z' line 58. Styles
// outside 'A'..'z' map to the nearest line.
int style_line(unsigned char style);
unsigned char line_style(int line);

// The style character of the chooser's selected line; 0 when no line is selected.
unsigned char chosen_style(const Fl_Browser& chooser);
// Selects the line of a style without running the callback, scrolling it into view.
void select_style(Fl_Browser& chooser, unsigned char style);

// Runs a chooser's callback as a single click on its selected line would.
void run_as_single_click(Fl_Widget& chooser);

}  // namespace gm
