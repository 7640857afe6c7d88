// Any bytes as an anchor file. Reading must never crash and must refuse what it cannot use
// with a reason; what it accepts must encode back to the very same bytes, and re-anchoring a
// Tag list against it (on a text made from the same bytes) must stay within the text. Each
// input is also tried with its last 8 bytes made the right checksum, so that mutations get
// past it to the records.
#include <xxhash.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "tags/anchor_file.h"
#include "tags/reanchor.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gm::fuzz::silence_program_output();
  gm::set_time_source(gm::fuzz::ticking_clock);
  return 0;
}

namespace {

void check_file(std::string_view bytes) {
  using gm::fuzz::check;
  std::string why;
  const std::optional<gm::AnchorFile> file = gm::decode_anchor_file(bytes, &why);
  if (!file) {
    check(!why.empty(), "a refused anchor file without a reason");
    return;
  }
  check(gm::encode_anchor_file(*file) == bytes, "an accepted anchor file encodes differently");
  const std::optional<gm::AnchorFile> head = gm::decode_anchor_file(bytes, &why, false);
  check(head && head->unplaced.size() == file->unplaced.size(),
        "the file without its anchors reads differently");

  // The anchors' own Tags against a text that is the file itself: every answer must be a
  // range of that text, or the old range for Tags left alone.
  gm::TagList tags;
  for (const gm::TagAnchor& a : file->anchors)
    tags.append_tag(gm::make_tag(a.start, a.end, 'B', a.time, ""));
  const gm::ReanchorResult result = gm::reanchor(bytes, tags, *file);
  check(result.tags.size() == tags.size(), "a result per Tag");
  for (const gm::PlacedRange& r : result.tags) {
    if (r.placement != gm::Placement::stays && r.placement != gm::Placement::moved) continue;
    check(0 <= r.start && r.start <= r.end && static_cast<size_t>(r.end) <= bytes.size(),
          "a Tag placed outside the text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  check_file(bytes);
  if (size >= 8) {
    std::string fixed(bytes);
    uint64_t sum = XXH3_64bits(fixed.data(), size - 8);
    for (size_t i = 0; i < 8; ++i, sum >>= 8) fixed[size - 8 + i] = static_cast<char>(sum);
    check_file(fixed);
  }
  return 0;
}
