#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // Death tests re-run the executable from the start, so a child is a fresh
  // process: static initialisation, the log and the handler cache included.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
