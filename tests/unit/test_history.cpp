// The TagHistory's records and the TagDocument that replays them: Undo and Redo, their
// rules for broken histories, what each change answers and tells its listener.
#include "tags/history.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tags/tag_document.h"
#include "tags_test_support.h"

namespace gm {
// Reaches inside to build the broken histories that the commands never make.
struct TagHistoryTestAccess {
  static void set_current(TagHistory& h, HistoryRecord* record) { h.m_current = record; }
  static void set_count(TagHistory& h, int32_t count) { h.m_count = count; }
  static HistoryRecord* head(TagHistory& h) { return h.m_head.get(); }
};
}  // namespace gm

namespace {

using namespace gm;
using Range = std::pair<int32_t, int32_t>;
using Access = TagHistoryTestAccess;
using DocumentAccess = TagDocumentTestAccess;

std::string describe(const Tag& t) {
  return std::to_string(t.start) + "-" + std::to_string(t.end) + "@" + std::to_string(t.time) +
         static_cast<char>(t.style) + ":" + std::string(t.note());
}

class HistoryTest : public ::testing::Test {
protected:
  test::CountingClock clock;  // before the document: its list reads the clock
  TagDocument doc;
  TagList& tags = DocumentAccess::list(doc);
  TagHistory& history = DocumentAccess::history(doc);
  std::vector<Range> painted;

  // The editing commands, with fixed times.
  void new_tag(int32_t start, int32_t end, int32_t time, const char* note = "") {
    ASSERT_TRUE(doc.add(make_tag(start, end, 'B', time, note)).made);
  }
  void remove_at(int32_t position) { ASSERT_TRUE(doc.remove_at(position).made); }
  void edit_at(int32_t position, int32_t start, int32_t end, int32_t time, const char* note) {
    ASSERT_TRUE(doc.edit(position, make_tag(start, end, 'C', time, note)).made);
  }
  // Puts a Tag in the list without recording it.
  void plant(int32_t start, int32_t end, int32_t time) {
    auto tag = make_tag(start, end, 'B', time, "");
    ASSERT_EQ(tags.insert_tag(tag), 1);
  }
  void record(int32_t action, int32_t start, int32_t end, int32_t time) {
    history.add_action(action, make_tag(start, end, 'B', time, ""));
  }

  bool take(const TagChange& change) {
    for (const TextRange& r : change.repaint) painted.emplace_back(r.start, r.end);
    return change.made;
  }
  bool undo() { return take(doc.undo()); }
  bool redo() { return take(doc.redo()); }

  std::vector<std::string> listed() const {
    std::vector<std::string> out;
    for (const TagNode* n = tags.head(); n; n = n->next.get()) out.push_back(describe(*n->tag));
    return out;
  }
  std::vector<int32_t> recorded_starts() const {
    std::vector<int32_t> out;
    for (const HistoryRecord* r = history.head(); r; r = r->next.get())
      out.push_back(r->payload->start);
    return out;
  }
};

using Strings = std::vector<std::string>;
using Ranges = std::vector<Range>;

TEST_F(HistoryTest, FreshHistoryCanNeitherUndoNorRedo) {
  EXPECT_FALSE(history.can_undo());
  EXPECT_FALSE(history.can_redo());
  EXPECT_EQ(history.current_index(), -1);
  EXPECT_EQ(history.step_back(), nullptr);
  EXPECT_EQ(history.step_forward(), nullptr);
  EXPECT_FALSE(undo());
  EXPECT_FALSE(redo());
  EXPECT_TRUE(painted.empty());
}

TEST_F(HistoryTest, StepsWalkTheRecordsBothWays) {
  record(ADD, 0, 1, 1);
  record(ADD, 2, 3, 2);
  record(ADD, 4, 5, 3);
  const HistoryRecord* first = history.head();
  const HistoryRecord* second = first->next.get();
  EXPECT_EQ(first->prev, nullptr);
  EXPECT_EQ(second->prev, first);
  EXPECT_EQ(second->next->prev, second);
  EXPECT_EQ(history.count(), 3);
  EXPECT_EQ(history.current_index(), 2);
  EXPECT_FALSE(history.can_redo());
  EXPECT_EQ(history.step_forward(), nullptr);

  EXPECT_EQ(history.step_back(), second);
  EXPECT_EQ(history.step_back(), first);
  EXPECT_EQ(history.step_back(), nullptr);  // past the oldest: nothing in effect
  EXPECT_EQ(history.current_index(), -1);
  EXPECT_FALSE(history.can_undo());
  EXPECT_TRUE(history.can_redo());
  EXPECT_EQ(history.step_back(), nullptr);
  EXPECT_EQ(history.step_forward(), first);
  EXPECT_EQ(history.current_index(), 0);
}

TEST_F(HistoryTest, NewTagUndoneAndRedone) {
  new_tag(10, 20, 100, "note");
  EXPECT_TRUE(undo());
  EXPECT_TRUE(tags.empty());
  EXPECT_FALSE(history.can_undo());
  EXPECT_TRUE(history.can_redo());

  EXPECT_TRUE(redo());
  EXPECT_EQ(listed(), Strings{"10-20@100B:note"});
  EXPECT_TRUE(history.can_undo());
  EXPECT_FALSE(history.can_redo());
  EXPECT_FALSE(redo());
  EXPECT_EQ(painted, (Ranges{{10, 20}, {10, 20}}));
}

TEST_F(HistoryTest, NewActionDiscardsWhatWasUndone) {
  new_tag(10, 20, 100);
  new_tag(20, 30, 200);
  undo();
  new_tag(30, 40, 300);
  EXPECT_EQ(recorded_starts(), (std::vector<int32_t>{10, 30}));
  EXPECT_EQ(history.count(), 2);
  EXPECT_FALSE(redo());
  EXPECT_EQ(listed(), (Strings{"10-20@100B:", "30-40@300B:"}));

  // Everything undone, then one action: only that one is left.
  undo();
  undo();
  new_tag(50, 60, 500);
  EXPECT_EQ(history.count(), 1);
  EXPECT_EQ(history.current(), history.head());
  EXPECT_EQ(history.head()->prev, nullptr);
  EXPECT_EQ(history.head()->next, nullptr);
  EXPECT_EQ(listed(), Strings{"50-60@500B:"});
}

TEST_F(HistoryTest, EditIsUndoneAndRedoneAsOneStep) {
  new_tag(10, 20, 100, "old");
  edit_at(15, 32, 38, 200, "new");
  EXPECT_EQ(listed(), Strings{"32-38@200C:new"});

  EXPECT_TRUE(undo());
  EXPECT_EQ(listed(), Strings{"10-20@100B:old"});
  EXPECT_EQ(painted, (Ranges{{10, 20}, {32, 38}}));  // not what lies between
  EXPECT_EQ(history.current_index(), 0);

  painted.clear();
  EXPECT_TRUE(redo());
  EXPECT_EQ(listed(), Strings{"32-38@200C:new"});
  EXPECT_EQ(painted, (Ranges{{10, 20}, {32, 38}}));
  EXPECT_EQ(history.current_index(), 2);
  EXPECT_FALSE(history.can_redo());
}

TEST_F(HistoryTest, RemoveUndoneBringsACopyBackThatUndoingTheAddRemoves) {
  new_tag(10, 20, 100, "n");
  remove_at(15);
  ASSERT_TRUE(tags.empty());

  undo();
  EXPECT_EQ(listed(), Strings{"10-20@100B:n"});
  EXPECT_NE(tags.head()->tag.get(), history.current()->next->payload.get());
  undo();
  EXPECT_TRUE(tags.empty());
  EXPECT_EQ(painted, (Ranges{{10, 20}, {10, 20}}));

  // The payloads stayed with their records: both steps can be made again.
  redo();
  EXPECT_EQ(listed(), Strings{"10-20@100B:n"});
  redo();
  EXPECT_TRUE(tags.empty());
  EXPECT_FALSE(redo());
}

TEST(HistoryLimit, ZeroRecordsNothingAndLeavesThePayloadToTheCaller) {
  TagHistory history(0);
  auto payload = make_tag(1, 2, 'A', 3, "kept");
  history.add_action(ADD, std::move(payload));
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ(payload->note(), "kept");
  EXPECT_EQ(history.count(), 0);
  EXPECT_EQ(history.head(), nullptr);
  EXPECT_FALSE(history.can_undo());
}

TEST(HistoryLimit, PositiveLimitDropsTheOldest) {
  TagHistory history(2);
  for (int32_t start : {1, 2, 3}) history.add_action(ADD, make_tag(start, 9, 'A', start, ""));
  EXPECT_EQ(history.count(), 2);
  EXPECT_EQ(history.head()->payload->start, 2);
  EXPECT_EQ(history.head()->prev, nullptr);
  EXPECT_EQ(history.current()->payload->start, 3);
  history.step_back();
  history.step_back();
  EXPECT_FALSE(history.can_undo());
  EXPECT_EQ(history.step_forward()->payload->start, 2);
}

// Runs work on a thread with a small stack: freeing records recursively would overflow it.
void run_on_small_stack(std::function<void()> work) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  pthread_t thread;
  const auto start = [](void* fn) -> void* {
    (*static_cast<std::function<void()>*>(fn))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, start, &work), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

TEST(HistoryLimit, UnlimitedHistoryOfManyRecordsIsFreedWithoutRecursion) {
  constexpr int32_t kRecords = 100'000;
  int32_t count_before_drop = 0;
  int32_t count_after_drop = 0;
  run_on_small_stack([&] {
    TagHistory history;
    for (int32_t i = 0; i < kRecords; ++i) history.add_action(ADD, nullptr);
    count_before_drop = history.count();
    // Back to the oldest, then a new action drops the long redo tail.
    for (int32_t i = 1; i < kRecords; ++i) history.step_back();
    history.add_action(REMOVE, nullptr);
    count_after_drop = history.count();

    TagHistory dropped_on_scope_exit;
    for (int32_t i = 0; i < kRecords; ++i) dropped_on_scope_exit.add_action(ADD, nullptr);
  });
  EXPECT_EQ(count_before_drop, kRecords);
  EXPECT_EQ(count_after_drop, 2);
}

TEST_F(HistoryTest, DiagnosticLines) {
  testing::internal::CaptureStdout();
  history.print_history();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  for (int32_t code : {ADD, REMOVE, EDIT_OLD, EDIT_NEW, 7}) record(code, 0, 1, code);
  testing::internal::CaptureStdout();
  history.print_history();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "action=ADD\naction=REMOVE\naction=<Unknown>:3\naction=<Unknown>:4\n"
            "action=<Unknown>:7\n");

  TagHistory other;
  other.add_action(ADD, nullptr);
  Access::set_current(history, Access::head(other));
  testing::internal::CaptureStderr();
  EXPECT_EQ(history.current_index(), -2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "m_current can not found. Should not happen!\n");
}

TEST(HistoryLimit, OverrunByMoreThanOneIsReportedAndNothingDropped) {
  TagHistory history(2);
  history.add_action(ADD, nullptr);
  history.add_action(REMOVE, nullptr);
  Access::set_count(history, 3);
  testing::internal::CaptureStderr();
  history.add_action(EDIT_OLD, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "too long. this should not happened!\n");
  EXPECT_EQ(history.head()->action, ADD);
  EXPECT_EQ(history.count(), 4);
  EXPECT_EQ(history.current_index(), 2);
}

TEST_F(HistoryTest, UndoOfALoneEditNewStopsAfterIt) {
  plant(0, 5, 50);
  plant(10, 20, 200);
  record(ADD, 0, 5, 50);
  record(EDIT_NEW, 10, 20, 200);
  undo();
  EXPECT_EQ(listed(), Strings{"0-5@50B:"});
  EXPECT_EQ(history.current_index(), 0);
  EXPECT_EQ(painted, (Ranges{{10, 20}}));

  // A limit of 1 keeps only the EDIT_NEW of an edit: the old Tag cannot come back.
  DocumentAccess::replace_history(doc, 1);
  TagHistory& short_history = DocumentAccess::history(doc);
  short_history.add_action(EDIT_OLD, make_tag(30, 40, 'B', 300, ""));
  short_history.add_action(EDIT_NEW, make_tag(30, 40, 'C', 400, ""));
  plant(30, 40, 400);
  painted.clear();
  EXPECT_TRUE(undo());
  EXPECT_EQ(listed(), Strings{"0-5@50B:"});
  EXPECT_EQ(painted, (Ranges{{30, 40}}));
  EXPECT_EQ(short_history.current(), nullptr);
}

TEST_F(HistoryTest, RedoOfEditOldWithoutEditNewStaysOnIt) {
  plant(30, 40, 300);
  record(EDIT_OLD, 10, 20, 100);
  record(ADD, 30, 40, 300);
  undo();
  testing::internal::CaptureStderr();
  undo();  // a lone EDIT_OLD is no action undo knows
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "unknown action!\n");
  ASSERT_TRUE(tags.empty());

  painted.clear();
  EXPECT_TRUE(redo());
  EXPECT_EQ(history.current_index(), 0);
  EXPECT_TRUE(tags.empty());
  EXPECT_EQ(painted, (Ranges{{10, 20}}));
  EXPECT_TRUE(redo());
  EXPECT_EQ(listed(), Strings{"30-40@300B:"});

  // As the newest record it has nothing after it to look at.
  record(EDIT_OLD, 30, 40, 300);
  testing::internal::CaptureStderr();
  undo();
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(redo());
  EXPECT_EQ(history.current_index(), 2);
  EXPECT_TRUE(tags.empty());
}

TEST_F(HistoryTest, UnknownCodeIsSteppedOverBothWays) {
  plant(0, 5, 50);
  record(ADD, 0, 5, 50);
  record(2, 5, 9, 90);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(undo());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "unknown action!\n");
  EXPECT_EQ(history.current_index(), 0);
  EXPECT_EQ(painted, (Ranges{{5, 9}}));

  testing::internal::CaptureStderr();
  EXPECT_TRUE(redo());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(history.current_index(), 1);
  EXPECT_EQ(painted, (Ranges{{5, 9}}));
  EXPECT_EQ(listed(), Strings{"0-5@50B:"});
}

TEST_F(HistoryTest, RefusedCopyStillMovesTheHistory) {
  plant(10, 20, 100);
  record(REMOVE, 10, 20, 100);  // the Tag is still there: its copy is a duplicate
  testing::internal::CaptureStderr();
  EXPECT_TRUE(undo());
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(tags.size(), 1u);
  EXPECT_EQ(history.current_index(), -1);
  EXPECT_EQ(painted, (Ranges{{10, 20}}));
}

// What a change answers is what its listener hears; a command that finds nothing to do is
// not heard and leaves the flag alone.
TEST_F(HistoryTest, ChangesTellTheListenerAndMarkTheTagsUnsaved) {
  std::vector<TagChange> heard;
  doc.set_listener([&heard](const TagChange& c) { heard.push_back(c); });
  EXPECT_FALSE(doc.undo().made);
  EXPECT_FALSE(doc.redo().made);
  EXPECT_FALSE(doc.remove_at(5).made);
  EXPECT_FALSE(doc.edit(5, make_tag(1, 2, 'C', 7, "")).made);
  EXPECT_TRUE(heard.empty());
  EXPECT_FALSE(doc.unsaved());

  const TagChange added = doc.add(make_tag(10, 20, 'B', 100, ""));
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].repaint, added.repaint);
  EXPECT_EQ(added.repaint, (std::vector<TextRange>{{10, 20}}));
  EXPECT_TRUE(added.tags && added.history && !added.style_swap);
  EXPECT_TRUE(doc.unsaved());

  // Opening starts afresh; a failed open changes nothing.
  EXPECT_EQ(doc.open([](TagList&, std::vector<UnplacedTag>&) { return -1; }), -1);
  EXPECT_TRUE(doc.unsaved());
  EXPECT_TRUE(doc.history().can_undo());
  // As a damaged tag file may leave it: brought into the drawable range.
  EXPECT_EQ(doc.open([](TagList& list, std::vector<UnplacedTag>&) {
    list.default_style = '@';
    return 0;
  }),
            0);
  EXPECT_EQ(doc.tags().default_style, 'A');
  EXPECT_FALSE(doc.unsaved());
  EXPECT_FALSE(doc.history().can_undo());

  // Taking a change back is a change too.
  new_tag(30, 40, 300);
  ASSERT_EQ(doc.open([](TagList&, std::vector<UnplacedTag>&) { return 0; }), 0);
  new_tag(50, 60, 500);
  undo();
  EXPECT_TRUE(doc.unsaved());

  heard.clear();
  const TagChange swapped = doc.set_default_style('K');
  ASSERT_EQ(heard.size(), 1u);
  ASSERT_TRUE(swapped.style_swap.has_value());
  EXPECT_EQ(swapped.style_swap->from, 'A');
  EXPECT_EQ(swapped.style_swap->to, 'K');
  EXPECT_EQ(doc.tags().default_style, 'K');
  EXPECT_FALSE(swapped.tags || swapped.history || !swapped.repaint.empty());
}

TEST_F(HistoryTest, BulkMoveIsOneStepBothWays) {
  new_tag(0, 5, 100, "a");
  new_tag(40, 50, 200);
  new_tag(60, 70, 300);
  const TagChange moved = doc.move_tags({{{0, 5, 100}, 1, 6},
                                         {{60, 70, 300}, 80, 90},
                                         {{7, 8, 9}, 1, 2},           // no such Tag
                                         {{40, 50, 200}, 45, 45}});  // to nothing
  const Strings after{"1-6@100B:a", "40-50@200B:", "80-90@300B:"};
  EXPECT_EQ(listed(), after);
  EXPECT_EQ(moved.repaint, (std::vector<TextRange>{{0, 6}, {60, 70}, {80, 90}}));

  EXPECT_TRUE(undo());
  EXPECT_EQ(listed(), (Strings{"0-5@100B:a", "40-50@200B:", "60-70@300B:"}));
  EXPECT_EQ(painted, (Ranges{{0, 6}, {60, 70}, {80, 90}}));
  EXPECT_EQ(history.current_index(), 2);
  EXPECT_TRUE(redo());
  EXPECT_EQ(listed(), after);
  EXPECT_FALSE(history.can_redo());

  // The steps around it stay steps of their own.
  undo();
  undo();
  EXPECT_EQ(listed(), (Strings{"0-5@100B:a", "40-50@200B:"}));
  EXPECT_FALSE(doc.move_tags({{{7, 8, 9}, 1, 2}}).made);
}

// Following the text rebuilds the list in one pass; the plain route moves, takes out and
// adds one Tag at a time. Both must leave the same list, and one Undo the list before.
TEST_F(HistoryTest, FollowingTheTextInOnePassEqualsTagByTag) {
  std::mt19937 random(13);
  const auto pick = [&](int32_t n) { return static_cast<int32_t>(random() % uint32_t(n)); };
  for (int round = 0; round < 20; ++round) {
    TagDocument plain;
    TagList& plain_tags = DocumentAccess::list(plain);
    doc.open([](TagList& list, std::vector<UnplacedTag>& unplaced) {
      list.clear();
      unplaced.clear();
      return 0;
    });
    // Few positions, so that equal starts and equal ranges are common.
    int32_t time = 1;
    for (int i = 0; i < 60; ++i) {
      const int32_t start = pick(40), end = start + 1 + pick(5);
      plant(start, end, time);
      auto copy = make_tag(start, end, 'B', time++, "");
      plain_tags.insert_tag(copy);
    }
    const Strings before = listed();
    // A moved Tag takes a range of its own length: the plain route refuses an older Tag on
    // the range of a newer one, where one pass keeps both.
    TextFollowing following;
    for (const TagNode* n = tags.head(); n; n = n->next.get()) {
      const Tag& t = *n->tag;
      const int32_t start = pick(40);
      switch (pick(4)) {
        case 0:
          following.moves.push_back(
              {identity_of(t), start, start + 6 + static_cast<int32_t>(following.moves.size())});
          break;
        case 1:
          following.taken_out.push_back(make_unplaced(t, {}));
          break;
      }
    }
    for (const UnplacedTag& u : following.taken_out)
      plain_tags.remove_tag(TagIdentity{u.start, u.end, u.time});
    plain.move_tags(following.moves);
    for (int i = 0; i < 3; ++i) {
      const int32_t start = pick(40);
      following.added.push_back(make_tag(start, start + 2, 'C', time, "new"));
      auto copy = make_tag(start, start + 2, 'C', time++, "new");
      plain_tags.insert_tag(copy);
    }

    const size_t out = following.taken_out.size();
    ASSERT_TRUE(doc.follow_text(std::move(following)).made);
    Strings expected;
    for (const TagNode* n = plain_tags.head(); n; n = n->next.get())
      expected.push_back(describe(*n->tag));
    const Strings after = listed();
    EXPECT_EQ(after, expected) << "round " << round;
    EXPECT_EQ(doc.unplaced().size(), out);
    EXPECT_TRUE(undo());
    EXPECT_EQ(listed(), before) << "round " << round;
    EXPECT_TRUE(doc.unplaced().empty());
    EXPECT_TRUE(redo());
    EXPECT_EQ(listed(), after) << "round " << round;
    EXPECT_EQ(doc.unplaced().size(), out);
  }
}

}  // namespace
