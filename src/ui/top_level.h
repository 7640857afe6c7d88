// Windows of their own (dialogs, the tip, the About box) while some group is being built: the
// toolkit puts every new widget into the current group, and showing a window forgets that
// group. Make and show such windows inside one of these scopes, then give them the keyboard.
#pragma once

#include <FL/Fl_Group.H>

class Fl_Window;

namespace gm {

class TopLevelScope {
 public:
  TopLevelScope() : saved_(Fl_Group::current()) { Fl_Group::current(nullptr); }
  ~TopLevelScope() { Fl_Group::current(saved_); }
  TopLevelScope(const TopLevelScope&) = delete;
  TopLevelScope& operator=(const TopLevelScope&) = delete;

 private:
  Fl_Group* saved_;
};

// Gives a window just shown the keyboard focus once it is on screen, as a window manager
// does. Without one, keys go to the window under the pointer: Escape meant for a new dialog
// would reach the main window and end the program.
void focus_new_window(Fl_Window& window);

}  // namespace gm
