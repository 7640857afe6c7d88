#include "ui/dialog_host.h"

#include <cstdio>
#include <utility>

#include "tags/tag_document.h"
#include "ui/default_style_dialog.h"
#include "ui/tag_dialog.h"
#include "ui/top_level.h"
#include "ui/view.h"

namespace gm {

Dialog::Dialog(DialogHost& host, int w, int h, const char* title)
    : Fl_Double_Window(300, 200, w, h), host_(host) {
  copy_label(title);
}

void Dialog::show_dialog() {
  end();
  resizable(this);
  callback(closed, this);
  set_non_modal();
  show();
}

void Dialog::closed(Fl_Widget*, void* self) {
  auto& dialog = *static_cast<Dialog*>(self);
  dialog.host_.close(dialog);
}

DialogHost::DialogHost(TagDocument& tags, View& view) : tags_(tags), view_(view) {}

// No callback of the dialog runs now: it can go at once.
DialogHost::~DialogHost() { delete open_.release(); }

template <class D, class... Args>
void DialogHost::open(Args&&... args) {
  const TopLevelScope top_level;
  open_.reset(new D(*this, std::forward<Args>(args)...));
  open_->show_dialog();
}

void DialogHost::new_tag(const char* title) {
  view_.take_popup_position();
  if (open_) return;
  open<TagDialog>(title, TagDialog::Kind::kNew, nullptr);
}

void DialogHost::edit_tag(const char* title) {
  view_.take_popup_position();
  if (open_) return;
  // Decided before any window is made, so none flashes up.
  const TagNode* node = tags_.tags().find_tag_at(view_.popup_position());
  if (!node) {
    std::puts("no tag found. use insert instead!");
    return;
  }
  open<TagDialog>(title, TagDialog::Kind::kEdit, node->tag.get());
}

void DialogHost::remove_tag() {
  view_.take_popup_position();
  if (open_) return;
  if (!tags_.remove_at(view_.popup_position()).made) std::fputs("no tag found\n", stderr);
}

void DialogHost::tag_properties(const char* title) {
  view_.take_popup_position();
  if (open_) return;
  const TagNode* node = tags_.tags().find_tag_at(view_.popup_position());
  open<TagDialog>(title, TagDialog::Kind::kProperties, node ? node->tag.get() : nullptr);
}

void DialogHost::default_style(const char* title) {
  view_.take_popup_position();
  if (open_) return;
  open<DefaultStyleDialog>(title);
}

void DialogHost::discard(Dialog& dialog) {
  if (open_.get() == &dialog) {
    open_.reset();
  } else {
    Fl::delete_widget(&dialog);
  }
}

void DialogHost::close(Dialog& dialog) {
  discard(dialog);
  std::puts("ok");
}

}  // namespace gm
