// One tag change in the big document on screen, as the user waits for it: the Tag goes into
// the TagList, the history records it, its stretch is repainted, the list of all 100,000
// Tags is rebuilt, and the window is drawn. Undo and Redo likewise. The floor is the
// toolkit's share of that: the browser emptied and filled with the same lines, and the
// window drawn.
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Text_Buffer.H>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_window.h"
#include "ui/editor.h"
#include "ui/sidebar.h"

namespace {

using bench::draw_now;

// Inside the Tag that starts at 99,000,000 and over the untagged gap after it.
constexpr int32_t kNewStart = 99'000'250;
constexpr int32_t kNewEnd = 99'000'750;

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

// The toolkit's share: the same lines, formatted beforehand into one block, cleared and
// added.
void BM_NewTagFloorBrowser(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  std::string block;
  std::vector<size_t> starts;
  std::vector<void*> data;
  for (const gm::TagNode* n = a.document.tags.tags().head(); n; n = n->next.get()) {
    starts.push_back(block.size());
    block += gm::tag_list_line(*n->tag);
    block += '\0';
    data.push_back(const_cast<gm::TagNode*>(n));
  }
  Fl_Hold_Browser& browser = a.sidebar.browser();
  for (auto _ : state) {
    browser.clear();
    for (size_t i = 0; i < starts.size(); ++i) browser.add(&block[starts[i]], data[i]);
    a.view.editor().redraw();
    draw_now();
  }
  count_document(state, a);
}
BENCHMARK(BM_NewTagFloorBrowser)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
