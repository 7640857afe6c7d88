// Internal to src/tags: the lookup rule of find_tag_at() without its side effects, for
// the painter, which must give the same answer for every list order.
#pragma once

#include <cstdint>

#include "tags/tag.h"

namespace gm {

// The Tag that rules position p: scans from head, stops at the first Tag starting after p,
// and settles competing covers by later start, then earlier end, then newer time.
// With report set, an equal-time tie is printed as an inconsistent list.
const TagNode* ruling_node(const TagNode* head, int32_t p, bool report);

}  // namespace gm
