#include "platform/platform.h"

#include <FL/fl_utf8.h>
#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

// GLOSSMARK_DATA_FROM_BIN, set by the build from its install folders: the installed data
// folder as seen from the installed program's folder, e.g. "../share/glossmark/".

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

std::string help_file_path(const std::string& program_dir) {
  namespace fs = std::filesystem;
  const fs::path beside = fs::path(program_dir) / "help.txt";
  // The program's directory comes from /proc/self/exe and holds no links, so removing
  // "bin/.." by hand names the same file, and the window title shows a plain path.
  const fs::path installed =
      (fs::path(program_dir) / GLOSSMARK_DATA_FROM_BIN / "help.txt").lexically_normal();
  std::error_code error;
  if (!fs::exists(beside, error) && fs::exists(installed, error)) return installed.string();
  return beside.string();
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
