#include "os/LogFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "harness/Racer.h"
#include "harness/TestFiles.h"
#include "harness/TestLinks.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <cerrno>
#endif

namespace {

using test_files::ReadAll;

class LogFileTest : public testing::Test {
 protected:
  void SetUp() override { path_ = test_files::MakeScratchDirectory("logfile") + "/x.log"; }
  std::string path_;
};

TEST_F(LogFileTest, StoresEveryLineFeedAsCrLfAsWindowsTextModeDoes) {
  os::LogFile file = os::LogFile::OpenDenyWrite(path_.c_str());
  ASSERT_TRUE(file.IsOpen());
  file.Write("a\nb\r\n\n");
  file.Write("c");
  file.Write("\n");
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ReadAll(path_), "a\r\nb\r\r\n\r\nc\r\n");
}

TEST_F(LogFileTest, OpeningEmptiesAnUnheldFile) {
  test_files::WriteAll(path_, "old contents");
  os::LogFile file = os::LogFile::OpenDenyWrite(path_.c_str());
  ASSERT_TRUE(file.IsOpen());
  file.Close();
  EXPECT_EQ(ReadAll(path_), "");
}

TEST_F(LogFileTest, SecondWriterIsRefusedAndLeavesTheHoldersBytes) {
  os::LogFile holder = os::LogFile::OpenDenyWrite(path_.c_str());
  ASSERT_TRUE(holder.IsOpen());
  holder.Write("kept");
  holder.Flush();
  os::LogFile second = os::LogFile::OpenDenyWrite(path_.c_str());
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(ReadAll(path_), "kept");  // readers are welcome
  holder.Close();

  os::LogFile afterClose = os::LogFile::OpenDenyWrite(path_.c_str());
  EXPECT_TRUE(afterClose.IsOpen());
  afterClose.Close();
  EXPECT_EQ(ReadAll(path_), "");
}

// Opening a log empties it: a file that a link at the name leads to, or that
// has other names, is not the log's to empty.
TEST_F(LogFileTest, RefusesALinkAndAFileWithMoreThanOneName) {
  const std::string directory = test_files::MakeScratchDirectory("outside");
  test_files::WriteAll(directory + "/victim", "not the log's");
  ASSERT_TRUE(test_files::MakeSymbolicLink("../" + std::filesystem::path(directory).filename().string() + "/victim",
                                           path_));
  EXPECT_FALSE(os::LogFile::OpenDenyWrite(path_.c_str()).IsOpen());
  const std::string secondName = path_ + "0";
  ASSERT_TRUE(test_files::MakeHardLink(directory + "/victim", secondName));
  EXPECT_FALSE(os::LogFile::OpenDenyWrite(secondName.c_str()).IsOpen());
  EXPECT_EQ(ReadAll(directory + "/victim"), "not the log's");
}

// A dangling link at the name must not make the file it names: an
// open-or-create through it would, outside the log's folder.
TEST_F(LogFileTest, CreatesNothingThroughADanglingLink) {
  const std::string directory = test_files::MakeScratchDirectory("outside");
  ASSERT_TRUE(test_files::MakeSymbolicLink("../" + std::filesystem::path(directory).filename().string() + "/ghost",
                                           path_));
  os::LogFile file = os::LogFile::OpenDenyWrite(path_.c_str());
  EXPECT_FALSE(file.IsOpen());
  file.Close();
  EXPECT_EQ(test_files::ListDirectory(directory), "");
}

// Another process keeps giving an outside file a second name at the log's
// name and taking it away again. Once it is gone the file has one link, but
// it is not the log's: opening must never empty it.
TEST_F(LogFileTest, NeverEmptiesAnOutsideFileWhoseSecondNameARacerRemoves) {
  const std::string directory = test_files::MakeScratchDirectory("outside");
  const std::string victim = directory + "/victim";
  test_files::WriteAll(victim, "not the log's");
  int loads = 0;
  int emptied = 0;
  {
    const test_files::Racer racer(test_files::RacerMoves::kSecondNameAtName, path_, victim);
    if (!racer.Running()) GTEST_SKIP() << "no racer here";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (; loads < 20000 && std::chrono::steady_clock::now() < deadline; ++loads) {
      os::LogFile file = os::LogFile::OpenDenyWrite(path_.c_str());
      file.Close();
      if (ReadAll(victim) != "not the log's") {
        ++emptied;
        test_files::WriteAll(victim, "not the log's");
      }
    }
  }
  RecordProperty("loads", loads);
  EXPECT_EQ(emptied, 0);
}

#ifndef _WIN32
// A FIFO or a directory at the name is no log: the open returns at once,
// closed, so the caller moves on to its fallback names. The child's alarm
// turns a blocking open into a failure instead of a hang.
TEST_F(LogFileTest, OnlyARegularFileIsOpenedAndNothingBlocks) {
  const std::string directory = path_ + ".d";
  ASSERT_EQ(mkfifo(path_.c_str(), 0666), 0);
  ASSERT_EQ(mkdir(directory.c_str(), 0777), 0);
  EXPECT_EXIT(
      {
        alarm(5);
        const bool fifoRefused = !os::LogFile::OpenDenyWrite(path_.c_str()).IsOpen();
        const bool directoryRefused = !os::LogFile::OpenDenyWrite(directory.c_str()).IsOpen();
        std::exit(fifoRefused && directoryRefused ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}
#endif

TEST_F(LogFileTest, MissingDirectoryGivesAClosedHandleThatIgnoresUse) {
  os::LogFile file = os::LogFile::OpenDenyWrite((path_ + "/no/such/x.log").c_str());
  EXPECT_FALSE(file.IsOpen());
  file.Write("nothing\n");
  file.Flush();
  file.Close();
  EXPECT_FALSE(file.IsOpen());
}

#ifdef _WIN32

TEST_F(LogFileTest, OtherWritersGetASharingViolationWhileReadersGetIn) {
  os::LogFile file = os::LogFile::OpenDenyWrite(path_.c_str());
  ASSERT_TRUE(file.IsOpen());
  file.Write("line\n");
  file.Flush();

  const HANDLE writer = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);

  const HANDLE reader = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  char bytes[16] = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(reader, bytes, sizeof bytes, &read, nullptr));
  EXPECT_EQ(std::string(bytes, read), "line\r\n");
  CloseHandle(reader);
  file.Close();
}

TEST_F(LogFileTest, RefusedWhileAnotherHandleWrites) {
  const HANDLE writer = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(os::LogFile::OpenDenyWrite(path_.c_str()).IsOpen());
  CloseHandle(writer);
  os::LogFile file = os::LogFile::OpenDenyWrite(path_.c_str());
  EXPECT_TRUE(file.IsOpen());
  file.Close();
}

#else

TEST_F(LogFileTest, HoldsAnExclusiveLockOnItsOwnOpenFileDescription) {
  os::LogFile file = os::LogFile::OpenDenyWrite(path_.c_str());
  ASSERT_TRUE(file.IsOpen());
  const int other = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(errno, EWOULDBLOCK);
  file.Close();
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  close(other);
}

TEST_F(LogFileTest, RefusedWhileAnotherDescriptionHoldsTheLock) {
  const int other = open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  ASSERT_GE(other, 0);
  ASSERT_EQ(write(other, "theirs", 6), 6);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(os::LogFile::OpenDenyWrite(path_.c_str()).IsOpen());
  EXPECT_EQ(ReadAll(path_), "theirs");
  close(other);
}

#endif

}  // namespace
