#include "ui/restyle.h"

#include <FL/Fl_Text_Buffer.H>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <system_error>
#include <vector>

#include "tags/styles.h"

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

DocumentPaint::DocumentPaint(const TagList& tags, int32_t length, bool beside) {
  tags.in_order();  // the list keeps the answer: the painter then only reads the list
  // Only the new block and the Tags are touched there: no widget, no buffer.
  const auto paint = [&tags, length] {
    WholeBuffer::Block block = WholeBuffer::make_block(length);
    paint_styles(tags, 0, length, block.bytes.get());
    return block;
  };
  if (beside) {
    try {
      block_ = std::async(std::launch::async, paint);
      return;
    } catch (const std::system_error&) {
      // No thread to be had: painted when taken, as without `beside`.
    }
  }
  block_ = std::async(std::launch::deferred, paint);
}

WholeBuffer::Block DocumentPaint::take() { return block_.get(); }

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

void restyle_range(WholeBuffer& styles, const TagList& tags, int32_t start, int32_t end) {
  if (start >= end) return;
  if (start < 0 || end > styles.length()) {
    // Out of the buffer's bounds: the toolkit's replace decides what that means.
    std::string painted(static_cast<size_t>(end - start), '\0');
    paint_styles(tags, start, end, &painted[0]);
    styles.replace(start, end, painted.c_str());
    return;
  }
  const std::vector<StyleRun> runs = style_runs(tags, start, end);
  const Difference d = compare_runs(styles, runs, start);
  if (d.first == d.last) return;
  const std::string bytes = run_bytes(runs, d);
  styles.overwrite(d.first, bytes.data(), static_cast<int>(bytes.size()));
}

void restyle_tag_area(WholeBuffer& styles, const TagList& tags, int32_t start, int32_t end) {
  restyle_range(styles, tags, start, tagged_stretch_end(tags, end, styles.length()));
}

void swap_style(WholeBuffer& styles, int32_t length, char from, char to) {
  std::string bytes = take_text(styles.text_range(0, length), static_cast<size_t>(length));
  std::replace(bytes.begin(), bytes.end(), from, to);
  styles.overwrite(0, bytes.data(), length);
}

}  // namespace gm
