#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>

#include "app/app.h"
#include "app/commands.h"
#include "app/display.h"
#include "app/main_window.h"
#include "platform/platform.h"
#include "ui/icons.h"
#include "ui/tag_browser.h"

int main(int argc, char** argv) {
  gm::init_process();
  gm::App app;
  app.program_dir = gm::program_directory();
  app.help_path = gm::help_file_path(app.program_dir);
  app.path_to_open = gm::read_command_line(argc, argv);
  // -display may have named the server; the toolkit would only fail later, and louder.
  if (!gm::open_x_display()) return 1;

  Fl::visual(FL_DOUBLE | FL_INDEX);
  if (app.path_to_open) gm::open_document(app, app.path_to_open->c_str());

  gm::build_main_window(app);
  Fl::scheme(nullptr);
  gm::create_file_chooser(app);
  gm::start_timers(app);
  gm::set_window_icons(*app.window);

  gm::init_open(app);
  gm::list_tags(app);
  app.window->show(argc, argv);
  Fl::run();
  return 0;
}
