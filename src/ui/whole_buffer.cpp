#include "ui/whole_buffer.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace gm {

namespace {
struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};
}  // namespace

void WholeBuffer::replace_all(int length, const std::function<void(char*)>& fill) {
  const int deleted = mLength;
  call_predelete_callbacks(0, deleted);

  // The callbacks read the deleted text: close the gap behind it and end it with a zero, so
  // the old block itself can be handed to them instead of a copy.
  if (mGapEnd == mGapStart) reallocate_with_gap(mLength, 1);
  move_gap(mLength);
  mBuf[mLength] = '\0';
  std::unique_ptr<char, FreeDeleter> fresh(
      static_cast<char*>(std::malloc(static_cast<size_t>(length) + mPreferredGapSize)));
  if (!fresh) throw std::bad_alloc();
  fill(fresh.get());
  std::unique_ptr<char, FreeDeleter> old_text(mBuf);
  mBuf = fresh.release();
  mLength = length;
  mGapStart = length;
  mGapEnd = length + mPreferredGapSize;
  mCursorPosHint = 0;
  update_selections(0, deleted, 0);
  call_modify_callbacks(0, deleted, length, 0, old_text.get());
}

void WholeBuffer::replace_all(const char* source, int length) {
  replace_all(length, [source, length](char* to) { std::memcpy(to, source, length); });
}

}  // namespace gm
