// A document whose one line is 2, 20 or 200 MB (the argument, in MB), tagged every 2,000
// bytes, half of the Tags with a note: a hover tick with the view in the middle of the line,
// a full repaint there, and scrolling to the end of the line and back, both drawn. Floor:
// the same bytes and Tags cut into lines of about 100 bytes, the same work with the same
// characters in view (the pointer on the line of the same byte, the view scrolled from the
// top to the end and back). The first scroll to the end of the long line, which builds its
// index, is the counter first_ms (first_cpu_ms in CPU time).
#include <FL/Fl_Scrollbar.H>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "bench_window.h"
#include "ui/editor.h"
#include "ui/hover.h"

namespace {

using bench::draw_now;

constexpr int32_t kTagStep = 2000;

// One long line (cut = false) or the same bytes in short lines, with its tag file; made once
// per size and kind, removed at exit.
class LineDocument {
 public:
  static const LineDocument& get(size_t megabytes, bool cut) {
    static std::map<std::pair<size_t, bool>, std::unique_ptr<LineDocument>> made;
    auto& slot = made[{megabytes, cut}];
    if (!slot) slot.reset(new LineDocument(megabytes * 1000 * 1000, cut));
    return *slot;
  }
  ~LineDocument() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  const std::string& path() const { return path_; }
  size_t size() const { return size_; }

 private:
  LineDocument(size_t size, bool cut) : size_(size) {
    dir_ = (std::filesystem::temp_directory_path() / "glossmark-longline-XXXXXX").string();
    if (!mkdtemp(&dir_[0])) return;
    path_ = dir_ + "/line.txt";
    write_text(cut);
    write_tags();
  }

  void write_text(bool cut) const {
    static const char* const kWords[] = {"naïve", "café",  "prose,", "“quoted”", "—",
                                         "some",  "ASCII", "to",     "fill",     "the",
                                         "line",  "with",  "words"};
    std::string block;
    std::mt19937 rng(7);
    size_t last_cut = 0;
    while (block.size() < (1 << 16)) {
      block += kWords[rng() % (sizeof kWords / sizeof *kWords)];
      const bool line_end = cut && block.size() - last_cut > 100;
      block += line_end ? '\n' : ' ';
      if (line_end) last_cut = block.size();
    }
    FILE* file = std::fopen(path_.c_str(), "wb");
    if (!file) return;
    for (size_t written = 0; written < size_;) {
      const size_t n = std::min(block.size(), size_ - written);
      written += std::fwrite(block.data(), 1, n, file);
    }
    std::fclose(file);
  }

  void write_tags() const {
    std::string bytes;
    bench::put_le32(bytes, 1);
    bench::put_le32(bytes, 0);
    bytes += 'A';
    for (int32_t start = 0, i = 0; start + kTagStep <= static_cast<int32_t>(size_);
         start += kTagStep, ++i)
      bench::put_bench_tag(bytes, start, start + kTagStep / 2, i, "note ");
    bench::write_bytes(path_ + ".tag", bytes);
  }

  std::string dir_;
  std::string path_;
  size_t size_;
};

Fl_Scrollbar* scrollbar(gm::Editor& e, int type) {
  for (int i = 0; i < e.children(); ++i) {
    auto* bar = dynamic_cast<Fl_Scrollbar*>(e.child(i));
    if (bar && bar->type() == type) return bar;
  }
  return nullptr;
}

std::unique_ptr<gm::Program> opened(benchmark::State& state, bool cut) {
  if (!bench::have_display(state)) return nullptr;
  const LineDocument& document = LineDocument::get(static_cast<size_t>(state.range(0)), cut);
  std::unique_ptr<gm::Program> program = bench::open_in_main_window(document.path());
  if (!program) state.SkipWithError("the document did not open");
  return program;
}

// The view on the middle of the text: for the long line its middle in pixels, for the short
// lines the line of the middle byte.
void show_middle(gm::Program& a, bool cut) {
  gm::Editor& e = a.view.editor();
  if (cut) {
    const int32_t middle = a.view.text().length() / 2;
    e.scroll(a.view.text().count_lines(0, middle) + 1, 0);
  } else {
    Fl_Scrollbar* bar = scrollbar(e, FL_HORIZONTAL);
    e.scroll(1, bar ? static_cast<int>(bar->maximum() / 2) : 0);
  }
  e.redraw();
  draw_now();
}

gm::PointerState pointer_on_first_row(gm::Editor& e) {
  gm::PointerState s;
  s.window_x = 100;
  s.window_y = 50;
  s.event_x = e.x() + e.w() / 2;
  s.event_y = e.y() + 10;
  s.root_x = s.window_x + s.event_x;
  s.root_y = s.window_y + s.event_y;
  s.program_window_first = true;
  return s;
}

void hover_tick(benchmark::State& state, bool cut) {
  auto app = opened(state, cut);
  if (!app) return;
  show_middle(*app, cut);
  gm::Hover& hover = app->view.hover();
  const gm::PointerState pointer = pointer_on_first_row(app->view.editor());
  for (auto _ : state) benchmark::DoNotOptimize(hover.update(pointer));
  hover.show_tip(0, 0, nullptr);
}

void BM_LongLineHoverTick(benchmark::State& state) { hover_tick(state, false); }
void BM_LongLineHoverTickFloor(benchmark::State& state) { hover_tick(state, true); }

void repaint(benchmark::State& state, bool cut) {
  auto app = opened(state, cut);
  if (!app) return;
  show_middle(*app, cut);
  for (auto _ : state) {
    app->view.editor().redraw();
    draw_now();
  }
}

void BM_LongLineRepaint(benchmark::State& state) { repaint(state, false); }
void BM_LongLineRepaintFloor(benchmark::State& state) { repaint(state, true); }

double thread_cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// As a drag of the scrollbar's slider does: to its end, drawn, and back, drawn.
void scroll_end_and_back(benchmark::State& state, bool cut, bool idle_first = false) {
  auto app = opened(state, cut);
  if (!app) return;
  // A user's first drag comes a moment after the line shows, time the Editor spends
  // finishing the line's index in idle slices.
  if (idle_first) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < until) Fl::wait(0.001);
  }
  Fl_Scrollbar* bar = scrollbar(app->view.editor(), cut ? FL_VERTICAL : FL_HORIZONTAL);
  if (!bar) {
    state.SkipWithError("no scrollbar");
    return;
  }
  const double start = bar->value();
  const double end = bar->maximum();
  const auto there_and_back = [&] {
    for (const double value : {end, start}) {
      bar->value(value);
      bar->do_callback();
      draw_now();
    }
  };
  // The first time builds the long line's index to its end: timed apart, in wall clock and in
  // this thread's CPU time (on a shared machine the first is mostly waiting for a core).
  const auto before = std::chrono::steady_clock::now();
  const double cpu_before = thread_cpu_ms();
  there_and_back();
  const std::chrono::duration<double, std::milli> first = std::chrono::steady_clock::now() - before;
  state.counters["first_cpu_ms"] = thread_cpu_ms() - cpu_before;
  for (auto _ : state) there_and_back();
  state.counters["scrolled"] = end - start;
  state.counters["first_ms"] = first.count();
}

void BM_LongLineScrollToEndAndBack(benchmark::State& state) { scroll_end_and_back(state, false); }
void BM_LongLineScrollToEndAndBackFloor(benchmark::State& state) {
  scroll_end_and_back(state, true);
}
void BM_LongLineScrollAfterIdle(benchmark::State& state) {
  scroll_end_and_back(state, false, true);
}
void BM_LongLineScrollAfterIdleFloor(benchmark::State& state) {
  scroll_end_and_back(state, true, true);
}

#define GM_LONG_LINE_SIZES Arg(2)->Arg(20)->Arg(200)
BENCHMARK(BM_LongLineHoverTick)->GM_LONG_LINE_SIZES->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LongLineHoverTickFloor)->GM_LONG_LINE_SIZES->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LongLineRepaint)->GM_LONG_LINE_SIZES->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LongLineRepaintFloor)
    ->GM_LONG_LINE_SIZES->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LongLineScrollToEndAndBack)
    ->GM_LONG_LINE_SIZES->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LongLineScrollToEndAndBackFloor)
    ->GM_LONG_LINE_SIZES->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LongLineScrollAfterIdle)
    ->Arg(2)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LongLineScrollAfterIdleFloor)
    ->Arg(2)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
