// Shared by the bad input tests: catching what the toolkit reports about the X server, and
// checking text before it reaches a widget.
#pragma once

#include <FL/Fl.H>
#include <FL/fl_utf8.h>
#include <FL/x.H>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace gm::testing {

// Collects what the toolkit reports through Fl::warning while it lives; a rejected X request
// is reported there. sync() waits for the server's answers to everything sent so far.
class ToolkitWarnings {
 public:
  ToolkitWarnings() : saved_(Fl::warning) {
    lines().clear();
    Fl::warning = record;
  }
  ~ToolkitWarnings() { Fl::warning = saved_; }
  ToolkitWarnings(const ToolkitWarnings&) = delete;
  ToolkitWarnings& operator=(const ToolkitWarnings&) = delete;

  const std::vector<std::string>& sync() {
    XSync(fl_display, False);
    Fl::check();
    return lines();
  }
  std::string first() { return sync().empty() ? std::string() : lines().front(); }

 private:
  static std::vector<std::string>& lines() {
    static std::vector<std::string> all;
    return all;
  }
  static void record(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    lines().emplace_back(line);
  }
  void (*saved_)(const char*, ...);
};

inline bool valid_utf8(std::string_view s) {
  return fl_utf8test(s.data(), static_cast<unsigned>(s.size())) != 0;
}

}  // namespace gm::testing
