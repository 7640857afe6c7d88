// Hover tips: every 0.1 s the Tag under the mouse pointer is looked up and its note shown in
// a small borderless window beside the pointer. The same tick records the text position under
// the pointer, which the tag commands take as the place where the popup menu was opened.
#pragma once

#include <FL/Fl.H>

#include <cstdint>
#include <memory>
#include <optional>

#include "tags/tag_index.h"

class Fl_Double_Window;
class Fl_Multiline_Output;

namespace gm {

class Editor;

// What one tick needs to know of the pointer and the windows; taken from the toolkit by
// Hover::sample, or made up by tests.
struct PointerState {
  int root_x = 0;  // the pointer on the screen at the toolkit's last event
  int root_y = 0;
  int event_x = 0;  // the same event in the coordinates of the window it was reported to
  int event_y = 0;
  int window_x = 0;  // the main window's top-left corner on the screen
  int window_y = 0;
  bool program_window_first = false;  // the first window is the main window or the tip
};

// What a tick did to the tip.
enum class TipChange { kNone, kKept, kShown, kRemoved };

// The font the tip is measured and drawn with.
constexpr Fl_Font kTipFont = FL_HELVETICA;
constexpr Fl_Fontsize kTipSize = 14;
// Room around the measured note, in each direction.
constexpr int kTipMargin = 16;

class Hover {
 public:
  explicit Hover(const TagList& tags);
  ~Hover();
  Hover(const Hover&) = delete;
  Hover& operator=(const Hover&) = delete;

  // The Editor whose text the pointer rests on; the tick does nothing before.
  void watch(const Editor& editor) { editor_ = &editor; }
  // Starts the tick, which re-arms itself every 0.1 s.
  void start();

  int32_t pointer_position() const { return pointer_position_; }
  // The Tag found at the previous tick, note or not.
  const std::optional<TagIdentity>& tag() const { return tag_; }
  // The tip window while it is shown, else none.
  Fl_Double_Window* tip() const;

  PointerState sample() const;
  // One tick's decisions: pointer_position, the hover Tag and the tip.
  TipChange update(const PointerState& pointer);

  // Shows text in the tip with its top-left corner at screen point (x, y), or only hides the
  // tip when text is null. The one tip window is made on first use and kept. Answers the
  // tip, or null.
  Fl_Double_Window* show_tip(int x, int y, const char* text);

 private:
  friend struct HoverTestAccess;  // lets tests put the pointer on a text position

  static void tick(void* self);
  TipChange hide_tip();

  const TagList& tags_;
  const Editor* editor_ = nullptr;
  TagIndex index_;  // finds the Tag under the pointer without walking the whole list
  std::optional<TagIdentity> tag_;
  int32_t pointer_position_ = -1;
  std::unique_ptr<Fl_Double_Window> window_;
  Fl_Multiline_Output* output_ = nullptr;  // the window's one child
};

}  // namespace gm
