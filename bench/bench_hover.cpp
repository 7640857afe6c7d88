// One hover tick's lookup: which Tag rules the position under the pointer, near the end of
// a 100 MB document with 100,000 Tags. The list scan is what find_tag_at does; the table is
// what the tick uses.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "big_document.h"
#include "tags/tag.h"
#include "tags/tag_index.h"

namespace {

constexpr int32_t kDocumentBytes = 100'000'000;
constexpr int32_t kNearTheEnd = kDocumentBytes - 1'000;

int32_t next_second() {
  static int32_t now = 1'700'000'000;
  return ++now;
}

// Tags in list order as a tag file brings them: short and nested ranges, every fiftieth
// one long, half of them with a note (the notes spread the nodes in memory).
void fill_list(gm::TagList& list) {
  std::mt19937 rng(17);
  const int count = bench::tag_count();
  const int32_t step = kDocumentBytes / count;
  for (int i = 0; i < count; ++i) {
    const int32_t start = i * step + static_cast<int32_t>(rng() % static_cast<uint32_t>(step));
    const int32_t span = i % 50 == 0 ? step * 40 : 1 + static_cast<int32_t>(rng() % (step * 2));
    list.append_tag(gm::make_tag(start, std::min(kDocumentBytes, start + span),
                                 static_cast<unsigned char>('A' + i % 58), 1'000'000 + i,
                                 i % 2 == 0 ? "a note of a few words" : ""));
  }
}

struct BigList {
  BigList() {
    gm::set_time_source(&next_second);
    fill_list(list);
  }
  gm::TagList list;
};

BigList& big_list() {
  static BigList instance;
  return instance;
}

void BM_HoverLookupByScan(benchmark::State& state) {
  const gm::TagList& list = big_list().list;
  for (auto _ : state) benchmark::DoNotOptimize(list.find_tag_at(kNearTheEnd));
}
BENCHMARK(BM_HoverLookupByScan)->Unit(benchmark::kMicrosecond);

void BM_HoverLookupByTable(benchmark::State& state) {
  const gm::TagList& list = big_list().list;
  gm::TagIndex index;
  if (!index.find(list, kNearTheEnd) || !list.in_order())
    state.SkipWithError("the table should take its ordered route");
  for (auto _ : state) benchmark::DoNotOptimize(index.find(list, kNearTheEnd));
}
BENCHMARK(BM_HoverLookupByTable)->Unit(benchmark::kMicrosecond);

// The first tick after a change of the TagList rebuilds the table.
void BM_HoverTableRebuild(benchmark::State& state) {
  gm::TagList& list = big_list().list;
  gm::TagIndex index;
  for (auto _ : state) {
    list.clamp_tags(0, kDocumentBytes);  // changes nothing but the list's generation
    benchmark::DoNotOptimize(index.find(list, kNearTheEnd));
  }
}
BENCHMARK(BM_HoverTableRebuild)->Unit(benchmark::kMillisecond);

}  // namespace
