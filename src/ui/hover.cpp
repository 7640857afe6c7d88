#include "ui/hover.h"

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Multiline_Output.H>
#include <FL/Fl_Tooltip.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <string>

#include "document/encoding.h"
#include "ui/editor.h"
#include "ui/top_level.h"

namespace gm {

namespace {

constexpr double kTick = 0.1;

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

// The toolkit's tooltip is a borderless window shown without taking the pointer; a popup
// menu takes it (a grab). Counting the tooltip as "another window in front" would let the
// Editor's own tooltip replace every note a moment after it appeared.
bool is_toolkit_tooltip(const Fl_Window& w) {
  return w.override() && !Fl::grab() && !w.modal() && !w.non_modal();
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

Hover::Hover(const TagList& tags) : tags_(tags) {}

Hover::~Hover() { Fl::remove_timeout(tick, this); }

void Hover::start() { Fl::add_timeout(kTick, tick, this); }

void Hover::tick(void* self) {
  auto& hover = *static_cast<Hover*>(self);
  hover.update(hover.sample());
  Fl::repeat_timeout(kTick, tick, self);
}

Fl_Double_Window* Hover::tip() const {
  return window_ && window_->shown() ? window_.get() : nullptr;
}

PointerState Hover::sample() const {
  PointerState s;
  s.root_x = Fl::event_x_root();
  s.root_y = Fl::event_y_root();
  s.event_x = Fl::event_x();
  s.event_y = Fl::event_y();
  const Fl_Window* main = editor_ ? editor_->window() : nullptr;
  if (main) {
    s.window_x = main->x_root();
    s.window_y = main->y_root();
  }
  const Fl_Window* first = Fl::first_window();
  s.program_window_first = first && (first == main || first == tip() || is_toolkit_tooltip(*first));
  return s;
}

TipChange Hover::hide_tip() {
  if (!tip()) return TipChange::kNone;
  show_tip(0, 0, nullptr);
  return TipChange::kRemoved;
}

TipChange Hover::update(const PointerState& s) {
  if (!editor_) return TipChange::kNone;
  const Editor& editor = *editor_;
  const int x = s.root_x - s.window_x;
  const int y = s.root_y - s.window_y;
  const int position = editor.position_at(x, y);
  // Events of a popup menu come in its own window's coordinates: the position of the
  // right click that opened it stays for the tag commands.
  if (x == s.event_x && y == s.event_y) pointer_position_ = position;

  if (!over_text(editor, s)) {
    tag_.reset();
    return hide_tip();
  }

  const TagNode* node = index_.find(tags_, position);
  std::optional<TagIdentity> found;
  if (node) found = identity_of(*node->tag);
  TipChange change;
  if (!node || !node->tag->has_note()) {
    change = hide_tip();
  } else {
    if (tag_ == found) {
      change = tip() ? TipChange::kKept : TipChange::kNone;
    } else {
      const int offset = editor.textsize();
      show_tip(s.root_x + offset, s.root_y + offset, node->tag->text.get());
      change = TipChange::kShown;
    }
    // While a note is shown, the Editor's general tooltip would cover it.
    if (Fl_Tooltip::current() == editor_) Fl_Tooltip::current(nullptr);
  }
  tag_ = found;
  return change;
}

Fl_Double_Window* Hover::show_tip(int x, int y, const char* text) {
  if (!text) {
    if (window_) window_->hide();
    return nullptr;
  }
  // A note kept with bytes that are not UTF-8 is shown with replacement characters.
  const std::string shown = utf8_for_display(text);
  fl_font(kTipFont, kTipSize);
  int w = 0;
  int h = 0;
  fl_measure(screenful(shown).c_str(), w, h, 0);
  // A huge note would ask for a window larger than X allows; the screen is the limit.
  w = std::min(w + kTipMargin, Fl::w());
  h = std::min(h + kTipMargin, Fl::h());

  const TopLevelScope top_level;  // showing would also close a dialog's open group
  if (!window_) {
    window_ = std::make_unique<Fl_Double_Window>(x, y, w, h);
    window_->set_override();
    output_ = new Fl_Multiline_Output(0, 0, w, h);
    output_->textfont(kTipFont);
    output_->textsize(kTipSize);
    window_->end();
  }
  window_->resize(x, y, w, h);
  output_->resize(0, 0, w, h);
  output_->value(shown.c_str());
  window_->show();
  return window_.get();
}

}  // namespace gm
