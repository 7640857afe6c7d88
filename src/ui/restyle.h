// Painting the Tags into the real style buffer, and the style table the Editor draws with.
#pragma once

#include <FL/Fl_Text_Display.H>

#include <cstdint>
#include <future>

#include "ui/whole_buffer.h"

namespace gm {

class TagList;

// The style table in the toolkit's own layout, 58 entries, 'A' first; lives for the run.
const Fl_Text_Display::Style_Table_Entry* editor_style_table();

// The styles of a whole newly opened text of `length` bytes. With `beside` set they are
// painted on a second thread from the moment the DocumentPaint is made, while the text
// reaches its buffer and the Editor counts its lines; otherwise they are painted when taken.
// The TagList must not change in between; the destructor waits for the painter.
class DocumentPaint {
 public:
  DocumentPaint(const TagList& tags, int32_t length, bool beside);
  WholeBuffer::Block take();

 private:
  std::future<WholeBuffer::Block> block_;
};

// Repaints [start, end) of the style buffer from the TagList, writing only the bytes that
// differ. Costs the Tags and a read of the range, plus what it changes.
void restyle_range(WholeBuffer& styles, const TagList& tags, int32_t start, int32_t end);
// Repaints from start to the end of the tagged stretch that reaches end.
void restyle_tag_area(WholeBuffer& styles, const TagList& tags, int32_t start, int32_t end);
// Every byte `from` of [0, length) becomes `to`, written in place.
void swap_style(WholeBuffer& styles, int32_t length, char from, char to);

}  // namespace gm
