#include "ui/view.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Button.H>

#include <algorithm>

#include "tags/styles.h"
#include "ui/editor.h"
#include "ui/restyle.h"

namespace gm {

View::View(const TagList& tags) : tags_(tags), hover_(tags) {}

View::~View() = default;

void View::build(int x, int y, int w, int h, Fl_Menu_Item* popup_menu) {
  editor_ = new Editor(x, y, w, h);
  editor_->tooltip("Click with right mouse button to open edit menu.");
  // Laid over the whole screen inside the Editor, so it sees every press over it first.
  editor_->begin();
  popup_button_ = new Fl_Menu_Button(0, 0, Fl::w(), Fl::h());
  popup_button_->type(Fl_Menu_Button::POPUP3);
  popup_button_->box(FL_NO_BOX);
  popup_button_->menu(popup_menu);
  editor_->end();
  editor_->buffer(text_.get());
  editor_->highlight_data(styles_.get(), editor_style_table(), kStyleCount, 'B', nullptr, nullptr);
  hover_.watch(*editor_);
}

void View::show_document(const std::string& text) {
  const int length = static_cast<int>(text.size());
  // The styles are painted on a second thread while the text goes into its buffer, which
  // takes as long again for the Editor to count its lines. That keeps the old text and the
  // new styles in memory together: only worth it while the old text is small.
  DocumentPaint paint(tags_, length, text_->length() <= length / 8);
  // One change instead of emptying and refilling: the title follows it all the same.
  text_->replace_all(text.data(), length);
  styles_->replace_all(paint.take());
}

void View::repaint(const TagChange& change) {
  for (const TextRange& range : change.repaint)
    restyle_tag_area(*styles_, tags_, range.start, range.end);
  if (!change.repaint.empty() && editor_) editor_->redraw();
  if (change.style_swap) {
    // Byte by byte: Tags drawn in the old default style change with it until they are
    // repainted, exactly as the untagged text does.
    const int length = std::min(text_->length(), styles_->length());
    swap_style(*styles_, length, static_cast<char>(buffer_style(change.style_swap->from)),
               static_cast<char>(change.style_swap->to));
    if (editor_) editor_->redisplay_range(0, length);
  }
}

std::optional<ViewTop> View::top() const {
  int line = 0;
  int column = 0;
  if (!editor_ || !editor_->line_column_at(0, 0, &line, &column)) return std::nullopt;
  return ViewTop{line, column};
}

}  // namespace gm
