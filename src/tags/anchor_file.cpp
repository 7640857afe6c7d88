#include "tags/anchor_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/save_file.h"

namespace gm {

// Byte layout, all integers little-endian:
//   magic "GMANCHOR", u32 version (1)
//   document fingerprint, tag file fingerprint: u64 size, u64 hash high, u64 hash low
//   u32 unplaced count, u32 anchor count, u32 block count
//   the unplaced Tags, then the anchors (an unchanged document needs only what comes before)
//   anchor:   i32 start, i32 end, i32 time, u64 gap, u64 flat gap, i32 collapsed start, quote
//   unplaced: i32 start, i32 end, u8 style, i32 time, str note, quote
//   quote:    i32 length, i32 collapsed, str prefix, str exact, str tail, str suffix
//   then the blocks: u64 each
//   str:      u32 byte count, the bytes
//   u64 XXH3-64 of every byte before it
namespace {

constexpr char kMagic[8] = {'G', 'M', 'A', 'N', 'C', 'H', 'O', 'R'};
constexpr uint32_t kVersion = 1;
constexpr size_t kChecksumSize = 8;
constexpr size_t kHeaderSize = sizeof kMagic + 4 + 2 * 24 + 12;

class Writer {
 public:
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) out_ += static_cast<char>(v >> (8 * i));
  }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void u64(uint64_t v) {
    for (int i = 0; i < 8; ++i) out_ += static_cast<char>(v >> (8 * i));
  }
  void bytes(std::string_view s) { out_.append(s.data(), s.size()); }
  void str(std::string_view s) {
    u32(static_cast<uint32_t>(s.size()));
    bytes(s);
  }
  void fingerprint(const Fingerprint& f) {
    u64(f.size);
    u64(f.hash[0]);
    u64(f.hash[1]);
  }
  void quote(const TextQuote& q) {
    i32(q.length);
    i32(q.collapsed);
    str(q.prefix);
    str(q.exact);
    str(q.tail);
    str(q.suffix);
  }
  std::string& out() { return out_; }

 private:
  std::string out_;
};

// Every read checks what is left, so no field can reach past the end of the bytes.
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
    if (in_.size() < 8) return false;
    v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t{static_cast<unsigned char>(in_[i])} << (8 * i);
    in_.remove_prefix(8);
    return true;
  }
  bool str(std::string& s) {
    uint32_t n = 0;
    if (!u32(n) || n > in_.size()) return false;
    s.assign(in_.data(), n);
    in_.remove_prefix(n);
    return true;
  }
  bool fingerprint(Fingerprint& f) { return u64(f.size) && u64(f.hash[0]) && u64(f.hash[1]); }
  bool quote(TextQuote& q) {
    if (!(i32(q.length) && i32(q.collapsed) && str(q.prefix) && str(q.exact) && str(q.tail) &&
          str(q.suffix)))
      return false;
    // The shapes make_quote gives; anything else would mislead the search.
    if (q.prefix.size() > kQuoteContext || q.suffix.size() > kQuoteContext) return false;
    if (q.whole()) return q.length >= 0 && static_cast<size_t>(q.length) == q.exact.size();
    return q.exact.size() <= kQuoteWhole && q.tail.size() <= kQuoteWhole && q.length >= 0 &&
           static_cast<size_t>(q.length) > q.exact.size() &&
           static_cast<size_t>(q.length) >= q.tail.size() && q.collapsed >= 0 &&
           q.collapsed <= q.length;
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
  if (blocks > file.document.size / kAnchorBlock || blocks > in.left() / 8)
    return fail("damaged record");
  // An anchor takes at least 48 bytes, an unplaced Tag 41: counts beyond what is left are
  // damage, not a reason to reserve memory.
  if (anchors > in.left() / 41 || unplaced > in.left() / 41) return fail("damaged record");
  file.unplaced.resize(unplaced);
  for (UnplacedTag& u : file.unplaced) {
    if (!(in.i32(u.start) && in.i32(u.end) && in.u8(u.style) && in.i32(u.time) && in.str(u.note) &&
          in.quote(u.quote)) ||
        !valid_range(u.start, u.end))
      return fail("damaged record");
  }
  if (!with_anchors) return file;
  file.anchors.resize(anchors);
  for (TagAnchor& a : file.anchors) {
    if (!(in.i32(a.start) && in.i32(a.end) && in.i32(a.time) && in.u64(a.gap) &&
          in.u64(a.flat_gap) && in.i32(a.collapsed_start) && in.quote(a.quote)) ||
        !valid_range(a.start, a.end))
      return fail("damaged record");
  }
  file.blocks.resize(blocks);
  for (uint64_t& b : file.blocks)
    if (!in.u64(b)) return fail("damaged record");
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

TextQuote make_quote(std::string_view text, int32_t start, int32_t end) {
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
    std::string_view body = text.substr(s, e - s);
    while (!body.empty() && is_text_space(body.front())) body.remove_prefix(1);
    while (!body.empty() && is_text_space(body.back())) body.remove_suffix(1);
    q.collapsed = collapsed_length(body);
  }
  return q;
}

int32_t collapsed_length(std::string_view s) {
  int32_t n = 0;
  for (size_t i = 0; i < s.size(); ++i)
    if (starts_character(s, i)) ++n;
  return n;
}

uint64_t gap_hash(std::string_view stretch) { return XXH3_64bits(stretch.data(), stretch.size()); }

std::string anchor_file_name(const std::string& document_path) {
  return document_path + ".tag.anchor";
}

AnchorFile make_anchor_file(std::string_view text, const TagList& tags, const Fingerprint& tag_file,
                            std::vector<UnplacedTag> unplaced) {
  AnchorFile file;
  file.document = fingerprint(text);
  file.tag_file = tag_file;
  file.anchors.reserve(tags.size());
  for (const TagNode* n = tags.head(); n; n = n->next.get()) {
    const Tag& t = *n->tag;
    file.anchors.push_back({t.start, t.end, t.time, 0, 0, 0, make_quote(text, t.start, t.end)});
  }
  // One pass over the text for the gaps (in order of starts, ties in list order: the order
  // reanchor() walks them in), the collapsed starts and the blocks.
  std::vector<size_t> order(file.anchors.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return file.anchors[a].start < file.anchors[b].start;
  });
  uint64_t flat = 0, block = 0;
  int32_t collapsed = 0;
  size_t in_block = 0;
  file.blocks.reserve(text.size() / kAnchorBlock);
  // Characters of [from, to) as starts_character() has them (tracked as it goes): a
  // whitespace run counts once, where it begins, also when a Tag's start cuts it.
  auto count = [&](size_t from, size_t to) {
    const char* p = text.data();
    bool after_space = from > 0 && is_text_space(p[from - 1]);
    for (size_t j = from; j < to; ++j) {
      const bool space = is_text_space(p[j]);
      if (space && after_space) continue;
      after_space = space;
      const auto c = static_cast<unsigned char>(space ? ' ' : p[j]);
      ++collapsed;
      flat = flat * kBlockBase + c;
      block = block * kBlockBase + c;
      if (++in_block == kAnchorBlock) {
        file.blocks.push_back(block);
        block = 0;
        in_block = 0;
      }
    }
  };
  size_t from = 0;
  for (const size_t i : order) {
    TagAnchor& a = file.anchors[i];
    const size_t at = std::min(static_cast<size_t>(std::max(a.start, 0)), text.size());
    flat = 0;
    count(from, at);
    a.gap = gap_hash(text.substr(from, at - from));
    a.flat_gap = flat;
    a.collapsed_start = collapsed;
    from = at;
  }
  count(from, text.size());
  file.unplaced = std::move(unplaced);
  return file;
}

uint64_t block_hash(std::string_view block) {
  uint64_t h = 0;
  for (const char c : block) h = h * kBlockBase + static_cast<unsigned char>(c);
  return h;
}

std::string encode_anchor_file(const AnchorFile& file) {
  Writer w;
  w.bytes(std::string_view(kMagic, sizeof kMagic));
  w.u32(kVersion);
  w.fingerprint(file.document);
  w.fingerprint(file.tag_file);
  w.u32(static_cast<uint32_t>(file.unplaced.size()));
  w.u32(static_cast<uint32_t>(file.anchors.size()));
  w.u32(static_cast<uint32_t>(file.blocks.size()));
  for (const UnplacedTag& u : file.unplaced) {
    w.i32(u.start);
    w.i32(u.end);
    w.out() += static_cast<char>(u.style);
    w.i32(u.time);
    w.str(u.note);
    w.quote(u.quote);
  }
  for (const TagAnchor& a : file.anchors) {
    w.i32(a.start);
    w.i32(a.end);
    w.i32(a.time);
    w.u64(a.gap);
    w.u64(a.flat_gap);
    w.i32(a.collapsed_start);
    w.quote(a.quote);
  }
  for (const uint64_t b : file.blocks) w.u64(b);
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
