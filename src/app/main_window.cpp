#include "app/main_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Tile.H>

#include <vector>

#include "app/program.h"
#include "ui/editor.h"

namespace gm {

namespace {

constexpr double kRefresh = 0.1;

bool has_selection(const Fl_Input& input) { return input.position() != input.mark(); }

Fl_Menu_Item item(const char* label, int shortcut, Fl_Callback* callback, Program* program,
                  int flags = 0) {
  return Fl_Menu_Item{label, shortcut, callback, program, flags, 0, 0, 0, 0};
}
Fl_Menu_Item submenu(const char* label) { return item(label, 0, nullptr, nullptr, FL_SUBMENU); }
const Fl_Menu_Item kEnd{nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0};

Program& program_of(void* data) { return *static_cast<Program*>(data); }

// The picked item's text: the title of the dialog it opens.
const char* picked_text(Fl_Widget* menu) { return static_cast<Fl_Menu_*>(menu)->text(); }

// The commands of the menu items: each item carries the Program as its user data.
void open_command(Fl_Widget*, void* p) { program_of(p).commands.open(); }
void save_tag_command(Fl_Widget*, void* p) { program_of(p).commands.save_tags(); }
void exit_command(Fl_Widget*, void* p) { program_of(p).commands.leave(); }
void copy_command(Fl_Widget*, void* p) { program_of(p).commands.copy(false); }
void paste_command(Fl_Widget*, void* p) { program_of(p).commands.paste(); }
void cut_command(Fl_Widget*, void* p) { program_of(p).commands.cut(); }
void undo_command(Fl_Widget*, void* p) { program_of(p).document.tags.undo(); }
void redo_command(Fl_Widget*, void* p) { program_of(p).document.tags.redo(); }
void toggle_sidebar(Fl_Widget*, void* p) { program_of(p).window.toggle_sidebar(); }
void list_tags_command(Fl_Widget*, void* p) { program_of(p).sidebar.list_tags(); }
void about_command(Fl_Widget*, void* p) { program_of(p).about.show(); }
void help_command(Fl_Widget*, void* p) { program_of(p).commands.help(); }
void search_copy_command(Fl_Widget*, void* p) { program_of(p).commands.copy(true); }
void new_tag_command(Fl_Widget* m, void* p) { program_of(p).dialogs.new_tag(picked_text(m)); }
void edit_tag_command(Fl_Widget* m, void* p) { program_of(p).dialogs.edit_tag(picked_text(m)); }
void remove_tag_command(Fl_Widget*, void* p) { program_of(p).dialogs.remove_tag(); }
void tag_properties_command(Fl_Widget* m, void* p) {
  program_of(p).dialogs.tag_properties(picked_text(m));
}
void default_style_command(Fl_Widget* m, void* p) {
  program_of(p).dialogs.default_style(picked_text(m));
}
void open_uri_command(Fl_Widget*, void* p) { program_of(p).commands.open_uri(); }

// The menu tables, terminated as the toolkit wants them. The menu bar copies the main menu;
// the popup menus use theirs in place.
std::vector<Fl_Menu_Item> main_menu(Program& p) {
  return {
      submenu("&File"),
      item("&Open", FL_CTRL + 'o', open_command, &p),
      item("&Save Tag  ", FL_CTRL + 's', save_tag_command, &p),
      item("E&xit", 0, exit_command, &p),
      kEnd,
      submenu("&Edit"),
      item("Copy", FL_CTRL + 'c', copy_command, &p),
      item("Paste", FL_CTRL + 'v', paste_command, &p),
      item("Cut", FL_CTRL + 'x', cut_command, &p, FL_MENU_DIVIDER),
      item("Undo", FL_CTRL + 'z', undo_command, &p, FL_MENU_INACTIVE),
      item("Redo", FL_CTRL + 'r', redo_command, &p, FL_MENU_INACTIVE),
      kEnd,
      submenu("&View"),
      item("Side&Bar  ", FL_CTRL + 'b', toggle_sidebar, &p, FL_MENU_TOGGLE | FL_MENU_VALUE),
      item("&List Tags   ", FL_CTRL + 'l', list_tags_command, &p),
      kEnd,
      submenu("&Help"),
      item("About", 0, about_command, &p),
      item("Free to use", 0, nullptr, nullptr, FL_MENU_INACTIVE),
      item("Help", FL_F + 1, help_command, &p),
      kEnd,
      kEnd,
  };
}

std::vector<Fl_Menu_Item> search_menu(Program& p) {
  return {
      item("Copy", FL_CTRL + 'c', search_copy_command, &p),
      item("Paste  ", FL_CTRL + 'v', paste_command, &p),
      item("Cut", FL_CTRL + 'x', cut_command, &p),
      kEnd,
  };
}

std::vector<Fl_Menu_Item> tag_popup_menu(Program& p) {
  return {
      item("New tag", 0, new_tag_command, &p, FL_MENU_INACTIVE),
      item("Edit tag", 0, edit_tag_command, &p, FL_MENU_INACTIVE),
      item("Remove tag", 0, remove_tag_command, &p),
      item("Tag properties", 0, tag_properties_command, &p, FL_MENU_DIVIDER),
      item("&Copy Text", 0, copy_command, &p, FL_MENU_INACTIVE | FL_MENU_DIVIDER),
      item("Default style", 0, default_style_command, &p, FL_MENU_DIVIDER),
      item("Open uri with external program", 0, open_uri_command, &p, FL_MENU_INACTIVE),
      kEnd,
  };
}

// Makes the item with this command active or inactive.
void set_item_active(Fl_Menu_& menu, Fl_Callback* command, bool active) {
  const int index = menu.find_index(command);
  if (index < 0) return;
  const int flags = menu.mode(index);
  menu.mode(index, active ? flags & ~FL_MENU_INACTIVE : flags | FL_MENU_INACTIVE);
}

}  // namespace

MainWindow::MainWindow(Program& program)
    : program_(program), search_menu_(search_menu(program)), tag_popup_(tag_popup_menu(program)) {
  window_ = std::make_unique<Fl_Double_Window>(800, 600);
  window_->label("no file loaded");
  // The desktop pairs the program's windows with its launcher and icon by this class (the
  // toolkit gives it to the dialogs too; "-name" still overrides it). The toolkit's own
  // default would be the same for every program built on it.
  window_->xclass("glossmark");
  window_->box(FL_NO_BOX);

  menu_bar_ = new Fl_Menu_Bar(0, 0, 800, 30);
  menu_bar_->copy(main_menu(program).data());

  tile_ = new Fl_Tile(0, 30, 800, 570);
  program.sidebar.build(search_menu_.data());
  program.view.build(260, 30, 540, 570, tag_popup_.data());
  program.view.text().add_modify_callback(text_modified, this);
  Fl::belowmouse(&program.view.editor());
  tile_->end();

  window_->resizable(tile_);
  window_->end();
  window_->callback(close_requested, &program);
}

MainWindow::~MainWindow() {
  Fl::remove_timeout(refresh_due, this);
  program_.view.text().remove_modify_callback(text_modified, this);
}

void MainWindow::close_requested(Fl_Widget*, void* program) {
  static_cast<Program*>(program)->commands.leave();
}

void MainWindow::refresh_undo_redo() {
  const TagHistory& history = program_.document.tags.history();
  set_item_active(*menu_bar_, undo_command, history.can_undo());
  set_item_active(*menu_bar_, redo_command, history.can_redo());
}

void MainWindow::refresh_commands() {
  set_item_active(*menu_bar_, save_tag_command, program_.document.tags.unsaved());
  const bool input_selection = has_selection(program_.sidebar.search_input());
  set_item_active(*menu_bar_, cut_command, input_selection);
  Fl_Menu_Button& search = program_.sidebar.search_menu_button();
  set_item_active(search, search_copy_command, input_selection);
  set_item_active(search, cut_command, input_selection);
  set_item_active(*menu_bar_, copy_command, input_selection || program_.view.text().selected());
}

void MainWindow::start_refresh() { Fl::add_timeout(kRefresh, refresh_due, this); }

void MainWindow::refresh_due(void* self) {
  static_cast<MainWindow*>(self)->refresh_commands();
  Fl::repeat_timeout(kRefresh, refresh_due, self);
}

void MainWindow::show_title() {
  const DocumentState& file = program_.document.file;
  if (!file.path) {
    window_->copy_label("modified: no file loaded");
  } else {
    window_->copy_label(file.display_path ? file.display_path->c_str() : file.path->c_str());
  }
}

void MainWindow::refresh_tag_popup() {
  const bool selected = program_.view.text().selected() != 0;
  Fl_Menu_Button& popup = program_.view.popup_button();
  for (Fl_Callback* with_selection :
       {new_tag_command, edit_tag_command, copy_command, open_uri_command})
    set_item_active(popup, with_selection, selected);
  for (Fl_Callback* without_selection :
       {remove_tag_command, tag_properties_command, default_style_command})
    set_item_active(popup, without_selection, !selected);
}

// Every change of the text buffer, selections included.
void MainWindow::text_modified(int, int inserted, int deleted, int, const char*, void* self) {
  auto& main = *static_cast<MainWindow*>(self);
  if (inserted || deleted) {
    main.show_title();
  } else {
    main.refresh_tag_popup();
  }
}

// The sidebar widgets keep their geometry while hidden, so showing them again brings back
// the layout the user had dragged in the tile. The search input menu button stays: the
// widened Editor, a later child of the tile, covers it and takes every press.
void MainWindow::toggle_sidebar() {
  Editor& editor = program_.view.editor();
  Sidebar& sidebar = program_.sidebar;
  Fl_Widget* const widgets[] = {&sidebar.search_input(), &sidebar.type_choice(),
                                &sidebar.browser()};
  if (sidebar_shown_) {
    saved_editor_x_ = editor.x();
    editor.resize(0, tile_->y(), tile_->w(), tile_->h());
    tile_->redraw();
    for (Fl_Widget* w : widgets) w->hide();
  } else {
    const int x = saved_editor_x_;
    editor.resize(x, tile_->y(), tile_->w() - x, tile_->h());
    tile_->redraw();
    for (Fl_Widget* w : widgets) w->show();
  }
  sidebar_shown_ = !sidebar_shown_;
}

}  // namespace gm
