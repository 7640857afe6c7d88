// Painting the Tags into the real style buffer, and the style table the Editor draws with.
#pragma once

#include <FL/Fl_Text_Display.H>

#include <cstdint>
#include <future>
#include <optional>
#include <string>

#include "ui/whole_buffer.h"

namespace gm {

class App;
class TagList;

// The style table in the toolkit's own layout, 58 entries, 'A' first; lives for the run.
const Fl_Text_Display::Style_Table_Entry* editor_style_table();

// Rebuilds the whole style buffer from the TagList (after a document reached the text buffer).
void restyle_document(App& a);

// What showing a document of this text takes, made while the shown one is still whole: a
// copy of the text and room for its styles. The shown styles give their memory up first, so
// that an open never holds two sets of styles; they can be painted again from the shown Tags,
// and are when memory runs out here. None then, after its diagnostic line.
std::optional<DocumentBlocks> make_document_blocks(App& a, const std::string& text);

// restyle_document in two halves for loading a document. The styles are painted into the
// block on a second thread from the moment the DocumentPaint is made (the Tags' styles
// normalized first), while the text reaches its buffer and the Editor counts its lines; with
// no thread to be had, when taken. restyle_document(a, paint) hands the block to the style
// buffer. The TagList must not change in between; the destructor waits for the painter.
class DocumentPaint {
public:
  DocumentPaint(TagList& tags, WholeBuffer::Block block);
  WholeBuffer::Block take();

private:
  WholeBuffer::Block block_;
  std::future<void> painted_;  // after block_: destroyed first, so it waits for the painter
};
void restyle_document(App& a, DocumentPaint& paint);
// Repaints [start, end) of the style buffer with one replace: of the bytes that differ from
// the new styles, or of one unchanged byte when none does, so that the modify callbacks run
// for every repaint. Costs the Tags and a read of the range, plus what it changes.
void restyle_range(App& a, int32_t start, int32_t end);
// Repaints from start to the end of the tagged stretch that reaches end, then redraws.
void restyle_tag_area(App& a, int32_t start, int32_t end);

}  // namespace gm
