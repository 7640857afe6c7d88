#include "tags/tag.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "tags/tag_lookup.h"

namespace gm {

// ---------------------------------------------------------------------------------------
// Tag

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

TagList::TagList(std::optional<std::string> default_path) : path(std::move(default_path)) {
  unique_time();
}

TagList::~TagList() { clear(); }

void TagList::clear() {
  ++generation_;
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
  // Past both: a lookup table built from either list must see that it changed.
  generation_ = other.generation_ = std::max(generation_, other.generation_) + 1;
  order_known_ = other.order_known_ = false;
}

void TagList::append_tag(std::unique_ptr<Tag> tag) {
  ++generation_;
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

bool goes_before(const Tag& t, const Tag& n) {
  return t.start < n.start || (t.start == n.start && t.end > n.end);
}

bool same_range(const Tag& a, const Tag& b) { return a.start == b.start && a.end == b.end; }

}  // namespace

int TagList::insert_tag(std::unique_ptr<Tag>& tag) {
  if (!tag) return 0;
  ++generation_;
  if (!head_) {
    append_tag(std::move(tag));
    return 1;
  }

  const Tag& t = *tag;
  const Tag& first = *head_->tag;
  if (goes_before(t, first) || (same_range(t, first) && t.time > first.time)) {
    link_new(head_, tag);
    ++count_;
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
    TagNode* node = link_new(head_->next, tag);
    if (at_tail) tail_ = node;
    ++count_;
    return 1;
  }

  for (TagNode* p = head_.get();; p = p->next.get()) {
    const TagNode* n = p->next.get();
    if (!n) {
      append_tag(std::move(tag));
      return 1;
    }
    const Tag& next = *n->tag;
    if (same_range(t, next) && t.time <= next.time) {
      std::fprintf(stderr, t.time < next.time ? "old memmber can't be inserted now.\n"
                                              : "duplicate \n");
      return 0;
    }
    if (goes_before(t, next) || same_range(t, next)) {
      link_new(p->next, tag);
      ++count_;
      return 1;
    }
  }
}

TagNode* TagList::find_tag_at(int32_t position) {
  return const_cast<TagNode*>(ruling_node(head_.get(), position, true));
}

const TagNode* TagList::find_tag_at(int32_t position) const {
  return ruling_node(head_.get(), position, true);
}

void TagList::unlink_after(TagNode* prev) {
  std::unique_ptr<TagNode>& slot = prev ? prev->next : head_;
  if (!slot) return;
  if (slot.get() == tail_) tail_ = prev;
  slot = std::move(slot->next);
  --count_;
}

int TagList::remove_tag_at(int32_t position) {
  ++generation_;
  TagNode* found = find_tag_at(position);
  if (!found) return 0;
  if (found->next) {
    // The successor's Tag moves into the found node; the successor's node goes.
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
  ++generation_;
  TagNode* prev = nullptr;
  for (TagNode* n = head_.get(); n; prev = n, n = n->next.get()) {
    if (identity_of(*n->tag) == tag) {
      unlink_after(prev);
      return 1;
    }
  }
  return 0;
}

void TagList::clamp_tags(int32_t low, int32_t high) {
  ++generation_;
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
  if (!order_known_ || order_generation_ != generation_) {
    in_order_ = check_order();
    order_generation_ = generation_;
    order_known_ = true;
  }
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
