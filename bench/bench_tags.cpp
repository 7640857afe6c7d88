// Big documents and many Tags: painting, and reading and writing the tag file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tags/styles.h"
#include "tags/tag.h"
#include "tags/tag_file.h"

namespace {

namespace fs = std::filesystem;

int32_t next_second() {
  static int32_t now = 1'600'000'000;
  return ++now;
}

// 100,000 Tags over `length` bytes in list order: a mix of short, nested and long ranges,
// a fifth of them with a note.
void fill_list(gm::TagList& list, int32_t length, int count) {
  std::mt19937 rng(42);
  const int32_t step = length / count;
  for (int i = 0; i < count; ++i) {
    const int32_t start = i * step + static_cast<int32_t>(rng() % static_cast<uint32_t>(step));
    const int32_t span = i % 50 == 0 ? step * 40 : 1 + static_cast<int32_t>(rng() % (step * 2));
    const int32_t end = std::min(length, start + span);
    const unsigned char style = static_cast<unsigned char>('A' + rng() % 58);
    list.append_tag(gm::make_tag(start, end, style, 1'000'000 + i,
                                 i % 5 == 0 ? "a note of a few words\nand a second line" : ""));
  }
}

struct TempDir {
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "gm-bench-XXXXXX").string();
    path = mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempDir() {
    if (!path.empty()) fs::remove_all(path);
  }
  std::string path;
};

constexpr int32_t kDocument = 100'000'000;
constexpr int kTags = 100'000;

void BM_PaintWholeDocument(benchmark::State& state) {
  gm::set_time_source(&next_second);
  gm::TagList list;
  fill_list(list, kDocument, kTags);
  std::vector<char> out(kDocument);
  if (!list.in_order()) state.SkipWithError("the list should take the sorted route");
  for (auto _ : state) {
    gm::paint_styles(list, 0, kDocument, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kDocument});
}
BENCHMARK(BM_PaintWholeDocument)->Unit(benchmark::kMillisecond);

void BM_ReadTagFile(benchmark::State& state) {
  gm::set_time_source(&next_second);
  TempDir dir;
  const std::string file = dir.path + "/bench.tag";
  {
    gm::TagList list;
    fill_list(list, kDocument, kTags);
    gm::write_tag_file(list, file.c_str());
  }
  gm::TagList list;
  for (auto _ : state) {
    if (gm::read_tag_file(list, file.c_str()) != 0) state.SkipWithError("read failed");
  }
  state.counters["records"] = static_cast<double>(list.size());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_ReadTagFile)->Unit(benchmark::kMillisecond);

void BM_WriteTagFile(benchmark::State& state) {
  gm::set_time_source(&next_second);
  TempDir dir;
  const std::string file = dir.path + "/bench.tag";
  gm::TagList list;
  fill_list(list, kDocument, kTags);
  for (auto _ : state) {
    if (gm::write_tag_file(list, file.c_str()) != 0) state.SkipWithError("write failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_WriteTagFile)->Unit(benchmark::kMillisecond);

}  // namespace
