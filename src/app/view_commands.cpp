// The small commands of the menus that are neither tag, document nor history commands:
// the sidebar toggle, the clipboard commands and the opening of a selected URI.
#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Tile.H>
#include <FL/filename.H>

#include <cstring>

#include "app/app.h"
#include "app/commands.h"
#include "ui/editor.h"
#include "ui/fl_memory.h"

namespace gm {

int open_with_desktop(const char* uri) { return fl_open_uri(uri, nullptr, 0); }

// The sidebar widgets keep their geometry while hidden, so showing them again brings back
// the layout the user had dragged in the tile. The search input menu button stays: the
// widened Editor, a later child of the tile, covers it and takes every press.
void toggle_sidebar(Fl_Widget*, void*) {
  App& a = app();
  Fl_Tile& tile = *a.tile;
  if (a.sidebar_shown) {
    a.saved_editor_x = a.editor->x();
    a.editor->resize(0, tile.y(), tile.w(), tile.h());
    tile.redraw();
    a.search_input->hide();
    a.search_type_choice->hide();
    a.tag_browser->hide();
    a.sidebar_shown = 0;
  } else {
    const int x = a.saved_editor_x;
    a.editor->resize(x, tile.y(), tile.w() - x, tile.h());
    tile.redraw();
    a.search_input->show();
    a.search_type_choice->show();
    a.tag_browser->show();
    a.sidebar_shown = 1;
  }
}

// From the search input when its menu was used (its items carry the input) or when it has
// the keyboard focus; from the document otherwise, even when that has no selection.
void copy_command(Fl_Widget*, void* data) {
  App& a = app();
  Fl_Input* const input = a.search_input;
  if (data == input || Fl::focus() == input) {
    input->copy(0);
    input->copy(1);
    return;
  }
  const ToolkitText text(a.text_buffer->selection_text());
  const int length = static_cast<int>(std::strlen(text.get()));
  Fl::copy(text.get(), length, 0);
  Fl::copy(text.get(), length, 1);
}

// The focus widget decides: the search input takes the text, the Editor ignores it.
void paste_command(Fl_Widget*, void*) {
  if (Fl_Widget* focus = Fl::focus()) Fl::paste(*focus, 1);
}

// Only the search input can lose text, whatever menu or focus. Its change restarts the
// search through the input's callback.
void cut_command(Fl_Widget*, void*) {
  Fl_Input& input = *app().search_input;
  // Without a selection nothing is cut, and the input's memory of an earlier deletion must
  // not reach the clipboard either.
  if (input.replace(input.position(), input.mark(), nullptr, 0)) input.copy_cuts();
}

void open_uri_command(Fl_Widget*, void*) {
  App& a = app();
  const ToolkitText uri(a.text_buffer->selection_text());
  a.open_uri(uri.get());
}

}  // namespace gm
