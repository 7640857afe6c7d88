// The dialog of New tag, Edit tag and Tag properties: the style chooser on the left, the note
// on the right. A click on a style previews the note in it, a double click applies.
#pragma once

#include <memory>
#include <string>

#include "ui/dialog_host.h"

class Fl_Hold_Browser;
class Fl_Text_Buffer;
class Fl_Text_Display;

namespace gm {

struct Tag;

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

}  // namespace gm
