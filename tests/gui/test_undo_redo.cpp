// "Undo" and "Redo" through their menu items: the TagList, the painted style buffer, the
// items' states and the unsaved-tags flag after each step. The history is filled by the
// changes the tag editing commands make.
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Text_Buffer.H>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "../unit/tags_test_support.h"
#include "gui_support.h"

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

  TagDocument& doc() { return a().document.tags; }
  TagHistory& history() { return TagDocumentTestAccess::history(doc()); }
  // The tag commands' changes, with fixed times; the pointer rests on `at`.
  void new_tag(int32_t start, int32_t end, unsigned char style, int32_t time) {
    ASSERT_TRUE(doc().add(make_tag(start, end, style, time, "")).made);
  }
  void remove_tag(int32_t at) { ASSERT_TRUE(doc().remove_at(at).made); }
  void edit_tag(int32_t at, int32_t start, int32_t end, unsigned char style, int32_t time) {
    ASSERT_TRUE(doc().edit(at, make_tag(start, end, style, time, "")).made);
  }

  void undo() { pick(a().window.menu_bar(), "&Edit/Undo"); }
  void redo() { pick(a().window.menu_bar(), "&Edit/Redo"); }
  bool undo_active() { return item_active(a().window.menu_bar(), "&Edit/Undo"); }
  bool redo_active() { return item_active(a().window.menu_bar(), "&Edit/Redo"); }

  const TagNode* find(int32_t start, int32_t end, int32_t time) {
    for (const TagNode* n = tags().head(); n; n = n->next.get())
      if (identity_of(*n->tag) == TagIdentity{start, end, time}) return n;
    return nullptr;
  }
  std::vector<Identity> listed() {
    std::vector<Identity> out;
    for (const TagNode* n = tags().head(); n; n = n->next.get())
      out.emplace_back(n->tag->start, n->tag->end, n->tag->time);
    return out;
  }
  std::vector<Identity> recorded() {
    std::vector<Identity> out;
    for (const HistoryRecord* r = doc().history().head(); r; r = r->next.get())
      out.emplace_back(r->payload->start, r->payload->end, r->payload->time);
    return out;
  }
};

const Identity kFromFile{0, 12, 50};

TEST(UndoRedoWithoutDocument, BothCommandsDoNothing) {
  Program fresh;
  pick(fresh.window.menu_bar(), "&Edit/Undo");
  pick(fresh.window.menu_bar(), "&Edit/Redo");
  EXPECT_FALSE(item_active(fresh.window.menu_bar(), "&Edit/Undo"));
  EXPECT_FALSE(item_active(fresh.window.menu_bar(), "&Edit/Redo"));
  EXPECT_FALSE(fresh.document.tags.unsaved());
}

TEST_F(UndoRedo, FreshHistoryHasNothingToTakeBack) {
  EXPECT_FALSE(undo_active());
  EXPECT_FALSE(redo_active());
  undo();
  redo();
  EXPECT_FALSE(unsaved());
  EXPECT_EQ(listed(), std::vector<Identity>{kFromFile});
}

TEST_F(UndoRedo, NewTagUndoneAndRedoneWithItsPaint) {
  new_tag(3, 6, 'C', 100);
  EXPECT_EQ(styles(), "BBBCCCBBBBBBAAAAAAAAA");
  EXPECT_TRUE(undo_active());
  EXPECT_FALSE(redo_active());

  set_unsaved(false);
  undo();
  EXPECT_EQ(listed(), std::vector<Identity>{kFromFile});
  EXPECT_EQ(styles(), "BBBBBBBBBBBBAAAAAAAAA");
  EXPECT_FALSE(undo_active());
  EXPECT_TRUE(redo_active());
  EXPECT_TRUE(unsaved());  // the repaint marks the tags unsaved
  a().window.refresh_commands();
  EXPECT_TRUE(item_active(a().window.menu_bar(), "&File/&Save Tag  "));

  redo();
  EXPECT_EQ(listed(), (std::vector<Identity>{kFromFile, {3, 6, 100}}));
  EXPECT_NE(find(3, 6, 100)->tag.get(), doc().history().current()->payload.get())
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
  EXPECT_EQ(listed(), (std::vector<Identity>{kFromFile, {1, 3, 100}, {17, 19, 102}}));
  EXPECT_EQ(styles(), "BCCBBBBBBBBBAAAAAEEAA");

  undo();
  undo();
  EXPECT_EQ(styles(), "BBBBBBBBBBBBAAAAAAAAA");
  EXPECT_FALSE(undo_active());
  EXPECT_TRUE(redo_active());
  // Everything undone, then a new action: the list holds that one record only.
  new_tag(5, 8, 'F', 103);
  EXPECT_EQ(doc().history().count(), 1);
  EXPECT_EQ(doc().history().current_index(), 0);
  EXPECT_FALSE(redo_active());
  redo();
  EXPECT_EQ(styles(), "BBBBBFFFBBBBAAAAAAAAA");
}

TEST_F(UndoRedo, EditIsUndoneAndRedoneAsOneStep) {
  new_tag(2, 5, 'C', 100);
  edit_tag(3, 4, 15, 'D', 101);
  EXPECT_EQ(styles(), "BBBBDDDDDDDDDDDAAAAAA");
  EXPECT_EQ(doc().history().current_index(), 2);

  undo();
  EXPECT_EQ(listed(), (std::vector<Identity>{kFromFile, {2, 5, 100}}));
  EXPECT_EQ(styles(), "BBCCCBBBBBBBAAAAAAAAA");
  EXPECT_EQ(doc().history().current_index(), 0);
  EXPECT_TRUE(undo_active());
  EXPECT_TRUE(redo_active());

  redo();
  EXPECT_EQ(listed(), (std::vector<Identity>{kFromFile, {4, 15, 101}}));
  EXPECT_EQ(styles(), "BBBBDDDDDDDDDDDAAAAAA");
  EXPECT_EQ(doc().history().current_index(), 2);
  EXPECT_FALSE(redo_active());
}

TEST_F(UndoRedo, RemovedTagComesBackAsACopyThatUndoingTheAddRemoves) {
  new_tag(13, 18, 'C', 100);
  remove_tag(14);
  EXPECT_EQ(styles(), "BBBBBBBBBBBBAAAAAAAAA");
  undo();
  EXPECT_EQ(listed(), (std::vector<Identity>{kFromFile, {13, 18, 100}}));
  EXPECT_EQ(styles(), "BBBBBBBBBBBBACCCCCAAA");
  undo();
  EXPECT_EQ(listed(), std::vector<Identity>{kFromFile});
  EXPECT_EQ(styles(), "BBBBBBBBBBBBAAAAAAAAA");
  EXPECT_FALSE(undo_active());
  redo();
  redo();
  EXPECT_EQ(listed(), std::vector<Identity>{kFromFile});
  EXPECT_EQ(doc().history().current_index(), 1);
}

TEST_F(UndoRedo, UnknownCodeIsReportedSteppedOverAndPainted) {
  new_tag(13, 15, 'C', 100);
  history().add_action(7, make_tag(13, 15, 'C', 100, ""));
  set_unsaved(false);
  CaptureStderr();
  undo();
  EXPECT_EQ(GetCapturedStderr(), "unknown action!\n");
  EXPECT_EQ(doc().history().current_index(), 0);
  EXPECT_TRUE(unsaved());
  EXPECT_EQ(listed(), (std::vector<Identity>{kFromFile, {13, 15, 100}}));
  redo();  // moves onto it and makes nothing
  EXPECT_EQ(doc().history().current_index(), 1);
  EXPECT_EQ(styles(), "BBBBBBBBBBBBACCAAAAAA");
  EXPECT_FALSE(redo_active());
}

TEST_F(UndoRedo, HalfEditPairsStopTheStepAtTheirEdge) {
  // An EDIT_NEW with no EDIT_OLD before it: Undo takes back that record only.
  new_tag(13, 15, 'C', 100);
  new_tag(17, 19, 'D', 101);
  history().add_action(EDIT_NEW, make_tag(17, 19, 'D', 101, ""));
  undo();
  EXPECT_EQ(listed(), (std::vector<Identity>{kFromFile, {13, 15, 100}}));
  EXPECT_EQ(doc().history().current_index(), 1);
  EXPECT_EQ(styles(), "BBBBBBBBBBBBACCAAAAAA");

  // An EDIT_OLD followed by something else: Redo removes its Tag and stays on it.
  new_tag(2, 4, 'E', 102);  // drops the EDIT_NEW record: ADD, ADD, ADD
  const std::vector<Identity> before = recorded();
  history().add_action(EDIT_OLD, make_tag(13, 15, 'C', 100, ""));
  history().add_action(ADD, make_tag(6, 8, 'F', 103, ""));
  CaptureStderr();
  undo();  // the ADD: nothing of it is in the list
  undo();  // an EDIT_OLD is not undone on its own: reported and stepped over
  EXPECT_EQ(GetCapturedStderr(), "unknown action!\n");
  EXPECT_EQ(doc().history().current_index(), 2);
  redo();
  EXPECT_EQ(doc().history().current_index(), 3);
  EXPECT_EQ(listed(), (std::vector<Identity>{kFromFile, {2, 4, 102}}));
  EXPECT_EQ(styles(), "BBEEBBBBBBBBAAAAAAAAA");
  EXPECT_TRUE(redo_active());
  EXPECT_EQ(before.size() + 2, recorded().size());
}

}  // namespace
}  // namespace gm::testing
