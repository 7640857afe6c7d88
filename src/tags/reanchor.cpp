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
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

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
constexpr int64_t kEditedRadius = 64 << 10;
constexpr int64_t kFirstRadius = 256;  // widened 8-fold while it cannot decide

// Which rule found a place; lower is better.
enum Rule : int { both_sides = 0, one_side = 1, long_text = 2, edited = 3, no_rule = 4 };

struct Candidate {
  int32_t start = 0, end = 0;
  int64_t key = 0;  // where the pattern's key stands: distances are measured there
  Rule rule = no_rule;
};

// A quote prepared for matching: its parts normalised, its text cut from its whitespace.
struct Pattern {
  std::string left;   // prefix and the text's leading whitespace, compared backwards
  std::string core;   // the text (its head when long) without leading/trailing whitespace
  std::string tail;   // long texts: the last bytes without trailing whitespace
  std::string right;  // the text's trailing whitespace and the suffix
  int32_t lead = 0, trail = 0, length = 0;
  bool whole = true;
  std::optional<Key> key;       // in core
  std::optional<Key> left_key;  // in left, for the search of rule 4

  explicit Pattern(const TextQuote& q) : length(q.length), whole(q.whole()) {
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

  // The text (rules 1 to 3) with its first core character at p.
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
  // A long text: its tail must end at q near where its length puts it, nearest first.
  bool tail_end(size_t p, size_t head_end, size_t* q) const {
    const Pattern& P = p_;
    const int64_t body = int64_t{P.length} - P.lead - P.trail;
    const int64_t slack = body / 8 + 16;
    const int64_t want = static_cast<int64_t>(p) + body;
    for (int64_t d = 0; d <= slack; ++d) {
      for (const int64_t cand : {want - d, want + d}) {
        if (cand < static_cast<int64_t>(head_end) || cand > static_cast<int64_t>(t_.size()))
          continue;
        const size_t c = static_cast<size_t>(cand);
        if (!P.tail.empty() && t_[c - 1] != P.tail.back()) continue;
        if (backward(t_, c, P.tail) == P.tail.size()) {
          *q = c;
          return true;
        }
        if (d == 0) break;
      }
    }
    return false;
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

// Of the candidates of the best rule present, the decision.
Decision decide_by_rule(const std::vector<Candidate>& cands, std::optional<int64_t> predicted) {
  for (const Rule rule : {both_sides, one_side, long_text, edited}) {
    std::vector<Candidate> of_rule;
    for (const Candidate& c : cands)
      if (c.rule == rule) of_rule.push_back(c);
    if (!of_rule.empty()) return decide(std::move(of_rule), predicted);
  }
  return {};
}

// Scanned bytes of searches that had to widen; bounds a whole run.
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

class Search {
 public:
  Search(std::string_view text, const Pattern& pattern, SearchRoute route, Budget& budget)
      : t_(text), p_(pattern), m_(text, pattern), route_(route), budget_(budget) {}

  // Rule 1 at one place: the text with both sides of its context.
  std::optional<Candidate> both_sides_at(int64_t start) const {
    if (start < 0 || start + p_.lead > static_cast<int64_t>(t_.size())) return std::nullopt;
    std::optional<Candidate> c = m_.at(static_cast<size_t>(start + p_.lead));
    if (!c || c->rule != both_sides) return std::nullopt;
    return c;
  }

  // Rules 2 and 3; predicted: where the key should be.
  Decision anywhere(std::optional<int64_t> predicted) {
    if (!p_.searchable()) return {};
    if (route_ == SearchRoute::plain) {
      std::vector<Candidate> cands;
      for (size_t p = 0; p < t_.size(); ++p)
        if (t_[p] == p_.core[0])
          if (auto c = m_.at(p)) cands.push_back(*c);
      return decide_by_rule(cands, predicted);
    }
    return widening(predicted);
  }

  // Rule 4 within kEditedRadius of where the left context's key should be.
  Decision edited(int64_t predicted_left_key) {
    if (!p_.whole || !p_.left_key || p_.core.empty()) return {};
    const int64_t n = static_cast<int64_t>(t_.size());
    const int64_t lo = std::max<int64_t>(0, predicted_left_key - kEditedRadius);
    const int64_t hi = std::min<int64_t>(n, predicted_left_key + kEditedRadius + 1);
    std::vector<Candidate> cands;
    auto keep = [&](const std::optional<Candidate>& c) {
      if (c && c->key >= lo && c->key < hi) cands.push_back(*c);
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

 private:
  // Scans outwards from the prediction; stops as soon as rule 2 can decide, or when the
  // whole text is scanned (then rules 2 and 3 decide on everything found).
  Decision widening(std::optional<int64_t> predicted) {
    const int64_t n = static_cast<int64_t>(t_.size());
    const std::string_view key = std::string_view(p_.core).substr(p_.key->offset, p_.key->size);
    const int64_t centre = predicted ? std::clamp<int64_t>(*predicted, 0, n) : 0;
    int64_t radius = predicted ? kFirstRadius : n + 1;
    int64_t lo = centre, hi = centre;
    std::vector<Candidate> cands;
    auto scan = [&](int64_t from, int64_t to) {
      if (from >= to) return;
      budget_.left -= to - from;
      each_hit(t_, key, static_cast<size_t>(from), static_cast<size_t>(to), [&](size_t k) {
        if (auto p = m_.core_start_for_key(k))
          if (auto c = m_.at(*p)) cands.push_back(*c);
      });
    };
    for (;;) {
      const int64_t new_lo = std::max<int64_t>(0, centre - radius);
      const int64_t new_hi = std::min<int64_t>(n, centre + radius + 1);
      scan(new_lo, lo);
      scan(hi, new_hi);
      lo = new_lo;
      hi = new_hi;
      const bool everything = lo == 0 && hi == n;
      if (everything) return decide_by_rule(cands, predicted);
      if (const std::optional<Decision> d = decided_early(cands, *predicted, radius)) return *d;
      if (budget_.left < 0) return {};
      radius *= 8;
    }
  }

  // Rule 2 can decide before the whole text is seen once every place within `radius` of the
  // prediction is known: the nearest is then clearly nearer than any other, or is not.
  static std::optional<Decision> decided_early(const std::vector<Candidate>& cands,
                                               int64_t predicted, int64_t radius) {
    std::vector<int64_t> near;
    for (const Candidate& c : cands)
      if (c.rule == both_sides) near.push_back(distance(c, predicted));
    if (near.empty()) return std::nullopt;
    std::sort(near.begin(), near.end());
    if (near.size() >= 2 && !clearly_nearer(near[0], near[1]))
      return Decision{Verdict::ambiguous, {}};
    if (near.size() >= 2 || radius >= 4 * near[0] + 64) {
      std::vector<Candidate> best;
      for (const Candidate& c : cands)
        if (c.rule == both_sides) best.push_back(c);
      return decide(std::move(best), predicted);
    }
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

// Rules 1 to 4 for one quote. old_start: where it stood (none for an imported quote
// without a hint); shift: how far the edits moved the Tag placed before it.
Located locate(std::string_view t, const TextQuote& q, std::optional<int64_t> old_start,
               int64_t shift, SearchRoute route, Budget& budget) {
  std::optional<Pattern> pattern;  // prepared only when the bytes alone do not settle it
  std::optional<Search> search;
  auto prepare = [&] {
    if (pattern) return;
    pattern.emplace(q);
    search.emplace(t, *pattern, route, budget);
  };
  std::optional<int64_t> predicted;
  if (old_start) {
    for (const int64_t s : {*old_start, *old_start + shift}) {
      if (same_bytes_at(t, q, s))
        return {Verdict::placed, static_cast<int32_t>(s), static_cast<int32_t>(s + q.length)};
      prepare();
      if (auto c = search->both_sides_at(s)) return {Verdict::placed, c->start, c->end};
    }
    if (pattern->key) predicted = *old_start + shift + pattern->key->raw;
  }
  prepare();
  Decision d = search->anywhere(predicted);
  if (d.verdict == Verdict::none && old_start && pattern->left_key)
    d = search->edited(*old_start + shift + pattern->left_key->raw);
  return {d.verdict, d.place.start, d.place.end};
}

Budget budget_for(std::string_view text) {
  return {16 * static_cast<int64_t>(text.size()) + (int64_t{64} << 20)};
}

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

}  // namespace

ReanchorResult reanchor(std::string_view text, const TagList& tags,
                        const std::vector<TagAnchor>& anchors, SearchRoute route) {
  std::unordered_map<IdentityKey, const TagAnchor*, IdentityKeyHash> by_identity;
  by_identity.reserve(anchors.size());
  for (const TagAnchor& a : anchors) by_identity.emplace(IdentityKey{a.start, a.end, a.time}, &a);

  ReanchorResult result;
  std::vector<const Tag*> list;
  list.reserve(tags.size());
  for (const TagNode* n = tags.head(); n; n = n->next.get()) {
    list.push_back(n->tag.get());
    result.tags.push_back({Placement::unanchored, n->tag->start, n->tag->end});
  }
  std::vector<size_t> order(list.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return list[a]->start < list[b]->start; });

  Budget budget = budget_for(text);
  int64_t shift = 0;
  for (const size_t i : order) {
    const Tag& tag = *list[i];
    const auto found = by_identity.find({tag.start, tag.end, tag.time});
    PlacedRange& out = result.tags[i];
    if (found == by_identity.end() || found->second->quote.length != tag.end - tag.start) {
      ++result.counts.unanchored;
      continue;
    }
    const Located at = locate(text, found->second->quote, tag.start, shift, route, budget);
    switch (at.verdict) {
      case Verdict::placed:
        out = {at.start == tag.start && at.end == tag.end ? Placement::stays : Placement::moved,
               at.start, at.end};
        ++(out.placement == Placement::stays ? result.counts.stayed : result.counts.moved);
        shift = int64_t{at.start} - tag.start;
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
  std::optional<int64_t> start;
  if (hint) start = *hint;
  TextQuote q = quote;
  if (q.whole()) q.length = static_cast<int32_t>(q.exact.size());
  const Located at = locate(text, q, start, 0, route, budget);
  const int32_t old = hint.value_or(0);
  switch (at.verdict) {
    case Verdict::placed:
      return {hint && at.start == *hint ? Placement::stays : Placement::moved, at.start, at.end};
    case Verdict::ambiguous:
      return {Placement::ambiguous, old, old + quote.length};
    case Verdict::none:
      break;
  }
  return {Placement::not_found, old, old + quote.length};
}

}  // namespace gm
