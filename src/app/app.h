// The one program-wide state object: buffers, tags, history, document, paths, flags, the
// widgets of the main window and the menu tables whose item states change at run time.
#pragma once

#include <FL/Fl_Menu_Item.H>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/document.h"
#include "tags/history.h"
#include "tags/tag.h"
#include "ui/hover.h"
#include "ui/tag_browser.h"
#include "ui/whole_buffer.h"

class Fl_Choice;
class Fl_Double_Window;
class Fl_File_Chooser;
class Fl_Hold_Browser;
class Fl_Input;
class Fl_Menu_Bar;
class Fl_Menu_Button;
class Fl_Text_Buffer;
class Fl_Tile;

namespace gm {

class Editor;

// Asks the user a question with three buttons (b0 rightmost, answer 0, also for Escape;
// b1 the default, answer 1; b2 leftmost, answer 2). Tests put a scripted one in its place.
using QuestionFunction =
    std::function<int(const char* message, const char* b0, const char* b1, const char* b2)>;

int ask_with_dialog(const char* message, const char* b0, const char* b1, const char* b2);

// Hands a URI to the desktop's own handler (no shell). Tests put a recorder in its place.
int open_with_desktop(const char* uri);

class App {
public:
  App();
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  std::string program_dir;
  std::string help_path;
  std::optional<std::string> path_to_open;

  // Both buffers outlive the window: the Editor unhooks itself from them when it dies.
  std::unique_ptr<WholeBuffer> text_buffer;
  std::unique_ptr<WholeBuffer> style_buffer;

  TagList tags;
  std::unique_ptr<TagHistory> history;  // none until a document is shown
  DocumentState doc;
  std::optional<DocumentBlocks> blocks_to_show;  // made by open_document for init_open

  int unsaved_tags = 0;
  int sidebar_shown = 1;
  int saved_editor_x = 0;
  int32_t popup_position = -1;
  int32_t pointer_position = -1;
  int search_type = 0;
  int browser_mode = 2;  // 0 text hits, 1 note hits, 2 all Tags

  // Sidebar search and About box (src/ui/tag_browser.cpp, search.cpp, about.cpp). The running
  // search's pattern, whether its next step starts over, and where each kind of step goes on;
  // the Tag each Tag line stands for (line n at n - 1); the About window, none until "About".
  std::string search_pattern;
  bool search_restart = false;
  size_t text_search_position = 0;  // offset into doc.data
  TagRef tag_search_position;       // the next Tag to look at; none: the search is over
  TagRef tag_search_last;           // the last Tag listed, to go on after when the next is gone
  std::vector<TagRef> browser_tags;
  std::unique_ptr<Fl_Double_Window> about_window;

  // Popup tables used in place by their menus; each App starts from the pristine templates.
  std::array<Fl_Menu_Item, 4> search_menu;
  std::array<Fl_Menu_Item, 8> tag_popup_menu;
  std::array<Fl_Menu_Item, 3> search_type_menu;

  // Tag dialogs and the style chooser (src/ui/tag_dialogs, src/ui/style_chooser): the one
  // open tag or default style dialog, the chooser line the next New tag dialog preselects
  // (line n is style 64 + n), and the note view's style buffer, owned by the open dialog.
  Fl_Double_Window* open_dialog = nullptr;
  int last_style_line = 2;
  Fl_Text_Buffer* preview_styles = nullptr;

  // Hover tips and the small view commands (src/ui/hover, src/app/view_commands.cpp): the tip
  // window with the Tag it was found for, and how a selected URI reaches the desktop.
  HoverState hover;
  std::function<int(const char* uri)> open_uri = open_with_desktop;

  QuestionFunction ask = ask_with_dialog;
  std::function<void(int)> exit_process;  // ends the process; tests watch it instead

  // Widgets of the main window; the window owns them all.
  Fl_Menu_Bar* menu_bar = nullptr;
  Fl_Tile* tile = nullptr;
  Fl_Input* search_input = nullptr;
  Fl_Menu_Button* search_menu_button = nullptr;
  Fl_Choice* search_type_choice = nullptr;
  Fl_Hold_Browser* tag_browser = nullptr;
  Editor* editor = nullptr;
  Fl_Menu_Button* tag_popup_button = nullptr;

  std::unique_ptr<Fl_File_Chooser> chooser;
  // Declared after the buffers, so it is destroyed before them.
  std::unique_ptr<Fl_Double_Window> window;
};

// The App that callbacks act on: the most recently constructed one still alive.
App& app();

}  // namespace gm
