// Tag records and the TagList: one annotation of the document, and the ordered list
// that holds every Tag of the open document.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gm {

struct Tag {
  int32_t start = 0;         // first tagged byte
  int32_t end = 0;           // one past the last tagged byte
  unsigned char style = 'A'; // style character, 'A'..'z' once loaded
  int32_t time = 0;          // seconds since 1970; with start and end the Tag's identity
  int32_t textsize = 0;      // note bytes including the terminating zero; 0 = no note
  std::unique_ptr<char[]> text; // textsize bytes, last one zero; null without a note

  Tag() = default;
  // A Tag has an identity; copying one by accident would make a twin. Use copy_tag.
  Tag(const Tag&) = delete;
  Tag& operator=(const Tag&) = delete;
  Tag(Tag&&) = default;
  Tag& operator=(Tag&&) = default;

  bool has_note() const { return textsize > 0 && text != nullptr; }
  std::string_view note() const;  // without the terminating zero; empty without a note

  // A tag file brings them by the million: they come from a pool, without malloc's own
  // bookkeeping and rounding per Tag (a third of a Tag's memory) and at a third of its time.
  static void* operator new(size_t size);
  static void operator delete(void* p, size_t size) noexcept;
};

// What tells Tags apart: start, end and time. Lookups that must outlive a change of the
// TagList (the hover, browser lines, undo) keep this, never a node.
struct TagIdentity {
  int32_t start = 0;
  int32_t end = 0;
  int32_t time = 0;
  friend bool operator==(const TagIdentity& a, const TagIdentity& b) {
    return a.start == b.start && a.end == b.end && a.time == b.time;
  }
  friend bool operator!=(const TagIdentity& a, const TagIdentity& b) { return !(a == b); }
};

inline TagIdentity identity_of(const Tag& tag) { return {tag.start, tag.end, tag.time}; }
inline bool same_identity(const Tag& a, const Tag& b) { return identity_of(a) == identity_of(b); }

// The one way to copy a Tag: same identity, own copy of the note.
std::unique_ptr<Tag> copy_tag(const Tag& tag);
// A Tag as the editing commands make it: an empty note is not kept.
std::unique_ptr<Tag> make_tag(int32_t start, int32_t end, unsigned char style, int32_t time,
                              std::string_view note);
// 0 when a and b have the same identity; only the test for 0 is meaningful.
int64_t compare_tags(const Tag& a, const Tag& b);

// A time stamp for a new Tag, never the same twice in a run (waits for the next second).
int32_t unique_time();
// The clock's time now, as unique_time reads it, for stamps that need not be unique.
int32_t clock_time();
// Tests replace the clock; nullptr restores time().
void set_time_source(int32_t (*source)());

struct TagNode {
  std::unique_ptr<Tag> tag;
  std::unique_ptr<TagNode> next;

  static void* operator new(size_t size);  // from a pool, as Tags are
  static void operator delete(void* p, size_t size) noexcept;
};

// Order: ascending start; equal start: longer range first; equal range: newest first
// (insert_tag allows one exception directly behind the first node). Node pointers handed
// out stay good only until the list next changes: remove_tag_at may move the successor's
// Tag into the found node.
//
// While the list is in order it keeps a directory of blocks of consecutive nodes (the first
// node, the count, the greatest end), kept up to date by every change that keeps the order.
// Lookups by position or identity and insertions then start at their block instead of the
// head: a change costs the same with a million Tags as with a thousand.
class TagList {
public:
  explicit TagList(std::optional<std::string> default_path = std::nullopt);
  // A list that only carries the Tags of a tag file until they take the place of the
  // program's list (swap_contents). It makes no Tags, so it takes no time stamp.
  struct Carrier {};
  explicit TagList(Carrier) {}
  ~TagList();
  TagList(const TagList&) = delete;
  TagList& operator=(const TagList&) = delete;

  TagNode* head() { return head_.get(); }
  const TagNode* head() const { return head_.get(); }
  bool empty() const { return !head_; }
  size_t size() const { return count_; }

  int insert_tag(std::unique_ptr<Tag>& tag);  // 1: taken over (tag becomes null); 0: refused
  TagNode* find_tag_at(int32_t position);
  const TagNode* find_tag_at(int32_t position) const;
  // The first node holding a Tag of that identity, or null.
  const TagNode* find_identity(const TagIdentity& tag) const;
  // Every node whose Tag covers position (start <= position < end), in list order, into
  // `out`; `after` gets the first node starting after position (null: none).
  void covering_nodes(int32_t position, std::vector<const TagNode*>& out,
                      const TagNode*& after) const;
  // The end of the stretch that Tags starting at or before it carry on from `end`: from
  // `end`, every Tag starting within the stretch so far extends it to its own end. Only
  // meaningful for a list in order.
  int64_t carried_end(int32_t end) const;
  // Tests make the directory's blocks small to meet their edges with few Tags.
  void set_block_nodes(uint32_t nodes) {
    block_nodes_ = nodes < 1 ? 1 : nodes;
    drop_blocks();
  }
  // How many Tags have that style byte.
  size_t style_count(unsigned char style) const { return style_counts_[style]; }
  int remove_tag_at(int32_t position);
  int remove_tag(const TagIdentity& tag);  // the first Tag of that identity
  int remove_tag(const Tag& tag) { return remove_tag(identity_of(tag)); }
  void clamp_tags(int32_t low, int32_t high);
  void clamp_styles(unsigned char low, unsigned char high);
  // After styles were changed through head(): the style counts are made anew.
  void recount_styles();

  void clear();                              // frees every Tag, iteratively
  // Exchanges the Tags, top_line, top_column and default_style with another list, in
  // constant time; both generations move on.
  void swap_contents(TagList& other);
  void append_tag(std::unique_ptr<Tag> tag); // at the tail, no test; constant time
  bool is_node(const TagNode* node) const;   // node is a live link of this list
  // The list keeps the TagList order as far as any lookup can tell: starts ascend, equal
  // starts have descending ends, equal ranges hold no twins (their time order may be loose,
  // as the front exception of insert_tag leaves it). Painting takes its fast route then.
  // The answer is kept until the generation moves, and while the list is in order the
  // changes that keep the order keep the answer too (with the directory).
  bool in_order() const;
  // Moves on with every change of the links or of a Tag's range, so that a lookup table
  // built from the list knows when it is stale. Changes made through head() must leave
  // start, end and time alone (and be followed by recount_styles when they change styles).
  uint64_t generation() const { return generation_; }

  int32_t top_line = 0;
  int32_t top_column = 0;
  unsigned char default_style = 'A';
  std::optional<std::string> path;

private:
  struct Block {
    TagNode* first;
    int32_t first_start;  // the first Tag's range, which stays while it is linked
    int32_t first_end;
    uint32_t count;
    int32_t max_end;
  };

  void unlink_after(TagNode* prev);  // prev null: the head
  bool check_order() const;
  // The directory is there: in_order() builds it for a list in order.
  bool indexed() const;
  void build_blocks() const;
  void drop_blocks() { blocks_valid_ = false; }
  // Where a search for a Tag of this range starts: the last node known to go strictly
  // before it, and its block; null and block 0 for the head.
  TagNode* start_before(int32_t start, int32_t end, size_t& block) const;
  void set_first(size_t block, TagNode* node);
  void linked_into(size_t block, TagNode* node);
  void remove_linked(size_t block, TagNode* prev, TagNode* node);
  void measure_block(size_t block);
  void keep_order_after_insert(const TagNode* node);
  void count_style(const Tag& tag, int delta) {
    style_counts_[tag.style] += static_cast<size_t>(delta);
  }
  TagNode* link_tag(std::unique_ptr<TagNode>& slot, std::unique_ptr<Tag>& tag);

  std::unique_ptr<TagNode> head_;
  TagNode* tail_ = nullptr;
  size_t count_ = 0;
  uint64_t generation_ = 0;
  mutable bool order_known_ = false;   // in_order_ holds the answer for order_generation_
  mutable bool in_order_ = true;
  mutable uint64_t order_generation_ = 0;
  mutable std::vector<Block> blocks_;
  mutable bool blocks_valid_ = false;  // the list is in order and blocks_ describes it
  uint32_t block_nodes_ = 1024;        // a block that grows to twice this is split
  std::array<size_t, 256> style_counts_{};
};

}  // namespace gm
