// The tag popup menu's commands: New tag, Edit tag, Remove tag, Tag properties (and the
// routing to the default style dialog), with the tag dialog they share.
#pragma once

#include <FL/Fl_Double_Window.H>

#include <memory>

class Fl_Hold_Browser;
class Fl_Text_Buffer;
class Fl_Text_Display;
class Fl_Widget;

namespace gm {

class App;

// The style chooser on the left, the note on the right. The note view is an editor, or a
// plain display for a read-only dialog. The dialog owns the note's two buffers.
class TagDialog : public Fl_Double_Window {
public:
  TagDialog(const char* title, bool editable);
  ~TagDialog() override;
  TagDialog(const TagDialog&) = delete;
  TagDialog& operator=(const TagDialog&) = delete;

  Fl_Hold_Browser& chooser() { return *chooser_; }
  Fl_Text_Display& note_view() { return *note_view_; }
  Fl_Text_Buffer& note() { return *note_; }
  Fl_Text_Buffer& preview_styles() { return *preview_styles_; }

private:
  std::unique_ptr<Fl_Text_Buffer> note_;
  std::unique_ptr<Fl_Text_Buffer> preview_styles_;
  Fl_Hold_Browser* chooser_;
  Fl_Text_Display* note_view_;
};

// Callback of the tag popup menu button for the items without a command of their own:
// records the pointer's text position as the place to act on and runs the chosen item.
void popup_dispatch(Fl_Widget* menu_button, void*);

// Runs item `index` of the tag popup menu (New tag, Edit tag, Remove tag, Tag properties);
// nothing while a dialog is open.
void open_tag_dialog(App& a, const char* title, int index);

// Chooser callbacks of the New tag and Edit tag dialogs (argument: the note view): a single
// click previews the note in the clicked style, a double click applies it.
void apply_new_tag(Fl_Widget* chooser, void* note_view);
void apply_tag_edit(Fl_Widget* chooser, void* note_view);
void preview_style(Fl_Hold_Browser& chooser, Fl_Text_Display& note_view);

}  // namespace gm
