// The program's parts, made once by main (and afresh by each test): the document and its
// tags, the view, the sidebar, the one open dialog, the About box, the main window, the list
// of Tags that could not be placed and the commands. Each is reached by the others through references given when it is made, and by
// the toolkit's callbacks through their user data.
#pragma once

#include <optional>
#include <string>

#include "app/commands.h"
#include "app/main_window.h"
#include "document/document.h"
#include "tags/tag_document.h"
#include "ui/about.h"
#include "ui/dialogs.h"
#include "ui/sidebar.h"
#include "ui/unplaced.h"
#include "ui/view.h"

namespace gm {

// The open document: its text and paths, its tags, and where Help and the command line point.
struct Document {
  DocumentState file;
  TagDocument tags;
  std::string help_path;
  std::optional<std::string> path_to_open;
};

class Program {
 public:
  explicit Program(std::string help_path = "help.txt");
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The 0.1 s command-state refresh and the hover tick.
  void start_timers();

  // In the order they are made; they go in reverse, so the window (with the Editor) goes
  // before the buffers it shows and the list its parts read.
  Document document;
  View view;
  Sidebar sidebar;
  DialogHost dialogs;
  AboutBox about;
  MainWindow window;
  UnplacedTags unplaced;
  Commands commands;
};

}  // namespace gm
