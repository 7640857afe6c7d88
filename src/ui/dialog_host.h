// The one open dialog of the tag popup menu (a tag dialog or the default style dialog) and
// the popup menu's commands that open them. At most one dialog exists at a time.
#pragma once

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>

#include <memory>

namespace gm {

class DialogHost;
class TagDocument;
class View;

// A dialog window: top-level at (300, 200), non-modal, resizable as a whole; Escape and its
// close button close it without applying anything.
class Dialog : public Fl_Double_Window {
 protected:
  Dialog(DialogHost& host, int w, int h, const char* title);
  DialogHost& host() { return host_; }

 private:
  friend class DialogHost;
  void show_dialog();
  static void closed(Fl_Widget*, void* self);

  DialogHost& host_;
};

class DialogHost {
 public:
  DialogHost(TagDocument& tags, View& view);
  ~DialogHost();
  DialogHost(const DialogHost&) = delete;
  DialogHost& operator=(const DialogHost&) = delete;

  // The tag popup menu's commands, acting where the pointer was when the menu was picked.
  // While a dialog is open they only take that position. The title is the item's text.
  void new_tag(const char* title);
  void edit_tag(const char* title);
  void remove_tag();
  void tag_properties(const char* title);
  void default_style(const char* title);

  Dialog* open_dialog() const { return open_.get(); }
  // The chooser line the next New tag dialog preselects (line n is style 64 + n).
  int last_style_line() const { return last_style_line_; }
  void set_last_style_line(int line) { last_style_line_ = line; }

  TagDocument& tags() { return tags_; }
  View& view() { return view_; }

  // The dialog goes, applied or not; it is destroyed once the running callback is over.
  void discard(Dialog& dialog);
  // Escape or the close button: the dialog goes with nothing applied.
  void close(Dialog& dialog);

 private:
  // A window may go away from inside its own callbacks only through the toolkit, which
  // hides it at once and destroys it on its next turn of the event loop.
  struct DeleteLater {
    void operator()(Fl_Widget* widget) const { Fl::delete_widget(widget); }
  };

  template <class D, class... Args>
  void open(Args&&... args);

  TagDocument& tags_;
  View& view_;
  std::unique_ptr<Dialog, DeleteLater> open_;
  int last_style_line_ = 2;  // a first new Tag is offered style 'B'
};

}  // namespace gm
