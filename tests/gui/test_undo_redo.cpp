// "Undo" and "Redo" through their menu items: the TagList, the painted style buffer, the
// items' states and the unsaved-tags flag after each step. The history is filled the way
// the tag editing commands fill it.
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Text_Buffer.H>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/commands.h"
#include "app/main_window.h"
#include "app/menus.h"
#include "gui_support.h"
#include "ui/restyle.h"

namespace gm::testing {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;
using Identity = std::tuple<int32_t, int32_t, int32_t>;

class UndoRedo : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    // One Tag comes from the tag file: it is not in the history, and shows under the others.
    load(dir_.document("doc.txt", "0123456789abcdefghij\n", {{0, 12, 'B', 50, ""}}));
    ASSERT_EQ(styles(), "BBBBBBBBBBBBAAAAAAAAA");
  }

  // New tag: insert, paint, then record.
  void new_tag(int32_t start, int32_t end, unsigned char style, int32_t time) {
    auto tag = make_tag(start, end, style, time, "");
    auto payload = copy_tag(*tag);
    ASSERT_EQ(a().tags.insert_tag(tag), 1);
    restyle_tag_area(a(), start, end);
    a().history->add_action(ADD, std::move(payload));
    refresh_undo_redo(a());
  }
  // Remove tag: record, then remove and paint.
  void remove_tag(int32_t start, int32_t end, int32_t time) {
    const TagNode* live = find(start, end, time);
    ASSERT_NE(live, nullptr);
    a().history->add_action(REMOVE, copy_tag(*live->tag));
    refresh_undo_redo(a());
    ASSERT_EQ(a().tags.remove_tag(*make_tag(start, end, 'A', time, "")), 1);
    restyle_tag_area(a(), start, end);
  }
  // Edit tag: the old Tag recorded and removed, the new one inserted and recorded, one paint.
  void edit_tag(const Identity& old, int32_t start, int32_t end, unsigned char style,
                int32_t time) {
    const auto [old_start, old_end, old_time] = old;
    const TagNode* live = find(old_start, old_end, old_time);
    ASSERT_NE(live, nullptr);
    a().history->add_action(EDIT_OLD, copy_tag(*live->tag));
    refresh_undo_redo(a());
    ASSERT_EQ(a().tags.remove_tag(*make_tag(old_start, old_end, 'A', old_time, "")), 1);
    auto edited = make_tag(start, end, style, time, "");
    a().history->add_action(EDIT_NEW, copy_tag(*edited));
    refresh_undo_redo(a());
    ASSERT_EQ(a().tags.insert_tag(edited), 1);
    restyle_tag_area(a(), std::min(old_start, start), std::max(old_end, end));
  }

  void undo() { a().menu_bar->menu()[kUndoItem].do_callback(a().menu_bar); }
  void redo() { a().menu_bar->menu()[kRedoItem].do_callback(a().menu_bar); }
  bool undo_active() { return a().menu_bar->menu()[kUndoItem].active() != 0; }
  bool redo_active() { return a().menu_bar->menu()[kRedoItem].active() != 0; }

  const TagNode* find(int32_t start, int32_t end, int32_t time) {
    for (const TagNode* n = a().tags.head(); n; n = n->next.get())
      if (same_identity(*n->tag, *make_tag(start, end, 'A', time, ""))) return n;
    return nullptr;
  }
  std::vector<Identity> tags() {
    std::vector<Identity> out;
    for (const TagNode* n = a().tags.head(); n; n = n->next.get())
      out.emplace_back(n->tag->start, n->tag->end, n->tag->time);
    return out;
  }
  std::vector<Identity> recorded() {
    std::vector<Identity> out;
    for (const HistoryRecord* r = a().history->head(); r; r = r->next.get())
      out.emplace_back(r->payload->start, r->payload->end, r->payload->time);
    return out;
  }
};

const Identity kFromFile{0, 12, 50};

TEST(UndoRedoWithoutDocument, BothCommandsDoNothing) {
  App fresh;
  build_main_window(fresh);
  undo_command(nullptr, nullptr);
  redo_command(nullptr, nullptr);
  EXPECT_EQ(fresh.history, nullptr);
  EXPECT_FALSE(fresh.menu_bar->menu()[kUndoItem].active());
  EXPECT_FALSE(fresh.menu_bar->menu()[kRedoItem].active());
  EXPECT_EQ(fresh.unsaved_tags, 0);
}

TEST_F(UndoRedo, FreshHistoryHasNothingToTakeBack) {
  EXPECT_FALSE(undo_active());
  EXPECT_FALSE(redo_active());
  undo();
  redo();
  EXPECT_EQ(a().unsaved_tags, 0);
  EXPECT_EQ(tags(), std::vector<Identity>{kFromFile});
}

TEST_F(UndoRedo, NewTagUndoneAndRedoneWithItsPaint) {
  new_tag(3, 6, 'C', 100);
  EXPECT_EQ(styles(), "BBBCCCBBBBBBAAAAAAAAA");
  EXPECT_TRUE(undo_active());
  EXPECT_FALSE(redo_active());

  a().unsaved_tags = 0;
  undo();
  EXPECT_EQ(tags(), std::vector<Identity>{kFromFile});
  EXPECT_EQ(styles(), "BBBBBBBBBBBBAAAAAAAAA");
  EXPECT_FALSE(undo_active());
  EXPECT_TRUE(redo_active());
  EXPECT_EQ(a().unsaved_tags, 1);  // the repaint marks the tags unsaved
  refresh_commands(app_.get());
  Fl::remove_timeout(refresh_commands);
  EXPECT_TRUE(a().menu_bar->menu()[kSaveTagItem].active());

  redo();
  EXPECT_EQ(tags(), (std::vector<Identity>{kFromFile, {3, 6, 100}}));
  EXPECT_NE(find(3, 6, 100)->tag.get(), a().history->current()->payload.get())
      << "the list gets a copy; the record keeps its own";
  EXPECT_EQ(styles(), "BBBCCCBBBBBBAAAAAAAAA");
  EXPECT_TRUE(undo_active());
  EXPECT_FALSE(redo_active());
}

TEST_F(UndoRedo, NewActionAfterUndoDropsWhatWasUndone) {
  new_tag(1, 3, 'C', 100);
  new_tag(14, 16, 'D', 101);
  EXPECT_EQ(styles(), "BCCBBBBBBBBBAADDAAAAA");
  undo();
  EXPECT_EQ(styles(), "BCCBBBBBBBBBAAAAAAAAA");
  new_tag(17, 19, 'E', 102);
  EXPECT_EQ(recorded(), (std::vector<Identity>{{1, 3, 100}, {17, 19, 102}}));
  EXPECT_TRUE(undo_active());
  EXPECT_FALSE(redo_active());
  redo();  // nothing to make again: the second Tag cannot come back
  EXPECT_EQ(tags(), (std::vector<Identity>{kFromFile, {1, 3, 100}, {17, 19, 102}}));
  EXPECT_EQ(styles(), "BCCBBBBBBBBBAAAAAEEAA");

  undo();
  undo();
  EXPECT_EQ(styles(), "BBBBBBBBBBBBAAAAAAAAA");
  EXPECT_FALSE(undo_active());
  EXPECT_TRUE(redo_active());
  // Everything undone, then a new action: the list holds that one record only.
  new_tag(5, 8, 'F', 103);
  EXPECT_EQ(a().history->count(), 1);
  EXPECT_EQ(a().history->current_index(), 0);
  EXPECT_FALSE(redo_active());
  redo();
  EXPECT_EQ(styles(), "BBBBBFFFBBBBAAAAAAAAA");
}

TEST_F(UndoRedo, EditIsUndoneAndRedoneAsOneStep) {
  new_tag(2, 5, 'C', 100);
  edit_tag({2, 5, 100}, 4, 15, 'D', 101);
  EXPECT_EQ(styles(), "BBBBDDDDDDDDDDDAAAAAA");
  EXPECT_EQ(a().history->current_index(), 2);

  undo();
  EXPECT_EQ(tags(), (std::vector<Identity>{kFromFile, {2, 5, 100}}));
  EXPECT_EQ(styles(), "BBCCCBBBBBBBAAAAAAAAA");
  EXPECT_EQ(a().history->current_index(), 0);
  EXPECT_TRUE(undo_active());
  EXPECT_TRUE(redo_active());

  redo();
  EXPECT_EQ(tags(), (std::vector<Identity>{kFromFile, {4, 15, 101}}));
  EXPECT_EQ(styles(), "BBBBDDDDDDDDDDDAAAAAA");
  EXPECT_EQ(a().history->current_index(), 2);
  EXPECT_FALSE(redo_active());
}

TEST_F(UndoRedo, RemovedTagComesBackAsACopyThatUndoingTheAddRemoves) {
  new_tag(13, 18, 'C', 100);
  remove_tag(13, 18, 100);
  EXPECT_EQ(styles(), "BBBBBBBBBBBBAAAAAAAAA");
  undo();
  EXPECT_EQ(tags(), (std::vector<Identity>{kFromFile, {13, 18, 100}}));
  EXPECT_EQ(styles(), "BBBBBBBBBBBBACCCCCAAA");
  undo();
  EXPECT_EQ(tags(), std::vector<Identity>{kFromFile});
  EXPECT_EQ(styles(), "BBBBBBBBBBBBAAAAAAAAA");
  EXPECT_FALSE(undo_active());
  redo();
  redo();
  EXPECT_EQ(tags(), std::vector<Identity>{kFromFile});
  EXPECT_EQ(a().history->current_index(), 1);
}

TEST_F(UndoRedo, UnknownCodeIsReportedSteppedOverAndPainted) {
  new_tag(13, 15, 'C', 100);
  a().history->add_action(7, make_tag(13, 15, 'C', 100, ""));
  a().unsaved_tags = 0;
  CaptureStderr();
  undo();
  EXPECT_EQ(GetCapturedStderr(), "unknown action!\n");
  EXPECT_EQ(a().history->current_index(), 0);
  EXPECT_EQ(a().unsaved_tags, 1);
  EXPECT_EQ(tags(), (std::vector<Identity>{kFromFile, {13, 15, 100}}));
  redo();  // moves onto it and makes nothing
  EXPECT_EQ(a().history->current_index(), 1);
  EXPECT_EQ(styles(), "BBBBBBBBBBBBACCAAAAAA");
  EXPECT_FALSE(redo_active());
}

TEST_F(UndoRedo, HalfEditPairsStopTheStepAtTheirEdge) {
  // An EDIT_NEW with no EDIT_OLD before it: Undo takes back that record only.
  new_tag(13, 15, 'C', 100);
  new_tag(17, 19, 'D', 101);
  a().history->add_action(EDIT_NEW, make_tag(17, 19, 'D', 101, ""));
  undo();
  EXPECT_EQ(tags(), (std::vector<Identity>{kFromFile, {13, 15, 100}}));
  EXPECT_EQ(a().history->current_index(), 1);
  EXPECT_EQ(styles(), "BBBBBBBBBBBBACCAAAAAA");

  // An EDIT_OLD followed by something else: Redo removes its Tag and stays on it.
  new_tag(2, 4, 'E', 102);  // drops the EDIT_NEW record: ADD, ADD, ADD
  const std::vector<Identity> before = recorded();
  a().history->add_action(EDIT_OLD, make_tag(13, 15, 'C', 100, ""));
  a().history->add_action(ADD, make_tag(6, 8, 'F', 103, ""));
  CaptureStderr();
  undo();  // the ADD: nothing of it is in the list
  undo();  // an EDIT_OLD is not undone on its own: reported and stepped over
  EXPECT_EQ(GetCapturedStderr(), "unknown action!\n");
  EXPECT_EQ(a().history->current_index(), 2);
  redo();
  EXPECT_EQ(a().history->current_index(), 3);
  EXPECT_EQ(tags(), (std::vector<Identity>{kFromFile, {2, 4, 102}}));
  EXPECT_EQ(styles(), "BBEEBBBBBBBBAAAAAAAAA");
  EXPECT_TRUE(redo_active());
  EXPECT_EQ(before.size() + 2, recorded().size());
}

}  // namespace
}  // namespace gm::testing
