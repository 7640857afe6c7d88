// Looking around the big document on screen: one hover tick with the pointer resting on a
// note near the end of the text, scrolling from the top to the end and back, and the jump to
// a text search hit near the end. Floors: the toolkit's own share of each, on the Editor
// itself (the position under the pointer) or on a plain text display holding the same text.
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Text_Buffer.H>
#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>
#include <utility>

#include "bench_window.h"
#include "ui/editor.h"
#include "tags/tag.h"
#include "ui/hover.h"

namespace {

using bench::draw_now;

// Somewhere the pointer can rest: a window point of the Editor over a Tag with a note.
std::optional<std::pair<int, int>> point_over_note(gm::App& a, const gm::TagNode* avoid) {
  const gm::Editor& e = *a.editor;
  for (int y = e.y() + 8; y < e.y() + e.h() - 20; y += 4) {
    for (int x = e.x() + 8; x < e.x() + e.w() - 20; x += 4) {
      const gm::TagNode* node = a.tags.find_tag_at(e.position_at(x, y));
      if (node && node != avoid && node->tag->has_note()) return std::make_pair(x, y);
    }
  }
  return std::nullopt;
}

gm::PointerState pointer_at(std::pair<int, int> point) {
  gm::PointerState s;
  s.window_x = 100;  // where the main window is taken to lie on the screen
  s.window_y = 50;
  s.root_x = s.window_x + point.first;
  s.root_y = s.window_y + point.second;
  s.event_x = point.first;
  s.event_y = point.second;
  s.program_window_first = true;
  return s;
}

int line_count(gm::App& a) { return a.text_buffer->count_lines(0, a.text_buffer->length()) + 1; }

// The Editor showing the end of the text.
void scroll_to_end(gm::App& a) {
  a.editor->scroll(line_count(a), 0);
  draw_now();
}

// Kind 0: the pointer rests on one note (the tip stays). Kind 1: the TagList changed and was
// repainted since the last tick (the lookup table is made anew). Kind 2: the pointer goes
// from one note to another (the tip window is replaced).
void BM_HoverTick(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::App& a = *app;
  // A second note on the last screen: the document has one every 2,000 bytes.
  auto extra = gm::make_tag(a.text_buffer->length() - 900, a.text_buffer->length() - 700, 'C',
                            gm::unique_time(), "another note");
  a.tags.insert_tag(extra);
  scroll_to_end(a);
  const auto first = point_over_note(a, nullptr);
  const gm::TagNode* first_tag =
      first ? a.tags.find_tag_at(a.editor->position_at(first->first, first->second)) : nullptr;
  const auto second = point_over_note(a, first_tag);
  if (!first || !second) {
    state.SkipWithError("no note near the end of the text");
    return;
  }
  const int kind = static_cast<int>(state.range(0));
  const int32_t length = a.text_buffer->length();
  gm::update_hover(a, pointer_at(*first));
  bool at_first = true;
  for (auto _ : state) {
    if (kind == 1) {
      state.PauseTiming();
      a.tags.clamp_tags(0, length);  // changes nothing but the list's generation
      a.tags.in_order();             // as the repaint after every change has asked it
      state.ResumeTiming();
    }
    if (kind == 2) at_first = !at_first;
    benchmark::DoNotOptimize(gm::update_hover(a, pointer_at(at_first ? *first : *second)));
  }
  gm::show_tip(a, 0, 0, nullptr);
  state.counters["tags"] = static_cast<double>(a.tags.size());
}
BENCHMARK(BM_HoverTick)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_HoverTickFloor(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::App& a = *app;
  scroll_to_end(a);
  const auto point = point_over_note(a, nullptr);
  if (!point) {
    state.SkipWithError("no note near the end of the text");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(a.editor->position_at(point->first, point->second));
}
BENCHMARK(BM_HoverTickFloor)->Unit(benchmark::kMicrosecond);

// Scrolling to the last line and back to the first, each drawn.
void scroll_end_and_back(Fl_Text_Display& display, int lines) {
  display.scroll(lines, 0);
  display.redraw();
  draw_now();
  display.scroll(1, 0);
  display.redraw();
  draw_now();
}

void BM_ScrollToEndAndBack(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::App& a = *app;
  const int lines = line_count(a);
  for (auto _ : state) scroll_end_and_back(*a.editor, lines);
  state.counters["lines"] = lines;
}
BENCHMARK(BM_ScrollToEndAndBack)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScrollToEndAndBackFloor(benchmark::State& state) {
  if (!bench::have_display(state)) return;
  const bench::BigDocument& document = bench::BigDocument::get();
  auto floor = bench::open_in_plain_display(document.path(), document.size());
  const int lines = floor->buffer->count_lines(0, floor->buffer->length()) + 1;
  for (auto _ : state) scroll_end_and_back(*floor->display, lines);
  state.counters["lines"] = lines;
}
BENCHMARK(BM_ScrollToEndAndBackFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

// A text hit near the end listed in the browser and clicked, with the Editor at the top.
void BM_JumpToHitNearEnd(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::App& a = *app;
  const size_t hit = a.doc.data->rfind("café");
  a.search_input->value("café");
  a.browser_mode = 0;
  a.tag_browser->clear();
  a.tag_browser->add("@C100@.café", reinterpret_cast<void*>(hit));
  a.tag_browser->value(1);
  for (auto _ : state) {
    gm::show_selected_line(a);
    draw_now();
    state.PauseTiming();
    a.editor->scroll(1, 0);
    a.text_buffer->unhighlight();
    draw_now();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_JumpToHitNearEnd)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JumpToHitNearEndFloor(benchmark::State& state) {
  if (!bench::have_display(state)) return;
  const bench::BigDocument& document = bench::BigDocument::get();
  auto floor = bench::open_in_plain_display(document.path(), document.size());
  Fl_Text_Buffer& text = *floor->buffer;
  const int hit = text.length() - 100;
  for (auto _ : state) {
    floor->display->insert_position(text.line_start(hit));
    floor->display->show_insert_position();
    text.highlight(hit, hit + 5);
    draw_now();
    state.PauseTiming();
    floor->display->scroll(1, 0);
    text.unhighlight();
    draw_now();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_JumpToHitNearEndFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
