#include "ui/unplaced.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/fl_ask.H>

#include <algorithm>
#include <string_view>

#include "document/encoding.h"
#include "tags/tag_document.h"
#include "ui/top_level.h"
#include "ui/view.h"

namespace gm {

namespace {

constexpr size_t kShownText = 60;  // bytes of old text on a line before it is shortened

// Whitespace runs as one space, so that a line of the list stays one line.
std::string one_line(std::string_view text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!starts_character(text, i)) continue;
    line += is_text_space(text[i]) ? ' ' : text[i];
  }
  return line;
}

std::string shortened(std::string text) {
  if (text.size() <= kShownText) return text;
  text.resize(char_start(text.data(), kShownText));
  return text + "...";
}

void place_clicked(Fl_Widget*, void* self) { static_cast<UnplacedTags*>(self)->place_chosen(); }
void remove_clicked(Fl_Widget*, void* self) { static_cast<UnplacedTags*>(self)->remove_chosen(); }

}  // namespace

std::string unplaced_line_text(const UnplacedTag& record) {
  const TextQuote& quote = record.quote;
  std::string old_text = shortened(one_line(quote.exact));
  if (!quote.whole()) old_text += " ... " + one_line(quote.tail);
  const std::string note =
      record.note.empty() ? "(no note)" : shortened(one_line(utf8_for_display(record.note)));
  return note + "  \"" + utf8_for_display(old_text) + "\"  was at bytes " +
         std::to_string(record.start) + "-" + std::to_string(record.end);
}

UnplacedTags::UnplacedTags(TagDocument& tags, View& view, Fl_Window& main)
    : tags_(tags), view_(view), main_(main) {}

UnplacedTags::~UnplacedTags() = default;

void UnplacedTags::build() {
  const TopLevelScope top_level;
  window_ = std::make_unique<Fl_Double_Window>(560, 300, "Tags not placed");
  auto* about = new Fl_Box(10, 5, 540, 45,
                           "The text of these tags was not found in the changed document. Select "
                           "text and place a tag on it, or remove the tag.");
  about->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_WRAP);
  list_ = new Fl_Hold_Browser(10, 55, 540, 195);
  list_->format_char(0);  // notes and texts are shown as they are
  auto* place = new Fl_Button(10, 260, 170, 30, "Place on selection");
  place->callback(place_clicked, this);
  auto* remove = new Fl_Button(190, 260, 150, 30, "Remove for good");
  remove->callback(remove_clicked, this);
  window_->end();
  window_->resizable(list_);
  window_->set_non_modal();
}

void UnplacedTags::relist() {
  if (!window_) build();
  const int chosen = list_->value();
  list_->clear();
  for (const UnplacedTag& record : tags_.unplaced()) list_->add(unplaced_line_text(record).c_str());
  if (list_->size() > 0) list_->value(std::min(std::max(chosen, 1), list_->size()));
}

void UnplacedTags::show() {
  if (!main_.shown()) return;  // start-up shows it once the main window stands
  if (!window_->shown()) {
    // Each time it comes up: beside the main window, on that window's screen.
    int sx = 0, sy = 0, sw = 0, sh = 0;
    Fl::screen_work_area(sx, sy, sw, sh, main_.x(), main_.y());
    const int x = std::min(main_.x() + main_.w() + 10, sx + sw - window_->w());
    const int y = std::min(main_.y() + 40, sy + sh - window_->h());
    window_->position(std::max(x, sx), std::max(y, sy));
  }
  window_->show();
}

void UnplacedTags::follow(const TagChange& change) {
  if (change.unplaced && window_) relist();
}

void UnplacedTags::show_if_any() {
  if (tags_.unplaced().empty()) {
    if (window_) {
      relist();
      window_->hide();
    }
    return;
  }
  relist();
  show();
}

void UnplacedTags::place_chosen() {
  if (!list_ || list_->value() <= 0) return;
  int start = 0;
  int end = 0;
  if (!view_.text().selection_position(&start, &end) || start >= end) {
    fl_beep();
    return;
  }
  tags_.place_unplaced(static_cast<size_t>(list_->value() - 1), start, end);
}

void UnplacedTags::remove_chosen() {
  if (!list_ || list_->value() <= 0) return;
  tags_.forget_unplaced(static_cast<size_t>(list_->value() - 1));
}

}  // namespace gm
