// The program's commands on the document: the command line, Open and Help, saving the tags,
// the unsaved-changes prompt and leaving, and the clipboard and URI commands.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tags/reanchor.h"
#include "tags/tag_document.h"

class Fl_File_Chooser;

namespace gm {

struct Document;
class View;
class Sidebar;
class DialogHost;
class AboutBox;
class MainWindow;
class UnplacedTags;

// The document path named on the command line, if any. Reads the toolkit's options as a
// side effect, so the window's show(argc, argv) applies them without complaining.
std::optional<std::string> read_command_line(int argc, char** argv);

// Asks the user a question with three buttons (b0 rightmost, answer 0, also for Escape;
// b1 the default, answer 1; b2 leftmost, answer 2). Tests put a scripted one in its place.
using QuestionFunction =
    std::function<int(const char* message, const char* b0, const char* b1, const char* b2)>;
int ask_with_dialog(const char* message, const char* b0, const char* b1, const char* b2);

// Hands a URI to the desktop's own handler (no shell). Tests put a recorder in its place.
int open_with_desktop(const char* uri);

class Commands {
 public:
  Commands(Document& document, View& view, Sidebar& sidebar, DialogHost& dialogs, AboutBox& about,
           MainWindow& window, UnplacedTags& unplaced);
  ~Commands();
  Commands(const Commands&) = delete;
  Commands& operator=(const Commands&) = delete;

  // A document into memory, with its tags (stops a running search, closes the open dialog);
  // 0, or -1 when it could not be read or shown, leaving the open one whole. Then on screen:
  // when the document changed since its tags were saved, its Tags follow their text there,
  // as one step that Undo takes back, and the user is told how many did.
  int open_document(const char* path);
  void show_document();
  // "&Open" (through the file chooser) and "Help", each after asking about unsaved tags.
  void open();
  void help();

  int save_tags();        // 0 written, -1 not
  int confirm_unsaved();  // 1 go on, 0 stop
  void leave();           // returns only when the user chose to stay

  // Copy from the search input when asked to or when it has the keyboard focus, else the
  // document's selection; Paste into the focus widget; Cut from the search input only.
  void copy(bool from_search_input);
  void paste();
  void cut();
  void open_uri();

  // The Open dialog: start directory ".", text and source file filters; none after leaving.
  Fl_File_Chooser* chooser() const { return chooser_.get(); }

  QuestionFunction ask = ask_with_dialog;
  std::function<void(int)> exit_process;  // ends the process; tests watch it instead
  std::function<int(const char* uri)> open_uri_with = open_with_desktop;

 private:
  std::optional<std::string> choose_document();
  void follow_text();

  Document& document_;
  View& view_;
  Sidebar& sidebar_;
  DialogHost& dialogs_;
  AboutBox& about_;
  MainWindow& window_;
  UnplacedTags& unplaced_;
  std::unique_ptr<Fl_File_Chooser> chooser_;
  // Where the Tags of the document just opened went, applied once it is shown.
  TextFollowing following_;
  std::optional<ReanchorCounts> followed_;
};

}  // namespace gm
