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

#include "../tests/unit/tags_test_support.h"
#include "bench_window.h"
#include "ui/editor.h"
#include "tags/tag.h"
#include "ui/hover.h"
#include "ui/sidebar.h"

namespace {

using bench::draw_now;

// Somewhere the pointer can rest: a window point of the Editor over a Tag with a note.
std::optional<std::pair<int, int>> point_over_note(gm::Program& a, const gm::TagNode* avoid) {
  const gm::Editor& e = a.view.editor();
  for (int y = e.y() + 8; y < e.y() + e.h() - 20; y += 4) {
    for (int x = e.x() + 8; x < e.x() + e.w() - 20; x += 4) {
      const gm::TagNode* node = a.document.tags.tags().find_tag_at(e.position_at(x, y));
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

int line_count(gm::Program& a) { return a.view.text().count_lines(0, a.view.text().length()) + 1; }

// The Editor showing the end of the text.
void scroll_to_end(gm::Program& a) {
  a.view.editor().scroll(line_count(a), 0);
  draw_now();
}

// Kind 0: the pointer rests on one note (the tip stays). Kind 1: the TagList changed since
// the last tick. Kind 2: the pointer goes
// from one note to another (the tip window is replaced).
void BM_HoverTick(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  // A second note on the last screen: the document has one every 2,000 bytes.
  const int32_t length = a.view.text().length();
  a.document.tags.add(gm::make_tag(length - 900, length - 700, 'C', gm::unique_time(), "another note"));
  gm::TagList& list = gm::TagDocumentTestAccess::list(a.document.tags);
  gm::Hover& hover = a.view.hover();
  scroll_to_end(a);
  const auto first = point_over_note(a, nullptr);
  const gm::TagNode* first_tag =
      first ? list.find_tag_at(a.view.editor().position_at(first->first, first->second)) : nullptr;
  const auto second = point_over_note(a, first_tag);
  if (!first || !second) {
    state.SkipWithError("no note near the end of the text");
    return;
  }
  const int kind = static_cast<int>(state.range(0));
  hover.update(pointer_at(*first));
  bool at_first = true;
  for (auto _ : state) {
    if (kind == 1) {
      // A Tag made and taken away again in the middle of the list.
      state.PauseTiming();
      auto tag = gm::make_tag(length / 2, length / 2 + 10, 'B', 5, "");
      const gm::TagIdentity made = gm::identity_of(*tag);
      list.insert_tag(tag);
      list.remove_tag(made);
      state.ResumeTiming();
    }
    if (kind == 2) at_first = !at_first;
    benchmark::DoNotOptimize(hover.update(pointer_at(at_first ? *first : *second)));
  }
  hover.show_tip(0, 0, nullptr);
  state.counters["tags"] = static_cast<double>(list.size());
}
BENCHMARK(BM_HoverTick)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_HoverTickFloor(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  scroll_to_end(a);
  const auto point = point_over_note(a, nullptr);
  if (!point) {
    state.SkipWithError("no note near the end of the text");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(a.view.editor().position_at(point->first, point->second));
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
  gm::Program& a = *app;
  const int lines = line_count(a);
  for (auto _ : state) scroll_end_and_back(a.view.editor(), lines);
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
  gm::Program& a = *app;
  const size_t hit = a.document.file.data->view().rfind("café");
  a.sidebar.search_input().value("café");
  a.sidebar.search().mode = gm::BrowserMode::kTextHits;
  a.sidebar.browser().clear();
  a.sidebar.browser().add("@C100@.café", reinterpret_cast<void*>(hit));
  a.sidebar.browser().value(1);
  for (auto _ : state) {
    a.sidebar.show_selected_line();
    draw_now();
    state.PauseTiming();
    a.view.editor().scroll(1, 0);
    a.view.text().unhighlight();
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
