#include "ui/dialogs.h"

#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Editor.H>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <utility>

#include "document/encoding.h"
#include "tags/styles.h"
#include "tags/tag_document.h"
#include "ui/fl_memory.h"
#include "ui/top_level.h"
#include "ui/view.h"

namespace gm {

// ---------------------------------------------------------------------------------------
// Style chooser

namespace {

constexpr unsigned char kFirstStyle = 'A';
constexpr unsigned char kLastStyle = 'z';
constexpr size_t kMaxLineText = 98;

void* style_as_data(unsigned char style) { return reinterpret_cast<void*>(uintptr_t{style}); }

// Runs a chooser's callback as a single click on its selected line would.
void run_as_single_click(Fl_Widget& chooser) {
  // The click count left over from the menu pick must not read as a double click here.
  Fl::event_clicks(0);
  chooser.do_callback();
}

}  // namespace

std::string style_line_text(unsigned char style) {
  const StyleEntry& e = style_entry(style);
  const char* font_name = Fl::get_font_name(static_cast<Fl_Font>(e.font));
  std::string text =
      style_codes(style) + (font_name ? font_name : "") + ' ' + std::to_string(e.size);
  if (text.size() > kMaxLineText) text.resize(kMaxLineText);
  return text;
}

Fl_Hold_Browser* build_style_chooser(int x, int y, int w, int h) {
  auto* chooser = new Fl_Hold_Browser(x, y, w, h);
  for (int style = kFirstStyle; style <= kLastStyle; ++style) {
    const auto c = static_cast<unsigned char>(style);
    chooser->add(style_line_text(c).c_str(), style_as_data(c));
  }
  return chooser;
}

int style_line(unsigned char style) {
  return std::clamp<int>(style, kFirstStyle, kLastStyle) - (kFirstStyle - 1);
}

unsigned char line_style(int line) {
  return static_cast<unsigned char>(std::clamp(line, 1, kStyleCount) + (kFirstStyle - 1));
}

unsigned char chosen_style(const Fl_Browser& chooser) {
  const int line = chooser.value();
  if (line <= 0) return 0;  // a click below the last line leaves none selected
  return static_cast<unsigned char>(reinterpret_cast<uintptr_t>(chooser.data(line)));
}

void select_style(Fl_Browser& chooser, unsigned char style) {
  chooser.select(style_line(style), 1);
}

// ---------------------------------------------------------------------------------------
// Dialog and DialogHost

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
  focus_new_window(*this);
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
  if (open_.get() == &dialog) open_.reset();
}

void DialogHost::close(Dialog& dialog) {
  discard(dialog);
  std::puts("ok");
}

void DialogHost::close_open_dialog() {
  if (open_) close(*open_);
}

// ---------------------------------------------------------------------------------------
// TagDialog

TagDialog::TagDialog(DialogHost& host, const char* title, Kind kind, const Tag* tag)
    : Dialog(host, 500, 200, title),
      kind_(kind),
      note_(std::make_unique<Fl_Text_Buffer>(0, 1024)),
      preview_styles_(std::make_unique<Fl_Text_Buffer>(0, 1024)) {
  chooser_ = build_style_chooser(0, 0, 200, 200);
  if (kind == Kind::kProperties) {
    note_view_ = new Fl_Text_Display(200, 0, 300, 200);
  } else {
    note_view_ = new Fl_Text_Editor(200, 0, 300, 200);
  }
  note_view_->buffer(note_.get());
  note_view_->highlight_data(preview_styles_.get(), editor_style_table(), kStyleCount, 'A', nullptr,
                             nullptr);
  chooser_->callback(style_clicked, this);
  switch (kind) {
    case Kind::kNew:
      open_new();
      break;
    case Kind::kEdit:
      open_edit(*tag);
      break;
    case Kind::kProperties:
      open_properties(tag);
      break;
  }
}

TagDialog::~TagDialog() { clear(); }

void TagDialog::open_new() {
  select_style(*chooser_, line_style(host().last_style_line()));
  run_as_single_click(*chooser_);
  chooser_->tooltip("Click to select.\nDouble click to apply.\nPress ESC to cancel.");
  note_view_->tooltip("Edit and add tag here.");
}

void TagDialog::open_edit(const Tag& tag) {
  if (tag.has_note()) note_->append(utf8_for_display(tag.note()).c_str());
  host().set_last_style_line(style_line(tag.style));
  select_style(*chooser_, tag.style);
  run_as_single_click(*chooser_);  // the note shows in the Tag's style at once
  chooser_->tooltip("Click to select.\nDouble click to apply.");
  note_view_->tooltip("Edit the tag here.");
}

void TagDialog::open_properties(const Tag* tag) {
  if (!tag) {
    tooltip("Not a tag.\nPress <ESC> to close.");
    note_->append("<no tag found>\n");
    return;
  }
  std::string text = utf8_for_display(tag->note());
  text += "\nlatest update: ";
  const std::time_t when = tag->time;
  if (const char* rendered = std::ctime(&when)) text += rendered;
  note_->append(text.c_str());
  kept_line_ = style_line(tag->style);
  host().set_last_style_line(kept_line_);
  select_style(*chooser_, tag->style);
  tooltip("Is tag. \nPress <ESC> to close.");
}

void TagDialog::style_clicked(Fl_Widget*, void* self) {
  auto& dialog = *static_cast<TagDialog*>(self);
  switch (dialog.kind_) {
    case Kind::kNew:
      dialog.apply_new();
      break;
    case Kind::kEdit:
      dialog.apply_edit();
      break;
    case Kind::kProperties:
      // Read-only: the chooser keeps showing the Tag's style.
      if (dialog.kept_line_ > 0) {
        dialog.chooser_->select(dialog.kept_line_, 1);
      } else {
        dialog.chooser_->deselect();
      }
      break;
  }
}

// The note in the clicked style. The styles do not follow later typing: text beyond them
// shows in the view's default style until the next click.
void TagDialog::preview() {
  const unsigned char style = chosen_style(*chooser_);
  if (!style) return;
  host().set_last_style_line(style_line(style));
  const int length = note_->length();
  const std::string styles(static_cast<size_t>(length), static_cast<char>(buffer_style(style)));
  preview_styles_->text(styles.c_str());
  note_view_->redisplay_range(0, length);
}

unsigned char TagDialog::applied_style() {
  if (Fl::event_clicks() == 0) return 0;
  const unsigned char style = chosen_style(*chooser_);
  if (style) host().set_last_style_line(style_line(style));
  return style;
}

std::string TagDialog::note_text() const {
  return take_text(note_->text(), static_cast<size_t>(note_->length()));
}

void TagDialog::apply_new() {
  const unsigned char style = applied_style();
  if (!style) {
    preview();
    return;
  }
  // The range is the selection now, not when the dialog opened.
  int start = 0;
  int end = 0;
  if (host().view().text().selection_position(&start, &end))
    host().tags().add(make_tag(start, end, style, unique_time(), note_text()));
  host().discard(*this);
}

void TagDialog::apply_edit() {
  if (Fl::event_clicks() == 0) {
    preview();
    return;
  }
  // Looked up anew: undo, redo or another popup choice may have changed what is there.
  const int32_t position = host().view().popup_position();
  const TagNode* old = host().tags().tags().find_tag_at(position);
  if (!old) {
    std::puts("no tag found. use insert instead!");
    host().discard(*this);
    return;
  }
  const unsigned char style = applied_style();
  if (!style) return;
  int start = 0;
  int end = 0;
  if (!host().view().text().selection_position(&start, &end)) {
    std::fputs("error,no selection find to edit\n", stderr);
  } else {
    // The dialog showed a note that is not UTF-8 with replacement characters; left as shown,
    // the note keeps its own bytes.
    std::string note = note_text();
    if (note == utf8_for_display(old->tag->note())) note = old->tag->note();
    host().tags().edit(position, make_tag(start, end, style, unique_time(), note));
  }
  host().discard(*this);
}

// ---------------------------------------------------------------------------------------
// DefaultStyleDialog

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
