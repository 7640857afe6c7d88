#include "platform/progress.h"

#include <atomic>
#include <cstdarg>

namespace gm {

namespace {
// Unset means standard output as it is at the time of the line: a harness that swaps the
// stdout stream still catches the lines. Opening a document may run beside the GUI thread.
std::atomic<bool> g_set{false};
std::atomic<std::FILE*> g_stream{nullptr};

std::FILE* stream() { return g_set ? g_stream.load() : stdout; }
}  // namespace

void set_progress_stream(std::FILE* stream) {
  g_stream = stream;
  g_set = true;
}

void progress(const char* format, ...) {
  std::FILE* const out = stream();
  if (!out) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(out, format, args);
  va_end(args);
}

void progress_line(const char* line) {
  std::FILE* const out = stream();
  if (!out) return;
  std::fputs(line, out);
  std::fputc('\n', out);
}

}  // namespace gm
