#include "app/menus.h"

#include <FL/Enumerations.H>

#include "app/commands.h"

namespace gm {

namespace {

constexpr Fl_Menu_Item item(const char* label, int shortcut = 0, Fl_Callback* callback = nullptr,
                            int flags = 0) {
  return Fl_Menu_Item{label, shortcut, callback, nullptr, flags, 0, 0, 0, 0};
}
constexpr Fl_Menu_Item kEnd = item(nullptr);

}  // namespace

const Fl_Menu_Item kMainMenu[kMainMenuSize] = {
    item("&File", 0, nullptr, FL_SUBMENU),
    item("&Open", FL_CTRL + 'o', open_command),
    item("&Save Tag  ", FL_CTRL + 's', save_tag_command),
    item("E&xit", 0, exit_command),
    kEnd,
    item("&Edit", 0, nullptr, FL_SUBMENU),
    item("Copy", FL_CTRL + 'c', copy_command),
    item("Paste", FL_CTRL + 'v', paste_command),
    item("Cut", FL_CTRL + 'x', cut_command, FL_MENU_DIVIDER),
    item("Undo", FL_CTRL + 'z', undo_command, FL_MENU_INACTIVE),
    item("Redo", FL_CTRL + 'r', redo_command, FL_MENU_INACTIVE),
    kEnd,
    item("&View", 0, nullptr, FL_SUBMENU),
    item("Side&Bar  ", FL_CTRL + 'b', toggle_sidebar, FL_MENU_TOGGLE | FL_MENU_VALUE),
    item("&List Tags   ", FL_CTRL + 'l', list_tags_command),
    kEnd,
    item("&Help", 0, nullptr, FL_SUBMENU),
    item("About", 0, about_command),
    item("Free to use", 0, nullptr, FL_MENU_INACTIVE),
    item("Help", FL_F + 1, help_command),
    kEnd,
    kEnd,
};

const Fl_Menu_Item kSearchMenu[4] = {
    item("Copy", FL_CTRL + 'c', copy_command),
    item("Paste  ", FL_CTRL + 'v', paste_command),
    item("Cut", FL_CTRL + 'x', cut_command),
    kEnd,
};

// Items without a command of their own run the menu button's callback, popup_dispatch.
const Fl_Menu_Item kTagPopupMenu[8] = {
    item("New tag", 0, nullptr, FL_MENU_INACTIVE),
    item("Edit tag", 0, nullptr, FL_MENU_INACTIVE),
    item("Remove tag"),
    item("Tag properties", 0, nullptr, FL_MENU_DIVIDER),
    item("&Copy Text", 0, copy_command, FL_MENU_INACTIVE | FL_MENU_DIVIDER),
    item("Default style", 0, nullptr, FL_MENU_DIVIDER),
    item("Open uri with external program", 0, open_uri_command, FL_MENU_INACTIVE),
    kEnd,
};

const Fl_Menu_Item kSearchTypeMenu[3] = {
    item("Text"),
    item("Tag"),
    kEnd,
};

}  // namespace gm
