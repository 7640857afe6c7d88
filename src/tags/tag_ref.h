// A Tag remembered across changes of the TagList, for lists that show Tags and searches that
// go on where they stopped.
#pragma once

#include <cstdint>

#include "tags/tag.h"

namespace gm {

// The node is only a hint: it is followed while the list is unchanged, or while it is still
// in the list and still holds the same Tag (remove_tag_at moves the next Tag into the node it
// empties); otherwise the Tag is looked up anew by its identity.
struct TagRef {
  const TagNode* node = nullptr;  // none: no Tag
  TagIdentity tag;
  uint64_t generation = 0;  // of the list when the reference was taken
};

TagRef ref_to(const TagList& tags, const TagNode* node);
// The live node that holds the Tag, or none when the Tag is gone.
const TagNode* find_live(const TagList& tags, const TagRef& ref);

}  // namespace gm
