#include "tags/tag.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "tags/tag_lookup.h"

namespace gm {

// ---------------------------------------------------------------------------------------
// Tag

namespace {

// Blocks of one size, carved from chunks that are never given back and reused through a
// free list, under one lock (Tags may be made on more than one thread). The standard
// library's pool resources keep the memory as low, but take longer than malloc itself.
class BlockPool {
 public:
  explicit BlockPool(size_t size)
      : size_((std::max(size, sizeof(Free)) + alignof(Free) - 1) / alignof(Free) * alignof(Free)) {}

  void* allocate() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (Free* block = free_) {
      free_ = block->next;
      return block;
    }
    if (left_ < size_) {
      next_ = static_cast<char*>(::operator new(kChunk));
      left_ = kChunk;
    }
    void* block = next_;
    next_ += size_;
    left_ -= size_;
    return block;
  }
  void deallocate(void* p) noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    auto* block = static_cast<Free*>(p);
    block->next = free_;
    free_ = block;
  }

 private:
  struct Free {
    Free* next;
  };
  static constexpr size_t kChunk = size_t{1} << 20;

  std::mutex mutex_;
  Free* free_ = nullptr;
  char* next_ = nullptr;
  size_t left_ = 0;
  const size_t size_;
};

// Never destroyed: a Tag may still be freed while the program ends.
template <class T>
BlockPool& pool_of() {
  static BlockPool* const pool = new BlockPool(sizeof(T));
  return *pool;
}

// An address-sanitized build keeps malloc, which then still finds a Tag used after it was freed.
template <class T>
void* from_pool() {
#if defined(__SANITIZE_ADDRESS__)
  return ::operator new(sizeof(T));
#else
  static_assert(alignof(T) <= alignof(void*), "pool blocks are aligned for pointers");
  return pool_of<T>().allocate();
#endif
}

template <class T>
void to_pool(void* p) noexcept {
#if defined(__SANITIZE_ADDRESS__)
  ::operator delete(p);
#else
  pool_of<T>().deallocate(p);
#endif
}

}  // namespace

void* Tag::operator new(size_t) { return from_pool<Tag>(); }
void Tag::operator delete(void* p, size_t) noexcept { to_pool<Tag>(p); }
void* TagNode::operator new(size_t) { return from_pool<TagNode>(); }
void TagNode::operator delete(void* p, size_t) noexcept { to_pool<TagNode>(p); }

std::string_view Tag::note() const {
  if (!has_note()) return {};
  return std::string_view(text.get(), static_cast<size_t>(textsize) - 1);
}

std::unique_ptr<Tag> copy_tag(const Tag& tag) {
  auto copy = std::make_unique<Tag>();
  copy->start = tag.start;
  copy->end = tag.end;
  copy->style = tag.style;
  copy->time = tag.time;
  copy->textsize = tag.textsize;
  if (tag.textsize > 0) {
    copy->text = std::make_unique<char[]>(static_cast<size_t>(tag.textsize));
    if (tag.text) std::memcpy(copy->text.get(), tag.text.get(), static_cast<size_t>(tag.textsize));
  }
  return copy;
}

std::unique_ptr<Tag> make_tag(int32_t start, int32_t end, unsigned char style, int32_t time,
                              std::string_view note) {
  auto tag = std::make_unique<Tag>();
  tag->start = start;
  tag->end = end;
  tag->style = style;
  tag->time = time;
  if (!note.empty()) {
    tag->textsize = static_cast<int32_t>(note.size() + 1);
    tag->text = std::make_unique<char[]>(note.size() + 1);  // zero-filled: terminated
    std::memcpy(tag->text.get(), note.data(), note.size());
  }
  return tag;
}

int64_t compare_tags(const Tag& a, const Tag& b) {
  // 64-bit differences: positions far apart must not wrap around to 0.
  if (a.start != b.start) return int64_t{a.start} - b.start;
  if (a.end != b.end) return int64_t{a.end} - b.end;
  return int64_t{b.time} - a.time;
}

// ---------------------------------------------------------------------------------------
// unique_time

namespace {

int32_t system_time() { return static_cast<int32_t>(std::time(nullptr)); }

int32_t (*g_time_source)() = system_time;
int32_t g_last_time = 0;

}  // namespace

void set_time_source(int32_t (*source)()) { g_time_source = source ? source : system_time; }

int32_t clock_time() { return g_time_source(); }

int32_t unique_time() {
  int32_t now = g_time_source();
  while (now == g_last_time) {
    // The clock has one-second steps; a short nap keeps the wait from burning a core.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    now = g_time_source();
  }
  g_last_time = now;
  return now;
}

// ---------------------------------------------------------------------------------------
// Lookup

namespace {

void report_duplicate(const Tag& tag) {
  const std::time_t when = tag.time;
  const char* rendered = std::ctime(&when);
  std::printf("Find duplicate tag! start: %d end: %d\n time %s\n", tag.start, tag.end,
              rendered ? rendered : "");
}

// Does the candidate take over from the best cover so far? The tests run in this order
// and each one is only reached when the earlier ones fail, whatever the list order is.
bool candidate_wins(const Tag& cand, const Tag& best, bool report) {
  if (cand.start > best.start) return true;
  if (cand.end < best.end) return true;
  if (cand.time > best.time) return true;
  if (cand.time == best.time && report) report_duplicate(cand);
  return false;
}

}  // namespace

const TagNode* ruling_node(const TagNode* head, int32_t p, bool report) {
  const TagNode* best = nullptr;
  for (const TagNode* node = head; node; node = node->next.get()) {
    const Tag& cand = *node->tag;
    if (cand.start > p) break;
    if (cand.end <= p) continue;
    if (!best || candidate_wins(cand, *best->tag, report)) best = node;
  }
  return best;
}

// ---------------------------------------------------------------------------------------
// TagList

namespace {

bool goes_before(const Tag& t, const Tag& n) {
  return t.start < n.start || (t.start == n.start && t.end > n.end);
}

bool same_range(const Tag& a, const Tag& b) { return a.start == b.start && a.end == b.end; }

// A range goes strictly before another in list order.
bool range_before(int32_t start, int32_t end, int32_t other_start, int32_t other_end) {
  return start < other_start || (start == other_start && end > other_end);
}

}  // namespace

TagList::TagList(std::optional<std::string> default_path) : path(std::move(default_path)) {
  unique_time();
}

TagList::~TagList() { clear(); }

void TagList::clear() {
  ++generation_;
  drop_blocks();
  style_counts_.fill(0);
  // One node at a time: the default destructor of a long chain would recurse per node.
  while (head_) head_ = std::move(head_->next);
  tail_ = nullptr;
  count_ = 0;
}

void TagList::swap_contents(TagList& other) {
  std::swap(head_, other.head_);
  std::swap(tail_, other.tail_);
  std::swap(count_, other.count_);
  std::swap(top_line, other.top_line);
  std::swap(top_column, other.top_column);
  std::swap(default_style, other.default_style);
  std::swap(style_counts_, other.style_counts_);
  drop_blocks();
  other.drop_blocks();
  // Past both: a lookup table built from either list must see that it changed.
  generation_ = other.generation_ = std::max(generation_, other.generation_) + 1;
  order_known_ = other.order_known_ = false;
}

void TagList::append_tag(std::unique_ptr<Tag> tag) {
  ++generation_;
  drop_blocks();
  count_style(*tag, 1);
  auto node = std::make_unique<TagNode>();
  node->tag = std::move(tag);
  TagNode* raw = node.get();
  if (tail_)
    tail_->next = std::move(node);
  else
    head_ = std::move(node);
  tail_ = raw;
  ++count_;
}

namespace {

// Puts a new node holding tag into slot, in front of the node slot held.
TagNode* link_new(std::unique_ptr<TagNode>& slot, std::unique_ptr<Tag>& tag) {
  auto node = std::make_unique<TagNode>();
  node->tag = std::move(tag);
  node->next = std::move(slot);
  slot = std::move(node);
  return slot.get();
}

}  // namespace

TagNode* TagList::link_tag(std::unique_ptr<TagNode>& slot, std::unique_ptr<Tag>& tag) {
  count_style(*tag, 1);
  ++count_;
  return link_new(slot, tag);
}

int TagList::insert_tag(std::unique_ptr<Tag>& tag) {
  if (!tag) return 0;
  const bool fast = indexed();  // asked before the generation moves: it is this list's order
  ++generation_;
  if (!head_) {
    append_tag(std::move(tag));
    return 1;
  }

  const Tag& t = *tag;
  const Tag& first = *head_->tag;
  if (goes_before(t, first) || (same_range(t, first) && t.time > first.time)) {
    TagNode* node = link_tag(head_, tag);
    if (fast) {
      set_first(0, node);
      linked_into(0, node);
      keep_order_after_insert(node);
    }
    return 1;
  }
  if (same_range(t, first)) {
    if (t.time == first.time) {
      std::fprintf(stderr, "duplicate with the first\n");
      return 0;
    }
    // An older Tag of the first range goes straight behind the first, unless it would
    // become the twin of the one already there.
    const TagNode* second = head_->next.get();
    if (second && same_identity(t, *second->tag)) {
      std::fprintf(stderr, "duplicate \n");
      return 0;
    }
    const bool at_tail = tail_ == head_.get();
    TagNode* node = link_tag(head_->next, tag);
    if (at_tail) tail_ = node;
    if (fast) {
      linked_into(0, node);
      keep_order_after_insert(node);
    }
    return 1;
  }

  // Every node before the place goes strictly before the Tag: the walk may start at any of
  // them, so with the directory it starts in the Tag's block.
  size_t block = 0;
  TagNode* p = fast ? start_before(t.start, t.end, block) : nullptr;
  if (!p) p = head_.get();
  for (;; p = p->next.get()) {
    if (fast && block + 1 < blocks_.size() && p == blocks_[block + 1].first) ++block;
    const TagNode* n = p->next.get();
    if (!n) {
      TagNode* node = link_tag(p->next, tag);
      tail_ = node;
      if (fast) linked_into(block, node);
      return 1;
    }
    const Tag& next = *n->tag;
    if (same_range(t, next) && t.time <= next.time) {
      std::fprintf(stderr, t.time < next.time ? "old memmber can't be inserted now.\n"
                                              : "duplicate \n");
      return 0;
    }
    if (goes_before(t, next) || same_range(t, next)) {
      TagNode* node = link_tag(p->next, tag);
      if (fast) {
        linked_into(block, node);
        keep_order_after_insert(node);
      }
      return 1;
    }
  }
}

TagNode* TagList::find_tag_at(int32_t position) {
  return const_cast<TagNode*>(std::as_const(*this).find_tag_at(position));
}

const TagNode* TagList::find_tag_at(int32_t position) const {
  if (!indexed()) return ruling_node(head_.get(), position, true);
  // In list order the scan meets exactly these covers, in this order.
  std::vector<const TagNode*> covers;
  const TagNode* after = nullptr;
  covering_nodes(position, covers, after);
  const TagNode* best = nullptr;
  for (const TagNode* node : covers)
    if (!best || candidate_wins(*node->tag, *best->tag, true)) best = node;
  return best;
}

const TagNode* TagList::find_identity(const TagIdentity& tag) const {
  if (!indexed()) {
    for (const TagNode* n = head_.get(); n; n = n->next.get())
      if (identity_of(*n->tag) == tag) return n;
    return nullptr;
  }
  size_t block = 0;
  const TagNode* n = start_before(tag.start, tag.end, block);
  for (n = n ? n->next.get() : head_.get(); n; n = n->next.get()) {
    const Tag& x = *n->tag;
    if (identity_of(x) == tag) return n;
    if (range_before(tag.start, tag.end, x.start, x.end)) return nullptr;  // past its place
  }
  return nullptr;
}

void TagList::covering_nodes(int32_t position, std::vector<const TagNode*>& out,
                             const TagNode*& after) const {
  out.clear();
  if (!indexed()) {
    const TagNode* n = head_.get();
    for (; n && n->tag->start <= position; n = n->next.get())
      if (n->tag->end > position) out.push_back(n);
    after = n;
    return;
  }
  // The blocks that start at or before the position; of those, only the ones reaching past
  // it hold covers, and the last one holds the first node starting after it.
  const size_t last = static_cast<size_t>(
      std::partition_point(blocks_.begin(), blocks_.end(),
                           [position](const Block& b) { return b.first_start <= position; }) -
      blocks_.begin());
  after = head_.get();
  for (size_t b = 0; b < last; ++b) {
    const Block& block = blocks_[b];
    const bool final_block = b + 1 == last;
    if (block.max_end <= position && !final_block) continue;
    const TagNode* n = block.first;
    for (uint32_t i = 0; i < block.count && n->tag->start <= position; ++i, n = n->next.get())
      if (n->tag->end > position) out.push_back(n);
    if (final_block) after = n;
  }
}

int64_t TagList::carried_end(int32_t end) const {
  int64_t covered = end;
  if (!indexed()) {
    for (const TagNode* n = head_.get(); n && n->tag->start <= covered; n = n->next.get())
      covered = std::max<int64_t>(covered, n->tag->end);
    return covered;
  }
  for (size_t b = 0; b < blocks_.size(); ++b) {
    const Block& block = blocks_[b];
    if (block.first_start > covered) break;
    // When the next block starts within the stretch, so does every Tag of this one.
    if (b + 1 < blocks_.size() && blocks_[b + 1].first_start <= covered) {
      covered = std::max<int64_t>(covered, block.max_end);
      continue;
    }
    const TagNode* n = block.first;
    for (uint32_t i = 0; i < block.count && n->tag->start <= covered; ++i, n = n->next.get())
      covered = std::max<int64_t>(covered, n->tag->end);
  }
  return covered;
}

void TagList::unlink_after(TagNode* prev) {
  std::unique_ptr<TagNode>& slot = prev ? prev->next : head_;
  if (!slot) return;
  if (slot.get() == tail_) tail_ = prev;
  count_style(*slot->tag, -1);
  slot = std::move(slot->next);
  --count_;
}

int TagList::remove_tag_at(int32_t position) {
  if (indexed()) {
    const TagNode* found = find_tag_at(position);
    if (!found) {
      ++generation_;
      return 0;
    }
    return remove_tag(identity_of(*found->tag));
  }
  TagNode* found = find_tag_at(position);
  ++generation_;  // after the lookup, which keeps its answer about the order per generation
  if (!found) return 0;
  if (found->next) {
    // The successor's Tag moves into the found node; the successor's node goes.
    count_style(*found->tag, -1);
    found->tag = std::move(found->next->tag);
    if (found->next.get() == tail_) tail_ = found;
    found->next = std::move(found->next->next);
    --count_;
    return 1;
  }
  TagNode* prev = nullptr;
  for (TagNode* n = head_.get(); n != found; n = n->next.get()) prev = n;
  unlink_after(prev);
  return 1;
}

int TagList::remove_tag(const TagIdentity& tag) {
  const bool fast = indexed();
  ++generation_;
  size_t block = 0;
  TagNode* prev = fast ? start_before(tag.start, tag.end, block) : nullptr;
  for (TagNode* n = prev ? prev->next.get() : head_.get(); n; prev = n, n = n->next.get()) {
    if (fast && block + 1 < blocks_.size() && n == blocks_[block + 1].first) ++block;
    const Tag& x = *n->tag;
    if (identity_of(x) == tag) {
      if (fast)
        remove_linked(block, prev, n);
      else
        unlink_after(prev);
      return 1;
    }
    if (fast && range_before(tag.start, tag.end, x.start, x.end)) return 0;  // past its place
  }
  return 0;
}

// ---------------------------------------------------------------------------------------
// The directory

bool TagList::indexed() const { return in_order(); }

void TagList::build_blocks() const {
  blocks_.clear();
  for (TagNode* n = head_.get(); n;) {
    Block block{n, n->tag->start, n->tag->end, 0, std::numeric_limits<int32_t>::min()};
    for (; n && block.count < block_nodes_; n = n->next.get()) {
      ++block.count;
      block.max_end = std::max(block.max_end, n->tag->end);
    }
    blocks_.push_back(block);
  }
  blocks_valid_ = true;
}

TagNode* TagList::start_before(int32_t start, int32_t end, size_t& block) const {
  // The blocks whose first Tag goes strictly before the range come first.
  const auto after = std::partition_point(blocks_.begin(), blocks_.end(), [&](const Block& b) {
    return range_before(b.first_start, b.first_end, start, end);
  });
  if (after == blocks_.begin()) {
    block = 0;
    return nullptr;
  }
  block = static_cast<size_t>(after - blocks_.begin()) - 1;
  return blocks_[block].first;
}

void TagList::set_first(size_t block, TagNode* node) {
  Block& b = blocks_[block];
  b.first = node;
  b.first_start = node->tag->start;
  b.first_end = node->tag->end;
}

void TagList::linked_into(size_t block, TagNode* node) {
  if (blocks_.empty()) {
    blocks_.push_back({node, node->tag->start, node->tag->end, 0,
                       std::numeric_limits<int32_t>::min()});
    block = 0;
  }
  Block& b = blocks_[block];
  ++b.count;
  b.max_end = std::max(b.max_end, node->tag->end);
  if (b.count < 2 * block_nodes_) return;
  // Split in halves: the second half starts block_nodes_ nodes in.
  TagNode* half = b.first;
  for (uint32_t i = 0; i < block_nodes_; ++i) half = half->next.get();
  const uint32_t rest = b.count - block_nodes_;
  b.count = block_nodes_;
  blocks_.insert(blocks_.begin() + static_cast<ptrdiff_t>(block) + 1,
                 Block{half, half->tag->start, half->tag->end, rest, 0});
  measure_block(block);
  measure_block(block + 1);
}

void TagList::remove_linked(size_t block, TagNode* prev, TagNode* node) {
  Block& b = blocks_[block];
  const bool widest = node->tag->end >= b.max_end;
  const bool empties = --b.count == 0;
  if (!empties && b.first == node) set_first(block, node->next.get());
  unlink_after(prev);
  if (empties)
    blocks_.erase(blocks_.begin() + static_cast<ptrdiff_t>(block));
  else if (widest)
    measure_block(block);
  // Many removals leave many small blocks: the next lookup builds them anew.
  if (blocks_.size() > 2 * (count_ / block_nodes_) + 16) drop_blocks();
}

void TagList::measure_block(size_t block) {
  Block& b = blocks_[block];
  b.max_end = std::numeric_limits<int32_t>::min();
  const TagNode* n = b.first;
  for (uint32_t i = 0; i < b.count; ++i, n = n->next.get())
    b.max_end = std::max(b.max_end, n->tag->end);
}

// insert_tag keeps starts and ends in order; only a twin of the new Tag's time in its run of
// equal ranges puts the list out of order. That run begins at the new node, or at the head
// when it went behind the head.
void TagList::keep_order_after_insert(const TagNode* node) {
  const Tag& t = *node->tag;
  bool twin = node != head_.get() && same_identity(*head_->tag, t);
  for (const TagNode* n = node->next.get(); n && same_range(*n->tag, t) && !twin;
       n = n->next.get())
    twin = n->tag->time == t.time;
  if (twin) drop_blocks();
}

void TagList::clamp_tags(int32_t low, int32_t high) {
  ++generation_;
  drop_blocks();  // ranges change in place
  TagNode* prev = nullptr;
  TagNode* n = head_.get();
  while (n) {
    Tag& t = *n->tag;
    if (t.start < low) t.start = low;
    if (t.end > high) t.end = high;
    if (t.end <= t.start) {
      unlink_after(prev);
      n = prev ? prev->next.get() : head_.get();
    } else {
      prev = n;
      n = n->next.get();
    }
  }
}

void TagList::clamp_styles(unsigned char low, unsigned char high) {
  if (low > high) return;
  for (TagNode* n = head_.get(); n; n = n->next.get()) {
    unsigned char& style = n->tag->style;
    if (style < low) style = low;
    if (style > high) style = high;
  }
  recount_styles();
}

void TagList::recount_styles() {
  style_counts_.fill(0);
  for (const TagNode* n = head_.get(); n; n = n->next.get()) count_style(*n->tag, 1);
}

bool TagList::is_node(const TagNode* node) const {
  if (!node) return false;
  for (const TagNode* n = head_.get(); n; n = n->next.get())
    if (n == node) return true;
  return false;
}

namespace {

// Times within a run of equal ranges must all differ; their order is free.
bool distinct_times(std::vector<int32_t>& times) {
  if (times.size() < 2) return true;
  bool descending = true;
  for (size_t i = 1; i < times.size() && descending; ++i) descending = times[i] < times[i - 1];
  if (descending) return true;
  std::sort(times.begin(), times.end());
  return std::adjacent_find(times.begin(), times.end()) == times.end();
}

}  // namespace

bool TagList::in_order() const {
  if (blocks_valid_) return true;  // the directory is only kept for a list in order
  if (!order_known_ || order_generation_ != generation_) {
    in_order_ = check_order();
    order_generation_ = generation_;
    order_known_ = true;
  }
  // Made here, on the thread that asks first: a painter on another thread only reads.
  if (in_order_) build_blocks();
  return in_order_;
}

bool TagList::check_order() const {
  std::vector<int32_t> run_times;
  const Tag* prev = nullptr;
  for (const TagNode* n = head_.get(); n; n = n->next.get()) {
    const Tag& t = *n->tag;
    if (prev) {
      if (t.start < prev->start) return false;
      if (t.start == prev->start && t.end > prev->end) return false;
      if (!same_range(t, *prev)) {
        if (!distinct_times(run_times)) return false;
        run_times.clear();
      }
    }
    run_times.push_back(t.time);
    prev = &t;
  }
  return distinct_times(run_times);
}

}  // namespace gm
