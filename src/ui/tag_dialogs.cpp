#include "ui/tag_dialogs.h"

#include <FL/Fl.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Editor.H>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "app/app.h"
#include "app/commands.h"
#include "app/menus.h"
#include "document/encoding.h"
#include "tags/styles.h"
#include "ui/fl_memory.h"
#include "ui/restyle.h"
#include "ui/style_chooser.h"

namespace gm {

TagDialog::TagDialog(const char* title, bool editable)
    : Fl_Double_Window(300, 200, 500, 200),
      note_(std::make_unique<Fl_Text_Buffer>(0, 1024)),
      preview_styles_(std::make_unique<Fl_Text_Buffer>(0, 1024)) {
  copy_label(title);
  chooser_ = build_style_chooser(0, 0, 200, 200);
  if (editable) {
    note_view_ = new Fl_Text_Editor(200, 0, 300, 200);
  } else {
    note_view_ = new Fl_Text_Display(200, 0, 300, 200);
  }
  note_view_->buffer(note_.get());
  note_view_->highlight_data(preview_styles_.get(), editor_style_table(), kStyleCount, 'A', nullptr,
                             nullptr);
  end();
}

// The note view unhooks itself from its buffers when it dies, so it goes before them.
TagDialog::~TagDialog() { clear(); }

namespace {

TagDialog& make_tag_dialog(App& a, const char* title, bool editable) {
  TagDialog* dialog;
  {
    const TopLevelScope top_level;
    dialog = new TagDialog(title, editable);
  }
  a.preview_styles = &dialog->preview_styles();
  return *dialog;
}

std::string note_text(Fl_Text_Display& note_view) {
  Fl_Text_Buffer& note = *note_view.buffer();
  return take_text(note.text(), static_cast<size_t>(note.length()));
}

// Every change is recorded as a copy, so that undo and redo never hold a live Tag.
void record(App& a, int32_t action, std::unique_ptr<Tag> copy) {
  if (!a.history) return;
  a.history->add_action(action, std::move(copy));
  refresh_undo_redo(a);
}

// The style that a double click chose; 0 for a single click or when no line is selected.
unsigned char applied_style(App& a, const Fl_Hold_Browser& chooser) {
  if (Fl::event_clicks() == 0) return 0;
  const unsigned char style = chosen_style(chooser);
  if (style) a.last_style_line = style_line(style);
  return style;
}

void open_new_tag(App& a, const char* title) {
  TagDialog& dialog = make_tag_dialog(a, title, true);
  Fl_Hold_Browser& chooser = dialog.chooser();
  select_style(chooser, line_style(a.last_style_line));
  chooser.callback(apply_new_tag, &dialog.note_view());
  run_as_single_click(chooser);
  chooser.tooltip("Click to select.\nDouble click to apply.\nPress ESC to cancel.");
  dialog.note_view().tooltip("Edit and add tag here.");
  show_dialog(a, dialog);
}

void open_edit_tag(App& a, const char* title) {
  const TagNode* node = a.tags.find_tag_at(a.popup_position);
  if (!node) {
    std::puts("no tag found. use insert instead!");
    return;
  }
  const Tag& tag = *node->tag;
  TagDialog& dialog = make_tag_dialog(a, title, true);
  if (tag.has_note()) dialog.note().append(utf8_for_display(tag.note()).c_str());
  a.last_style_line = style_line(tag.style);
  Fl_Hold_Browser& chooser = dialog.chooser();
  select_style(chooser, tag.style);
  chooser.callback(apply_tag_edit, &dialog.note_view());
  run_as_single_click(chooser);
  chooser.tooltip("Click to select.\nDouble click to apply.");
  dialog.note_view().tooltip("Edit the tag here.");
  show_dialog(a, dialog);
}

void remove_tag_at_popup(App& a) {
  const TagNode* node = a.tags.find_tag_at(a.popup_position);
  if (!node) {
    std::fputs("no tag found\n", stderr);
    return;
  }
  const int32_t start = node->tag->start;
  const int32_t end = node->tag->end;
  record(a, REMOVE, copy_tag(*node->tag));
  a.tags.remove_tag_at(a.popup_position);
  restyle_tag_area(a, start, end);
}

// The read-only chooser of Tag properties keeps showing the Tag's style (line 0: none).
void keep_line(Fl_Widget* w, void* line) {
  auto& chooser = *static_cast<Fl_Browser*>(w);
  const auto kept = static_cast<int>(reinterpret_cast<intptr_t>(line));
  if (kept > 0) {
    chooser.select(kept, 1);
  } else {
    chooser.deselect();
  }
}

void open_tag_properties(App& a, const char* title) {
  TagDialog& dialog = make_tag_dialog(a, title, false);
  int line = 0;
  if (const TagNode* node = a.tags.find_tag_at(a.popup_position)) {
    const Tag& tag = *node->tag;
    std::string text = utf8_for_display(tag.note());
    text += "\nlatest update: ";
    const std::time_t when = tag.time;
    if (const char* rendered = std::ctime(&when)) text += rendered;
    dialog.note().append(text.c_str());
    line = a.last_style_line = style_line(tag.style);
    select_style(dialog.chooser(), tag.style);
    dialog.tooltip("Is tag. \nPress <ESC> to close.");
  } else {
    dialog.tooltip("Not a tag.\nPress <ESC> to close.");
    dialog.note().append("<no tag found>\n");
  }
  dialog.chooser().callback(keep_line, reinterpret_cast<void*>(intptr_t{line}));
  show_dialog(a, dialog);
}

}  // namespace

void popup_dispatch(Fl_Widget* w, void*) {
  App& a = app();
  a.popup_position = a.pointer_position;
  const auto* button = static_cast<Fl_Menu_Button*>(w);
  const Fl_Menu_Item* item = button->mvalue();
  if (!item || !item->label()) {
    std::puts("NULL");
    return;
  }
  if (std::strstr(item->label(), "Default style")) {
    open_default_style_dialog(a, item->label());
    return;
  }
  open_tag_dialog(a, item->label(), static_cast<int>(item - button->menu()));
}

void open_tag_dialog(App& a, const char* title, int index) {
  if (a.open_dialog) return;
  // Remove tag and the failures decide before any window is made, so none flashes up.
  switch (index) {
    case kNewTagItem:
      open_new_tag(a, title);
      break;
    case kEditTagItem:
      open_edit_tag(a, title);
      break;
    case kRemoveTagItem:
      remove_tag_at_popup(a);
      break;
    case kTagPropertiesItem:
      open_tag_properties(a, title);
      break;
    default:
      std::fprintf(stderr, "error menu item %d\n", index);
  }
}

void apply_new_tag(Fl_Widget* w, void* view) {
  auto& chooser = *static_cast<Fl_Hold_Browser*>(w);
  auto& note_view = *static_cast<Fl_Text_Display*>(view);
  App& a = app();
  const unsigned char style = applied_style(a, chooser);
  if (!style) {
    preview_style(chooser, note_view);
    return;
  }
  // The range is the selection now, not when the dialog opened.
  int start = 0;
  int end = 0;
  if (a.text_buffer->selection_position(&start, &end)) {
    std::unique_ptr<Tag> tag = make_tag(start, end, style, unique_time(), note_text(note_view));
    std::unique_ptr<Tag> copy = copy_tag(*tag);
    a.tags.insert_tag(tag);
    restyle_tag_area(a, start, end);
    record(a, ADD, std::move(copy));
  }
  discard_dialog(a, chooser.window());
}

void apply_tag_edit(Fl_Widget* w, void* view) {
  auto& chooser = *static_cast<Fl_Hold_Browser*>(w);
  auto& note_view = *static_cast<Fl_Text_Display*>(view);
  App& a = app();
  if (Fl::event_clicks() == 0) {
    preview_style(chooser, note_view);
    return;
  }
  // Looked up anew: undo, redo or another popup choice may have changed what is there.
  const TagNode* old = a.tags.find_tag_at(a.popup_position);
  if (!old) {
    std::puts("no tag found. use insert instead!");
    discard_dialog(a, chooser.window());
    return;
  }
  const unsigned char style = applied_style(a, chooser);
  if (!style) return;
  int start = 0;
  int end = 0;
  if (!a.text_buffer->selection_position(&start, &end)) {
    std::fputs("error,no selection find to edit\n", stderr);
  } else {
    const int32_t old_start = old->tag->start;
    const int32_t old_end = old->tag->end;
    // The dialog showed a note that is not UTF-8 with replacement characters; left as shown,
    // the note keeps its own bytes.
    std::string note = note_text(note_view);
    if (note == utf8_for_display(old->tag->note())) note = old->tag->note();
    record(a, EDIT_OLD, copy_tag(*old->tag));
    a.tags.remove_tag_at(a.popup_position);
    std::unique_ptr<Tag> tag = make_tag(start, end, style, unique_time(), note);
    std::unique_ptr<Tag> copy = copy_tag(*tag);
    a.tags.insert_tag(tag);
    record(a, EDIT_NEW, std::move(copy));
    restyle_tag_area(a, std::min(start, old_start), std::max(end, old_end));
  }
  discard_dialog(a, chooser.window());
}

void preview_style(Fl_Hold_Browser& chooser, Fl_Text_Display& note_view) {
  App& a = app();
  const unsigned char style = chosen_style(chooser);
  if (!style || !a.preview_styles) return;
  a.last_style_line = style_line(style);
  const int length = note_view.buffer()->length();
  const std::string styles(static_cast<size_t>(length), static_cast<char>(buffer_style(style)));
  a.preview_styles->text(styles.c_str());
  note_view.redisplay_range(0, length);
}

}  // namespace gm
