// Re-anchoring: where did each Tag's text go when the document was edited elsewhere?
//
// A pure function of the new text, the Tags as read from the tag file (before they are cut
// to the text: an anchor finds its Tag by the identity the file gave it) and the anchor file
// saved with them. Text is compared whitespace aside: a run of spaces, tabs and line ends
// matches any other run (re-wrapped lines, converted line ends, expanded tabs). Tags are
// taken in the order of their old starts; each placed Tag tells the next one how far the
// edits moved things (the shift). Rules, in this order:
//   1. its very bytes and context at the old place: it stays;
//   2. the stretch from the Tag before it is the old one (its hashes agree): it stands right
//      after that stretch;
//   3. its text with both sides of its context: the place nearest to where the shift
//      predicts, first beside the prediction, then anywhere;
//   4. near the prediction (64 KiB): both sides of its context around a text that differs
//      by small edits (at most 1 + n/8 single-character edits, swaps of neighbours included,
//      for a text of n characters);
//   5. its text with one side of its context, then a long text (at least 48 characters)
//      alone: only between where the Tags before and after it went;
//   6. otherwise it is not placed: not found.
// Never a guess: when the second place of the same rule is not more than 4 x (distance of
// the nearest) + 64 bytes from the prediction, the Tag is not placed (ambiguous). Text that
// was already there in the old document (its saved block hashes stand there) is not where
// the Tag's text went, unless it is the Tag's own old text moved, or it stood twice and is
// the very bytes where the shift predicts; away from where the Tags around it went only its
// own old text is taken; and a short text (under 16 characters) that differs only in
// whitespace is taken by rules 1 and 2 alone, since whitespace may be all that told it from
// its neighbour (rows of a table).
//
// Cost: rules 1 and 2 compare a few hundred bytes per Tag and hash the stretches between
// Tags once, which is all an edit in one place needs for the Tags after it. Searches start
// beside the prediction and widen only while they cannot decide; those that must see the
// whole text share a budget (64 x the text + 4 GiB scanned, a few seconds at most), and a
// Tag that would exceed it is not placed (not found).
//
// Integration: on opening a document whose fingerprint differs (anchor_state), run
// reanchor() on the TagList as read from the tag file, then move the Tags that moved and
// take the ones not placed out of the list into the anchor file's unplaced records
// (make_unplaced, with their anchor's quote), all as one undoable step, and tell the user
// counts.followed() and counts.not_placed(). Tags without an anchor stay as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "tags/anchor_file.h"
#include "tags/tag.h"

namespace gm {

enum class Placement : uint8_t {
  stays,       // its text stands where it stood
  moved,       // start and end give the new place
  not_found,   // not found with confidence
  ambiguous,   // found in two places equally well
  unanchored,  // no anchor for this Tag: left where it is
};

struct PlacedRange {
  Placement placement = Placement::unanchored;
  int32_t start = 0, end = 0;  // new range for stays and moved; the old one otherwise
};

struct ReanchorCounts {
  size_t stayed = 0, moved = 0, not_found = 0, ambiguous = 0, unanchored = 0;
  size_t followed() const { return stayed + moved; }
  size_t not_placed() const { return not_found + ambiguous; }
};

struct ReanchorResult {
  std::vector<PlacedRange> tags;  // one per Tag, in TagList order
  ReanchorCounts counts;
};

// fast: the searches start beside the prediction and stop once they can decide, and the
// saved blocks are looked up sorted. plain: every position of the text is tried and every
// block scanned; the two give the same answer (tests compare them) as long as the fast
// route stays within its budget (the plain route has none).
enum class SearchRoute { fast, plain };

ReanchorResult reanchor(std::string_view text, const TagList& tags, const AnchorFile& saved,
                        SearchRoute route = SearchRoute::fast);

// One quote (exact, prefix, suffix; a whole quote has no tail) by the same rules, e.g. an
// imported selector. hint: where it is expected, if known; rule 1 then tries it and nearest
// means nearest to it. Without a hint a quote found in two places is ambiguous. The answer
// is stays (found at the hint), moved (found elsewhere), not_found or ambiguous.
PlacedRange locate_quote(std::string_view text, const TextQuote& quote, std::optional<int32_t> hint,
                         SearchRoute route = SearchRoute::fast);

}  // namespace gm
