#include "ui/editor.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/Fl_Scrollbar.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/fl_draw.H>
#include <FL/fl_utf8.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "ui/fl_memory.h"
#include "ui/text_driver.h"

namespace gm {

namespace {

// Checkpoints of a long line lie about this many bytes apart; a lookup walks at most that far.
constexpr int kStep = 1024;
// Glyphs may reach a little beyond their cell (italics): runs that close to the visible area
// are drawn too, as the toolkit draws the whole line.
constexpr int kOverhang = 64;

// The length of the character whose first byte is c, as the toolkit steps through a line.
int char_length(char c) { return std::max(1, fl_utf8len1(c)); }

// The toolkit's tab: to the next stop, `stop` pixels apart from the line's start.
int tab_width(int64_t x, int64_t stop) {
  if (stop <= 0) return 0;
  return static_cast<int>((x / stop + 1) * stop - x);
}

// The bytes [from, to) of a buffer where they lie, or a copy in `spare` when the buffer's gap
// falls among them.
const char* bytes_in_place(const Fl_Text_Buffer& buffer, int from, int to, std::string& spare) {
  if (to <= from) return "";
  const char* first = buffer.address(from);
  if (buffer.address(to - 1) == first + (to - 1 - from)) return first;
  spare = take_text(buffer.text_range(from, to), static_cast<size_t>(to - from));
  return spare.data();
}

// The advances of one style's font in whole pixels, as the index sums them: the 7-bit
// characters from the driver's table, the others as met (a small cache in front of the
// driver's, whose lookup per character would cost more than the rest of the pass). A
// character whose advance is not whole, or not valid UTF-8, answers -1: its run is then
// measured by the toolkit, since a sum in another order might round otherwise.
class FontAdvances {
 public:
  explicit FontAdvances(LongTextDriver& driver) : driver_(driver) {
    const LongTextDriver::Advances& table = driver.ascii_advances();
    for (size_t c = 0; c < ascii_.size(); ++c) {
      ascii_[c] = whole(table[c]);
      ascii_whole_ = ascii_whole_ && ascii_[c] >= 0;
    }
  }
  int ascii(unsigned char c) const { return ascii_[c]; }
  bool ascii_whole() const { return ascii_whole_; }
  // The font must be the current one; `length` bytes of `character` are readable.
  int other(const char* character, int length) {
    uint32_t key = 0;                 // never zero for such a character: an empty slot
    for (int k = 0; k < length; ++k)  // not memcpy: a call per character costs more
      key |= uint32_t{static_cast<unsigned char>(character[k])} << (8 * k);
    const size_t slot = (key * 2654435761u) >> (32 - kBits);
    if (keys_[slot] != key) {
      int decoded = 0;
      fl_utf8decode(character, character + length, &decoded);
      keys_[slot] = key;
      others_[slot] = decoded == length ? whole(driver_.other_advance(character, length)) : -1;
    }
    return others_[slot];
  }

 private:
  static int whole(double advance) {
    return advance >= 0 && advance == static_cast<int>(advance) ? static_cast<int>(advance) : -1;
  }
  static constexpr int kBits = 6;
  LongTextDriver& driver_;
  std::array<int, 0x80> ascii_{};
  bool ascii_whole_ = true;
  std::array<uint32_t, 1 << kBits> keys_{};
  std::array<int, 1 << kBits> others_{};
};

// Eight bytes at a time: whether all are 7-bit characters other than a tab, and whether all
// are one byte.
constexpr uint64_t kEveryByte = 0x0101010101010101u;
bool plain_ascii(uint64_t bytes) {
  const uint64_t tabs = bytes ^ (kEveryByte * '\t');  // a zero byte where a tab was
  const bool has_tab = ((tabs - kEveryByte) & ~tabs & (kEveryByte * 0x80)) != 0;
  return (bytes & (kEveryByte * 0x80)) == 0 && !has_tab;
}
uint64_t load8(const char* p) {
  uint64_t bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  return bytes;
}

}  // namespace

Editor::Editor(int x, int y, int w, int h) : Fl_Text_Display(x, y, w, h) {
  mHScrollBar->callback(horizontal_scrolled, this);
}

Editor::~Editor() {
  if (finishing_) Fl::remove_idle(finish_index_slice, this);
}

int Editor::handle(int event) {
  switch (event) {
    // The document is never changed from here: pasted or dropped text goes nowhere.
    case FL_PASTE:
      return 1;
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_RELEASE:
      return 0;
    default:
      return Fl_Text_Display::handle(event);
  }
}

void Editor::long_line_bytes(int bytes) { long_line_bytes_ = std::max(1, bytes); }

void Editor::text_changed() { long_lines_.clear(); }

void Editor::styles_changed(int start) {
  for (auto& [line_start, line] : long_lines_) {
    if (line.end <= start) continue;
    // A checkpoint measures the bytes before it, so those up to `start` stay true.
    const auto kept =
        std::upper_bound(line.offsets.begin(), line.offsets.end(), std::max(0, start - line_start));
    const auto count = std::max<std::ptrdiff_t>(1, kept - line.offsets.begin());
    line.offsets.resize(static_cast<size_t>(count));
    line.xs.resize(static_cast<size_t>(count));
  }
}

Editor::LongLine* Editor::long_line(int visible_line) const {
  if (!mBuffer || !mStyleBuffer || mContinuousWrap || visible_line < 0 ||
      visible_line >= mNVisibleLines)
    return nullptr;
  const int start = mLineStarts[visible_line];
  if (start < 0) return nullptr;
  const bool next_shown = visible_line + 1 < mNVisibleLines && mLineStarts[visible_line + 1] >= 0;
  const int end = next_shown ? mLineStarts[visible_line + 1] - 1 : mLastChar;
  if (end - start < long_line_bytes_) return nullptr;
  LongLine& line = long_lines_[start];
  if (line.end != end) {
    line = LongLine{};
    line.start = start;
    line.end = end;
  }
  return &line;
}

bool Editor::long_line_in_view() const {
  for (int i = 0; i < mNVisibleLines; ++i)
    if (long_line(i)) return true;
  return false;
}

int Editor::tab_width(int64_t x) const {
  return gm::tab_width(x, static_cast<int64_t>(col_to_x(mBuffer->tab_distance())));
}

// The toolkit's own cut of a line: a new stretch where the style changes and around each tab;
// here also at the end of every piece read (widths add up, so the sum is the same).
template <typename Step>
void Editor::walk(const LongLine& line, size_t from, bool shown_styles, Step step) const {
  const int length = line.end - line.start;
  int offset = line.offsets[from];
  int64_t x = line.xs[from];
  const int styled = std::min(line.end, mStyleBuffer->length());
  while (offset < length) {
    // A character that starts before `limit` may reach three bytes past it.
    const int limit = std::min(length, offset + kStep);
    const int read_end = std::min(length, limit + 3);
    const ToolkitText text(mBuffer->text_range(line.start + offset, line.start + read_end));
    const ToolkitText styles(
        shown_styles ? nullptr
                     : mStyleBuffer->text_range(std::min(line.start + offset, styled),
                                                std::min(line.start + read_end, styled)));
    const int styles_read = std::max(0, std::min(read_end, styled - line.start) - offset);
    const auto style_at = [&](int i) -> int {
      if (shown_styles) return position_style(line.start, length, i);
      return i - offset < styles_read ? static_cast<unsigned char>(styles.get()[i - offset]) : 'A';
    };
    int i = offset;
    while (i < limit) {
      const char* bytes = text.get() + (i - offset);
      Segment segment{line.start + i, 1, style_at(i), *bytes == '\t', x, 0, bytes, false};
      if (segment.tab) {
        segment.width = tab_width(x);
      } else {
        int j = i + char_length(*bytes);
        while (j < limit && text.get()[j - offset] != '\t' && style_at(j) == segment.style)
          j += char_length(text.get()[j - offset]);
        j = std::min(j, read_end);
        segment.length = j - i;
        segment.width = static_cast<int>(string_width(bytes, segment.length, segment.style));
      }
      i += segment.length;
      segment.piece_end = i >= limit;
      x += segment.width;
      if (!step(segment)) return;
    }
    offset = i;
  }
}

void Editor::extend(LongLine& line, int64_t x, int offset) const {
  const int length = line.end - line.start;
  if (line.offsets.back() >= std::min(length, offset) || line.xs.back() > x) return;
  if (!extend_quickly(line, x, offset)) extend_by_walk(line, x, offset);
}

void Editor::extend_by_walk(LongLine& line, int64_t x, int offset) const {
  const int length = line.end - line.start;
  walk(line, line.offsets.size() - 1, false, [&](const Segment& s) {
    if (!s.piece_end) return true;
    const int end = s.pos + s.length - line.start;
    line.offsets.push_back(end);
    line.xs.push_back(s.x + s.width);
    return end < std::min(length, offset) && s.x + s.width <= x;
  });
}

// walk()'s cut and widths, without its copies and calls per character: a run of one style is
// the sum of its characters' advances, as the driver sums them (a run it would decode
// otherwise, cut short or malformed, is measured by the toolkit as walk() does).
bool Editor::extend_quickly(LongLine& line, int64_t x, int offset) const {
  LongTextDriver* const driver = current_long_text_driver();
  if (!driver) return false;
  const int length = line.end - line.start;
  const int stop = std::min(length, offset);
  const int styled = std::min(line.end, mStyleBuffer->length());
  const auto tab_stop = static_cast<int64_t>(col_to_x(mBuffer->tab_distance()));
  std::string text_copy, styles_copy, styles_spare;
  std::array<std::unique_ptr<FontAdvances>, 256> fonts;  // by style, as met
  int font_style = -1;                                   // the style whose font is set
  FontAdvances* font = nullptr;
  int pos = line.offsets.back();
  int64_t line_x = line.xs.back();
  while (pos < stop && line_x <= x) {
    // As walk() reads a piece: a character that starts before `limit` may reach past it.
    const int limit = std::min(length, pos + kStep);
    const int read_end = std::min(length, limit + 3);
    const char* text = bytes_in_place(*mBuffer, line.start + pos, line.start + read_end, text_copy);
    const int styles_read = std::max(0, std::min(read_end, styled - line.start) - pos);
    const char* styles = bytes_in_place(*mStyleBuffer, line.start + pos,
                                        line.start + pos + styles_read, styles_spare);
    if (styles_read < read_end - pos) {  // unstyled bytes take the first style
      styles_copy.assign(styles, static_cast<size_t>(styles_read));
      styles_copy.resize(static_cast<size_t>(read_end - pos), 'A');
      styles = styles_copy.data();
    }
    const auto style_at = [&](int i) { return static_cast<unsigned char>(styles[i - pos]); };
    const auto byte_at = [&](int i) { return static_cast<unsigned char>(text[i - pos]); };
    int i = pos;
    while (i < limit) {
      if (byte_at(i) == '\t') {
        line_x += gm::tab_width(line_x, tab_stop);
        ++i;
        continue;
      }
      const int style = style_at(i);
      if (style != font_style) {
        string_width("", 0, style);  // sets the toolkit's font for the style
        auto& made = fonts[static_cast<size_t>(style)];
        if (!made) made = std::make_unique<FontAdvances>(*driver);
        font = made.get();
        font_style = style;
      }
      int64_t width = 0;
      bool summed = true;
      int j = i;
      const uint64_t style8 = kEveryByte * static_cast<unsigned>(style);
      do {
        // Most of a long line: eight 7-bit characters of the run's style at once.
        if (j + 8 <= limit && font->ascii_whole() && load8(styles + (j - pos)) == style8) {
          const char* eight = text + (j - pos);
          if (plain_ascii(load8(eight))) {
            for (int k = 0; k < 8; ++k) width += font->ascii(static_cast<unsigned char>(eight[k]));
            j += 8;
            continue;
          }
        }
        const unsigned char c = byte_at(j);
        int advance;
        if (c < 0x80) {
          advance = font->ascii(c);
          ++j;
        } else {
          const int n = char_length(static_cast<char>(c));
          advance = j + n <= read_end ? font->other(text + (j - pos), n) : -1;
          j += n;
        }
        summed = summed && advance >= 0;
        width += advance;
      } while (j < limit && byte_at(j) != '\t' && style_at(j) == style);
      j = std::min(j, read_end);
      line_x += summed ? width : static_cast<int>(string_width(text + (i - pos), j - i, style));
      i = j;
    }
    pos = i;
    line.offsets.push_back(pos);
    line.xs.push_back(line_x);
  }
  return true;
}

std::vector<std::pair<int, int64_t>> Editor::long_line_index(int visible_line, bool plain) {
  LongLine* line = long_line(visible_line);
  if (!line) return {};
  line->offsets.resize(1);
  line->xs.resize(1);
  if (plain) {
    extend_by_walk(*line, INT64_MAX, INT_MAX);
  } else if (!extend_quickly(*line, INT64_MAX, INT_MAX)) {
    return {};
  }
  std::vector<std::pair<int, int64_t>> index;
  for (size_t i = 0; i < line->offsets.size(); ++i)
    index.emplace_back(line->offsets[i], line->xs[i]);
  return index;
}

size_t Editor::checkpoint_before(LongLine& line, int64_t x) const {
  extend(line, x, INT_MAX);
  const auto after = std::upper_bound(line.xs.begin(), line.xs.end(), x);
  return after == line.xs.begin() ? 0 : static_cast<size_t>(after - line.xs.begin() - 1);
}

// The offset in the stretch of the first character whose cell ends right of x (from the
// stretch's start). The toolkit measures ever longer beginnings for this; widths add up, so
// parts of a few characters are measured instead, then the characters of the one that ends
// past x.
int Editor::character_at(const Segment& s, int64_t x) const {
  constexpr int kPart = 32;
  int from = 0;
  for (int64_t left = 0; from < s.length;) {
    int to = from;
    for (int n = 0; n < kPart && to < s.length; ++n) to += char_length(s.text[to]);
    to = std::min(to, s.length);
    const int width = static_cast<int>(string_width(s.text + from, to - from, s.style));
    if (left + width > x) {
      for (int i = from; i < to; i += char_length(s.text[i])) {
        const int n = std::min(char_length(s.text[i]), to - i);
        left += static_cast<int>(string_width(s.text + i, n, s.style));
        if (left > x) return i;
      }
      return to;
    }
    left += width;
    from = to;
  }
  return s.length;
}

int Editor::position_at(int x, int y) const {
  int visible_line = mMaxsize > 0 ? (y - text_area.y) / mMaxsize : 0;
  visible_line = std::max(0, std::min(visible_line, mNVisibleLines - 1));
  LongLine* line = long_line(visible_line);
  if (!line) return xy_to_position(x, y, CHARACTER_POS);
  // The first character whose cell ends right of x, as the toolkit finds it.
  const int64_t target = int64_t{x} - (text_area.x - mHorizOffset);
  int found = line->end;
  walk(*line, checkpoint_before(*line, target), false, [&](const Segment& s) {
    if (s.x + s.width <= target) return true;
    found = s.tab ? s.pos : s.pos + character_at(s, target - s.x);
    return false;
  });
  return found;
}

int Editor::line_column_at(int x, int y, int* line, int* column) const {
  return position_to_linecol(position_at(x, y), line, column);
}

void Editor::draw() {
  if (!long_line_in_view()) {
    Fl_Text_Display::draw();
    return;
  }
  // A partial redraw finds its lines by position: the whole text area is drawn instead (only
  // what is in view costs anything).
  if ((damage() & FL_DAMAGE_SCROLL) && !(damage() & (FL_DAMAGE_ALL | FL_DAMAGE_EXPOSE)))
    clear_damage(damage() | FL_DAMAGE_EXPOSE);
  const bool text_drawn = damage() & (FL_DAMAGE_ALL | FL_DAMAGE_EXPOSE);
  // The toolkit draws the frame, margins and scrollbars with no line in view; the lines are
  // drawn here, the ordinary ones by the toolkit's own line drawing.
  const int rows = mNVisibleLines;
  mNVisibleLines = 0;
  Fl_Text_Display::draw();
  mNVisibleLines = rows;
  damage_range1_start = damage_range1_end = damage_range2_start = damage_range2_end = -1;
  if (!text_drawn) return;
  int cx = 0, cy = 0, cw = 0, ch = 0;
  fl_clip_box(text_area.x, text_area.y, text_area.w, text_area.h, cx, cy, cw, ch);
  if (cw <= 0 || ch <= 0) return;
  fl_push_clip(cx, cy, cw, ch);
  for (int row = 0; row < rows; ++row) {
    if (LongLine* line = long_line(row)) {
      draw_long_line(row, *line, cx, cx + cw);
    } else {
      draw_vline(row, cx, cx + cw, 0, INT_MAX);
    }
  }
  fl_pop_clip();
  finish_index_when_idle();
}

void Editor::finish_index_when_idle() {
  if (finishing_) return;
  finishing_ = true;
  Fl::add_idle(finish_index_slice, this);
}

// About a millisecond of work per call, so that events wait no longer than that.
void Editor::finish_index_slice(void* editor) {
  constexpr int kSlice = 512 * 1024;
  auto& e = *static_cast<Editor*>(editor);
  for (auto& [line_start, line] : e.long_lines_) {
    const int length = line.end - line.start;
    if (line.offsets.back() >= length) continue;
    const int built = line.offsets.back();
    e.extend(line, INT64_MAX, std::min(length, built + kSlice));
    if (line.offsets.back() > built) return;
    break;  // no way further: never spin
  }
  Fl::remove_idle(finish_index_slice, editor);
  e.finishing_ = false;
}

void Editor::draw_long_line(int visible_line, LongLine& line, int left, int right) {
  const int y = text_area.y + visible_line * mMaxsize;
  const int64_t origin = int64_t{text_area.x} - mHorizOffset;  // where the line starts
  const int64_t from = std::max<int64_t>(0, left - kOverhang - origin);
  bool ended = true;
  int64_t end_x = 0;
  walk(line, checkpoint_before(line, from), true, [&](const Segment& s) {
    const int64_t sx = origin + s.x;
    if (sx > right) {
      ended = false;
      return false;
    }
    if (sx + s.width >= left - kOverhang) {
      const int x0 = static_cast<int>(sx);
      if (s.tab) {
        clear_rect(s.style, x0, y, s.width, mMaxsize);
      } else {
        draw_string(s.style, x0, y, x0 + s.width, s.text, s.length);
      }
    }
    end_x = s.x + s.width;
    return true;
  });
  if (!ended) return;
  const int64_t sx = std::max<int64_t>(origin + end_x, left);
  if (sx >= right) return;
  const int length = line.end - line.start;
  clear_rect(position_style(line.start, length, length), static_cast<int>(sx), y,
             right - static_cast<int>(sx), mMaxsize);
}

void Editor::horizontal_scrolled(Fl_Widget* bar, void* editor) {
  auto& e = *static_cast<Editor*>(editor);
  auto& scrollbar = *static_cast<Fl_Scrollbar*>(bar);
  if (!e.long_line_in_view()) {
    h_scrollbar_cb(&scrollbar, &e);
    return;
  }
  // The toolkit's own scroll measures every line in view, the long one too, whole.
  const int offset = std::max(0, static_cast<int>(scrollbar.value()));
  if (offset == e.mHorizOffset) return;
  e.mHorizOffset = offset;
  e.mHorizOffsetHint = offset;
  e.damage(FL_DAMAGE_EXPOSE);
}

}  // namespace gm
