#include "tags/tag_index.h"

#include <algorithm>
#include <limits>

namespace gm {

namespace {

constexpr int32_t kNoEnd = std::numeric_limits<int32_t>::min();  // never past a position

bool same_range(const Tag& a, const Tag& b) { return a.start == b.start && a.end == b.end; }

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

  nodes_.reserve(list.size());
  for (const TagNode* n = list.head(); n; n = n->next.get()) nodes_.push_back(n);
  starts_.reserve(nodes_.size());
  for (const TagNode* n : nodes_) starts_.push_back(n->tag->start);

  // Equal ranges sit together in an ordered list; the lookup takes the newest of them
  // (the first one on a tie, which an ordered list never has).
  newest_.resize(nodes_.size());
  for (size_t run = 0; run < nodes_.size();) {
    size_t end = run + 1;
    size_t best = run;
    while (end < nodes_.size() && same_range(*nodes_[end]->tag, *nodes_[run]->tag)) {
      if (nodes_[end]->tag->time > nodes_[best]->tag->time) best = end;
      ++end;
    }
    std::fill(newest_.begin() + static_cast<ptrdiff_t>(run),
              newest_.begin() + static_cast<ptrdiff_t>(end), static_cast<uint32_t>(best));
    run = end;
  }

  leaves_ = 1;
  while (leaves_ < nodes_.size()) leaves_ *= 2;
  max_end_.assign(2 * leaves_, kNoEnd);
  for (size_t i = 0; i < nodes_.size(); ++i) max_end_[leaves_ + i] = nodes_[i]->tag->end;
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
