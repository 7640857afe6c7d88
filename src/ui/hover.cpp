#include "ui/hover.h"

#include <FL/Fl_Group.H>
#include <FL/Fl_Multiline_Output.H>
#include <FL/Fl_Tooltip.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <string>

#include "app/app.h"
#include "document/encoding.h"
#include "ui/editor.h"

namespace gm {

namespace {

// The Editor's area on the screen without the scrollbar strips at its right and bottom,
// and only while no other window of the program (a menu, a dialog) is the first one.
bool over_text(const Editor& editor, const PointerState& s) {
  const int strip = editor.scrollbar_width();
  const int left = s.window_x + editor.x();
  const int top = s.window_y + editor.y();
  const int right = left + editor.w() - strip - 1;
  const int bottom = top + editor.h() - strip - 1;
  return left <= s.root_x && s.root_x <= right && top <= s.root_y && s.root_y <= bottom &&
         s.program_window_first;
}

TipChange remove_tip(App& a, int x, int y) {
  if (!a.hover.tip) return TipChange::kNone;
  show_tip(a, x, y, nullptr);
  return TipChange::kRemoved;
}

// The toolkit's tooltip is a borderless window shown without taking the pointer; a popup
// menu takes it (a grab). Counting the tooltip as "another window in front" would let the
// Editor's own tooltip replace every note a moment after it appeared.
bool is_toolkit_tooltip(const Fl_Window& w) {
  return w.override() && !Fl::grab() && !w.modal() && !w.non_modal();
}

// While a note is shown, the Editor's general tooltip would cover it.
void hide_editor_tooltip(const App& a) {
  if (Fl_Tooltip::current() == a.editor) Fl_Tooltip::current(nullptr);
}

// As much of a text as a window the size of the screen can show: its first lines, each cut
// after no fewer characters than the screen is wide in pixels. Measuring a note of megabytes
// whole would only find a size the tip is cut down from anyway.
std::string screenful(const std::string& text) {
  const size_t max_line = 4 * static_cast<size_t>(std::max(Fl::w(), 1));  // bytes
  const size_t max_lines = static_cast<size_t>(std::max(Fl::h(), 1) / kTipSize + 2);
  if (text.size() <= max_line) return text;
  std::string part;
  size_t lines = 0;
  for (size_t pos = 0; pos <= text.size() && lines < max_lines; ++lines) {
    const size_t end = std::min(text.find('\n', pos), text.size());
    size_t cut = std::min(end, pos + max_line);
    if (cut < end) cut = char_start(text.data(), cut, pos);
    if (lines > 0) part += '\n';
    part.append(text, pos, cut - pos);
    pos = end + 1;
  }
  return part;
}

}  // namespace

PointerState sample_pointer(const App& a) {
  PointerState s;
  s.root_x = Fl::event_x_root();
  s.root_y = Fl::event_y_root();
  s.event_x = Fl::event_x();
  s.event_y = Fl::event_y();
  const Fl_Window* main = a.editor ? a.editor->window() : nullptr;
  if (main) {
    s.window_x = main->x_root();
    s.window_y = main->y_root();
  }
  const Fl_Window* first = Fl::first_window();
  s.program_window_first =
      first && (first == main || first == a.hover.tip.get() || is_toolkit_tooltip(*first));
  return s;
}

TipChange update_hover(App& a, const PointerState& s) {
  if (!a.editor) return TipChange::kNone;
  const Editor& editor = *a.editor;
  const int x = s.root_x - s.window_x;
  const int y = s.root_y - s.window_y;
  const int position = editor.position_at(x, y);
  // Events of a popup menu come in its own window's coordinates: the position of the
  // right click that opened it stays for the tag commands.
  if (x == s.event_x && y == s.event_y) a.pointer_position = position;

  if (!over_text(editor, s)) {
    a.hover.tag.reset();
    return remove_tip(a, s.root_x, s.root_y);
  }

  const TagNode* node = a.hover.index.find(a.tags, position);
  std::optional<TagIdentity> found;
  if (node) found = identity_of(*node->tag);
  const int offset = editor.textsize();
  TipChange change;
  if (!node || !node->tag->has_note()) {
    change = remove_tip(a, s.root_x + offset, s.root_y + offset);
  } else if (a.hover.tag == found) {
    change = a.hover.tip ? TipChange::kKept : TipChange::kNone;
    hide_editor_tooltip(a);
  } else {
    show_tip(a, s.root_x + offset, s.root_y + offset, node->tag->text.get());
    change = TipChange::kShown;
    hide_editor_tooltip(a);
  }
  a.hover.tag = found;
  return change;
}

void hover_tick(void* data) {
  App& a = app();
  update_hover(a, sample_pointer(a));
  Fl::repeat_timeout(0.1, hover_tick, data);
}

Fl_Double_Window* show_tip(App& a, int x, int y, const char* text) {
  a.hover.tip.reset();
  if (!text) return nullptr;
  // A note kept with bytes that are not UTF-8 is shown with replacement characters.
  const std::string shown = utf8_for_display(text);

  fl_font(kTipFont, kTipSize);
  int w = 0;
  int h = 0;
  fl_measure(screenful(shown).c_str(), w, h, 0);
  // A huge note would ask for a window larger than X allows; the screen is the limit.
  w = std::min(w + kTipMargin, Fl::w());
  h = std::min(h + kTipMargin, Fl::h());

  // A top-level window even when a dialog's group happens to be open.
  Fl_Group* const open_group = Fl_Group::current();
  Fl_Group::current(nullptr);
  std::unique_ptr<Fl_Double_Window, DeleteLater> tip(new Fl_Double_Window(x, y, w, h));
  tip->set_override();
  auto* output = new Fl_Multiline_Output(0, 0, w, h);
  output->textfont(kTipFont);
  output->textsize(kTipSize);
  output->value(shown.c_str());
  tip->end();
  tip->show();  // which also closes whatever group is open, hence only now the restore
  Fl_Group::current(open_group);
  a.hover.tip = std::move(tip);
  return a.hover.tip.get();
}

}  // namespace gm
