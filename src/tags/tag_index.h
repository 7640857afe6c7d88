// A lookup table over the TagList for the hover tips, which ask "which Tag rules this
// position?" ten times a second: find_tag_at walks the whole list for a position near the
// end of a big document, the table answers the same in logarithmic time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tags/tag.h"

namespace gm {

class TagIndex {
 public:
  // The node find_tag_at(position) answers for this list, or null. The table is rebuilt
  // first when the list changed since the last call (or is another list). A list out of
  // order, as a damaged tag file can leave it, is scanned by find_tag_at itself: its answer
  // then depends on where the scan stops, which no table reproduces cheaply.
  const TagNode* find(const TagList& list, int32_t position);

  bool built_for(const TagList& list) const {
    return list_ == &list && generation_ == list.generation();
  }

 private:
  void rebuild(const TagList& list);
  // The last node at or before `last` whose range reaches past position, or -1.
  ptrdiff_t last_cover(size_t last, int32_t position) const;

  const TagList* list_ = nullptr;
  uint64_t generation_ = 0;
  bool ordered_ = false;
  std::vector<const TagNode*> nodes_;  // in list order
  std::vector<int32_t> starts_;        // ascending, as the list order has them
  std::vector<uint32_t> newest_;       // per node: the newest node of its equal-range run
  std::vector<int32_t> max_end_;       // max-tree over the ends; leaves from leaves_ on
  size_t leaves_ = 0;
};

}  // namespace gm
