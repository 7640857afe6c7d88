// The main window: menu bar, the tile with the sidebar and the Editor, the menu tables with
// the commands of their items, and the item states and title that follow the document, the
// selections and the history. Items are found by their command, never by a number.
#pragma once

#include <FL/Fl_Menu_Item.H>

#include <memory>
#include <vector>

class Fl_Double_Window;
class Fl_Menu_Bar;
class Fl_Tile;

namespace gm {

class Program;

class MainWindow {
 public:
  // Builds the whole widget tree from the program's parts and wires every callback.
  explicit MainWindow(Program& program);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  Fl_Double_Window& window() { return *window_; }
  Fl_Menu_Bar& menu_bar() { return *menu_bar_; }
  Fl_Tile& tile() { return *tile_; }

  // Undo and Redo active only while they can do something.
  void refresh_undo_redo();
  // "&Save Tag  ", "Copy" and "Cut" from the unsaved flag and the two selections; every 0.1 s
  // once started.
  void refresh_commands();
  void start_refresh();
  // The title names the open document (in its UTF-8 form when the path is not UTF-8).
  void show_title();
  // The tag popup menu's items for a document with or without a selection.
  void refresh_tag_popup();
  // Hides or shows the sidebar; the Editor takes its room.
  void toggle_sidebar();

 private:
  static void text_modified(int pos, int inserted, int deleted, int restyled,
                            const char* deleted_text, void* self);
  static void refresh_due(void* self);
  static void close_requested(Fl_Widget*, void* program);

  Program& program_;
  std::vector<Fl_Menu_Item> search_menu_;  // used in place by their menu buttons
  std::vector<Fl_Menu_Item> tag_popup_;
  std::unique_ptr<Fl_Double_Window> window_;
  Fl_Menu_Bar* menu_bar_ = nullptr;  // the widgets are owned by the window
  Fl_Tile* tile_ = nullptr;
  bool sidebar_shown_ = true;
  int saved_editor_x_ = 0;
};

}  // namespace gm
