#include "tags/tag_ref.h"

namespace gm {

TagRef ref_to(const TagList& tags, const TagNode* node) {
  if (!node) return {};
  return TagRef{node, identity_of(*node->tag), tags.generation()};
}

const TagNode* find_live(const TagList& tags, const TagRef& ref) {
  if (!ref.node) return nullptr;
  if (ref.generation == tags.generation()) return ref.node;
  const auto holds_it = [&ref](const TagNode* n) { return identity_of(*n->tag) == ref.tag; };
  if (tags.is_node(ref.node) && holds_it(ref.node)) return ref.node;
  for (const TagNode* n = tags.head(); n; n = n->next.get()) {
    if (holds_it(n)) return n;
  }
  return nullptr;
}

}  // namespace gm
