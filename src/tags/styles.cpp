#include "tags/styles.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <queue>
#include <vector>

#include "tags/tag_lookup.h"

namespace gm {

namespace {
// Toolkit colour indexes and font numbers, spelled out so the core needs no widget header.
constexpr unsigned kBlack = 56, kRed = 88, kDarkRed = 72, kDarkCyan = 140, kBlue = 216,
                   kDarkBlue = 136, kDarkGreen = 60, kDarkYellow = 76, kMagenta = 248,
                   kDarkMagenta = 152;
constexpr int kHelvetica = 0, kBold = 1, kItalic = 2, kBoldItalic = 3;
}  // namespace

const StyleEntry kStyleTable[kStyleCount] = {
    {kBlack, kHelvetica, 14, 0},          // A  black, Helvetica 14 (untagged text)
    {kRed, kHelvetica, 14, 0},            // B  red, Helvetica 14
    {kDarkRed, kHelvetica, 14, 0},        // C  dark red, Helvetica 14
    {kDarkCyan, kHelvetica, 14, 0},       // D  dark cyan, Helvetica 14
    {kBlue, kHelvetica, 14, 0},           // E  blue, Helvetica 14
    {kDarkBlue, kHelvetica, 14, 0},       // F  dark blue, Helvetica 14
    {kDarkGreen, kHelvetica, 14, 0},      // G  dark green, Helvetica 14
    {kDarkYellow, kHelvetica, 14, 0},     // H  dark yellow, Helvetica 14
    {kMagenta, kHelvetica, 14, 0},        // I  magenta, Helvetica 14
    {kDarkMagenta, kHelvetica, 14, 0},    // J  dark magenta, Helvetica 14
    {kBlack, kBold, 14, 0},               // K  black, bold 14
    {kRed, kBold, 14, 0},                 // L  red, bold 14
    {kDarkRed, kBold, 14, 0},             // M  dark red, bold 14
    {kDarkCyan, kBold, 14, 0},            // N  dark cyan, bold 14
    {kBlue, kBold, 14, 0},                // O  blue, bold 14
    {kDarkBlue, kBold, 14, 0},            // P  dark blue, bold 14
    {kDarkGreen, kBold, 14, 0},           // Q  dark green, bold 14
    {kDarkYellow, kBold, 14, 0},          // R  dark yellow, bold 14
    {kMagenta, kBold, 14, 0},             // S  magenta, bold 14
    {kDarkMagenta, kBold, 14, 0},         // T  dark magenta, bold 14
    {kBlack, kItalic, 14, 0},             // U  black, italic 14
    {kRed, kItalic, 14, 0},               // V  red, italic 14
    {kDarkRed, kItalic, 14, 0},           // W  dark red, italic 14
    {kDarkCyan, kItalic, 14, 0},          // X  dark cyan, italic 14
    {kBlue, kItalic, 14, 0},              // Y  blue, italic 14
    {kDarkBlue, kItalic, 14, 0},          // Z  dark blue, italic 14
    {kDarkGreen, kItalic, 14, 0},         // [  dark green, italic 14
    {kDarkYellow, kItalic, 14, 0},        // \  dark yellow, italic 14
    {kMagenta, kItalic, 14, 0},           // ]  magenta, italic 14
    {kDarkMagenta, kItalic, 14, 0},       // ^  dark magenta, italic 14
    {kBlack, kBoldItalic, 16, 0},         // _  black, bold italic 16
    {kRed, kBoldItalic, 16, 0},           // `  red, bold italic 16
    {kDarkRed, kBoldItalic, 16, 0},       // a  dark red, bold italic 16
    {kDarkCyan, kBoldItalic, 16, 0},      // b  dark cyan, bold italic 16
    {kBlue, kBoldItalic, 16, 0},          // c  blue, bold italic 16
    {kDarkBlue, kBoldItalic, 16, 0},      // d  dark blue, bold italic 16
    {kDarkGreen, kBoldItalic, 16, 0},     // e  dark green, bold italic 16
    {kDarkYellow, kBoldItalic, 16, 0},    // f  dark yellow, bold italic 16
    {kMagenta, kBoldItalic, 16, 0},       // g  magenta, bold italic 16
    {kDarkMagenta, kBoldItalic, 16, 0},   // h  dark magenta, bold italic 16
    {kBlack, kBoldItalic, 20, 0},         // i  black, bold italic 20
    {kRed, kBoldItalic, 20, 0},           // j  red, bold italic 20
    {kDarkRed, kBoldItalic, 20, 0},       // k  dark red, bold italic 20
    {kDarkCyan, kBoldItalic, 20, 0},      // l  dark cyan, bold italic 20
    {kBlue, kBoldItalic, 20, 0},          // m  blue, bold italic 20
    {kDarkBlue, kBoldItalic, 20, 0},      // n  dark blue, bold italic 20
    {kDarkGreen, kBoldItalic, 20, 0},     // o  dark green, bold italic 20
    {kDarkYellow, kBoldItalic, 20, 0},    // p  dark yellow, bold italic 20
    {kMagenta, kBoldItalic, 20, 0},       // q  magenta, bold italic 20
    {kDarkMagenta, kBoldItalic, 20, 0},   // r  dark magenta, bold italic 20
    {kBlack, kBold, 16, 0},               // s  black, bold 16
    {kRed, kBold, 16, 0},                 // t  red, bold 16
    {kDarkRed, kBold, 16, 0},             // u  dark red, bold 16
    {kDarkCyan, kBold, 16, 0},            // v  dark cyan, bold 16
    {kBlue, kBold, 16, 0},                // w  blue, bold 16
    {kDarkBlue, kBold, 16, 0},            // x  dark blue, bold 16
    {kDarkGreen, kBold, 16, 0},           // y  dark green, bold 16
    {kDarkYellow, kBold, 16, 0},          // z  dark yellow, bold 16
};

const StyleEntry& style_entry(unsigned char style) {
  if (style < 'A') return kStyleTable[0];
  if (style > 'z') return kStyleTable[kStyleCount - 1];
  return kStyleTable[style - 'A'];
}

std::string style_codes(unsigned char style) {
  const StyleEntry& e = style_entry(style);
  char codes[99];
  std::snprintf(codes, sizeof codes, "@C%d@F%d@S%d@.", static_cast<int>(e.color), e.font, e.size);
  return codes;
}

unsigned char buffer_style(unsigned char style) {
  if (style < 'A') return 'A';
  if (style >= 0x80) return 'z';
  return style;
}

void normalize_styles_for_document(TagList& list) {
  if (list.default_style <= '@') list.default_style = 'A';
  if (list.default_style >= 0x80) list.default_style = 'z';
  for (TagNode* n = list.head(); n; n = n->next.get())
    if (n->tag->style <= '@') n->tag->style = 'A';
}

namespace {

// A Tag covering the sweep position; the greatest by (start, -end, time) rules.
struct ActiveTag {
  int32_t start;
  int32_t end;
  int32_t time;
  const Tag* tag;

  bool operator<(const ActiveTag& o) const {
    if (start != o.start) return start < o.start;
    if (end != o.end) return end > o.end;
    return time < o.time;
  }
};

// Sort-and-sweep for lists in order: the list gives the starts in order, a heap keeps the
// covering Tags, and each stretch between two events is one run. Tags that ended stay in
// the heap until they reach its top. Emits each stretch with its ruling Tag (or none).
template <typename Emit>
void sweep_in_order(const TagList& list, int32_t from, int32_t to, Emit emit) {
  std::priority_queue<ActiveTag> active;
  const TagNode* node = list.head();
  int32_t pos = from;
  while (pos < to) {
    for (; node && node->tag->start <= pos; node = node->next.get()) {
      const Tag& t = *node->tag;
      if (t.end > pos) active.push({t.start, t.end, t.time, &t});
    }
    while (!active.empty() && active.top().end <= pos) active.pop();

    int32_t next = to;
    if (node) next = std::min(next, node->tag->start);
    if (!active.empty()) next = std::min(next, active.top().end);
    emit(pos, next, active.empty() ? nullptr : active.top().tag);
    pos = next;
  }
}

// Any order: the lookup's answer can only change where a Tag starts or ends, so one
// lookup per stretch between such points gives every byte.
template <typename Emit>
void sweep_any_order(const TagList& list, int32_t from, int32_t to, Emit emit) {
  std::vector<int32_t> cuts{from, to};
  for (const TagNode* n = list.head(); n; n = n->next.get()) {
    const Tag& t = *n->tag;
    if (t.start > from && t.start < to) cuts.push_back(t.start);
    if (t.end > from && t.end < to) cuts.push_back(t.end);
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    const TagNode* rule = ruling_node(list.head(), cuts[i], false);
    emit(cuts[i], cuts[i + 1], rule ? rule->tag.get() : nullptr);
  }
}

template <typename Emit>
void sweep(const TagList& list, int32_t from, int32_t to, Emit emit) {
  if (to <= from) return;
  if (list.in_order())
    sweep_in_order(list, from, to, emit);
  else
    sweep_any_order(list, from, to, emit);
}

}  // namespace

void paint_styles(const TagList& list, int32_t from, int32_t to, char* out) {
  const unsigned char background = buffer_style(list.default_style);
  sweep(list, from, to, [out, from, background](int32_t a, int32_t b, const Tag* rule) {
    const unsigned char style = rule ? buffer_style(rule->style) : background;
    std::memset(out + (a - from), style, static_cast<size_t>(b - a));
  });
}

std::vector<StyleRun> style_runs(const TagList& list, int32_t from, int32_t to) {
  const unsigned char background = buffer_style(list.default_style);
  std::vector<StyleRun> runs;
  sweep(list, from, to, [&runs, background](int32_t a, int32_t b, const Tag* rule) {
    runs.push_back({a, b, static_cast<char>(rule ? buffer_style(rule->style) : background)});
  });
  return runs;
}

std::vector<TagRun> tag_runs(const TagList& list, int32_t from, int32_t to) {
  std::vector<TagRun> runs;
  sweep(list, from, to, [&runs](int32_t a, int32_t b, const Tag* rule) {
    runs.push_back({a, b, rule});
  });
  return runs;
}

int32_t tagged_stretch_end(const TagList& list, int32_t end, int32_t length) {
  if (end >= length) return end;
  if (list.in_order()) {
    // Starts ascend: every Tag starting at or before the covered stretch's end may carry
    // it further; the first one starting beyond it ends the search.
    int64_t covered = end;
    for (const TagNode* n = list.head(); n && n->tag->start <= covered; n = n->next.get())
      covered = std::max<int64_t>(covered, n->tag->end);
    return static_cast<int32_t>(std::min<int64_t>(covered, length));
  }
  // The lookup's cover can only stop at end itself or where some Tag ends.
  std::vector<int32_t> candidates{end};
  for (const TagNode* n = list.head(); n; n = n->next.get())
    if (n->tag->end > end && n->tag->end < length) candidates.push_back(n->tag->end);
  std::sort(candidates.begin(), candidates.end());
  candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
  for (int32_t c : candidates)
    if (!ruling_node(list.head(), c, false)) return c;
  return length;
}

}  // namespace gm
