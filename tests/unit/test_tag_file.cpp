#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tags/tag.h"
#include "tags/tag_file.h"
#include "tags/tag_file_faults.h"
#include "tags_test_support.h"

namespace gm {
namespace {

namespace fs = std::filesystem;
using test::append_all;
using test::Identity;
using test::identities;
using test::TagRecord;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

std::string le32(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
}

std::string record(int32_t start, int32_t end, char style, int32_t time, int32_t textsize,
                   const std::string& text = "") {
  return le32(start) + le32(end) + style + le32(time) + le32(textsize) + text;
}

std::string header(int32_t line, int32_t column, char style) {
  return le32(line) + le32(column) + style;
}

std::string with_errno(const char* prefix, int error) {
  return std::string(prefix) + ": " + std::strerror(error) + "\n";
}

class TagFileTest : public testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "gm-tagfile-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    set_tag_file_fault(nullptr);
    fs::remove_all(dir);
  }

  std::string path(const std::string& name) const { return dir + "/" + name; }

  static std::string contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void put(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  }

  // Answer and standard error of one call.
  std::pair<int, std::string> read(const std::string& file) {
    CaptureStderr();
    const int answer = read_tag_file(list, file.c_str());
    return {answer, GetCapturedStderr()};
  }
  std::pair<int, std::string> write(const std::string& file) {
    CaptureStderr();
    const int answer = write_tag_file(list, file.c_str());
    return {answer, GetCapturedStderr()};
  }

  size_t files_in_dir() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }

  void mark_header() {
    list.top_line = 77;
    list.top_column = 88;
    list.default_style = 'Q';
  }

  test::CountingClock clock;
  TagList list;
  std::string dir;
};

TEST_F(TagFileTest, WritesTheDocumentedBytes) {
  list.top_line = 1;
  append_all(list, {{3, 8, 1000000000, 'C', "hi"}});
  EXPECT_EQ(write(path("a.tag")), std::make_pair(0, std::string()));
  const std::string expected("\x01\0\0\0\0\0\0\0\x41\x03\0\0\0\x08\0\0\0\x43\x00\xCA\x9A\x3B\x03\0\0\0hi\0",
                             29);
  EXPECT_EQ(contents(path("a.tag")), expected);

  TagList back;
  EXPECT_EQ(read_tag_file(back, path("a.tag").c_str()), 0);
  EXPECT_EQ(back.top_line, 1);
  EXPECT_EQ(back.default_style, 'A');
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back.head()->tag->style, 'C');
  EXPECT_EQ(back.head()->tag->note(), "hi");
}

TEST_F(TagFileTest, EmptyListWritesTheHeaderAndWarns) {
  list.top_line = 4;
  list.top_column = 2;
  list.default_style = 'E';
  EXPECT_EQ(write(path("e.tag")), std::make_pair(0, std::string("Warning: NULL list\n")));
  EXPECT_EQ(contents(path("e.tag")), header(4, 2, 'E'));
  mark_header();
  EXPECT_EQ(read(path("e.tag")), std::make_pair(0, std::string()));
  EXPECT_EQ(list.top_line, 4);
  EXPECT_EQ(list.top_column, 2);
  EXPECT_EQ(list.default_style, 'E');
  EXPECT_TRUE(list.empty());
}

TEST_F(TagFileTest, RoundTripKeepsEveryFieldAndTheFileOrder) {
  list.top_line = -3;
  list.top_column = 123456;
  list.default_style = 0xF0;  // damaged, yet carried unchanged
  append_all(list, {{50, 60, 3, 'z', "line one\nline two\r\n"},
                    {0, 100, 2, '{'},
                    {-20, 2147483647, -5, 0x80, "\xC3\xA9t\xC3\xA9"},
                    {50, 60, 4, 'A', "x"}});
  ASSERT_EQ(write(path("r.tag")).first, 0);
  const std::string first = contents(path("r.tag"));
  EXPECT_EQ(first.size(), 9u + 4 * 17 + 20 + 0 + 6 + 2);

  TagList back;
  ASSERT_EQ(read_tag_file(back, path("r.tag").c_str()), 0);
  EXPECT_EQ(identities(back), identities(list));
  EXPECT_FALSE(back.in_order());
  for (const TagNode *a = list.head(), *b = back.head(); a; a = a->next.get(), b = b->next.get()) {
    EXPECT_EQ(a->tag->style, b->tag->style);
    EXPECT_EQ(a->tag->textsize, b->tag->textsize);
    EXPECT_EQ(a->tag->note(), b->tag->note());
    EXPECT_EQ(b->tag->text == nullptr, b->tag->textsize == 0);
  }
  ASSERT_EQ(write_tag_file(back, path("r2.tag").c_str()), 0);
  EXPECT_EQ(contents(path("r2.tag")), first);
  EXPECT_EQ(back.default_style, 0xF0);
}

TEST_F(TagFileTest, PathFallsBackToTheListsOwnPath) {
  EXPECT_EQ(write_tag_file(list, nullptr), -1);
  append_all(list, {{1, 2, 3}});
  CaptureStderr();
  EXPECT_EQ(read_tag_file(list, nullptr), -1);
  EXPECT_EQ(GetCapturedStderr(), "filename should not be NULL\n");
  EXPECT_EQ(list.size(), 1u) << "untouched without a path";

  list.path = path("own.tag");
  EXPECT_EQ(write_tag_file(list, nullptr), 0);
  EXPECT_EQ(read_tag_file(list, nullptr), 0);
  EXPECT_EQ(list.size(), 1u);
}

TEST_F(TagFileTest, MissingFileEmptiesTheListButKeepsTheHeaderFields) {
  append_all(list, {{1, 2, 3}});
  mark_header();
  EXPECT_EQ(read(path("none.tag")), std::make_pair(-1, with_errno("fopen:", ENOENT)));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.top_line, 77);
  EXPECT_EQ(list.top_column, 88);
  EXPECT_EQ(list.default_style, 'Q');
}

TEST_F(TagFileTest, ReadErrorIsToldApartFromTheEnd) {
  mark_header();
  EXPECT_EQ(read(dir), std::make_pair(-1, std::string("error fread:\n")));  // a folder
  EXPECT_EQ(list.top_line, 0);
  EXPECT_EQ(list.top_column, 88);
}

// Three records, the middle one without a note: cut after every byte count.
TEST_F(TagFileTest, TruncationAtEveryOffsetKeepsTheCompleteRecords) {
  const std::string file = header(12, 3, 'E') + record(3, 8, 'C', 1000, 3, std::string("hi", 3)) +
                           record(10, 20, 'D', 2000, 0) +
                           record(30, 40, 'E', 3000, 7, std::string("note\n2", 7));
  const size_t record_at[] = {9, 29, 46, file.size()};
  ASSERT_EQ(file.size(), 70u);

  for (size_t k = 0; k <= file.size(); ++k) {
    SCOPED_TRACE("bytes kept: " + std::to_string(k));
    put(path("t.tag"), file.substr(0, k));
    append_all(list, {{1, 2, 3}});
    mark_header();
    int answer = -1;
    std::string message;
    size_t kept = 0;
    if (k < 9) {
      message = k < 8 ? "invalid tag file. fread:\n" : "getc:\n";
    } else {
      while (kept < 3 && k >= record_at[kept + 1]) ++kept;
      const size_t into = k - record_at[kept];
      if (k == file.size() || into < 4) answer = 0;
      else if (into < 8) message = "fread end\n";
      else if (into < 9) message = "fread style\n";
      else if (into < 13) message = "fread time\n";
      else if (into < 17) message = "fread textsize\n";
      else message = "fread tag text\n";
    }
    EXPECT_EQ(read(path("t.tag")), std::make_pair(answer, message));
    EXPECT_EQ(list.top_line, k < 4 ? 0 : 12);
    EXPECT_EQ(list.top_column, k < 4 ? 88 : k < 8 ? 0 : 3);
    EXPECT_EQ(list.default_style, k < 8 ? 'Q' : k < 9 ? 'A' : 'E');
    ASSERT_EQ(list.size(), kept);
    if (kept > 0) {
      EXPECT_EQ(list.head()->tag->note(), "hi");
    }
  }
}

TEST_F(TagFileTest, DamagedNotesAreRefusedLikeAFailedRead) {
  const std::string good = header(1, 0, 'A') + record(3, 8, 'C', 1000, 0);
  const std::string damaged[] = {
      record(5, 9, 'C', 1001, -1, "abc"),
      record(5, 9, 'C', 1001, 0x7fffffff, std::string("abc", 4)),
      record(5, 9, 'C', 1001, 6, std::string("abc", 4)),
      record(5, 9, 'C', 1001, 4, "abcd"),  // no terminating zero
  };
  for (const std::string& bad : damaged) {
    put(path("d.tag"), good + bad);
    EXPECT_EQ(read(path("d.tag")), std::make_pair(-1, std::string("fread tag text\n")));
    EXPECT_EQ(identities(list), (std::vector<Identity>{{3, 8, 1000}}));
  }
}

TEST_F(TagFileTest, RecordsOfAnIdentityAlreadyReadAreSkipped) {
  put(path("dup.tag"), header(1, 0, 'A') + record(3, 8, 'C', 1000, 0) + record(9, 12, 'D', 5, 0) +
                           record(3, 8, 'Z', 1000, 2, std::string("x", 2)) +
                           record(3, 8, 'E', 1001, 0));
  EXPECT_EQ(read(path("dup.tag")),
            std::make_pair(0, std::string("skip duplicate tag record start: 3 end: 8\n")));
  EXPECT_EQ(identities(list), (std::vector<Identity>{{3, 8, 1000}, {9, 12, 5}, {3, 8, 1001}}));
  EXPECT_EQ(list.head()->tag->style, 'C');
}

TEST_F(TagFileTest, NonUtf8AndUtf8NamesBothWork) {
  append_all(list, {{1, 2, 3, 'C', "n"}});
  for (const std::string name : {"caf\xE9.tag", "caf\xC3\xA9.tag"}) {
    ASSERT_EQ(write_tag_file(list, path(name).c_str()), 0);
    EXPECT_TRUE(fs::exists(path(name)));
    TagList back;
    EXPECT_EQ(read_tag_file(back, path(name).c_str()), 0);
    EXPECT_EQ(back.size(), 1u);
  }
}

TEST_F(TagFileTest, ReplacingKeepsPermissionsAndSymbolicLinks) {
  append_all(list, {{1, 2, 3}});
  ASSERT_EQ(write_tag_file(list, path("p.tag").c_str()), 0);
  chmod(path("p.tag").c_str(), 0640);
  ASSERT_EQ(write_tag_file(list, path("p.tag").c_str()), 0);
  struct stat st {};
  ASSERT_EQ(stat(path("p.tag").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  const mode_t old_mask = umask(027);
  ASSERT_EQ(write_tag_file(list, path("new.tag").c_str()), 0);
  umask(old_mask);
  ASSERT_EQ(stat(path("new.tag").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  fs::create_symlink("p.tag", path("link.tag"));
  list.top_line = 99;
  ASSERT_EQ(write_tag_file(list, path("link.tag").c_str()), 0);
  EXPECT_TRUE(fs::is_symlink(path("link.tag")));
  EXPECT_EQ(contents(path("p.tag")).substr(0, 4), le32(99));
}

TEST_F(TagFileTest, UnwritableTargetsReportFopen) {
  append_all(list, {{1, 2, 3}});
  EXPECT_EQ(write(path("no/such/dir.tag")), std::make_pair(-1, with_errno("fopen", ENOENT)));
  EXPECT_EQ(write(dir), std::make_pair(-1, with_errno("fopen", EISDIR)));
}

TagFileStep g_failing_step;
size_t g_written_before_failure = 0;
bool fail_chosen_step(TagFileStep step, size_t* written) {
  if (step != g_failing_step) return false;
  *written = g_written_before_failure;
  return true;
}

class TagFileFaultTest : public TagFileTest {
protected:
  void SetUp() override {
    TagFileTest::SetUp();
    append_all(list, {{1, 2, 3, 'C', "old"}});
    ASSERT_EQ(write_tag_file(list, target().c_str()), 0);
    chmod(target().c_str(), 0604);
    old_bytes = contents(target());
    list.clear();
    append_all(list, {{5, 9, 10, 'D', "new"}, {7, 8, 11, 'E'}});
    set_tag_file_fault(&fail_chosen_step);
  }

  std::string target() const { return path("f.tag"); }
  void expect_old_file_intact() {
    EXPECT_EQ(contents(target()), old_bytes);
    EXPECT_EQ(files_in_dir(), 1u) << "the temporary file was left behind";
    struct stat st {};
    ASSERT_EQ(stat(target().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
  }
  void reset_header() {
    list.top_line = 5;
    list.top_column = 6;
    list.default_style = 'G';
  }

  std::string old_bytes;
};

TEST_F(TagFileFaultTest, AWriteCutAnywhereReportsItsFieldAndKeepsTheOldFile) {
  const size_t total = 9 + 17 + 4 + 17;
  for (size_t k = 0; k < total; ++k) {
    SCOPED_TRACE("bytes written: " + std::to_string(k));
    reset_header();
    g_failing_step = TagFileStep::write;
    g_written_before_failure = k;
    const char* message = k < 8 ? "fwrite:\n" : k < 9 ? "putc\n"
                          : k >= 26 && k < 30 ? "fwrite tag text\n" : "fwrite\n";
    EXPECT_EQ(write(target()), std::make_pair(-1, std::string(message)));
    EXPECT_EQ(list.top_line, k < 4 ? 0 : 5);
    EXPECT_EQ(list.top_column, k >= 4 && k < 8 ? 0 : 6);
    EXPECT_EQ(list.default_style, k == 8 ? 'A' : 'G');
    expect_old_file_intact();
  }
}

TEST_F(TagFileFaultTest, CreateSyncAndRenameFailuresKeepTheOldFile) {
  const std::pair<TagFileStep, const char*> steps[] = {
      {TagFileStep::create, "fopen"}, {TagFileStep::fsync, "fsync"}, {TagFileStep::rename, "rename"}};
  for (const auto& [step, prefix] : steps) {
    g_failing_step = step;
    EXPECT_EQ(write(target()), std::make_pair(-1, with_errno(prefix, EIO)));
    expect_old_file_intact();
  }
  set_tag_file_fault(nullptr);
  EXPECT_EQ(write(target()).first, 0);
  EXPECT_NE(contents(target()), old_bytes);
  struct stat st {};
  ASSERT_EQ(stat(target().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
}

}  // namespace
}  // namespace gm
