// What every fuzz target needs: quiet diagnostics, a private scratch folder, a clock that
// never makes a TagList wait, and loud failures.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tags/tag.h"

namespace gm::fuzz {

// The program's diagnostic lines would cost more than the work under test. Only the stdio
// streams are swapped: libFuzzer took its own copy of the original stderr at start-up and
// the sanitizers write their reports to descriptor 2, so both stay visible.
inline void silence_program_output() {
  if (FILE* sink = std::fopen("/dev/null", "w")) {
    stdout = sink;
    stderr = sink;
  }
}

// A mismatch is a finding: say what broke on the real standard error, then abort so that
// libFuzzer saves the input.
[[noreturn]] inline void fail(const char* what) {
  const std::string line = std::string("fuzz check failed: ") + what + "\n";
  if (::write(2, line.data(), line.size()) < 0) {
    // Nothing more to do: the abort below still makes libFuzzer keep the input.
  }
  std::abort();
}

inline void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

// A new second on every read (wrapping before int32 runs out), so TagLists are made
// without waiting for the real clock.
inline int32_t ticking_clock() {
  static int32_t now = 1'600'000'000;
  now = now == INT32_MAX ? 1 : now + 1;
  return now;
}

// One folder per process, on tmpfs when there is one: files are written for every input.
// $TMPDIR wins, so a caller can collect whatever a crashed run leaves behind.
class ScratchDir {
public:
  ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    if (!base || !*base) base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/glossmark-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) fail("cannot make a scratch folder");
    dir_ = pattern;
  }
  ~ScratchDir() {
    for (const std::string& name : made_) ::unlink(name.c_str());
    ::rmdir(dir_.c_str());
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The full path of a file in the folder, removed when the folder goes.
  std::string file(const std::string& name) {
    made_.push_back(dir_ + "/" + name);
    return made_.back();
  }

private:
  std::string dir_;
  std::vector<std::string> made_;
};

inline void write_file(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) fail("cannot create a scratch file");
  const bool ok = (size == 0 || std::fwrite(data, 1, size, file) == size);
  if (std::fclose(file) != 0 || !ok) fail("cannot write a scratch file");
}

inline std::vector<uint8_t> read_file(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) fail("cannot open a scratch file");
  uint8_t chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(file);
  return bytes;
}

}  // namespace gm::fuzz
