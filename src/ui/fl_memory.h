// Text that the toolkit hands out from malloc (Fl_Text_Buffer::text(), selection_text(),
// text_range()) goes straight into a holder that frees it.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

namespace gm {

struct FreeWithFree {
  void operator()(char* p) const { std::free(p); }
};

using ToolkitText = std::unique_ptr<char, FreeWithFree>;

// A copy of `length` bytes of the toolkit's text, which is then freed.
inline std::string take_text(char* text, size_t length) {
  const ToolkitText holder(text);
  return text ? std::string(text, length) : std::string();
}

}  // namespace gm
