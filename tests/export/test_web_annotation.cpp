// Tags as Web Annotations: the shape the W3C model asks for, positions in characters,
// and export followed by import giving the very same tag file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "../unit/document_test_support.h"
#include "../unit/tags_test_support.h"
#include "export/text_positions.h"
#include "export/web_annotation.h"
#include "tags/tag_file.h"

namespace gm {
namespace {

using nlohmann::json;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

const std::string kDocument = "/notes/text.txt";

// Characters of several byte lengths, so that positions in bytes and in characters differ
// everywhere, and an encoded surrogate, which the loader lets through.
const char* const kPieces[] = {"a", " ",  "\n",           "é",    "—", "€",
                               "𝄞", "字", "\xED\xA0\x80", "\x1A", "ß"};

std::string random_text(std::mt19937& rng, size_t characters) {
  std::string text;
  for (size_t i = 0; i < characters; ++i) text += kPieces[rng() % std::size(kPieces)];
  return text;
}

std::u32string code_points(std::string_view text) {  // text is UTF-8 by the loose rule
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    out += (cp >= 0xD800 && cp <= 0xDFFF) ? U'\uFFFD' : cp;
    i += n;
  }
  return out;
}

std::string export_json(std::string_view text, const TagList& tags) {
  std::ostringstream out;
  write_annotations(out, text, tags, kDocument);
  return out.str();
}

// Tag files are written with a sync to disk each time; on tmpfs that costs nothing.
class ScratchDir {
 public:
  ScratchDir() {
    std::string name = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/glossmark-export-XXXXXX"
                                                       : "/tmp/glossmark-export-XXXXXX";
    if (mkdtemp(name.data())) path_ = name;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  bool ok() const { return !path_.empty(); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string tag_file_bytes(TagList& list, const ScratchDir& dir) {
  const std::string path = dir.file("bytes.tag");
  testing::internal::CaptureStderr();  // an empty list says so
  EXPECT_EQ(write_tag_file(list, path.c_str()), 0);
  testing::internal::GetCapturedStderr();
  return test::read_file(path);
}

// ---------------------------------------------------------------------------------------
// What the Web Annotation Data Model asks of an export (required keys, value shapes).

// A scheme (a letter, then letters, digits, + . -), a colon, and no blank after it.
bool is_iri(const json& v) {
  if (!v.is_string()) return false;
  const std::string& s = v.get_ref<const std::string&>();
  const size_t colon = s.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == s.size() || !std::islower(s[0]))
    return false;
  for (size_t i = 0; i < colon; ++i)
    if (!std::isalnum(static_cast<unsigned char>(s[i])) && !std::strchr("+.-", s[i])) return false;
  return s.find_first_of(" \t\n", colon) == std::string::npos;
}

// YYYY-MM-DDTHH:MM:SSZ
bool is_utc_time(const std::string& s) {
  const std::string shape = "dddd-dd-ddTdd:dd:ddZ";
  if (s.size() != shape.size()) return false;
  for (size_t i = 0; i < s.size(); ++i)
    if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(s[i])) : s[i] != shape[i])
      return false;
  return true;
}

bool has_type(const json& node, const std::string& type) {
  return node.contains("type") && node["type"] == type;
}

void check_selector(const json& s) {
  ASSERT_TRUE(s.is_object() && s["type"].is_string());
  if (has_type(s, "TextPositionSelector")) {
    ASSERT_TRUE(s["start"].is_number_unsigned() && s["end"].is_number_unsigned());
    ASSERT_LE(s["start"].get<int64_t>(), s["end"].get<int64_t>());
  } else {
    ASSERT_TRUE(has_type(s, "TextQuoteSelector"));
    ASSERT_TRUE(s["exact"].is_string());
    for (const char* key : {"prefix", "suffix"}) {
      if (s.contains(key)) {
        ASSERT_TRUE(s[key].is_string());
      }
    }
  }
}

void check_annotation(const json& a, const std::string& stylesheet_id) {
  ASSERT_TRUE(a.is_object());
  ASSERT_FALSE(a.contains("@context")) << "embedded annotations take the collection's";
  ASSERT_TRUE(is_iri(a["id"]));
  ASSERT_TRUE(has_type(a, "Annotation"));
  ASSERT_TRUE(is_utc_time(a["created"].get<std::string>()));
  ASSERT_TRUE(a["motivation"] == "commenting" || a["motivation"] == "highlighting");
  if (a.contains("body")) {
    ASSERT_TRUE(has_type(a["body"], "TextualBody"));
    ASSERT_TRUE(a["body"]["value"].is_string());
    ASSERT_EQ(a["body"]["format"], "text/plain");
  }
  const json& target = a["target"];
  ASSERT_TRUE(target.is_object() && is_iri(target["source"]));
  ASSERT_TRUE(target["styleClass"].is_string());
  ASSERT_EQ(a["stylesheet"], stylesheet_id) << "a styleClass needs its stylesheet";
  ASSERT_TRUE(target["selector"].is_array());
  for (const json& s : target["selector"]) check_selector(s);
}

void check_collection(const json& c) {
  ASSERT_TRUE(c.is_object());
  const json& context = c["@context"];
  ASSERT_TRUE(context == "http://www.w3.org/ns/anno.jsonld" ||
              (context.is_array() && context[0] == "http://www.w3.org/ns/anno.jsonld"));
  ASSERT_TRUE(is_iri(c["id"]));
  ASSERT_TRUE(has_type(c, "AnnotationCollection"));
  ASSERT_TRUE(c["total"].is_number_unsigned());
  ASSERT_TRUE(has_type(c["stylesheet"], "CssStylesheet") && c["stylesheet"]["value"].is_string());
  if (c["total"] == 0) return;
  const json& page = c["first"];
  ASSERT_TRUE(is_iri(page["id"]) && has_type(page, "AnnotationPage"));
  ASSERT_EQ(page["partOf"], c["id"]);
  ASSERT_TRUE(page["items"].is_array());
  ASSERT_EQ(page["items"].size(), c["total"].get<size_t>());
  for (const json& a : page["items"]) check_annotation(a, c["stylesheet"]["id"]);
}

TEST(WebAnnotationTest, ExportFollowsTheModelAndCountsCharacters) {
  test::CountingClock clock;
  std::mt19937 rng(7);
  const std::string text = random_text(rng, 3000);
  const std::u32string chars = code_points(text);
  TagList tags;
  tags.default_style = 'E';
  for (int i = 0; i < 200; ++i) {
    const auto start = static_cast<int32_t>(rng() % (text.size() - 1));
    const auto end =
        start + 1 + static_cast<int32_t>(rng() % std::min<size_t>(40, text.size() - start - 1));
    std::string note = i % 3 == 0   ? ""
                       : i % 3 == 1 ? "note <b>&amp; “quoted”\nline"
                                    : "bad \xFF\xFE bytes";
    auto tag = make_tag(start, end, static_cast<unsigned char>('A' + i % 58), unique_time(), note);
    tags.insert_tag(tag);
  }

  const json exported = json::parse(export_json(text, tags));
  check_collection(exported);
  ASSERT_EQ(exported["glossmark:defaultStyle"], 'E');

  const CodePoints positions(text);
  const TagNode* n = tags.head();
  for (const json& a : exported["first"]["items"]) {
    const Tag& tag = *n->tag;
    n = n->next.get();
    const json& position = a["target"]["selector"][0];
    const json& quote = a["target"]["selector"][1];
    const auto first = position["start"].get<size_t>(), last = position["end"].get<size_t>();
    // The quote is the characters the position names, read by a plain decoder.
    std::u32string expected = chars.substr(first, last - first);
    EXPECT_EQ(code_points(quote["exact"].get<std::string>()), expected);
    EXPECT_EQ(code_points(quote["prefix"].get<std::string>()),
              chars.substr(first >= 32 ? first - 32 : 0, std::min<size_t>(first, 32)));
    EXPECT_EQ(code_points(quote["suffix"].get<std::string>()), chars.substr(last, 32));
    // Tags that start or end inside a character keep their bytes beside the characters.
    const bool aligned = positions.byte_of(static_cast<int64_t>(first)) == tag.start &&
                         positions.byte_of(static_cast<int64_t>(last)) == tag.end;
    EXPECT_EQ(position.contains("glossmark:byteStart"), !aligned);
    EXPECT_EQ(a.contains("body"), tag.has_note());
    if (tag.has_note()) {
      const bool readable = is_strict_utf8(tag.note());
      EXPECT_EQ(a["body"].contains("glossmark:percentEncoded"), !readable);
      if (readable) {
        EXPECT_EQ(a["body"]["value"], std::string(tag.note()));
      }
    }
  }
}

TEST(WebAnnotationTest, ExportThenImportGivesTheSameTagFileByteForByte) {
  test::CountingClock clock;  // a TagList is made with a time of its own
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  std::mt19937 rng(11);
  for (int round = 0; round < 150; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string text = random_text(rng, 1 + rng() % 400);
    const auto size = static_cast<int32_t>(text.size());
    // A tag file as the program or a damaged copy may leave it: any order, odd positions
    // inside characters, notes of any bytes, any header.
    test::TagFileBytes file(static_cast<int32_t>(rng()), static_cast<int32_t>(rng() % 1000),
                            static_cast<char>(rng() % 256));
    const int count = static_cast<int>(rng() % 30);
    for (int i = 0; i < count; ++i) {
      const auto start = static_cast<int32_t>(rng() % size);
      const auto end = start + 1 + static_cast<int32_t>(rng() % (size - start));
      std::string note;
      for (int k = static_cast<int>(rng() % 12); k > 0; --k) note += static_cast<char>(rng() % 256);
      if (!note.empty() && note.back() == '\0') note.back() = 'x';  // a note ends at its zero
      const auto time = static_cast<int32_t>(rng() % 5 == 0 ? rng() : 1000 + rng() % 3);
      file.tag(start, end, static_cast<char>('A' + rng() % 58), time, note);
    }
    ASSERT_TRUE(test::write_file(dir.file("original.tag"), file.bytes()));
    TagList original;
    CaptureStderr();
    ASSERT_EQ(read_tag_file(original, dir.file("original.tag").c_str()), 0);
    GetCapturedStderr();
    const std::string expected = tag_file_bytes(original, dir);

    TagList imported;
    const ImportReport report =
        import_annotations(export_json(text, original), text, kDocument, imported, true);
    ASSERT_FALSE(report.error) << *report.error;
    ASSERT_TRUE(report.unplaced.empty()) << report.unplaced.front();
    ASSERT_EQ(tag_file_bytes(imported, dir), expected);

    // A second import finds every Tag there already.
    const ImportReport again =
        import_annotations(export_json(text, original), text, kDocument, imported, false);
    EXPECT_EQ(again.added, 0u);
    EXPECT_EQ(again.present, original.size());
  }
}

// The tests below place annotations into a text that changed since the export.
struct Moved : testing::Test {
  test::CountingClock clock;
  std::string before = "Once upon a time there was a fox. The fox ran. Ünïcödé fox!\n";
  TagList tags;
  void SetUp() override {
    for (const char* word : {"fox. The", "fox ran", "Ünïcödé"}) {
      const auto start = static_cast<int32_t>(before.find(word));
      auto tag =
          make_tag(start, start + static_cast<int32_t>(std::strlen(word)), 'B', unique_time(), "n");
      tags.insert_tag(tag);
    }
  }
  ImportReport import(const std::string& json_text, const std::string& text, TagList& into) {
    return import_annotations(json_text, text, kDocument, into, false);
  }
};

TEST_F(Moved, QuotesFindTextThatMovedAndAmbiguityIsNeverGuessed) {
  const std::string json_text = export_json(before, tags);
  const std::string after = "A new first line.\n" + before;
  TagList into;
  ImportReport report = import(json_text, after, into);
  ASSERT_FALSE(report.error);
  EXPECT_EQ(report.added, 3u);
  for (const TagNode* n = into.head(); n; n = n->next.get()) {
    const Tag& t = *n->tag;
    const std::string_view placed(after.data() + t.start, static_cast<size_t>(t.end - t.start));
    EXPECT_NE(before.find(std::string(placed)), std::string::npos) << placed;
    EXPECT_GT(t.start, 17);
  }

  // "fox" twice with no context and no position: refused and listed, the rest added.
  const std::string bare = R"({"type":"Annotation","target":{"source":"file:///notes/text.txt",
      "selector":{"type":"TextQuoteSelector","exact":"fox"}}})";
  TagList none;
  report = import(bare, "fox and fox", none);
  EXPECT_EQ(report.added, 0u);
  ASSERT_EQ(report.unplaced.size(), 1u);
  EXPECT_TRUE(none.empty());

  // With a position the one clearly nearest wins; two about as near are refused.
  const std::string hinted = R"({"type":"Annotation","target":{"source":"file:///notes/text.txt",
      "selector":[{"type":"TextPositionSelector","start":8,"end":11},
                  {"type":"TextQuoteSelector","exact":"fox"}]}})";
  TagList near;
  report = import(hinted, "fox, then fox", near);  // 8..11 reads "n f"; 0 and 10 both close
  EXPECT_EQ(report.added, 0u);
  report = import(hinted, "hen, then fox" + std::string(200, '.') + "fox", none);
  ASSERT_EQ(report.added, 1u);
  EXPECT_EQ(none.head()->tag->start, 10);
  TagList tie;
  report = import(hinted, "xxfoxxxxxxxxxxfox", tie);  // 2 and 14 both lie 6 from 8
  EXPECT_EQ(report.added, 0u);
}

TEST_F(Moved, ImportKeepsTheTagsThereAndRefusesWrongInputWhole) {
  const std::string json_text = export_json(before, tags);
  TagList list;
  auto kept = make_tag(0, 4, 'K', 5, "mine");
  list.insert_tag(kept);
  list.top_line = 9;
  EXPECT_EQ(import(json_text, before, list).added, 3u);
  EXPECT_EQ(list.size(), 4u);
  EXPECT_EQ(list.head()->tag->note(), "mine");
  EXPECT_EQ(list.top_line, 9) << "a tag file that exists keeps its header";
  EXPECT_TRUE(list.in_order());

  const std::string good_source = R"("source":"file:///notes/text.txt")";
  for (const std::string& bad :
       {std::string("{not json"), std::string("[1,2]"), std::string(R"({"type":"AnnotationPage"})"),
        std::string(R"({"type":"Annotation"})"),
        std::string(R"({"type":"Annotation","target":{)") + good_source +
            R"(,"selector":{"type":"TextPositionSelector","start":-1,"end":3}}})",
        std::string(R"({"type":"Annotation","created":"yesterday","target":{)") + good_source +
            "}}",
        std::string(R"({"type":"Annotation","target":{"source":"file:///elsewhere/other.txt"}})"),
        std::string(500, '[') + std::string(500, ']')}) {
    SCOPED_TRACE(bad.substr(0, 80));
    TagList untouched;
    auto tag = make_tag(0, 4, 'K', 5, "mine");
    untouched.insert_tag(tag);
    const ImportReport report = import(bad, before, untouched);
    ASSERT_TRUE(report.error);
    EXPECT_EQ(report.error->find('\n'), std::string::npos) << "one line";
    EXPECT_EQ(untouched.size(), 1u);
  }
  // The same file name in another folder is the same document, moved.
  TagList moved;
  std::string elsewhere = json_text;
  for (size_t at = 0; (at = elsewhere.find("file:///notes/", at)) != std::string::npos;)
    elsewhere.replace(at, 14, "file:///home/x/");
  EXPECT_FALSE(import(elsewhere, before, moved).error);
  EXPECT_EQ(moved.size(), 3u);
}

// Annotations read as the parser completes them, on exports cut and changed at random and on
// shapes that put pages, ids and repeated keys where the early reading must leave them
// alone: the same report, the same Tags as reading the whole tree.
TEST(WebAnnotationTest, ReadingAsTheParserGoesAgreesWithTheWholeTree) {
  test::CountingClock clock;
  ScratchDir dir;
  ASSERT_TRUE(dir.ok());
  std::mt19937 rng(19);
  const std::string text = random_text(rng, 300);
  const auto size = static_cast<int32_t>(text.size());
  TagList tags;
  for (int i = 0; i < 12; ++i) {
    const auto start = static_cast<int32_t>(rng() % size);
    auto tag = make_tag(start, start + 1 + static_cast<int32_t>(rng() % (size - start)), 'C',
                        unique_time(), i % 2 ? "n" : "");
    tags.insert_tag(tag);
  }
  const std::string exported = export_json(text, tags);
  const std::string source = R"("source":"file:///notes/text.txt")";
  const std::string bare = R"({"type":"Annotation","target":{)" + source +
                           R"(,"selector":{"type":"TextPositionSelector","start":1,"end":4}}})";
  std::vector<std::string> inputs = {
      R"({"type":"AnnotationCollection","first":{"type":"AnnotationPage","items":[)" + bare +
          R"(],"next":{"type":"AnnotationPage","items":[)" + bare + "," + bare +
          R"(,{"type":"Annotation","created":"soon","target":{)" + source + "}}]}}}",
      R"({"type":"AnnotationPage","items":[{"id":1,"type":"Annotation","target":{)" + source +
          R"(,"selector":{"type":"TextPositionSelector","start":2,"end":3}}}],"items":[)" + bare +
          "]}",
      R"({"type":"AnnotationPage","items":[{"type":"Annotation","body":{"type":"List","items":[)" +
          bare + R"(]},"target":{)" + source + "}}," + bare + "]}",
      R"({"type":"AnnotationCollection","glossmark:topLine":"x","first":{"items":[)" + bare +
          R"(],"type":"AnnotationPage"}})"};
  for (int i = 0; i < 300; ++i) {
    std::string changed = exported;
    const size_t at = rng() % changed.size();
    if (i % 3 == 0) changed.resize(at);
    if (i % 3 == 1) changed[at] = "\"{}[],:0a-"[rng() % 11];
    if (i % 3 == 2) changed.erase(at, rng() % 40);
    inputs.push_back(changed);
  }
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input.substr(0, 120));
    // Each list takes a time of its own; both readings then stamp annotations without a time
    // at the same moment.
    static int32_t now = 1'700'000'000;
    set_time_source([] { return ++now; });
    TagList streamed, whole;
    set_time_source([] { return now; });
    const ImportReport a = import_annotations(input, text, kDocument, streamed, true);
    const ImportReport b =
        import_annotations(input, text, kDocument, whole, true, Reading::whole_tree);
    ASSERT_EQ(a.error, b.error);
    ASSERT_EQ(a.unplaced, b.unplaced);
    ASSERT_EQ(a.added, b.added);
    ASSERT_EQ(a.present, b.present);
    ASSERT_EQ(tag_file_bytes(streamed, dir), tag_file_bytes(whole, dir));
  }
}

TEST(TextPositionsTest, CharacterPositionsAgreeWithAPlainDecoderAtEveryByte) {
  std::mt19937 rng(3);
  const std::string text = random_text(rng, 5000);  // many blocks of the index
  const CodePoints positions(text);
  int64_t chars = 0;
  std::vector<int64_t> starts;
  for (size_t i = 0; i <= text.size(); ++i) {
    const bool boundary = i == text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (boundary && i < text.size()) starts.push_back(static_cast<int64_t>(i));
    const auto p = static_cast<int64_t>(i);
    ASSERT_EQ(positions.ceil(p), chars) << i;
    ASSERT_EQ(positions.floor(p), boundary ? chars : chars - 1) << i;
    if (boundary && i < text.size()) ++chars;
  }
  ASSERT_EQ(positions.size(), static_cast<int64_t>(starts.size()));
  ASSERT_EQ(static_cast<int64_t>(code_points(text).size()), positions.size());
  for (size_t c = 0; c < starts.size(); ++c) {
    const auto at = static_cast<int64_t>(c);
    ASSERT_EQ(positions.byte_of(at), starts[c]);
    // The walk to the context agrees with the index.
    for (const int64_t k : {1, 32}) {
      ASSERT_EQ(positions.back_from(starts[c], k), positions.byte_of(std::max<int64_t>(0, at - k)));
      ASSERT_EQ(positions.forward_from(starts[c], k), positions.byte_of(at + k));
    }
  }
  EXPECT_EQ(positions.byte_of(positions.size()), static_cast<int64_t>(text.size()));
  // The strict form that JSON carries keeps every character in its place.
  EXPECT_EQ(code_points(strict_utf8(text)), code_points(text));
  EXPECT_TRUE(is_strict_utf8(strict_utf8(text)));
}

TEST(TextPositionsTest, TimesTravelAsIso8601AndBackOverThe32BitRange) {
  for (const int32_t t : {INT32_MIN, -1, 0, 1000000000, INT32_MAX}) {
    int32_t back = 0;
    bool out = false;
    ASSERT_TRUE(parse_iso_time(iso_time(t), back, out)) << iso_time(t);
    EXPECT_EQ(back, t);
  }
  EXPECT_EQ(iso_time(1000000000), "2001-09-09T01:46:40Z");
  int32_t t = 0;
  bool out = false;
  EXPECT_TRUE(parse_iso_time("2001-09-09T03:46:40.250+02:00", t, out));
  EXPECT_EQ(t, 1000000000);
  EXPECT_FALSE(parse_iso_time("2001-09-09T01:46:40", t, out)) << "no zone";
  EXPECT_FALSE(parse_iso_time("2001-13-09T01:46:40Z", t, out));
  EXPECT_FALSE(parse_iso_time("2040-01-01T00:00:00Z", t, out));
  EXPECT_TRUE(out);
}

}  // namespace
}  // namespace gm
