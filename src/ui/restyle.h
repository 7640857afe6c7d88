// Painting the Tags into the real style buffer, and the style table the Editor draws with.
#pragma once

#include <FL/Fl_Text_Display.H>

#include <cstdint>
#include <future>

#include "ui/whole_buffer.h"

namespace gm {

class App;
class TagList;

// The style table in the toolkit's own layout, 58 entries, 'A' first; lives for the run.
const Fl_Text_Display::Style_Table_Entry* editor_style_table();

// Rebuilds the whole style buffer from the TagList (after a document reached the text buffer).
void restyle_document(App& a);

// restyle_document in two halves for loading a document. With `beside` set, the styles of a
// text of `length` bytes are painted on a second thread from the moment the DocumentPaint is
// made (the Tags' styles normalized first), while the text reaches its buffer and the Editor
// counts its lines; otherwise they are painted when taken. restyle_document(a, paint) hands
// the bytes to the style buffer. The TagList must not change in between; the destructor
// waits for the painter.
class DocumentPaint {
public:
  DocumentPaint(TagList& tags, int32_t length, bool beside);
  WholeBuffer::Block take();

private:
  std::future<WholeBuffer::Block> block_;
};
void restyle_document(App& a, DocumentPaint& paint);
// Repaints [start, end) of the style buffer with one replace: of the bytes that differ from
// the new styles, or of one unchanged byte when none does, so that the modify callbacks run
// for every repaint. Costs the Tags and a read of the range, plus what it changes.
void restyle_range(App& a, int32_t start, int32_t end);
// Repaints from start to the end of the tagged stretch that reaches end, then redraws.
void restyle_tag_area(App& a, int32_t start, int32_t end);

}  // namespace gm
