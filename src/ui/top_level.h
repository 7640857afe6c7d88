// Windows of their own (dialogs, the tip, the About box) while some group is being built: the
// toolkit puts every new widget into the current group, and showing a window forgets that
// group. Make and show such windows inside one of these scopes.
#pragma once

#include <FL/Fl_Group.H>

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

}  // namespace gm
