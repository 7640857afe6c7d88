#include "ui/style_chooser.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Text_Buffer.H>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "app/app.h"
#include "app/display.h"
#include "tags/styles.h"
#include "ui/editor.h"
#include "ui/fl_memory.h"

namespace gm {

namespace {

constexpr unsigned char kFirstStyle = 'A';
constexpr unsigned char kLastStyle = 'z';
constexpr size_t kMaxLineText = 98;

void* style_as_data(unsigned char style) { return reinterpret_cast<void*>(uintptr_t{style}); }

}  // namespace

std::string style_line_text(unsigned char style) {
  const StyleEntry& e = style_entry(style);
  const char* font_name = Fl::get_font_name(static_cast<Fl_Font>(e.font));
  char text[kMaxLineText + 1];
  std::snprintf(text, sizeof text, "@C%d@F%d@S%d@.%s %d", static_cast<int>(e.color), e.font, e.size,
                font_name ? font_name : "", e.size);
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

void show_dialog(App& a, Fl_Double_Window& dialog) {
  a.open_dialog = &dialog;
  dialog.end();
  dialog.resizable(&dialog);
  dialog.callback(close_dialog, &dialog);
  dialog.set_non_modal();
  dialog.show();
  focus_new_window(dialog);
}

void open_default_style_dialog(App& a, const char* title) {
  if (a.open_dialog) return;
  Fl_Double_Window* dialog;
  {
    const TopLevelScope top_level;
    dialog = new Fl_Double_Window(300, 200, 200, 200);
    dialog->copy_label(title);
    Fl_Hold_Browser* chooser = build_style_chooser(0, 0, 200, 200);
    chooser->tooltip("Click to select. \nDouble click to apply.\nPress ESC to cancel.");
    select_style(*chooser, a.tags.default_style);
    chooser->callback(apply_default_style);
    dialog->end();
    run_as_single_click(*chooser);
  }
  show_dialog(a, *dialog);
}

void apply_default_style(Fl_Widget* w, void*) {
  if (Fl::event_clicks() == 0) return;
  const unsigned char style = chosen_style(*static_cast<Fl_Browser*>(w));
  if (!style) return;
  App& a = app();
  if (a.text_buffer->selected()) {
    std::fputs("deselect before change default style.\n", stderr);
    return;
  }
  // Byte by byte: Tags drawn in the old default style change with it until they are
  // repainted, exactly as the untagged text does.
  const int length = std::min(a.text_buffer->length(), a.style_buffer->length());
  std::string styles = take_text(a.style_buffer->text_range(0, length), length);
  std::replace(styles.begin(), styles.end(), static_cast<char>(buffer_style(a.tags.default_style)),
               static_cast<char>(style));
  a.tags.default_style = style;
  a.style_buffer->replace(0, length, styles.c_str());
  if (a.editor) a.editor->redisplay_range(0, length);
  discard_dialog(a, w->window());
}

void discard_dialog(App& a, Fl_Widget* dialog) {
  if (!dialog) return;
  Fl::delete_widget(dialog);
  if (a.open_dialog == dialog) {
    a.open_dialog = nullptr;
    a.preview_styles = nullptr;
  }
}

void close_dialog(Fl_Widget* dialog, void*) {
  discard_dialog(app(), dialog);
  std::puts("ok");
}

}  // namespace gm
