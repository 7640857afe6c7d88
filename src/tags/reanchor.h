// Re-anchoring: where did each Tag's text go when the document was edited elsewhere?
//
// A pure function of the new text, the Tags as read from the tag file (before they are cut
// to the text: an anchor finds its Tag by the identity the file gave it) and the anchors
// saved with them. Rules, in this order, for each Tag (taken in the order of their old
// starts; each placed Tag tells the next one how far the edits moved things, the shift):
//   1. its text and context still stand at the old place, or at the old place moved by the
//      shift of the Tag placed before it: it stays, or moves there;
//   2. its text with both sides of its context anywhere, whitespace aside (re-wrapped lines,
//      line ends, tabs): the place nearest to where the shift predicts;
//   3. failing that anywhere: its text with one side of its context, then a long text (at
//      least 48 characters) without context, nearest again;
//   4. failing that near the predicted place: both sides of its context with a text between
//      them that differs by small edits (at most 1 + n/8 single-character edits, swaps of
//      neighbours included, for a text of n characters);
//   5. otherwise it is not placed: not found.
// "Nearest" must be clear: when the second best place of the same rule is not more than
// 4 x (distance of the nearest) + 64 bytes away from the prediction, the Tag is not placed
// (ambiguous). Nothing is guessed.
//
// Cost: rule 1 compares a few hundred bytes per Tag, which is all an edit in one place
// needs for the Tags after it. The search of rule 2 starts beside the prediction and widens
// only while it cannot decide; rules 3 and the not-found answer need the whole text, and
// the searches over the whole text of one run share a budget (64 x the text + 4 GiB
// scanned, a few seconds at most); a Tag that would exceed it is not placed (not found).
// Rule 4 looks within 64 KiB of the prediction only.
//
// Integration: on opening a document whose fingerprint differs (anchor_state), run
// reanchor() on the TagList as read from the tag file, then move the Tags that moved,
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
