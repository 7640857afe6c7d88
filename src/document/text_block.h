// A document's text in one block from malloc, always followed by a zero byte: the form in
// which the text buffer can show it where it lies, so that the program holds the text once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

namespace gm {

class TextBlock {
 public:
  TextBlock() = default;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  size_t capacity() const { return capacity_; }
  // Null until the first reserve or resize; then size() bytes and a zero.
  char* data() { return bytes_.get(); }
  const char* data() const { return bytes_.get(); }
  char& operator[](size_t i) { return bytes_.get()[i]; }
  char back() const { return bytes_.get()[size_ - 1]; }
  std::string_view view() const { return {bytes_.get(), size_}; }

  // Room for `capacity` bytes and the zero; std::bad_alloc when there is none.
  void reserve(size_t capacity) {
    if (capacity > capacity_ || !bytes_) grow_to(capacity);
  }
  // Bytes added are left as they are, not cleared: they are about to be written.
  void resize(size_t size) {
    if (size > capacity_ || !bytes_)
      grow_to(size > capacity_ ? std::max(size, capacity_ * 2) : size);
    size_ = size;
    bytes_.get()[size_] = '\0';
  }
  void swap(TextBlock& other) noexcept {
    bytes_.swap(other.bytes_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

 private:
  struct Free {
    void operator()(char* p) const { std::free(p); }
  };

  void grow_to(size_t capacity) {
    if (capacity + 1 == 0) throw std::bad_alloc();
    char* grown = static_cast<char*>(std::realloc(bytes_.get(), capacity + 1));
    if (!grown) throw std::bad_alloc();
    (void)bytes_.release();
    bytes_.reset(grown);
    capacity_ = capacity;
    grown[size_] = '\0';
  }

  std::unique_ptr<char, Free> bytes_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace gm
