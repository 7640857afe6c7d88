// Any bytes as annotations to import into a small multi-byte document that has Tags.
// Reading each annotation as the parser completes it must give what reading the whole
// tree gives; input that is refused must leave the list as it was; anything added must lie
// inside the text; and the list after the import must survive its own export and import
// into an empty list byte for byte.
#include <cstdint>
#include <sstream>
#include <string>

#include "export/web_annotation.h"
#include "fuzz_support.h"
#include "tags/tag_file.h"

namespace {

const std::string kText =
    "Grüße aus Köln — the fox ran; the fox ran again.\n"
    "\xED\xA0\x80 surrogate, 𝄞 clef, zero\x1A stand-in, and the end.\n";
const std::string kDocument = "/fuzz/doc.txt";
std::string g_tags;

std::string bytes_of(gm::TagList& list) {
  if (gm::write_tag_file(list, g_tags.c_str()) != 0) gm::fuzz::fail("cannot write a tag file");
  const std::vector<uint8_t> bytes = gm::fuzz::read_file(g_tags);
  return std::string(bytes.begin(), bytes.end());
}

void fill(gm::TagList& list) {
  list.top_line = 4;
  for (const auto& [start, end, time] :
       {std::tuple{0, 7, 100}, std::tuple{3, 20, 101}, std::tuple{11, 12, 102}}) {
    auto tag = gm::make_tag(start, end, 'C', time, "note");
    list.insert_tag(tag);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gm::fuzz::silence_program_output();
  gm::set_time_source(gm::fuzz::ticking_clock);
  static gm::fuzz::ScratchDir scratch;
  g_tags = scratch.file("doc.txt.tag");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using gm::fuzz::check;
  const std::string input(reinterpret_cast<const char*>(data), size);
  gm::TagList list;
  fill(list);
  const std::string before = bytes_of(list);
  const size_t count = list.size();

  const bool take_header = size % 2 == 0;
  gm::TagList plain;  // the same import read from the whole tree
  fill(plain);
  // Both imports stamp annotations without a time of their own at the same moment.
  gm::set_time_source([] { return int32_t{1'700'000'000}; });
  const gm::ImportReport whole =
      gm::import_annotations(input, kText, kDocument, plain, take_header, gm::Reading::whole_tree);
  const gm::ImportReport report =
      gm::import_annotations(input, kText, kDocument, list, take_header);
  gm::set_time_source(gm::fuzz::ticking_clock);
  check(report.error == whole.error && report.added == whole.added &&
            report.present == whole.present && report.unplaced == whole.unplaced &&
            report.header_changed == whole.header_changed,
        "reading as the parser goes reports otherwise than reading the whole tree");
  check(bytes_of(list) == bytes_of(plain), "reading as the parser goes adds other Tags");
  if (report.error) {
    check(bytes_of(list) == before, "a refused import changed the list");
    return 0;
  }
  check(list.size() == count + report.added, "the count of added Tags is wrong");
  for (const gm::TagNode* n = list.head(); n; n = n->next.get()) {
    const gm::Tag& t = *n->tag;
    check(t.start >= 0 && t.start < t.end && t.end <= static_cast<int32_t>(kText.size()),
          "a Tag outside the text");
  }

  const std::string after = bytes_of(list);
  std::ostringstream exported;
  gm::write_annotations(exported, kText, list, kDocument);
  gm::TagList again;
  const gm::ImportReport second =
      gm::import_annotations(exported.str(), kText, kDocument, again, true);
  check(!second.error && second.unplaced.empty(), "an export does not import whole");
  check(bytes_of(again) == after, "export and import changed the tag file");
  return 0;
}
