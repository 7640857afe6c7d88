#include "ui/view.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Button.H>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "tags/styles.h"
#include "ui/editor.h"

namespace gm {

using ToolkitEntry = Fl_Text_Display::Style_Table_Entry;
static_assert(sizeof(StyleEntry) == sizeof(ToolkitEntry), "style entries differ in size");
static_assert(offsetof(StyleEntry, color) == offsetof(ToolkitEntry, color) &&
                  offsetof(StyleEntry, font) == offsetof(ToolkitEntry, font) &&
                  offsetof(StyleEntry, size) == offsetof(ToolkitEntry, size) &&
                  offsetof(StyleEntry, attr) == offsetof(ToolkitEntry, attr),
              "style entries differ in layout");

const ToolkitEntry* editor_style_table() {
  // The Editor keeps the pointer, so the table must outlive every display.
  static const std::array<ToolkitEntry, kStyleCount> table = [] {
    std::array<ToolkitEntry, kStyleCount> t{};
    for (int i = 0; i < kStyleCount; ++i) {
      const StyleEntry& e = kStyleTable[i];
      t[i] = ToolkitEntry{e.color, e.font, e.size, e.attr};
    }
    return t;
  }();
  return table.data();
}

namespace {

std::optional<WholeBuffer::Block> try_make_block(int length) {
  try {
    return WholeBuffer::make_block(length);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace

DocumentPaint::DocumentPaint(const TagList& tags, WholeBuffer::Block block)
    : block_(std::move(block)) {
  tags.in_order();  // the list keeps the answer: the painter then only reads the list
  // Only the block and the Tags are touched there: no widget, no buffer.
  const auto paint = [&tags, bytes = block_.bytes.get(), length = block_.length] {
    paint_styles(tags, 0, length, bytes);
  };
  try {
    painted_ = std::async(std::launch::async, paint);
  } catch (const std::system_error&) {
    painted_ = std::async(std::launch::deferred, paint);  // no thread to be had
  }
}

WholeBuffer::Block DocumentPaint::take() {
  painted_.get();
  return std::move(block_);
}

namespace {

// The changed stretch [first, last) of a repaint: where the runs and the buffer differ.
struct Difference {
  int32_t first;
  int32_t last;
};

// Runs in order, from one that reaches into [from, to); only their parts within it count.
struct RunSpan {
  const StyleRun* begin;
  const StyleRun* end;
  int32_t from;
  int32_t to;
};

Difference compare_runs(const WholeBuffer& styles, RunSpan span) {
  Difference d{span.from, span.from};
  for (const StyleRun* run = span.begin; run != span.end && run->start < span.to; ++run) {
    const int32_t start = std::max(run->start, span.from);
    const int32_t end = std::min(run->end, span.to);
    if (start >= end) continue;
    const int32_t other = styles.find_other(start, end, run->style);
    if (other == end) continue;
    if (d.first == d.last) d.first = other;
    d.last = styles.rfind_other(other, end, run->style) + 1;
  }
  return d;
}

// The new bytes of [first, last) from the runs that cover it.
std::string run_bytes(RunSpan span, Difference d) {
  std::string bytes;
  bytes.reserve(static_cast<size_t>(d.last - d.first));
  for (const StyleRun* run = span.begin; run != span.end && run->start < d.last; ++run) {
    const int32_t from = std::max(run->start, d.first);
    const int32_t to = std::min(run->end, d.last);
    if (from < to) bytes.append(static_cast<size_t>(to - from), run->style);
  }
  return bytes;
}

// Rewrites the bytes of the span that differ from its runs, in one piece.
void write_differences(WholeBuffer& styles, RunSpan span) {
  const Difference d = compare_runs(styles, span);
  if (d.first == d.last) return;
  const std::string bytes = run_bytes(span, d);
  styles.overwrite(d.first, bytes.data(), static_cast<int>(bytes.size()));
}

RunSpan span_of(const std::vector<StyleRun>& runs, int32_t from, int32_t to) {
  return {runs.data(), runs.data() + runs.size(), from, to};
}

// Sorted, with ranges that overlap or touch made one.
void merge_sorted(std::vector<TextRange>& ranges) {
  std::sort(ranges.begin(), ranges.end(),
            [](const TextRange& a, const TextRange& b) { return a.start < b.start; });
  size_t kept = 0;
  for (const TextRange& r : ranges) {
    if (kept > 0 && r.start <= ranges[kept - 1].end) {
      ranges[kept - 1].end = std::max(ranges[kept - 1].end, r.end);
    } else {
      ranges[kept++] = r;
    }
  }
  ranges.resize(kept);
}

// Moves the parts of `from` (sorted, apart) that lie within [start, end) into `to`.
void take_within(std::vector<TextRange>& from, int32_t start, int32_t end,
                 std::vector<TextRange>& to) {
  auto first = std::lower_bound(from.begin(), from.end(), start,
                                [](const TextRange& r, int32_t at) { return r.end <= at; });
  auto last = first;
  std::vector<TextRange> kept;  // the ends that stick out
  for (; last != from.end() && last->start < end; ++last) {
    to.push_back({std::max(last->start, start), std::min(last->end, end)});
    if (last->start < start) kept.push_back({last->start, start});
    if (last->end > end) kept.push_back({end, last->end});
  }
  from.insert(from.erase(first, last), kept.begin(), kept.end());
}

}  // namespace

void restyle_range(WholeBuffer& styles, const TagList& tags, int32_t start, int32_t end) {
  if (start >= end) return;
  if (start < 0 || end > styles.length()) {
    // Out of the buffer's bounds: the toolkit's replace decides what that means.
    std::string painted(static_cast<size_t>(end - start), '\0');
    paint_styles(tags, start, end, &painted[0]);
    styles.replace(start, end, painted.c_str());
    return;
  }
  const std::vector<StyleRun> runs = style_runs(tags, start, end);
  write_differences(styles, span_of(runs, start, end));
}

void restyle_tag_area(WholeBuffer& styles, const TagList& tags, int32_t start, int32_t end) {
  restyle_range(styles, tags, start, tagged_stretch_end(tags, end, styles.length()));
}

void swap_style(WholeBuffer& styles, int32_t length, char from, char to) {
  std::string bytes = take_text(styles.text_range(0, length), static_cast<size_t>(length));
  std::replace(bytes.begin(), bytes.end(), from, to);
  styles.overwrite(0, bytes.data(), length);
}

// ---------------------------------------------------------------------------------------
// View

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

// The shown styles again, after discard_quietly; left empty (drawn in the first style) when
// not even that fits.
void View::paint_shown_styles_again() {
  const int32_t n = text_->length();
  if (std::optional<WholeBuffer::Block> block = try_make_block(n)) {
    paint_styles(tags_, 0, n, block->bytes.get());
    styles_->restore_quietly(std::move(*block));
    painted_whole();
  } else {
    styles_follow_tags_ = false;
  }
  if (editor_) editor_->styles_changed(0);
}

void View::painted_whole() {
  styles_follow_tags_ = tags_.in_order();
  stale_.clear();
}

bool View::prepare_document(std::shared_ptr<const TextBlock> text) {
  pending_.reset();
  const int length = static_cast<int>(text->size());
  styles_->discard_quietly();
  if (std::optional<WholeBuffer::Block> styles = try_make_block(length)) {
    pending_ = DocumentBlocks{std::move(text), std::move(*styles)};
    return true;
  }
  paint_shown_styles_again();
  std::fputs("Not enough memory to show the document; the open failed.\n", stderr);
  return false;
}

void View::forget_prepared_document() { pending_.reset(); }

bool View::show_document(std::shared_ptr<const TextBlock> text) {
  if (!pending_ && !prepare_document(std::move(text)))
    return false;  // shown already: show it again
  DocumentBlocks blocks = std::move(*pending_);
  pending_.reset();
  // The styles are painted on a second thread while the text goes into its buffer, which
  // takes as long again for the Editor to count its lines.
  DocumentPaint paint(tags_, std::move(blocks.styles));
  // One change instead of emptying and refilling: the title follows it all the same. The
  // text buffer shows the document's own bytes, no copy.
  text_->replace_all(std::move(blocks.text));
  styles_->replace_all(paint.take());
  painted_whole();
  if (editor_) editor_->text_changed();
  return true;
}

void View::repaint(const TagChange& change) {
  if (!change.repaint.empty()) {
    const bool in_buffer =
        change.repaint.front().start >= 0 && change.repaint.back().end <= styles_->length();
    if (styles_follow_tags_ && tags_.in_order() && in_buffer) {
      restyle_changed(change.repaint);
    } else {
      styles_follow_tags_ = false;
      stale_.clear();
      // Each range to the end of its tagged stretch; past a few dozen (Tags following their
      // text move them all) one sweep over their whole span is cheaper.
      constexpr size_t kRangesForOneSweep = 32;
      if (change.repaint.size() > kRangesForOneSweep) {
        restyle_tag_area(*styles_, tags_, change.repaint.front().start, change.repaint.back().end);
      } else {
        for (const TextRange& range : change.repaint)
          restyle_tag_area(*styles_, tags_, range.start, range.end);
      }
    }
    if (editor_) {
      int32_t first = change.repaint.front().start;
      for (const TextRange& range : change.repaint) first = std::min(first, range.start);
      editor_->styles_changed(first);
      editor_->redraw();
    }
  }
  if (change.style_swap) {
    // Byte by byte: Tags drawn in the old default style change with it until they are
    // repainted, exactly as the untagged text does.
    const int length = std::min(text_->length(), styles_->length());
    swap_style(*styles_, length, static_cast<char>(buffer_style(change.style_swap->from)),
               static_cast<char>(change.style_swap->to));
    note_style_swap(change.style_swap->from, change.style_swap->to);
    if (editor_) {
      editor_->styles_changed(0);
      editor_->redisplay_range(0, length);
    }
  }
}

// The change's ranges (sorted, apart), and the stale bytes that painting to the end of
// their tagged stretches would put right.
void View::restyle_changed(const std::vector<TextRange>& ranges) {
  std::vector<TextRange> pieces = ranges;
  if (!stale_.empty()) {
    for (const TextRange& range : ranges)
      take_within(stale_, range.start, tagged_stretch_end(tags_, range.end, styles_->length()),
                  pieces);
    merge_sorted(pieces);
  }
  // Past a few dozen pieces (Tags following their text move them all) one sweep over their
  // whole span is cheaper than one for each.
  constexpr size_t kPiecesForOneSweep = 32;
  if (pieces.size() <= kPiecesForOneSweep) {
    for (const TextRange& piece : pieces) restyle_range(*styles_, tags_, piece.start, piece.end);
    return;
  }
  const std::vector<StyleRun> runs = style_runs(tags_, pieces.front().start, pieces.back().end);
  const StyleRun* run = runs.data();
  for (const TextRange& piece : pieces) {
    while (run->end <= piece.start) ++run;
    write_differences(*styles_, {run, runs.data() + runs.size(), piece.start, piece.end});
  }
}

void View::note_style_swap(unsigned char from, unsigned char to) {
  if (!styles_follow_tags_) return;
  if (buffer_style(to) != to) {
    // The untagged bytes now differ from the painting too.
    styles_follow_tags_ = false;
    stale_.clear();
    return;
  }
  const unsigned char swapped = buffer_style(from);
  if (swapped == to) return;
  bool drawn_so = false;
  for (int style = 0; style < 256 && !drawn_so; ++style)
    drawn_so = buffer_style(static_cast<unsigned char>(style)) == swapped &&
               tags_.style_count(static_cast<unsigned char>(style)) > 0;
  if (!drawn_so) return;
  for (const TagNode* n = tags_.head(); n; n = n->next.get())
    if (buffer_style(n->tag->style) == swapped) stale_.push_back({n->tag->start, n->tag->end});
  merge_sorted(stale_);
}

std::optional<ViewTop> View::top() const {
  int line = 0;
  int column = 0;
  if (!editor_ || !editor_->line_column_at(0, 0, &line, &column)) return std::nullopt;
  return ViewTop{line, column};
}

}  // namespace gm
