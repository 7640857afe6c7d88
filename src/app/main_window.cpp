#include "app/main_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Tile.H>

#include "app/menus.h"
#include "app/program.h"
#include "ui/editor.h"

namespace gm {

namespace {

constexpr double kRefresh = 0.1;

bool has_selection(const Fl_Input& input) { return input.position() != input.mark(); }

}  // namespace

MainWindow::MainWindow(Program& program)
    : program_(program), search_menu_(search_menu(program)), tag_popup_(tag_popup_menu(program)) {
  window_ = std::make_unique<Fl_Double_Window>(800, 600);
  window_->label("no file loaded");
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
