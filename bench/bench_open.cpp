// Opening a big document all the way into the buffers the Editor draws from: read, check,
// tag file, fitting, text buffer and painting, beside its floor (reading the file and
// filling a text buffer with it).
#include <FL/Fl_Text_Buffer.H>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "app/app.h"
#include "app/commands.h"
#include "big_document.h"

namespace {

using bench::BigDocument;
using bench::QuietStdout;

void BM_OpenAndPaint(benchmark::State& state) {
  const BigDocument& document = BigDocument::get();
  gm::App app;
  {
    const QuietStdout quiet;
    for (auto _ : state) {
      if (gm::open_document(app, document.path().c_str()) != 0) {
        state.SkipWithError("open_document failed");
        break;
      }
      gm::init_open(app);
      benchmark::DoNotOptimize(app.style_buffer->length());
    }
  }
  state.counters["tags"] = static_cast<double>(app.tags.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}
BENCHMARK(BM_OpenAndPaint)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenFloorTextBuffer(benchmark::State& state) {
  const BigDocument& document = BigDocument::get();
  Fl_Text_Buffer buffer(0, 1024);
  buffer.canUndo(0);
  for (auto _ : state) {
    std::string data(document.size(), '\0');
    FILE* file = std::fopen(document.path().c_str(), "rb");
    if (!file) {
      state.SkipWithError("cannot open the document");
      break;
    }
    data.resize(std::fread(&data[0], 1, data.size(), file));
    std::fclose(file);
    buffer.text(data.c_str());
    benchmark::DoNotOptimize(buffer.length());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}
BENCHMARK(BM_OpenFloorTextBuffer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
