// Hover tips: every 0.1 s the Tag under the mouse pointer is looked up and its note shown in
// a small borderless window beside the pointer. The same tick records the text position under
// the pointer, which the tag commands take as the place where the popup menu was opened.
#pragma once

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>

#include <cstdint>
#include <memory>
#include <optional>

#include "tags/tag_index.h"

namespace gm {

class App;

// A window may go away from inside its own callbacks only through the toolkit, which
// hides it at once and destroys it on its next turn of the event loop.
struct DeleteLater {
  void operator()(Fl_Widget* widget) const { Fl::delete_widget(widget); }
};

struct HoverState {
  std::unique_ptr<Fl_Double_Window, DeleteLater> tip;  // the note on screen, or none
  std::optional<TagIdentity> tag;  // the Tag found at the previous tick, note or not
  TagIndex index;                  // finds that Tag without walking the whole list
};

// What one tick needs to know of the pointer and the windows; taken from the toolkit by
// sample_pointer, or made up by tests.
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

PointerState sample_pointer(const App& a);
// One tick's decisions: pointer_position, the hover tag and the tip window.
TipChange update_hover(App& a, const PointerState& pointer);
// The timer; data is the Editor. Re-arms itself every 0.1 s.
void hover_tick(void* data);

// Replaces the tip window by one showing text with its top-left corner at screen point
// (x, y), or only removes it when text is null. Answers the new window, or null.
Fl_Double_Window* show_tip(App& a, int x, int y, const char* text);

// The font the tip is measured and drawn with.
constexpr Fl_Font kTipFont = FL_HELVETICA;
constexpr Fl_Fontsize kTipSize = 14;
// Room around the measured note, in each direction.
constexpr int kTipMargin = 16;

}  // namespace gm
