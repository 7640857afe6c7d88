#include "tags/reanchor.h"

#include <string.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <unordered_map>

namespace gm {

namespace {

// Whitespace is compared as "some whitespace": a run of these bytes in the text matches one
// space of a pattern, which is how re-wrapped lines, converted line ends and expanded tabs
// stay the same text.
bool is_space(char c) { return is_text_space(c); }
bool counted(std::string_view t, size_t j) { return starts_character(t, j); }

struct Normalised {
  std::string text;          // whitespace runs as one space
  std::vector<int32_t> raw;  // raw offset of the first byte of each character
};

Normalised normalise(std::string_view s) {
  Normalised n;
  for (size_t i = 0; i < s.size();) {
    n.raw.push_back(static_cast<int32_t>(i));
    if (is_space(s[i])) {
      n.text += ' ';
      while (i < s.size() && is_space(s[i])) ++i;
    } else {
      n.text += s[i++];
    }
  }
  return n;
}

size_t leading_spaces(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && is_space(s[i])) ++i;
  return i;
}

size_t trailing_spaces(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && is_space(s[s.size() - 1 - i])) ++i;
  return i;
}

// The longest run of non-space characters (the first of equal length): the rarest part of a
// pattern that whitespace changes cannot touch.
struct Key {
  size_t offset = 0, size = 0;  // in the normalised pattern
  int32_t raw = 0;              // its raw offset from the Tag's old start
};

std::optional<Key> longest_token(const Normalised& n, int32_t raw_base) {
  std::optional<Key> best;
  for (size_t i = 0; i < n.text.size();) {
    if (n.text[i] == ' ') {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < n.text.size() && n.text[j] != ' ') ++j;
    if (!best || j - i > best->size) best = Key{i, j - i, raw_base + n.raw[i]};
    i = j;
  }
  return best;
}

// Matches pattern characters against the text from j on; answers how many matched and
// where the text stood after the last of them.
size_t forward(std::string_view t, size_t j, std::string_view pat, size_t* end = nullptr) {
  size_t i = 0;
  for (; i < pat.size(); ++i) {
    if (j >= t.size()) break;
    if (pat[i] == ' ') {
      if (!is_space(t[j])) break;
      while (j < t.size() && is_space(t[j])) ++j;
    } else {
      if (t[j] != pat[i]) break;
      ++j;
    }
  }
  if (end) *end = j;
  return i;
}

// The same backwards: the pattern's last character against the text before j.
size_t backward(std::string_view t, size_t j, std::string_view pat, size_t* begin = nullptr) {
  size_t i = 0;
  for (; i < pat.size(); ++i) {
    if (j == 0) break;
    const char c = pat[pat.size() - 1 - i];
    if (c == ' ') {
      if (!is_space(t[j - 1])) break;
      while (j > 0 && is_space(t[j - 1])) --j;
    } else {
      if (t[j - 1] != c) break;
      --j;
    }
  }
  if (begin) *begin = j;
  return i;
}

size_t space_run_before(std::string_view t, size_t j) {
  size_t n = 0;
  while (j > n && is_space(t[j - 1 - n])) ++n;
  return n;
}

size_t space_run_at(std::string_view t, size_t j) {
  size_t n = 0;
  while (j + n < t.size() && is_space(t[j + n])) ++n;
  return n;
}

// Optimal string alignment distance: insertions, deletions, substitutions and swaps of two
// neighbours, each one edit.
size_t edit_distance(std::string_view a, std::string_view b) {
  const size_t m = b.size();
  std::vector<size_t> prev2(m + 1), prev(m + 1), cur(m + 1);
  std::iota(prev.begin(), prev.end(), size_t{0});
  for (size_t i = 1; i <= a.size(); ++i) {
    cur[0] = i;
    for (size_t j = 1; j <= m; ++j) {
      const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        cur[j] = std::min(cur[j], prev2[j - 2] + 1);
    }
    std::swap(prev2, prev);
    std::swap(prev, cur);
  }
  return prev[m];
}

constexpr size_t kLongCore = 48;  // a text this long is distinctive without context
// A text shorter than this that matches only whitespace aside is not taken by a search:
// whitespace may be all that told it from its neighbour (rows of a table).
constexpr size_t kShortCore = 16;
constexpr int64_t kEditedRadius = 64 << 10;
constexpr int64_t kFirstRadius = 256;  // widened 8-fold while it cannot decide

// Which rule found a place; lower is better.
enum Rule : int { both_sides = 0, one_side = 1, long_text = 2, edited = 3, no_rule = 4 };

struct Candidate {
  int32_t start = 0, end = 0;
  int64_t key = 0;  // where the pattern's key stands: distances are measured there
  Rule rule = no_rule;
  bool same_bytes = false;               // the text byte for byte, whitespace included
  bool only_whitespace_differs = false;  // and short: whitespace may be all that tells it apart
};

// A quote prepared for matching: its parts normalised, its text cut from its whitespace.
struct Pattern {
  std::string left;   // prefix and the text's leading whitespace, compared backwards
  std::string core;   // the text (its head when long) without leading/trailing whitespace
  std::string tail;   // long texts: the last bytes without trailing whitespace
  std::string right;  // the text's trailing whitespace and the suffix
  std::string exact_raw, tail_raw;  // as quoted
  int32_t lead = 0, trail = 0, length = 0, collapsed = 0;
  bool whole = true;
  std::optional<Key> key;       // in core
  std::optional<Key> left_key;  // in left, for the search of rule 4

  explicit Pattern(const TextQuote& q)
      : exact_raw(q.exact),
        tail_raw(q.tail),
        length(q.length),
        collapsed(q.collapsed),
        whole(q.whole()) {
    const std::string_view exact = q.exact;
    lead = static_cast<int32_t>(leading_spaces(exact));
    if (whole) {
      trail = lead == static_cast<int32_t>(exact.size())
                  ? 0
                  : static_cast<int32_t>(trailing_spaces(exact));
    } else {
      trail = static_cast<int32_t>(trailing_spaces(q.tail));
    }
    const std::string left_raw = q.prefix + std::string(exact.substr(0, lead));
    const Normalised l = normalise(left_raw);
    left = l.text;
    left_key = longest_token(l, -static_cast<int32_t>(q.prefix.size()));
    const std::string_view core_raw =
        whole ? exact.substr(lead, exact.size() - lead - trail) : exact.substr(lead);
    const Normalised c = normalise(core_raw);
    core = c.text;
    key = longest_token(c, lead);
    if (!whole) tail = normalise(std::string_view(q.tail).substr(0, q.tail.size() - trail)).text;
    const std::string_view trail_raw = whole
                                           ? exact.substr(exact.size() - trail)
                                           : std::string_view(q.tail).substr(q.tail.size() - trail);
    right = normalise(std::string(trail_raw) + q.suffix).text;
  }

  bool searchable() const { return key.has_value() && !core.empty(); }
  bool long_enough() const { return !whole || core.size() >= kLongCore; }
};

class Matcher {
 public:
  Matcher(std::string_view text, const Pattern& pattern) : t_(text), p_(pattern) {}

  // The text (rules 1, 3 and 5) with its first core character at p.
  std::optional<Candidate> at(size_t p) const {
    const Pattern& P = p_;
    if (P.core.empty()) return std::nullopt;
    size_t j = 0;
    if (forward(t_, p, P.core, &j) != P.core.size()) return std::nullopt;
    size_t q = j;
    if (!P.whole && !tail_end(p, j, &q)) return std::nullopt;
    const bool left = backward(t_, p, P.left) == P.left.size();
    const bool right = forward(t_, q, P.right) == P.right.size();
    Candidate c;
    c.rule = left && right     ? both_sides
             : left || right   ? one_side
             : P.long_enough() ? long_text
                               : no_rule;
    if (c.rule == no_rule) return std::nullopt;
    size_t k = p;
    if (P.key) forward(t_, p, std::string_view(P.core).substr(0, P.key->offset), &k);
    c.key = static_cast<int64_t>(k);
    c.start = static_cast<int32_t>(p - std::min<size_t>(P.lead, space_run_before(t_, p)));
    c.end = static_cast<int32_t>(q + std::min<size_t>(P.trail, space_run_at(t_, q)));
    c.only_whitespace_differs = P.core.size() < kShortCore;  // until same_bytes says otherwise
    c.same_bytes = c.end - c.start == P.length &&
                   t_.compare(static_cast<size_t>(c.start), P.exact_raw.size(), P.exact_raw) == 0 &&
                   t_.compare(static_cast<size_t>(c.end) - P.tail_raw.size(), P.tail_raw.size(),
                              P.tail_raw) == 0;
    if (c.same_bytes) c.only_whitespace_differs = false;
    return c;
  }

  // Rule 4: the left context ends at a, the right one begins after a text close to the core.
  std::optional<Candidate> edited_at(size_t a) const {
    const Pattern& P = p_;
    if (!P.whole || !P.left_key || P.core.empty()) return std::nullopt;
    if (P.left.back() == ' ' && a < t_.size() && is_space(t_[a])) return std::nullopt;
    size_t key_pos = 0;
    if (backward(t_, a, std::string_view(P.left).substr(P.left_key->offset), &key_pos) !=
            P.left.size() - P.left_key->offset ||
        backward(t_, a, P.left) != P.left.size())
      return std::nullopt;
    const size_t n = P.core.size();
    const size_t bound = 1 + n / 8;
    const size_t low = n > bound ? n - bound : 1;
    std::string seen;
    size_t best = bound + 1, best_q = 0;
    for (size_t j = a; j < t_.size() && seen.size() < n + bound;) {
      if (is_space(t_[j])) {
        seen += ' ';
        while (j < t_.size() && is_space(t_[j])) ++j;
      } else {
        seen += t_[j++];
      }
      if (seen.size() < low || forward(t_, j, P.right) != P.right.size()) continue;
      const size_t d = edit_distance(P.core, seen);
      if (d < best) best = d, best_q = j;
    }
    if (best > bound) return std::nullopt;
    Candidate c;
    c.rule = edited;
    c.only_whitespace_differs = best == 0 && n < kShortCore;
    c.key = static_cast<int64_t>(key_pos);
    c.start = static_cast<int32_t>(a - std::min<size_t>(P.lead, space_run_before(t_, a)));
    c.end = static_cast<int32_t>(best_q + std::min<size_t>(P.trail, space_run_at(t_, best_q)));
    return c;
  }

  // Where the first core character stands for a key found at k; none when the text before
  // the key does not match.
  std::optional<size_t> core_start_for_key(size_t k) const {
    size_t p = 0;
    const std::string_view before = std::string_view(p_.core).substr(0, p_.key->offset);
    if (backward(t_, k, before, &p) != before.size()) return std::nullopt;
    return p;
  }

  // Where the left context ends for a key of the left context found at k.
  std::optional<size_t> left_end_for_key(size_t k) const {
    size_t a = 0;
    const std::string_view rest = std::string_view(p_.left).substr(p_.left_key->offset);
    if (forward(t_, k, rest, &a) != rest.size()) return std::nullopt;
    return a;
  }

 private:
  // A long text: its tail must end where its length in characters (whitespace runs counted
  // once) puts it, give or take small edits in the middle that head and tail do not see.
  // Two equally good ends are no end.
  bool tail_end(size_t p, size_t head_end, size_t* q) const {
    const Pattern& P = p_;
    const int64_t want = P.collapsed;
    const int64_t slack = want / 16 + 4;
    std::optional<size_t> best;
    int64_t best_off = 0;
    bool tie = false;
    int64_t count = 0;
    for (size_t j = p; j < t_.size() && count < want + slack;) {
      ++count;
      if (is_space(t_[j])) {
        while (j < t_.size() && is_space(t_[j])) ++j;
      } else {
        ++j;
      }
      if (count < want - slack || j < head_end) continue;
      if (!P.tail.empty() && t_[j - 1] != P.tail.back()) continue;
      if (backward(t_, j, P.tail) != P.tail.size()) continue;
      const int64_t off = std::abs(count - want);
      if (!best || off < best_off) {
        best = j;
        best_off = off;
        tie = false;
      } else if (off == best_off) {
        tie = true;
      }
    }
    if (!best || tie) return false;
    *q = *best;
    return true;
  }

  std::string_view t_;
  const Pattern& p_;
};

enum class Verdict { none, placed, ambiguous };
struct Decision {
  Verdict verdict = Verdict::none;
  Candidate place;
};

int64_t distance(const Candidate& c, std::optional<int64_t> predicted) {
  return predicted ? std::abs(c.key - *predicted) : 0;
}

bool clearly_nearer(int64_t nearest, int64_t second) { return second > 4 * nearest + 64; }

// The nearest candidate when it is clearly nearer than the next; without a prediction only
// a single candidate.
Decision decide(std::vector<Candidate> cands, std::optional<int64_t> predicted) {
  if (cands.empty()) return {};
  if (cands.size() == 1) return {Verdict::placed, cands[0]};
  if (!predicted) return {Verdict::ambiguous, {}};
  std::sort(cands.begin(), cands.end(), [&](const Candidate& a, const Candidate& b) {
    const int64_t da = distance(a, predicted), db = distance(b, predicted);
    return da != db ? da < db : a.key < b.key;
  });
  if (clearly_nearer(distance(cands[0], predicted), distance(cands[1], predicted)))
    return {Verdict::placed, cands[0]};
  return {Verdict::ambiguous, {}};
}

// Bytes scanned by searches that had to go beyond kLocalRadius; bounds a whole run.
struct Budget {
  int64_t left = 0;
};

// Every start k in [lo, hi) of key in the text.
template <class F>
void each_hit(std::string_view t, std::string_view key, size_t lo, size_t hi, F&& f) {
  if (lo >= hi || key.empty()) return;
  const size_t stop = std::min(t.size(), hi + key.size() - 1);
  const char* base = t.data();
  size_t from = lo;
  while (from + key.size() <= stop) {
    const void* hit = memmem(base + from, stop - from, key.data(), key.size());
    if (!hit) return;
    const size_t k = static_cast<size_t>(static_cast<const char*>(hit) - base);
    f(k);
    from = k + 1;
  }
}

// The blocks of the saved text, to tell where a place in the new text comes from: a block
// of the saved text found there whole (whitespace runs as one space, like everything
// compared here) says that the text was there before. Text that was there before the edits
// is not where another Tag's text went; text that stood twice in the old text may be either,
// so only its position can tell (it must be where the shift predicts).
class OldBlocks {
 public:
  enum Origin : int { unknown = 0, own = 1, elsewhere = 2 };

  OldBlocks(const std::vector<uint32_t>& blocks, SearchRoute route)
      : always_scan_(route == SearchRoute::plain) {
    index_.reserve(blocks.size());
    for (size_t k = 0; k < blocks.size(); ++k)
      index_.push_back({blocks[k], static_cast<int64_t>(k * kAnchorBlock)});
  }

  // Where the character at pos comes from, for a Tag that started `collapsed_start`
  // characters into the old text: a set of Origin bits.
  int origin(std::string_view t, int64_t pos, int64_t collapsed_start) const {
    constexpr size_t w = kAnchorBlock;
    if (index_.empty() || pos < 0 || pos >= static_cast<int64_t>(t.size())) return unknown;
    // The collapsed characters around pos: w - 1 before it, and w from it on.
    size_t j = static_cast<size_t>(pos);
    while (j > 0 && !counted(t, j)) --j;
    std::string around;
    for (size_t k = j; k-- > 0 && around.size() < w - 1;)
      if (counted(t, k)) around += char_at(t, k);
    std::reverse(around.begin(), around.end());
    const size_t at = around.size();
    for (size_t k = j; k < t.size() && around.size() < at + w; ++k)
      if (counted(t, k)) around += char_at(t, k);
    if (around.size() < w) return unknown;
    // Each window holding pos's character, and the old block start that would make that
    // character the Tag's own first one.
    std::vector<std::pair<uint32_t, int64_t>> windows;
    uint64_t out = 1;  // kBlockBase^(w-1): the weight of the character leaving the window
    for (size_t i = 1; i < w; ++i) out *= kBlockBase;
    const size_t first = at >= w - 1 ? at - (w - 1) : 0;
    uint64_t h = block_hash(std::string_view(around).substr(first, w));
    for (size_t i = first; i <= at && i + w <= around.size(); ++i) {
      if (i > first)
        h = (h - out * static_cast<unsigned char>(around[i - 1])) * kBlockBase +
            static_cast<unsigned char>(around[i + w - 1]);
      windows.push_back({fold_hash(h), collapsed_start - static_cast<int64_t>(at - i)});
    }
    std::sort(windows.begin(), windows.end());
    int found = unknown;
    auto note = [&](uint32_t hash, int64_t offset) {
      const auto [from, to] =
          std::equal_range(windows.begin(), windows.end(), std::make_pair(hash, INT64_MIN),
                           [](const auto& a, const auto& b) { return a.first < b.first; });
      for (auto it = from; it != to; ++it)
        found |= std::abs(offset - it->second) <= 2 ? own : elsewhere;
    };
    // A few questions scan the blocks; more sort them once and look each window up.
    if (always_scan_ || ++questions_ <= kScansBeforeSorting) {
      for (const auto& [hash, offset] : index_) note(hash, offset);
      return found;
    }
    if (!sorted_) {
      std::sort(index_.begin(), index_.end());
      sorted_ = true;
    }
    for (const auto& [hash, own_block] : windows) {
      const auto all =
          std::equal_range(index_.begin(), index_.end(), std::make_pair(hash, INT64_MIN),
                           [](const auto& a, const auto& b) { return a.first < b.first; });
      const auto mine_from =
          std::lower_bound(all.first, all.second, std::make_pair(hash, own_block - 2));
      const auto mine_to =
          std::upper_bound(all.first, all.second, std::make_pair(hash, own_block + 2));
      if (mine_from != mine_to) found |= own;
      if ((mine_to - mine_from) != (all.second - all.first)) found |= elsewhere;
      if (found == (own | elsewhere)) break;
    }
    return found;
  }

 private:
  static char char_at(std::string_view t, size_t j) { return is_space(t[j]) ? ' ' : t[j]; }

  static constexpr int kScansBeforeSorting = 4;
  bool always_scan_;                                         // the plain route
  mutable std::vector<std::pair<uint32_t, int64_t>> index_;  // hash, collapsed offset
  mutable bool sorted_ = false;
  mutable int questions_ = 0;
};

constexpr int64_t kLocalRadius = 1 << 20;
constexpr int64_t kBracketSlack = 32;
constexpr int64_t kNearShift = 256;  // "where the shift predicts" for text that stood twice

// What a search over the whole text must respect.
struct Limits {
  const OldBlocks* known = nullptr;  // text that was there before: no candidates in it
  std::string_view text;
  int64_t collapsed_start = 0;  // the Tag's own old place, exempt from `known`
  // Where the Tags placed before and after it put this one: the weaker rules 4 and 5 only
  // place it there, so that a phrase that repeats elsewhere cannot take it.
  std::optional<std::pair<int64_t, int64_t>> bracket;
  std::optional<int64_t> predicted_left;  // where the left context's key should be (rule 4)

  std::optional<int64_t> predicted;  // of the rule being searched
  // Candidates that cannot be this Tag's text: text that was there before (unless it stood
  // twice then and this is where the shift predicts it, byte for byte), and, away from where the
  // Tags around it went, anything but its own old text moved there.
  bool known_text(const Candidate& c) const {
    if (!known) return false;
    if (c.only_whitespace_differs) return true;
    const int from = known->origin(text, c.start, collapsed_start);
    if (!in_bracket(c)) return from != OldBlocks::own;
    if (!(from & OldBlocks::elsewhere)) return false;
    return !(from & OldBlocks::own) || !c.same_bytes || !predicted ||
           std::abs(c.key - *predicted) > kNearShift;
  }
  bool in_bracket(const Candidate& c) const {
    return !bracket || (c.start >= bracket->first && c.start <= bracket->second);
  }
};

class Search {
 public:
  Search(std::string_view text, const Pattern& pattern, SearchRoute route, Budget& budget)
      : t_(text), p_(pattern), m_(text, pattern), route_(route), budget_(budget) {}

  // Rules 1 and 2 at one place: the text with both sides of its context.
  std::optional<Candidate> both_sides_at(int64_t start) const {
    if (start < 0 || start + p_.lead > static_cast<int64_t>(t_.size())) return std::nullopt;
    std::optional<Candidate> c = m_.at(static_cast<size_t>(start + p_.lead));
    if (!c || c->rule != both_sides) return std::nullopt;
    return c;
  }

  // Rule 3 near the prediction only (within kLocalRadius): a place when the nearest is
  // clearly nearer than any other, none otherwise.
  std::optional<Candidate> nearby(int64_t predicted, Limits limits) {
    if (!p_.searchable()) return std::nullopt;
    limits.predicted = predicted;
    const Decision d = route_ == SearchRoute::plain ? plain_widening(predicted, limits, true)
                                                    : widening(predicted, limits, true);
    if (d.verdict != Verdict::placed) return std::nullopt;
    return d.place;
  }

  // Rules 3 to 5; predicted: where the key should be.
  Decision anywhere(std::optional<int64_t> predicted, Limits limits) {
    limits.predicted = predicted;
    if (!p_.searchable()) return final_decision({}, predicted, limits);
    if (route_ == SearchRoute::plain) return plain_widening(predicted, limits, false);
    return widening(predicted, limits, false);
  }

 private:
  // Rule 4 within kEditedRadius of where the left context's key should be.
  Decision edited(int64_t predicted_left_key, Limits limits) {
    limits.predicted = predicted_left_key;
    if (!p_.whole || !p_.left_key || p_.core.empty()) return {};
    const int64_t n = static_cast<int64_t>(t_.size());
    const int64_t lo = std::max<int64_t>(0, predicted_left_key - kEditedRadius);
    const int64_t hi = std::min<int64_t>(n, predicted_left_key + kEditedRadius + 1);
    std::vector<Candidate> cands;
    auto keep = [&](const std::optional<Candidate>& c) {
      if (c && c->key >= lo && c->key < hi && !limits.known_text(*c) && limits.in_bracket(*c))
        cands.push_back(*c);
    };
    if (route_ == SearchRoute::plain) {
      for (size_t a = 0; a <= t_.size(); ++a) keep(m_.edited_at(a));
    } else if (lo < hi) {
      const std::string_view key =
          std::string_view(p_.left).substr(p_.left_key->offset, p_.left_key->size);
      each_hit(t_, key, static_cast<size_t>(lo), static_cast<size_t>(hi), [&](size_t k) {
        if (auto a = m_.left_end_for_key(k)) keep(m_.edited_at(*a));
      });
    }
    return decide(std::move(cands), predicted_left_key);
  }

  // Once the whole text is seen: rule 3, else rule 4 near, else rule 5 within the bracket.
  Decision final_decision(const std::vector<Candidate>& cands, std::optional<int64_t> predicted,
                          const Limits& limits) {
    std::vector<Candidate> both, one, long_ones;
    for (const Candidate& c : cands) {
      if (c.rule == both_sides) both.push_back(c);
      if (c.rule == one_side && limits.in_bracket(c)) one.push_back(c);
      if (c.rule == long_text && limits.in_bracket(c)) long_ones.push_back(c);
    }
    if (!both.empty()) return decide(std::move(both), predicted);
    if (limits.predicted_left) {
      const Decision d = edited(*limits.predicted_left, limits);
      if (d.verdict != Verdict::none) return d;
    }
    if (!one.empty()) return decide(std::move(one), predicted);
    return decide(std::move(long_ones), predicted);
  }

  // The windows the search widens through: radius 256, 2 KiB, 16 KiB... around the
  // prediction, until the whole text is in.
  struct Window {
    int64_t lo, hi, radius;
    bool everything;
  };
  std::vector<Window> windows(std::optional<int64_t> predicted, bool local) const {
    const int64_t n = static_cast<int64_t>(t_.size());
    std::vector<Window> out;
    if (!predicted) return {{0, n, n + 1, true}};
    const int64_t centre = std::clamp<int64_t>(*predicted, 0, n);
    for (int64_t radius = kFirstRadius;; radius *= 8) {
      if (local && radius > kLocalRadius) break;
      const int64_t lo = std::max<int64_t>(0, centre - radius);
      const int64_t hi = std::min<int64_t>(n, centre + radius + 1);
      out.push_back({lo, hi, radius, lo == 0 && hi == n});
      if (out.back().everything) break;
    }
    return out;
  }

  // What is known after a window: local searches take only a clear nearest of rule 3; the
  // full search decides on everything once it has seen the whole text.
  std::optional<Decision> after_window(const std::vector<Candidate>& cands,
                                       std::optional<int64_t> predicted, const Window& w,
                                       const Limits& limits, bool local) {
    if (w.everything && !local) return final_decision(cands, predicted, limits);
    const int64_t radius = w.everything ? INT64_MAX / 8 : w.radius;
    return decided_early(cands, predicted, radius);
  }

  // Scans outwards from the prediction and stops as soon as it can decide.
  Decision widening(std::optional<int64_t> predicted, const Limits& limits, bool local) {
    const std::string_view key = std::string_view(p_.core).substr(p_.key->offset, p_.key->size);
    std::vector<Candidate> cands;
    int64_t lo = -1, hi = -1;
    int64_t radius = 0;
    auto scan = [&](int64_t from, int64_t to) {
      if (from >= to) return;
      if (radius > kLocalRadius) budget_.left -= to - from;  // only the broad searches count
      each_hit(t_, key, static_cast<size_t>(from), static_cast<size_t>(to), [&](size_t k) {
        if (auto p = m_.core_start_for_key(k))
          if (auto c = m_.at(*p))
            if (!limits.known_text(*c)) cands.push_back(*c);
      });
    };
    for (const Window& w : windows(predicted, local)) {
      radius = w.radius;
      if (lo < 0) {
        scan(w.lo, w.hi);
      } else {
        scan(w.lo, lo);
        scan(hi, w.hi);
      }
      lo = w.lo;
      hi = w.hi;
      if (const std::optional<Decision> d = after_window(cands, predicted, w, limits, local))
        return *d;
      if (radius > kLocalRadius && budget_.left < 0) return {};
    }
    return {};
  }

  // The same decisions from every place of the text, filtered window by window.
  Decision plain_widening(std::optional<int64_t> predicted, const Limits& limits, bool local) {
    std::vector<Candidate> all;
    for (size_t p = 0; p < t_.size(); ++p)
      if (t_[p] == p_.core[0])
        if (auto c = m_.at(p))
          if (!limits.known_text(*c)) all.push_back(*c);
    for (const Window& w : windows(predicted, local)) {
      std::vector<Candidate> seen;
      for (const Candidate& c : all)
        if (c.key >= w.lo && c.key < w.hi) seen.push_back(c);
      if (const std::optional<Decision> d = after_window(seen, predicted, w, limits, local))
        return *d;
    }
    return {};
  }

  // Rule 3 can decide before the whole text is seen once every place within `radius` of the
  // prediction is known: the nearest is then clearly nearer than any other, or is not.
  static std::optional<Decision> decided_early(const std::vector<Candidate>& cands,
                                               std::optional<int64_t> predicted, int64_t radius) {
    std::vector<Candidate> best;
    for (const Candidate& c : cands)
      if (c.rule == both_sides) best.push_back(c);
    if (best.empty()) return std::nullopt;
    if (!predicted)
      return best.size() == 1 ? std::optional<Decision>(decide(best, predicted)) : std::nullopt;
    std::vector<int64_t> near;
    for (const Candidate& c : best) near.push_back(distance(c, predicted));
    std::sort(near.begin(), near.end());
    if (near.size() >= 2 && !clearly_nearer(near[0], near[1]))
      return Decision{Verdict::ambiguous, {}};
    if (near.size() >= 2 || radius >= 4 * near[0] + 64) return decide(std::move(best), predicted);
    return std::nullopt;
  }

  std::string_view t_;
  const Pattern& p_;
  Matcher m_;
  SearchRoute route_;
  Budget& budget_;
};

// The exact bytes of the quote and its context at start: the common case of an unchanged
// stretch, settled without preparing the pattern.
bool same_bytes_at(std::string_view t, const TextQuote& q, int64_t start) {
  const int64_t n = static_cast<int64_t>(t.size());
  const int64_t end = start + q.length;
  const int64_t before = static_cast<int64_t>(q.prefix.size());
  if (start - before < 0 || end + static_cast<int64_t>(q.suffix.size()) > n) return false;
  const size_t s = static_cast<size_t>(start), e = static_cast<size_t>(end);
  return t.compare(s, q.exact.size(), q.exact) == 0 &&
         t.compare(e - q.tail.size(), q.tail.size(), q.tail) == 0 &&
         t.compare(s - q.prefix.size(), q.prefix.size(), q.prefix) == 0 &&
         t.compare(e, q.suffix.size(), q.suffix) == 0;
}

struct Located {
  Verdict verdict = Verdict::none;
  int32_t start = 0, end = 0;
};

Budget budget_for(std::string_view text) {
  return {64 * static_cast<int64_t>(text.size()) + (int64_t{4} << 30)};
}

// One quote on its way through the rules; the pattern is prepared only when the bytes alone
// do not settle it.
class Locator {
 public:
  Locator(std::string_view text, const TextQuote& quote, SearchRoute route, Budget& budget)
      : t_(text), q_(quote), route_(route), budget_(budget) {}

  // Rules 1 and 2 at one place: the very bytes, or the text and context whitespace aside.
  std::optional<Located> at(int64_t start) {
    if (auto same = same_bytes(start)) return same;
    if (auto c = search().both_sides_at(start)) return Located{Verdict::placed, c->start, c->end};
    return std::nullopt;
  }
  std::optional<Located> same_bytes(int64_t start) const {
    if (!same_bytes_at(t_, q_, start)) return std::nullopt;
    return Located{Verdict::placed, static_cast<int32_t>(start),
                   static_cast<int32_t>(start + q_.length)};
  }

  // Rule 3 near where the old start moved by shift puts it.
  std::optional<Located> nearby(int64_t old_start, int64_t shift, const Limits& limits) {
    if (!pattern().key) return std::nullopt;
    if (auto c = search().nearby(old_start + shift + pattern().key->raw, limits))
      return Located{Verdict::placed, c->start, c->end};
    return std::nullopt;
  }

  // Rules 3 to 5 over the whole text within the limits.
  Located anywhere(std::optional<int64_t> old_start, int64_t shift, Limits limits) {
    std::optional<int64_t> predicted;
    if (old_start && pattern().key) predicted = *old_start + shift + pattern().key->raw;
    if (old_start && pattern().left_key)
      limits.predicted_left = *old_start + shift + pattern().left_key->raw;
    const Decision d = search().anywhere(predicted, limits);
    return {d.verdict, d.place.start, d.place.end};
  }

 private:
  const Pattern& pattern() {
    if (!pattern_) pattern_.emplace(q_);
    return *pattern_;
  }
  Search& search() {
    if (!search_) search_.emplace(t_, pattern(), route_, budget_);
    return *search_;
  }

  std::string_view t_;
  const TextQuote& q_;
  SearchRoute route_;
  Budget& budget_;
  std::optional<Pattern> pattern_;
  std::optional<Search> search_;
};

struct IdentityKey {
  int32_t start, end, time;
  bool operator==(const IdentityKey& o) const {
    return start == o.start && end == o.end && time == o.time;
  }
};
struct IdentityKeyHash {
  size_t operator()(const IdentityKey& k) const {
    uint64_t h = uint64_t{static_cast<uint32_t>(k.start)} * 0x9E3779B97F4A7C15ull;
    h ^= uint64_t{static_cast<uint32_t>(k.end)} + (h << 6) + (h >> 2);
    h ^= uint64_t{static_cast<uint32_t>(k.time)} * 0xBF58476D1CE4E5B9ull;
    return static_cast<size_t>(h ^ (h >> 31));
  }
};

// One Tag with its anchor, in the order of old starts.
struct Item {
  size_t index;  // in the TagList
  const Tag* tag;
  const TagAnchor* anchor;  // none: unanchored
  std::optional<Located> placed;
};

// Whether the stretch from the placed Tag before (prev) to this one is the old one, and
// where this one starts then: byte for byte at new_start, or else the same characters with
// whitespace runs counted once (re-wrapped lines, other line ends, tabs), wherever they end.

std::optional<int64_t> after_same_gap(std::string_view t, const Item& prev, const Item& item,
                                      int64_t new_start) {
  const int64_t from = prev.placed->start;
  const int64_t old_len = int64_t{item.tag->start} - prev.tag->start;
  if (from < 0 || old_len < 0 || from > static_cast<int64_t>(t.size())) return std::nullopt;
  if (new_start - from == old_len && new_start <= static_cast<int64_t>(t.size()) &&
      gap_hash(t.substr(static_cast<size_t>(from), static_cast<size_t>(old_len))) ==
          item.anchor->gap)
    return new_start;
  const int64_t chars = int64_t{item.anchor->collapsed_start} - prev.anchor->collapsed_start;
  if (chars < 0) return std::nullopt;
  uint64_t h = 0;
  int64_t seen = 0;
  size_t j = static_cast<size_t>(from);
  for (; j < t.size(); ++j) {
    if (!counted(t, j)) continue;
    if (seen == chars) break;
    h = h * kBlockBase + static_cast<unsigned char>(is_space(t[j]) ? ' ' : t[j]);
    ++seen;
  }
  if (seen != chars || fold_hash(h) != item.anchor->flat_gap) return std::nullopt;
  return static_cast<int64_t>(j);
}

int64_t shift_of(const Item& item) { return int64_t{item.placed->start} - item.tag->start; }

// The known blocks, found only when a search needs them: an edit that every Tag follows by
// the bytes alone does not pay for them.
class LazyKnown {
 public:
  LazyKnown(const std::vector<uint32_t>& blocks, SearchRoute route)
      : blocks_(blocks), route_(route) {}
  const OldBlocks* get() {
    if (!known_) known_.emplace(blocks_, route_);
    return &*known_;
  }

 private:
  const std::vector<uint32_t>& blocks_;
  SearchRoute route_;
  std::optional<OldBlocks> known_;
};

// First pass: every Tag whose very bytes and context stand at its place, or whose stretch
// from the Tag before it is unchanged, and the first Tag after each edit when its text and
// context are clearly nearest to where the shift of the Tag placed before it predicts.
void place_unchanged(std::string_view t, std::vector<Item>& items, LazyKnown& known,
                     SearchRoute route, Budget& budget) {
  const Item* last = nullptr;  // the last anchored Tag
  int64_t shift = 0;           // of the last Tag placed
  for (Item& item : items) {
    if (!item.anchor) continue;
    Locator loc(t, item.anchor->quote, route, budget);
    const int64_t s = item.tag->start;
    item.placed = loc.same_bytes(s);
    if (!item.placed && last && last->placed)
      if (const auto at = after_same_gap(t, *last, item, s + shift_of(*last)))
        item.placed = loc.at(*at);
    if (!item.placed) {
      Limits limits;
      limits.known = known.get();
      limits.text = t;
      // Text that stood twice is taken here only a little after where the shift puts it:
      // the next Tag's shift is not known yet, so only an insertion is allowed for.
      limits.bracket = {s + shift - kBracketSlack, s + shift + kNearShift};
      limits.collapsed_start = item.anchor->collapsed_start;
      item.placed = loc.nearby(s, shift, limits);
    }
    if (item.placed) shift = shift_of(item);
    last = &item;
  }
}

// Second pass: the rest, each where its stretch from the Tag before it is unchanged, or
// searched over the whole text but what was there before, predicted by the shift of the Tag
// placed before it, and bracketed by the shifts of the placed Tags before and after it.
void place_the_rest(std::string_view t, std::vector<Item>& items, LazyKnown& known,
                    SearchRoute route, Budget& budget) {
  // The shift of the next Tag placed in the first pass, for each position.
  std::vector<std::optional<int64_t>> next_shift(items.size());
  std::optional<int64_t> next;
  for (size_t i = items.size(); i-- > 0;) {
    next_shift[i] = next;
    if (items[i].anchor && items[i].placed) next = shift_of(items[i]);
  }
  const Item* last = nullptr;
  std::optional<int64_t> shift;  // of the last Tag placed
  for (size_t i = 0; i < items.size(); ++i) {
    Item& item = items[i];
    if (!item.anchor) continue;
    if (!item.placed) {
      Locator loc(t, item.anchor->quote, route, budget);
      const int64_t s = item.tag->start;
      if (last && last->placed && last->placed->verdict == Verdict::placed)
        if (const auto at = after_same_gap(t, *last, item, s + shift_of(*last)))
          item.placed = loc.at(*at);
      if (!item.placed) {
        Limits limits;
        limits.known = known.get();
        limits.text = t;
        limits.collapsed_start = item.anchor->collapsed_start;
        if (shift || next_shift[i]) {
          const int64_t a = shift.value_or(*next_shift[i]);
          const int64_t b = next_shift[i].value_or(*shift);
          limits.bracket = {s + std::min(a, b) - kBracketSlack, s + std::max(a, b) + kBracketSlack};
        }
        item.placed = loc.anywhere(s, shift.value_or(0), limits);
      }
    }
    if (item.placed->verdict == Verdict::placed) shift = shift_of(item);
    last = &item;
  }
}

}  // namespace

ReanchorResult reanchor(std::string_view text, const TagList& tags, const AnchorFile& saved,
                        SearchRoute route) {
  const std::vector<TagAnchor>& anchors = saved.anchors;
  std::unordered_map<IdentityKey, const TagAnchor*, IdentityKeyHash> by_identity;
  by_identity.reserve(anchors.size());
  for (const TagAnchor& a : anchors) by_identity.emplace(IdentityKey{a.start, a.end, a.time}, &a);

  std::vector<Item> items;
  items.reserve(tags.size());
  for (const TagNode* n = tags.head(); n; n = n->next.get()) {
    const Tag& tag = *n->tag;
    const auto found = by_identity.find({tag.start, tag.end, tag.time});
    const TagAnchor* anchor = found == by_identity.end() ? nullptr : found->second;
    if (anchor && anchor->quote.length != tag.end - tag.start) anchor = nullptr;
    items.push_back({items.size(), &tag, anchor, std::nullopt});
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const Item& a, const Item& b) { return a.tag->start < b.tag->start; });

  Budget budget = budget_for(text);
  LazyKnown known(saved.blocks, route);
  place_unchanged(text, items, known, route, budget);
  place_the_rest(text, items, known, route, budget);

  ReanchorResult result;
  result.tags.resize(items.size());
  for (const Item& item : items) {
    const Tag& tag = *item.tag;
    PlacedRange& out = result.tags[item.index];
    out = {Placement::unanchored, tag.start, tag.end};
    if (!item.anchor) {
      ++result.counts.unanchored;
      continue;
    }
    switch (item.placed->verdict) {
      case Verdict::placed:
        out.start = item.placed->start;
        out.end = item.placed->end;
        out.placement =
            out.start == tag.start && out.end == tag.end ? Placement::stays : Placement::moved;
        ++(out.placement == Placement::stays ? result.counts.stayed : result.counts.moved);
        break;
      case Verdict::ambiguous:
        out.placement = Placement::ambiguous;
        ++result.counts.ambiguous;
        break;
      case Verdict::none:
        out.placement = Placement::not_found;
        ++result.counts.not_found;
        break;
    }
  }
  return result;
}

PlacedRange locate_quote(std::string_view text, const TextQuote& quote, std::optional<int32_t> hint,
                         SearchRoute route) {
  Budget budget = budget_for(text);
  TextQuote q = quote;
  if (q.whole()) q.length = static_cast<int32_t>(q.exact.size());
  Locator loc(text, q, route, budget);
  std::optional<Located> at;
  if (hint) at = loc.at(*hint);
  if (!at) {
    std::optional<int64_t> start;
    if (hint) start = *hint;
    at = loc.anywhere(start, 0, Limits{});
  }
  const int32_t old = hint.value_or(0);
  switch (at->verdict) {
    case Verdict::placed:
      return {hint && at->start == *hint ? Placement::stays : Placement::moved, at->start, at->end};
    case Verdict::ambiguous:
      return {Placement::ambiguous, old, old + q.length};
    case Verdict::none:
      break;
  }
  return {Placement::not_found, old, old + q.length};
}

}  // namespace gm
