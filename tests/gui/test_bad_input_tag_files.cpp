// Tag files that are damaged, odd or out of reach, opened with their document into the real
// window: the document always opens, what could be read is shown, and the tag file on disk
// is never changed except by a save that succeeds.

// clang-format off
// gtest before the toolkit: the X headers define None and Bool.
#include <gtest/gtest.h>
// clang-format on

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "../unit/document_test_support.h"
#include "bad_input_support.h"
#include "gui_support.h"
#include "tags/tag_file.h"
#include "ui/hover.h"
#include "ui/view.h"
#include "ui/dialogs.h"

namespace gm::testing {
namespace {

using test::TagFileBytes;
using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

const std::string kText = "alpha beta gamma delta epsilon\n";  // 31 bytes

class BadTagFiles : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    a().window.window().show();
    doc_ = (dir_.path() / "doc.txt").string();
    std::ofstream(doc_, std::ios::binary) << kText;
  }
  std::string tag_path() const { return doc_ + ".tag"; }
  void put_tags(const std::string& bytes) const {
    std::ofstream(tag_path(), std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string tags_on_disk() const { return test::read_file(tag_path()); }

  // Opens the document as the Open command does, with the output of that.
  void open(std::string* out = nullptr, std::string* err = nullptr) {
    CaptureStdout();
    CaptureStderr();
    const int result = a().commands.open_document(doc_.c_str());
    a().commands.show_document();
    a().sidebar.list_tags();
    Fl::flush();
    const std::string o = GetCapturedStdout();
    const std::string e = GetCapturedStderr();
    ASSERT_EQ(result, 0) << o << e;
    if (out) *out = o;
    if (err) *err = e;
    EXPECT_EQ(styles().size(), kText.size());
    EXPECT_EQ(a().sidebar.browser().size(), static_cast<int>(tags().size()));
  }
  // A change the user makes: a new Tag over "beta", painted.
  void add_tag() {
    a().document.tags.add(make_tag(6, 10, 'B', 77, "new"));
    ASSERT_TRUE(unsaved());
  }
  void pick(const char* item, int32_t at) { pick_tag_item(item, at); }
  int save(std::string* err = nullptr) {
    CaptureStderr();
    const int result = a().commands.save_tags();
    wait_for_anchors(a().document.file);  // its line too
    const std::string e = GetCapturedStderr();
    if (err) *err = e;
    return result;
  }

  std::string doc_;
};

TEST_F(BadTagFiles, ATagFileThatIsADirectory) {
  std::filesystem::create_directory(tag_path());
  std::string out, err;
  open(&out, &err);
  EXPECT_EQ(out, "Warning: fail to load tag file!\ncut size 31\n");
  EXPECT_EQ(err, "error fread:\n");
  EXPECT_TRUE(tags().empty());

  add_tag();
  EXPECT_EQ(save(&err), -1);
  EXPECT_EQ(err, "fopen: Is a directory\nerror: fail to save tag file!\n");
  EXPECT_TRUE(unsaved());
  EXPECT_EQ(tags().size(), 1u);

  // Leaving: save fails, "cancel" keeps the program and the Tag.
  questions_.answers = {1, 2};
  CaptureStderr();
  a().commands.leave();
  GetCapturedStderr();
  EXPECT_EQ(questions_.asked.size(), 2u);
  EXPECT_EQ(questions_.asked[1], "Fail to save!|try one last time|ignore|cancel");
  EXPECT_TRUE(std::filesystem::is_directory(tag_path()));
  EXPECT_EQ(tags().size(), 1u);
}

// The reader's answer for every cut is checked byte by byte with the unit tests; here the
// whole window takes each of them.
TEST_F(BadTagFiles, CutAtEveryByteTheDocumentStillOpens) {
  const std::string whole = TagFileBytes(1, 0, 'A')
                                .tag(0, 5, 'B', 1000, "first")
                                .tag(6, 10, 'K', 2000)
                                .tag(11, 16, 'C', 3000, "third\nnote")
                                .bytes();
  const size_t ends[] = {9, 9 + 17 + 6, 9 + 17 + 6 + 17, whole.size()};
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    SCOPED_TRACE("bytes kept: " + std::to_string(cut));
    const std::string bytes = whole.substr(0, cut);
    put_tags(bytes);
    std::string out;
    open(&out);
    size_t complete = 0;
    while (complete < 3 && cut >= ends[complete + 1]) ++complete;
    // A cut inside the first 4 bytes of a record is a clean end.
    const bool clean = cut >= 9 && (cut == whole.size() || cut - ends[complete] < 4);
    EXPECT_EQ(tags().size(), complete);
    EXPECT_EQ(out.find("Warning: fail to load tag file!") != std::string::npos, !clean);
    EXPECT_EQ(tags_on_disk(), bytes);
  }
}

TEST_F(BadTagFiles, StylesOutsideTheTableAreShownWithinIt) {
  for (const int odd_byte : {0x00, int{'@'}, int{'{'}, 0x80, 0xFF}) {
    const auto odd = static_cast<unsigned char>(odd_byte);
    SCOPED_TRACE("style byte " + std::to_string(odd));
    put_tags(TagFileBytes(1, 0, static_cast<char>(odd))
                 .tag(0, 5, static_cast<char>(odd), 1000, "odd")
                 .tag(6, 10, 'C', 1001)
                 .bytes());
    open();
    for (const char c : styles()) {
      EXPECT_GE(c, 'A');
      EXPECT_LE(static_cast<unsigned char>(c), 0x7F);
    }
    for (const TagNode* n = tags().head(); n; n = n->next.get()) {
      EXPECT_GE(n->tag->style, 'A');
      EXPECT_LE(n->tag->style, 'z');
    }
    // '{' stays the default (drawn like 'z'); the others come into the table.
    const unsigned char expected = odd <= '@' ? 'A' : odd == '{' ? '{' : 'z';
    EXPECT_EQ(tags().default_style, expected);
    EXPECT_EQ(styles().substr(11), std::string(kText.size() - 11, odd <= '@'   ? 'A'
                                                                  : odd == '{' ? '{'
                                                                               : 'z'));

    // Every view of a style opens on it.
    CaptureStdout();
    pick("Default style", 20);
    ASSERT_NE(a().dialogs.open_dialog(), nullptr);
    Fl::flush();
    a().dialogs.open_dialog()->do_callback();
    pick("Tag properties", 2);
    ASSERT_NE(a().dialogs.open_dialog(), nullptr);
    Fl::flush();
    a().dialogs.open_dialog()->do_callback();
    GetCapturedStdout();
    Fl::check();
    EXPECT_EQ(std::string(a().sidebar.browser().text(1)).rfind("@C", 0), 0u);

    // A save keeps a default of '{' as it was read.
    ASSERT_EQ(save(), 0);
    EXPECT_EQ(static_cast<unsigned char>(tags_on_disk()[8]), expected);
  }
}

TEST_F(BadTagFiles, AHundredThousandTagsOnOneRange) {
  constexpr int kCount = 100000;
  TagFileBytes file(1, 0, 'A');
  for (int i = 0; i < kCount; ++i)
    file.tag(6, 10, static_cast<char>('B' + i % 50), 2000000 - i, "n");
  put_tags(file.bytes());
  open();
  ASSERT_EQ(tags().size(), static_cast<size_t>(kCount));
  EXPECT_EQ(a().sidebar.browser().size(), kCount);
  EXPECT_EQ(styles().substr(6, 4), "BBBB");  // the newest rules

  // The hover finds the newest; Remove tag takes it, Undo brings it back.
  EXPECT_EQ(tags().find_tag_at(7)->tag->time, 2000000);
  pick("Remove tag", 7);
  EXPECT_EQ(tags().size(), static_cast<size_t>(kCount - 1));
  EXPECT_EQ(tags().find_tag_at(7)->tag->time, 1999999);
  EXPECT_EQ(styles().substr(6, 4), "CCCC");
  a().document.tags.undo();
  EXPECT_EQ(tags().size(), static_cast<size_t>(kCount));
  EXPECT_EQ(styles().substr(6, 4), "BBBB");

  ASSERT_EQ(save(), 0);
  open();
  EXPECT_EQ(tags().size(), static_cast<size_t>(kCount));
}

// Root passes over permission bits: the immutable flag stops it; a user, a missing write
// permission. Works on folders and files.
bool make_unwritable(const std::filesystem::path& path, bool on) {
  if (geteuid() != 0) {
    const auto write = std::filesystem::perms::owner_write;
    std::error_code error;
    std::filesystem::permissions(path, write,
                                 on ? std::filesystem::perm_options::remove
                                    : std::filesystem::perm_options::add,
                                 error);
    return !error;
  }
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  ::close(fd);
  return done;
}

// A folder that takes no new file still lets its tag file be written in place; a tag file
// that cannot be written fails the save, and the prompt keeps the tags.
TEST_F(BadTagFiles, AFolderOrATagFileThatCannotBeWritten) {
  const std::string old = TagFileBytes(1, 0, 'A').tag(0, 5, 'K', 1000, "old").bytes();
  put_tags(old);
  open();
  if (!make_unwritable(dir_.path(), true)) GTEST_SKIP() << "cannot make a folder unwritable here";
  struct Restore {
    std::filesystem::path path;
    ~Restore() { make_unwritable(path, false); }
  } restore_folder{dir_.path()};
  const TempDir state;  // where the recovery copy waits while the file is written in place
  struct StateHome {
    explicit StateHome(const std::filesystem::path& dir) {
      setenv("XDG_STATE_HOME", dir.c_str(), 1);
    }
    ~StateHome() { unsetenv("XDG_STATE_HOME"); }
  } state_home{state.path()};

  add_tag();
  std::string err;
  EXPECT_EQ(save(&err), 0);
  // The anchor file is a new file, which the folder does not take: one line, tags saved.
  EXPECT_EQ(err.rfind("anchor file: ", 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_FALSE(unsaved());
  TagList reread;
  ASSERT_EQ(read_tag_file(reread, tag_path().c_str()), 0);
  EXPECT_EQ(reread.size(), 2u);
  const std::string saved = tags_on_disk();

  ASSERT_TRUE(make_unwritable(tag_path(), true));
  Restore restore_file{tag_path()};
  a().document.tags.add(make_tag(12, 16, 'C', 78, "third"));
  EXPECT_EQ(save(&err), -1);
  EXPECT_EQ(err.rfind("fopen: ", 0), 0u) << err;
  EXPECT_NE(err.find("error: fail to save tag file!\n"), std::string::npos) << err;
  EXPECT_EQ(tags_on_disk(), saved);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 2);

  // The prompt: save fails, another try fails, cancel: the program stays with all Tags.
  questions_.answers = {1, 0, 2};
  CaptureStderr();
  a().commands.leave();
  GetCapturedStderr();
  ASSERT_EQ(questions_.asked.size(), 3u);
  EXPECT_EQ(questions_.asked[0], "No save since last change!|cancel|save|ignore");
  EXPECT_EQ(questions_.asked[2], "Fail to save!|try one last time|ignore|cancel");
  EXPECT_EQ(tags().size(), 3u);
  EXPECT_TRUE(unsaved());
  EXPECT_EQ(tags_on_disk(), saved);

  // Once the tag file can be written again, the same save goes through, still in place.
  ASSERT_TRUE(make_unwritable(tag_path(), false));
  EXPECT_EQ(save(), 0);
  ASSERT_EQ(read_tag_file(reread, tag_path().c_str()), 0);
  EXPECT_EQ(reread.size(), 3u);
  EXPECT_TRUE(std::filesystem::is_empty(state.path() / "glossmark/recovery"));
}

}  // namespace
}  // namespace gm::testing
