#include "ui/whole_buffer.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace gm {

namespace {

// Eight bytes at a time: a long tagged stretch is compared at memory speed.
const char* first_other(const char* p, const char* end, char byte) {
  uint64_t pattern;
  std::memset(&pattern, byte, sizeof pattern);
  for (uint64_t word; end - p >= 8; p += 8) {
    std::memcpy(&word, p, 8);
    if (word != pattern) break;
  }
  while (p < end && *p == byte) ++p;
  return p;
}

// The last byte in [begin, end) that is not `byte`, or null.
const char* last_other(const char* begin, const char* end, char byte) {
  uint64_t pattern;
  std::memset(&pattern, byte, sizeof pattern);
  for (uint64_t word; end - begin >= 8; end -= 8) {
    std::memcpy(&word, end - 8, 8);
    if (word != pattern) break;
  }
  while (end > begin && end[-1] == byte) --end;
  return end > begin ? end - 1 : nullptr;
}

}  // namespace

namespace {
// The room behind the bytes of a new block: the toolkit's own default, less where the gap's
// end, an int like every position, would pass INT_MAX.
int gap_room(int length) { return std::min(1024, INT_MAX - length); }
}  // namespace

WholeBuffer::WholeBuffer() : Fl_Text_Buffer(0, 1024) {
  canUndo(0);
  add_predelete_callback(before_delete, this);
}

WholeBuffer::~WholeBuffer() {
  // The toolkit frees its content; a shared text is not its to free.
  if (shared_) mBuf = nullptr;
}

WholeBuffer::Block WholeBuffer::make_block(int length) {
  const size_t size = static_cast<size_t>(length) + static_cast<size_t>(gap_room(length));
  Block block{ToolkitText(static_cast<char*>(std::malloc(size))), length};
  if (!block.bytes) throw std::bad_alloc();
  return block;
}

WholeBuffer::OldContent WholeBuffer::release_content() {
  OldContent old;
  if (shared_) {
    old.shared = std::move(shared_);
    shared_.reset();
  } else {
    old.owned.reset(mBuf);
  }
  mBuf = nullptr;
  return old;
}

WholeBuffer::OldContent WholeBuffer::take_block(Block block) {
  OldContent old = release_content();
  mBuf = block.bytes.release();
  mLength = block.length;
  mGapStart = block.length;
  mGapEnd = block.length + gap_room(block.length);
  mCursorPosHint = 0;
  return old;
}

const char* WholeBuffer::close_content() {
  if (shared_) return mBuf;  // a shared text ends in a zero of its own, where the empty gap is
  if (mGapEnd == mGapStart) reallocate_with_gap(mLength, 1);
  move_gap(mLength);
  mBuf[mLength] = '\0';
  return mBuf;
}

void WholeBuffer::replace_content(int inserted, const std::function<OldContent()>& install) {
  const int deleted = mLength;
  replacing_ = true;
  call_predelete_callbacks(0, deleted);
  replacing_ = false;
  // The callbacks read the deleted text: the old block itself is handed to them instead of
  // a copy, and freed after them.
  const char* old_bytes = close_content();
  const OldContent old = install();
  update_selections(0, deleted, 0);
  call_modify_callbacks(0, deleted, inserted, 0, old_bytes);
}

void WholeBuffer::replace_all(Block block) {
  const int inserted = block.length;
  replace_content(inserted, [&] { return take_block(std::move(block)); });
}

void WholeBuffer::replace_all(std::shared_ptr<const TextBlock> text) {
  if (!text || !text->data()) return replace_all("", 0);
  const int inserted = static_cast<int>(text->size());
  replace_content(inserted, [&] {
    OldContent old = release_content();
    // Read only: the gap is empty and stays at the end until a change takes a copy.
    mBuf = const_cast<char*>(text->data());
    mLength = inserted;
    mGapStart = inserted;
    mGapEnd = inserted;
    mCursorPosHint = 0;
    shared_ = std::move(text);
    return old;
  });
}

void WholeBuffer::own_content() {
  if (!shared_) return;
  Block copy = make_block(mLength);
  std::memcpy(copy.bytes.get(), mBuf, static_cast<size_t>(mLength));
  take_block(std::move(copy));
}

void WholeBuffer::before_delete(int, int, void* buffer) {
  auto* self = static_cast<WholeBuffer*>(buffer);
  if (!self->replacing_) self->own_content();
}

void WholeBuffer::insert(int pos, const char* text) {
  own_content();
  Fl_Text_Buffer::insert(pos, text);
}

void WholeBuffer::discard_quietly() {
  try {
    take_block(make_block(0));
  } catch (const std::bad_alloc&) {
    // Nothing given up, nothing lost.
  }
}

void WholeBuffer::restore_quietly(Block block) { take_block(std::move(block)); }

void WholeBuffer::replace_all(int length, const std::function<void(char*)>& fill) {
  Block block = make_block(length);
  fill(block.bytes.get());
  replace_all(std::move(block));
}

void WholeBuffer::replace_all(const char* source, int length) {
  replace_all(length, [source, length](char* to) { std::memcpy(to, source, length); });
}

void WholeBuffer::overwrite(int pos, const char* bytes, int count) {
  call_predelete_callbacks(pos, count);
  // The callbacks get the old bytes, as replace() gives them (with a closing zero).
  const ToolkitText old_bytes(text_range(pos, pos + count));
  // Before the gap, after it, or on both sides.
  const int gap = mGapEnd - mGapStart;
  const int before = pos < mGapStart ? std::min(count, mGapStart - pos) : 0;
  std::memcpy(mBuf + pos, bytes, static_cast<size_t>(before));
  std::memcpy(mBuf + pos + before + gap, bytes + before, static_cast<size_t>(count - before));
  mCursorPosHint = pos + count;
  // As replace() moves them: out for the removal, back in for the insertion.
  update_selections(pos, count, 0);
  update_selections(pos, 0, count);
  call_modify_callbacks(pos, count, count, 0, old_bytes.get());
}

int WholeBuffer::find_other(int from, int to, char byte) const {
  const int gap = mGapEnd - mGapStart;
  if (from < mGapStart) {
    const int stop = std::min(to, mGapStart);
    const char* found = first_other(mBuf + from, mBuf + stop, byte);
    if (found < mBuf + stop) return static_cast<int>(found - mBuf);
    from = stop;
  }
  if (from >= to) return to;
  const char* base = mBuf + gap;  // position p lives at base + p after the gap
  return static_cast<int>(first_other(base + from, base + to, byte) - base);
}

int WholeBuffer::rfind_other(int from, int to, char byte) const {
  const int gap = mGapEnd - mGapStart;
  if (to > mGapStart) {
    const int stop = std::max(from, mGapStart);
    const char* base = mBuf + gap;
    if (const char* found = last_other(base + stop, base + to, byte))
      return static_cast<int>(found - base);
    to = stop;
  }
  if (from >= to) return from - 1;
  const char* found = last_other(mBuf + from, mBuf + to, byte);
  return found ? static_cast<int>(found - mBuf) : from - 1;
}

}  // namespace gm
