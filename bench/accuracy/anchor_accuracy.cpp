// How well Tags follow their text: real texts (made by scripts/make-anchor-corpus.sh),
// thousands of Tags on them, and scripted edits of the kinds that happen in life. Each edit
// keeps a map from every old byte to where it went, so the truth of every Tag is known: its
// text's new place, or that its text is gone. Reports, per kind of edit, Tags placed right,
// not placed and placed wrong, for re-anchoring and for two baselines on the same cases:
// positions only (what the program did before) and the exact text searched a few lines
// around the old place.
//
//   glossmark_anchor_accuracy CORPUS_DIR [ROUNDS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tags/anchor_file.h"
#include "tags/reanchor.h"
#include "tags/tag.h"

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string normalised(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    if (is_space(s[i])) {
      out += ' ';
      while (i < s.size() && is_space(s[i])) ++i;
    } else {
      out += s[i++];
    }
  }
  return out;
}

struct Range {
  int32_t start = 0, end = 0;
  bool operator==(const Range& o) const { return start == o.start && end == o.end; }
};

// ---------------------------------------------------------------------------------------
// Edits with a map of where every old byte went

struct Edited {
  std::string text;
  std::vector<int32_t> map;  // old byte -> new position, -1 when it is gone
  Range copied{-1, -1};      // a duplicated stretch of the old text ...
  int32_t copy_shift = 0;    // ... and how far its copy stands from the original
};

class Builder {
 public:
  explicit Builder(const std::string& old) : old_(old) { e_.map.assign(old.size(), -1); }
  void copy(size_t a, size_t b) {
    for (size_t i = a; i < b; ++i)
      if (e_.map[i] < 0) e_.map[i] = static_cast<int32_t>(e_.text.size() + (i - a));
    e_.text.append(old_, a, b - a);
  }
  void insert(std::string_view s) { e_.text.append(s); }
  void put(size_t old_byte, char c) {  // one old byte, maybe changed
    e_.map[old_byte] = static_cast<int32_t>(e_.text.size());
    e_.text += c;
  }
  size_t size() const { return e_.text.size(); }
  Edited& edited() { return e_; }

 private:
  const std::string& old_;
  Edited e_;
};

// Starts of lines and of paragraphs (a run of lines after a blank line), each list ending
// with the text's size.
std::vector<size_t> line_starts(const std::string& t) {
  std::vector<size_t> s{0};
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i] == '\n' && i + 1 < t.size()) s.push_back(i + 1);
  s.push_back(t.size());
  return s;
}

bool blank_line(const std::string& t, size_t a, size_t b) {
  for (size_t i = a; i < b; ++i)
    if (!is_space(t[i])) return false;
  return true;
}

std::vector<size_t> paragraph_starts(const std::string& t) {
  const std::vector<size_t> lines = line_starts(t);
  std::vector<size_t> p{0};
  for (size_t i = 1; i + 1 < lines.size(); ++i)
    if (blank_line(t, lines[i - 1], lines[i]) && !blank_line(t, lines[i], lines[i + 1]))
      p.push_back(lines[i]);
  p.push_back(t.size());
  return p;
}

bool touches_tag(const std::vector<Range>& tags, size_t a, size_t b) {
  for (const Range& r : tags)
    if (static_cast<size_t>(r.start) < b && a < static_cast<size_t>(r.end)) return true;
  return false;
}

// Edits "before and between tags" never land inside a tagged text.
bool inside_tag(const std::vector<Range>& tags, size_t pos) {
  for (const Range& r : tags)
    if (size_t(r.start) < pos && pos < size_t(r.end)) return true;
  return false;
}

using Rng = std::mt19937;
size_t pick(Rng& rng, size_t n) { return n ? rng() % n : 0; }

// Stretches [a, b) chosen from consecutive boundaries, sorted, not touching each other.
std::vector<Range> pick_stretches(Rng& rng, const std::vector<size_t>& bounds, size_t count,
                                  const std::vector<Range>* avoid_tags) {
  std::vector<Range> out;
  for (size_t tries = 0; out.size() < count && tries < 200 && bounds.size() > 2; ++tries) {
    const size_t i = pick(rng, bounds.size() - 1);
    const Range r{static_cast<int32_t>(bounds[i]), static_cast<int32_t>(bounds[i + 1])};
    if (avoid_tags && touches_tag(*avoid_tags, r.start, r.end)) continue;
    bool clash = false;
    for (const Range& o : out) clash |= r.start <= o.end && o.start <= r.end;
    if (!clash) out.push_back(r);
  }
  std::sort(out.begin(), out.end(),
            [](const Range& a, const Range& b) { return a.start < b.start; });
  return out;
}

Edited insert_at(const std::string& old, std::vector<size_t> at,
                 const std::vector<std::string>& pieces) {
  std::sort(at.begin(), at.end());
  Builder b(old);
  size_t from = 0;
  for (size_t i = 0; i < at.size(); ++i) {
    b.copy(from, at[i]);
    b.insert(pieces[i]);
    from = at[i];
  }
  b.copy(from, old.size());
  return std::move(b.edited());
}

Edited delete_stretches(const std::string& old, const std::vector<Range>& gone) {
  Builder b(old);
  size_t from = 0;
  for (const Range& g : gone) {
    b.copy(from, static_cast<size_t>(g.start));
    from = static_cast<size_t>(g.end);
  }
  b.copy(from, old.size());
  return std::move(b.edited());
}

// Lines of another text, so that inserted text brings no copies of tagged text.
std::vector<std::string> foreign_lines(Rng& rng, const std::string& other, size_t count,
                                       size_t lines_each) {
  const std::vector<size_t> starts = line_starts(other);
  std::vector<std::string> out;
  for (size_t i = 0; i < count; ++i) {
    const size_t first = pick(rng, starts.size() - 1);
    const size_t last = std::min(starts.size() - 1, first + lines_each);
    std::string s = other.substr(starts[first], starts[last] - starts[first]);
    if (s.empty() || s.back() != '\n') s += '\n';
    out.push_back(s);
  }
  return out;
}

// Boundaries that no tagged text spans.
std::vector<size_t> free_bounds(const std::vector<size_t>& bounds, const std::vector<Range>& tags) {
  std::vector<size_t> out;
  for (size_t b : bounds)
    if (!inside_tag(tags, b)) out.push_back(b);
  return out;
}

Edited insert_lines(Rng& rng, const std::string& old, const std::string& other,
                    const std::vector<Range>& tags) {
  const std::vector<size_t> lines = free_bounds(line_starts(old), tags);
  std::vector<size_t> at;
  for (int i = 0; i < 3; ++i) at.push_back(lines[pick(rng, lines.size())]);
  return insert_at(old, at, foreign_lines(rng, other, 3, 1));
}

Edited insert_paragraphs(Rng& rng, const std::string& old, const std::string& other,
                         const std::vector<Range>& tags) {
  const std::vector<size_t> paras = free_bounds(paragraph_starts(old), tags);
  std::vector<size_t> at;
  for (int i = 0; i < 2; ++i) at.push_back(paras[pick(rng, paras.size())]);
  std::vector<std::string> pieces = foreign_lines(rng, other, 2, 6);
  for (std::string& p : pieces) p += "\n";
  return insert_at(old, at, pieces);
}

Edited delete_lines(Rng& rng, const std::string& old, const std::vector<Range>& tags) {
  return delete_stretches(old, pick_stretches(rng, line_starts(old), 3, &tags));
}

Edited delete_paragraphs(Rng& rng, const std::string& old, const std::vector<Range>& tags) {
  return delete_stretches(old, pick_stretches(rng, paragraph_starts(old), 2, &tags));
}

Edited move_paragraphs(Rng& rng, const std::string& old, const std::vector<Range>& tags) {
  const std::vector<size_t> paras = free_bounds(paragraph_starts(old), tags);
  std::vector<Range> moved = pick_stretches(rng, paras, 2, nullptr);
  if (moved.empty()) return delete_stretches(old, {});
  // Each moved paragraph goes to another paragraph boundary outside the moved ones.
  std::vector<std::pair<size_t, Range>> dest;
  for (const Range& m : moved) {
    size_t to = 0;
    for (int tries = 0; tries < 50; ++tries) {
      to = paras[pick(rng, paras.size())];
      bool inside = false;
      for (const Range& o : moved) inside |= to >= size_t(o.start) && to <= size_t(o.end);
      if (!inside) break;
    }
    dest.push_back({to, m});
  }
  std::sort(dest.begin(), dest.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  Builder b(old);
  size_t from = 0;
  size_t next_dest = 0;
  auto copy_skipping = [&](size_t a, size_t z) {  // old [a, z) without the moved paragraphs
    for (const Range& m : moved) {
      if (size_t(m.end) <= a || size_t(m.start) >= z) continue;
      if (size_t(m.start) > a) b.copy(a, size_t(m.start));
      a = std::max(a, size_t(m.end));
    }
    if (a < z) b.copy(a, z);
  };
  for (; next_dest < dest.size(); ++next_dest) {
    copy_skipping(from, dest[next_dest].first);
    b.copy(size_t(dest[next_dest].second.start), size_t(dest[next_dest].second.end));
    from = dest[next_dest].first;
  }
  copy_skipping(from, old.size());
  return std::move(b.edited());
}

// Every paragraph's words re-filled to another width.
Edited rewrap(const std::string& old, size_t width) {
  const std::vector<size_t> lines = line_starts(old);
  Builder b(old);
  size_t i = 0;
  while (i + 1 < lines.size()) {
    if (blank_line(old, lines[i], lines[i + 1])) {
      b.copy(lines[i], lines[i + 1]);
      ++i;
      continue;
    }
    size_t j = i;
    while (j + 1 < lines.size() && !blank_line(old, lines[j], lines[j + 1])) ++j;
    // Lines i..j-1 form a paragraph: its words, each with its old bytes.
    size_t column = 0;
    for (size_t p = lines[i]; p < lines[j];) {
      if (is_space(old[p])) {
        ++p;
        continue;
      }
      size_t q = p;
      while (q < lines[j] && !is_space(old[q])) ++q;
      if (column > 0 && column + 1 + (q - p) > width) {
        b.insert("\n");
        column = 0;
      } else if (column > 0) {
        b.insert(" ");
        ++column;
      }
      b.copy(p, q);
      column += q - p;
      p = q;
    }
    b.insert("\n");
    i = j;
  }
  return std::move(b.edited());
}

Edited crlf(const std::string& old) {
  Builder b(old);
  for (size_t i = 0; i < old.size(); ++i) {
    if (old[i] == '\n') b.insert("\r");
    b.put(i, old[i]);
  }
  return std::move(b.edited());
}

// Tabs expanded to spaces, and indentation of eight spaces turned into a tab.
Edited tabs(const std::string& old) {
  Builder b(old);
  size_t column = 0;
  bool line_start = true;
  for (size_t i = 0; i < old.size(); ++i) {
    if (old[i] == '\t') {
      const size_t n = 8 - column % 8;
      b.insert(std::string(n, ' '));
      column += n;
      continue;
    }
    if (line_start && old.compare(i, 8, "        ") == 0) {
      b.insert("\t");
      i += 7;
      column += 8;
      continue;
    }
    line_start = old[i] == '\n' || (line_start && old[i] == ' ');
    column = old[i] == '\n' ? 0 : column + 1;
    b.put(i, old[i]);
  }
  return std::move(b.edited());
}

// One letter changed inside a tenth of the Tags: swapped with its neighbour, dropped,
// doubled or replaced.
Edited typos(Rng& rng, const std::string& old, const std::vector<Range>& tags) {
  std::map<size_t, int> at;  // old byte -> kind of typo
  for (const Range& r : tags) {
    if (pick(rng, 10) != 0 || r.end - r.start < 4) continue;
    const size_t p = size_t(r.start) + 1 + pick(rng, size_t(r.end - r.start) - 2);
    if (is_space(old[p]) || is_space(old[p + 1]) || (old[p] & 0x80) || (old[p + 1] & 0x80))
      continue;
    at[p] = static_cast<int>(pick(rng, 4));
  }
  Builder b(old);
  for (size_t i = 0; i < old.size(); ++i) {
    const auto t = at.find(i);
    if (t == at.end()) {
      b.put(i, old[i]);
      continue;
    }
    switch (t->second) {
      case 0:  // swapped
        b.put(i + 1, old[i + 1]);
        b.put(i, old[i]);
        ++i;
        break;
      case 1:  // dropped
        break;
      case 2:  // doubled
        b.put(i, old[i]);
        b.insert(std::string(1, old[i]));
        break;
      default:
        b.put(i, old[i] == 'e' ? 'a' : 'e');
    }
  }
  return std::move(b.edited());
}

Edited delete_tagged(Rng& rng, const std::string& old, const std::vector<Range>& tags) {
  std::vector<Range> gone;
  for (const Range& r : tags)
    if (pick(rng, 10) == 0) gone.push_back(r);
  return delete_stretches(old, gone);
}

Edited duplicate_paragraph(Rng& rng, const std::string& old, const std::vector<Range>& tags) {
  const std::vector<size_t> paras = free_bounds(paragraph_starts(old), tags);
  for (int tries = 0; tries < 100; ++tries) {
    const size_t i = pick(rng, paras.size() - 1);
    const size_t a = paras[i], z = paras[i + 1];
    if (!touches_tag(tags, a, z)) continue;
    Builder b(old);
    b.copy(0, z);
    b.copy(a, z);
    b.copy(z, old.size());
    Edited e = std::move(b.edited());
    e.copied = {int32_t(a), int32_t(z)};
    e.copy_shift = int32_t(z - a);
    return e;
  }
  return delete_stretches(old, {});
}

// ---------------------------------------------------------------------------------------
// Truth and scoring

enum class Truth { intact, edited, gone };

struct Expected {
  Truth truth = Truth::gone;
  Range at, alt{-1, -1};
};

Expected expected(const std::string& old, const Edited& e, const Range& r) {
  Expected x;
  // Where the text's first and last surviving bytes went (a typo may swap the last one).
  int32_t s = INT32_MAX, l = -1;
  for (int32_t i = r.start; i < r.end; ++i) {
    const int32_t to = e.map[size_t(i)];
    if (to < 0) continue;
    s = std::min(s, to);
    l = std::max(l, to);
  }
  if (e.map[size_t(r.start)] < 0 || e.map[size_t(r.end - 1)] < 0 || l < s) {
    // The text's ends are gone: only a dropped or swapped letter keeps them findable.
    if (l < 0 || (l + 1 - s) + 2 < r.end - r.start) return x;
  }
  x.at = {s, l + 1};
  const std::string before =
      normalised(std::string_view(old).substr(size_t(r.start), size_t(r.end - r.start)));
  const std::string after =
      normalised(std::string_view(e.text).substr(size_t(s), size_t(l + 1 - s)));
  if (before == after) {
    x.truth = Truth::intact;
  } else if (after.size() + 2 >= before.size() && after.size() <= before.size() + 2) {
    x.truth = Truth::edited;  // a typo; the edits are made no larger
  } else {
    return {};  // torn apart: nothing to find
  }
  if (e.copied.start >= 0 && r.start >= e.copied.start && r.end <= e.copied.end)
    x.alt = {x.at.start + e.copy_shift, x.at.end + e.copy_shift};
  return x;
}

struct Score {
  size_t right = 0, not_placed = 0, wrong = 0;
  size_t intact = 0, intact_right = 0, edited = 0, edited_right = 0, gone = 0;
  void add(const Expected& x, bool placed, const Range& at) {
    const bool hit = placed && (at == x.at || at == x.alt) && x.truth != Truth::gone;
    if (!placed) {
      ++not_placed;
    } else if (hit) {
      ++right;
    } else {
      ++wrong;
    }
    switch (x.truth) {
      case Truth::intact:
        ++intact, intact_right += hit;
        break;
      case Truth::edited:
        ++edited, edited_right += hit;
        break;
      case Truth::gone:
        ++gone;
        break;
    }
  }
  void add(const Score& o) {
    right += o.right, not_placed += o.not_placed, wrong += o.wrong;
    intact += o.intact, intact_right += o.intact_right, edited += o.edited;
    edited_right += o.edited_right, gone += o.gone;
  }
};

// Tags on words: mostly a few words, some a few lines, a few long passages.
std::vector<Range> make_tags(Rng& rng, const std::string& t) {
  std::vector<size_t> word_starts;
  for (size_t i = 0; i < t.size(); ++i)
    if (!is_space(t[i]) && (i == 0 || is_space(t[i - 1]))) word_starts.push_back(i);
  const size_t count = std::max<size_t>(20, t.size() / 300);
  std::vector<Range> tags;
  for (size_t n = 0; n < count && !word_starts.empty(); ++n) {
    const size_t w = pick(rng, word_starts.size());
    const size_t roll = pick(rng, 10);
    const size_t words = roll < 6   ? 1 + pick(rng, 4)
                         : roll < 9 ? 5 + pick(rng, 16)
                                    : 40 + pick(rng, 80);
    const size_t last = std::min(word_starts.size() - 1, w + words - 1);
    size_t end = word_starts[last];
    while (end < t.size() && !is_space(t[end])) ++end;
    tags.push_back({int32_t(word_starts[w]), int32_t(end)});
  }
  std::sort(tags.begin(), tags.end(),
            [](const Range& a, const Range& b) { return a.start < b.start; });
  std::vector<Range> apart;
  for (const Range& r : tags)
    if (apart.empty() || r.start >= apart.back().end + 1) apart.push_back(r);
  return apart;
}

// Baseline: the exact text searched within three lines around the old place.
bool search_nearby(const std::string& old, const std::string& t, const Range& r, Range* at) {
  const std::string exact = old.substr(size_t(r.start), size_t(r.end - r.start));
  size_t centre = std::min(size_t(r.start), t.size());
  size_t from = centre, to = centre;
  for (int i = 0; i < 4 && from > 0; ++i)
    from = t.rfind('\n', from - 1) == std::string::npos ? 0 : t.rfind('\n', from - 1);
  for (int i = 0; i < 4 && to < t.size(); ++i)
    to = t.find('\n', to + 1) == std::string::npos ? t.size() : t.find('\n', to + 1);
  bool found = false;
  size_t best = 0;
  for (size_t p = t.find(exact, from); p != std::string::npos && p + exact.size() <= to;
       p = t.find(exact, p + 1)) {
    if (!found ||
        (p > centre ? p - centre : centre - p) < (best > centre ? best - centre : centre - best))
      best = p;
    found = true;
  }
  if (found) *at = {int32_t(best), int32_t(best + exact.size())};
  return found;
}

struct Scores {
  Score anchors, positions, nearby;
};

// GLOSSMARK_ACCURACY_SHOW=1 prints every Tag placed wrong.
void show_wrong(const std::string& old, const Edited& e, const Range& r, const Expected& x,
                const gm::PlacedRange& p) {
  auto quote = [](const std::string& t, int64_t a, int64_t b) {
    a = std::clamp<int64_t>(a, 0, int64_t(t.size()));
    b = std::clamp<int64_t>(b, a, int64_t(t.size()));
    std::string q = t.substr(size_t(a), size_t(b - a));
    for (char& c : q)
      if (c == '\n') c = '|';
    return q;
  };
  std::printf(
      "WRONG old [%d,%d) truth %d [%d,%d) placed %d [%d,%d)\n  old: %s<<%s>>%s\n  want: "
      "%s<<%s>>%s\n  got:  %s<<%s>>%s\n",
      r.start, r.end, int(x.truth), x.at.start, x.at.end, int(p.placement), p.start, p.end,
      quote(old, r.start - 40, r.start).c_str(), quote(old, r.start, r.end).c_str(),
      quote(old, r.end, r.end + 40).c_str(), quote(e.text, x.at.start - 40, x.at.start).c_str(),
      quote(e.text, x.at.start, x.at.end).c_str(), quote(e.text, x.at.end, x.at.end + 40).c_str(),
      quote(e.text, p.start - 40, p.start).c_str(), quote(e.text, p.start, p.end).c_str(),
      quote(e.text, p.end, p.end + 40).c_str());
}

void run_case(const std::string& old, const std::vector<Range>& tags, const Edited& e, Scores& s) {
  static const bool show = std::getenv("GLOSSMARK_ACCURACY_SHOW") != nullptr;
  gm::TagList list;
  int32_t time = 1'000'000'000;
  for (const Range& r : tags) list.append_tag(gm::make_tag(r.start, r.end, 'B', ++time, ""));
  // Through the file's bytes, so that what is measured is what a save keeps.
  const gm::AnchorFile saved =
      *gm::decode_anchor_file(gm::encode_anchor_file(gm::make_anchor_file(old, list, {}, {})));
  const gm::ReanchorResult result = gm::reanchor(e.text, list, saved);
  for (size_t i = 0; i < tags.size(); ++i) {
    const Expected x = expected(old, e, tags[i]);
    const gm::PlacedRange& p = result.tags[i];
    const bool placed = p.placement == gm::Placement::stays || p.placement == gm::Placement::moved;
    const size_t wrong_before = s.anchors.wrong;
    s.anchors.add(x, placed, {p.start, p.end});
    if (show && s.anchors.wrong != wrong_before) show_wrong(old, e, tags[i], x, p);
    const Range kept{tags[i].start, std::min<int32_t>(tags[i].end, int32_t(e.text.size()))};
    s.positions.add(x, kept.start < kept.end, kept);
    Range near{};
    s.nearby.add(x, search_nearby(old, e.text, tags[i], &near), near);
  }
}

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string percent(size_t part, size_t whole) {
  if (whole == 0) return "—";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f %%", 100.0 * double(part) / double(whole));
  return buf;
}

void print_row(const char* kind, const Scores& s) {
  auto cell = [](const Score& c) {
    return std::to_string(c.right) + " / " + std::to_string(c.not_placed) + " / " +
           std::to_string(c.wrong);
  };
  std::printf("| %s | %zu | %zu | %s | %s | %s | %s | %s |\n", kind,
              s.anchors.right + s.anchors.not_placed + s.anchors.wrong, s.anchors.gone,
              cell(s.anchors).c_str(), percent(s.anchors.intact_right, s.anchors.intact).c_str(),
              percent(s.anchors.edited_right, s.anchors.edited).c_str(), cell(s.positions).c_str(),
              cell(s.nearby).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // TagLists read the clock when they are made; a new second each time, without waiting.
  gm::set_time_source([] {
    static int32_t now = 1'600'000'000;
    return ++now;
  });
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR [ROUNDS]\n", argv[0]);
    return 2;
  }
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
  std::vector<std::pair<std::string, std::string>> texts;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
    if (entry.path().extension() == ".txt")
      texts.emplace_back(entry.path().filename().string(), read_file(entry.path()));
  std::sort(texts.begin(), texts.end());
  if (texts.size() < 2) {
    std::fprintf(stderr, "the corpus in %s has fewer than two texts\n", argv[1]);
    return 1;
  }
  size_t bytes = 0;
  for (const auto& t : texts) bytes += t.second.size();

  static const char* const kKinds[] = {"lines inserted",
                                       "lines deleted",
                                       "paragraphs inserted",
                                       "paragraphs deleted",
                                       "paragraphs moved",
                                       "re-wrapped to 60 columns",
                                       "line ends LF to CR LF",
                                       "tabs expanded / indentation to tabs",
                                       "typos fixed inside tagged text",
                                       "tagged text deleted",
                                       "tagged paragraph duplicated"};
  Scores total;
  size_t tags_per_round = 0;
  std::printf("Corpus: %zu texts, %zu bytes; %d rounds\n\n", texts.size(), bytes, rounds);
  std::printf(
      "| edit | tags | text gone | re-anchoring: right / not placed / wrong | right, text intact | "
      "right, text edited | positions only | exact text within 3 lines |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  const char* only = std::getenv("GLOSSMARK_ACCURACY_KIND");  // one kind by its number
  for (size_t kind = 0; kind < std::size(kKinds); ++kind) {
    if (only && std::atoi(only) != int(kind)) continue;
    Scores s;
    for (int round = 0; round < rounds; ++round) {
      for (size_t ti = 0; ti < texts.size(); ++ti) {
        Rng rng(static_cast<uint32_t>(1000 * round + 37 * ti + 1));
        const std::string& old = texts[ti].second;
        const std::string& other = texts[(ti + 1) % texts.size()].second;
        const std::vector<Range> tags = make_tags(rng, old);
        if (kind == 0) tags_per_round += tags.size();
        Edited e;
        switch (kind) {
          case 0:
            e = insert_lines(rng, old, other, tags);
            break;
          case 1:
            e = delete_lines(rng, old, tags);
            break;
          case 2:
            e = insert_paragraphs(rng, old, other, tags);
            break;
          case 3:
            e = delete_paragraphs(rng, old, tags);
            break;
          case 4:
            e = move_paragraphs(rng, old, tags);
            break;
          case 5:
            e = rewrap(old, 60);
            break;
          case 6:
            e = crlf(old);
            break;
          case 7:
            e = tabs(old);
            break;
          case 8:
            e = typos(rng, old, tags);
            break;
          case 9:
            e = delete_tagged(rng, old, tags);
            break;
          default:
            e = duplicate_paragraph(rng, old, tags);
            break;
        }
        run_case(old, tags, e, s);
      }
    }
    print_row(kKinds[kind], s);
    total.anchors.add(s.anchors);
    total.positions.add(s.positions);
    total.nearby.add(s.nearby);
  }
  print_row("all", total);
  std::printf(
      "\nTags per round: %zu. Placed wrong by re-anchoring: %zu. Right where the text is intact: "
      "%s; "
      "where it had small edits: %s.\n",
      tags_per_round, total.anchors.wrong,
      percent(total.anchors.intact_right, total.anchors.intact).c_str(),
      percent(total.anchors.edited_right, total.anchors.edited).c_str());
  return total.anchors.wrong == 0 ? 0 : 1;
}
