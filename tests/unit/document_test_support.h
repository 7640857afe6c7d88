// Helpers shared by the reader, encoding and document tests: scratch directories, files
// of given bytes, tag file bytes, locale switching and fresh test processes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fresh_process.h"

namespace gm::test {

// A directory made with mkdtemp and removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "glossmark-doc-XXXXXX").string();
    if (mkdtemp(&name[0])) path_ = name;
  }
  ~TempDir() { remove(); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool ok() const { return !path_.empty(); }
  void remove() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    path_.clear();
  }
  std::string path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline bool write_file(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

inline std::string read_file(const std::string& path) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    std::fclose(file);
  }
  return bytes;
}

// Tag file bytes: the 9-byte header, then start, end, style, time, textsize, text.
class TagFileBytes {
 public:
  TagFileBytes(int32_t top_line, int32_t top_column, char default_style) {
    put(top_line);
    put(top_column);
    bytes_ += default_style;
  }
  TagFileBytes& tag(int32_t start, int32_t end, char style, int32_t time,
                    const std::string& note = "") {
    put(start);
    put(end);
    bytes_ += style;
    put(time);
    put(note.empty() ? 0 : static_cast<int32_t>(note.size() + 1));
    if (!note.empty()) bytes_.append(note.c_str(), note.size() + 1);
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  void put(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) bytes_ += static_cast<char>((bits >> shift) & 0xFF);
  }
  std::string bytes_;
};

inline bool locale_exists(const char* name) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  const bool exists = std::setlocale(LC_CTYPE, name) != nullptr;
  std::setlocale(LC_CTYPE, saved.c_str());
  return exists;
}

// Sets LC_CTYPE, LC_ALL and LANG and the C library's LC_CTYPE to one locale; puts all of
// it back when it goes.
class LocaleGuard {
 public:
  explicit LocaleGuard(const char* name) : saved_locale_(std::setlocale(LC_CTYPE, nullptr)) {
    for (const char* variable : kVariables) {
      const char* value = std::getenv(variable);
      saved_env_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
      setenv(variable, name, 1);
    }
    ok_ = std::setlocale(LC_CTYPE, name) != nullptr;
  }
  ~LocaleGuard() {
    for (size_t i = 0; i < saved_env_.size(); ++i) {
      if (saved_env_[i]) {
        setenv(kVariables[i], saved_env_[i]->c_str(), 1);
      } else {
        unsetenv(kVariables[i]);
      }
    }
    std::setlocale(LC_CTYPE, saved_locale_.c_str());
  }
  LocaleGuard(const LocaleGuard&) = delete;
  LocaleGuard& operator=(const LocaleGuard&) = delete;

  bool ok() const { return ok_; }

 private:
  static constexpr const char* kVariables[] = {"LC_CTYPE", "LC_ALL", "LANG"};
  std::string saved_locale_;
  std::vector<std::optional<std::string>> saved_env_;
  bool ok_ = false;
};

constexpr const char* kUtf8Locale = "C.UTF-8";
// Made by scripts/make-test-locale.sh; Debian ships no compiled ISO-8859-1 locale.
constexpr const char* kLatin1Locale = "en_US.ISO-8859-1";

// fl_utf8locale() reads the environment once and keeps its first answer for the life of
// the process: checks that depend on it run in a fresh copy of this program, which removes
// scratch, if given, before it ends.
template <typename Body>
void in_fresh_process(Body body, TempDir* scratch = nullptr) {
  run_in_fresh_process(body, [scratch] {
    if (scratch) scratch->remove();
  });
}

}  // namespace gm::test
