// Opening a big document: the whole of open_document (read with line-end translation,
// UTF-8 check, tag file, fitting) beside a plain fread of the same file, its floor.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "document/document.h"
#include "tags/tag.h"
#include "big_document.h"

namespace {

using bench::BigDocument;
using bench::QuietStdout;

void BM_OpenDocument(benchmark::State& state) {
  const BigDocument& document = BigDocument::get();
  gm::DocumentState doc;
  gm::TagList tags;
  {
    const QuietStdout quiet;
    for (auto _ : state) {
      if (gm::open_document(doc, tags, document.path().c_str()) != 0) {
        state.SkipWithError("open_document failed");
        break;
      }
      benchmark::DoNotOptimize(doc.data->data());
    }
  }
  state.counters["tags"] = static_cast<double>(tags.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}
BENCHMARK(BM_OpenDocument)->Unit(benchmark::kMillisecond);

void BM_FreadFloor(benchmark::State& state) {
  const BigDocument& document = BigDocument::get();
  for (auto _ : state) {
    std::string data;
    FILE* file = std::fopen(document.path().c_str(), "rb");
    if (!file) {
      state.SkipWithError("cannot open the document");
      break;
    }
    data.resize(document.size());
    const size_t got = std::fread(&data[0], 1, data.size(), file);
    std::fclose(file);
    data.resize(got);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}
BENCHMARK(BM_FreadFloor)->Unit(benchmark::kMillisecond);

}  // namespace
