// The menu tables and the commands behind their items. Each item's user data is the Program;
// items are found by their command (Fl_Menu_::find_index), never by a number.
#pragma once

#include <FL/Fl_Menu_.H>
#include <FL/Fl_Menu_Item.H>

#include <vector>

namespace gm {

class Program;

// The tables, terminated as the toolkit wants them. The menu bar copies the main menu; the
// popup menus use theirs in place.
std::vector<Fl_Menu_Item> main_menu(Program& program);
std::vector<Fl_Menu_Item> search_menu(Program& program);
std::vector<Fl_Menu_Item> tag_popup_menu(Program& program);

// Makes the item with this command active or inactive.
void set_item_active(Fl_Menu_& menu, Fl_Callback* command, bool active);

// Main menu bar.
void open_command(Fl_Widget*, void* program);
void save_tag_command(Fl_Widget*, void* program);
void exit_command(Fl_Widget*, void* program);
void copy_command(Fl_Widget*, void* program);  // also "&Copy Text" of the tag popup menu
void paste_command(Fl_Widget*, void* program);
void cut_command(Fl_Widget*, void* program);
void undo_command(Fl_Widget*, void* program);
void redo_command(Fl_Widget*, void* program);
void toggle_sidebar(Fl_Widget*, void* program);
void list_tags_command(Fl_Widget*, void* program);
void about_command(Fl_Widget*, void* program);
void help_command(Fl_Widget*, void* program);
// Search input menu: Copy always copies from the search input there.
void search_copy_command(Fl_Widget*, void* program);
// Tag popup menu.
void new_tag_command(Fl_Widget* menu, void* program);
void edit_tag_command(Fl_Widget* menu, void* program);
void remove_tag_command(Fl_Widget* menu, void* program);
void tag_properties_command(Fl_Widget* menu, void* program);
void default_style_command(Fl_Widget* menu, void* program);
void open_uri_command(Fl_Widget*, void* program);

}  // namespace gm
