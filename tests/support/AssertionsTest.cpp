#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "harness/TestFiles.h"
#include "support/Assertions.h"
#include "support/HaltTesting.h"
#include "support/IDebugLog.h"

using ::testing::HasSubstr;

namespace {

#if defined(_WIN32)
constexpr const char* kConsoleLineEnd = "\r\n";  // text-mode stdout
#else
constexpr const char* kConsoleLineEnd = "\n";
#endif

struct Report {
  std::string logFile;
  std::string console;
};

// Runs the report in a child with a fresh log file; `stem` names its files.
Report RunReport(const std::string& stem, void (*report)()) {
  const std::string logName = stem + ".log";
  const std::string consoleName = stem + ".txt";
  EXPECT_HALT_WITH_CONSOLE(consoleName.c_str(), {
    IDebugLog::CloseLogFile();
    IDebugLog::OpenLogFile(logName.c_str());
    report();
    std::puts("caller went on");
  });
  return {test_files::ReadAll(logName), test_files::ReadAll(consoleName)};
}

void ExpectOneFatalLine(const Report& report, const std::string& line) {
  EXPECT_EQ(report.logFile, line + "\r\n");
  EXPECT_EQ(report.console, line + kConsoleLineEnd);
}

TEST(AssertionsDeathTest, ReportAssertionWritesOneLineAndStops) {
  const Report report = RunReport("plain", [] { ReportAssertion("Source", 42, "x != y"); });
  ExpectOneFatalLine(report, "Assertion failed in Source (42): x != y");
}

TEST(AssertionsDeathTest, CodesWithAZeroUpperHalfShowTheLowerHalf) {
  ExpectOneFatalLine(RunReport("code-4660", [] { ReportAssertionWithCode("S", 1, "m", 4660); }),
                     "Assertion failed in S (1): m (code = 00001234 (4660))");
  ExpectOneFatalLine(
      RunReport("code-ffffffff", [] { ReportAssertionWithCode("S", 2, "m", 4294967295u); }),
      "Assertion failed in S (2): m (code = FFFFFFFF (-1))");
}

TEST(AssertionsDeathTest, WideCodesShowAllSixtyFourBits) {
  ExpectOneFatalLine(
      RunReport("code-2pow32", [] { ReportAssertionWithCode("S", 3, "m", 4294967296u); }),
      "Assertion failed in S (3): m (code =        100000000 (4294967296))");
  ExpectOneFatalLine(
      RunReport("code-all-ones", [] { ReportAssertionWithCode("S", 4, "m", ~0ull); }),
      "Assertion failed in S (4): m (code = FFFFFFFFFFFFFFFF (-1))");
}

TEST(AssertionsDeathTest, CodeTextIsShownAsGiven) {
  ExpectOneFatalLine(
      RunReport("code-text", [] { ReportAssertionWithCodeText("S", 5, "m", "E_FAIL"); }),
      "Assertion failed in S (5): m (code = E_FAIL)");
}

TEST(AssertionsDeathTest, ReportsReachTheConsoleWithoutALogFile) {
  EXPECT_HALT_WITH_CONSOLE("no-log.txt", {
    IDebugLog::CloseLogFile();
    ReportAssertion("Source", 9, "unlogged");
  });
  EXPECT_EQ(test_files::ReadAll("no-log.txt"),
            std::string("Assertion failed in Source (9): unlogged") + kConsoleLineEnd);
}

TEST(AssertionsDeathTest, CheckNamesThisSourceFileAndLine) {
  EXPECT_HALT_WITH_CONSOLE("check.txt", QL_CHECK(1 + 1 == 3, "1 + 1 == 3"));
  const int checkLine = __LINE__ - 1;
  EXPECT_THAT(test_files::ReadAll("check.txt"),
              HasSubstr("Assertion failed in AssertionsTest (" + std::to_string(checkLine) +
                        "): 1 + 1 == 3"));
}

TEST(AssertionsDeathTest, HaltProcessFlushesTheConsoleEcho) {
  EXPECT_HALT_WITH_CONSOLE("pending.txt", {
    std::fputs("pending", stdout);
    HaltProcess();
  });
  EXPECT_EQ(test_files::ReadAll("pending.txt"), "pending");
}

TEST(AssertionsSourceFileName, DropsDirectoriesAndExtension) {
  EXPECT_STREQ(SourceFileName("C:\\src\\support/IDataStream.cpp").text, "IDataStream");
  EXPECT_STREQ(SourceFileName("support\\IDebugLog.h").text, "IDebugLog");
  EXPECT_STREQ(SourceFileName("dir.d/Makefile").text, "Makefile");
  EXPECT_STREQ(SourceFileName("").text, "");
  EXPECT_EQ(std::string(SourceFileName(std::string(300, 'a').c_str()).text), std::string(127, 'a'));
}

}  // namespace
