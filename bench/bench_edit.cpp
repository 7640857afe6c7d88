// One tag change in the big document on screen, as the user waits for it: the Tag goes into
// the TagList, the history records it, its stretch is repainted, the list of all Tags
// follows, and the window is drawn. Edit tag, Remove tag, Undo and Redo likewise. The floor
// is the toolkit's share of that: the Editor and the tag browser drawn anew.
#include <FL/Fl_Text_Buffer.H>
#include <benchmark/benchmark.h>

#include "bench_window.h"
#include "ui/editor.h"
#include "ui/sidebar.h"

namespace {

using bench::draw_now;

// Near the end of the document, over tagged and untagged text.
constexpr int32_t kNewStart = 99'000'250;
constexpr int32_t kNewEnd = 99'000'750;
// A Tag starts here whatever the number of Tags (10,000, 100,000, 1,000,000).
constexpr int32_t kTagNearEnd = 99'000'000;

// What a double click in the New tag dialog does, without the dialog.
void new_tag(gm::Program& a, int32_t start, int32_t end) {
  a.document.tags.add(gm::make_tag(start, end, 'L', gm::unique_time(), "a new note"));
}

void undo(gm::Program& a) { a.document.tags.undo(); }
void redo(gm::Program& a) { a.document.tags.redo(); }

void count_document(benchmark::State& state, gm::Program& a) {
  state.counters["tags"] = static_cast<double>(a.document.tags.tags().size());
  state.counters["browser_lines"] = static_cast<double>(a.sidebar.browser().size());
}

void BM_NewTag(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  a.view.text().select(kNewStart, kNewEnd);
  for (auto _ : state) {
    new_tag(a, kNewStart, kNewEnd);
    draw_now();
    state.PauseTiming();
    undo(a);
    draw_now();
    state.ResumeTiming();
  }
  count_document(state, a);
}
BENCHMARK(BM_NewTag)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Undo(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  new_tag(a, kNewStart, kNewEnd);
  for (auto _ : state) {
    undo(a);
    draw_now();
    state.PauseTiming();
    redo(a);
    draw_now();
    state.ResumeTiming();
  }
  count_document(state, a);
}
BENCHMARK(BM_Undo)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Redo(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  new_tag(a, kNewStart, kNewEnd);
  undo(a);
  for (auto _ : state) {
    redo(a);
    draw_now();
    state.PauseTiming();
    undo(a);
    draw_now();
    state.ResumeTiming();
  }
  count_document(state, a);
}
BENCHMARK(BM_Redo)->Unit(benchmark::kMillisecond)->UseRealTime();

// Edit tag on the Tag that starts at 99,000,000: a new note.
void BM_EditTag(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  const gm::TagNode* node = a.document.tags.tags().find_tag_at(kTagNearEnd);
  if (!node) return state.SkipWithError("no Tag near the end");
  const int32_t start = node->tag->start;
  const int32_t end = node->tag->end;
  for (auto _ : state) {
    a.document.tags.edit(kTagNearEnd, gm::make_tag(start, end, 'L', gm::unique_time(), "edited"));
    draw_now();
    state.PauseTiming();
    undo(a);
    draw_now();
    state.ResumeTiming();
  }
  count_document(state, a);
}
BENCHMARK(BM_EditTag)->Unit(benchmark::kMillisecond)->UseRealTime();

// Remove tag on the Tag that starts at 99,000,000.
void BM_RemoveTag(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  for (auto _ : state) {
    a.document.tags.remove_at(kTagNearEnd);
    draw_now();
    state.PauseTiming();
    undo(a);
    draw_now();
    state.ResumeTiming();
  }
  count_document(state, a);
}
BENCHMARK(BM_RemoveTag)->Unit(benchmark::kMillisecond)->UseRealTime();

// A Tag over the whole document makes the tagged stretch of every change reach the end of
// the text: the repaint must still only cost what the change touches.
void BM_NewTagUnderDocumentWideTag(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  const int32_t length = a.view.text().length();
  new_tag(a, 0, length);
  draw_now();
  constexpr int32_t kStart = 1'000'250;
  constexpr int32_t kEnd = 1'000'750;
  a.view.text().select(kStart, kEnd);
  for (auto _ : state) {
    new_tag(a, kStart, kEnd);
    draw_now();
    state.PauseTiming();
    undo(a);
    draw_now();
    state.ResumeTiming();
  }
  count_document(state, a);
  state.counters["stretch_MB"] = (length - kStart) / 1e6;
}
BENCHMARK(BM_NewTagUnderDocumentWideTag)->Unit(benchmark::kMillisecond)->UseRealTime();

// The list of all Tags dragged from three quarters down to two fifths and back, each drawn:
// the browser finds the lines in view by walking from lines it has seen, backwards too.
void BM_TagBrowserScroll(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  gm::TagBrowser& browser = a.sidebar.browser();
  browser.position(0);
  draw_now();
  const int lines = browser.size();
  const int line_height = browser.textsize() + 6;  // about: only the place matters
  for (auto _ : state) {
    browser.position(lines / 4 * 3 * line_height);
    draw_now();
    browser.position(lines / 5 * 2 * line_height);
    draw_now();
  }
  count_document(state, a);
}
BENCHMARK(BM_TagBrowserScroll)->Unit(benchmark::kMillisecond)->UseRealTime();

// The toolkit's share: the Editor and the tag browser, both damaged whole, drawn.
void BM_ChangeFloorDraw(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  for (auto _ : state) {
    a.view.editor().redraw();
    a.sidebar.browser().redraw();
    draw_now();
  }
  count_document(state, a);
}
BENCHMARK(BM_ChangeFloorDraw)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
