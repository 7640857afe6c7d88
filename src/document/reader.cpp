#include "document/reader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "document/text_block.h"
#include "platform/platform.h"

namespace gm {

namespace {

constexpr char kEndOfText = 0x1A;

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Opening a named pipe waits for a writer, for ever if none comes, and the program would
// hang before its window appears. So it is opened without waiting, and its first bytes (or
// its writer's end) are awaited for a bounded time; a pipe that stays silent fails to open.
FILE* open_pipe(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  pollfd ready{fd, POLLIN, 0};
  int polled;
  while ((polled = ::poll(&ready, 1, kPipeWaitMs)) < 0 && errno == EINTR) {
  }
  FILE* file = nullptr;
  const int flags = ::fcntl(fd, F_GETFL);
  if (polled > 0 && flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
    file = ::fdopen(fd, "rb");
  if (!file) {
    const int error = polled == 0 ? ETIMEDOUT : errno;
    ::close(fd);
    errno = error;
  }
  return file;
}

FilePtr open_file(const char* path) {
  struct stat info {};
  if (::stat(path, &info) == 0 && S_ISFIFO(info.st_mode)) return FilePtr(open_pipe(path));
  return FilePtr(open_path(path, "rb"));
}

// Drops the CR of every CR LF pair in [from, end), in place; answers the new end. A CR
// right before end stays: the caller decides whether an LF may still follow it.
char* join_crlf(char* from, char* end) {
  char* in = static_cast<char*>(std::memchr(from, '\r', end - from));
  if (!in) return end;
  char* out = in;
  for (;;) {
    // in points at a CR; skip it when an LF follows, then copy up to the next CR.
    if (in + 1 < end && in[1] == '\n') ++in;
    char* next = static_cast<char*>(std::memchr(in + 1, '\r', end - in - 1));
    char* stop = next ? next : end;
    std::memmove(out, in, stop - in);
    out += stop - in;
    in = stop;
    if (!next) return out;
  }
}

int64_t fail_read() {
  std::perror("fread");
  return -1;
}

int64_t fail_to_grow() {
  errno = ENOMEM;
  std::perror("Warning: fail to realloc, stop to read now");
  return -1;
}

// Reads to the end, translating as it goes; answers the new total size or -1.
template <class Bytes>
int64_t read_translated(Bytes& data, FILE* file, bool regular) {
  const size_t first = data.size();
  bool held_cr = false;  // the text so far ends in a CR of this file, whose LF may come next
  for (;;) {
    size_t want = kReadChunk;
    const size_t room = data.capacity() - data.size();
    if (regular && room > 0 && room < want) want = room;

    const size_t old = data.size();
    data.resize(old + want);
    const size_t got = std::fread(&data[old], 1, want, file);
    char* const begin = &data[0];
    char* const chunk = begin + old;
    char* const eot = static_cast<char*>(std::memchr(chunk, kEndOfText, got));
    char* const chunk_end = eot ? eot : chunk + got;
    char* const end = join_crlf(held_cr ? chunk - 1 : chunk, chunk_end);
    data.resize(end - begin);

    if (static_cast<int64_t>(data.size()) > kMaxDocumentSize) {
      report_document_too_large();
      return -1;
    }
    if (eot) break;
    if (got < want) {
      if (std::ferror(file)) return fail_read();
      break;
    }
    held_cr = data.size() > first && data.back() == '\r';
  }
  return static_cast<int64_t>(data.size());
}

}  // namespace

void report_document_too_large() {
  std::fputs("Document too large: over 2 GiB cannot be opened.\n", stderr);
}

template <class Bytes>
int64_t read_whole_file(Bytes& data, const char* path) {
  if (!path) return -1;
  const FilePtr file = open_file(path);
  if (!file) {
    std::perror("fopen:");
    return -1;
  }

  bool regular = false;
  struct stat info {};
  if (fstat(fileno(file.get()), &info) == 0) {
    // fopen accepts a directory here; only the first read would notice.
    if (S_ISDIR(info.st_mode)) {
      errno = EISDIR;
      return fail_read();
    }
    regular = S_ISREG(info.st_mode);
  }
  if (regular && static_cast<int64_t>(data.size()) + info.st_size > kMaxDocumentSize) {
    report_document_too_large();
    return -1;
  }
  try {
    // One more byte than the file holds, so that the read that meets the end needs no growth.
    if (regular) data.reserve(data.size() + static_cast<size_t>(info.st_size) + 1);
    return read_translated(data, file.get(), regular);
  } catch (const std::bad_alloc&) {
    return fail_to_grow();  // data keeps what was read
  }
}

template int64_t read_whole_file(std::string&, const char*);
template int64_t read_whole_file(TextBlock&, const char*);

}  // namespace gm
