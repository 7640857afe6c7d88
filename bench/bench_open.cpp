// Opening the big document into the real main window up to its first drawn frame, beside
// its floor (the file read, a text buffer filled with it and shown in a plain text display);
// and the peak resident set of each, measured in a fresh helper process per run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_window.h"

namespace {

using bench::BigDocument;

void BM_OpenIntoMainWindow(benchmark::State& state) {
  if (!bench::have_display(state)) return;
  const BigDocument& document = BigDocument::get();
  size_t tags = 0;
  for (auto _ : state) {
    std::unique_ptr<gm::Program> app = bench::open_in_main_window(document.path());
    state.PauseTiming();
    if (!app) {
      state.SkipWithError("open_document failed");
      break;
    }
    tags = app->document.tags.tags().size();
    app.reset();
    bench::draw_now();
    state.ResumeTiming();
  }
  state.counters["tags"] = static_cast<double>(tags);
  state.counters["document_MB"] = static_cast<double>(document.size()) / 1e6;
}
BENCHMARK(BM_OpenIntoMainWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenFloorPlainDisplay(benchmark::State& state) {
  if (!bench::have_display(state)) return;
  const BigDocument& document = BigDocument::get();
  for (auto _ : state) {
    auto floor = bench::open_in_plain_display(document.path(), document.size());
    state.PauseTiming();
    if (!floor) {
      state.SkipWithError("cannot read the document");
      break;
    }
    floor.reset();
    bench::draw_now();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenFloorPlainDisplay)->Unit(benchmark::kMillisecond)->UseRealTime();

// The helper lives beside this program.
std::string helper_path() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "glossmark_peak_open")
      .string();
}

// Runs the helper in a fresh process and reads the peak it reports, in kilobytes; -1 on
// failure. Forked while this process is small, so the child's count starts near zero.
long peak_of(const char* mode, const std::string& document) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return -1;
  const std::string helper = helper_path();
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    dup2(pipe_ends[1], STDOUT_FILENO);
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    execl(helper.c_str(), helper.c_str(), mode, document.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_ends[1]);
  std::string out;
  char chunk[256];
  for (ssize_t n; (n = read(pipe_ends[0], chunk, sizeof chunk)) > 0;) out.append(chunk, n);
  close(pipe_ends[0]);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0)
    return -1;
  long kb = -1;
  if (std::sscanf(out.c_str(), "peak_kb=%ld", &kb) != 1) return -1;
  return kb;
}

void peak_benchmark(benchmark::State& state, const char* mode) {
  if (!bench::have_display(state)) return;
  const BigDocument& document = BigDocument::get();
  long kb = -1;
  for (auto _ : state) {
    kb = peak_of(mode, document.path());
    if (kb < 0) {
      state.SkipWithError("the helper failed");
      return;
    }
  }
  state.counters["peak_MB"] = static_cast<double>(kb) * 1024 / 1e6;
  state.counters["peak_per_document"] =
      static_cast<double>(kb) * 1024 / static_cast<double>(document.size());
}

void BM_PeakRssOpenIntoMainWindow(benchmark::State& state) { peak_benchmark(state, "program"); }
BENCHMARK(BM_PeakRssOpenIntoMainWindow)->Iterations(1)->Unit(benchmark::kMillisecond);

// The Open command on the same document once it is on screen: the old text and styles meet
// the new ones.
void BM_PeakRssOpenAgain(benchmark::State& state) { peak_benchmark(state, "reopen"); }
BENCHMARK(BM_PeakRssOpenAgain)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PeakRssOpenFloorPlainDisplay(benchmark::State& state) { peak_benchmark(state, "floor"); }
BENCHMARK(BM_PeakRssOpenFloorPlainDisplay)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
