#include "support/IDebugLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "harness/TestFiles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

using test_files::ListDirectory;
using test_files::ReadAll;

void LogAt(std::int32_t level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  IDebugLog::LogAtLevel(level, format, args);
  va_end(args);
}

// Holds a file open for writing the way another program would, with its own
// OS-level handle, and leaves a marker in it.
class ForeignWriter {
 public:
  explicit ForeignWriter(const std::string& path) {
#ifdef _WIN32
    handle_ = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    held_ = handle_ != INVALID_HANDLE_VALUE &&
            WriteFile(handle_, kMarker, sizeof kMarker - 1, &written, nullptr);
#else
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    held_ = fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0 &&
            write(fd_, kMarker, sizeof kMarker - 1) == sizeof kMarker - 1;
#endif
  }
  ~ForeignWriter() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
#else
    if (fd_ >= 0) close(fd_);
#endif
  }
  ForeignWriter(const ForeignWriter&) = delete;
  ForeignWriter& operator=(const ForeignWriter&) = delete;

  bool held() const { return held_; }
  static constexpr char kMarker[] = "held elsewhere";

 private:
  bool held_ = false;
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
};

class DebugLog : public testing::Test {
 protected:
  void SetUp() override {
    IDebugLog::ResetForTesting();
    directory_ = test_files::MakeScratchDirectory("log");
  }
  void TearDown() override { IDebugLog::ResetForTesting(); }

  std::string PathOf(const std::string& name) const { return directory_ + "/" + name; }
  std::string OpenLog(const std::string& name = "test.log") {
    IDebugLog::OpenLogFile(PathOf(name).c_str());
    return ReadAll(PathOf(name));
  }
  std::string Logged(const std::string& name = "test.log") const { return ReadAll(PathOf(name)); }

  std::string directory_;
};

TEST_F(DebugLog, PluginStateWritesBareMessageToFileAndConsole) {
  OpenLog();
  testing::internal::CaptureStdout();
  LogInfo("SaveFile done");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "SaveFile done\n");
  EXPECT_EQ(Logged(), "SaveFile done\r\n");
}

TEST_F(DebugLog, LevelsGoToFileUpToFiveAndConsoleUpToThree) {
  OpenLog();
  testing::internal::CaptureStdout();
  LogDetail("detail %d", 5);
  LogInfo("info %d", 3);
  LogAt(6, "quiet %d", 6);
  LogAt(4, "four");
  LogProblem("problem");
  LogFatal("fatal");
  LogAt(-2147483647 - 1, "most urgent");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "info 3\nproblem\nfatal\nmost urgent\n");
  EXPECT_EQ(Logged(), "detail 5\r\ninfo 3\r\nfour\r\nproblem\r\nfatal\r\nmost urgent\r\n");
}

TEST_F(DebugLog, MessageBelowBothThresholdsIsNotFormatted) {
  OpenLog();
  // %n proves formatting: it stores the count of characters so far.
  int count = -1;
  LogAt(5, "abc%n", &count);
  ASSERT_EQ(count, 3);
  count = -1;
  LogAt(6, "abcd%n", &count);
  LogAt(2147483647, "abcd%n", &count);
  EXPECT_EQ(count, -1);
  EXPECT_EQ(Logged(), "abc\r\n");
}

TEST_F(DebugLog, LineFeedInsideAMessageIsStoredAsCrLf) {
  OpenLog();
  testing::internal::CaptureStdout();
  LogInfo("one\ntwo");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "one\ntwo\n");
  EXPECT_EQ(Logged(), "one\r\ntwo\r\n");
}

TEST_F(DebugLog, MessageLongerThanTheBufferIsCutTo8191Characters) {
  OpenLog();
  const std::string huge(10000, 'x');
  const std::string kept(8191, 'x');
  testing::internal::CaptureStdout();
  LogInfo("%s", huge.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), kept + "\n");
  EXPECT_EQ(Logged(), kept + "\r\n");
}

TEST_F(DebugLog, UnconditionalLinesReachOnlyTheFile) {
  OpenLog();
  testing::internal::CaptureStdout();
  IDebugLog::LogUnconditional("always %s", "here");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(Logged(), "always here\r\n");
}

TEST_F(DebugLog, IndentationIsOneTabPerStep) {
  OpenLog();
  IDebugLog::IncreaseIndent();
  IDebugLog::IncreaseIndent();
  LogDetail("deep");
  IDebugLog::DecreaseIndent();
  IDebugLog::DecreaseIndent();
  IDebugLog::DecreaseIndent();  // stays at 0
  LogDetail("top");
  IDebugLog::IncreaseIndent();
  LogDetail("one");
  EXPECT_EQ(Logged(), "\t\tdeep\r\ntop\r\n\tone\r\n");
}

TEST_F(DebugLog, SourceTagHeaderKeepsEightCharactersOfTheName) {
  OpenLog();
  IDebugLog::SetSourceTag("abc");
  LogDetail("short");
  IDebugLog::SetSourceTag("abcdefghijk");
  LogDetail("eleven");
  IDebugLog::SetSourceTag("a source name far longer than sixteen characters");
  LogDetail("long");
  IDebugLog::SetSourceTag("xy");
  LogDetail("replaced");
  EXPECT_EQ(Logged(),
            "[abc     ]\tshort\r\n"
            "[abcdefgh]\televen\r\n"
            "[a source]\tlong\r\n"
            "[xy      ]\treplaced\r\n");
}

TEST_F(DebugLog, BlockContinuationLinesStandUnderTheFirstLinesText) {
  OpenLog();
  testing::internal::CaptureStdout();
  IDebugLog::SetSourceTag("abc");
  IDebugLog::BeginBlock();
  LogInfo("one");
  LogInfo("two");
  IDebugLog::EndBlock();
  LogInfo("after");
  IDebugLog::IncreaseIndent();
  IDebugLog::BeginBlock();
  LogInfo("one");
  LogInfo("two");
  IDebugLog::EndBlock();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "one\ntwo\nafter\none\ntwo\n");
  EXPECT_EQ(Logged(),
            "[abc     ]\tone\r\n\t\t\ttwo\r\n"
            "[abc     ]\tafter\r\n"
            "\t[abc     ]\tone\r\n\t\t\t\ttwo\r\n");
}

TEST_F(DebugLog, TabAdvancesTheColumnToTheNextMultipleOfFour) {
  // The header's closing tab stands at column 10: 2 wide.
  IDebugLog::SetSourceTag("abc");
  IDebugLog::BeginBlock();
  EXPECT_EQ(IDebugLog::OutputColumnForTesting(), 12);
  LogDetail("completes the line");
  EXPECT_EQ(IDebugLog::OutputColumnForTesting(), 0);
  // Tabs inside the name stand at columns 1 and 4 (3 and 4 wide); the closing
  // one then stands at 15 and is 1 wide.
  IDebugLog::SetSourceTag("\t\tz");
  IDebugLog::BeginBlock();
  EXPECT_EQ(IDebugLog::OutputColumnForTesting(), 16);
  LogDetail("completes the line");
  // Inside an unfinished line the next header starts where the last ended.
  IDebugLog::SetSourceTag("ab\t");
  IDebugLog::IncreaseIndent();
  IDebugLog::IncreaseIndent();
  IDebugLog::BeginBlock();
  EXPECT_EQ(IDebugLog::OutputColumnForTesting(), 20);
  IDebugLog::BeginBlock();
  EXPECT_EQ(IDebugLog::OutputColumnForTesting(), 32);
}

TEST_F(DebugLog, HeaderTabsCountedByColumnLeaveNoStrayPadding) {
  OpenLog();
  IDebugLog::IncreaseIndent();
  IDebugLog::IncreaseIndent();
  IDebugLog::SetSourceTag("a\tb");
  IDebugLog::BeginBlock();
  LogDetail("one");
  LogDetail("two");
  EXPECT_EQ(Logged(), "\t\t[a\tb     ]\tone\r\n\t\t\t\t\ttwo\r\n");
}

TEST_F(DebugLog, FallsBackToNumberedNamesWhileOthersWrite) {
  const std::vector<std::string> names = {"test.log",  "test.log0", "test.log1",
                                          "test.log2", "test.log3", "test.log4"};
  std::vector<std::unique_ptr<ForeignWriter>> writers;
  for (std::size_t held = 1; held < names.size(); ++held) {
    writers.push_back(std::make_unique<ForeignWriter>(PathOf(names[held - 1])));
    ASSERT_TRUE(writers.back()->held());
    IDebugLog::ResetForTesting();
    OpenLog();
    LogDetail("went to %s", names[held].c_str());
    EXPECT_EQ(Logged(names[held]), "went to " + names[held] + "\r\n");
    for (std::size_t i = 0; i < held; ++i) {
      EXPECT_EQ(Logged(names[i]), ForeignWriter::kMarker) << names[i] << " was wiped";
    }
    IDebugLog::ResetForTesting();
  }
  EXPECT_EQ(ListDirectory(directory_),
            "test.log test.log0 test.log1 test.log2 test.log3 test.log4");
}

TEST_F(DebugLog, AllSixNamesHeldDropsFileOutputButNotTheConsole) {
  std::vector<std::unique_ptr<ForeignWriter>> writers;
  for (const char* name :
       {"test.log", "test.log0", "test.log1", "test.log2", "test.log3", "test.log4"}) {
    writers.push_back(std::make_unique<ForeignWriter>(PathOf(name)));
    ASSERT_TRUE(writers.back()->held());
  }
  OpenLog();
  testing::internal::CaptureStdout();
  IDebugLog::SetSourceTag("abc");
  IDebugLog::BeginBlock();
  LogInfo("still %s", "printed");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "still printed\n");
  EXPECT_EQ(IDebugLog::OutputColumnForTesting(), 0);
  EXPECT_EQ(Logged("test.log"), ForeignWriter::kMarker);
  EXPECT_EQ(Logged("test.log4"), ForeignWriter::kMarker);
  EXPECT_EQ(ListDirectory(directory_),
            "test.log test.log0 test.log1 test.log2 test.log3 test.log4");
}

TEST_F(DebugLog, SecondOpenInTheSameProcessMovesOnWithoutWipingTheFirst) {
  OpenLog();
  LogDetail("first");
  OpenLog();  // the first file stays open, as the log is meant to be opened once
  LogDetail("second");
  EXPECT_EQ(Logged("test.log"), "first\r\n");
  EXPECT_EQ(Logged("test.log0"), "second\r\n");
}

TEST_F(DebugLog, OverlongFileNameOpensNothingAndOverrunsNothing) {
  IDebugLog::OpenLogFile(PathOf(std::string(1500, 'n')).c_str());
  testing::internal::CaptureStdout();
  LogInfo("fine");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "fine\n");
  EXPECT_EQ(ListDirectory(directory_), "");
}

// Stops at once without flushing C streams: on Windows even _Exit lets the
// runtime flush them while it detaches.
[[noreturn]] void StopAbruptly() {
#ifdef _WIN32
  TerminateProcess(GetCurrentProcess(), 7);
#endif
  std::_Exit(7);
}

// The children write below the shared working directory, which both sides
// know, then stop abruptly.
TEST_F(DebugLog, EachLineIsInTheFileWhenTheProcessStopsRightAfterIt) {
  std::remove("flushed.log");
  EXPECT_EXIT(
      {
        IDebugLog::OpenLogFile("flushed.log");
        LogDetail("last words");
        StopAbruptly();
      },
      testing::ExitedWithCode(7), "");
  EXPECT_EQ(ReadAll("flushed.log"), "last words\r\n");
}

TEST_F(DebugLog, WithoutFlushAfterWriteLinesWaitInTheStreamBuffer) {
  std::remove("buffered.log");
  EXPECT_EXIT(
      {
        IDebugLog::OpenLogFile("buffered.log");
        IDebugLog::SetFlushAfterWrite(false);
        LogDetail("lost words");
        StopAbruptly();
      },
      testing::ExitedWithCode(7), "");
  EXPECT_TRUE(test_files::Exists("buffered.log"));
  EXPECT_EQ(ReadAll("buffered.log"), "");
}

}  // namespace
