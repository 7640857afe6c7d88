// Any bytes as a tag file. Reading must never crash; a file read whole must survive a
// write and a second read unchanged, and writing that again must give the same bytes.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "tags/tag_file.h"

namespace {

std::string g_input, g_first, g_second;

bool same_tag(const gm::Tag& a, const gm::Tag& b) {
  if (a.start != b.start || a.end != b.end || a.style != b.style || a.time != b.time ||
      a.textsize != b.textsize || a.has_note() != b.has_note())
    return false;
  return !a.has_note() ||
         std::memcmp(a.text.get(), b.text.get(), static_cast<size_t>(a.textsize)) == 0;
}

void check_same_lists(const gm::TagList& a, const gm::TagList& b) {
  using gm::fuzz::check;
  check(a.top_line == b.top_line, "top_line changed by a write and read");
  check(a.top_column == b.top_column, "top_column changed by a write and read");
  check(a.default_style == b.default_style, "default_style changed by a write and read");
  check(a.size() == b.size(), "Tag count changed by a write and read");
  const gm::TagNode* x = a.head();
  const gm::TagNode* y = b.head();
  for (; x && y; x = x->next.get(), y = y->next.get())
    check(same_tag(*x->tag, *y->tag), "a Tag changed by a write and read");
  check(!x && !y, "list length disagrees with its size");
}

// What read_tag_file promises about every record it keeps.
void check_notes(const gm::TagList& list) {
  for (const gm::TagNode* n = list.head(); n; n = n->next.get()) {
    const gm::Tag& t = *n->tag;
    gm::fuzz::check(t.textsize >= 0, "negative textsize kept");
    if (t.textsize > 0) {
      gm::fuzz::check(t.text != nullptr, "note size without a note");
      gm::fuzz::check(t.text[t.textsize - 1] == '\0', "note without its terminating zero");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gm::fuzz::silence_program_output();
  gm::set_time_source(gm::fuzz::ticking_clock);
  static gm::fuzz::ScratchDir scratch;
  g_input = scratch.file("input.tag");
  g_first = scratch.file("first.tag");
  g_second = scratch.file("second.tag");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using gm::fuzz::check;
  gm::fuzz::write_file(g_input, data, size);

  gm::TagList read;
  if (gm::read_tag_file(read, g_input.c_str()) != 0) return 0;
  check_notes(read);

  check(gm::write_tag_file(read, g_first.c_str()) == 0, "writing a list just read failed");
  gm::TagList again;
  check(gm::read_tag_file(again, g_first.c_str()) == 0, "a written tag file does not read back");
  check_same_lists(read, again);

  check(gm::write_tag_file(again, g_second.c_str()) == 0, "second write failed");
  check(gm::fuzz::read_file(g_first) == gm::fuzz::read_file(g_second),
        "second generation differs in its bytes");
  return 0;
}
