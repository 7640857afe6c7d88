// The hover lookup table must give find_tag_at's answer for every position, on every list.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tags/tag_index.h"
#include "tags_test_support.h"

namespace gm {
namespace {

using test::TagRecord;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// Nested, overlapping, same-start and same-range Tags with times in any order (twins too,
// when asked), over a short text so that every position meets many of them.
std::vector<TagRecord> random_records(std::mt19937& rng, int32_t length, bool twins) {
  auto pick = [&rng](int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
  std::vector<TagRecord> records;
  const int count = 1 + pick(40);
  for (int i = 0; i < count; ++i) {
    // Distinct times unless twins are wanted; either way in no particular order.
    TagRecord s{0, 0, twins ? 1000 + pick(60) : pick(1 << 20) * 64 + i};
    if (!records.empty() && pick(4) == 0) {
      const TagRecord& other = records[static_cast<size_t>(pick(static_cast<int32_t>(records.size())))];
      s.start = other.start;
      s.end = pick(2) ? other.end : other.start + 1 + pick(length - other.start);
      if (twins && pick(3) == 0) s.time = other.time;
    } else {
      s.start = pick(length);
      s.end = s.start + 1 + pick(std::min(length - s.start, 1 + pick(length)));
    }
    records.push_back(s);
  }
  return records;
}

void expect_same_answers(TagIndex& index, const TagList& list, int32_t length) {
  std::vector<const TagNode*> expected;
  std::vector<const TagNode*> found;
  CaptureStdout();  // twins make both routes complain alike
  for (int32_t p = -2; p <= length + 2; ++p) {
    expected.push_back(list.find_tag_at(p));
    found.push_back(index.find(list, p));
  }
  GetCapturedStdout();
  for (size_t i = 0; i < found.size(); ++i)
    ASSERT_EQ(found[i], expected[i]) << "position " << static_cast<int>(i) - 2;
}

TEST(TagIndexTest, AgreesWithTheScanOnSortedLists) {
  test::CountingClock clock;
  std::mt19937 rng(7);
  for (int round = 0; round < 1500; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int32_t length = 1 + static_cast<int32_t>(rng() % 60);
    TagList list;
    CaptureStderr();  // refused twins and old equal ranges
    for (const TagRecord& s : random_records(rng, length, false)) {
      auto tag = test::tag_of(s);
      list.insert_tag(tag);
    }
    GetCapturedStderr();
    ASSERT_TRUE(list.in_order());
    TagIndex index;
    expect_same_answers(index, list, length);
  }
}

TEST(TagIndexTest, AgreesWithTheScanOnListsInFileOrder) {
  test::CountingClock clock;
  std::mt19937 rng(11);
  int ordered = 0;
  for (int round = 0; round < 1500; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int32_t length = 1 + static_cast<int32_t>(rng() % 60);
    std::vector<TagRecord> records = random_records(rng, length, round % 2 == 0);
    // Every third list arrives sorted by start, as most tag files do.
    if (round % 3 == 0)
      std::stable_sort(records.begin(), records.end(),
                       [](const TagRecord& a, const TagRecord& b) { return a.start < b.start; });
    TagList list;
    test::append_all(list, records);
    ordered += list.in_order();
    TagIndex index;
    expect_same_answers(index, list, length);
  }
  EXPECT_GT(ordered, 100) << "both routes of the table should be under test";
  EXPECT_LT(ordered, 1400);
}

TEST(TagIndexTest, FollowsEveryChangeOfTheList) {
  test::CountingClock clock;
  std::mt19937 rng(3);
  const int32_t length = 50;
  TagList list;
  TagIndex index;
  std::vector<TagRecord> inserted;
  for (int step = 0; step < 400; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const int action = static_cast<int>(rng() % 5);
    CaptureStderr();
    if (action < 3 || inserted.empty()) {
      const TagRecord s = random_records(rng, length, false).front();
      auto tag = test::tag_of(s);
      if (list.insert_tag(tag)) inserted.push_back(s);
    } else if (action == 3) {
      const size_t which = rng() % inserted.size();
      list.remove_tag(*test::tag_of(inserted[which]));
      inserted.erase(inserted.begin() + static_cast<ptrdiff_t>(which));
    } else {
      list.remove_tag_at(static_cast<int32_t>(rng() % length));  // moves a Tag between nodes
      inserted.clear();
      for (const TagNode* n = list.head(); n; n = n->next.get())
        inserted.push_back({n->tag->start, n->tag->end, n->tag->time});
    }
    GetCapturedStderr();
    expect_same_answers(index, list, length);
  }
  TagList loaded{TagList::Carrier{}};  // an open swaps the loaded Tags in
  loaded.append_tag(test::tag_of({12, 18, 7}));
  list.swap_contents(loaded);
  expect_same_answers(index, list, length);
  list.swap_contents(loaded);
  list.clamp_tags(10, 20);
  expect_same_answers(index, list, length);
  list.clear();
  EXPECT_EQ(index.find(list, 15), nullptr);
}

TEST(TagIndexTest, AnotherListIsNeverAnsweredFromTheOldTable) {
  test::CountingClock clock;
  TagList first;
  TagList second;
  first.append_tag(test::tag_of({0, 10, 5}));
  second.append_tag(test::tag_of({0, 10, 6}));
  TagIndex index;
  EXPECT_EQ(index.find(first, 3), first.head());
  EXPECT_EQ(index.find(second, 3), second.head());
  EXPECT_TRUE(index.built_for(second));
  EXPECT_FALSE(index.built_for(first));
}

}  // namespace
}  // namespace gm
