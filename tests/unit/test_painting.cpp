#include <FL/Enumerations.H>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "tags/styles.h"
#include "tags/tag.h"
#include "tags_test_support.h"

namespace gm {
namespace {

using test::append_all;
using test::TagRecord;
using test::tag_of;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// One lookup per byte: the rule the painter has to reproduce for every list.
std::string paint_per_byte(const TagList& list, int32_t from, int32_t to) {
  std::string out;
  for (int32_t i = from; i < to; ++i) {
    const TagNode* n = list.find_tag_at(i);
    out += static_cast<char>(buffer_style(n ? n->tag->style : list.default_style));
  }
  return out;
}

std::string paint(const TagList& list, int32_t from, int32_t to) {
  std::string out(static_cast<size_t>(std::max(0, to - from)), '?');
  paint_styles(list, from, to, out.data());
  return out;
}

int32_t stretch_end_per_byte(const TagList& list, int32_t end, int32_t length) {
  int32_t e = end;
  while (e < length && list.find_tag_at(e)) ++e;
  return e;
}

class PaintingTest : public testing::Test {
protected:
  test::CountingClock clock;
  TagList list;
};

TEST_F(PaintingTest, InnerTagsShowThroughOuterOnes) {
  append_all(list, {{0, 10, 1, 'C'}, {3, 5, 2, 'K'}});
  EXPECT_EQ(paint(list, 0, 12), "CCCKKCCCCCAA");
  EXPECT_EQ(paint(list, 4, 7), "KCC");
  list.default_style = 'E';
  EXPECT_EQ(paint(list, 9, 12), "CEE");
}

TEST_F(PaintingTest, NewerTagOfTheSameRangeWins) {
  for (const TagRecord& s : {TagRecord{2, 4, 10, 'B'}, TagRecord{2, 4, 20, 'D'}, TagRecord{2, 4, 15, 'F'}}) {
    auto tag = tag_of(s);
    CaptureStderr();
    list.insert_tag(tag);
    GetCapturedStderr();
  }
  EXPECT_EQ(paint(list, 0, 6), "AADDAA");
}

TEST_F(PaintingTest, BytesOutsideTheStyleRangeAreMadeSafeForTheBuffer) {
  append_all(list, {{0, 1, 1, '@'}, {1, 2, 2, '{'}, {2, 3, 3, 0x80}, {3, 4, 4, 0xFF}, {4, 5, 5, 0}});
  list.default_style = 0x90;
  EXPECT_EQ(paint(list, 0, 6), "A{zzAz");
  list.default_style = 1;
  EXPECT_EQ(paint(list, 5, 6), "A");
}

TEST_F(PaintingTest, NormalizingRaisesLowStylesAndTamesHighDefaults) {
  append_all(list, {{0, 1, 1, '@'}, {1, 2, 2, '{'}, {2, 3, 3, 0x90}});
  list.default_style = '@';
  normalize_styles_for_document(list);
  EXPECT_EQ(list.default_style, 'A');
  std::string styles;
  for (const TagNode* n = list.head(); n; n = n->next.get()) styles += char(n->tag->style);
  EXPECT_EQ(styles, "A{\x90");
  list.default_style = 0x80;
  normalize_styles_for_document(list);
  EXPECT_EQ(list.default_style, 'z');
  list.default_style = '{';
  normalize_styles_for_document(list);
  EXPECT_EQ(list.default_style, '{');
}

// Random Tags over a short text: nested, equal ranges, equal starts, both text ends.
std::vector<TagRecord> random_records(std::mt19937& rng, int32_t length, bool allow_twins) {
  static const unsigned char kStyles[] = {'A', 'B', 'C', 'K', 'z', 'i', '@', '{', 0x80, 0xFE, '_'};
  auto pick = [&](int32_t n) { return static_cast<int32_t>(rng() % static_cast<uint32_t>(n)); };
  std::vector<TagRecord> records;
  const int count = pick(30);
  int32_t time = 100;
  for (int i = 0; i < count; ++i) {
    TagRecord s{0, 0, ++time, kStyles[pick(sizeof kStyles)]};
    const TagRecord* prev = records.empty() ? nullptr : &records[static_cast<size_t>(pick(int32_t(records.size())))];
    switch (pick(6)) {
      case 0:  // inside an earlier one, when it has room
        if (prev && prev->end - prev->start > 1) {
          s.start = prev->start + pick(prev->end - prev->start - 1);
          s.end = s.start + 1 + pick(prev->end - s.start);
          break;
        }
        [[fallthrough]];
      case 1:
        s.start = pick(length);
        s.end = s.start + 1 + pick(length - s.start);
        break;
      case 2:  // same range, other time (or the same one: a twin)
        if (!prev) continue;
        s.start = prev->start;
        s.end = prev->end;
        if (allow_twins && pick(3) == 0) s.time = prev->time;
        break;
      case 3:  // same start
        if (!prev) continue;
        s.start = prev->start;
        s.end = s.start + 1 + pick(length - s.start);
        break;
      case 4:
        s.start = 0;
        s.end = 1 + pick(length);
        break;
      default:
        s.start = pick(length);
        s.end = length;
    }
    records.push_back(s);
  }
  std::shuffle(records.begin(), records.end(), rng);
  return records;
}

void insert_all(TagList& list, const std::vector<TagRecord>& records) {
  CaptureStderr();
  for (const TagRecord& s : records) {
    auto tag = tag_of(s);
    list.insert_tag(tag);
  }
  GetCapturedStderr();
}

// The whole text, random stretches of it (also reaching past both ends) and every end
// for the tagged stretch.
void compare_with_per_byte(const TagList& list, std::mt19937& rng, int32_t length) {
  std::vector<std::pair<int32_t, int32_t>> ranges{{0, length}};
  for (int i = 0; i < 10; ++i) {
    const int32_t from = static_cast<int32_t>(rng() % uint32_t(length + 4)) - 2;
    ranges.emplace_back(from, from + static_cast<int32_t>(rng() % uint32_t(length + 4 - from)));
  }
  std::vector<std::string> expected_paint;
  std::vector<int32_t> expected_end;
  CaptureStdout();  // twins make the lookup complain; the painter stays quiet
  for (const auto& [from, to] : ranges) expected_paint.push_back(paint_per_byte(list, from, to));
  for (int32_t end = -1; end <= length + 1; ++end)
    expected_end.push_back(stretch_end_per_byte(list, end, length));
  GetCapturedStdout();

  for (size_t i = 0; i < ranges.size(); ++i) {
    const auto [from, to] = ranges[i];
    ASSERT_EQ(paint(list, from, to), expected_paint[i]) << from << ".." << to;
  }
  for (int32_t end = -1; end <= length + 1; ++end)
    ASSERT_EQ(tagged_stretch_end(list, end, length), expected_end[size_t(end + 1)])
        << "end " << end;

  // The views that show more than the style get the very Tag the lookup gives.
  CaptureStdout();
  for (const TagRun& run : tag_runs(list, 0, length)) {
    for (int32_t p = run.start; p < run.end; ++p) {
      const TagNode* rule = list.find_tag_at(p);
      ASSERT_EQ(rule != nullptr, run.tag != nullptr) << "position " << p;
      if (rule) {
        ASSERT_TRUE(same_identity(*rule->tag, *run.tag) && rule->tag->style == run.tag->style)
            << "position " << p;
      }
    }
  }
  GetCapturedStdout();
}

TEST(PaintingRandomTest, SortedListsMatchTheLookupPerByte) {
  test::CountingClock clock;
  std::mt19937 rng(2024);
  for (int round = 0; round < 1000; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int32_t length = 1 + static_cast<int32_t>(rng() % 80);
    TagList list;
    list.default_style = round % 7 == 0 ? 0x85 : 'A' + round % 58;
    insert_all(list, random_records(rng, length, false));
    ASSERT_TRUE(list.in_order());
    compare_with_per_byte(list, rng, length);
  }
}

TEST(PaintingRandomTest, ListsInFileOrderMatchTheLookupPerByte) {
  test::CountingClock clock;
  std::mt19937 rng(99);
  int disordered = 0;
  for (int round = 0; round < 1000; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int32_t length = 1 + static_cast<int32_t>(rng() % 80);
    TagList list;
    append_all(list, random_records(rng, length, true));
    disordered += !list.in_order();
    compare_with_per_byte(list, rng, length);
  }
  EXPECT_GT(disordered, 700) << "the slow route should be the one under test";
}

TEST_F(PaintingTest, StretchEndStopsAtTheTextEnd) {
  append_all(list, {{2, 5, 1}, {5, 8, 2}, {8, 10, 3}});
  EXPECT_EQ(tagged_stretch_end(list, 3, 10), 10);
  EXPECT_EQ(tagged_stretch_end(list, 3, 9), 9);
  EXPECT_EQ(tagged_stretch_end(list, 0, 10), 0);
  EXPECT_EQ(tagged_stretch_end(list, 12, 10), 12);
}

static_assert(FL_BLACK == 56 && FL_RED == 88 && FL_DARK_RED == 72 && FL_DARK_CYAN == 140 &&
              FL_BLUE == 216 && FL_DARK_BLUE == 136 && FL_DARK_GREEN == 60 &&
              FL_DARK_YELLOW == 76 && FL_MAGENTA == 248 && FL_DARK_MAGENTA == 152);
static_assert(FL_HELVETICA == 0 && FL_HELVETICA_BOLD == 1 && FL_HELVETICA_ITALIC == 2 &&
              FL_HELVETICA_BOLD_ITALIC == 3);

TEST(StyleTableTest, EveryCellHasItsGroupsFontSizeAndPlaceColour) {
  const unsigned colours[] = {FL_BLACK,     FL_RED,        FL_DARK_RED,    FL_DARK_CYAN,
                              FL_BLUE,      FL_DARK_BLUE,  FL_DARK_GREEN,  FL_DARK_YELLOW,
                              FL_MAGENTA,   FL_DARK_MAGENTA};
  struct Group {
    const char* letters;
    int font;
    int size;
  };
  const Group groups[] = {{"ABCDEFGHIJ", FL_HELVETICA, 14},      {"KLMNOPQRST", FL_HELVETICA_BOLD, 14},
                          {"UVWXYZ[\\]^", FL_HELVETICA_ITALIC, 14},
                          {"_`abcdefgh", FL_HELVETICA_BOLD_ITALIC, 16},
                          {"ijklmnopqr", FL_HELVETICA_BOLD_ITALIC, 20},
                          {"stuvwxyz", FL_HELVETICA_BOLD, 16}};
  int cells = 0;
  for (const Group& g : groups) {
    for (int i = 0; g.letters[i]; ++i, ++cells) {
      const unsigned char letter = static_cast<unsigned char>(g.letters[i]);
      SCOPED_TRACE(std::string("style ") + g.letters[i]);
      const StyleEntry& e = kStyleTable[letter - 'A'];
      EXPECT_EQ(e.color, colours[i]);
      EXPECT_EQ(e.font, g.font);
      EXPECT_EQ(e.size, g.size);
      EXPECT_EQ(e.attr, 0u);
      EXPECT_EQ(&style_entry(letter), &e);
    }
  }
  EXPECT_EQ(cells, kStyleCount);
  EXPECT_EQ(&style_entry('@'), &kStyleTable[0]);
  EXPECT_EQ(&style_entry('{'), &kStyleTable[kStyleCount - 1]);
  EXPECT_EQ(&style_entry(0xFF), &kStyleTable[kStyleCount - 1]);
}

}  // namespace
}  // namespace gm
