#include "ui/default_style_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Hold_Browser.H>

#include <cstdio>

#include "tags/tag_document.h"
#include "ui/style_chooser.h"
#include "ui/view.h"

namespace gm {

DefaultStyleDialog::DefaultStyleDialog(DialogHost& host, const char* title)
    : Dialog(host, 200, 200, title) {
  chooser_ = build_style_chooser(0, 0, 200, 200);
  chooser_->tooltip("Click to select. \nDouble click to apply.\nPress ESC to cancel.");
  select_style(*chooser_, host.tags().tags().default_style);
  chooser_->callback(style_clicked, this);
  end();
  run_as_single_click(*chooser_);
}

void DefaultStyleDialog::style_clicked(Fl_Widget*, void* self) {
  static_cast<DefaultStyleDialog*>(self)->apply();
}

void DefaultStyleDialog::apply() {
  if (Fl::event_clicks() == 0) return;
  const unsigned char style = chosen_style(*chooser_);
  if (!style) return;
  if (host().view().text().selected()) {
    std::fputs("deselect before change default style.\n", stderr);
    return;
  }
  host().tags().set_default_style(style);
  host().discard(*this);
}

}  // namespace gm
