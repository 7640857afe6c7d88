// The document on screen: the text and style buffers, the Editor that shows them with the tag
// popup menu button laid over it, the painting of the Tags into the style buffer, and the
// hover tips with the text position under the pointer.
#pragma once

#include <FL/Fl_Text_Display.H>

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "tags/tag_document.h"
#include "ui/hover.h"
#include "ui/whole_buffer.h"

class Fl_Menu_Button;
struct Fl_Menu_Item;

namespace gm {

class Editor;

// The style table in the toolkit's own layout, 58 entries, 'A' first; lives for the run.
const Fl_Text_Display::Style_Table_Entry* editor_style_table();

// The styles of a whole newly opened text of `length` bytes. With `beside` set they are
// painted on a second thread from the moment the DocumentPaint is made, while the text
// reaches its buffer and the Editor counts its lines; otherwise they are painted when taken.
// The TagList must not change in between; the destructor waits for the painter.
class DocumentPaint {
 public:
  DocumentPaint(const TagList& tags, int32_t length, bool beside);
  WholeBuffer::Block take();

 private:
  std::future<WholeBuffer::Block> block_;
};

// Repaints [start, end) of the style buffer from the TagList, writing only the bytes that
// differ. Costs the Tags and a read of the range, plus what it changes.
void restyle_range(WholeBuffer& styles, const TagList& tags, int32_t start, int32_t end);
// Repaints from start to the end of the tagged stretch that reaches end.
void restyle_tag_area(WholeBuffer& styles, const TagList& tags, int32_t start, int32_t end);
// Every byte `from` of [0, length) becomes `to`, written in place.
void swap_style(WholeBuffer& styles, int32_t length, char from, char to);

class View {
 public:
  explicit View(const TagList& tags);
  ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // Builds the Editor in the group being built, with the tag popup menu button inside it over
  // the whole screen, showing `popup_menu` (used in place).
  void build(int x, int y, int w, int h, Fl_Menu_Item* popup_menu);

  // Both buffers outlive the Editor: it unhooks itself from them when it dies.
  WholeBuffer& text() { return *text_; }
  WholeBuffer& styles() { return *styles_; }
  Editor& editor() { return *editor_; }
  Fl_Menu_Button& popup_button() { return *popup_button_; }
  Hover& hover() { return hover_; }

  // Where the tag commands act: the pointer's text position when the popup menu was picked.
  int32_t popup_position() const { return popup_position_; }
  void take_popup_position() { popup_position_ = hover_.pointer_position(); }

  // A newly opened document's text and the styles of its Tags.
  void show_document(const std::string& text);
  // Paints what a change of the Tags touched and redraws it.
  void repaint(const TagChange& change);
  // The line and column at the top of the view, when the toolkit can tell.
  std::optional<ViewTop> top() const;

 private:
  const TagList& tags_;
  std::unique_ptr<WholeBuffer> text_ = std::make_unique<WholeBuffer>();
  std::unique_ptr<WholeBuffer> styles_ = std::make_unique<WholeBuffer>();
  Editor* editor_ = nullptr;                // owned by the window
  Fl_Menu_Button* popup_button_ = nullptr;  // owned by the Editor
  Hover hover_;
  int32_t popup_position_ = -1;
};

}  // namespace gm
