// A text buffer that can take a whole new content in one pass. The toolkit's own text()
// copies the old content for its callbacks, measures the new one with strlen and copies it
// again; for a 100 MB document with its style buffer that is several needless passes and
// one needless copy held in memory at the peak.
#pragma once

#include <FL/Fl_Text_Buffer.H>

#include <functional>

namespace gm {

class WholeBuffer : public Fl_Text_Buffer {
public:
  // No undo copies: the toolkit would otherwise keep every deleted stretch forever.
  WholeBuffer() : Fl_Text_Buffer(0, 1024) { canUndo(0); }

  // Replaces the whole content with `length` bytes that `fill` writes in place (it must write
  // all of them). The modify callbacks see one change: the old length deleted (its text
  // readable as usual), the new one inserted. Selections are cleared as text() clears them.
  void replace_all(int length, const std::function<void(char*)>& fill);
  // The same with a copy of `length` bytes from `source` (zero bytes included).
  void replace_all(const char* source, int length);
};

}  // namespace gm
