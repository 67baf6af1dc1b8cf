#include "os/FileReplace.h"
#include "os/TemporaryName.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

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
#include "harness/Racer.h"
#include "harness/TestFiles.h"
#include "harness/TestLinks.h"
#if defined(_WIN32)
#include "harness/HiddenFunctions.h"
#endif

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

// A target beside whose temporary name something was put that leads to a
// file outside: that file must keep its bytes whatever the save does.
struct Planted {
  std::string directory;
  std::string target;     // as the plug-in passes it
  std::string temporary;  // where the planted thing sits
  std::string outside;    // the file it leads to
};

Planted PlantBesideTarget() {
  const std::string outsideDirectory = test_files::MakeScratchDirectory("outside");
  WriteAll(outsideDirectory + "/victim", "not the game's");
  const std::string directory = test_files::MakeScratchDirectory("replace");
  WriteAll(directory + "/x.txt", "old");
  return {directory, NameInWorkingDirectory(directory) + "\\x.txt", directory + "/.x.txt.quiverleaf-tmp",
          outsideDirectory + "/victim"};
}

TEST(FileReplaceTest, AHardLinkAtTheTemporaryNameIsRemovedNotWritten) {
  const Planted planted = PlantBesideTarget();
  ASSERT_TRUE(test_files::MakeHardLink(planted.outside, planted.temporary));
  EXPECT_EQ(os::ReplaceFileContents(planted.target.c_str(), Bytes("new")), os::ReplaceOutcome::kReplaced);
  EXPECT_EQ(ReadAll(planted.directory + "/x.txt"), "new");
  EXPECT_EQ(ReadAll(planted.outside), "not the game's");
  EXPECT_EQ(ListDirectory(planted.directory), "x.txt");
}

TEST(FileReplaceTest, AFolderAtTheTemporaryNameFailsTheSaveAndStays) {
  const Planted planted = PlantBesideTarget();
  fs::create_directory(planted.temporary);
  WriteAll(planted.temporary + "/inside", "kept");
  EXPECT_EQ(os::ReplaceFileContents(planted.target.c_str(), Bytes("new")), os::ReplaceOutcome::kOpenFailed);
  EXPECT_EQ(ReadAll(planted.directory + "/x.txt"), "old");
  EXPECT_EQ(ReadAll(planted.temporary + "/inside"), "kept");
}

// Another process of the same user keeps moving its own file, a second name
// of an outside file and a symbolic link to it onto the temporary name.
// Whatever sits there at the rename takes the target's place, so only a check
// of the placed file keeps a true answer honest. It also makes and removes a
// link at the name, which Wine may follow during the create: the file it
// leads to must then be neither written nor moved.
TEST(FileReplaceTest, ATrueAnswerMeansTheTargetHoldsTheTextWhatARacerSwapsIn) {
  const Planted planted = PlantBesideTarget();
  int trueAnswers = 0;
  int wrongTrueAnswers = 0;
  {
    const test_files::Racer racer(test_files::RacerMoves::kSwapOntoName, planted.temporary, planted.outside);
    if (!racer.Running()) GTEST_SKIP() << "no racer here";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (int save = 0; save < 2000 && std::chrono::steady_clock::now() < deadline; ++save) {
      const std::string text = "S" + std::to_string(save);
      if (os::ReplaceFileContents(planted.target.c_str(), Bytes(text)) != os::ReplaceOutcome::kReplaced) continue;
      ++trueAnswers;
      if (ReadAll(planted.directory + "/x.txt") != text) ++wrongTrueAnswers;
      if (ReadAll(planted.outside) != "not the game's") break;
    }
  }
  RecordProperty("trueAnswers", trueAnswers);
  EXPECT_EQ(wrongTrueAnswers, 0) << "of " << trueAnswers;
  EXPECT_EQ(ReadAll(planted.outside), "not the game's");
}

#if defined(_WIN32)
// Wine cannot remove a link to a file without deleting what it leads to, so
// there the save fails; Windows removes the link. Either way nothing outside
// is written, moved or deleted.
TEST(FileReplaceTest, ASymbolicLinkAtTheTemporaryNameIsNeverFollowed) {
  const Planted planted = PlantBesideTarget();
  ASSERT_TRUE(test_files::MakeSymbolicLink("../" + fs::path(planted.outside).parent_path().filename().string() +
                                               "/victim",
                                           planted.temporary));
  const os::ReplaceOutcome outcome = os::ReplaceFileContents(planted.target.c_str(), Bytes("new"));
  EXPECT_EQ(ReadAll(planted.outside), "not the game's");
  EXPECT_EQ(ReadAll(planted.directory + "/x.txt"), outcome == os::ReplaceOutcome::kReplaced ? "new" : "old");
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string ReadWide(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "(unreadable)";
  char bytes[64];
  DWORD read = 0;
  ReadFile(file, bytes, sizeof bytes, &read, nullptr);
  CloseHandle(file);
  return std::string(bytes, read);
}

// Past MAX_PATH the narrow attribute check used to fail and be skipped while
// the rename went through: a read-only target was overwritten.
TEST(FileReplaceTest, JudgesATargetPastMaxPathAsAnyOther) {
  const std::string directory = test_files::MakeScratchDirectory("replace");
  std::string deep;
  std::wstring folder = L"\\\\?\\" + Wide(directory);
  for (const char letter : {'d', 'e'}) {
    deep += "\\" + std::string(100, letter);
    folder += L"\\" + std::wstring(100, static_cast<wchar_t>(letter));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  }
  const std::string name = std::string(50, 'x') + ".txt";
  const std::wstring file = folder + L"\\" + Wide(name);
  const HANDLE created = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(created, "old", 3, &written, nullptr);
  CloseHandle(created);
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  const std::string target = NameInWorkingDirectory(directory) + deep + "\\" + name;
  ASSERT_GT(target.size(), static_cast<std::size_t>(MAX_PATH));
  EXPECT_EQ(os::ReplaceFileContents(target.c_str(), Bytes("new")), os::ReplaceOutcome::kOpenFailed);
  EXPECT_EQ(ReadWide(file), "old");
  EXPECT_EQ(GetFileAttributesW(file.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(os::ReplaceFileContents(target.c_str(), Bytes("new")), os::ReplaceOutcome::kReplaced);
  EXPECT_EQ(ReadWide(file), "new");
  EXPECT_NE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

// Windows XP has neither the rename nor the delete through a handle: the
// closed temporary file is moved into place by name, and a read-only leftover
// is cleared by name.
TEST(FileReplaceTest, ReplacesWithoutTheFunctionsNewerThanWindowsXp) {
  const std::string directory = test_files::MakeScratchDirectory("replace");
  WriteAll(directory + "/x.txt", "old");
  WriteAll(directory + "/.x.txt.quiverleaf-tmp", "a crashed save's");
  ASSERT_TRUE(SetFileAttributesA((directory + "/.x.txt.quiverleaf-tmp").c_str(), FILE_ATTRIBUTE_READONLY));
  const test_windows::HiddenFunctions xp({"SetFileInformationByHandle", "GetFinalPathNameByHandleW"});
  ASSERT_TRUE(xp.Installed());
  const std::string target = NameInWorkingDirectory(directory) + "\\x.txt";
  EXPECT_EQ(os::ReplaceFileContents(target.c_str(), Bytes("new")), os::ReplaceOutcome::kReplaced);
  EXPECT_EQ(ReadAll(directory + "/x.txt"), "new");
  EXPECT_EQ(ListDirectory(directory), "x.txt");
}

// A read-only file refuses to be deleted: the leftover's attribute must be
// cleared first, or it would fail every later save.
TEST(FileReplaceTest, AReadOnlyLeftoverIsRemovedAndTheSaveGoesThrough) {
  const std::string directory = test_files::MakeScratchDirectory("replace");
  WriteAll(directory + "/x.txt", "old");
  WriteAll(directory + "/.x.txt.quiverleaf-tmp", "leftover");
  ASSERT_TRUE(SetFileAttributesA((directory + "/.x.txt.quiverleaf-tmp").c_str(), FILE_ATTRIBUTE_READONLY));
  const std::string target = NameInWorkingDirectory(directory) + "\\x.txt";
  EXPECT_EQ(os::ReplaceFileContents(target.c_str(), Bytes("new")), os::ReplaceOutcome::kReplaced);
  EXPECT_EQ(ReadAll(directory + "/x.txt"), "new");
  EXPECT_EQ(ListDirectory(directory), "x.txt");
}

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

TEST(FileReplaceTest, ASymbolicLinkAtTheTemporaryNameIsRemovedNotFollowed) {
  const Planted planted = PlantBesideTarget();
  ASSERT_EQ(chmod(planted.outside.c_str(), 0600), 0);
  ASSERT_TRUE(test_files::MakeSymbolicLink(planted.outside, planted.temporary));
  EXPECT_EQ(os::ReplaceFileContents(planted.target.c_str(), Bytes("new")), os::ReplaceOutcome::kReplaced);
  EXPECT_EQ(ReadAll(planted.directory + "/x.txt"), "new");
  EXPECT_EQ(ReadAll(planted.outside), "not the game's");
  struct stat status {};
  ASSERT_EQ(stat(planted.outside.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_EQ(ListDirectory(planted.directory), "x.txt");
}

// Opening a FIFO for writing waits for a reader: the child's alarm turns a
// hang into a failure.
TEST(FileReplaceTest, AFifoAtTheTemporaryNameIsRemovedWithoutWaiting) {
  const Planted planted = PlantBesideTarget();
  ASSERT_EQ(mkfifo(planted.temporary.c_str(), 0666), 0);
  EXPECT_IN_FRESH_PROCESS({
    alarm(5);
    CHECK_IN_CHILD(os::ReplaceFileContents(planted.target.c_str(), Bytes("new")) == os::ReplaceOutcome::kReplaced);
    CHECK_IN_CHILD(ReadAll(planted.directory + "/x.txt") == "new");
    CHECK_IN_CHILD(ListDirectory(planted.directory) == "x.txt");
  });
}

// Savers of one target at once, each with a file description of its own as
// separate processes have: each either replaces the whole file or fails
// cleanly, so whenever it is read the target holds one saver's whole text,
// and no temporary file is left behind.
TEST(FileReplaceTest, ManySimultaneousSaversNeverMixTheirTexts) {
  const std::string directory = test_files::MakeScratchDirectory("replace");
  const std::string target = NameInWorkingDirectory(directory) + "\\x.txt";
  constexpr int kSavers = 40;
  constexpr std::size_t kLength = 64 * 1024;
  const auto textOf = [](int saver) { return std::string(kLength + saver, static_cast<char>('A' + saver % 26)); };
  const auto isWhole = [&](const std::string& text) {
    return text.size() >= kLength && text.size() < kLength + kSavers &&
           text == textOf(static_cast<int>(text.size() - kLength));
  };
  std::atomic<int> broken{0};
  std::vector<std::thread> savers;
  for (int saver = 0; saver < kSavers; ++saver) {
    savers.emplace_back([&, saver] {
      const std::string text = textOf(saver);
      for (int round = 0; round < 10; ++round) {
        if (os::ReplaceFileContents(target.c_str(), Bytes(text)) == os::ReplaceOutcome::kReplaced &&
            !isWhole(ReadAll(directory + "/x.txt"))) {
          ++broken;
        }
      }
    });
  }
  for (std::thread& saver : savers) saver.join();
  EXPECT_EQ(broken, 0);
  EXPECT_TRUE(isWhole(ReadAll(directory + "/x.txt")));
  EXPECT_EQ(ListDirectory(directory), "x.txt");
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
