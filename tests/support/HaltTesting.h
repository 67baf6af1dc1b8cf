#pragma once
// Death tests of the assertion reporters: the child's console echo goes to a
// file that the test reads afterwards (standard output is not captured by the
// death test, and a file is block-buffered, so the flush before the halt is
// checked as well).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#define EXPECT_HALT_WITH_CONSOLE(consoleFile, statement)                     \
  EXPECT_DEATH(                                                              \
      {                                                                      \
        if (std::freopen(consoleFile, "w", stdout) == nullptr) std::_Exit(0); \
        statement;                                                           \
      },                                                                     \
      "")
