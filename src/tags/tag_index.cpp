#include "tags/tag_index.h"

#include <algorithm>
#include <limits>

namespace gm {

namespace {

constexpr int32_t kNoEnd = std::numeric_limits<int32_t>::min();  // never past a position

}  // namespace

void TagIndex::rebuild(const TagList& list) {
  list_ = &list;
  generation_ = list.generation();
  ordered_ = list.in_order();
  nodes_.clear();
  starts_.clear();
  newest_.clear();
  max_end_.clear();
  leaves_ = 0;
  if (!ordered_) return;

  // One walk reads every field the table needs: the Tags lie all over memory, and each
  // further pass over them would cost as much as the first.
  std::vector<int32_t> ends;
  std::vector<int32_t> times;
  nodes_.reserve(list.size());
  starts_.reserve(list.size());
  ends.reserve(list.size());
  times.reserve(list.size());
  for (const TagNode* n = list.head(); n; n = n->next.get()) {
    const Tag& t = *n->tag;
    nodes_.push_back(n);
    starts_.push_back(t.start);
    ends.push_back(t.end);
    times.push_back(t.time);
  }
  const size_t count = nodes_.size();

  // Equal ranges sit together in an ordered list; the lookup takes the newest of them
  // (the first one on a tie, which an ordered list never has).
  newest_.resize(count);
  for (size_t run = 0; run < count;) {
    size_t end = run + 1;
    size_t best = run;
    while (end < count && starts_[end] == starts_[run] && ends[end] == ends[run]) {
      if (times[end] > times[best]) best = end;
      ++end;
    }
    std::fill(newest_.begin() + static_cast<ptrdiff_t>(run),
              newest_.begin() + static_cast<ptrdiff_t>(end), static_cast<uint32_t>(best));
    run = end;
  }

  leaves_ = 1;
  while (leaves_ < count) leaves_ *= 2;
  max_end_.assign(2 * leaves_, kNoEnd);
  std::copy(ends.begin(), ends.end(), max_end_.begin() + static_cast<ptrdiff_t>(leaves_));
  for (size_t i = leaves_ - 1; i > 0; --i)
    max_end_[i] = std::max(max_end_[2 * i], max_end_[2 * i + 1]);
}

ptrdiff_t TagIndex::last_cover(size_t last, int32_t position) const {
  // Up from the leaf, looking into each left sibling: the first one that holds a cover
  // holds the last cover before the leaf; then down along its rightmost covering side.
  size_t node = leaves_ + last;
  if (max_end_[node] <= position) {
    for (;;) {
      if (node == 1) return -1;
      if (node % 2 == 1 && max_end_[node - 1] > position) {
        --node;
        break;
      }
      node /= 2;
    }
  }
  while (node < leaves_) node = max_end_[2 * node + 1] > position ? 2 * node + 1 : 2 * node;
  return static_cast<ptrdiff_t>(node - leaves_);
}

const TagNode* TagIndex::find(const TagList& list, int32_t position) {
  if (!built_for(list)) rebuild(list);
  if (!ordered_) return list.find_tag_at(position);

  // In list order the covering Tag that starts last, then ends first, is the last cover
  // among the Tags that start at or before the position.
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), position);
  if (after == starts_.begin()) return nullptr;
  const ptrdiff_t cover = last_cover(static_cast<size_t>(after - starts_.begin() - 1), position);
  if (cover < 0) return nullptr;
  return nodes_[newest_[static_cast<size_t>(cover)]];
}

}  // namespace gm
