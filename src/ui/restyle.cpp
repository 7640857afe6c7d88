#include "ui/restyle.h"

#include <FL/Fl_Text_Buffer.H>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

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

void restyle_range(App& a, int32_t start, int32_t end) {
  if (start >= end) return;
  std::string styles(static_cast<size_t>(end - start), '\0');
  paint_styles(a.tags, start, end, &styles[0]);
  a.style_buffer->replace(start, end, styles.c_str());
}

void restyle_tag_area(App& a, int32_t start, int32_t end) {
  const int32_t stretch_end = tagged_stretch_end(a.tags, end, a.style_buffer->length());
  restyle_range(a, start, stretch_end);
  if (a.editor) a.editor->redraw();
}

}  // namespace gm
