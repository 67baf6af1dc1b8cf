#include "os/FileReplace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#if defined(_WIN32)
#include <process.h>
#else
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#endif

#include "harness/FreshProcess.h"
#include "harness/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using test_files::ListDirectory;
using test_files::ReadAll;
using test_files::WriteAll;

std::span<const std::byte> Bytes(const std::string& text) { return std::as_bytes(std::span(text)); }

int ProcessId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

// Scratch directories are made directly in the working directory.
std::string NameInWorkingDirectory(const std::string& scratch) {
  return fs::path(scratch).filename().string();
}

TEST(FileReplaceTest, WritesABareNameInTheWorkingDirectory) {
  EXPECT_EQ(os::ReplaceFileContents("bare-name.txt", Bytes("here")), os::ReplaceOutcome::kReplaced);
  EXPECT_EQ(ReadAll("bare-name.txt"), "here");
  fs::remove("bare-name.txt");
}

TEST(FileReplaceTest, NeverOverwritesAFileThatHoldsTheTemporaryName) {
  const std::string directory = test_files::MakeScratchDirectory("replace");
  const std::string bystander = "~ql" + std::to_string(ProcessId()) + "-1.tmp";
  WriteAll(directory + "/" + bystander, "someone else's");

  const std::string target = NameInWorkingDirectory(directory) + "\\x.txt";
  EXPECT_EQ(os::ReplaceFileContents(target.c_str(), Bytes("mine")), os::ReplaceOutcome::kReplaced);
  EXPECT_EQ(ReadAll(directory + "/x.txt"), "mine");
  EXPECT_EQ(ReadAll(directory + "/" + bystander), "someone else's");
  EXPECT_EQ(ListDirectory(directory), "x.txt " + bystander);
}

#if !defined(_WIN32)
TEST(FileReplaceTest, KeepsTheOldFilesPermissions) {
  const std::string directory = test_files::MakeScratchDirectory("replace");
  WriteAll(directory + "/private.txt", "old");
  ASSERT_EQ(chmod((directory + "/private.txt").c_str(), 0640), 0);

  const std::string target = NameInWorkingDirectory(directory) + "\\private.txt";
  EXPECT_EQ(os::ReplaceFileContents(target.c_str(), Bytes("new")), os::ReplaceOutcome::kReplaced);
  struct stat status {};
  ASSERT_EQ(stat((directory + "/private.txt").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
}

// Runs as an ordinary user (root turns into nobody first), whom the owner's
// bits bind even where others' bits would let anyone write.
void RefusesTheOwnerWithoutWritePermission(const std::string& directory) {
  const std::string file = directory + "/mine.txt";
  if (geteuid() == 0) {
    const uid_t nobody = 65534;
    if (chown(file.c_str(), nobody, nobody) != 0 || chmod(directory.c_str(), 0777) != 0 ||
        setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) {
      std::exit(2);
    }
  }
  const std::string target = NameInWorkingDirectory(directory) + "\\mine.txt";
  if (os::ReplaceFileContents(target.c_str(), Bytes("new")) != os::ReplaceOutcome::kOpenFailed) std::exit(3);
  if (ReadAll(file) != "old") std::exit(4);
}

TEST(FileReplaceTest, JudgesWritePermissionByTheCallersClassOfBits) {
  const std::string directory = test_files::MakeScratchDirectory("replace");
  WriteAll(directory + "/mine.txt", "old");
  ASSERT_EQ(chmod((directory + "/mine.txt").c_str(), 0466), 0);
  EXPECT_IN_FRESH_PROCESS(RefusesTheOwnerWithoutWritePermission(directory));
}
#endif

}  // namespace
