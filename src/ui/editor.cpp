#include "ui/editor.h"

#include <FL/Enumerations.H>
#include <FL/Fl_Scrollbar.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/fl_draw.H>
#include <FL/fl_utf8.h>

#include <algorithm>
#include <climits>

#include "ui/fl_memory.h"

namespace gm {

namespace {

// Checkpoints of a long line lie about this many bytes apart; a lookup walks at most that far.
constexpr int kStep = 1024;
// Glyphs may reach a little beyond their cell (italics): runs that close to the visible area
// are drawn too, as the toolkit draws the whole line.
constexpr int kOverhang = 64;

// The length of the character whose first byte is c, as the toolkit steps through a line.
int char_length(char c) { return std::max(1, fl_utf8len1(c)); }

}  // namespace

Editor::Editor(int x, int y, int w, int h) : Fl_Text_Display(x, y, w, h) {
  mHScrollBar->callback(horizontal_scrolled, this);
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
  const auto tab = static_cast<int64_t>(col_to_x(mBuffer->tab_distance()));
  if (tab <= 0) return 0;
  return static_cast<int>((x / tab + 1) * tab - x);
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
  walk(line, line.offsets.size() - 1, false, [&](const Segment& s) {
    if (!s.piece_end) return true;
    const int end = s.pos + s.length - line.start;
    line.offsets.push_back(end);
    line.xs.push_back(s.x + s.width);
    return end < std::min(length, offset) && s.x + s.width <= x;
  });
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
