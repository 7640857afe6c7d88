// Any bytes as a document, optionally with a tag file cut from the front of the input.
// Built twice: in a UTF-8 locale (fuzz_document) and in ISO-8859-1 (fuzz_document_latin1),
// fixed before anything asks fl_utf8locale(), which keeps its first answer.
//
// Input: two bytes n (little-endian), then n bytes of tag file, then the document.
// n = 0xFFFF means no tag file; an input shorter than two bytes is a document alone.
#include <FL/fl_utf8.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "document/document.h"
#include "fuzz_support.h"
#include "platform/platform.h"

#ifndef GLOSSMARK_FUZZ_LOCALE
#error "GLOSSMARK_FUZZ_LOCALE names the locale the target runs in"
#endif

namespace {

constexpr size_t kNoTagFile = 0xFFFF;

std::string g_document, g_tags;
bool g_utf8_locale = false;

struct Input {
  const uint8_t* tags = nullptr;  // null: no tag file
  size_t tags_size = 0;
  const uint8_t* text = nullptr;
  size_t text_size = 0;
};

Input split(const uint8_t* data, size_t size) {
  if (size < 2) return {nullptr, 0, data, size};
  const size_t n = data[0] | size_t{data[1]} << 8;
  data += 2;
  size -= 2;
  if (n == kNoTagFile) return {nullptr, 0, data, size};
  const size_t tags_size = n < size ? n : size;
  return {data, tags_size, data + tags_size, size - tags_size};
}

void check_loaded(const gm::DocumentState& doc, const gm::TagList& tags) {
  using gm::fuzz::check;
  check(doc.data != nullptr, "open answered 0 without a text");
  const std::string_view text = doc.data->view();
  check(fl_utf8test(text.data(), static_cast<unsigned>(text.size())) != 0,
        "loaded text is not UTF-8");
  check(std::memchr(text.data(), '\0', text.size()) == nullptr,
        "a zero byte reached the text: positions would disagree with the text buffer");
  check(doc.path && *doc.path == g_document, "document path not kept");
  check(!doc.display_path, "display path for a UTF-8 path");

  const auto size = static_cast<int32_t>(text.size());
  size_t count = 0;
  for (const gm::TagNode* n = tags.head(); n; n = n->next.get(), ++count) {
    const gm::Tag& t = *n->tag;
    check(0 <= t.start && t.start < t.end && t.end <= size, "Tag outside the text");
    check(t.style >= 'A' && t.style <= 'z', "Tag style outside 'A'..'z'");
  }
  check(count == tags.size(), "list length disagrees with its size");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The program takes its locale from the environment; fl_utf8locale() reads it there too.
  ::setenv("LC_ALL", GLOSSMARK_FUZZ_LOCALE, 1);
  ::setenv("LC_CTYPE", GLOSSMARK_FUZZ_LOCALE, 1);
  gm::init_process();
  const std::string codeset = gm::locale_codeset();
  g_utf8_locale = codeset == "UTF-8";
  if (!g_utf8_locale && codeset != "ISO-8859-1")
    gm::fuzz::fail("locale " GLOSSMARK_FUZZ_LOCALE " missing (scripts/make-test-locale.sh)");
  gm::fuzz::check((fl_utf8locale() != 0) == g_utf8_locale, "fl_utf8locale() disagrees");

  gm::fuzz::silence_program_output();
  gm::set_time_source(gm::fuzz::ticking_clock);
  static gm::fuzz::ScratchDir scratch;
  g_document = scratch.file("document.txt");
  g_tags = scratch.file(gm::tag_file_name("document.txt"));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using gm::fuzz::check;
  const Input in = split(data, size);
  gm::fuzz::write_file(g_document, in.text, in.text_size);
  if (in.tags)
    gm::fuzz::write_file(g_tags, in.tags, in.tags_size);
  else
    ::unlink(g_tags.c_str());

  gm::DocumentState doc;
  gm::TagList tags;
  const int result = gm::open_document(doc, tags, g_document.c_str());
  if (result == 0) {
    check_loaded(doc, tags);
  } else {
    check(result == -1, "open answered neither 0 nor -1");
    check(!doc.data, "a failed open left a text");
  }

  // Every byte decodes in a single-byte code page; in a UTF-8 locale a valid file needs no
  // conversion. Either way such a document has to open.
  const bool valid = fl_utf8test(reinterpret_cast<const char*>(in.text),
                                 static_cast<unsigned>(in.text_size)) != 0;
  if (!g_utf8_locale || valid) check(result == 0, "a readable document failed to open");
  return 0;
}
