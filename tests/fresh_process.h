// Runs part of a test in a fresh copy of the test program, for what lasts as long as the
// process does: the locale the toolkit read once, a memory limit.
#pragma once

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace gm::test {

// A death test of the "threadsafe" style re-executes the binary for just this test. Code of
// the test before this call runs again in that copy, so keep it free of side effects. The
// copy ends without running destructors: before_exit removes what it made. Its failures are
// sent to standard error, which the parent shows when the copy fails.
template <typename Body, typename Cleanup>
void run_in_fresh_process(Body body, Cleanup before_exit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ::testing::TestPartResultArray results;
        {
          const ::testing::ScopedFakeTestPartResultReporter reporter(
              ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
          body();
        }
        before_exit();
        for (int i = 0; i < results.size(); ++i) {
          const ::testing::TestPartResult& result = results.GetTestPartResult(i);
          std::fprintf(stderr, "%s:%d: %s\n", result.file_name() ? result.file_name() : "?",
                       result.line_number(), result.message());
        }
        std::fflush(nullptr);
        std::_Exit(results.size() > 0 ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace gm::test
