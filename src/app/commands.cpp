#include "app/commands.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Text_Buffer.H>

#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "app/menus.h"
#include "tags/tag_file.h"
#include "ui/editor.h"
#include "ui/restyle.h"
#include "ui/style_chooser.h"
#include "ui/tag_browser.h"

namespace gm {

namespace {

bool search_input_has_selection(const App& a) {
  return a.search_input && a.search_input->position() != a.search_input->mark();
}

// "&Open": the chosen path, or none when the chooser was cancelled.
std::optional<std::string> choose_document(App& a) {
  if (!a.chooser) return std::nullopt;
  a.chooser->show();
  while (a.chooser->visible()) Fl::wait();
  if (a.chooser->count() == 0) return std::nullopt;
  const char* chosen = a.chooser->value(1);
  if (!chosen) return std::nullopt;
  return std::string(chosen);
}

// The title names the open document (in its UTF-8 form when the path is not UTF-8).
void show_document_title(App& a) {
  if (!a.window) return;
  if (!a.doc.path) {
    a.window->copy_label("modified: no file loaded");
  } else {
    a.window->copy_label(a.doc.display_path ? a.doc.display_path->c_str() : a.doc.path->c_str());
  }
}

// What the toolkit's option reader takes for an argument that is not an option.
bool is_plain_word(const char* s) { return s[0] != '-' || s[1] == '-' || s[1] == '\0'; }

// One toolkit option (with its value) at position i, if one stands there.
void read_one_option(int argc, char** argv, int i) {
  if (i < argc && !is_plain_word(argv[i])) Fl::arg(argc, argv, i);
}

}  // namespace

std::optional<std::string> read_command_line(int argc, char** argv) {
  std::optional<std::string> path;
  // "-f PATH" anywhere but as the last argument; one toolkit option may follow the path.
  for (int i = 1; i < argc - 1; ++i) {
    if (std::strcmp(argv[i], "-f") == 0) {
      path = argv[i + 1];
      read_one_option(argc, argv, i + 2);
      break;
    }
  }
  // Otherwise the first plain word among the toolkit options, again followed by one option.
  // The word test matters: the toolkit remembers having met a plain word, and would then
  // stop at an unknown option the same way.
  int i = 1;
  if (Fl::args(argc, argv, i) && i < argc && is_plain_word(argv[i])) {
    path = argv[i];
    read_one_option(argc, argv, i + 1);
  }
  return path;
}

int open_document(App& a, const char* path) {
  // A dialog acts on the document it was opened for: it goes, as its Escape would take it.
  if (a.open_dialog) close_dialog(a.open_dialog, nullptr);
  Fl::remove_timeout(search_text_step);
  Fl::remove_timeout(search_tags_step);
  if (!path) return -1;
  a.doc.data.reset();
  a.blocks_to_show.reset();
  // Everything that can fail comes before the shown document gives way: its text, Tags,
  // history, path and unsaved flag stay whole when the new one cannot be had.
  const std::unique_ptr<LoadedDocument> loaded = load_document(path, a.tags);
  if (!loaded) return -1;
  std::optional<DocumentBlocks> blocks = make_document_blocks(a, loaded->text);
  if (!blocks) return -1;
  adopt_document(a.doc, a.tags, *loaded);
  a.blocks_to_show = std::move(blocks);
  return 0;
}

void init_open(App& a) {
  if (!a.doc.data) return;
  if (!a.blocks_to_show) {  // shown already: show it again
    a.blocks_to_show = make_document_blocks(a, *a.doc.data);
    if (!a.blocks_to_show) return;
  }
  DocumentBlocks blocks = std::move(*a.blocks_to_show);
  a.blocks_to_show.reset();
  const int length = blocks.text.length;
  // The styles are painted on a second thread while the text goes into its buffer, which
  // takes as long again for the Editor to count its lines.
  DocumentPaint paint(a.tags, std::move(blocks.styles));
  a.text_buffer->replace_all(std::move(blocks.text));
  // An empty text after an empty one is no change to the buffer, but the title must still
  // name the document now open.
  if (length == 0) show_document_title(a);
  restyle_document(a, paint);
  a.unsaved_tags = 0;
  a.history = std::make_unique<TagHistory>(-1);
  refresh_undo_redo(a);
  // Loading clears the selection without the notification that sets these.
  refresh_tag_popup(a);
  if (a.editor) a.editor->scroll(a.tags.top_line, a.tags.top_column);
}

int save_tags(App& a) {
  if (!a.doc.path) return -1;
  const std::string name = tag_file_name(*a.doc.path);
  int line = 0;
  int column = 0;
  if (a.editor && a.editor->line_column_at(0, 0, &line, &column)) {
    a.tags.top_line = line;
    a.tags.top_column = column;
  }
  if (write_tag_file(a.tags, name.c_str()) != 0) {
    std::fputs("error: fail to save tag file!\n", stderr);
    return -1;
  }
  a.unsaved_tags = 0;
  return 0;
}

int confirm_unsaved(App& a) {
  if (!a.unsaved_tags) return 1;
  switch (a.ask("No save since last change!", "cancel", "save", "ignore")) {
    case 0:
      return 0;
    case 2:
      return 1;
    default:
      break;
  }
  if (save_tags(a) == 0) return 1;
  // Keep offering another try: giving up silently would lose the changed tags.
  for (;;) {
    switch (a.ask("Fail to save!", "try one last time", "ignore", "cancel")) {
      case 1:
        return 1;
      case 2:
        return 0;
      default:
        if (save_tags(a) == 0) return 1;
    }
  }
}

void leave_program(App& a) {
  if (!confirm_unsaved(a)) return;
  a.about_window.reset();
  a.chooser.reset();
  a.doc.data.reset();
  a.exit_process(0);
}

void set_main_item_active(App& a, int index, bool active) {
  if (!a.menu_bar) return;
  const int flags = a.menu_bar->mode(index);
  a.menu_bar->mode(index, active ? flags & ~FL_MENU_INACTIVE : flags | FL_MENU_INACTIVE);
}

void refresh_undo_redo(App& a) {
  if (!a.history) return;
  set_main_item_active(a, kUndoItem, a.history->can_undo());
  set_main_item_active(a, kRedoItem, a.history->can_redo());
}

void refresh_commands(void* data) {
  App& a = *static_cast<App*>(data);
  set_main_item_active(a, kSaveTagItem, a.unsaved_tags != 0);
  const bool input_selection = search_input_has_selection(a);
  set_main_item_active(a, kCutItem, input_selection);
  set_item_active(a.search_menu[kSearchCopyItem], input_selection);
  set_item_active(a.search_menu[kSearchCutItem], input_selection);
  set_main_item_active(a, kCopyItem, input_selection || a.text_buffer->selected());
  Fl::add_timeout(0.1, refresh_commands, data);
}

void text_modified(int, int inserted, int deleted, int, const char*, void*) {
  App& a = app();
  if (inserted || deleted) {
    show_document_title(a);
    return;
  }
  refresh_tag_popup(a);
}

void refresh_tag_popup(App& a) {
  const bool selected = a.text_buffer->selected() != 0;
  set_item_active(a.tag_popup_menu[kNewTagItem], selected);
  set_item_active(a.tag_popup_menu[kEditTagItem], selected);
  set_item_active(a.tag_popup_menu[kCopyTextItem], selected);
  set_item_active(a.tag_popup_menu[kOpenUriItem], selected);
  set_item_active(a.tag_popup_menu[kRemoveTagItem], !selected);
  set_item_active(a.tag_popup_menu[kTagPropertiesItem], !selected);
  set_item_active(a.tag_popup_menu[kDefaultStyleItem], !selected);
}

void styles_modified(int, int inserted, int deleted, int, const char*, void*) {
  App& a = app();
  if (!inserted && !deleted) return;
  a.unsaved_tags = 1;
  if (a.browser_mode == 2) list_tags(a);
}

void open_command(Fl_Widget*, void*) {
  App& a = app();
  if (!confirm_unsaved(a)) return;
  std::optional<std::string> chosen = choose_document(a);
  if (!chosen) return;
  a.path_to_open = std::move(chosen);
  std::puts("before open");
  open_document(a, a.path_to_open->c_str());
  std::puts("after open");
  init_open(a);
  std::puts("after init open");
  list_tags(a);
}

void help_command(Fl_Widget*, void*) {
  App& a = app();
  if (!confirm_unsaved(a)) return;
  open_document(a, a.help_path.c_str());
  init_open(a);
  list_tags(a);
}

void save_tag_command(Fl_Widget*, void*) { save_tags(app()); }

void exit_command(Fl_Widget*, void*) { leave_program(app()); }

void close_callback(Fl_Widget*, void*) { leave_program(app()); }

void list_tags_command(Fl_Widget*, void*) { list_tags(app()); }

void empty_callback(Fl_File_Chooser*, void*) {}

}  // namespace gm
