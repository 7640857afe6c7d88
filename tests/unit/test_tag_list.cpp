#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <random>

#include "tags/tag.h"
#include "tags_test_support.h"

namespace gm {
namespace {

using test::append_all;
using test::Identity;
using test::identities;
using test::TagRecord;
using test::tag_of;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// The node count must match size(), and an appended Tag must land behind the last node.
void expect_links_consistent(TagList& list) {
  size_t walked = 0;
  for (const TagNode* n = list.head(); n; n = n->next.get()) ++walked;
  EXPECT_EQ(walked, list.size());
  const TagRecord sentinel{1 << 30, (1 << 30) + 1, -7};
  list.append_tag(tag_of(sentinel));
  const TagNode* last = list.head();
  while (last->next) last = last->next.get();
  EXPECT_EQ(last->tag->time, sentinel.time) << "append went elsewhere: stale tail";
  ASSERT_EQ(list.remove_tag(*tag_of(sentinel)), 1);
}

// Inserts and answers what insert_tag said on standard error.
std::string insert_quietly(TagList& list, const TagRecord& record, int expect_result) {
  auto tag = tag_of(record);
  CaptureStderr();
  const int result = list.insert_tag(tag);
  std::string err = GetCapturedStderr();
  EXPECT_EQ(result, expect_result);
  EXPECT_EQ(tag == nullptr, result == 1) << "ownership passes exactly when inserted";
  return err;
}

class TagListTest : public testing::Test {
protected:
  test::CountingClock clock;
  TagList list;
};

TEST_F(TagListTest, InsertKeepsStartThenLongerRangeOrder) {
  EXPECT_EQ(insert_quietly(list, {10, 20, 1}, 1), "");
  insert_quietly(list, {10, 30, 2}, 1);
  insert_quietly(list, {5, 8, 3}, 1);
  insert_quietly(list, {40, 41, 4}, 1);
  insert_quietly(list, {10, 25, 5}, 1);
  EXPECT_EQ(identities(list), (std::vector<Identity>{
                                  {5, 8, 3}, {10, 30, 2}, {10, 25, 5}, {10, 20, 1}, {40, 41, 4}}));
  EXPECT_TRUE(list.in_order());
  expect_links_consistent(list);
}

TEST_F(TagListTest, EqualRangeAtTheFrontGoesByTimeWithOneException) {
  insert_quietly(list, {10, 20, 5}, 1);
  insert_quietly(list, {10, 20, 7}, 1);  // newer: in front
  insert_quietly(list, {10, 20, 3}, 1);  // older: directly behind the first, unchecked
  insert_quietly(list, {10, 20, 4}, 1);  // again directly behind the first
  EXPECT_EQ(identities(list),
            (std::vector<Identity>{{10, 20, 7}, {10, 20, 4}, {10, 20, 3}, {10, 20, 5}}));
  EXPECT_TRUE(list.in_order()) << "loose time order within one range changes no lookup";

  EXPECT_EQ(insert_quietly(list, {10, 20, 7}, 0), "duplicate with the first\n");
  EXPECT_EQ(insert_quietly(list, {10, 20, 4}, 0), "duplicate \n") << "twin behind the first";
  EXPECT_EQ(list.size(), 4u);
  expect_links_consistent(list);
}

TEST_F(TagListTest, RefusesTwinsAndOlderEqualRangesBehindTheFirst) {
  insert_quietly(list, {0, 50, 10}, 1);
  insert_quietly(list, {10, 20, 20}, 1);
  EXPECT_EQ(insert_quietly(list, {10, 20, 20}, 0), "duplicate \n");
  EXPECT_EQ(insert_quietly(list, {10, 20, 19}, 0), "old memmber can't be inserted now.\n");
  EXPECT_EQ(insert_quietly(list, {10, 20, 21}, 1), "");
  EXPECT_EQ(insert_quietly(list, {0, 50, 9}, 1), "");  // older than the first: right behind it
  EXPECT_EQ(identities(list), (std::vector<Identity>{
                                  {0, 50, 10}, {0, 50, 9}, {10, 20, 21}, {10, 20, 20}}));
  expect_links_consistent(list);
}

TEST_F(TagListTest, RandomInsertionsKeepTheOrderAndTheLinks) {
  std::mt19937 rng(7);
  int32_t time = 100;
  size_t accepted = 0;
  for (int i = 0; i < 400; ++i) {
    const int32_t start = static_cast<int32_t>(rng() % 30);
    const int32_t end = start + 1 + static_cast<int32_t>(rng() % 5);
    // Mostly new times; now and then an old one, which may be refused.
    const int32_t t = rng() % 4 ? ++time : time - static_cast<int32_t>(rng() % 20);
    auto tag = tag_of({start, end, t});
    CaptureStderr();
    accepted += static_cast<size_t>(list.insert_tag(tag));
    GetCapturedStderr();
  }
  EXPECT_EQ(list.size(), accepted);
  EXPECT_TRUE(list.in_order());
  auto ids = identities(list);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "a twin got in";
  expect_links_consistent(list);
}

TEST_F(TagListTest, FindTagAtPrefersLaterStartThenEarlierEndThenNewer) {
  for (const TagRecord& s : {TagRecord{0, 50, 1}, TagRecord{10, 20, 2}, TagRecord{10, 30, 3}, TagRecord{60, 70, 4},
                        TagRecord{60, 70, 6}})
    insert_quietly(list, s, 1);
  auto found = [&](int32_t p) -> const Tag* {
    const TagNode* n = list.find_tag_at(p);
    return n ? n->tag.get() : nullptr;
  };
  EXPECT_EQ(found(15)->end, 20);
  EXPECT_EQ(found(25)->end, 30);
  EXPECT_EQ(found(30)->end, 50) << "a Tag does not cover its end";
  EXPECT_EQ(found(0)->end, 50);
  EXPECT_EQ(found(50), nullptr);
  EXPECT_EQ(found(-1), nullptr);
  EXPECT_EQ(found(65)->time, 6);
}

TEST_F(TagListTest, FindTagAtFollowsTheScanRuleOnDisorderedLists) {
  append_all(list, {{10, 20, 1}, {5, 15, 2}});
  EXPECT_EQ(list.find_tag_at(12)->tag->start, 5) << "earlier end wins over earlier start";
  list.clear();
  append_all(list, {{60, 70, 1}, {0, 100, 2}});
  EXPECT_EQ(list.find_tag_at(50), nullptr) << "the scan stops at the first later start";
  list.clear();
  append_all(list, {{30, 40, 1}, {0, 100, 2}});
  EXPECT_EQ(list.find_tag_at(50)->tag->time, 2);
  EXPECT_FALSE(list.in_order());
}

TEST_F(TagListTest, FindTagAtReportsTwinsOnStdoutAndKeepsTheFirst) {
  append_all(list, {{10, 20, 1000000000, 'C'}, {10, 20, 1000000000, 'D'}});
  EXPECT_FALSE(list.in_order());
  const std::time_t when = 1000000000;
  const std::string expected =
      std::string("Find duplicate tag! start: 10 end: 20\n time ") + std::ctime(&when) + "\n";
  CaptureStdout();
  const TagNode* n = list.find_tag_at(12);
  EXPECT_EQ(GetCapturedStdout(), expected);
  EXPECT_EQ(n->tag->style, 'C');
}

TEST_F(TagListTest, RemoveTagAtTakesTheRulingTagAndKeepsTheRest) {
  append_all(list, {{0, 50, 1}, {10, 20, 2}, {30, 40, 3}});
  EXPECT_EQ(list.remove_tag_at(45), 1) << "only the outer Tag covers 45";
  EXPECT_EQ(identities(list), (std::vector<Identity>{{10, 20, 2}, {30, 40, 3}}));
  expect_links_consistent(list);

  EXPECT_EQ(list.remove_tag_at(5), 0);
  EXPECT_EQ(list.remove_tag_at(35), 1);  // the last node: unlinked
  EXPECT_EQ(identities(list), (std::vector<Identity>{{10, 20, 2}}));
  expect_links_consistent(list);
  EXPECT_EQ(list.remove_tag_at(10), 1);
  EXPECT_TRUE(list.empty());
  expect_links_consistent(list);
}

TEST_F(TagListTest, RemoveTagAtTakesOnlyTheInnerOfNestedTags) {
  append_all(list, {{0, 50, 1}, {10, 20, 2}});
  EXPECT_EQ(list.remove_tag_at(15), 1);
  EXPECT_EQ(identities(list), (std::vector<Identity>{{0, 50, 1}}));
}

TEST_F(TagListTest, RemoveTagFindsByIdentityAndLeavesTheArgumentAlone) {
  append_all(list, {{0, 10, 1}, {5, 8, 2, 'B', "note"}, {20, 30, 3}});
  const auto copy = copy_tag(*list.head()->next->tag);
  EXPECT_EQ(list.remove_tag(*copy), 1);
  EXPECT_EQ(copy->note(), "note");
  EXPECT_EQ(list.remove_tag(*copy), 0);
  EXPECT_EQ(list.remove_tag(*tag_of({20, 30, 3})), 1);
  EXPECT_EQ(identities(list), (std::vector<Identity>{{0, 10, 1}}));
  expect_links_consistent(list);
}

TEST(TagTest, CopyAndMakeKeepTheNoteRules) {
  const auto tag = make_tag(1, 2, 'C', 9, "two\nlines");
  EXPECT_EQ(tag->textsize, 10);
  EXPECT_EQ(tag->text[9], '\0');
  const auto copy = copy_tag(*tag);
  EXPECT_NE(copy->text.get(), tag->text.get());
  EXPECT_EQ(copy->note(), "two\nlines");
  EXPECT_EQ(compare_tags(*copy, *tag), 0);
  const auto bare = make_tag(1, 2, 'C', 9, "");
  EXPECT_EQ(bare->textsize, 0);
  EXPECT_EQ(bare->text, nullptr);
  EXPECT_NE(compare_tags(*make_tag(INT32_MIN, 1, 'A', 0, ""), *make_tag(INT32_MAX, 1, 'A', 0, "")),
            0) << "distant starts must not wrap to equal";
}

TEST_F(TagListTest, ClampTagsExaminesTheTagAfterARemovedOne) {
  append_all(list, {{-5, 3, 1}, {90, 120, 2}, {110, 130, 3}, {115, 125, 4}});
  list.clamp_tags(0, 100);
  EXPECT_EQ(identities(list), (std::vector<Identity>{{0, 3, 1}, {90, 100, 2}}));
  expect_links_consistent(list);
  list.clamp_tags(50, 60);
  EXPECT_TRUE(list.empty());
  expect_links_consistent(list);
}

TEST_F(TagListTest, ClampStylesComparesUnsigned) {
  append_all(list, {{0, 1, 1, '@'}, {1, 2, 2, '{'}, {2, 3, 3, 0xE9}, {3, 4, 4, 'M'}});
  list.clamp_styles('A', 'z');
  std::string styles;
  for (const TagNode* n = list.head(); n; n = n->next.get()) styles += char(n->tag->style);
  EXPECT_EQ(styles, "AzzM");
  list.clamp_styles('z', 'A');  // bounds the wrong way round: nothing to do
  EXPECT_EQ(list.head()->tag->style, 'A');
}

TEST_F(TagListTest, LongListsAreFreedWithoutDeepRecursion) {
  for (int32_t i = 0; i < 200000; ++i) list.append_tag(tag_of({i, i + 1, i}));
  EXPECT_EQ(list.size(), 200000u);
  list.clear();
  EXPECT_TRUE(list.empty());
  expect_links_consistent(list);
  {
    TagList doomed;
    for (int32_t i = 0; i < 200000; ++i) doomed.append_tag(tag_of({i, i + 1, i}));
  }
}

int32_t g_reads = 0;
int32_t stuttering_clock() {
  // Answers 7000 three times before the second turns.
  ++g_reads;
  return g_reads <= 4 ? 7000 : 7001;
}

TEST(UniqueTimeTest, WaitsForTheClockToMoveOn) {
  g_reads = 0;
  set_time_source(&stuttering_clock);
  EXPECT_EQ(unique_time(), 7000);
  EXPECT_EQ(unique_time(), 7001);
  EXPECT_EQ(g_reads, 5);
  set_time_source(nullptr);
}

TEST(UniqueTimeTest, TheListTakesOneStampWhenMade) {
  g_reads = 0;
  set_time_source(&stuttering_clock);
  EXPECT_EQ(unique_time(), 7000);
  TagList list;  // its stamp has to wait for 7001
  EXPECT_EQ(g_reads, 5);
  set_time_source(nullptr);
}

TEST(UniqueTimeTest, RealClockGivesTheNextSecond) {
  set_time_source(nullptr);
  const int32_t first = unique_time();
  const int32_t second = unique_time();
  EXPECT_GE(second, first + 1);
  EXPECT_LE(std::abs(second - static_cast<int32_t>(std::time(nullptr))), 1);
}

}  // namespace
}  // namespace gm
