// Benchmarks that run the real main window under an X display (Xvfb under scripts/bench.sh).
#pragma once

#include <benchmark/benchmark.h>

#include <memory>

#include "open_steps.h"

namespace bench {

// False, with the benchmark skipped, when there is no display.
inline bool have_display(benchmark::State& state) {
  if (open_display_once()) return true;
  state.SkipWithError("no X display (run under scripts/bench.sh)");
  return false;
}

// The big document on screen for one run of a benchmark, made afresh for each run.
inline std::unique_ptr<gm::Program> loaded_app(benchmark::State& state) {
  if (!have_display(state)) return nullptr;
  std::unique_ptr<gm::Program> program = open_in_main_window(BigDocument::get().path());
  if (!program) state.SkipWithError("the big document did not open");
  return program;
}

}  // namespace bench
