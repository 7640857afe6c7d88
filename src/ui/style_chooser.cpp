#include "ui/style_chooser.h"

#include <FL/Fl.H>
#include <FL/Fl_Hold_Browser.H>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "tags/styles.h"

namespace gm {

namespace {

constexpr unsigned char kFirstStyle = 'A';
constexpr unsigned char kLastStyle = 'z';
constexpr size_t kMaxLineText = 98;

void* style_as_data(unsigned char style) { return reinterpret_cast<void*>(uintptr_t{style}); }

}  // namespace

std::string style_codes(unsigned char style) {
  const StyleEntry& e = style_entry(style);
  char codes[kMaxLineText + 1];
  std::snprintf(codes, sizeof codes, "@C%d@F%d@S%d@.", static_cast<int>(e.color), e.font, e.size);
  return codes;
}

std::string style_line_text(unsigned char style) {
  const StyleEntry& e = style_entry(style);
  const char* font_name = Fl::get_font_name(static_cast<Fl_Font>(e.font));
  std::string text =
      style_codes(style) + (font_name ? font_name : "") + ' ' + std::to_string(e.size);
  if (text.size() > kMaxLineText) text.resize(kMaxLineText);
  return text;
}

Fl_Hold_Browser* build_style_chooser(int x, int y, int w, int h) {
  auto* chooser = new Fl_Hold_Browser(x, y, w, h);
  for (int style = kFirstStyle; style <= kLastStyle; ++style) {
    const auto c = static_cast<unsigned char>(style);
    chooser->add(style_line_text(c).c_str(), style_as_data(c));
  }
  return chooser;
}

int style_line(unsigned char style) {
  return std::clamp<int>(style, kFirstStyle, kLastStyle) - (kFirstStyle - 1);
}

unsigned char line_style(int line) {
  return static_cast<unsigned char>(std::clamp(line, 1, kStyleCount) + (kFirstStyle - 1));
}

unsigned char chosen_style(const Fl_Browser& chooser) {
  const int line = chooser.value();
  if (line <= 0) return 0;  // a click below the last line leaves none selected
  return static_cast<unsigned char>(reinterpret_cast<uintptr_t>(chooser.data(line)));
}

void select_style(Fl_Browser& chooser, unsigned char style) {
  chooser.select(style_line(style), 1);
}

void run_as_single_click(Fl_Widget& chooser) {
  // The click count left over from the menu pick must not read as a double click here.
  Fl::event_clicks(0);
  chooser.do_callback();
}

}  // namespace gm
