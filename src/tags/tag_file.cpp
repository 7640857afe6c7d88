#include "tags/tag_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/platform.h"
#include "platform/save_file.h"

namespace gm {

namespace {

constexpr size_t kHeaderSize = 9;
constexpr size_t kRecordFixedSize = 17;

// A failure line of its own; the ones that carry the system's error text use perror().
void report(const char* message) { std::fprintf(stderr, "%s\n", message); }

const char* chosen_path(const TagList& list, const char* path) {
  if (path) return path;
  return list.path ? list.path->c_str() : nullptr;
}

// ---------------------------------------------------------------------------------------
// Reading

// The whole file in memory; read_error tells whether reading stopped on an error rather
// than at the end of the file.
struct FileBytes {
  std::vector<unsigned char> data;
  bool read_error = false;
};

FileBytes slurp(FILE* file) {
  FileBytes bytes;
  struct stat st {};
  size_t capacity = 1 << 16;
  if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0)
    capacity = static_cast<size_t>(st.st_size) + 1;  // one more byte sees the end at once
  bytes.data.resize(capacity);
  size_t used = 0;
  for (;;) {
    if (used == bytes.data.size()) bytes.data.resize(bytes.data.size() * 2);
    used += std::fread(bytes.data.data() + used, 1, bytes.data.size() - used, file);
    if (used < bytes.data.size()) {  // a short read: the end of the file or an error
      bytes.read_error = std::ferror(file) != 0;
      break;
    }
  }
  bytes.data.resize(used);
  return bytes;
}

class Cursor {
public:
  Cursor(const unsigned char* data, size_t size) : pos_(data), left_(size) {}

  size_t left() const { return left_; }

  bool take(int32_t& value) {
    if (left_ < 4) return false;
    const uint32_t v = uint32_t{pos_[0]} | uint32_t{pos_[1]} << 8 | uint32_t{pos_[2]} << 16 |
                       uint32_t{pos_[3]} << 24;
    value = static_cast<int32_t>(v);
    advance(4);
    return true;
  }
  bool take(unsigned char& value) {
    if (left_ < 1) return false;
    value = pos_[0];
    advance(1);
    return true;
  }
  const unsigned char* take_block(size_t n) {
    if (left_ < n) return nullptr;
    const unsigned char* block = pos_;
    advance(n);
    return block;
  }

private:
  void advance(size_t n) {
    pos_ += n;
    left_ -= n;
  }
  const unsigned char* pos_;
  size_t left_;
};

struct IdentityHash {
  size_t operator()(const TagIdentity& id) const {
    uint64_t h = (uint64_t{static_cast<uint32_t>(id.start)} << 32) ^ static_cast<uint32_t>(id.end);
    h ^= uint64_t{static_cast<uint32_t>(id.time)} * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    return static_cast<size_t>(h ^ (h >> 32));
  }
};

// A note must fit in what is left of the file and end with its zero byte.
bool take_note(Cursor& in, Tag& tag) {
  if (tag.textsize == 0) return true;
  if (tag.textsize < 0 || static_cast<size_t>(tag.textsize) > in.left()) return false;
  const size_t size = static_cast<size_t>(tag.textsize);
  const unsigned char* block = in.take_block(size);
  if (block[size - 1] != 0) return false;
  tag.text.reset(new char[size]);
  std::memcpy(tag.text.get(), block, size);
  return true;
}

int read_header(TagList& list, Cursor& in, bool read_error) {
  const char* fread_message = read_error ? "error fread:" : "invalid tag file. fread:";
  if (!in.take(list.top_line)) {
    report(fread_message);
    list.top_line = 0;
    return -1;
  }
  if (!in.take(list.top_column)) {
    report(fread_message);
    list.top_column = 0;
    return -1;
  }
  if (!in.take(list.default_style)) {
    report("getc:");
    list.default_style = 'A';
    return -1;
  }
  return 0;
}

// Which identities were read already. Records in list order (starts ascending, equal
// starts with descending ends) can only repeat an identity inside the run of their own
// range, so while the file keeps that order only that run is searched; the first record
// out of order, or a very long run, moves everything kept so far into a hash set.
class SeenIdentities {
public:
  explicit SeenIdentities(size_t expected) : expected_(expected) {}

  // True when the identity is new; it is remembered then.
  bool insert(const TagIdentity& id) {
    if (!ordered_) return set_.insert(id).second;
    if (kept_.empty() || starts_run(id)) {
      run_begin_ = kept_.size();
      kept_.push_back(id);
      return true;
    }
    const TagIdentity& last = kept_.back();
    if (id.start == last.start && id.end == last.end && kept_.size() - run_begin_ < kLongRun) {
      for (size_t i = run_begin_; i < kept_.size(); ++i)
        if (kept_[i].time == id.time) return false;
      kept_.push_back(id);
      return true;
    }
    switch_to_set();
    return set_.insert(id).second;
  }

private:
  static constexpr size_t kLongRun = 64;

  bool starts_run(const TagIdentity& id) const {
    const TagIdentity& last = kept_.back();
    return id.start > last.start || (id.start == last.start && id.end < last.end);
  }

  void switch_to_set() {
    ordered_ = false;
    set_.reserve(std::max(expected_, kept_.size() + 1));
    set_.insert(kept_.begin(), kept_.end());
    kept_ = {};
  }

  size_t expected_;
  bool ordered_ = true;
  std::vector<TagIdentity> kept_;  // in file order, while the file is in order
  size_t run_begin_ = 0;        // where the run of the last kept range begins in kept_
  std::unordered_set<TagIdentity, IdentityHash> set_;
};

int read_records(TagList& list, Cursor& in, bool read_error) {
  SeenIdentities seen(in.left() / kRecordFixedSize);
  for (;;) {
    auto tag = std::make_unique<Tag>();
    if (!in.take(tag->start)) {
      if (!read_error) return 0;  // the end of the file, also inside start: complete
      report("fread start");
      return -1;
    }
    const char* failure = nullptr;
    if (!in.take(tag->end))
      failure = "fread end";
    else if (!in.take(tag->style))
      failure = "fread style";
    else if (!in.take(tag->time))
      failure = "fread time";
    else if (!in.take(tag->textsize))
      failure = "fread textsize";
    else if (!take_note(in, *tag))
      failure = "fread tag text";
    if (failure) {
      report(failure);
      return -1;
    }
    // Twins would make the lookup ambiguous; the first record of an identity is kept.
    if (!seen.insert(identity_of(*tag))) {
      std::fprintf(stderr, "skip duplicate tag record start: %d end: %d\n", tag->start,
                   tag->end);
      continue;
    }
    list.append_tag(std::move(tag));
  }
}

int read_tags(TagList& list, const unsigned char* data, size_t size, bool read_error) {
  Cursor in(data, size);
  if (read_header(list, in, read_error) != 0) return -1;
  return read_records(list, in, read_error);
}

// ---------------------------------------------------------------------------------------
// Writing

void put_i32(std::vector<char>& out, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                         static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
  out.insert(out.end(), bytes, bytes + 4);
}

size_t note_bytes(const Tag& tag) { return tag.textsize > 0 ? size_t(tag.textsize) : 0; }

std::vector<char> encode_records(const TagList& list) {
  size_t total = kHeaderSize;
  for (const TagNode* n = list.head(); n; n = n->next.get())
    total += kRecordFixedSize + note_bytes(*n->tag);
  std::vector<char> out;
  out.reserve(total);
  put_i32(out, list.top_line);
  put_i32(out, list.top_column);
  out.push_back(static_cast<char>(list.default_style));
  for (const TagNode* n = list.head(); n; n = n->next.get()) {
    const Tag& t = *n->tag;
    put_i32(out, t.start);
    put_i32(out, t.end);
    out.push_back(static_cast<char>(t.style));
    put_i32(out, t.time);
    put_i32(out, t.textsize);
    const size_t size = note_bytes(t);
    if (size == 0) continue;
    if (t.text)
      out.insert(out.end(), t.text.get(), t.text.get() + size);
    else
      out.resize(out.size() + size, '\0');
  }
  return out;
}

// The message and the reset of the field in which a write stopped after `written` bytes.
void report_write_failure(TagList& list, size_t written) {
  if (written < 4) {
    report("fwrite:");
    list.top_line = 0;
    return;
  }
  if (written < 8) {
    report("fwrite:");
    list.top_column = 0;
    return;
  }
  if (written < kHeaderSize) {
    report("putc");
    list.default_style = 'A';
    return;
  }
  size_t offset = kHeaderSize;
  for (const TagNode* n = list.head(); n; n = n->next.get()) {
    offset += kRecordFixedSize;
    if (written < offset) break;
    offset += note_bytes(*n->tag);
    if (written < offset) {
      report("fwrite tag text");
      return;
    }
  }
  report("fwrite");
}

// The line of the step at which saving stopped.
void report_save_failure(TagList& list, const SaveResult& result) {
  errno = result.error;
  switch (result.step) {
    case SaveStep::create:
      std::perror("fopen");
      return;
    case SaveStep::copy:
      std::fprintf(stderr, "cannot keep a recovery copy at %s: %s\n", result.copy_path.c_str(),
                   std::strerror(result.error));
      return;
    case SaveStep::write:
      report_write_failure(list, result.written);
      return;
    case SaveStep::fsync:
      std::perror("fsync");
      return;
    case SaveStep::rename:
      std::perror("rename");
      return;
  }
}

}  // namespace

int read_tag_file(TagList& list, const char* path) {
  const char* name = chosen_path(list, path);
  if (!name) {
    std::fprintf(stderr, "filename should not be NULL\n");
    return -1;
  }
  list.clear();
  FILE* file = open_path(name, "rb");
  if (!file) {
    std::perror("fopen:");
    return -1;
  }
  const FileBytes bytes = slurp(file);
  std::fclose(file);

  return read_tags(list, bytes.data.data(), bytes.data.size(), bytes.read_error);
}

int read_tag_data(TagList& list, const char* data, size_t size) {
  list.clear();
  return read_tags(list, reinterpret_cast<const unsigned char*>(data), size, false);
}

std::vector<char> encode_tag_file(const TagList& list) { return encode_records(list); }

int write_tag_file(TagList& list, const char* path, std::vector<char>* written) {
  const char* name = chosen_path(list, path);
  if (!name) return -1;
  std::vector<char> bytes = encode_tag_file(list);
  const SaveResult result = save_file(name, bytes.data(), bytes.size());
  const bool all_written =
      result.ok() || result.step == SaveStep::fsync || result.step == SaveStep::rename;
  if (all_written && list.empty()) std::fprintf(stderr, "Warning: NULL list\n");
  if (result.ok()) {
    if (written) *written = std::move(bytes);
    return 0;
  }
  report_save_failure(list, result);
  return -1;
}

}  // namespace gm
