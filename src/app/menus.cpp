#include "app/menus.h"

#include <FL/Enumerations.H>

#include "app/program.h"

namespace gm {

namespace {

Fl_Menu_Item item(const char* label, int shortcut, Fl_Callback* callback, Program* program,
                  int flags = 0) {
  return Fl_Menu_Item{label, shortcut, callback, program, flags, 0, 0, 0, 0};
}
Fl_Menu_Item submenu(const char* label) { return item(label, 0, nullptr, nullptr, FL_SUBMENU); }
const Fl_Menu_Item kEnd{nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0};

Program& program_of(void* data) { return *static_cast<Program*>(data); }

// The picked item's text: the title of the dialog it opens.
const char* picked_text(Fl_Widget* menu) { return static_cast<Fl_Menu_*>(menu)->text(); }

}  // namespace

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

void set_item_active(Fl_Menu_& menu, Fl_Callback* command, bool active) {
  const int index = menu.find_index(command);
  if (index < 0) return;
  const int flags = menu.mode(index);
  menu.mode(index, active ? flags & ~FL_MENU_INACTIVE : flags | FL_MENU_INACTIVE);
}

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

}  // namespace gm
