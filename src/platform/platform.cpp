#include "platform/platform.h"

#include <FL/fl_utf8.h>
#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <vector>

namespace gm {

namespace {

// The program's own path, grown until readlink no longer fills the whole buffer (it does
// not say when it truncates). Empty when it cannot be read.
std::string own_executable_path() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string program_directory() {
  const std::string path = own_executable_path();
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "./";
  return path.substr(0, slash + 1);
}

std::string locale_codeset() {
  const char* codeset = nl_langinfo(CODESET);
  return codeset ? codeset : "";
}

std::FILE* open_path(const char* path, const char* mode) {
  if (fl_utf8test(path, static_cast<unsigned>(std::strlen(path)))) return fl_fopen(path, mode);
  return std::fopen(path, mode);
}

void init_process() {
  // The command-line document is read before the toolkit sets the locale itself.
  std::setlocale(LC_CTYPE, "");
  // Buffered fully into a pipe or file, progress lines would show up late or never.
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  std::setvbuf(stderr, nullptr, _IOLBF, BUFSIZ);
}

}  // namespace gm
