// The style chooser (a browser listing the 58 styles, each line drawn in its own style), the
// default style dialog, and the one-dialog rule shared with the tag dialogs.
#pragma once

#include <FL/Fl_Group.H>

#include <string>

class Fl_Browser;
class Fl_Double_Window;
class Fl_Hold_Browser;
class Fl_Widget;

namespace gm {

class App;

// The line text of a style: its colour, font and size as browser format codes, then the
// font's name and the size, at most 98 characters.
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

// A dialog window is a top-level window even when a group is being built right now.
class TopLevelScope {
public:
  TopLevelScope() : saved_(Fl_Group::current()) { Fl_Group::current(nullptr); }
  ~TopLevelScope() { Fl_Group::current(saved_); }
  TopLevelScope(const TopLevelScope&) = delete;
  TopLevelScope& operator=(const TopLevelScope&) = delete;

private:
  Fl_Group* saved_;
};

// Makes a built dialog the open one and puts it on screen: non-modal, resizable as a whole,
// closed by Escape or its close button through close_dialog.
void show_dialog(App& a, Fl_Double_Window& dialog);

// The default style dialog ("Default style" of the tag popup menu); nothing when a dialog
// is open.
void open_default_style_dialog(App& a, const char* title);
// The default style dialog's chooser callback: a double click gives untagged text the style.
void apply_default_style(Fl_Widget* chooser, void*);

// Hands the dialog to the toolkit's deferred deletion; no dialog is open afterwards.
void discard_dialog(App& a, Fl_Widget* dialog);
// Window callback of every dialog (Escape, close button): discards it, applies nothing.
void close_dialog(Fl_Widget* dialog, void*);

}  // namespace gm
