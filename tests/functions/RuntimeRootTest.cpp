#include "functions/RuntimeRoot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "harness/LogCapture.h"
#include "harness/FreshProcess.h"
#include "harness/TestFiles.h"

// The runtime root is kept for the whole process once found, so every case
// runs in a fresh process. There the exit status decides, not gtest's
// assertions: a mismatch is printed on standard error and exits with 1.

namespace {

std::string presentedName;
std::uint32_t presentedError = 0;

// As GetModuleFileNameA: a name that does not fit fills the buffer and
// reports the buffer's size.
os::ExecutableName PresentName(char* buffer, std::uint32_t capacity) {
  const auto length = static_cast<std::uint32_t>(presentedName.size());
  if (length >= capacity) {
    std::memcpy(buffer, presentedName.data(), capacity);
    return {capacity, 0x7A};
  }
  std::memcpy(buffer, presentedName.c_str(), length + 1);
  return {length, length == 0 ? presentedError : 0};
}

void Present(const std::string& name) {
  presentedName = name;
  SetExecutableNameSource(&PresentName);
}

void RequireEqual(const std::string& actual, const std::string& expected, const char* what) {
  if (actual == expected) return;
  std::fprintf(stderr, "%s:\n  actual:   [%s]\n  expected: [%s]\n", what, actual.c_str(), expected.c_str());
  std::exit(1);
}

void FindsDirectoryAndLogsItOnce() {
  Present("D:\\Games\\Play\\host.exe");
  LogCapture log;
  testing::internal::CaptureStdout();
  const std::string& first = GetRuntimeRoot();
  RequireEqual(testing::internal::GetCapturedStdout(), "", "console");  // level 5: the file only
  RequireEqual(first, "D:\\Games\\Play\\", "root");
  RequireEqual(log.Text(), "runtime root = D:\\Games\\Play\\\r\n", "log after the first call");

  Present("E:\\Other\\host.exe");  // the root never changes once set
  const std::string& second = GetRuntimeRoot();
  RequireEqual(second, "D:\\Games\\Play\\", "root on the second call");
  RequireEqual(&second == &first ? "same" : "copy", "same", "the one process-wide string");
  RequireEqual(log.Text(), "runtime root = D:\\Games\\Play\\\r\n", "log after the second call");
}

void RootFor(const std::string& name, const std::string& expectedRoot) {
  Present(name);
  RequireEqual(GetRuntimeRoot(), expectedRoot, name.c_str());
}

void RefusesTheFullBuffer() {
  Present(std::string(260, 'x'));
  LogCapture log;
  testing::internal::CaptureStdout();
  RequireEqual(GetRuntimeRoot(), "", "root");
  const std::string refusal = "couldn't find runtime path (len = 260, err = 0000007A)";
  RequireEqual(testing::internal::GetCapturedStdout(), refusal + "\n", "console");
  RequireEqual(log.Text(), refusal + "\r\n", "log");
}

void AcceptsTheLongestName() {
  const std::string directory = "C:\\" + std::string(247, 'd') + "\\";
  const std::string name = directory + "game.exe";
  if (name.size() != 259) std::exit(2);
  RootFor(name, directory);
}

void ReportsAnUnreadableName() {
  presentedError = 2;
  Present("");
  LogCapture log;
  RequireEqual(GetRuntimeRoot(), "", "root");
  RequireEqual(log.Text(), "couldn't find runtime path (len = 0, err = 00000002)\r\n", "log");
}

void RefusesForwardSlashesOnEveryCall() {
  Present("D:/Games/Play/host.exe");
  LogCapture log;
  RequireEqual(GetRuntimeRoot(), "", "first call");
  RequireEqual(GetRuntimeRoot(), "", "second call");
  RequireEqual(log.Text(),
               "no slash in runtime path? (D:/Games/Play/host.exe)\r\n"
               "no slash in runtime path? (D:/Games/Play/host.exe)\r\n",
               "log");
}

void SucceedsAfterAFailure() {
  LogCapture log;
  Present("host.exe");
  RequireEqual(GetRuntimeRoot(), "", "failed call");
  Present("C:\\Game\\host.exe");
  RequireEqual(GetRuntimeRoot(), "C:\\Game\\", "later call");
  RequireEqual(log.Text(),
               "no slash in runtime path? (host.exe)\r\n"
               "runtime root = C:\\Game\\\r\n",
               "log");
}

// Without a substitute the root is the directory of this test binary.
void FindsThisExecutablesDirectory() {
  std::string root = GetRuntimeRoot();
  if (root.empty() || root.back() != '\\') RequireEqual(root, "<ends with a backslash>", "root");
#if !defined(_WIN32)
  std::replace(root.begin(), root.end(), '\\', '/');
#endif
  const bool found = test_files::Exists(root + "test_functions") || test_files::Exists(root + "test_functions.exe");
  if (!found) RequireEqual(root, "<the directory holding test_functions>", "root");
}

TEST(RuntimeRootTest, FindsTheExecutablesDirectoryAndLogsItOnce) {
  EXPECT_IN_FRESH_PROCESS(FindsDirectoryAndLogsItOnce());
}

TEST(RuntimeRootTest, CutsAfterTheLastBackslashOnly) {
  EXPECT_IN_FRESH_PROCESS(RootFor("C:\\a\\b\\c.exe", "C:\\a\\b\\"));
  EXPECT_IN_FRESH_PROCESS(RootFor("C:\\a/b/c.exe", "C:\\"));
  EXPECT_IN_FRESH_PROCESS(RootFor("\\host.exe", "\\"));
}

TEST(RuntimeRootTest, AcceptsNamesThatFitTheBufferAndRefusesOthers) {
  EXPECT_IN_FRESH_PROCESS(AcceptsTheLongestName());
  EXPECT_IN_FRESH_PROCESS(RefusesTheFullBuffer());
  EXPECT_IN_FRESH_PROCESS(ReportsAnUnreadableName());
}

TEST(RuntimeRootTest, RetriesAfterEveryFailure) {
  EXPECT_IN_FRESH_PROCESS(RefusesForwardSlashesOnEveryCall());
  EXPECT_IN_FRESH_PROCESS(SucceedsAfterAFailure());
}

TEST(RuntimeRootTest, UsesTheSystemsExecutableNameByDefault) {
  EXPECT_IN_FRESH_PROCESS(FindsThisExecutablesDirectory());
}

}  // namespace
