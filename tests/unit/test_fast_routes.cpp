// The faster routes of the core against the plain ones they replace, on random inputs:
// duplicate records found by range runs instead of a hash set of every identity, style runs
// instead of painted bytes, and the list order kept between changes instead of walked anew.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tags/styles.h"
#include "tags/tag.h"
#include "tags/tag_file.h"
#include "tags_test_support.h"

namespace gm {
namespace {

namespace fs = std::filesystem;
using test::TagRecord;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

std::string le32(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
}

// Records in list order with some duplicates, equal-range runs (a long one now and then),
// and, when asked, a few records out of place.
std::vector<TagRecord> random_records(std::mt19937& rng, bool disorder) {
  auto pick = [&rng](int n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
  std::vector<TagRecord> records;
  int32_t start = 0;
  const int count = 1 + pick(300);
  for (int i = 0; i < count; ++i) {
    start += pick(3);
    const int32_t end = start + 1 + pick(4);
    const int run = pick(20) == 0 ? 70 + pick(20) : 1 + pick(3);
    for (int r = 0; r < run; ++r) records.push_back({start, end, 1000 + pick(run + 2)});
  }
  // Duplicates of earlier records, far from and right after their first.
  for (int i = pick(10); i > 0; --i)
    records.insert(records.begin() + pick(static_cast<int>(records.size())),
                 records[static_cast<size_t>(pick(static_cast<int>(records.size())))]);
  if (disorder) {
    for (int i = 1 + pick(3); i > 0; --i)
      std::swap(records[static_cast<size_t>(pick(static_cast<int>(records.size())))],
                records[static_cast<size_t>(pick(static_cast<int>(records.size())))]);
  }
  return records;
}

// What reading must give: the first record of each identity, in file order, and one
// message per later one.
std::pair<std::vector<test::Identity>, std::string> first_of_each(const std::vector<TagRecord>& records) {
  std::set<test::Identity> seen;
  std::vector<test::Identity> kept;
  std::string messages;
  for (const TagRecord& s : records) {
    if (seen.insert({s.start, s.end, s.time}).second) {
      kept.emplace_back(s.start, s.end, s.time);
    } else {
      messages += "skip duplicate tag record start: " + std::to_string(s.start) +
                  " end: " + std::to_string(s.end) + "\n";
    }
  }
  return {kept, messages};
}

TEST(FastRoutes, DuplicateRecordsAreFoundInAnyOrder) {
  test::CountingClock clock;
  std::string pattern = (fs::temp_directory_path() / "gm-fast-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string file = pattern + "/d.tag";
  std::mt19937 rng(5);
  for (int round = 0; round < 400; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::vector<TagRecord> records = random_records(rng, round % 2 == 1);
    std::string bytes = le32(0) + le32(0) + 'A';
    for (const TagRecord& s : records) bytes += le32(s.start) + le32(s.end) + 'B' + le32(s.time) + le32(0);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;

    TagList list;
    CaptureStderr();
    EXPECT_EQ(read_tag_file(list, file.c_str()), 0);
    const std::string messages = GetCapturedStderr();
    const auto [kept, expected_messages] = first_of_each(records);
    ASSERT_EQ(test::identities(list), kept);
    ASSERT_EQ(messages, expected_messages);
  }
  fs::remove_all(pattern);
}

TEST(FastRoutes, StyleRunsGiveThePaintedBytes) {
  test::CountingClock clock;
  std::mt19937 rng(17);
  for (int round = 0; round < 500; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int32_t length = 1 + static_cast<int32_t>(rng() % 60);
    std::vector<TagRecord> records;
    for (int i = static_cast<int>(rng() % 12); i > 0; --i) {
      const int32_t start = static_cast<int32_t>(rng() % static_cast<uint32_t>(length));
      const int32_t end = start + 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(length - start));
      records.push_back({start, end, static_cast<int32_t>(rng() % 50),
                       static_cast<unsigned char>('A' + rng() % 60)});
    }
    TagList list;
    if (round % 2 == 0) {
      CaptureStderr();  // twins refused
      for (const TagRecord& s : records) {
        auto tag = test::tag_of(s);
        list.insert_tag(tag);
      }
      GetCapturedStderr();
    } else {
      test::append_all(list, records);  // in file order, often out of order
    }
    const int32_t from = static_cast<int32_t>(rng() % static_cast<uint32_t>(length));
    const int32_t to = from + static_cast<int32_t>(rng() % static_cast<uint32_t>(length - from + 1));
    std::string painted(static_cast<size_t>(to - from), '?');
    paint_styles(list, from, to, painted.data());

    std::string from_runs;
    int32_t at = from;
    for (const StyleRun& run : style_runs(list, from, to)) {
      ASSERT_EQ(run.start, at) << "runs leave no gaps";
      ASSERT_LT(run.start, run.end);
      from_runs.append(static_cast<size_t>(run.end - run.start), run.style);
      at = run.end;
    }
    EXPECT_EQ(at, std::max(from, to));
    EXPECT_EQ(from_runs, painted);
  }
}

TEST(FastRoutes, KnownOrderFollowsEveryChange) {
  test::CountingClock clock;
  TagList list;
  test::append_all(list, {{0, 10, 1}, {2, 5, 2}});
  EXPECT_TRUE(list.in_order());
  list.append_tag(test::tag_of({1, 3, 3}));  // starts before the last one
  EXPECT_FALSE(list.in_order());
  list.remove_tag(*test::tag_of({1, 3, 3}));
  EXPECT_TRUE(list.in_order());
  list.append_tag(test::tag_of({2, 5, 2}));  // a twin
  EXPECT_FALSE(list.in_order());
  CaptureStdout();  // the lookup reports the twins
  list.remove_tag_at(3);  // the first of the twins
  GetCapturedStdout();
  EXPECT_TRUE(list.in_order());
  list.append_tag(test::tag_of({1, 9, 4}));
  EXPECT_FALSE(list.in_order());
  list.clamp_tags(3, 10);  // every start becomes 3: [3,10) [3,5) [3,9) is out of order
  EXPECT_FALSE(list.in_order());
  list.clamp_tags(0, 4);  // [3,4) three times, with distinct times
  EXPECT_TRUE(list.in_order());
  list.clear();
  EXPECT_TRUE(list.in_order());
  auto tag = test::tag_of({4, 6, 9});
  list.insert_tag(tag);
  EXPECT_TRUE(list.in_order());
}

}  // namespace
}  // namespace gm
