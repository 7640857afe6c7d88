// The read-only view of the document: the text with the tag colours, mouse selection, and
// the tag popup menu button laid over it as its child.
#pragma once

#include <FL/Fl_Text_Display.H>

namespace gm {

class Editor : public Fl_Text_Display {
public:
  Editor(int x, int y, int w, int h);

  int handle(int event) override;

  // Text position of the character cell under window point (x, y).
  int position_at(int x, int y) const;
  // Line (from 1) and column of the text under (x, y); 0 when the toolkit cannot tell.
  int line_column_at(int x, int y, int* line, int* column) const;
};

}  // namespace gm
