#include "app/program.h"

#include <utility>

namespace gm {

Program::Program(std::string help_path)
    : view(document.tags.tags()),
      sidebar(document.tags.tags(), document.file, view),
      dialogs(document.tags, view),
      window(*this),
      unplaced(document.tags, view, window.window()),
      commands(document, view, sidebar, dialogs, about, window, unplaced) {
  document.help_path = std::move(help_path);
  // Every change of the tags, whatever made it, is shown here.
  document.tags.set_listener([this](const TagChange& change) {
    view.repaint(change);
    if (change.tags) sidebar.tags_changed();
    if (change.history) window.refresh_undo_redo();
    unplaced.follow(change);
  });
}

void Program::start_timers() {
  window.start_refresh();
  view.hover().start();
}

}  // namespace gm
