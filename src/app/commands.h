// Menu commands, the document and saving operations behind them, the command-state refresh
// and the buffers' modify callbacks. Callbacks find their App through app().
#pragma once

#include <optional>
#include <string>

class Fl_File_Chooser;
class Fl_Widget;

namespace gm {

class App;

// The document path named on the command line, if any. Reads the toolkit's options as a
// side effect, so the window's show(argc, argv) applies them without complaining.
std::optional<std::string> read_command_line(int argc, char** argv);

// Document on screen.
int open_document(App& a, const char* path);  // also stops a running search, closes a dialog
void init_open(App& a);

// Saving and leaving.
int save_tags(App& a);        // 0 written, -1 not
int confirm_unsaved(App& a);  // 1 go on, 0 stop
void leave_program(App& a);   // returns only when the user chose to stay

// Menu item states.
void set_main_item_active(App& a, int index, bool active);
void refresh_undo_redo(App& a);
void refresh_tag_popup(App& a);  // from the document selection
void refresh_commands(void* data);  // timer; data is the App

// Modify callbacks of the text buffer and the style buffer (the argument is not used).
void text_modified(int pos, int inserted, int deleted, int restyled, const char* deleted_text,
                   void* arg);
void styles_modified(int pos, int inserted, int deleted, int restyled, const char* deleted_text,
                     void* arg);

// Menu and widget callbacks.
void open_command(Fl_Widget*, void*);
void help_command(Fl_Widget*, void*);
void save_tag_command(Fl_Widget*, void*);
void exit_command(Fl_Widget*, void*);
void close_callback(Fl_Widget*, void*);
void list_tags_command(Fl_Widget*, void*);
void empty_callback(Fl_File_Chooser*, void*);

// Sidebar, clipboard and URI commands (view_commands.cpp).
void toggle_sidebar(Fl_Widget*, void*);
void copy_command(Fl_Widget*, void*);
void paste_command(Fl_Widget*, void*);
void cut_command(Fl_Widget*, void*);
void open_uri_command(Fl_Widget*, void*);
// Undo and Redo of tag actions (history_commands.cpp).
void undo_command(Fl_Widget*, void*);
void redo_command(Fl_Widget*, void*);
// The About box (src/ui/about.cpp).
void about_command(Fl_Widget*, void*);

}  // namespace gm
