// The default style dialog: a style chooser whose double click gives untagged text the style.
#pragma once

#include "ui/dialog_host.h"

class Fl_Hold_Browser;

namespace gm {

class DefaultStyleDialog : public Dialog {
 public:
  DefaultStyleDialog(DialogHost& host, const char* title);
  Fl_Hold_Browser& chooser() { return *chooser_; }

 private:
  static void style_clicked(Fl_Widget*, void* self);
  void apply();

  Fl_Hold_Browser* chooser_;
};

}  // namespace gm
