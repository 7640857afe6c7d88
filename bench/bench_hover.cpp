// One hover tick's lookup: which Tag rules the position under the pointer, near the end of
// a 100 MB document with 100,000 Tags (GLOSSMARK_BENCH_TAGS sets another count). The scan
// from the head is the plain rule; find_tag_at, which the tick uses, starts from the list's
// directory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "big_document.h"
#include "tags/tag.h"
#include "tags/tag_lookup.h"

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
  for (auto _ : state) benchmark::DoNotOptimize(gm::ruling_node(list.head(), kNearTheEnd, false));
}
BENCHMARK(BM_HoverLookupByScan)->Unit(benchmark::kMicrosecond);

void BM_HoverLookup(benchmark::State& state) {
  const gm::TagList& list = big_list().list;
  if (!list.find_tag_at(kNearTheEnd) || !list.in_order())
    state.SkipWithError("the lookup should take its ordered route");
  for (auto _ : state) benchmark::DoNotOptimize(list.find_tag_at(kNearTheEnd));
}
BENCHMARK(BM_HoverLookup)->Unit(benchmark::kMicrosecond);

// The first tick after a change of the TagList: a Tag made and taken away in the middle.
void BM_HoverLookupAfterChange(benchmark::State& state) {
  gm::TagList& list = big_list().list;
  for (auto _ : state) {
    state.PauseTiming();
    auto tag = gm::make_tag(kDocumentBytes / 2, kDocumentBytes / 2 + 10, 'B', 5, "");
    const gm::TagIdentity made = gm::identity_of(*tag);
    list.insert_tag(tag);
    list.remove_tag(made);
    state.ResumeTiming();
    benchmark::DoNotOptimize(list.find_tag_at(kNearTheEnd));
  }
}
BENCHMARK(BM_HoverLookupAfterChange)->Unit(benchmark::kMicrosecond);

}  // namespace
