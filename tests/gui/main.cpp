// The GUI tests run in one process against a real X server (an Xvfb from the test command).
#include <FL/Fl.H>
#include <gtest/gtest.h>

#include "app/display.h"
#include "platform/platform.h"
#include "tags/tag.h"

namespace {
// Every new TagList takes a fresh time stamp; the real clock would make each test wait
// for the next second.
int32_t ticking_clock() {
  static int32_t now = 1700000000;
  return ++now;
}
}  // namespace

int main(int argc, char** argv) {
  gm::init_process();
  testing::InitGoogleTest(&argc, argv);
  // Listing the tests (as ctest does to register each one) needs no display.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (!gm::open_x_display()) return 1;
  Fl::visual(FL_DOUBLE | FL_INDEX);
  gm::set_time_source(ticking_clock);
  return RUN_ALL_TESTS();
}
