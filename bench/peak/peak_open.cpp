// Helper of the peak-memory benchmarks: opens one document the program's way ("program"),
// the program's way and then once more as the Open command does ("reopen"), or the floor's
// way ("floor"), in a process of its own; then prints the peak resident set of the process
// (getrusage, kilobytes) as "peak_kb=N".
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "open_steps.h"

int main(int argc, char** argv) {
  if (argc != 3 || !bench::open_display_once()) return 2;
  const char* mode = argv[1];
  const std::string path = argv[2];
  if (std::strcmp(mode, "program") == 0) {
    if (!bench::open_in_main_window(path)) return 1;
  } else if (std::strcmp(mode, "reopen") == 0) {
    std::unique_ptr<gm::Program> program = bench::open_in_main_window(path);
    if (!program || !bench::open_again(*program, path)) return 1;
    bench::draw_now();
  } else if (std::strcmp(mode, "floor") == 0) {
    if (!bench::open_in_plain_display(path, std::filesystem::file_size(path))) return 1;
  } else {
    return 2;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_kb=%ld\n", usage.ru_maxrss);
  return 0;
}
