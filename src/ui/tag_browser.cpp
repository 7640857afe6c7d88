#include "ui/tag_browser.h"

#include <FL/Fl_Group.H>
#include <FL/Fl_Hold_Browser.H>

#include <algorithm>
#include <cstdint>

namespace gm {

namespace {

void* item_of(int line) { return reinterpret_cast<void*>(static_cast<intptr_t>(line)); }
int line_of(const void* item) { return static_cast<int>(reinterpret_cast<intptr_t>(item)); }

// Lines between the nodes kept for going back: going up a line must not walk from the head.
constexpr int kCheckpointEvery = 1024;

}  // namespace

// A hold browser that holds one line and measures and draws it where it is asked to: the
// tag browser's lines look exactly as a hold browser draws them.
class TagBrowser::LinePainter : public Fl_Hold_Browser {
 public:
  LinePainter(int w, int h) : Fl_Hold_Browser(0, 0, w, h) { add(""); }

  void take_looks(const Fl_Browser_& from) {
    textfont(from.textfont());
    textsize(from.textsize());
    textcolor(from.textcolor());
    selection_color(from.selection_color());
    if (from.active_r())
      activate();
    else
      deactivate();
  }
  void set(const std::string& line) { text(1, line.c_str()); }
  int height() const { return item_height(find_line(1)); }
  int width() const { return item_width(find_line(1)); }
  int increment() const { return incr_height(); }
  void paint(bool selected, int x, int y, int w, int h) {
    void* const line = find_line(1);
    item_select(line, selected ? 1 : 0);
    item_draw(line, x, y, w, h);
  }
};

TagBrowser::TagBrowser(int x, int y, int w, int h) : Fl_Browser_(x, y, w, h) {
  // The painter belongs to no window.
  Fl_Group* const building = Fl_Group::current();
  Fl_Group::current(nullptr);
  painter_ = std::make_unique<LinePainter>(w, h);
  Fl_Group::current(building);
  type(FL_HOLD_BROWSER);
  box(painter_->box());
  color(painter_->color(), painter_->selection_color());
  align(painter_->align());
  when(painter_->when());
  textfont(painter_->textfont());
  textsize(painter_->textsize());
  textcolor(painter_->textcolor());
}

TagBrowser::~TagBrowser() = default;

void TagBrowser::start_over() {
  selected_ = 0;
  ++lines_version_;
  new_list();
}

void TagBrowser::show_tags(const TagList& tags, TagLineFormat format) {
  tags_ = &tags;
  format_ = format;
  lines_.clear();
  data_.clear();
  heights_.clear();
  added_height_ = 0;
  start_over();
}

void TagBrowser::tags_changed() { start_over(); }

void TagBrowser::clear() {
  tags_ = nullptr;
  lines_.clear();
  data_.clear();
  heights_.clear();
  added_height_ = 0;
  start_over();
}

void TagBrowser::add(std::string line, void* data) {
  if (tags_) clear();
  const int height = line_height(line);
  lines_.push_back(std::move(line));
  data_.push_back(data);
  heights_.push_back(height);
  added_height_ += height;
  redraw_line(item_of(size()));
}

int TagBrowser::size() const { return static_cast<int>(tags_ ? tags_->size() : lines_.size()); }

const TagNode* TagBrowser::node_at(int line) const {
  if (!tags_ || line < 1 || line > size()) return nullptr;
  if (cursor_generation_ != tags_->generation()) {
    cursor_generation_ = tags_->generation();
    checkpoints_.clear();
    segment_.clear();
    cursor_node_ = nullptr;
  }
  const auto index = static_cast<size_t>(line - 1);
  const size_t part = index / kCheckpointEvery;
  if (part == segment_part_ && !segment_.empty()) return segment_[index % kCheckpointEvery];
  if (cursor_node_ && line < cursor_line_ && part < checkpoints_.size()) {
    // Going back, as scrolling up does line by line: the stretch between two checkpoints is
    // kept whole, so that each step back is one look-up.
    segment_.clear();
    segment_part_ = part;
    const TagNode* n = checkpoints_[part];
    for (int i = 0; n && i < kCheckpointEvery; ++i, n = n->next.get()) segment_.push_back(n);
    return segment_[index % kCheckpointEvery];
  }
  if (!cursor_node_ || line < cursor_line_) {
    cursor_node_ = tags_->head();
    cursor_line_ = 1;
    if (checkpoints_.empty()) checkpoints_.push_back(cursor_node_);
  }
  while (cursor_node_ && cursor_line_ < line) {
    cursor_node_ = cursor_node_->next.get();
    ++cursor_line_;
    if ((cursor_line_ - 1) % kCheckpointEvery == 0 &&
        static_cast<size_t>((cursor_line_ - 1) / kCheckpointEvery) == checkpoints_.size())
      checkpoints_.push_back(cursor_node_);
  }
  return cursor_node_;
}

const TagNode* TagBrowser::tag_at(int line) const { return node_at(line); }

std::string TagBrowser::text(int line) const {
  if (line < 1 || line > size()) return {};
  if (!tags_) return lines_[static_cast<size_t>(line - 1)];
  std::string formatted;
  if (const TagNode* node = node_at(line)) format_(formatted, *node->tag);
  return formatted;
}

void* TagBrowser::data(int line) const {
  if (line < 1 || line > size()) return nullptr;
  if (!tags_) return data_[static_cast<size_t>(line - 1)];
  return const_cast<TagNode*>(node_at(line));
}

int TagBrowser::value() const { return selection() ? line_of(selection()) : 0; }

int TagBrowser::select(int line, int val) {
  if (line < 1 || line > size()) return 0;
  return Fl_Browser_::select(item_of(line), val, 0);
}

void* TagBrowser::item_first() const { return size() > 0 ? item_of(1) : nullptr; }

void* TagBrowser::item_next(void* item) const {
  const int line = line_of(item);
  return line < size() ? item_of(line + 1) : nullptr;
}

void* TagBrowser::item_prev(void* item) const {
  const int line = line_of(item);
  return line > 1 ? item_of(line - 1) : nullptr;
}

void* TagBrowser::item_last() const { return size() > 0 ? item_of(size()) : nullptr; }

void TagBrowser::load_line(int line) const {
  const uint64_t version = lines_version_ + (tags_ ? tags_->generation() : 0);
  if (loaded_line_ == line && loaded_version_ == version) return;
  painter_->take_looks(*this);
  painter_->set(text(line));
  loaded_line_ = line;
  loaded_version_ = version;
}

int TagBrowser::line_height(const std::string& line) const {
  painter_->take_looks(*this);
  painter_->set(line);
  loaded_line_ = 0;
  return painter_->height();
}

// A Tag line is its style's codes, ended by "@.", and a text that is never empty: its
// height is the style's.
int TagBrowser::style_height(unsigned char style) const {
  int& height = style_heights_[style];
  if (height == 0) {
    Tag sample;
    sample.style = style;
    std::string line;
    format_(line, sample);
    height = line_height(line);
  }
  return height;
}

int TagBrowser::item_height(void* item) const {
  const int line = line_of(item);
  if (!tags_) return heights_[static_cast<size_t>(line - 1)];
  const TagNode* node = node_at(line);
  return node ? style_height(node->tag->style) : 0;
}

int TagBrowser::item_width(void* item) const {
  load_line(line_of(item));
  return painter_->width();
}

void TagBrowser::item_draw(void* item, int x, int y, int w, int h) const {
  load_line(line_of(item));
  painter_->take_looks(*this);
  painter_->paint(item_selected(item) != 0, x, y, w, h);
}

void TagBrowser::item_select(void* item, int val) {
  if (val)
    selected_ = line_of(item);
  else if (selected_ == line_of(item))
    selected_ = 0;
}

int TagBrowser::item_selected(void* item) const { return line_of(item) == selected_ ? 1 : 0; }

int TagBrowser::full_height() const {
  if (!tags_) return added_height_;
  int64_t sum = 0;
  for (int style = 0; style < 256; ++style) {
    const size_t count = tags_->style_count(static_cast<unsigned char>(style));
    if (count > 0)
      sum += static_cast<int64_t>(count) * style_height(static_cast<unsigned char>(style));
  }
  return static_cast<int>(std::min<int64_t>(sum, INT32_MAX));
}

int TagBrowser::incr_height() const {
  painter_->take_looks(*this);
  return painter_->increment();
}

}  // namespace gm
