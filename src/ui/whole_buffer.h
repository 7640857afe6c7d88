// A text buffer that can take a whole new content in one pass, and rewrite bytes in place.
// The toolkit's own text() copies the old content for its callbacks, measures the new one
// with strlen and copies it again; for a 100 MB document with its style buffer that is
// several needless passes and one needless copy held in memory at the peak. Its replace()
// first moves the gap to the place of the change, which costs the distance from the last
// change: up to the whole document for one tag.
#pragma once

#include <FL/Fl_Text_Buffer.H>

#include <functional>

#include "ui/fl_memory.h"

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

  // Content made elsewhere (on another thread, say) for replace_all to take over: a block
  // from malloc with room for the gap behind its bytes.
  struct Block {
    ToolkitText bytes;
    int length = 0;
  };
  static Block make_block(int length);
  // The same as replace_all with the block's bytes, which become the content as they are.
  void replace_all(Block block);

  // Gives up the content's memory without telling anyone, leaving the buffer empty: only for
  // content that can be made again (styles painted from the Tags), and only until the next
  // replace_all or restore_quietly, which must come before the buffer is drawn. Keeps the
  // content when even the empty buffer finds no memory.
  void discard_quietly();
  // What discard_quietly gave up, made again: the block becomes the content, unannounced.
  void restore_quietly(Block block);

  // What replace(pos, pos + count, bytes) does when bytes holds count bytes, with the same
  // notifications and selection updates, but written where the bytes are: the gap stays put.
  // The range must lie within the buffer.
  void overwrite(int pos, const char* bytes, int count);

  // The first position in [from, to) whose byte is not `byte`, or `to`; and the last one,
  // or from - 1. The range must lie within the buffer.
  int find_other(int from, int to, char byte) const;
  int rfind_other(int from, int to, char byte) const;

private:
  // The block becomes the content as it is; answers the old memory.
  ToolkitText take_block(Block block);
};

// The two blocks that show a document, made before the document on screen gives way.
struct DocumentBlocks {
  WholeBuffer::Block text;
  WholeBuffer::Block styles;
};

}  // namespace gm
