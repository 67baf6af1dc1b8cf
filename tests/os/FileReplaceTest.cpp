#include "os/FileReplace.h"
#include "os/TemporaryName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
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

// Scratch directories are made directly in the working directory.
std::string NameInWorkingDirectory(const std::string& scratch) {
  return fs::path(scratch).filename().string();
}

TEST(FileReplaceTest, WritesABareNameInTheWorkingDirectory) {
  EXPECT_EQ(os::ReplaceFileContents("bare-name.txt", Bytes("here")), os::ReplaceOutcome::kReplaced);
  EXPECT_EQ(ReadAll("bare-name.txt"), "here");
  fs::remove("bare-name.txt");
}

// A save killed half-way (a game crash) leaves its temporary file beside the
// target; the next save of that target reuses it and leaves nothing behind.
TEST(FileReplaceTest, TheNextSaveRemovesWhatACrashedSaveLeftBeside) {
  const std::string directory = test_files::MakeScratchDirectory("replace");
  WriteAll(directory + "/.x.txt.quiverleaf-tmp", "half of a crashed save, longer than the new text");

  const std::string target = NameInWorkingDirectory(directory) + "\\x.txt";
  EXPECT_EQ(os::ReplaceFileContents(target.c_str(), Bytes("mine")), os::ReplaceOutcome::kReplaced);
  EXPECT_EQ(ReadAll(directory + "/x.txt"), "mine");
  EXPECT_EQ(ListDirectory(directory), "x.txt");
}

TEST(FileReplaceTest, NamesTheTemporaryFileFromTheTargetWithinThePathLimits) {
  EXPECT_EQ(os::TemporaryNameFor("a\\b\\x.txt", 260, 255), "a\\b\\.x.txt.quiverleaf-tmp");
  EXPECT_EQ(os::TemporaryNameFor("x.txt", 260, 255), ".x.txt.quiverleaf-tmp");
  // A target that just fits the limit still gets a name that fits.
  const std::string deep = "d\\" + std::string(240, 'n');
  const std::string shortName = os::TemporaryNameFor(deep, 259, 255);
  EXPECT_EQ(shortName.rfind("d\\~ql", 0), 0u);
  EXPECT_LE(shortName.size(), 259u);
  EXPECT_NE(shortName, os::TemporaryNameFor("d\\" + std::string(239, 'n') + "m", 259, 255));
  // Deep enough that even the short name has to be cut, or cannot be made.
  EXPECT_EQ(os::TemporaryNameFor("d\\x.txt", 10, 255).size(), 10u);
  EXPECT_EQ(os::TemporaryNameFor("d\\x.txt", 5, 255), "");
}

#if defined(_WIN32)
TEST(FileReplaceTest, KeepsHiddenAndSystemAndReusesAHiddenLeftover) {
  const std::string directory = test_files::MakeScratchDirectory("replace");
  WriteAll(directory + "/x.txt", "old");
  WriteAll(directory + "/.x.txt.quiverleaf-tmp", "leftover");
  ASSERT_TRUE(SetFileAttributesA((directory + "/x.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(SetFileAttributesA((directory + "/.x.txt.quiverleaf-tmp").c_str(), FILE_ATTRIBUTE_HIDDEN));

  const std::string target = NameInWorkingDirectory(directory) + "\\x.txt";
  EXPECT_EQ(os::ReplaceFileContents(target.c_str(), Bytes("new")), os::ReplaceOutcome::kReplaced);
  EXPECT_EQ(ReadAll(directory + "/x.txt"), "new");
  const DWORD attributes = GetFileAttributesA((directory + "/x.txt").c_str());
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_EQ(GetFileAttributesA((directory + "/.x.txt.quiverleaf-tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(FileReplaceTest, ASecondSaverOfTheSameTargetFailsCleanly) {
  const std::string directory = test_files::MakeScratchDirectory("replace");
  WriteAll(directory + "/x.txt", "old");
  const HANDLE held = CreateFileA((directory + "/.x.txt.quiverleaf-tmp").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const std::string target = NameInWorkingDirectory(directory) + "\\x.txt";
  EXPECT_EQ(os::ReplaceFileContents(target.c_str(), Bytes("second")), os::ReplaceOutcome::kOpenFailed);
  EXPECT_EQ(ReadAll(directory + "/x.txt"), "old");
  CloseHandle(held);
}
#endif

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

// A second saver of the same target fails cleanly while the first holds its
// temporary file, instead of mixing the two texts.
TEST(FileReplaceTest, ASecondSaverOfTheSameTargetFailsCleanly) {
  const std::string directory = test_files::MakeScratchDirectory("replace");
  WriteAll(directory + "/x.txt", "old");
  const std::string temporary = directory + "/.x.txt.quiverleaf-tmp";
  const int held = open(temporary.c_str(), O_WRONLY | O_CREAT, 0666);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);

  const std::string target = NameInWorkingDirectory(directory) + "\\x.txt";
  EXPECT_EQ(os::ReplaceFileContents(target.c_str(), Bytes("second")), os::ReplaceOutcome::kOpenFailed);
  EXPECT_EQ(ReadAll(directory + "/x.txt"), "old");
  close(held);
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
