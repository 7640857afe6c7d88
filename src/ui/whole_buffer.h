// A text buffer that can take a whole new content in one pass, and rewrite bytes in place.
// The toolkit's own text() copies the old content for its callbacks, measures the new one
// with strlen and copies it again; for a 100 MB document with its style buffer that is
// several needless passes and one needless copy held in memory at the peak. Its replace()
// first moves the gap to the place of the change, which costs the distance from the last
// change: up to the whole document for one tag.
#pragma once

#include <FL/Fl_Text_Buffer.H>

#include <functional>
#include <memory>

#include "document/text_block.h"
#include "ui/fl_memory.h"

namespace gm {

class WholeBuffer : public Fl_Text_Buffer {
public:
  // No undo copies: the toolkit would otherwise keep every deleted stretch forever.
  WholeBuffer();
  ~WholeBuffer();
  WholeBuffer(const WholeBuffer&) = delete;
  WholeBuffer& operator=(const WholeBuffer&) = delete;

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
  // The same with a text that others read too (the document's): its bytes become the content
  // where they lie, kept alive by the buffer and never written or freed by it. Any other
  // change first gives the buffer a copy of its own.
  void replace_all(std::shared_ptr<const TextBlock> text);

  // Changes that the toolkit makes without telling beforehand; the others (remove, replace,
  // text) announce themselves to the buffer, which then takes a copy of a shared text.
  void insert(int pos, const char* text);
  void append(const char* text) { insert(length(), text); }

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
  // The old content, alive until the callbacks have read it.
  struct OldContent {
    ToolkitText owned;
    std::shared_ptr<const TextBlock> shared;
  };
  // The block becomes the content as it is; answers the old memory.
  OldContent take_block(Block block);
  // The old content's bytes for the modify callbacks, ended with a zero, then the old
  // content taken out of the buffer.
  const char* close_content();
  OldContent release_content();
  // Replaces the whole content by what `install` puts in place, announced as one change.
  void replace_content(int inserted, const std::function<OldContent()>& install);
  // A shared text becomes a copy of the buffer's own before the toolkit changes it.
  void own_content();
  static void before_delete(int pos, int deleted, void* buffer);

  std::shared_ptr<const TextBlock> shared_;  // the content's owner when it is a shared text
  bool replacing_ = false;                    // inside replace_all: no copy wanted
};

// What shows a document, had before the document on screen gives way: its text, shown where
// it lies, and the room for its styles.
struct DocumentBlocks {
  std::shared_ptr<const TextBlock> text;
  WholeBuffer::Block styles;
};

}  // namespace gm
