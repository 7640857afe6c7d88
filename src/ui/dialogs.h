// The dialogs of the tag popup menu and the one open dialog: the tag dialog of New tag, Edit
// tag and Tag properties, the default style dialog, and the style chooser they are built
// around. At most one dialog exists at a time.
#pragma once

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>

#include <memory>
#include <string>

class Fl_Browser;
class Fl_Hold_Browser;
class Fl_Text_Buffer;
class Fl_Text_Display;

namespace gm {

class DialogHost;
class TagDocument;
class View;
struct Tag;

// ---------------------------------------------------------------------------------------
// The style chooser: a browser listing the 58 styles, each line drawn in its own style.

// A chooser line: the style's browser codes, then the font's name and the size, at most 98
// characters.
std::string style_line_text(unsigned char style);

// A filled chooser inside the group being built: line n holds style 64 + n as its data.
// No line selected, no callback, no tooltip.
Fl_Hold_Browser* build_style_chooser(int x, int y, int w, int h);

// Chooser line n (from 1) belongs to style 64 + n: 'A' is line 1, 'z' line 58. Styles
// outside 'A'..'z' map to the nearest line.
int style_line(unsigned char style);
unsigned char line_style(int line);

// The style character of the chooser's selected line; 0 when no line is selected.
unsigned char chosen_style(const Fl_Browser& chooser);
// Selects the line of a style without running the callback, scrolling it into view.
void select_style(Fl_Browser& chooser, unsigned char style);

// ---------------------------------------------------------------------------------------
// The dialogs.

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

// The style chooser on the left, the note on the right. A click on a style previews the
// note in it, a double click applies (New tag, Edit tag); Tag properties only shows.
class TagDialog : public Dialog {
 public:
  enum class Kind { kNew, kEdit, kProperties };

  // For Edit tag, `tag` is the Tag to edit; for Tag properties the Tag shown, or none.
  TagDialog(DialogHost& host, const char* title, Kind kind, const Tag* tag);
  ~TagDialog() override;

  Fl_Hold_Browser& chooser() { return *chooser_; }
  Fl_Text_Display& note_view() { return *note_view_; }
  Fl_Text_Buffer& note() { return *note_; }
  Fl_Text_Buffer& preview_styles() { return *preview_styles_; }

 private:
  static void style_clicked(Fl_Widget*, void* self);
  void open_new();
  void open_edit(const Tag& tag);
  void open_properties(const Tag* tag);
  void preview();
  // The style that a double click chose, remembered for the next dialog; 0 for none.
  unsigned char applied_style();
  std::string note_text() const;
  void apply_new();
  void apply_edit();

  Kind kind_;
  int kept_line_ = 0;  // Tag properties: the line that stays selected (0: none)
  // The note view unhooks itself from its buffers when it dies, so it goes first.
  std::unique_ptr<Fl_Text_Buffer> note_;
  std::unique_ptr<Fl_Text_Buffer> preview_styles_;
  Fl_Hold_Browser* chooser_;
  Fl_Text_Display* note_view_;
};

// A style chooser whose double click gives untagged text the style.
class DefaultStyleDialog : public Dialog {
 public:
  DefaultStyleDialog(DialogHost& host, const char* title);
  Fl_Hold_Browser& chooser() { return *chooser_; }

 private:
  static void style_clicked(Fl_Widget*, void* self);
  void apply();

  Fl_Hold_Browser* chooser_;
};

// The one open dialog and the tag popup menu's commands that open one.
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
  // The open dialog, if any, as its Escape would close it: a dialog acts on the document it
  // was opened for.
  void close_open_dialog();

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
