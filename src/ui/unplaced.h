// The Tags whose text was not found again when their document had changed: a window of their
// own, non-modal, that lists each (its note, its old text, where it was) with a button to
// place the chosen one on the current selection and one to remove it for good. Both go
// through the tag model, so Undo takes them back; the window follows every change.
#pragma once

#include <memory>
#include <string>

class Fl_Double_Window;
class Fl_Hold_Browser;
class Fl_Window;

namespace gm {

class TagDocument;
class View;
struct TagChange;
struct UnplacedTag;

// A list line: the note, the old text (whitespace runs as one space, a long one shortened)
// and the byte range it had.
std::string unplaced_line_text(const UnplacedTag& record);

class UnplacedTags {
 public:
  // The window comes up only once `main` is shown, so that it stands above it.
  UnplacedTags(TagDocument& tags, View& view, Fl_Window& main);
  ~UnplacedTags();
  UnplacedTags(const UnplacedTags&) = delete;
  UnplacedTags& operator=(const UnplacedTags&) = delete;

  // Relists after a change of the unplaced Tags. It neither comes up nor goes by itself:
  // an Undo or Redo must not take the keyboard from the main window.
  void follow(const TagChange& change);
  // After an open: lists the unplaced Tags and comes up when there are any, goes when none.
  void show_if_any();

  // "Place on selection" and "Remove for good", for the chosen line; nothing without one.
  void place_chosen();
  void remove_chosen();

  // None before any Tag was unplaced.
  Fl_Double_Window* window() const { return window_.get(); }
  Fl_Hold_Browser* list() const { return list_; }

 private:
  void build();
  void relist();
  void show();

  TagDocument& tags_;
  View& view_;
  Fl_Window& main_;
  std::unique_ptr<Fl_Double_Window> window_;
  Fl_Hold_Browser* list_ = nullptr;
};

}  // namespace gm
