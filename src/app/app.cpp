#include "app/app.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/fl_ask.H>

#include <algorithm>
#include <cassert>
#include <cstdlib>

#include "app/commands.h"
#include "app/menus.h"
#include "ui/tag_browser.h"

namespace gm {

namespace {

App* current_app = nullptr;


template <size_t N>
void copy_table(std::array<Fl_Menu_Item, N>& to, const Fl_Menu_Item (&from)[N]) {
  std::copy(std::begin(from), std::end(from), to.begin());
}

}  // namespace

int ask_with_dialog(const char* message, const char* b0, const char* b1, const char* b2) {
  return fl_choice("%s", b0, b1, b2, message);
}

App::App() : exit_process([](int code) { std::exit(code); }) {
  text_buffer = std::make_unique<WholeBuffer>();
  style_buffer = std::make_unique<WholeBuffer>();
  copy_table(search_menu, kSearchMenu);
  copy_table(tag_popup_menu, kTagPopupMenu);
  copy_table(search_type_menu, kSearchTypeMenu);
  current_app = this;
}

App::~App() {
  Fl::remove_timeout(refresh_commands, this);
  Fl::remove_timeout(hover_tick);
  Fl::remove_timeout(search_text_step);
  Fl::remove_timeout(search_tags_step);
  // Widgets first, while the buffers they watch still exist.
  delete open_dialog;  // a window of its own, not inside the main window
  window.reset();
  chooser.reset();
  if (current_app == this) current_app = nullptr;
}

App& app() {
  assert(current_app && "no App exists");
  return *current_app;
}

}  // namespace gm
