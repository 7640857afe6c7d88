#include "tags/anchor_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/save_file.h"

namespace gm {

// Byte layout, all fixed-size integers little-endian:
//   magic "GMANCHOR", u32 version (2)
//   document fingerprint, tag file fingerprint: u64 size, u64 hash high, u64 hash low
//   u32 unplaced count, u32 anchor count, u32 block count
//   the unplaced Tags, then the anchors (an unchanged document needs only what comes before)
//   anchor:   z start (from the start of the anchor before it), z end - start, z time (from
//             the time before it), u32 gap, u32 flat gap, z collapsed start (from the one
//             before it), quote
//   unplaced: z start, z end - start, u8 style, i32 time, str note, quote
//   quote:    v length, v collapsed, v sizes of prefix, exact, tail and suffix, their bytes
//   then the blocks: u32 each
//   str:      v byte count, the bytes
//   v:        an unsigned number, 7 bits a byte, low bits first, the top bit set on all but
//             the last byte, in as few bytes as it takes; z: a signed one as v, zigzag
//   u64 XXH3-64 of every byte before it
// Anchors come in order of starts, so that the numbers are small: a few bytes besides the
// quote's text.
namespace {

constexpr char kMagic[8] = {'G', 'M', 'A', 'N', 'C', 'H', 'O', 'R'};
constexpr uint32_t kVersion = 2;
constexpr size_t kChecksumSize = 8;
constexpr size_t kHeaderSize = sizeof kMagic + 4 + 2 * 24 + 12;
// The fewest bytes an anchor and an unplaced Tag take: counts beyond what is left are damage.
constexpr size_t kLeastAnchor = 3 + 8 + 1 + 6;
constexpr size_t kLeastUnplaced = 2 + 1 + 4 + 1 + 6;

uint64_t zigzag(int64_t v) { return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63); }
int64_t unzigzag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

class Writer {
 public:
  explicit Writer(size_t reserve) { out_.reserve(reserve); }
  void u32(uint32_t v) {
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out_.append(b, 4);
  }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void u64(uint64_t v) {
    u32(static_cast<uint32_t>(v));
    u32(static_cast<uint32_t>(v >> 32));
  }
  void var(uint64_t v) {
    char b[10];
    size_t n = 0;
    for (; v >= 0x80; v >>= 7) b[n++] = static_cast<char>(v | 0x80);
    b[n++] = static_cast<char>(v);
    out_.append(b, n);
  }
  void zig(int64_t v) { var(zigzag(v)); }
  void bytes(std::string_view s) { out_.append(s.data(), s.size()); }
  void str(std::string_view s) {
    var(s.size());
    bytes(s);
  }
  void fingerprint(const Fingerprint& f) {
    u64(f.size);
    u64(f.hash[0]);
    u64(f.hash[1]);
  }
  void quote(const TextQuote& q) {
    var(static_cast<uint32_t>(q.length));
    var(static_cast<uint32_t>(q.collapsed));
    for (const std::string* part : {&q.prefix, &q.exact, &q.tail, &q.suffix}) var(part->size());
    for (const std::string* part : {&q.prefix, &q.exact, &q.tail, &q.suffix}) bytes(*part);
  }
  std::string& out() { return out_; }

 private:
  std::string out_;
};

// Every read checks what is left, so no field can reach past the end of the bytes; numbers
// must be in their shortest form, so that what is read encodes back to the same bytes.
class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  bool u32(uint32_t& v) {
    if (in_.size() < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{static_cast<unsigned char>(in_[i])} << (8 * i);
    in_.remove_prefix(4);
    return true;
  }
  bool i32(int32_t& v) {
    uint32_t u = 0;
    if (!u32(u)) return false;
    v = static_cast<int32_t>(u);
    return true;
  }
  bool u8(unsigned char& v) {
    if (in_.empty()) return false;
    v = static_cast<unsigned char>(in_[0]);
    in_.remove_prefix(1);
    return true;
  }
  bool u64(uint64_t& v) {
    uint32_t low = 0, high = 0;
    if (!u32(low) || !u32(high)) return false;
    v = uint64_t{high} << 32 | low;
    return true;
  }
  bool var(uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 64 && !in_.empty(); shift += 7) {
      const auto b = static_cast<unsigned char>(in_[0]);
      in_.remove_prefix(1);
      if (shift == 63 && b > 1) return false;
      v |= uint64_t{b & 0x7Fu} << shift;
      if (!(b & 0x80)) return b != 0 || shift == 0;
    }
    return false;
  }
  // A number that fits in 32 bits (an unsigned one when `low` is 0).
  bool var32(int32_t& v, int64_t low = 0) {
    uint64_t u = 0;
    if (!var(u) || u > UINT32_MAX) return false;
    v = static_cast<int32_t>(u);
    return low < 0 || v >= 0;
  }
  bool zig(int64_t& v) {
    uint64_t u = 0;
    if (!var(u)) return false;
    v = unzigzag(u);
    return true;
  }
  // base + a signed step, within 32 bits.
  bool step32(int32_t& v, int64_t base) {
    int64_t d = 0;
    if (!zig(d) || d > INT32_MAX || d < INT32_MIN) return false;
    const int64_t sum = base + d;
    if (sum > INT32_MAX || sum < INT32_MIN) return false;
    v = static_cast<int32_t>(sum);
    return true;
  }
  bool size(size_t& n, size_t most) {
    uint64_t u = 0;
    if (!var(u) || u > most) return false;
    n = static_cast<size_t>(u);
    return true;
  }
  bool bytes(std::string& s, size_t n) {
    if (n > in_.size()) return false;
    s.assign(in_.data(), n);
    in_.remove_prefix(n);
    return true;
  }
  bool str(std::string& s) {
    size_t n = 0;
    return size(n, in_.size()) && bytes(s, n);
  }
  bool fingerprint(Fingerprint& f) { return u64(f.size) && u64(f.hash[0]) && u64(f.hash[1]); }
  bool quote(TextQuote& q) {
    // The shapes make_quote gives; anything else would mislead the search.
    size_t prefix = 0, exact = 0, tail = 0, suffix = 0;
    if (!(var32(q.length) && var32(q.collapsed) && size(prefix, kQuoteContext) &&
          size(exact, kQuoteWhole) && size(tail, kQuoteWhole) && size(suffix, kQuoteContext) &&
          bytes(q.prefix, prefix) && bytes(q.exact, exact) && bytes(q.tail, tail) &&
          bytes(q.suffix, suffix)))
      return false;
    if (q.whole()) return static_cast<size_t>(q.length) == q.exact.size();
    return static_cast<size_t>(q.length) > q.exact.size() &&
           static_cast<size_t>(q.length) >= q.tail.size() && q.collapsed <= q.length;
  }
  bool u32s(std::vector<uint32_t>& v, size_t n) {
    if (n > in_.size() / 4) return false;
    v.resize(n);
    const auto* p = reinterpret_cast<const unsigned char*>(in_.data());
    for (size_t i = 0; i < n; ++i, p += 4)
      v[i] = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    in_.remove_prefix(4 * n);
    return true;
  }
  size_t left() const { return in_.size(); }

 private:
  std::string_view in_;
};

bool valid_range(int32_t start, int32_t end) { return 0 <= start && start <= end; }

std::optional<AnchorFile> decode_body(Reader& in, std::string* why, bool with_anchors) {
  auto fail = [&](const char* reason) {
    if (why) *why = reason;
    return std::optional<AnchorFile>{};
  };
  AnchorFile file;
  uint32_t anchors = 0, unplaced = 0, blocks = 0;
  if (!in.fingerprint(file.document) || !in.fingerprint(file.tag_file) || !in.u32(unplaced) ||
      !in.u32(anchors) || !in.u32(blocks))
    return fail("truncated");
  if (blocks > file.document.size / kAnchorBlock || blocks > in.left() / 4)
    return fail("damaged record");
  if (anchors > in.left() / kLeastAnchor || unplaced > in.left() / kLeastUnplaced)
    return fail("damaged record");
  file.unplaced.resize(unplaced);
  for (UnplacedTag& u : file.unplaced) {
    if (!(in.step32(u.start, 0) && in.step32(u.end, u.start) && in.u8(u.style) &&
          in.i32(u.time) && in.str(u.note) && in.quote(u.quote)) ||
        !valid_range(u.start, u.end))
      return fail("damaged record");
  }
  if (!with_anchors) return file;
  file.anchors.resize(anchors);
  int32_t start = 0, time = 0, collapsed = 0;
  for (TagAnchor& a : file.anchors) {
    if (!(in.step32(a.start, start) && in.step32(a.end, a.start) && in.step32(a.time, time) &&
          in.u32(a.gap) && in.u32(a.flat_gap) && in.step32(a.collapsed_start, collapsed) &&
          in.quote(a.quote)) ||
        !valid_range(a.start, a.end))
      return fail("damaged record");
    start = a.start;
    time = a.time;
    collapsed = a.collapsed_start;
  }
  if (!in.u32s(file.blocks, blocks)) return fail("damaged record");
  if (in.left() != 0) return fail("damaged record");
  return file;
}

void report(const std::string& path, const std::string& why) {
  std::fprintf(stderr, "anchor file %s ignored: %s\n", path.c_str(), why.c_str());
}

std::optional<std::string> slurp(const std::string& path, bool* missing) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *missing = errno == ENOENT;
    return std::nullopt;
  }
  std::string bytes;
  struct stat st {};
  if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode)) bytes.reserve(size_t(st.st_size) + 1);
  char chunk[1 << 16];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return std::nullopt;
  return bytes;
}

}  // namespace

Fingerprint fingerprint(std::string_view bytes) {
  const XXH128_hash_t h = XXH3_128bits(bytes.data(), bytes.size());
  return {bytes.size(), {h.high64, h.low64}};
}

std::optional<Fingerprint> fingerprint_file(const std::string& path) {
  bool missing = false;
  const std::optional<std::string> bytes = slurp(path, &missing);
  if (!bytes) return std::nullopt;
  return fingerprint(*bytes);
}

namespace {

// The quote of [start, end); a long text's characters counted by `collapsed` over the
// range of the text without its leading and trailing whitespace.
template <class Count>
TextQuote quote_of(std::string_view text, int32_t start, int32_t end, Count collapsed) {
  const size_t s = std::min(static_cast<size_t>(std::max(start, 0)), text.size());
  const size_t e = std::clamp(static_cast<size_t>(std::max(end, 0)), s, text.size());
  TextQuote q;
  const size_t before = std::min(s, kQuoteContext);
  q.prefix.assign(text.substr(s - before, before));
  q.suffix.assign(text.substr(e, kQuoteContext));
  q.length = static_cast<int32_t>(e - s);
  if (e - s <= kQuoteWhole) {
    q.exact.assign(text.substr(s, e - s));
  } else {
    q.exact.assign(text.substr(s, kQuoteEnd));
    q.tail.assign(text.substr(e - kQuoteEnd, kQuoteEnd));
    size_t from = s, to = e;
    while (from < to && is_text_space(text[from])) ++from;
    while (to > from && is_text_space(text[to - 1])) --to;
    q.collapsed = collapsed(from, to);
  }
  return q;
}

}  // namespace

TextQuote make_quote(std::string_view text, int32_t start, int32_t end) {
  return quote_of(text, start, end, [&](size_t from, size_t to) {
    return collapsed_length(text.substr(from, to - from));
  });
}

int32_t collapsed_length(std::string_view s) {
  int32_t n = 0;
  for (size_t i = 0; i < s.size(); ++i)
    if (starts_character(s, i)) ++n;
  return n;
}

uint64_t poly_extend(uint64_t h, std::string_view bytes) {
  constexpr uint64_t b1 = kBlockBase, b2 = b1 * b1, b3 = b2 * b1, b4 = b3 * b1;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  // Four bytes a step: one multiplication waits on the last, the others do not.
  for (; i + 4 <= n; i += 4) h = h * b4 + (p[i] * b3 + p[i + 1] * b2 + p[i + 2] * b1 + p[i + 3]);
  for (; i < n; ++i) h = h * b1 + p[i];
  return h;
}

uint64_t poly_power(uint64_t n) {
  static const std::array<uint64_t, 64> squares = [] {
    std::array<uint64_t, 64> s{};
    s[0] = kBlockBase;
    for (size_t i = 1; i < s.size(); ++i) s[i] = s[i - 1] * s[i - 1];
    return s;
  }();
  uint64_t r = 1;
  for (size_t i = 0; n; ++i, n >>= 1)
    if (n & 1) r *= squares[i];
  return r;
}

uint32_t fold_hash(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 33;
  return static_cast<uint32_t>(h >> 32);
}

uint64_t block_hash(std::string_view block) {
  uint64_t h = 0;
  for (const char c : block) h = h * kBlockBase + static_cast<unsigned char>(c);
  return h;
}

std::string anchor_file_name(const std::string& document_path) {
  return document_path + ".tag.anchor";
}

AnchorBasis::AnchorBasis(std::string_view text) : document_(fingerprint(text)) {
  steps_.reserve(text.size() / kBasisStep + 2);
  blocks_.reserve(text.size() / kAnchorBlock);
  Running r;
  uint64_t block = 0;
  size_t in_block = 0;
  bool after_space = false;  // tracks starts_character() as it goes
  for (size_t at = 0;; at += kBasisStep) {
    steps_.push_back(r);
    if (at >= text.size()) break;
    const std::string_view chunk = text.substr(at, kBasisStep);
    r.raw = poly_extend(r.raw, chunk);
    for (const char ch : chunk) {
      const bool space = is_text_space(ch);
      if (space && after_space) continue;
      after_space = space;
      const auto c = static_cast<unsigned char>(space ? ' ' : ch);
      ++r.collapsed;
      r.flat = r.flat * kBlockBase + c;
      block = block * kBlockBase + c;
      if (++in_block == kAnchorBlock) {
        blocks_.push_back(fold_hash(block));
        block = 0;
        in_block = 0;
      }
    }
  }
}

AnchorBasis::Running AnchorBasis::running(std::string_view text, size_t offset) const {
  offset = std::min(offset, text.size());
  const size_t k = std::min(offset / kBasisStep, steps_.size() - 1);
  Running r = steps_[k];
  const size_t from = k * kBasisStep;
  r.raw = poly_extend(r.raw, text.substr(from, offset - from));
  for (size_t j = from; j < offset; ++j) {
    if (!starts_character(text, j)) continue;
    ++r.collapsed;
    r.flat = r.flat * kBlockBase + static_cast<unsigned char>(is_text_space(text[j]) ? ' ' : text[j]);
  }
  return r;
}

std::shared_future<std::shared_ptr<const AnchorBasis>> start_anchor_basis(
    std::string_view text, std::shared_ptr<const void> owner) {
  return std::async(
             std::launch::async,
             [text, owner = std::move(owner)] {
               return std::shared_ptr<const AnchorBasis>(std::make_shared<AnchorBasis>(text));
             })
      .share();
}

AnchorFile make_anchor_file(const AnchorBasis& basis, std::string_view text, const TagList& tags,
                            const Fingerprint& tag_file, std::vector<UnplacedTag> unplaced) {
  AnchorFile file;
  file.document = basis.document();
  file.tag_file = tag_file;
  file.blocks = basis.blocks();
  file.unplaced = std::move(unplaced);
  // In order of starts, ties in list order: the order reanchor() walks them in, and the one
  // that keeps the numbers of the file small.
  std::vector<const Tag*> order;
  order.reserve(tags.size());
  for (const TagNode* n = tags.head(); n; n = n->next.get()) order.push_back(n->tag.get());
  const auto by_start = [](const Tag* a, const Tag* b) { return a->start < b->start; };
  if (!std::is_sorted(order.begin(), order.end(), by_start))
    std::stable_sort(order.begin(), order.end(), by_start);
  file.anchors.reserve(order.size());
  AnchorBasis::Running before;
  size_t from = 0;
  for (const Tag* t : order) {
    const size_t at = std::min(static_cast<size_t>(std::max(t->start, 0)), text.size());
    const AnchorBasis::Running here = basis.running(text, at);
    // A long text starts and ends with a character, so it counts the same on its own as
    // within the text: the running counts give it without a pass over it.
    TagAnchor a{t->start, t->end, t->time, 0, 0, 0,
                quote_of(text, t->start, t->end, [&](size_t from, size_t to) {
                  return static_cast<int32_t>(basis.running(text, to).collapsed -
                                              basis.running(text, from).collapsed);
                })};
    // The stretch [from, at) cut from the running hashes.
    a.gap = fold_hash(here.raw - before.raw * poly_power(at - from));
    a.flat_gap =
        fold_hash(here.flat - before.flat * poly_power(static_cast<uint64_t>(here.collapsed - before.collapsed)));
    a.collapsed_start = static_cast<int32_t>(here.collapsed);
    file.anchors.push_back(std::move(a));
    before = here;
    from = at;
  }
  return file;
}

AnchorFile make_anchor_file(std::string_view text, const TagList& tags, const Fingerprint& tag_file,
                            std::vector<UnplacedTag> unplaced) {
  return make_anchor_file(AnchorBasis(text), text, tags, tag_file, std::move(unplaced));
}

std::string encode_anchor_file(const AnchorFile& file) {
  size_t estimate = kHeaderSize + kChecksumSize + 4 * file.blocks.size();
  for (const TagAnchor& a : file.anchors)
    estimate += 32 + a.quote.prefix.size() + a.quote.exact.size() + a.quote.tail.size() +
                a.quote.suffix.size();
  Writer w(estimate);
  w.bytes(std::string_view(kMagic, sizeof kMagic));
  w.u32(kVersion);
  w.fingerprint(file.document);
  w.fingerprint(file.tag_file);
  w.u32(static_cast<uint32_t>(file.unplaced.size()));
  w.u32(static_cast<uint32_t>(file.anchors.size()));
  w.u32(static_cast<uint32_t>(file.blocks.size()));
  for (const UnplacedTag& u : file.unplaced) {
    w.zig(u.start);
    w.zig(int64_t{u.end} - u.start);
    w.out() += static_cast<char>(u.style);
    w.i32(u.time);
    w.str(u.note);
    w.quote(u.quote);
  }
  int64_t start = 0, time = 0, collapsed = 0;
  for (const TagAnchor& a : file.anchors) {
    w.zig(a.start - start);
    w.zig(int64_t{a.end} - a.start);
    w.zig(a.time - time);
    w.u32(a.gap);
    w.u32(a.flat_gap);
    w.zig(a.collapsed_start - collapsed);
    w.quote(a.quote);
    start = a.start;
    time = a.time;
    collapsed = a.collapsed_start;
  }
  for (const uint32_t b : file.blocks) w.u32(b);
  const uint64_t sum = XXH3_64bits(w.out().data(), w.out().size());
  w.u64(sum);
  return std::move(w.out());
}

std::optional<AnchorFile> decode_anchor_file(std::string_view bytes, std::string* why,
                                             bool with_anchors) {
  auto fail = [&](std::string reason) {
    if (why) *why = std::move(reason);
    return std::optional<AnchorFile>{};
  };
  if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
    return fail("not an anchor file");
  Reader head(bytes.substr(sizeof kMagic));
  uint32_t version = 0;
  if (!head.u32(version)) return fail("truncated");
  if (version != kVersion) return fail("version " + std::to_string(version) + " not supported");
  if (bytes.size() < kHeaderSize + kChecksumSize) return fail("truncated");
  const std::string_view body = bytes.substr(0, bytes.size() - kChecksumSize);
  Reader sum_reader(bytes.substr(body.size()));
  uint64_t sum = 0;
  sum_reader.u64(sum);
  if (XXH3_64bits(body.data(), body.size()) != sum) return fail("checksum mismatch");
  Reader in(body.substr(sizeof kMagic + 4));
  return decode_body(in, why, with_anchors);
}

std::optional<AnchorFile> read_anchor_file(const std::string& path, bool with_anchors) {
  bool missing = false;
  const std::optional<std::string> bytes = slurp(path, &missing);
  if (!bytes) {
    if (!missing) report(path, std::strerror(errno));
    return std::nullopt;
  }
  std::string why;
  std::optional<AnchorFile> file = decode_anchor_file(*bytes, &why, with_anchors);
  if (!file) report(path, why);
  return file;
}

// The same safe save as the tag file: whatever route it takes, a failed or interrupted save
// leaves a complete file, the old or the new.
int write_anchor_file(const std::string& path, std::string_view bytes) {
  const SaveResult result = save_file(path, bytes.data(), bytes.size());
  if (result.ok()) return 0;
  errno = result.error;
  std::perror("anchor file");
  return -1;
}

int save_anchor_file(const std::string& document_path, const AnchorBasis& basis,
                     std::string_view text, const TagList& tags,
                     const std::vector<UnplacedTag>& unplaced, const Fingerprint& tag_file) {
  return write_anchor_file(anchor_file_name(document_path),
                           encode_anchor_file(make_anchor_file(basis, text, tags, tag_file, unplaced)));
}

AnchorState anchor_state(const AnchorFile& file, const Fingerprint& tag_file,
                         const Fingerprint& document) {
  if (file.tag_file != tag_file) return AnchorState::belongs_to_other_tag_file;
  return file.document == document ? AnchorState::document_unchanged
                                   : AnchorState::document_changed;
}

UnplacedTag make_unplaced(const Tag& tag, TextQuote quote) {
  UnplacedTag u;
  u.start = tag.start;
  u.end = tag.end;
  u.style = tag.style;
  u.time = tag.time;
  u.note.assign(tag.note());
  u.quote = std::move(quote);
  return u;
}

std::unique_ptr<Tag> restore_tag(const UnplacedTag& unplaced) {
  return make_tag(unplaced.start, unplaced.end, unplaced.style, unplaced.time, unplaced.note);
}

}  // namespace gm
