#include "ui/editor.h"

#include <FL/Enumerations.H>

namespace gm {

Editor::Editor(int x, int y, int w, int h) : Fl_Text_Display(x, y, w, h) {}

int Editor::handle(int event) {
  switch (event) {
    // The document is never changed from here: pasted or dropped text goes nowhere.
    case FL_PASTE:
      return 1;
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_RELEASE:
      return 0;
    default:
      return Fl_Text_Display::handle(event);
  }
}

int Editor::position_at(int x, int y) const { return xy_to_position(x, y, CHARACTER_POS); }

int Editor::line_column_at(int x, int y, int* line, int* column) const {
  return position_to_linecol(position_at(x, y), line, column);
}

}  // namespace gm
