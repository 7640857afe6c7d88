#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>

#include "app/commands.h"
#include "app/display.h"
#include "app/program.h"
#include "platform/platform.h"
#include "ui/icons.h"

int main(int argc, char** argv) {
  gm::init_process();
  std::optional<std::string> path = gm::read_command_line(argc, argv);
  // -display may have named the server; the toolkit would only fail later, and louder.
  if (!gm::open_x_display()) return 1;
  Fl::visual(FL_DOUBLE | FL_INDEX);

  gm::Program program(gm::help_file_path(gm::program_directory()));
  program.document.path_to_open = path;
  if (path) program.commands.open_document(path->c_str());
  Fl::scheme(nullptr);
  program.start_timers();
  gm::set_window_icons(program.window.window());

  program.commands.show_document();
  program.sidebar.list_tags();
  program.window.window().show(argc, argv);
  program.unplaced.show_if_any();
  Fl::run();
  return 0;
}
