// Tags following their text: the rules that matter to a user (never guess, ambiguity,
// whitespace changes, small edits), the anchor file against damage, and the fast search
// against the plain one on random texts and edits.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tags/anchor_file.h"
#include "tags/reanchor.h"
#include "tags_test_support.h"

namespace gm {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

const std::string kText =
    "The quick brown fox jumps over the lazy dog near the river bank.\n"
    "A second line talks about something else entirely, like apples.\n"
    "\n"
    "Paragraph two begins here and mentions the fox once more, briefly.\n"
    "Its last line ends the paragraph with a full stop.\n";

// TagLists read the clock when they are made; this one never waits for the next second.
class Reanchor : public testing::Test {
  test::CountingClock clock_;
};
using AnchorFileBytes = Reanchor;
using ReanchorRoutes = Reanchor;

// Tags on the given words of the old text, their anchors, and the re-anchoring on new text.
struct Reanchoring {
  TagList tags;
  AnchorFile saved;

  Reanchoring(const std::string& old_text, const std::vector<std::string>& words) {
    int32_t time = 1000;
    for (const std::string& w : words) {
      const size_t at = old_text.find(w);
      EXPECT_NE(at, std::string::npos) << w;
      const auto s = static_cast<int32_t>(at);
      tags.append_tag(make_tag(s, s + static_cast<int32_t>(w.size()), 'B', ++time, ""));
    }
    saved = make_anchor_file(old_text, tags, {}, {});
  }

  ReanchorResult on(const std::string& new_text) const { return reanchor(new_text, tags, saved); }
};

std::string covered(const std::string& text, const PlacedRange& r) {
  return text.substr(static_cast<size_t>(r.start), static_cast<size_t>(r.end - r.start));
}

std::string replaced(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
    s.replace(at, from.size(), to);
  return s;
}

TEST_F(Reanchor, TagsFollowInsertedAndDeletedLinesAndStayWhereNothingMoved) {
  const Reanchoring r(kText, {"quick brown fox", "apples", "mentions the fox", "full stop"});
  const std::string edited =
      "A new first line.\n" +
      replaced(kText, "A second line talks about something else entirely, like apples.\n",
               "A second line, shorter: apples.\n");
  const ReanchorResult result = r.on(edited);
  EXPECT_EQ(result.counts.followed(), 4u);
  EXPECT_EQ(result.counts.not_placed(), 0u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(result.tags[i].placement, Placement::moved);
  EXPECT_EQ(covered(edited, result.tags[0]), "quick brown fox");
  EXPECT_EQ(covered(edited, result.tags[1]), "apples");
  EXPECT_EQ(covered(edited, result.tags[2]), "mentions the fox");
  EXPECT_EQ(covered(edited, result.tags[3]), "full stop");

  const ReanchorResult same = r.on(kText);
  EXPECT_EQ(same.counts.stayed, 4u);
}

TEST_F(Reanchor, NeverGuessesWhenTheTextIsGoneOrStandsInTwoPlaces) {
  const Reanchoring r(kText, {"lazy dog", "briefly"});
  // The tagged words deleted: the similar words left behind are not taken.
  const std::string gone = replaced(replaced(kText, "lazy dog", "cat"), "briefly", "");
  const ReanchorResult g = r.on(gone);
  EXPECT_EQ(g.tags[0].placement, Placement::not_found);
  EXPECT_EQ(g.tags[1].placement, Placement::not_found);
  EXPECT_EQ(g.counts.not_found, 2u);

  // Text and context now stand twice, at about the same distance from where the edits put
  // them.
  std::string intro;
  while (intro.size() < 1000) intro += "An introduction of other words.\n";
  const std::string twice = intro + kText + kText;
  const Reanchoring one(kText, {"lazy dog"});
  const ReanchorResult t = reanchor(twice, one.tags, one.saved);
  EXPECT_EQ(t.tags[0].placement, Placement::ambiguous);
  EXPECT_EQ(t.counts.ambiguous, 1u);
  // A copy far away does not make the nearby place ambiguous.
  const std::string far = kText + std::string(20000, 'x') + "\n" + kText;
  EXPECT_EQ(reanchor(far, one.tags, one.saved).tags[0].placement, Placement::stays);

  // A document that already said it twice: the tagged copy deleted, the other one (which was
  // there before) is not where the Tag's text went.
  std::string filler;
  for (int i = 0; filler.size() < 3000; ++i) filler += "Filler line " + std::to_string(i) + ".\n";
  const std::string doubled = kText + filler + kText;
  const size_t second = doubled.rfind("lazy dog");
  TagList tags;
  tags.append_tag(
      make_tag(static_cast<int32_t>(second), static_cast<int32_t>(second + 8), 'B', 5, ""));
  const AnchorFile saved = make_anchor_file(doubled, tags, {}, {});
  const std::string cut = doubled.substr(0, doubled.size() - kText.size());
  EXPECT_EQ(reanchor(cut, tags, saved).tags[0].placement, Placement::not_found);
}

TEST_F(Reanchor, ToleratesRewrappedLinesLineEndsAndTabs) {
  const Reanchoring r(kText, {"lazy dog near the river bank.\nA second line",
                              "mentions the fox once more", "full stop"});
  std::string rewrapped = replaced(kText, "\n", "\r\n");
  rewrapped = replaced(rewrapped, "bank.\r\nA second", "bank. A\r\n\tsecond");
  rewrapped = replaced(rewrapped, "mentions the fox", "mentions\nthe  fox");
  rewrapped = "\t" + replaced(rewrapped, "    ", "\t");
  const ReanchorResult result = r.on(rewrapped);
  EXPECT_EQ(result.counts.followed(), 3u);
  EXPECT_EQ(covered(rewrapped, result.tags[0]), "lazy dog near the river bank. A\r\n\tsecond line");
  EXPECT_EQ(covered(rewrapped, result.tags[1]), "mentions\nthe  fox once more");
  EXPECT_EQ(covered(rewrapped, result.tags[2]), "full stop");
}

TEST_F(Reanchor, FollowsSmallEditsInsideTheTextButNotRewrites) {
  const Reanchoring r(kText, {"something else entirely", "begins here and mentions"});
  const std::string typo =
      replaced(replaced(kText, "something else entirely", "somethign else entirly"),
               "begins here and mentions", "begin here and mention");
  const ReanchorResult result = r.on(typo);
  EXPECT_EQ(result.counts.followed(), 2u);
  EXPECT_EQ(covered(typo, result.tags[0]), "somethign else entirly");
  EXPECT_EQ(covered(typo, result.tags[1]), "begin here and mention");

  const std::string rewritten = replaced(kText, "something else entirely", "nothing of the kind");
  EXPECT_EQ(r.on(rewritten).tags[0].placement, Placement::not_found);
}

TEST_F(Reanchor, LongTextsFollowByHeadAndTailAndImportedQuotesAreLocated) {
  std::string text = "Start.\n";
  for (int i = 0; i < 20; ++i) text += "Line " + std::to_string(i) + " of a long tagged passage.\n";
  text += "End.\n";
  const size_t from = text.find("Line 0"), to = text.find("End.");
  TagList tags;
  tags.append_tag(make_tag(static_cast<int32_t>(from), static_cast<int32_t>(to), 'C', 7, "n"));
  const AnchorFile file = make_anchor_file(text, tags, {}, {});
  ASSERT_FALSE(file.anchors[0].quote.whole());
  // Lines added before it and an edit in its middle, which neither head nor tail sees.
  const std::string edited = "Preface line.\n" + replaced(text, "Line 10 of", "Line ten of");
  const ReanchorResult result = reanchor(edited, tags, file);
  ASSERT_EQ(result.tags[0].placement, Placement::moved);
  EXPECT_EQ(result.tags[0].start, static_cast<int32_t>(edited.find("Line 0")));
  EXPECT_EQ(result.tags[0].end, static_cast<int32_t>(edited.find("End.")));

  TextQuote quote;
  quote.exact = "the fox";
  quote.prefix = "mentions ";
  quote.suffix = " once";
  const PlacedRange found = locate_quote(kText, quote, std::nullopt);
  EXPECT_EQ(found.placement, Placement::moved);
  EXPECT_EQ(found.start, static_cast<int32_t>(kText.find("the fox once")));
  quote.exact = "fox";
  quote.prefix = quote.suffix = "";  // twice, and no hint: ambiguous
  EXPECT_EQ(locate_quote(kText, quote, std::nullopt).placement, Placement::ambiguous);
  const auto second = static_cast<int32_t>(kText.find("fox once"));
  EXPECT_EQ(locate_quote(kText, quote, second - 5).start, second);
}

// ---------------------------------------------------------------------------------------
// The anchor file

AnchorFile sample_file() {
  TagList tags;
  tags.append_tag(make_tag(4, 9, 'B', 11, ""));
  tags.append_tag(make_tag(10, 300, 'C', 12, "a note"));
  std::string text(400, 'a');
  for (size_t i = 0; i < text.size(); i += 7) text[i] = ' ';
  std::vector<UnplacedTag> unplaced{
      make_unplaced(*make_tag(1, 3, 'Q', 13, "lost note"), make_quote(text, 1, 3))};
  return make_anchor_file(text, tags, fingerprint("tag file bytes"), std::move(unplaced));
}

TEST_F(AnchorFileBytes, RoundTripsAndTellsDamagedTruncatedAndForeignFilesApart) {
  const AnchorFile file = sample_file();
  const std::string bytes = encode_anchor_file(file);
  std::optional<AnchorFile> back = decode_anchor_file(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(encode_anchor_file(*back), bytes);
  ASSERT_EQ(back->unplaced.size(), 1u);
  const std::unique_ptr<Tag> restored = restore_tag(back->unplaced[0]);
  EXPECT_EQ(restored->note(), "lost note");
  EXPECT_EQ(restored->style, 'Q');
  EXPECT_EQ(anchor_state(*back, fingerprint("tag file bytes"), file.document),
            AnchorState::document_unchanged);
  EXPECT_EQ(anchor_state(*back, fingerprint("tag file bytes"), fingerprint("other")),
            AnchorState::document_changed);
  EXPECT_EQ(anchor_state(*back, fingerprint("rewritten"), file.document),
            AnchorState::belongs_to_other_tag_file);

  std::string why;
  for (size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_FALSE(decode_anchor_file(bytes.substr(0, cut), &why)) << cut;
  for (size_t at = 0; at < bytes.size(); ++at) {
    std::string damaged = bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
    EXPECT_FALSE(decode_anchor_file(damaged, &why)) << at;
  }
  EXPECT_FALSE(decode_anchor_file(std::string("\x01\0\0\0\0\0\0\0A", 9), &why));
  EXPECT_EQ(why, "not an anchor file");
}

TEST_F(AnchorFileBytes, ADamagedFileIsOneLineAndAMissingOneIsSilent) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("glossmark-anchor-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "doc.txt.tag.anchor").string();
  const std::string bytes = encode_anchor_file(sample_file());
  ASSERT_EQ(write_anchor_file(path, bytes), 0);
  EXPECT_TRUE(read_anchor_file(path));
  EXPECT_EQ(fingerprint_file(path), fingerprint(bytes));

  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() / 2);
  CaptureStderr();
  EXPECT_FALSE(read_anchor_file(path));
  EXPECT_FALSE(read_anchor_file((dir / "missing.anchor").string()));
  EXPECT_EQ(GetCapturedStderr(), "anchor file " + path + " ignored: checksum mismatch\n");
  std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------------------------------
// The fast search against the plain one

std::string random_text(std::mt19937& rng, size_t words) {
  // Few distinct words so that repeats, and so ambiguity, are common.
  static const char* const kWords[] = {"ab", "ba", "abc", "cab", "a", "bca", "aa", "bb"};
  static const char* const kGaps[] = {" ", " ", " ", "\n", "  ", "\t", "\r\n"};
  std::string s;
  for (size_t i = 0; i < words; ++i) {
    s += kWords[rng() % 8];
    s += kGaps[rng() % 7];
  }
  return s;
}

std::string random_edit(std::mt19937& rng, std::string s) {
  const size_t at = rng() % (s.size() + 1);
  switch (rng() % 5) {
    case 0:
      return s.insert(at, random_text(rng, 1 + rng() % 30));
    case 1:
      return s.erase(at, rng() % 40);
    case 2:  // typos
      for (int i = 0; i < 4 && !s.empty(); ++i) s[rng() % s.size()] = "abc "[rng() % 4];
      return s;
    case 3: {  // whitespace changed
      for (char& c : s)
        if (c == ' ' && rng() % 4 == 0) c = '\n';
      return s;
    }
    default: {  // a stretch moved
      const size_t n = rng() % 60;
      const std::string piece = s.substr(at, n);
      s.erase(at, n);
      return s.insert(rng() % (s.size() + 1), piece);
    }
  }
}

// The anchors a save cuts from the basis against each stretch hashed on its own: starts
// inside whitespace runs, at the basis's steps, ties and the text's end included.
TEST_F(ReanchorRoutes, AnchorsFromTheBasisAgreeWithEachStretchHashedAlone) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    const std::string text = random_text(rng, 20 + rng() % 400);
    const auto n = static_cast<int32_t>(text.size());
    TagList tags;
    for (int i = 0; i < 12; ++i) {
      const int32_t s = i == 0 ? 128 : static_cast<int32_t>(rng() % (text.size() + 8));
      tags.append_tag(make_tag(s, s + static_cast<int32_t>(rng() % 300), 'B', 100 + i, ""));
    }
    const AnchorFile file = make_anchor_file(AnchorBasis(text), text, tags, {}, {});
    ASSERT_EQ(file.blocks.size(), static_cast<size_t>(collapsed_length(text)) / kAnchorBlock);
    int32_t from = 0;
    for (const TagAnchor& a : file.anchors) {
      const int32_t at = std::min(a.start, n);
      const std::string stretch = text.substr(from, at - from);
      EXPECT_EQ(a.gap, gap_hash(stretch)) << round;
      std::string flat;  // the stretch's characters as starts_character counts them
      for (int32_t j = from; j < at; ++j)
        if (starts_character(text, j)) flat += is_text_space(text[j]) ? ' ' : text[j];
      EXPECT_EQ(a.flat_gap, fold_hash(block_hash(flat))) << round;
      EXPECT_EQ(a.collapsed_start, collapsed_length(text.substr(0, at))) << round;
      const TextQuote plain = make_quote(text, a.start, a.end);
      EXPECT_EQ(a.quote.collapsed, plain.collapsed) << round;
      from = at;
    }
  }
}

TEST_F(ReanchorRoutes, FastSearchAgreesWithThePlainOneOnRandomTextsAndEdits) {
  std::mt19937 rng(20261208);
  for (int round = 0; round < 500; ++round) {
    const std::string old_text = random_text(rng, 20 + rng() % (round % 5 == 0 ? 3000 : 300));
    TagList tags;
    const size_t count = 1 + rng() % 20;
    for (size_t i = 0; i < count; ++i) {
      const auto s = static_cast<int32_t>(rng() % old_text.size());
      const auto len = static_cast<int32_t>(1 + rng() % (rng() % 8 == 0 ? 250 : 12));
      const int32_t e = std::min<int32_t>(s + len, static_cast<int32_t>(old_text.size()));
      tags.append_tag(make_tag(s, e, 'B', static_cast<int32_t>(i), ""));
    }
    const AnchorFile saved = make_anchor_file(old_text, tags, {}, {});
    std::string text = old_text;
    for (int e = static_cast<int>(rng() % 3); e >= 0; --e) text = random_edit(rng, text);

    const ReanchorResult fast = reanchor(text, tags, saved, SearchRoute::fast);
    const ReanchorResult plain = reanchor(text, tags, saved, SearchRoute::plain);
    ASSERT_EQ(fast.tags.size(), plain.tags.size());
    for (size_t i = 0; i < fast.tags.size(); ++i) {
      EXPECT_EQ(fast.tags[i].placement, plain.tags[i].placement)
          << "round " << round << " tag " << i;
      EXPECT_EQ(fast.tags[i].start, plain.tags[i].start) << "round " << round << " tag " << i;
      EXPECT_EQ(fast.tags[i].end, plain.tags[i].end) << "round " << round << " tag " << i;
    }
    if (HasFailure()) return;
    const PlacedRange q_fast = locate_quote(text, saved.anchors[0].quote, std::nullopt);
    const PlacedRange q_plain =
        locate_quote(text, saved.anchors[0].quote, std::nullopt, SearchRoute::plain);
    EXPECT_EQ(q_fast.placement, q_plain.placement);
    EXPECT_EQ(q_fast.start, q_plain.start);
  }
}

}  // namespace
}  // namespace gm
