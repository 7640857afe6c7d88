// The 58-entry style table and the rule that turns the TagList into style bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tags/tag.h"

namespace gm {

// Same layout as Fl_Text_Display::Style_Table_Entry (colour, font, size, attribute).
struct StyleEntry {
  unsigned color;
  int font;
  int size;
  unsigned attr;
};

constexpr int kStyleCount = 58;           // 'A' .. 'z'
extern const StyleEntry kStyleTable[kStyleCount];
const StyleEntry& style_entry(unsigned char style);  // below 'A': entry 0; above 'z': the last

// "@C<colour>@F<font>@S<size>@." for a style character: the browser format codes that draw
// a browser line in the style (the style chooser's lines and the tag browser's begin so).
std::string style_codes(unsigned char style);

// The byte a style character becomes in the style buffer: the toolkit draws a byte below
// 'A' like 'A' and one above 'z' like 'z', but the buffer must hold ASCII without zeros.
unsigned char buffer_style(unsigned char style);

// Raises a default style and Tag styles at or below '@' to 'A' and brings a default
// style of 0x80 or above to 'z' (only a damaged tag file has one); done before a full repaint.
void normalize_styles_for_document(TagList& list);

// Fills out[0 .. to-from) with the style byte of each position in [from, to), exactly as a
// find_tag_at() per byte would, passed through buffer_style().
void paint_styles(const TagList& list, int32_t from, int32_t to, char* out);

// A stretch of positions that paint_styles gives one style byte.
struct StyleRun {
  int32_t start;
  int32_t end;
  char style;  // already passed through buffer_style()
};
// The same answer as paint_styles as runs, in order and without gaps, from `from` to `to`
// (none when to <= from). Costs the Tags, not the bytes: a repaint can compare a long
// stretch with what is there without writing it out first.
std::vector<StyleRun> style_runs(const TagList& list, int32_t from, int32_t to);

// The same stretches with the Tag that rules each (null where no Tag covers it), for
// views that need more of the Tag than its style.
struct TagRun {
  int32_t start;
  int32_t end;
  const Tag* tag;
};
std::vector<TagRun> tag_runs(const TagList& list, int32_t from, int32_t to);

// The first position at or after end that no Tag covers (by find_tag_at()), at most length.
int32_t tagged_stretch_end(const TagList& list, int32_t end, int32_t length);

}  // namespace gm
