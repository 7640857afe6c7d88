// The anchor file: what Glossmark remembers beside the tag file so that Tags can follow their
// text when the document is edited elsewhere. The tag file itself stays exactly as other
// programs read it; everything new lives here.
//
// Name: the tag file's name with ".anchor" appended ("notes.txt.tag.anchor"). It belongs to
// one version of the tag file rather than to the document, it sorts right beside it, and
// nothing that looks for "*.tag" picks it up.
//
// Contents (little-endian; see anchor_file.cpp for the byte layout): a magic and a version;
// the fingerprint of the document text the Tags were saved against and of the tag file as
// written; one TagAnchor per Tag of that tag file; the Tags that could not be placed
// (UnplacedTag, complete, since the tag file no longer holds them); a short hash of every
// block of the text; and a checksum over all of it, so that damaged, truncated and foreign
// files are told apart from good ones.
//
// What depends on the document text alone (its fingerprint, the block hashes, the running
// hashes the gaps are cut from) is worked out once per opened document, in an AnchorBasis;
// a save then does work in proportion to its Tags only, never to the text.
//
// How the program uses it (the integration into the tag document model):
//   open:  start_anchor_basis(text) right after the document is read (a worker thread: the
//          basis costs a pass over the text, which the GUI need not wait for); then
//          read_anchor_file without anchors (one line on standard error when it is
//          damaged; then it is ignored), then anchor_state() with fingerprint(text):
//          belongs_to_other_tag_file -> the Tags open as they stand; document_unchanged ->
//          nothing to do; document_changed -> read it with anchors, reanchor()
//          (tags/reanchor.h) and apply the result as one undoable step. The unplaced Tags
//          are kept in every case: they are in no tag file.
//   save:  write_tag_file, then save_anchor_file(document path, the basis (get() on the
//          future: waits only when the first save comes before the pass ended), the text,
//          the TagList, the unplaced Tags, fingerprint(the tag file's bytes)). The text is
//          read-only for the whole session, so the one basis serves every save.
#pragma once

#include <array>
#include <cstdint>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tags/tag.h"

namespace gm {

// Size and XXH3-128 of a byte sequence.
struct Fingerprint {
  uint64_t size = 0;
  std::array<uint64_t, 2> hash{};  // high half, low half
  bool operator==(const Fingerprint& o) const { return size == o.size && hash == o.hash; }
  bool operator!=(const Fingerprint& o) const { return !(*this == o); }
};

Fingerprint fingerprint(std::string_view bytes);
// The file's bytes as they are on disk; none when it cannot be read.
std::optional<Fingerprint> fingerprint_file(const std::string& path);

// The text a Tag covers and some context around it. A short text is kept whole in `exact`;
// a long one only as its first bytes (`exact`) and its last bytes (`tail`). This is also the
// shape of an imported quote (exact, prefix, suffix), which has no tail.
struct TextQuote {
  std::string prefix;  // the bytes before the text, up to kQuoteContext
  std::string exact;   // the whole text, or its head when `tail` is not empty
  std::string tail;    // the last bytes of a long text; empty otherwise
  std::string suffix;  // the bytes after the text, up to kQuoteContext
  int32_t length = 0;  // bytes of the whole text
  // Long texts: characters of the text without its leading and trailing whitespace, each
  // whitespace run counted as one; how long it is whatever re-wrapping did to it.
  int32_t collapsed = 0;

  bool whole() const { return tail.empty(); }
};

// Whitespace that re-wrapping, line-end conversion and tab expansion change: a run of it
// counts as one space when texts are compared.
inline bool is_text_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
// Whether the byte at j starts a character of the text as compared: anything but
// whitespace, and the first byte of each whitespace run.
inline bool starts_character(std::string_view t, size_t j) {
  return !is_text_space(t[j]) || j == 0 || !is_text_space(t[j - 1]);
}
// Characters of s with each whitespace run counted as one.
int32_t collapsed_length(std::string_view s);

inline constexpr size_t kQuoteContext = 24;
inline constexpr size_t kQuoteWhole = 160;  // longer texts keep head and tail
inline constexpr size_t kQuoteEnd = 32;     // bytes of head and of tail

// The quote of [start, end) in text (the range cut to the text).
TextQuote make_quote(std::string_view text, int32_t start, int32_t end);

// One Tag of the tag file, found again by its identity, and its text when it was saved.
struct TagAnchor {
  int32_t start = 0, end = 0, time = 0;
  // gap_hash of the text from the start of the Tag before it (in order of starts; for the
  // first, from the beginning of the text) to its own start: tells whether that stretch is
  // still the same, so an edit cannot hide behind text that repeats elsewhere. The text at
  // the place it predicts is compared too, so a short hash is enough.
  uint32_t gap = 0;
  // The same stretch with whitespace runs counted once: fold_hash of its running hash.
  uint32_t flat_gap = 0;
  // Characters before its start with whitespace runs counted once: its place among the
  // blocks below, whatever re-wrapping did.
  int32_t collapsed_start = 0;
  TextQuote quote;
};
// A polynomial hash, so that it can be rolled over every position of a text and cut from
// running hashes: h extended by the bytes.
inline constexpr uint64_t kBlockBase = 0x100000001B3ull;
uint64_t poly_extend(uint64_t h, std::string_view bytes);
uint64_t poly_power(uint64_t n);  // kBlockBase^n
// 32 well-mixed bits of a hash, to store.
uint32_t fold_hash(uint64_t h);
// The gap hash of a stretch.
inline uint32_t gap_hash(std::string_view stretch) { return fold_hash(poly_extend(0, stretch)); }

// A Tag that could not be placed: all of it, since the tag file no longer holds it.
struct UnplacedTag {
  int32_t start = 0, end = 0;  // where it was
  unsigned char style = 'A';
  int32_t time = 0;
  std::string note;  // empty: no note
  TextQuote quote;
};

struct AnchorFile {
  Fingerprint document;  // the text the anchors were taken from
  Fingerprint tag_file;  // the tag file written with them
  std::vector<TagAnchor> anchors;
  std::vector<UnplacedTag> unplaced;
  // fold_hash(block_hash) of every whole block of kAnchorBlock characters of that text,
  // whitespace runs counted as one space: wherever the same block stands in the new text,
  // that text was there before, so no other Tag's text went there.
  std::vector<uint32_t> blocks;
};

inline constexpr size_t kAnchorBlock = 128;
uint64_t block_hash(std::string_view block);

// What the anchor file takes from the document text alone, worked out in one pass over it:
// the fingerprint, the block hashes, and the running hashes of the text every kBasisStep
// bytes, from which the gap of any Tag is cut in a few dozen bytes of work.
class AnchorBasis {
 public:
  explicit AnchorBasis(std::string_view text);

  const Fingerprint& document() const { return document_; }
  const std::vector<uint32_t>& blocks() const { return blocks_; }

  // The running hashes of the text before a byte offset (cut to the text): of its bytes, and
  // of its characters with whitespace runs counted once (as starts_character counts them).
  struct Running {
    uint64_t raw = 0, flat = 0;
    int64_t collapsed = 0;  // characters counted in flat
  };
  Running running(std::string_view text, size_t offset) const;

 private:
  static constexpr size_t kBasisStep = 128;
  Fingerprint document_;
  std::vector<uint32_t> blocks_;
  std::vector<Running> steps_;  // before byte k * kBasisStep
};

// The basis made on a worker thread. The text must not change meanwhile; the worker holds
// `owner` until it is done, so whatever owns the text may let it go at any time.
std::shared_future<std::shared_ptr<const AnchorBasis>> start_anchor_basis(
    std::string_view text, std::shared_ptr<const void> owner = nullptr);

std::string anchor_file_name(const std::string& document_path);

// An anchor for every Tag of the list (in order of starts), taken from the text they were
// saved against; `basis` must be that text's. Work in proportion to the Tags.
AnchorFile make_anchor_file(const AnchorBasis& basis, std::string_view text, const TagList& tags,
                            const Fingerprint& tag_file, std::vector<UnplacedTag> unplaced);
// The same with a basis made for the occasion.
AnchorFile make_anchor_file(std::string_view text, const TagList& tags, const Fingerprint& tag_file,
                            std::vector<UnplacedTag> unplaced);

// A save's anchor file, made and written after the tag file (whose written bytes have the
// fingerprint `tag_file`): 0 when it replaced the old one whole, -1 after a line on standard
// error. A failure loses nothing the tag file holds; the next open then finds an anchor file
// of another tag file version and opens the Tags as they stand.
int save_anchor_file(const std::string& document_path, const AnchorBasis& basis,
                     std::string_view text, const TagList& tags,
                     const std::vector<UnplacedTag>& unplaced, const Fingerprint& tag_file);

std::string encode_anchor_file(const AnchorFile& file);
// None with the reason in *why when the bytes are not a whole, undamaged anchor file.
// Without anchors: the fingerprints and the unplaced Tags only, all an unchanged document
// needs (the checksum still covers everything).
std::optional<AnchorFile> decode_anchor_file(std::string_view bytes, std::string* why = nullptr,
                                             bool with_anchors = true);

// None when there is no anchor file (silently) or when it cannot be used (one line on
// standard error saying why).
std::optional<AnchorFile> read_anchor_file(const std::string& path, bool with_anchors = true);
// 0 when the bytes replaced the file whole, -1 after a line on standard error.
int write_anchor_file(const std::string& path, std::string_view bytes);

enum class AnchorState {
  belongs_to_other_tag_file,  // the tag file was written since by someone else: Tags as read
  document_unchanged,         // nothing moved
  document_changed,           // re-anchor
};
AnchorState anchor_state(const AnchorFile& file, const Fingerprint& tag_file,
                         const Fingerprint& document);

// An unplaced record of a Tag that is taken out of the list, with the quote it had.
UnplacedTag make_unplaced(const Tag& tag, TextQuote quote);
// A Tag again (for the user to place by hand or restore), range as it was.
std::unique_ptr<Tag> restore_tag(const UnplacedTag& unplaced);

}  // namespace gm
