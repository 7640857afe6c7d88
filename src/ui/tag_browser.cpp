#include "ui/tag_browser.h"

#include <FL/Fl.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Text_Buffer.H>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

#include "app/app.h"
#include "document/encoding.h"
#include "tags/styles.h"
#include "tags/tag.h"
#include "ui/editor.h"

namespace gm {

namespace {

// The browser stores a line's length in 15 bits; longer lines are cut at a whole character.
constexpr size_t kMaxBrowserLine = 32000;

void cut_to_fit(std::string& line) {
  if (line.size() <= kMaxBrowserLine) return;
  line.resize(char_start(line.data(), kMaxBrowserLine));
}

// A note kept with bytes that are not UTF-8 is listed with replacement characters.
void append_for_display(std::string& line, std::string_view text) {
  if (is_utf8(text.data(), text.size())) {
    line += text;
  } else {
    line += utf8_for_display(text);
  }
}

// Text up to its first line break, looking no further than a browser line can hold: a hit in
// a document with one huge line must not copy that whole line for every hit.
std::string_view first_line(std::string_view text) {
  const std::string_view head = text.substr(0, kMaxBrowserLine + 1);
  return head.substr(0, head.find('\n'));
}

// The Tag the given line of a Tag list stands for, if it still exists.
const TagNode* line_tag(App& a, int line) {
  const auto index = static_cast<size_t>(line - 1);
  if (line < 1 || index >= a.browser_tags.size()) return nullptr;
  const TagRef& ref = a.browser_tags[index];
  // Lines and references are added together; a line from elsewhere is no Tag line.
  if (a.tag_browser->data(line) != ref.node) return nullptr;
  return find_live(a.tags, ref);
}

void move_editor_to(App& a, int position) {
  a.editor->insert_position(position);
  a.editor->show_insert_position();
}

// A text hit: the start of the hit's document line, with the first occurrence of the search
// input's text from there marked.
void show_text_hit(App& a, size_t hit) {
  if (!a.doc.data || hit >= a.doc.data->size()) return;
  const std::string& text = *a.doc.data;
  const size_t line_break = hit == 0 ? std::string::npos : text.rfind('\n', hit - 1);
  const size_t line_start = line_break == std::string::npos ? 0 : line_break + 1;
  move_editor_to(a, static_cast<int>(line_start));
  const std::string_view pattern = a.search_input->value();
  if (pattern.empty()) return;
  const size_t found = text.find(pattern, line_start);
  if (found == std::string::npos) return;
  a.text_buffer->highlight(static_cast<int>(found), static_cast<int>(found + pattern.size()));
}

void show_tag(App& a, const Tag& tag) {
  // Positions are clamped on loading, but the toolkit checks neither bound of a selection.
  const int length = a.text_buffer->length();
  const int start = std::clamp<int>(tag.start, 0, length);
  const int end = std::clamp<int>(tag.end, start, length);
  move_editor_to(a, start);
  a.text_buffer->highlight(start, end);
  a.text_buffer->select(start, end);
}

}  // namespace

std::string style_codes(unsigned char style) {
  const StyleEntry& e = style_entry(style);
  char codes[99];
  std::snprintf(codes, sizeof codes, "@C%d@F%d@S%d@.", static_cast<int>(e.color), e.font, e.size);
  return codes;
}

std::string hit_line(std::string_view codes, std::string_view text) {
  std::string line(codes);
  append_for_display(line, first_line(text));
  cut_to_fit(line);
  return line;
}

namespace {

// The codes of every style byte, formatted once: a list of 100,000 Tags is rebuilt twice
// on every change, and formatting the codes anew for each line would cost more than the
// browser's own work.
const std::string& cached_style_codes(unsigned char style) {
  static const std::array<std::string, 256> table = [] {
    std::array<std::string, 256> codes;
    for (size_t i = 0; i < codes.size(); ++i) codes[i] = style_codes(static_cast<unsigned char>(i));
    return codes;
  }();
  return table[style];
}

// Writes the line of tag_list_line into `line`, reusing its memory.
void make_tag_list_line(std::string& line, const Tag& tag) {
  line = cached_style_codes(tag.style);
  if (!tag.has_note()) {
    line += "<NO TAG TEXT>";
  } else {
    const std::string_view note = tag.note();
    append_for_display(line, first_line(note));
    if (note.find('\n') != std::string_view::npos) line += "...";
  }
  cut_to_fit(line);
}

}  // namespace

std::string tag_list_line(const Tag& tag) {
  std::string line;
  make_tag_list_line(line, tag);
  return line;
}

void list_tags(App& a) {
  Fl::remove_timeout(search_text_step);
  Fl::remove_timeout(search_tags_step);
  a.browser_mode = 2;
  a.browser_tags.clear();
  if (!a.tag_browser) return;
  a.tag_browser->clear();
  a.browser_tags.reserve(a.tags.size());
  std::string line;
  for (TagNode* node = a.tags.head(); node; node = node->next.get()) {
    make_tag_list_line(line, *node->tag);
    a.tag_browser->add(line.c_str(), node);
    a.browser_tags.push_back(ref_to(a.tags, node));
  }
}

void show_selected_line(App& a) {
  const int line = a.tag_browser->value();
  if (line == 0) return;
  switch (a.browser_mode) {
    case 0:
      show_text_hit(a, reinterpret_cast<uintptr_t>(a.tag_browser->data(line)));
      break;
    case 1:
    case 2:
      if (const TagNode* node = line_tag(a, line)) show_tag(a, *node->tag);
      break;
    default:
      break;
  }
}

void show_browser_line(Fl_Widget*, void*) { show_selected_line(app()); }

}  // namespace gm
