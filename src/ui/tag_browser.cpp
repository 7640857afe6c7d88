#include "ui/tag_browser.h"

#include <FL/Fl.H>
#include <FL/Fl_Hold_Browser.H>

#include <cstdio>

#include "app/app.h"
#include "tags/styles.h"
#include "tags/tag.h"

namespace gm {

namespace {

// The browser stores a line's length in 15 bits; longer lines are cut at a whole character.
constexpr size_t kMaxBrowserLine = 32000;

void cut_to_fit(std::string& line) {
  if (line.size() <= kMaxBrowserLine) return;
  size_t cut = kMaxBrowserLine;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
  line.resize(cut);
}

}  // namespace

std::string style_codes(unsigned char style) {
  const StyleEntry& e = style_entry(style);
  char codes[99];
  std::snprintf(codes, sizeof codes, "@C%d@F%d@S%d@.", static_cast<int>(e.color), e.font, e.size);
  return codes;
}

std::string tag_list_line(const Tag& tag) {
  std::string line = style_codes(tag.style);
  if (!tag.has_note()) {
    line += "<NO TAG TEXT>";
  } else {
    const std::string_view note = tag.note();
    const size_t line_break = note.find('\n');
    if (line_break == std::string_view::npos) {
      line += note;
    } else {
      line += note.substr(0, line_break);
      line += "...";
    }
  }
  cut_to_fit(line);
  return line;
}

void list_tags(App& a) {
  Fl::remove_timeout(search_text_step);
  Fl::remove_timeout(search_tags_step);
  a.browser_mode = 2;
  if (!a.tag_browser) return;
  a.tag_browser->clear();
  for (TagNode* node = a.tags.head(); node; node = node->next.get()) {
    a.tag_browser->add(tag_list_line(*node->tag).c_str(), node);
  }
}

void search_text_step(void*) {}
void search_tags_step(void*) {}
void start_search(Fl_Widget*, void*) {}
void choose_search_type(Fl_Widget*, void*) {}
void show_browser_line(Fl_Widget*, void*) {}

}  // namespace gm
