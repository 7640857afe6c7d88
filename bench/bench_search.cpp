// One step of the incremental search in the big document on screen, with the search standing
// at the start, the middle or near the end of the text (or of the TagList): each step resumes
// where the last one stopped, so where it stands must not matter. The floor of a step is
// finding the same next hit with the plain string search and adding the same line to the
// browser.
#include <FL/Fl.H>
#include <FL/Fl_Hold_Browser.H>
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <string_view>

#include "bench_window.h"
#include "tags/styles.h"
#include "../tests/unit/tags_test_support.h"
#include "tags/tag.h"
#include "ui/sidebar.h"
#include "ui/dialogs.h"

namespace {

constexpr const char* kTextPattern = "café";     // once in every line
constexpr const char* kNotePattern = "number";   // in every other Tag's note
constexpr int kLinesKept = 10'000;               // the browser is emptied now and then

// Steps take microseconds: each is timed on its own, and what keeps the benchmark going
// between steps is not.
template <typename Step>
void timed(benchmark::State& state, Step step) {
  const auto start = std::chrono::steady_clock::now();
  step();
  state.SetIterationTime(
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

size_t text_position(const gm::Program& a, int percent) {
  return a.document.file.data->size() / 100 * static_cast<size_t>(percent);
}

const gm::TagNode* node_at(gm::Program& a, int percent) {
  const gm::TagList& tags = a.document.tags.tags();
  size_t index = tags.size() / 100 * static_cast<size_t>(percent);
  const gm::TagNode* node = tags.head();
  while (index-- > 0 && node->next) node = node->next.get();
  return node;
}

void empty_browser(gm::Program& a) {
  a.sidebar.browser().clear();
  a.sidebar.search().lines.clear();
}

void BM_TextSearchStep(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  empty_browser(a);
  gm::SearchState& search = a.sidebar.search();
  search.mode = gm::BrowserMode::kTextHits;
  search.pattern = kTextPattern;
  search.restart = false;
  const size_t start = text_position(a, static_cast<int>(state.range(0)));
  search.text_position = start;
  for (auto _ : state) {
    timed(state, [&a] { a.sidebar.text_step(); });
    a.sidebar.stop_search();
    if (a.sidebar.browser().size() >= kLinesKept) {
      empty_browser(a);
      search.text_position = start;
    }
  }
}
BENCHMARK(BM_TextSearchStep)->Arg(0)->Arg(50)->Arg(99)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_TextSearchStepFloor(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  empty_browser(a);
  const std::string_view text = a.document.file.data->view();
  const std::string pattern = kTextPattern;
  const size_t start = text_position(a, static_cast<int>(state.range(0)));
  size_t position = start;
  for (auto _ : state) {
    timed(state, [&] {
      const size_t hit = text.find(pattern, position);
      const size_t line_end = text.find('\n', hit);
      const std::string line = "@C100@." + std::string(text.substr(hit, line_end - hit));
      a.sidebar.browser().add(line.c_str(), reinterpret_cast<void*>(hit));
      position = hit + pattern.size();
    });
    if (a.sidebar.browser().size() >= kLinesKept) {
      empty_browser(a);
      position = start;
    }
  }
}
BENCHMARK(BM_TextSearchStepFloor)->Arg(0)->Arg(50)->Arg(99)->UseManualTime()->Unit(benchmark::kMicrosecond);

void start_tag_search_at(gm::Program& a, const gm::TagNode* node) {
  gm::SearchState& search = a.sidebar.search();
  search.mode = gm::BrowserMode::kNoteHits;
  search.pattern = kNotePattern;
  search.restart = false;
  search.tag_position = gm::ref_to(a.document.tags.tags(), node);
  search.tag_last = {};
}

// state.range(1) set: the TagList changes before every step (a Tag made and removed
// elsewhere), so the step has to find its place again by identity.
void BM_TagSearchStep(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  const bool list_changes = state.range(1) != 0;
  empty_browser(a);
  const gm::TagNode* start = node_at(a, static_cast<int>(state.range(0)));
  start_tag_search_at(a, start);
  const int32_t length = a.view.text().length();
  gm::TagList& list = gm::TagDocumentTestAccess::list(a.document.tags);
  for (auto _ : state) {
    if (list_changes) {
      // A Tag made and taken away again elsewhere: the list is the same, its nodes may not be.
      auto tag = gm::make_tag(length / 3, length / 3 + 10, 'B', 5, "");
      const gm::TagIdentity made = gm::identity_of(*tag);
      list.insert_tag(tag);
      list.remove_tag(made);
    }
    timed(state, [&a] { a.sidebar.tag_step(); });
    a.sidebar.stop_search();
    if (a.sidebar.browser().size() >= kLinesKept || !a.sidebar.search().tag_position.node) {
      empty_browser(a);
      start_tag_search_at(a, start);
    }
  }
}
BENCHMARK(BM_TagSearchStep)
    ->ArgsProduct({{0, 50, 99}, {0, 1}})
    ->ArgNames({"percent", "list_changed"})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_TagSearchStepFloor(benchmark::State& state) {
  auto app = bench::loaded_app(state);
  if (!app) return;
  gm::Program& a = *app;
  empty_browser(a);
  const gm::TagNode* const start = node_at(a, static_cast<int>(state.range(0)));
  const gm::TagNode* node = start;
  for (auto _ : state) {
    timed(state, [&a, &node] {
      for (; node; node = node->next.get()) {
        const size_t hit = node->tag->note().find(kNotePattern);
        if (hit == std::string_view::npos) continue;
        const std::string line = gm::hit_line(gm::style_codes(node->tag->style),
                                              node->tag->note().substr(hit));
        a.sidebar.browser().add(line.c_str(), const_cast<gm::TagNode*>(node));
        node = node->next.get();
        break;
      }
    });
    if (a.sidebar.browser().size() >= kLinesKept || !node) {
      empty_browser(a);
      node = start;
    }
  }
}
BENCHMARK(BM_TagSearchStepFloor)->Arg(0)->Arg(50)->Arg(99)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
