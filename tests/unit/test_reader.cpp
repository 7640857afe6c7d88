#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <thread>

#include "document/reader.h"
#include "document_test_support.h"

namespace gm {
namespace {

using test::TempDir;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// What text-mode reading makes of a whole file: CR LF pairs become LF, SUB ends the text.
std::string translated(const std::string& raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\x1A') break;
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    out += raw[i];
  }
  return out;
}

class ReadWholeFile : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }

  // Reads a file holding raw; answers the result and leaves the text in text_.
  int64_t read_bytes(const std::string& raw) {
    const std::string path = dir_.file("doc.txt");
    EXPECT_TRUE(test::write_file(path, raw));
    text_.clear();
    return read_whole_file(text_, path.c_str());
  }

  TempDir dir_;
  std::string text_;
};

TEST_F(ReadWholeFile, TranslatesLineEndsAndStopsAtEndOfText) {
  using namespace std::string_literals;
  const struct {
    std::string raw, expected;
  } cases[] = {
      {"a\r\nb\r\n", "a\nb\n"},
      {"a\rb", "a\rb"},        // lone CR stays
      {"a\r", "a\r"},          // CR at end of file stays
      {"a\r\r\nb", "a\r\nb"},  // only the CR right before the LF goes
      {"\n\r\n\r", "\n\n\r"},
      {"ab\x1A"
       "cd\r\n",
       "ab"},                 // SUB ends the text
      {"a\r\x1A\nb", "a\r"},  // a CR before SUB has no LF to join
      {"\x1A", ""},
      {"x\0y\r\n"s, "x\0y\n"s},  // zero bytes are ordinary bytes here
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.raw));
    EXPECT_EQ(read_bytes(c.raw), static_cast<int64_t>(c.expected.size()));
    EXPECT_EQ(text_, c.expected);
  }
}

TEST_F(ReadWholeFile, JoinsCrLfAcrossChunkBoundaries) {
  // CR as the last byte of the first chunk, LF as the first of the second.
  std::string raw(kReadChunk - 1, 'x');
  raw += "\r\ny";
  EXPECT_EQ(read_bytes(raw), static_cast<int64_t>(kReadChunk + 1));
  EXPECT_EQ(text_, std::string(kReadChunk - 1, 'x') + "\ny");

  // CR ending a chunk with no LF after it stays.
  raw = std::string(kReadChunk - 1, 'x') + "\rz";
  EXPECT_EQ(read_bytes(raw), static_cast<int64_t>(raw.size()));
  EXPECT_EQ(text_, raw);

  // CR ending the file exactly at a chunk end stays.
  raw = std::string(kReadChunk - 1, 'x') + "\r";
  EXPECT_EQ(read_bytes(raw), static_cast<int64_t>(kReadChunk));
  EXPECT_EQ(text_, raw);

  // SUB in a later chunk ends the text there.
  raw = std::string(kReadChunk + 10, 'x') + "\x1A" + "tail";
  EXPECT_EQ(read_bytes(raw), static_cast<int64_t>(kReadChunk + 10));
}

TEST_F(ReadWholeFile, MatchesTextModeOnDenseLineEndsOverManyChunks) {
  std::mt19937 random(7);
  const char alphabet[] = {'\r', '\n', 'a', '\r', '\n', 'b'};
  std::string raw(3 * kReadChunk + 12345, ' ');
  for (char& c : raw) c = alphabet[random() % sizeof alphabet];
  const std::string expected = translated(raw);
  EXPECT_EQ(read_bytes(raw), static_cast<int64_t>(expected.size()));
  EXPECT_TRUE(text_ == expected) << "translation differs from the reference";
}

TEST_F(ReadWholeFile, AppendsWithoutJoiningOntoEarlierText) {
  const std::string path = dir_.file("doc.txt");
  ASSERT_TRUE(test::write_file(path, "\nnext\r\n"));
  std::string text = "before\r";
  EXPECT_EQ(read_whole_file(text, path.c_str()), 13);
  EXPECT_EQ(text, "before\r\nnext\n");
}

TEST_F(ReadWholeFile, EmptyFileGivesNothing) {
  EXPECT_EQ(read_bytes(""), 0);
  EXPECT_TRUE(text_.empty());
}

TEST_F(ReadWholeFile, ReadsFromAPipe) {
  // Not a regular file: no size to reserve from, several chunks.
  const std::string fifo = dir_.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string raw;
  while (raw.size() < 2 * kReadChunk + 100) raw += "line of text\r\n";
  std::thread writer([&] { test::write_file(fifo, raw); });
  std::string text;
  const int64_t size = read_whole_file(text, fifo.c_str());
  writer.join();
  EXPECT_EQ(size, static_cast<int64_t>(translated(raw).size()));
  EXPECT_TRUE(text == translated(raw));
}

TEST_F(ReadWholeFile, FailuresReportAndAnswerMinusOne) {
  std::string text = "kept";

  CaptureStderr();
  EXPECT_EQ(read_whole_file(text, nullptr), -1);
  EXPECT_EQ(GetCapturedStderr(), "");

  CaptureStderr();
  EXPECT_EQ(read_whole_file(text, dir_.file("missing.txt").c_str()), -1);
  EXPECT_EQ(GetCapturedStderr(), "fopen:: No such file or directory\n");

  CaptureStderr();
  EXPECT_EQ(read_whole_file(text, dir_.path().c_str()), -1);
  EXPECT_EQ(GetCapturedStderr(), "fread: Is a directory\n");

  EXPECT_EQ(text, "kept");
}

TEST_F(ReadWholeFile, UnreadableFileFailsToOpen) {
  const std::string path = dir_.file("secret.txt");
  ASSERT_TRUE(test::write_file(path, "secret"));
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  if (access(path.c_str(), R_OK) == 0)
    GTEST_SKIP() << "running as root: mode 000 is still readable";
  std::string text;
  CaptureStderr();
  EXPECT_EQ(read_whole_file(text, path.c_str()), -1);
  EXPECT_EQ(GetCapturedStderr(), "fopen:: Permission denied\n");
}

TEST_F(ReadWholeFile, RefusesAFileOver2GiBBeforeReadingIt) {
  // A sparse file: the size is there, the disk blocks are not.
  const std::string path = dir_.file("huge.txt");
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  const bool sized = ftruncate(fd, kMaxDocumentSize + 1) == 0;
  close(fd);
  ASSERT_TRUE(sized);
  std::string text;
  CaptureStderr();
  EXPECT_EQ(read_whole_file(text, path.c_str()), -1);
  EXPECT_EQ(GetCapturedStderr(), "Document too large: over 2 GiB cannot be opened.\n");
  EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace gm
