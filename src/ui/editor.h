// The read-only view of the document: the text with the tag colours, mouse selection, and
// the tag popup menu button laid over it as its child.
//
// The toolkit walks (and copies) a whole line each time it draws it, measures it or finds a
// position on it: a view of a 20 MB line took seconds per repaint. Lines of at least
// long_line_bytes() are therefore drawn and mapped here, from an index of x positions every
// kilobyte, built as far as it is needed; only the bytes in view are walked, through the
// toolkit's own measuring and drawing of each run, so the pixels are those it would draw.
// Shorter lines keep the toolkit's route.
#pragma once

#include <FL/Fl_Text_Display.H>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

class Fl_Scrollbar;

namespace gm {

class Editor : public Fl_Text_Display {
 public:
  static constexpr int kLongLine = 64 * 1024;

  Editor(int x, int y, int w, int h);
  ~Editor() override;

  int handle(int event) override;
  void draw() override;

  // Text position of the character cell under window point (x, y).
  int position_at(int x, int y) const;
  // Line (from 1) and column of the text under (x, y); 0 when the toolkit cannot tell.
  int line_column_at(int x, int y, int* line, int* column) const;

  // The styles from `start` on changed: widths there may have changed with the fonts.
  void styles_changed(int start);
  // The text was replaced.
  void text_changed();

  // Lines at least this long take the Editor's route (tests lower it to compare both).
  int long_line_bytes() const { return long_line_bytes_; }
  void long_line_bytes(int bytes);
  // The index of the long line in view at `visible_line`, built anew to its end by the quick
  // route or by the plain walk (tests compare both): (offset, x) of each checkpoint; empty
  // when there is no such line or the quick route cannot measure.
  std::vector<std::pair<int, int64_t>> long_line_index(int visible_line, bool plain);

 private:
  // The x positions of one long line, from its start: at offsets[i] (a character start),
  // xs[i]; built up to where it was needed.
  struct LongLine {
    int start = 0;
    int end = 0;  // the newline or the end of the text
    std::vector<int> offsets{0};
    std::vector<int64_t> xs{0};
  };
  // One stretch of a line as the toolkit measures and draws it: a run of one style, or a tab.
  struct Segment {
    int pos;
    int length;
    int style;
    bool tab;
    int64_t x;  // from the line's start
    int width;
    const char* text;  // its bytes, while the walk is at it
    bool piece_end;    // the last stretch of a piece read: a checkpoint may follow
  };

  LongLine* long_line(int visible_line) const;
  // Builds the index of `line` until a checkpoint lies at or past x or offset.
  void extend(LongLine& line, int64_t x, int offset) const;
  void extend_by_walk(LongLine& line, int64_t x, int offset) const;
  // The same in one tight pass over the bytes where the buffers hold them, summing the
  // advances the text driver sums; false when the driver is not the one measuring.
  bool extend_quickly(LongLine& line, int64_t x, int offset) const;
  // The checkpoint at or before x (from the line's start), the index built that far.
  size_t checkpoint_before(LongLine& line, int64_t x) const;
  // Walks the segments from checkpoint `from` on, until `step` answers false or the line ends.
  template <typename Step>
  void walk(const LongLine& line, size_t from, bool shown_styles, Step step) const;
  int tab_width(int64_t x) const;
  int character_at(const Segment& s, int64_t x) const;

  bool long_line_in_view() const;
  void draw_long_line(int visible_line, LongLine& line, int left, int right);
  static void horizontal_scrolled(Fl_Widget* bar, void* editor);

  int long_line_bytes_ = kLongLine;
  // The index of a long line once shown is finished in idle time, a slice at a time, so that
  // the first drag to its far end finds it built.
  void finish_index_when_idle();
  static void finish_index_slice(void* editor);
  bool finishing_ = false;

  mutable std::map<int, LongLine> long_lines_;  // by line start
};

}  // namespace gm
