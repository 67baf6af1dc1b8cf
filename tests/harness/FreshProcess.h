#pragma once
// Test bodies that need the plug-in's first-time behaviour run in a fresh
// process: the test main makes death tests re-run the executable, so static
// initialisation, the log and the handler cache start anew there.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

// Runs `statement` in a fresh process and expects it to exit with status 0.
#define EXPECT_IN_FRESH_PROCESS(statement) \
  EXPECT_EXIT({ statement; std::exit(0); }, ::testing::ExitedWithCode(0), "")

// In the child a failed check reports itself on standard error and ends the
// child with status 1, which the parent's expectation turns into a failure.
#define CHECK_IN_CHILD(condition)                                                  \
  do {                                                                             \
    if (!(condition)) {                                                            \
      std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      std::exit(1);                                                                \
    }                                                                              \
  } while (0)
