#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "harness/TestFiles.h"
#include "os/ProcessHalt.h"

namespace {

struct MarksUnwinding {
  ~MarksUnwinding() { test_files::WriteAll("unwound", "x"); }
};

void MarkExitCleanUp() { test_files::WriteAll("exit-clean-up", "x"); }

#if defined(_WIN32)
const auto kHalted = ::testing::ExitedWithCode(3);
#else
const auto kHalted = ::testing::KilledBySignal(SIGABRT);
#endif

TEST(ProcessHaltDeathTest, StopsAbnormallyWithoutUnwindingOrExitCleanUp) {
  EXPECT_EXIT(
      {
        std::atexit(MarkExitCleanUp);
        try {
          MarksUnwinding guard;
          os::HaltProcess();
        } catch (...) {
        }
      },
      kHalted, "");
  EXPECT_FALSE(test_files::Exists("unwound"));
  EXPECT_FALSE(test_files::Exists("exit-clean-up"));
}

}  // namespace
