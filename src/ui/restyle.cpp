#include "ui/restyle.h"

#include <FL/Fl_Text_Buffer.H>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "app/app.h"
#include "tags/styles.h"
#include "ui/editor.h"

namespace gm {

using ToolkitEntry = Fl_Text_Display::Style_Table_Entry;
static_assert(sizeof(StyleEntry) == sizeof(ToolkitEntry), "style entries differ in size");
static_assert(offsetof(StyleEntry, color) == offsetof(ToolkitEntry, color) &&
                  offsetof(StyleEntry, font) == offsetof(ToolkitEntry, font) &&
                  offsetof(StyleEntry, size) == offsetof(ToolkitEntry, size) &&
                  offsetof(StyleEntry, attr) == offsetof(ToolkitEntry, attr),
              "style entries differ in layout");

const ToolkitEntry* editor_style_table() {
  // The Editor keeps the pointer, so the table must outlive every display.
  static const std::array<ToolkitEntry, kStyleCount> table = [] {
    std::array<ToolkitEntry, kStyleCount> t{};
    for (int i = 0; i < kStyleCount; ++i) {
      const StyleEntry& e = kStyleTable[i];
      t[i] = ToolkitEntry{e.color, e.font, e.size, e.attr};
    }
    return t;
  }();
  return table.data();
}

void restyle_document(App& a) {
  normalize_styles_for_document(a.tags);
  const int32_t n = a.text_buffer->length();
  a.style_buffer->replace_all(n, [&a, n](char* styles) { paint_styles(a.tags, 0, n, styles); });
}

namespace {

std::optional<WholeBuffer::Block> try_make_block(int length) {
  try {
    return WholeBuffer::make_block(length);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

// The shown styles again, after discard_quietly; left empty (drawn in the first style) when
// not even that fits.
void paint_shown_styles_again(App& a) {
  const int32_t n = a.text_buffer->length();
  if (std::optional<WholeBuffer::Block> block = try_make_block(n)) {
    paint_styles(a.tags, 0, n, block->bytes.get());
    a.style_buffer->restore_quietly(std::move(*block));
  }
}

}  // namespace

std::optional<DocumentBlocks> make_document_blocks(App& a, const std::string& text) {
  const int length = static_cast<int>(text.size());
  if (std::optional<WholeBuffer::Block> text_block = try_make_block(length)) {
    std::memcpy(text_block->bytes.get(), text.data(), text.size());
    a.style_buffer->discard_quietly();
    if (std::optional<WholeBuffer::Block> styles = try_make_block(length)) {
      return DocumentBlocks{std::move(*text_block), std::move(*styles)};
    }
    text_block.reset();  // its room goes to the shown styles
    paint_shown_styles_again(a);
  }
  std::fputs("Not enough memory to show the document; the open failed.\n", stderr);
  return std::nullopt;
}

DocumentPaint::DocumentPaint(TagList& tags, WholeBuffer::Block block) : block_(std::move(block)) {
  normalize_styles_for_document(tags);
  tags.in_order();  // the list keeps the answer: the painter then only reads the list
  // Only the block and the Tags are touched there: no widget, no buffer.
  const auto paint = [&tags, bytes = block_.bytes.get(), length = block_.length] {
    paint_styles(tags, 0, length, bytes);
  };
  try {
    painted_ = std::async(std::launch::async, paint);
  } catch (const std::system_error&) {
    painted_ = std::async(std::launch::deferred, paint);  // no thread to be had
  }
}

WholeBuffer::Block DocumentPaint::take() {
  painted_.get();
  return std::move(block_);
}

void restyle_document(App& a, DocumentPaint& paint) { a.style_buffer->replace_all(paint.take()); }

namespace {

// The changed stretch [first, last) of a repaint: where the runs and the buffer differ.
struct Difference {
  int32_t first;
  int32_t last;
};

Difference compare_runs(const WholeBuffer& styles, const std::vector<StyleRun>& runs,
                        int32_t start) {
  Difference d{start, start};
  for (const StyleRun& run : runs) {
    const int32_t other = styles.find_other(run.start, run.end, run.style);
    if (other == run.end) continue;
    if (d.first == d.last) d.first = other;
    d.last = styles.rfind_other(other, run.end, run.style) + 1;
  }
  return d;
}

// The new bytes of [first, last) from the runs that cover it.
std::string run_bytes(const std::vector<StyleRun>& runs, Difference d) {
  std::string bytes;
  bytes.reserve(static_cast<size_t>(d.last - d.first));
  for (const StyleRun& run : runs) {
    const int32_t from = std::max(run.start, d.first);
    const int32_t to = std::min(run.end, d.last);
    if (from < to) bytes.append(static_cast<size_t>(to - from), run.style);
  }
  return bytes;
}

}  // namespace

void restyle_range(App& a, int32_t start, int32_t end) {
  if (start >= end) return;
  WholeBuffer& styles = *a.style_buffer;
  if (start < 0 || end > styles.length()) {
    // Out of the buffer's bounds: the toolkit's replace decides what that means.
    std::string painted(static_cast<size_t>(end - start), '\0');
    paint_styles(a.tags, start, end, &painted[0]);
    styles.replace(start, end, painted.c_str());
    return;
  }
  // Only the bytes that change are written, in place. A repaint that changes nothing still
  // rewrites one byte: the notification is what marks the tags unsaved and lists them anew.
  const std::vector<StyleRun> runs = style_runs(a.tags, start, end);
  Difference d = compare_runs(styles, runs, start);
  if (d.first == d.last) d = {start, start + 1};
  const std::string bytes = run_bytes(runs, d);
  styles.overwrite(d.first, bytes.data(), static_cast<int>(bytes.size()));
}

void restyle_tag_area(App& a, int32_t start, int32_t end) {
  const int32_t stretch_end = tagged_stretch_end(a.tags, end, a.style_buffer->length());
  restyle_range(a, start, stretch_end);
  if (a.editor) a.editor->redraw();
}

}  // namespace gm
