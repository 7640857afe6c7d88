// Tags following their text on the real Program: a document edited elsewhere is opened, its
// Tags go where their text went as one undoable step, the one whose text is gone is listed
// as not placed, and saving keeps all of it for the next open.
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Text_Buffer.H>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "document/document.h"
#include "gui_support.h"
#include "platform/save_file_faults.h"
#include "tags/anchor_file.h"
#include "tags/styles.h"

namespace gm::testing {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using Range = std::tuple<int32_t, int32_t, std::string>;

class FollowText : public AppTest {
 protected:
  // "beta", "gamma" and "delta", each with its note.
  void SetUp() override {
    AppTest::SetUp();
    path_ =
        dir_.document("doc.txt", "alpha beta gamma delta\n",
                      {{6, 10, 'C', 100, "b"}, {11, 16, 'D', 200, "g"}, {17, 22, 'E', 300, "d"}});
  }

  // Each Tag's range and note, in list order.
  std::vector<Range> listed() {
    std::vector<Range> out;
    for (const TagNode* n = tags().head(); n; n = n->next.get())
      out.emplace_back(n->tag->start, n->tag->end, std::string(n->tag->note()));
    return out;
  }
  void edit_document(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  // What the open told the user about following the text (progress lines aside).
  std::string reopen() {
    CaptureStdout();
    load(path_);
    const std::string out = GetCapturedStdout();
    const size_t told = out.find("followed their text");
    return told == std::string::npos ? "" : out.substr(out.rfind('\n', told) + 1);
  }
  const std::vector<UnplacedTag>& unplaced() { return a().document.tags.unplaced(); }
  void undo() { pick(a().window.menu_bar(), "&Edit/Undo"); }
  void redo() { pick(a().window.menu_bar(), "&Edit/Redo"); }

  std::string path_;
};

TEST_F(FollowText, ChangedDocumentIsFollowedInOneUndoableStepAndKeptAcrossSaves) {
  load(path_);
  ASSERT_EQ(a().commands.save_tags(), 0);
  ASSERT_EQ(wait_for_anchors(a().document.file), 0);
  ASSERT_TRUE(std::filesystem::exists(path_ + ".tag.anchor"));

  // A line before them; "delta" gone.
  edit_document("one more line\nalpha beta gamma\n");
  const std::string said = reopen();
  EXPECT_EQ(said, "2 tags followed their text; 1 could not be placed.\n");
  const std::vector<Range> followed{{20, 24, "b"}, {25, 30, "g"}};
  EXPECT_EQ(listed(), followed);
  EXPECT_EQ(styles(), "AAAAAAAAAAAAAAAAAAAACCCCADDDDDA");
  ASSERT_EQ(unplaced().size(), 1u);
  EXPECT_EQ(unplaced()[0].note, "d");
  EXPECT_EQ(unplaced()[0].quote.exact, "delta");
  ASSERT_NE(a().unplaced.list(), nullptr);
  ASSERT_EQ(a().unplaced.list()->size(), 1);
  EXPECT_NE(std::string(a().unplaced.list()->text(1)).find("\"delta\""), std::string::npos);
  EXPECT_TRUE(unsaved());

  // One Undo: every old place, and the Tag taken out is back; one Redo: all of it again.
  undo();
  const std::vector<Range> before{{6, 10, "b"}, {11, 16, "g"}, {17, 22, "d"}};
  EXPECT_EQ(listed(), before);
  EXPECT_TRUE(unplaced().empty());
  EXPECT_EQ(a().unplaced.list()->size(), 0);
  redo();
  EXPECT_EQ(listed(), followed);
  ASSERT_EQ(unplaced().size(), 1u);

  // Saved and opened again: nothing moves, the unplaced Tag is still listed.
  ASSERT_EQ(a().commands.save_tags(), 0);
  EXPECT_EQ(reopen(), "");
  EXPECT_EQ(listed(), followed);
  ASSERT_EQ(unplaced().size(), 1u);
  EXPECT_FALSE(unsaved());

  // Placed by hand on "alpha", with its note; Undo lists it again.
  a().view.text().select(14, 19);
  a().unplaced.list()->value(1);
  a().unplaced.place_chosen();
  EXPECT_EQ(listed(), (std::vector<Range>{{14, 19, "d"}, {20, 24, "b"}, {25, 30, "g"}}));
  EXPECT_TRUE(unplaced().empty());
  undo();
  EXPECT_EQ(listed(), followed);
  ASSERT_EQ(unplaced().size(), 1u);
  a().unplaced.remove_chosen();
  EXPECT_TRUE(unplaced().empty());
}

// Many Tags moved are repainted in one sweep: the same bytes as painting the list afresh,
// after the step and after its Undo.
TEST_F(FollowText, ManyTagsFollowedArePaintedAsAFreshPaintWould) {
  std::string text;
  std::vector<TagData> tagged;
  for (int i = 0; i < 100; ++i) {
    const std::string word = "word" + std::to_string(i);
    const auto at = static_cast<int32_t>(text.size());
    tagged.push_back({at, at + static_cast<int32_t>(word.size()),
                      static_cast<unsigned char>('B' + i % 20), 1000 + i, ""});
    // Far apart: each old and new range is a repaint range of its own.
    text += word + " and some words without a tag" + (i % 7 ? " " : "\n");
  }
  path_ = dir_.document("many.txt", text, tagged);
  load(path_);
  ASSERT_EQ(a().commands.save_tags(), 0);
  edit_document("a new first line\n" + text);
  EXPECT_EQ(reopen(), "100 tags followed their text; 0 could not be placed.\n");
  const auto fresh = [&] {
    std::string bytes(text.size() + 17, '\0');
    paint_styles(tags(), 0, static_cast<int32_t>(bytes.size()), &bytes[0]);
    return bytes;
  };
  EXPECT_EQ(tags().head()->tag->start, 17);
  EXPECT_EQ(styles(), fresh());
  undo();
  EXPECT_EQ(tags().head()->tag->start, 0);
  EXPECT_EQ(styles(), fresh());
}

// The anchor file of a save is written on a worker thread, here slowed down; leaving right
// after the save waits for it, so it is whole and the next open makes the Tags of the
// changed document follow their text.
TEST_F(FollowText, LeavingRightAfterASaveLeavesAWholeAnchorFile) {
  static const std::thread::id gui = std::this_thread::get_id();
  set_save_fault([](SaveStep step, size_t*) {
    if (step == SaveStep::write && std::this_thread::get_id() != gui)
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return false;
  });
  struct NoFault {
    ~NoFault() { set_save_fault(nullptr); }
  } no_fault;
  load(path_);
  ASSERT_EQ(a().commands.save_tags(), 0);
  int exits = 0;
  a().commands.exit_process = [&exits](int) { ++exits; };
  a().commands.leave();
  EXPECT_EQ(exits, 1);
  const std::optional<AnchorFile> anchors = read_anchor_file(path_ + ".tag.anchor");
  ASSERT_TRUE(anchors);
  EXPECT_EQ(anchors->tag_file, fingerprint_file(path_ + ".tag"));

  edit_document("one more line\nalpha beta gamma delta\n");
  EXPECT_EQ(reopen(), "3 tags followed their text; 0 could not be placed.\n");
  EXPECT_EQ(listed(), (std::vector<Range>{{20, 24, "b"}, {25, 30, "g"}, {31, 36, "d"}}));
}

TEST_F(FollowText, DamagedOrForeignAnchorFileOpensTheTagsAsTheyStand) {
  load(path_);
  ASSERT_EQ(a().commands.save_tags(), 0);
  ASSERT_EQ(wait_for_anchors(a().document.file), 0);
  const std::string anchors = path_ + ".tag.anchor";
  edit_document("one more line\nalpha beta gamma delta\n");
  const std::vector<Range> as_read{{6, 10, "b"}, {11, 16, "g"}, {17, 22, "d"}};

  // Damaged: one line on standard error, nothing said on standard output.
  std::filesystem::resize_file(anchors, std::filesystem::file_size(anchors) - 3);
  CaptureStderr();
  EXPECT_EQ(reopen(), "");
  const std::string complaint = GetCapturedStderr();
  EXPECT_EQ(std::count(complaint.begin(), complaint.end(), '\n'), 1) << complaint;
  EXPECT_EQ(listed(), as_read);
  EXPECT_FALSE(unsaved());

  // The tag file written since by another program: the anchors belong to its old version.
  load(path_);
  ASSERT_EQ(a().commands.save_tags(), 0);
  ASSERT_EQ(wait_for_anchors(a().document.file), 0);
  dir_.document("doc.txt", "and another\none more line\nalpha beta gamma delta\n",
                {{6, 10, 'C', 100, "b"}});
  EXPECT_EQ(reopen(), "");
  EXPECT_EQ(listed(), (std::vector<Range>{{6, 10, "b"}}));
  EXPECT_FALSE(unsaved());
}

}  // namespace
}  // namespace gm::testing
