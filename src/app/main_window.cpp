#include "app/main_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Tile.H>

#include "app/app.h"
#include "app/commands.h"
#include "app/menus.h"
#include "tags/styles.h"
#include "ui/editor.h"
#include "ui/restyle.h"
#include "ui/tag_browser.h"
#include "ui/tag_dialogs.h"

namespace gm {

namespace {

// An invisible popup menu button: no box, opens only with the right button.
Fl_Menu_Button* popup_button(int x, int y, int w, int h, const Fl_Menu_Item* menu) {
  auto* button = new Fl_Menu_Button(x, y, w, h);
  button->type(Fl_Menu_Button::POPUP3);
  button->box(FL_NO_BOX);
  button->menu(menu);
  return button;
}

void build_sidebar(App& a) {
  a.search_input = new Fl_Input(0, 30, 200, 30, "");
  a.search_input->when(FL_WHEN_ENTER_KEY_CHANGED);
  a.search_input->tooltip(
      "Enter keyword to start searching. \nClick with right mouse button to popup edit menu.");
  for (int i = kSearchCopyItem; i <= kSearchCutItem; ++i) {
    a.search_menu[i].user_data(a.search_input);
  }

  a.search_menu_button = popup_button(0, 30, 200, 30, a.search_menu.data());

  a.search_type_choice = new Fl_Choice(200, 30, 60, 30);
  a.search_type_choice->box(FL_NO_BOX);
  a.search_type_choice->menu(a.search_type_menu.data());
  a.search_type_choice->callback(choose_search_type);
  a.search_type_choice->tooltip("Search in:");

  a.tag_browser = new Fl_Hold_Browser(0, 60, 260, 540);
  a.tag_browser->tooltip("Click with left mouse button.");

  a.search_input->callback(start_search, a.tag_browser);
}

void build_editor(App& a) {
  a.editor = new Editor(260, 30, 540, 570);
  a.editor->tooltip("Click with right mouse button to open edit menu.");
  a.tag_popup_menu[kCopyTextItem].user_data(a.editor);

  // Laid over the whole screen inside the Editor, so it sees every press over it first.
  a.editor->begin();
  a.tag_popup_button = popup_button(0, 0, Fl::w(), Fl::h(), a.tag_popup_menu.data());
  a.tag_popup_button->callback(popup_dispatch);
  a.editor->end();

  a.editor->buffer(a.text_buffer.get());
  a.tag_browser->callback(show_browser_line, a.editor);
  a.editor->highlight_data(a.style_buffer.get(), editor_style_table(), kStyleCount, 'B', nullptr,
                           nullptr);
}

}  // namespace

void build_main_window(App& a) {
  a.window = std::make_unique<Fl_Double_Window>(800, 600);
  a.window->label("no file loaded");
  // The desktop pairs the program's windows with its launcher and icon by this class (the
  // toolkit gives it to the dialogs too; "-name" still overrides it). The toolkit's own
  // default would be the same for every program built on it.
  a.window->xclass("glossmark");
  a.window->box(FL_NO_BOX);

  a.menu_bar = new Fl_Menu_Bar(0, 0, 800, 30);
  a.menu_bar->copy(kMainMenu);

  a.tile = new Fl_Tile(0, 30, 800, 570);
  build_sidebar(a);
  build_editor(a);

  // Each twice, as the program always had it; neither uses its argument.
  a.text_buffer->add_modify_callback(text_modified, a.editor);
  a.text_buffer->add_modify_callback(text_modified, a.window.get());
  a.style_buffer->add_modify_callback(styles_modified, a.editor);
  a.style_buffer->add_modify_callback(styles_modified, a.window.get());

  Fl::belowmouse(a.editor);

  a.tile->end();
  a.window->resizable(a.tile);
  a.window->end();
  a.window->callback(close_callback);
}

void create_file_chooser(App& a) {
  a.chooser = std::make_unique<Fl_File_Chooser>(
      ".", "TxT Files (*.{txt})\tC/C++ Source Files (*.{c,C,cc,cpp,cxx,h})",
      Fl_File_Chooser::SINGLE, "open");
  a.chooser->preview(0);
  a.chooser->callback(empty_callback);
}

void start_timers(App& a) {
  Fl::add_timeout(0.1, refresh_commands, &a);
  Fl::add_timeout(0.1, hover_tick, a.editor);
}

}  // namespace gm
