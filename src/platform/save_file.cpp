#include "platform/save_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/save_file_faults.h"

namespace gm {

namespace {

// ---------------------------------------------------------------------------------------
// Small pieces

SaveFault g_fault = nullptr;

bool injected(SaveStep step, size_t* written = nullptr) {
  if (!g_fault) return false;
  size_t ignored = 0;
  errno = 0;
  if (!g_fault(step, written ? written : &ignored)) return false;
  if (errno == 0) errno = EIO;
  return true;
}

SaveResult failure(SaveStep step, int error, size_t written = 0) {
  SaveResult result;
  result.step = step;
  result.error = error != 0 ? error : EIO;
  result.written = written;
  return result;
}

class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

private:
  int fd_;
};

// "dir/" of "dir/name"; "" of "name".
std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string name_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string directory_or_dot(const std::string& file) {
  const std::string dir = directory_of(file);
  return dir.empty() ? "." : dir;
}

bool read_link(const std::string& path, std::string& target) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      target = std::move(buffer);
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The file that writing through `path` reaches: every symbolic link followed, to a name that
// does not exist yet too. After as many links as the system itself follows the path is left
// as it is, and looking at it reports the loop.
std::string resolve_links(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    std::string link;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || !read_link(current, link) ||
        link.empty())
      return current;
    current = link.front() == '/' ? link : directory_of(current) + link;
  }
  return current;
}

// One name for a file however it was reached, for its recovery copy.
std::string absolute_path(const std::string& file) {
  char* real = ::realpath(directory_or_dot(file).c_str(), nullptr);
  if (!real) return file;
  std::string absolute(real);
  std::free(real);
  if (absolute.back() != '/') absolute += '/';
  return absolute + name_of(file);
}

mode_t current_umask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

void sync_directory_of(const std::string& file) {
  const Fd dir(::open(directory_or_dot(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) ::fsync(dir.get());  // best effort: the entry has changed either way
}

// Bytes written; on a short count errno tells why.
size_t write_all(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return done;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

// The new content, where a fault may cut it short.
size_t write_content(int fd, const char* data, size_t size) {
  size_t limit = 0;
  const bool fail = injected(SaveStep::write, &limit);
  const int error = errno;
  // An injected failure always leaves at least the last byte unwritten.
  const size_t goal = !fail ? size : size == 0 ? 0 : std::min(limit, size - 1);
  const size_t done = write_all(fd, data, goal);
  if (done == goal && fail) errno = error;
  return done;
}

bool read_whole(const std::string& path, std::vector<char>& bytes) {
  const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  bytes.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Temporary files and their leftovers

constexpr char kTempInfix[] = ".tmp-";
constexpr size_t kTempSuffix = 6;  // mkstemp's letters and digits

// A temporary file beside `target`, locked while it lives so that the cleanup of leftovers
// never takes it; removed again unless it was renamed into place.
class TempFile {
public:
  TempFile() = default;
  ~TempFile() {
    if (fd_ && !renamed_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // False with errno set when no temporary could be made.
  bool create(const std::string& target) {
    for (int attempt = 0; attempt < 8; ++attempt) {
      path_ = target + kTempInfix + std::string(kTempSuffix, 'X');
      fd_.reset(::mkostemp(path_.data(), O_CLOEXEC));
      if (!fd_) return false;
      // Where locks do not work the cleanup cannot lock the file either, and leaves it alone.
      ::flock(fd_.get(), LOCK_EX);
      struct stat mine {}, named {};
      if (::fstat(fd_.get(), &mine) == 0 && ::stat(path_.c_str(), &named) == 0 &&
          mine.st_ino == named.st_ino && mine.st_dev == named.st_dev)
        return true;
      fd_.reset();  // a cleanup took it for a leftover before it was locked
    }
    errno = EEXIST;
    return false;
  }

  int fd() const { return fd_.get(); }

  // Still open and locked while it is renamed.
  bool rename_to(const std::string& target) {
    renamed_ = ::rename(path_.c_str(), target.c_str()) == 0;
    return renamed_;
  }

private:
  std::string path_;
  Fd fd_;
  bool renamed_ = false;
};

bool is_temporary_name(const char* name, const std::string& prefix) {
  if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0) return false;
  const char* suffix = name + prefix.size();
  if (std::strlen(suffix) != kTempSuffix) return false;
  return std::all_of(suffix, suffix + kTempSuffix,
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// Temporaries of killed saves of `file`: named like ours, regular files of this user, and
// held by no save (a save keeps its temporary locked until it is renamed).
void remove_stale_temporaries(const std::string& file) {
  const std::string prefix = name_of(file) + kTempInfix;
  if (prefix.size() + kTempSuffix > NAME_MAX) return;  // no temporary could have been made
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory_or_dot(file).c_str()),
                                                &::closedir);
  if (!dir) return;
  const int dir_fd = ::dirfd(dir.get());
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!is_temporary_name(entry->d_name, prefix)) continue;
    const Fd fd(::openat(dir_fd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat st {}, now {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
      continue;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;  // a save is writing it
    if (::fstatat(dir_fd, entry->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_ino == st.st_ino && now.st_dev == st.st_dev)
      ::unlinkat(dir_fd, entry->d_name, 0);
  }
}

// ---------------------------------------------------------------------------------------
// Recovery copies
//
// One file per saved file, named by a hash of its absolute path:
//   "GMCOPY1\n", checksum (8), path length (8), path, content length (8), content
// little-endian; the checksum (XXH3, 64 bits) covers everything after itself. A copy counts
// only when it names the file, has exactly its length and matches its checksum.

constexpr char kCopyMagic[8] = {'G', 'M', 'C', 'O', 'P', 'Y', '1', '\n'};

void put_u64(std::string& out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

bool take_u64(const std::vector<char>& in, size_t& at, uint64_t& value) {
  if (in.size() - at < 8) return false;
  value = 0;
  for (int i = 0; i < 8; ++i)
    value |= uint64_t{static_cast<unsigned char>(in[at + i])} << (8 * i);
  at += 8;
  return true;
}

std::string copy_path_for(const std::string& absolute) {
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.copy",
                static_cast<unsigned long long>(XXH3_64bits(absolute.data(), absolute.size())));
  return recovery_directory() + "/" + name;
}

// 0, or the errno of the part that could not be made.
int make_directories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0) {
      const int error = errno;
      struct stat st {};
      if (::stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return error == EEXIST ? ENOTDIR : error;
    }
    if (slash == std::string::npos) return 0;
  }
}

// The copy of `data` for the file at `absolute`, complete and on disk when it answers ok.
SaveResult keep_copy(const std::string& absolute, const char* data, size_t size,
                     const std::string& copy_path) {
  SaveResult result = failure(SaveStep::copy, EIO);
  result.copy_path = copy_path;
  if (injected(SaveStep::copy)) {
    result.error = errno;
    return result;
  }
  if (const int error = make_directories(directory_of(copy_path))) {
    result.error = error;
    return result;
  }
  remove_stale_temporaries(copy_path);

  std::string described;
  put_u64(described, absolute.size());
  described += absolute;
  put_u64(described, size);
  const std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> hash(XXH3_createState(),
                                                                              &XXH3_freeState);
  if (!hash) {
    result.error = ENOMEM;
    return result;
  }
  XXH3_64bits_reset(hash.get());
  XXH3_64bits_update(hash.get(), described.data(), described.size());
  XXH3_64bits_update(hash.get(), data, size);
  std::string lead(kCopyMagic, sizeof kCopyMagic);
  put_u64(lead, XXH3_64bits_digest(hash.get()));
  lead += described;

  TempFile temp;
  if (!temp.create(copy_path) || write_all(temp.fd(), lead.data(), lead.size()) < lead.size() ||
      write_all(temp.fd(), data, size) < size || ::fsync(temp.fd()) != 0 ||
      !temp.rename_to(copy_path)) {
    result.error = errno;
    return result;
  }
  sync_directory_of(copy_path);
  return SaveResult{};
}

// The content of a complete copy of the file at `absolute`; false for none, for another
// file's copy and for a damaged one.
bool read_copy(const std::string& copy_path, const std::string& absolute,
               std::vector<char>& content) {
  std::vector<char> all;
  if (!read_whole(copy_path, all) || all.size() < sizeof kCopyMagic ||
      std::memcmp(all.data(), kCopyMagic, sizeof kCopyMagic) != 0)
    return false;
  size_t at = sizeof kCopyMagic;
  uint64_t checksum = 0, path_size = 0, size = 0;
  if (!take_u64(all, at, checksum) || !take_u64(all, at, path_size) ||
      path_size > all.size() - at ||
      absolute.compare(0, std::string::npos, all.data() + at, path_size) != 0)
    return false;
  at += path_size;
  if (!take_u64(all, at, size) || size != all.size() - at) return false;
  const size_t covered = sizeof kCopyMagic + 8;
  if (XXH3_64bits(all.data() + covered, all.size() - covered) != checksum) return false;
  content.assign(all.begin() + static_cast<ptrdiff_t>(at), all.end());
  return true;
}

void remove_copy(const std::string& copy_path) {
  // Made durable, so that a power loss cannot bring back a copy older than the file.
  if (::unlink(copy_path.c_str()) == 0) sync_directory_of(copy_path);
}

bool holds(const std::string& file, const std::vector<char>& content) {
  std::vector<char> bytes;
  return read_whole(file, bytes) && bytes == content;
}

// ---------------------------------------------------------------------------------------
// The two routes

// A new file in its place would not be the same file: other names would keep the old one, an
// access list would be lost, a device or a pipe would be replaced by a plain file.
bool must_stay_the_same_file(const std::string& target, const struct stat& st) {
  return !S_ISREG(st.st_mode) || st.st_nlink > 1 ||
         ::getxattr(target.c_str(), "system.posix_acl_access", nullptr, 0) > 0;
}

// None when this route cannot serve and the file is to be written in place instead.
std::optional<SaveResult> save_by_rename(const std::string& target, const struct stat* old,
                                         const char* data, size_t size) {
  TempFile temp;
  if (injected(SaveStep::create) || !temp.create(target)) return std::nullopt;
  if (old) {
    // Only a privileged user may give a file away; a replacement that cannot take the old
    // file's owner and group must not take its place.
    if (::fchown(temp.fd(), old->st_uid, old->st_gid) != 0) return std::nullopt;
    ::fchmod(temp.fd(), old->st_mode & 07777);
  } else {
    ::fchmod(temp.fd(), 0666 & ~current_umask());  // what creating the file would give it
  }
  const size_t written = write_content(temp.fd(), data, size);
  if (written < size) {
    // The old file's place may have room for the new bytes where there was none beside it.
    if (errno == ENOSPC || errno == EDQUOT) return std::nullopt;
    return failure(SaveStep::write, errno, written);
  }
  if (injected(SaveStep::fsync) || ::fsync(temp.fd()) != 0)
    return failure(SaveStep::fsync, errno);
  if (injected(SaveStep::rename) || !temp.rename_to(target))
    return failure(SaveStep::rename, errno);
  sync_directory_of(target);
  remove_copy(copy_path_for(absolute_path(target)));  // outdated by this save
  return SaveResult{};
}

SaveResult save_in_place(const std::string& target, bool existed, const char* data,
                         size_t size) {
  if (injected(SaveStep::create)) return failure(SaveStep::create, errno);
  // No O_TRUNC: the old bytes stay until the copy of the new ones is safe. O_NONBLOCK: a pipe
  // without a reader fails at once instead of hanging.
  const Fd fd(
      ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
  if (!fd) return failure(SaveStep::create, errno);
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  struct stat st {};
  const bool regular = ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode);

  std::string copy_path;
  if (regular) {  // a device or a pipe keeps no bytes that could be lost
    copy_path = copy_path_for(absolute_path(target));
    const SaveResult kept = keep_copy(absolute_path(target), data, size, copy_path);
    if (!kept.ok()) {
      if (!existed) ::unlink(target.c_str());
      return kept;
    }
    if (::ftruncate(fd.get(), 0) != 0) return failure(SaveStep::write, errno);
  }
  const size_t written = write_content(fd.get(), data, size);
  if (written < size) return failure(SaveStep::write, errno, written);
  if (regular) {
    if (injected(SaveStep::fsync) || ::fsync(fd.get()) != 0)
      return failure(SaveStep::fsync, errno);
    if (!existed) sync_directory_of(target);
    remove_copy(copy_path);
  }
  return SaveResult{};
}

}  // namespace

void set_save_fault(SaveFault fault) { g_fault = fault; }

std::string recovery_directory() {
  std::string base;
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    if (home && home[0]) {
      base = home;
    } else if (const passwd* user = ::getpwuid(::geteuid())) {
      base = user->pw_dir;
    }
    base += "/.local/state";
  }
  return base + "/glossmark/recovery";
}

SaveResult save_file(const std::string& path, const char* data, size_t size) {
  const std::string target = resolve_links(path);
  remove_stale_temporaries(target);
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return failure(SaveStep::create, errno);
  if (exists && S_ISDIR(st.st_mode)) return failure(SaveStep::create, EISDIR);
  // Replacing a file we may not write would sidestep its protection.
  if (exists && ::access(target.c_str(), W_OK) != 0) return failure(SaveStep::create, errno);
  if (!exists || !must_stay_the_same_file(target, st)) {
    const std::optional<SaveResult> saved =
        save_by_rename(target, exists ? &st : nullptr, data, size);
    if (saved) return *saved;
  }
  return save_in_place(target, exists, data, size);
}

Recovery recover_file(const std::string& path) {
  const std::string target = resolve_links(path);
  remove_stale_temporaries(target);
  Recovery recovery;
  const std::string absolute = absolute_path(target);
  const std::string copy_path = copy_path_for(absolute);
  remove_stale_temporaries(copy_path);
  std::vector<char> content;
  if (!read_copy(copy_path, absolute, content)) return recovery;
  if (holds(target, content)) {  // the write had finished; only removing the copy was cut short
    remove_copy(copy_path);
    return recovery;
  }
  recovery.copy_path = copy_path;
  const SaveResult saved = save_file(target, content.data(), content.size());
  if (saved.ok()) {
    recovery.outcome = Recovery::restored;
    return recovery;
  }
  recovery.outcome = Recovery::copy_kept;
  recovery.error = saved.error;
  recovery.bytes = std::move(content);
  return recovery;
}

}  // namespace gm
