// The painter and the list's directory against the rule they must reproduce: for lists
// built from the input, in TagList order (insert_tag), in file order (append_tag) or mixed,
// paint_styles and tagged_stretch_end must give what one find_tag_at() per byte gives, and
// find_tag_at what the scan from the head gives.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "tags/styles.h"
#include "tags/tag.h"
#include "tags/tag_lookup.h"

namespace {

// One lookup per byte: the rule the painter has to reproduce for every list.
std::string paint_per_byte(const gm::TagList& list, int32_t from, int32_t to) {
  std::string out;
  for (int32_t i = from; i < to; ++i) {
    const gm::TagNode* n = list.find_tag_at(i);
    out += static_cast<char>(gm::buffer_style(n ? n->tag->style : list.default_style));
  }
  return out;
}

int32_t stretch_end_per_byte(const gm::TagList& list, int32_t end, int32_t length) {
  int32_t e = end;
  while (e < length && list.find_tag_at(e)) ++e;
  return e;
}

enum class Build { insert, append, mixed };

// Small positions around a short text, a few times (so equal ranges and twins are common)
// and any style byte, those below 'A' and of 0x80 and above included.
void fill_list(FuzzedDataProvider& in, gm::TagList& list, int32_t length) {
  const auto build = in.PickValueInArray({Build::insert, Build::append, Build::mixed});
  const int count = in.ConsumeIntegralInRange(0, 24);
  for (int i = 0; i < count && in.remaining_bytes() > 0; ++i) {
    const int32_t start = in.ConsumeIntegralInRange<int32_t>(-2, length + 1);
    // Mostly real ranges; now and then an empty or reversed one, as a damaged file has.
    const int32_t end = in.ConsumeIntegralInRange<int>(0, 7) == 0
                            ? in.ConsumeIntegralInRange<int32_t>(-2, length + 2)
                            : start + in.ConsumeIntegralInRange<int32_t>(1, length + 2);
    const auto style = in.ConsumeIntegral<unsigned char>();
    const int32_t time = in.ConsumeIntegralInRange<int32_t>(0, 7);
    auto tag = gm::make_tag(start, end, style, time, {});
    if (build == Build::append || (build == Build::mixed && in.ConsumeBool()))
      list.append_tag(std::move(tag));
    else
      list.insert_tag(tag);  // a refused twin just stays out
  }
}

void compare_paint(const gm::TagList& list, int32_t from, int32_t to) {
  std::string painted(static_cast<size_t>(to > from ? to - from : 0), '?');
  gm::paint_styles(list, from, to, painted.data());
  gm::fuzz::check(painted == paint_per_byte(list, from, to),
                  list.in_order() ? "paint_styles (ordered list) differs from find_tag_at"
                                  : "paint_styles (any order) differs from find_tag_at");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gm::fuzz::silence_program_output();  // twins make the lookup complain for every byte
  // That complaint renders the time with ctime(), which rereads the zone file unless TZ is set.
  ::setenv("TZ", "UTC", 1);
  gm::set_time_source(gm::fuzz::ticking_clock);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int32_t length = in.ConsumeIntegralInRange<int32_t>(1, 64);
  gm::TagList list;
  list.default_style = in.ConsumeIntegral<unsigned char>();
  fill_list(in, list, length);

  compare_paint(list, 0, length);
  for (int i = 0; i < 8 && in.remaining_bytes() > 0; ++i) {
    const int32_t from = in.ConsumeIntegralInRange<int32_t>(-2, length + 2);
    compare_paint(list, from, in.ConsumeIntegralInRange<int32_t>(from, length + 3));
  }
  for (int32_t end = -1; end <= length + 1; ++end)
    gm::fuzz::check(gm::tagged_stretch_end(list, end, length) ==
                        stretch_end_per_byte(list, end, length),
                    "tagged_stretch_end differs from find_tag_at");

  for (int32_t p = -2; p <= length + 2; ++p)
    gm::fuzz::check(list.find_tag_at(p) == gm::ruling_node(list.head(), p, false),
                    "find_tag_at differs from the scan");
  return 0;
}
