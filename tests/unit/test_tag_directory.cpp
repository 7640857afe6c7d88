// The TagList's directory must give the answers of the plain walks from the head (the
// lookup by position, the covers, the carried end, the lookup by identity, the order and the
// style counts), on every list and after every change.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tags/tag.h"
#include "tags/tag_lookup.h"
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

// The plain answers, by walks from the head.
bool plain_in_order(const TagList& list) {
  const Tag* prev = nullptr;
  std::vector<int32_t> run;
  for (const TagNode* n = list.head(); n; n = n->next.get()) {
    const Tag& t = *n->tag;
    if (prev && (t.start < prev->start || (t.start == prev->start && t.end > prev->end)))
      return false;
    if (!prev || t.start != prev->start || t.end != prev->end) run.clear();
    for (int32_t time : run)
      if (time == t.time) return false;
    run.push_back(t.time);
    prev = &t;
  }
  return true;
}

void expect_same_answers(const TagList& list, int32_t length) {
  CaptureStdout();  // twins make both routes complain alike
  for (int32_t p = -2; p <= length + 2; ++p) {
    SCOPED_TRACE("position " + std::to_string(p));
    EXPECT_EQ(list.find_tag_at(p), ruling_node(list.head(), p, false));
    std::vector<const TagNode*> covers;
    const TagNode* after = nullptr;
    list.covering_nodes(p, covers, after);
    std::vector<const TagNode*> plain_covers;
    const TagNode* n = list.head();
    for (; n && n->tag->start <= p; n = n->next.get())
      if (n->tag->end > p) plain_covers.push_back(n);
    EXPECT_EQ(covers, plain_covers);
    EXPECT_EQ(after, n);
    if (!list.in_order()) continue;
    int64_t carried = p;
    for (n = list.head(); n && n->tag->start <= carried; n = n->next.get())
      carried = std::max<int64_t>(carried, n->tag->end);
    EXPECT_EQ(list.carried_end(p), carried);
  }
  size_t counted[256] = {};
  for (const TagNode* n = list.head(); n; n = n->next.get()) {
    ++counted[n->tag->style];
    const TagNode* first = list.head();
    while (identity_of(*first->tag) != identity_of(*n->tag)) first = first->next.get();
    EXPECT_EQ(list.find_identity(identity_of(*n->tag)), first);
  }
  for (int style = 0; style < 256; ++style)
    EXPECT_EQ(list.style_count(static_cast<unsigned char>(style)), counted[style]) << style;
  EXPECT_EQ(list.in_order(), plain_in_order(list));
  GetCapturedStdout();
}

TEST(TagDirectoryTest, AgreesWithTheScanOnSortedLists) {
  test::CountingClock clock;
  std::mt19937 rng(7);
  for (int round = 0; round < 1500; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int32_t length = 1 + static_cast<int32_t>(rng() % 60);
    TagList list;
    list.set_block_nodes(1 + static_cast<uint32_t>(rng() % 5));
    CaptureStderr();  // refused twins and old equal ranges
    for (const TagRecord& s : random_records(rng, length, false)) {
      auto tag = test::tag_of(s);
      list.insert_tag(tag);
    }
    GetCapturedStderr();
    ASSERT_TRUE(list.in_order());
    expect_same_answers(list, length);
  }
}

TEST(TagDirectoryTest, AgreesWithTheScanOnListsInFileOrder) {
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
    list.set_block_nodes(1 + static_cast<uint32_t>(rng() % 5));
    test::append_all(list, records);
    ordered += list.in_order();
    expect_same_answers(list, length);
  }
  EXPECT_GT(ordered, 100) << "both routes should be under test";
  EXPECT_LT(ordered, 1400);
}

TEST(TagDirectoryTest, FollowsEveryChangeOfTheList) {
  test::CountingClock clock;
  std::mt19937 rng(3);
  const int32_t length = 50;
  TagList list;
  list.set_block_nodes(2);  // blocks split and empty all the time
  std::vector<TagRecord> inserted;
  for (int step = 0; step < 600; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    const int action = static_cast<int>(rng() % 6);
    CaptureStderr();
    if (action < 3 || inserted.empty()) {
      TagRecord s = random_records(rng, length, false).front();
      s.style = static_cast<unsigned char>('A' + rng() % 4);
      auto tag = test::tag_of(s);
      if (list.insert_tag(tag)) inserted.push_back(s);
    } else if (action == 3) {
      const size_t which = rng() % inserted.size();
      list.remove_tag(*test::tag_of(inserted[which]));
      inserted.erase(inserted.begin() + static_cast<ptrdiff_t>(which));
    } else {
      CaptureStdout();
      list.remove_tag_at(static_cast<int32_t>(rng() % length));
      GetCapturedStdout();
      inserted.clear();
      for (const TagNode* n = list.head(); n; n = n->next.get())
        inserted.push_back({n->tag->start, n->tag->end, n->tag->time, n->tag->style});
    }
    GetCapturedStderr();
    expect_same_answers(list, length);
  }
  TagList loaded{TagList::Carrier{}};  // an open swaps the loaded Tags in
  loaded.append_tag(test::tag_of({12, 18, 7}));
  list.swap_contents(loaded);
  expect_same_answers(list, length);
  list.swap_contents(loaded);
  list.clamp_tags(10, 20);
  expect_same_answers(list, length);
  list.clamp_styles('B', 'C');
  expect_same_answers(list, length);
  list.clear();
  expect_same_answers(list, length);
}

}  // namespace
}  // namespace gm
