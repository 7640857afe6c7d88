// Helpers for the tag model tests: a clock that never makes unique_time() wait, and
// compact ways to build and look at lists.
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "tags/tag.h"
#include "tags/tag_document.h"

namespace gm {
// Reaches inside a TagDocument: Tags and records put in place without being a change, as a
// tag file or a broken history would leave them.
struct TagDocumentTestAccess {
  static TagList& list(TagDocument& d) { return d.list_; }
  static TagHistory& history(TagDocument& d) { return *d.history_; }
  static void replace_history(TagDocument& d, int32_t limit) {
    d.history_ = std::make_unique<TagHistory>(limit);
  }
  static void set_unsaved(TagDocument& d, bool unsaved) { d.unsaved_ = unsaved; }
};
}  // namespace gm

namespace gm::test {

// Every read of this clock is a new second, so TagLists can be made without waiting.
class CountingClock {
public:
  CountingClock() { set_time_source(&tick); }
  ~CountingClock() { set_time_source(nullptr); }
  CountingClock(const CountingClock&) = delete;
  CountingClock& operator=(const CountingClock&) = delete;

private:
  static int32_t tick() {
    static int32_t now = 1'500'000'000;
    return ++now;
  }
};

struct TagRecord {
  int32_t start, end, time;
  unsigned char style = 'B';
  std::string note = {};
};

inline std::unique_ptr<Tag> tag_of(const TagRecord& s) {
  return make_tag(s.start, s.end, s.style, s.time, s.note);
}

// In the given order, as a tag file would bring them in.
inline void append_all(TagList& list, const std::vector<TagRecord>& records) {
  for (const TagRecord& s : records) list.append_tag(tag_of(s));
}

using Identity = std::tuple<int32_t, int32_t, int32_t>;

inline std::vector<Identity> identities(const TagList& list) {
  std::vector<Identity> out;
  for (const TagNode* n = list.head(); n; n = n->next.get())
    out.emplace_back(n->tag->start, n->tag->end, n->tag->time);
  return out;
}

}  // namespace gm::test
