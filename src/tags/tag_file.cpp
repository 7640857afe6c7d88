#include "tags/tag_file.h"

#include <FL/fl_utf8.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "tags/tag_file_faults.h"

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

// UTF-8 names go through the toolkit, which knows how the system wants them; others are
// taken as bytes of the local code page.
FILE* open_file(const char* path, const char* mode) {
  if (fl_utf8test(path, static_cast<unsigned>(std::strlen(path))))
    return fl_fopen(path, mode);
  return std::fopen(path, mode);
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
  explicit Cursor(const std::vector<unsigned char>& data)
      : pos_(data.data()), left_(data.size()) {}

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

struct Identity {
  int32_t start, end, time;
  bool operator==(const Identity& o) const {
    return start == o.start && end == o.end && time == o.time;
  }
};

struct IdentityHash {
  size_t operator()(const Identity& id) const {
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
  bool insert(const Identity& id) {
    if (!ordered_) return set_.insert(id).second;
    if (kept_.empty() || starts_run(id)) {
      run_begin_ = kept_.size();
      kept_.push_back(id);
      return true;
    }
    const Identity& last = kept_.back();
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

  bool starts_run(const Identity& id) const {
    const Identity& last = kept_.back();
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
  std::vector<Identity> kept_;  // in file order, while the file is in order
  size_t run_begin_ = 0;        // where the run of the last kept range begins in kept_
  std::unordered_set<Identity, IdentityHash> set_;
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
    if (!seen.insert({tag->start, tag->end, tag->time})) {
      std::fprintf(stderr, "skip duplicate tag record start: %d end: %d\n", tag->start,
                   tag->end);
      continue;
    }
    list.append_tag(std::move(tag));
  }
}

// ---------------------------------------------------------------------------------------
// Writing

TagFileFault g_fault = nullptr;

bool injected(TagFileStep step, size_t* written = nullptr) {
  size_t ignored = 0;
  if (!g_fault || !g_fault(step, written ? written : &ignored)) return false;
  errno = EIO;
  return true;
}

void put_i32(std::vector<char>& out, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                         static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
  out.insert(out.end(), bytes, bytes + 4);
}

size_t note_bytes(const Tag& tag) { return tag.textsize > 0 ? size_t(tag.textsize) : 0; }

std::vector<char> encode(const TagList& list) {
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

size_t write_fully(int fd, const char* data, size_t size) {
  size_t limit = 0;
  const bool fail = injected(TagFileStep::write, &limit);
  // An injected failure always leaves at least the last byte unwritten.
  const size_t goal = fail ? std::min(limit, size - 1) : size;
  size_t done = 0;
  while (done < goal) {
    const ssize_t n = ::write(fd, data + done, goal - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return done;
    }
    done += static_cast<size_t>(n);
  }
  if (fail) errno = EIO;
  return done;
}

// A temporary file beside the target; removed again unless it was renamed into place.
class TempFile {
public:
  explicit TempFile(const std::string& target) : path_(target + ".tmp-XXXXXX") {
    if (injected(TagFileStep::create)) return;
    fd_ = mkstemp(path_.data());
    created_ = fd_ >= 0;
  }
  ~TempFile() {
    close();
    if (created_ && !kept_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool created() const { return created_; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  bool close() {
    if (fd_ < 0) return true;
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }
  void keep() { kept_ = true; }

private:
  std::string path_;
  int fd_ = -1;
  bool created_ = false;
  bool kept_ = false;
};

// Writing through a symbolic link replaces the file it points to, not the link.
std::string resolve_target(const char* path) {
  struct stat st {};
  if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(path, nullptr)) {
      std::string resolved(real);
      std::free(real);
      return resolved;
    }
  }
  return path;
}

// What the replacement takes over from the old file: its permission bits and, where the
// system lets us, its owner. A new file gets what creating it would have given it.
struct Ownership {
  mode_t mode;
  uid_t uid = static_cast<uid_t>(-1);
  gid_t gid = static_cast<gid_t>(-1);
};

Ownership target_ownership(const std::string& target) {
  struct stat st {};
  if (stat(target.c_str(), &st) == 0) return {st.st_mode & 07777, st.st_uid, st.st_gid};
  const mode_t mask = umask(0);
  umask(mask);
  return {0666 & ~mask};
}

void sync_directory_of(const std::string& file) {
  const size_t slash = file.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : file.substr(0, slash + 1);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: the rename has happened either way
  ::close(fd);
}

bool is_directory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void set_tag_file_fault(TagFileFault fault) { g_fault = fault; }

int read_tag_file(TagList& list, const char* path) {
  const char* name = chosen_path(list, path);
  if (!name) {
    std::fprintf(stderr, "filename should not be NULL\n");
    return -1;
  }
  list.clear();
  FILE* file = open_file(name, "rb");
  if (!file) {
    std::perror("fopen:");
    return -1;
  }
  const FileBytes bytes = slurp(file);
  std::fclose(file);

  Cursor in(bytes.data);
  if (read_header(list, in, bytes.read_error) != 0) return -1;
  return read_records(list, in, bytes.read_error);
}

int write_tag_file(TagList& list, const char* path) {
  const char* name = chosen_path(list, path);
  if (!name) return -1;
  const std::string target = resolve_target(name);
  if (is_directory(target)) {
    errno = EISDIR;
    std::perror("fopen");
    return -1;
  }
  // Replacing a file we may not write would sidestep its protection.
  if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) {
    std::perror("fopen");
    return -1;
  }
  const Ownership owner = target_ownership(target);

  TempFile temp(target);
  if (!temp.created()) {
    std::perror("fopen");
    return -1;
  }
  const std::vector<char> bytes = encode(list);
  const size_t written = write_fully(temp.fd(), bytes.data(), bytes.size());
  if (written < bytes.size()) {
    report_write_failure(list, written);
    return -1;
  }
  if (list.empty()) std::fprintf(stderr, "Warning: NULL list\n");

  if (fchown(temp.fd(), owner.uid, owner.gid) != 0) {
    // Only a privileged user may hand a file to someone else; then the new file stays ours.
  }
  fchmod(temp.fd(), owner.mode);  // on failure the file keeps mkstemp's stricter mode
  if (injected(TagFileStep::fsync) || ::fsync(temp.fd()) != 0) {
    std::perror("fsync");
    return -1;
  }
  if (!temp.close()) {
    std::perror("fclose");
    return -1;
  }
  if (injected(TagFileStep::rename) || std::rename(temp.path().c_str(), target.c_str()) != 0) {
    std::perror("rename");
    return -1;
  }
  temp.keep();
  sync_directory_of(target);
  return 0;
}

}  // namespace gm
