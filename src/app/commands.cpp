#include "app/commands.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/filename.H>
#include <FL/fl_ask.H>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/main_window.h"
#include "app/program.h"
#include "document/document.h"
#include "ui/about.h"
#include "ui/editor.h"
#include "ui/fl_memory.h"
#include "ui/sidebar.h"
#include "ui/unplaced.h"
#include "ui/view.h"

namespace gm {

namespace {

// What the toolkit's option reader takes for an argument that is not an option.
bool is_plain_word(const char* s) { return s[0] != '-' || s[1] == '-' || s[1] == '\0'; }

// One toolkit option (with its value) at position i, if one stands there.
void read_one_option(int argc, char** argv, int i) {
  if (i < argc && !is_plain_word(argv[i])) Fl::arg(argc, argv, i);
}

}  // namespace

std::optional<std::string> read_command_line(int argc, char** argv) {
  std::optional<std::string> path;
  // "-f PATH" anywhere but as the last argument; one toolkit option may follow the path.
  for (int i = 1; i < argc - 1; ++i) {
    if (std::strcmp(argv[i], "-f") == 0) {
      path = argv[i + 1];
      read_one_option(argc, argv, i + 2);
      break;
    }
  }
  // Otherwise the first plain word among the toolkit options, again followed by one option.
  // The word test matters: the toolkit remembers having met a plain word, and would then
  // stop at an unknown option the same way.
  int i = 1;
  if (Fl::args(argc, argv, i) && i < argc && is_plain_word(argv[i])) {
    path = argv[i];
    read_one_option(argc, argv, i + 1);
  }
  return path;
}

int ask_with_dialog(const char* message, const char* b0, const char* b1, const char* b2) {
  return fl_choice("%s", b0, b1, b2, message);
}

int open_with_desktop(const char* uri) { return fl_open_uri(uri, nullptr, 0); }

Commands::Commands(Document& document, View& view, Sidebar& sidebar, DialogHost& dialogs,
                   AboutBox& about, MainWindow& window, UnplacedTags& unplaced)
    : exit_process([](int code) { std::exit(code); }),
      document_(document),
      view_(view),
      sidebar_(sidebar),
      dialogs_(dialogs),
      about_(about),
      window_(window),
      unplaced_(unplaced),
      chooser_(std::make_unique<Fl_File_Chooser>(
          ".", "TxT Files (*.{txt})\tC/C++ Source Files (*.{c,C,cc,cpp,cxx,h})",
          Fl_File_Chooser::SINGLE, "open")) {
  chooser_->preview(0);
  chooser_->callback([](Fl_File_Chooser*, void*) {});
}

Commands::~Commands() = default;

int Commands::open_document(const char* path) {
  dialogs_.close_open_dialog();
  sidebar_.stop_search();
  if (!path) return -1;
  document_.file.forget_text();
  view_.forget_prepared_document();
  following_ = {};
  followed_.reset();
  // Everything that can fail comes before the shown document gives way: its text, Tags,
  // history, path and unsaved flag stay whole when the new one cannot be had.
  return document_.tags.open([this, path](TagList& tags, std::vector<UnplacedTag>& unplaced) {
    const std::unique_ptr<LoadedDocument> loaded = load_document(path, tags);
    if (!loaded || !view_.prepare_document(loaded->text)) return -1;
    adopt_document(document_.file, tags, *loaded);
    unplaced.swap(loaded->unplaced);
    following_ = std::move(loaded->following);
    followed_ = loaded->followed;
    return 0;
  });
}

// The Tags of a document changed since they were saved go where their text went: one step,
// nothing written until the user saves.
void Commands::follow_text() {
  if (!followed_) return;
  const ReanchorCounts counts = *followed_;
  followed_.reset();
  if (!following_.empty()) document_.tags.follow_text(std::move(following_));
  following_ = {};
  std::printf("%zu tag%s followed their text; %zu could not be placed.\n", counts.followed(),
              counts.followed() == 1 ? "" : "s", counts.not_placed());
  std::fflush(stdout);
}

void Commands::show_document() {
  if (!document_.file.data) return;
  if (!view_.show_document(document_.file.data)) return;
  // An empty text after an empty one is no change to the buffer, but the title must still
  // name the document now open.
  if (document_.file.data->empty()) window_.show_title();
  window_.refresh_undo_redo();
  // Loading clears the selection without the notification that sets these.
  window_.refresh_tag_popup();
  const TagList& tags = document_.tags.tags();
  view_.editor().scroll(tags.top_line, tags.top_column);
  follow_text();
  unplaced_.show_if_any();
  prepare_anchors(document_.file);
}

// "&Open": the chosen path, or none when the chooser was cancelled.
std::optional<std::string> Commands::choose_document() {
  if (!chooser_) return std::nullopt;
  chooser_->show();
  while (chooser_->visible()) Fl::wait();
  if (chooser_->count() == 0) return std::nullopt;
  const char* chosen = chooser_->value(1);
  if (!chosen) return std::nullopt;
  return std::string(chosen);
}

void Commands::open() {
  if (!confirm_unsaved()) return;
  std::optional<std::string> chosen = choose_document();
  if (!chosen) return;
  document_.path_to_open = std::move(chosen);
  std::puts("before open");
  open_document(document_.path_to_open->c_str());
  std::puts("after open");
  show_document();
  std::puts("after init open");
  sidebar_.list_tags();
}

void Commands::help() {
  if (!confirm_unsaved()) return;
  open_document(document_.help_path.c_str());
  show_document();
  sidebar_.list_tags();
}

int Commands::save_tags() {
  if (!document_.file.path) return -1;
  if (document_.tags.save(tag_file_name(*document_.file.path), view_.top()) != 0) {
    std::fputs("error: fail to save tag file!\n", stderr);
    return -1;
  }
  // The tags are safe in their file whatever happens here; without a fitting anchor file
  // the next open takes them where they stand.
  save_anchors(document_.file, document_.tags.tags(), document_.tags.unplaced());
  return 0;
}

int Commands::confirm_unsaved() {
  if (!document_.tags.unsaved()) return 1;
  switch (ask("No save since last change!", "cancel", "save", "ignore")) {
    case 0:
      return 0;
    case 2:
      return 1;
    default:
      break;
  }
  if (save_tags() == 0) return 1;
  // Keep offering another try: giving up silently would lose the changed tags.
  for (;;) {
    switch (ask("Fail to save!", "try one last time", "ignore", "cancel")) {
      case 1:
        return 1;
      case 2:
        return 0;
      default:
        if (save_tags() == 0) return 1;
    }
  }
}

void Commands::leave() {
  if (!confirm_unsaved()) return;
  about_.close();
  chooser_.reset();
  document_.file.forget_text();
  exit_process(0);
}

void Commands::copy(bool from_search_input) {
  Fl_Input& input = sidebar_.search_input();
  if (from_search_input || Fl::focus() == &input) {
    input.copy(0);
    input.copy(1);
    return;
  }
  // The document's selection, even when it has none.
  const ToolkitText text(view_.text().selection_text());
  const int length = static_cast<int>(std::strlen(text.get()));
  Fl::copy(text.get(), length, 0);
  Fl::copy(text.get(), length, 1);
}

// The focus widget decides: the search input takes the text, the Editor ignores it.
void Commands::paste() {
  if (Fl_Widget* focus = Fl::focus()) Fl::paste(*focus, 1);
}

// Only the search input can lose text, whatever menu or focus. Its change restarts the
// search through the input's callback.
void Commands::cut() {
  Fl_Input& input = sidebar_.search_input();
  // Without a selection nothing is cut, and the input's memory of an earlier deletion must
  // not reach the clipboard either.
  if (input.replace(input.position(), input.mark(), nullptr, 0)) input.copy_cuts();
}

void Commands::open_uri() {
  const ToolkitText uri(view_.text().selection_text());
  open_uri_with(uri.get());
}

}  // namespace gm
