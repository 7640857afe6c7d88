// Documents that are not what a text file should be, opened into the real window: each is
// shown or refused with its diagnostic line, and a refused one leaves the document already
// on screen, its Tags and its tag file as they were.

// clang-format off
// gtest before the toolkit: the X headers define None and Bool.
#include <gtest/gtest.h>
// clang-format on

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/fl_utf8.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "bad_input_support.h"
#include "document/encoding.h"
#include "document/reader.h"
#include "fresh_process.h"
#include "gui_support.h"
#include "tags/history.h"
#include "tags/tag_file.h"
#include "ui/view.h"

namespace gm::testing {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

// The address space the process holds now, in bytes.
size_t address_space_in_use() {
  size_t pages = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%zu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

void limit_address_space(rlim_t bytes) {
  rlimit limit{};
  getrlimit(RLIMIT_AS, &limit);
  limit.rlim_cur = bytes;
  setrlimit(RLIMIT_AS, &limit);
}

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Attempt {
  int result;
  std::string out;
  std::string err;
};

class BadDocuments : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    a().window.window().show();
  }

  // A good document on screen first: a refused one must leave it there.
  void open_good_document() {
    good_ = dir_.document("good.txt", "good text\n", {{0, 4, 'B', 7, "kept"}});
    load(good_);
    good_tags_ = file_bytes(good_ + ".tag");
  }
  void expect_good_document_kept() {
    EXPECT_EQ(text(), "good text\n");
    EXPECT_EQ(styles(), "BBBBAAAAAA");
    EXPECT_EQ(a().document.file.path, good_);
    EXPECT_STREQ(a().window.window().label(), good_.c_str());
    ASSERT_EQ(tags().size(), 1u);
    EXPECT_EQ(tags().head()->tag->note(), "kept");
    EXPECT_EQ(file_bytes(good_ + ".tag"), good_tags_);
  }

  // What the Open command does with a path, with its output.
  Attempt attempt(const std::string& path) {
    CaptureStdout();
    CaptureStderr();
    const int result = a().commands.open_document(path.c_str());
    a().commands.show_document();
    a().sidebar.list_tags();
    Fl::flush();
    Attempt r{result, GetCapturedStdout(), GetCapturedStderr()};
    EXPECT_EQ(text().size(), styles().size());
    return r;
  }

  std::string good_;
  std::string good_tags_;
};

TEST_F(BadDocuments, ZeroBytesAndTheEndOfTextMark) {
  // Zero bytes take a stand-in of their own size, so that Tags keep their places.
  const std::string zeros = dir_.document("zeros.bin", std::string("\0\0abc\0de", 8),
                                          {{2, 5, 'B', 1, ""}, {6, 8, 'K', 2, ""}});
  Attempt r = attempt(zeros);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.out, "cut size 8\n");
  EXPECT_EQ(text(),
            "\x1A\x1A"
            "abc\x1A"
            "de");
  EXPECT_EQ(styles(), "AABBBAKK");

  // 0x1A ends the text, as text mode reads it: Tags past it go, the tag file stays.
  const std::string marked =
      dir_.document("marked.txt", "head\x1A tail\n", {{1, 3, 'B', 1, ""}, {5, 9, 'K', 2, ""}});
  const std::string tags_before = file_bytes(marked + ".tag");
  r = attempt(marked);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.out, "cut size 4\n");
  EXPECT_EQ(text(), "head");
  EXPECT_EQ(styles(), "ABBA");
  EXPECT_EQ(tags().size(), 1u);
  EXPECT_EQ(file_bytes(marked + ".tag"), tags_before);
}

TEST_F(BadDocuments, RandomBytesAreRefusedOrConvertedByTheLocale) {
  open_good_document();
  std::mt19937 random(42);
  std::string noise(65536, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string path = dir_.document("noise.bin", noise);
  const Attempt r = attempt(path);
  if (fl_utf8locale()) {
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.out, "Not UTF-8\n");
    EXPECT_EQ(r.err, "Do not know file encoding. fail to convert.\n");
    expect_good_document_kept();
  } else {
    // Another code page: converted, and whatever it cannot decode becomes U+FFFD.
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.out.rfind("Not UTF-8\nfile in nonUTF8 encoding!", 0), 0u) << r.out;
    EXPECT_TRUE(valid_utf8(text()));
  }
}

TEST_F(BadDocuments, EmptyFileOpensEmptyAndItsTagFileStays) {
  // The title names it although the (empty) text buffer saw no change, also after another
  // empty document.
  const std::string other = dir_.document("other empty.txt", "");
  EXPECT_EQ(attempt(other).result, 0);
  EXPECT_STREQ(a().window.window().label(), other.c_str());
  const std::string path = dir_.document("empty.txt", "", {{0, 4, 'B', 1, "gone on screen"}});
  const std::string tags_before = file_bytes(path + ".tag");
  const Attempt r = attempt(path);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.out, "cut size 0\n");
  EXPECT_EQ(text(), "");
  EXPECT_TRUE(tags().empty());
  EXPECT_EQ(a().sidebar.browser().size(), 0);
  EXPECT_STREQ(a().window.window().label(), path.c_str());
  EXPECT_EQ(file_bytes(path + ".tag"), tags_before);  // until the user saves
}

TEST_F(BadDocuments, DirectoriesAndUnreadableFilesAreRefused) {
  open_good_document();

  Attempt r = attempt(dir_.path().string());
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(r.err, "fread: Is a directory\n");
  expect_good_document_kept();

  // Under a file, as if it were a folder.
  r = attempt(good_ + "/inside.txt");
  EXPECT_EQ(r.err, "fopen:: Not a directory\n");
  expect_good_document_kept();

  // Opens, and then every read fails: no permission bits keep root from it.
  r = attempt("/proc/self/mem");
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(r.err, "fread: Input/output error\n");
  expect_good_document_kept();

  const std::string secret = dir_.document("secret.txt", "secret\n");
  ASSERT_EQ(chmod(secret.c_str(), 0), 0);
  if (access(secret.c_str(), R_OK) != 0) {  // root reads it all the same
    r = attempt(secret);
    EXPECT_EQ(r.err, "fopen:: Permission denied\n");
    expect_good_document_kept();
  }
}

TEST_F(BadDocuments, ANamedPipeWithoutWriterDoesNotHang) {
  open_good_document();
  const std::string pipe = (dir_.path() / "pipe.txt").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  // Should the open still wait for a writer, this one comes after a while to free it. It
  // opens without waiting itself, which only succeeds while a reader is there.
  std::atomic<bool> done{false};
  std::thread rescue([&pipe, &done] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    const auto from =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kPipeWaitMs + 3000);
    while (!done && std::chrono::steady_clock::now() < until) {
      if (std::chrono::steady_clock::now() < from) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        continue;
      }
      const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) {
        ::close(fd);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  const auto start = std::chrono::steady_clock::now();
  const Attempt r = attempt(pipe);
  const auto waited = std::chrono::steady_clock::now() - start;
  done = true;
  rescue.join();
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(r.err, "fopen:: Connection timed out\n");
  EXPECT_LT(waited, std::chrono::milliseconds(kPipeWaitMs + 2000));
  expect_good_document_kept();

  // With a writer it is read like any file.
  std::thread writer([&pipe] { std::ofstream(pipe) << "piped text\n"; });
  const Attempt piped = attempt(pipe);
  writer.join();
  EXPECT_EQ(piped.result, 0);
  EXPECT_EQ(text(), "piped text\n");
}

TEST_F(BadDocuments, PathsWithBlanksQuotesStrayBytesAndOver260Bytes) {
  // Each folder name has blanks, both quotes and bytes that are not UTF-8.
  std::filesystem::path folder = dir_.path();
  while (folder.string().size() < 300) folder /= "a \"quoted\" 'folder' caf\xE9 \xFF";
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "my \"odd\" 'doc' \xE9.txt").string();
  ASSERT_GT(path.size(), 260u);
  { std::ofstream(path, std::ios::binary) << "tagged word\n"; }

  Attempt r = attempt(path);
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(a().document.file.path, path);
  EXPECT_STREQ(a().window.window().label(), display_form(path).c_str());
  EXPECT_TRUE(valid_utf8(a().window.window().label()));

  a().document.tags.add(make_tag(0, 6, 'B', 5, "on a long path"));
  CaptureStderr();
  EXPECT_EQ(a().commands.save_tags(), 0);
  GetCapturedStderr();
  EXPECT_TRUE(std::filesystem::is_regular_file(path + ".tag"));

  r = attempt(path);  // read back through the same bytes
  ASSERT_EQ(tags().size(), 1u);
  EXPECT_EQ(tags().head()->tag->note(), "on a long path");
  EXPECT_EQ(styles(), "BBBBBBAAAAAA");
}

// A document too big for the memory at hand, opened over one with an unsaved Tag: wherever
// the open runs out of memory (reading the file, copying the text for its buffer, the room
// for its styles), it fails with its line and the shown document stays whole and can still
// be saved; with room enough it opens. Each limit in a process of its own.
TEST_F(BadDocuments, OutOfMemoryLeavesTheShownDocumentWhole) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves its memory up front: no limit bites";
#endif
  constexpr size_t kSize = 64 << 20;
  struct Case {
    double room;        // above the memory in use before the open, in document sizes
    const char* error;  // none: it opens
  };
  const Case cases[] = {
      {0.5, "Warning: fail to realloc, stop to read now: Cannot allocate memory\n"},
      {1.5, "Not enough memory to show the document; the open failed.\n"},  // the styles
      {2.5, nullptr},  // the text is held once: it and the styles fit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.room);
    test::run_in_fresh_process(
        [&] {
          open_good_document();
          a().document.tags.add(make_tag(5, 9, 'K', 8, "unsaved"));
          const std::string big = (dir_.path() / "big.txt").string();
          {
            std::ofstream out(big, std::ios::binary);
            const std::string line(63, 'x');
            for (size_t i = 0; i < kSize / 64; ++i) out << line << '\n';
          }
          Fl::flush();

          limit_address_space(address_space_in_use() + static_cast<rlim_t>(c.room * kSize));
          CaptureStderr();
          CaptureStdout();
          const int result = a().commands.open_document(big.c_str());
          a().commands.show_document();
          a().sidebar.list_tags();
          Fl::flush();
          GetCapturedStdout();
          const std::string err = GetCapturedStderr();
          limit_address_space(RLIM_INFINITY);

          if (!c.error) {
            EXPECT_EQ(result, 0) << err;
            EXPECT_EQ(a().view.text().length(), static_cast<int>(kSize));
            EXPECT_EQ(a().view.styles().length(), static_cast<int>(kSize));
            return;
          }
          EXPECT_EQ(result, -1);
          EXPECT_NE(err.find(c.error), std::string::npos) << err;
          EXPECT_EQ(text(), "good text\n");
          EXPECT_EQ(styles(), "BBBBAKKKKA");
          EXPECT_EQ(a().document.file.path, good_);
          EXPECT_STREQ(a().window.window().label(), good_.c_str());
          EXPECT_TRUE(unsaved());
          EXPECT_EQ(a().document.tags.history().count(), 1);
          EXPECT_EQ(a().sidebar.browser().size(), 2);
          ASSERT_EQ(a().commands.save_tags(), 0);
          TagList saved;
          ASSERT_EQ(read_tag_file(saved, (good_ + ".tag").c_str()), 0);
          ASSERT_EQ(saved.size(), 2u);
          EXPECT_EQ(saved.head()->next->tag->note(), "unsaved");
        },
        [this] { std::filesystem::remove_all(dir_.path()); });
  }
}

}  // namespace
}  // namespace gm::testing
