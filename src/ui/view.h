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

// The styles of a whole newly opened text, painted into `block` on a second thread from the
// moment the DocumentPaint is made, while the text reaches its buffer and the Editor counts
// its lines; with no thread to be had, when taken. The TagList must not change in between;
// the destructor waits for the painter.
class DocumentPaint {
 public:
  DocumentPaint(const TagList& tags, WholeBuffer::Block block);
  WholeBuffer::Block take();

 private:
  WholeBuffer::Block block_;
  std::future<void> painted_;  // after block_: destroyed first, so it waits for the painter
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

  // What showing a document of this text takes, made while the shown one is still whole:
  // room for its styles (the text buffer shows the text itself, where it lies). The shown
  // styles give their memory up first, so that an open never holds two sets of styles; they
  // are painted again from the shown Tags when memory runs out here. False then, after its
  // diagnostic line.
  bool prepare_document(std::shared_ptr<const TextBlock> text);
  void forget_prepared_document();
  // A newly opened document's text and the styles of its Tags, from what prepare_document
  // made (made here when nothing is prepared: the document is shown again). False when
  // memory ran out.
  bool show_document(std::shared_ptr<const TextBlock> text);
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
  std::optional<DocumentBlocks> pending_;  // prepared by an open, shown by show_document

  void paint_shown_styles_again();
};

}  // namespace gm
