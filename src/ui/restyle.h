// Painting the Tags into the real style buffer, and the style table the Editor draws with.
#pragma once

#include <FL/Fl_Text_Display.H>

#include <cstdint>

namespace gm {

class App;

// The style table in the toolkit's own layout, 58 entries, 'A' first; lives for the run.
const Fl_Text_Display::Style_Table_Entry* editor_style_table();

// Rebuilds the whole style buffer from the TagList (after a document reached the text buffer).
void restyle_document(App& a);
// Repaints [start, end) of the style buffer with one replace.
void restyle_range(App& a, int32_t start, int32_t end);
// Repaints from start to the end of the tagged stretch that reaches end, then redraws.
void restyle_tag_area(App& a, int32_t start, int32_t end);

}  // namespace gm
