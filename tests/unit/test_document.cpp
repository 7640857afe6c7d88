#include <FL/fl_utf8.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "document/document.h"
#include "document_test_support.h"
#include "tags/tag_file.h"

namespace gm {
namespace {

using namespace std::string_literals;
using test::LocaleGuard;
using test::TagFileBytes;
using test::TempDir;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// start, end, style of every Tag, in list order.
using Spans = std::vector<std::tuple<int32_t, int32_t, char>>;
Spans spans(const TagList& tags) {
  Spans out;
  for (const TagNode* node = tags.head(); node; node = node->next.get())
    out.emplace_back(node->tag->start, node->tag->end, static_cast<char>(node->tag->style));
  return out;
}

// A TagList takes a unique time stamp when made; a counting clock keeps that from waiting
// for the next second in every test.
class CountingClock {
 public:
  CountingClock() {
    set_time_source([] { return ++now_; });
  }
  ~CountingClock() { set_time_source(nullptr); }
  CountingClock(const CountingClock&) = delete;
  CountingClock& operator=(const CountingClock&) = delete;

 private:
  static inline int32_t now_ = 1000;
};

class OpenDocument : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }

  // A document and, when tag_bytes is given, its tag file; answers the document path.
  std::string make(const std::string& name, const std::string& text,
                   const std::string* tag_bytes = nullptr) {
    const std::string path = dir_.file(name);
    EXPECT_TRUE(test::write_file(path, text));
    if (tag_bytes) {
      EXPECT_TRUE(test::write_file(tag_file_name(path), *tag_bytes));
    }
    return path;
  }

  // open_document with both streams captured into out_ and err_.
  int open(const std::string& path) {
    CaptureStdout();
    CaptureStderr();
    const int result = open_document(doc_, tags_, path.c_str());
    out_ = GetCapturedStdout();
    err_ = GetCapturedStderr();
    return result;
  }
  std::string text() const { return doc_.data ? std::string(doc_.data->view()) : "<none>"; }

  CountingClock clock_;  // before tags_
  TempDir dir_;
  DocumentState doc_;
  TagList tags_;
  std::string out_, err_;
};

TEST_F(OpenDocument, LoadsTextAndFitsTheTagsToIt) {
  const std::string tag_bytes = TagFileBytes(7, 3, 'B')
                                    .tag(0, 4, 'C', 100, "note")
                                    .tag(5, 30, '@', 101)   // runs past the end: cut
                                    .tag(18, 30, '{', 102)  // wholly beyond: dropped
                                    .bytes();
  const std::string path = make("doc.txt", "line one\r\nline two\r\n", &tag_bytes);

  ASSERT_EQ(open(path), 0);
  EXPECT_EQ(text(), "line one\nline two\n");
  EXPECT_EQ(doc_.path, path);
  EXPECT_FALSE(doc_.display_path);
  EXPECT_EQ(out_, "cut size 18\n");  // the LF form counts
  EXPECT_EQ(err_, "");
  EXPECT_EQ(spans(tags_), (Spans{{0, 4, 'C'}, {5, 18, 'A'}}));
  EXPECT_EQ(tags_.top_line, 7);
  EXPECT_EQ(tags_.top_column, 3);
  EXPECT_EQ(tags_.default_style, 'B');
}

TEST_F(OpenDocument, WithoutATagFileOpensWithNoTags) {
  const std::string first_tags = TagFileBytes(4, 2, 'C').tag(0, 1, 'D', 5).bytes();
  ASSERT_EQ(open(make("first.txt", "abc", &first_tags)), 0);

  ASSERT_EQ(open(make("second.txt", "hello")), 0);
  EXPECT_EQ(text(), "hello");
  EXPECT_TRUE(tags_.empty());
  EXPECT_EQ(tags_.top_line, 4) << "the view position stays when there is no tag file";
  EXPECT_EQ(out_, "Warning: fail to load tag file!\ncut size 5\n");
  EXPECT_NE(err_.find("fopen:"), std::string::npos);
}

TEST_F(OpenDocument, EmptyDocumentDropsEveryTag) {
  const std::string tag_bytes = TagFileBytes(1, 0, 'A').tag(0, 3, 'C', 1).bytes();
  ASSERT_EQ(open(make("empty.txt", "", &tag_bytes)), 0);
  EXPECT_EQ(text(), "");
  EXPECT_TRUE(tags_.empty());
  EXPECT_EQ(out_, "cut size 0\n");
}

TEST_F(OpenDocument, ZeroBytesKeepTheirPositions) {
  const std::string tag_bytes = TagFileBytes(1, 0, 'A').tag(3, 5, 'C', 1).bytes();
  ASSERT_EQ(open(make("zeros.txt", "ab\0cd\0"s, &tag_bytes)), 0);
  EXPECT_EQ(text(),
            "ab\x1A"
            "cd\x1A");
  EXPECT_EQ(out_, "cut size 6\n");
  EXPECT_EQ(spans(tags_), (Spans{{3, 5, 'C'}}));
}

TEST_F(OpenDocument, FailureKeepsThePreviousPathAndTags) {
  const std::string tag_bytes = TagFileBytes(2, 0, 'A').tag(1, 2, 'E', 9).bytes();
  const std::string path = make("doc.txt", "text", &tag_bytes);
  ASSERT_EQ(open(path), 0);

  EXPECT_EQ(open(dir_.file("missing.txt")), -1);
  EXPECT_EQ(err_, "fopen:: No such file or directory\n");
  EXPECT_EQ(out_, "");
  EXPECT_FALSE(doc_.data);
  EXPECT_EQ(doc_.path, path);
  EXPECT_EQ(spans(tags_), (Spans{{1, 2, 'E'}}));

  EXPECT_EQ(open_document(doc_, tags_, nullptr), -1);
  EXPECT_EQ(doc_.path, path);
}

TEST_F(OpenDocument, RefusesNonUtf8InAUtf8Locale) {
  test::in_fresh_process(
      [this] {
        const LocaleGuard locale(test::kUtf8Locale);
        ASSERT_TRUE(locale.ok());
        const std::string tag_bytes = TagFileBytes(1, 0, 'A').tag(0, 2, 'C', 1).bytes();
        const std::string good = make("good.txt", "fine", &tag_bytes);
        ASSERT_EQ(open(good), 0);

        const std::string bad_tags = TagFileBytes(1, 0, 'A').bytes();
        EXPECT_EQ(open(make("bad.txt", "caf\xC3\xA9 \xE9", &bad_tags)), -1);
        EXPECT_EQ(out_, "Not UTF-8\n");
        EXPECT_EQ(err_, "Do not know file encoding. fail to convert.\n");
        EXPECT_FALSE(doc_.data);
        EXPECT_EQ(doc_.path, good);
        EXPECT_EQ(spans(tags_), (Spans{{0, 2, 'C'}})) << "the tag file is read only after success";
      },
      &dir_);
}

TEST_F(OpenDocument, ConvertsFromTheCodePageInANonUtf8Locale) {
  if (!test::locale_exists(test::kLatin1Locale))
    GTEST_SKIP() << test::kLatin1Locale << " missing: run scripts/make-test-locale.sh";
  test::in_fresh_process(
      [this] {
        const LocaleGuard locale(test::kLatin1Locale);
        // UTF-8 but for one byte: converted whole, so the valid pair turns into two characters.
        const std::string tag_bytes = TagFileBytes(1, 0, 'A').tag(4, 40, 'C', 1).bytes();
        const std::string path = make("latin1.txt", "caf\xE9 \xC3\xA9\r\n", &tag_bytes);
        ASSERT_EQ(open(path), 0);
        EXPECT_EQ(text(), "caf\xC3\xA9 \xC3\x83\xC2\xA9\n");
        EXPECT_NE(fl_utf8test(doc_.data->data(), doc_.data->size()), 0);
        EXPECT_EQ(out_,
                  "Not UTF-8\n"
                  "file in nonUTF8 encoding!Converting from 8 bytes...\n"
                  "to 11 bytes... \n"
                  "data_size=8\n"
                  "data_size=11\n"
                  "cut size 11\n");
        EXPECT_EQ(err_, "");
        EXPECT_EQ(spans(tags_), (Spans{{4, 11, 'C'}}));
      },
      &dir_);
}

TEST_F(OpenDocument, DisplayPathOnlyForAPathThatIsNotUtf8) {
  if (!test::locale_exists(test::kLatin1Locale))
    GTEST_SKIP() << test::kLatin1Locale << " missing: run scripts/make-test-locale.sh";
  test::in_fresh_process(
      [this] {
        const LocaleGuard locale(test::kLatin1Locale);
        const std::string latin1 = make("caf\xE9.txt", "x");
        ASSERT_EQ(open(latin1), 0);
        EXPECT_EQ(doc_.path, latin1);
        EXPECT_EQ(doc_.display_path, dir_.file("caf\xC3\xA9.txt"));

        EXPECT_EQ(open(dir_.file("gone\xE9.txt")), -1);
        EXPECT_EQ(doc_.display_path, dir_.file("caf\xC3\xA9.txt")) << "a failed open keeps it";

        ASSERT_EQ(open(make("caf\xC3\xA9.txt", "y")), 0);
        EXPECT_FALSE(doc_.display_path);
      },
      &dir_);
}

// Numbered lines, no two alike.
std::string lines(const char* what, int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += "line " + std::to_string(i) + " of the " + what + " part\n";
  return text;
}

// Fitting the Tags to a shorter text drops those beyond its end; re-anchoring still names
// them: one found is added back where its text went, one not found is kept unplaced at once.
TEST_F(OpenDocument, TagsBeyondAShorterTextAreAddedWhereFoundOrKeptUnplaced) {
  const std::string head = lines("first", 8), body = lines("second", 8), gap = lines("third", 3);
  const auto at = [&](size_t offset) { return static_cast<int32_t>(offset); };
  const int32_t alpha = at(head.size() + body.size());
  const int32_t omega = at(alpha + 5 + gap.size());
  const std::string path = make("doc.txt", head + body + "alpha" + gap + "omega\n");
  ASSERT_EQ(open(path), 0);
  auto tag = make_tag(alpha, alpha + 5, 'C', 100, "a");
  tags_.insert_tag(tag);
  tag = make_tag(omega, omega + 5, 'D', 200, "o");
  tags_.insert_tag(tag);
  ASSERT_EQ(write_tag_file(tags_, tag_file_name(path).c_str()), 0);
  ASSERT_EQ(save_anchors(doc_, tags_, {}), 0);

  // The first part and "omega" gone: both old ranges lie past the end.
  ASSERT_TRUE(test::write_file(path, body + "alpha" + gap + "\n"));
  CaptureStdout();
  const std::unique_ptr<LoadedDocument> loaded = load_document(path.c_str(), tags_);
  GetCapturedStdout();
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(loaded->tags.empty());
  ASSERT_TRUE(loaded->followed);
  EXPECT_EQ(loaded->followed->followed(), 1u);
  EXPECT_EQ(loaded->followed->not_placed(), 1u);
  EXPECT_TRUE(loaded->following.moves.empty());
  EXPECT_TRUE(loaded->following.taken_out.empty());
  ASSERT_EQ(loaded->following.added.size(), 1u);
  const Tag& added = *loaded->following.added[0];
  EXPECT_EQ(std::make_tuple(added.start, added.end, added.note()),
            std::make_tuple(at(body.size()), at(body.size() + 5), std::string_view("a")));
  ASSERT_EQ(loaded->unplaced.size(), 1u);
  EXPECT_EQ(loaded->unplaced[0].quote.exact, "omega");
  EXPECT_EQ(loaded->unplaced[0].note, "o");
}

}  // namespace
}  // namespace gm
