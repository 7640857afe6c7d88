// "Undo" and "Redo": the TagHistory steps, painted into the style buffer, and the items'
// states brought up to date.
#include "app/app.h"
#include "app/commands.h"
#include "tags/history.h"
#include "ui/restyle.h"

namespace gm {

namespace {

RestyleRange repaint_in(App& a) {
  return [&a](int32_t start, int32_t end) { restyle_tag_area(a, start, end); };
}

}  // namespace

void undo_command(Fl_Widget*, void*) {
  App& a = app();
  if (!a.history || !undo_step(*a.history, a.tags, repaint_in(a))) return;
  refresh_undo_redo(a);
}

void redo_command(Fl_Widget*, void*) {
  App& a = app();
  if (!a.history || !redo_step(*a.history, a.tags, repaint_in(a))) return;
  refresh_undo_redo(a);
}

}  // namespace gm
