// "saveFile" when the file system fails for real: out of space, out of
// inodes, read-only. Whatever fails, the answer is false with the line that
// says why, the old file keeps its bytes and no temporary file is left.
// (A target held by another handle is a Windows fault: the saveFile suite
// covers it under Wine.)

#include <gtest/gtest.h>

#include <string>

#include "faults/FaultTesting.h"
#include "faults/PrivateMounts.h"
#include "harness/LogCapture.h"
#include "harness/TestFiles.h"
#include "sim/LinkedPlugin.h"
#include "sim/SimSession.h"
#include "sim/SimUiRuntime.h"

namespace {

using faults::LogLine;
using test_files::ListDirectory;
using test_files::ReadAll;
using test_files::WriteAll;

const std::string kOldBytes = "old bytes, which must survive";

// A game whose directory is `directory`, and saves into it.
class Game {
 public:
  explicit Game(const std::string& directory)
      : root_(faults::PointRuntimeRootAt(directory)), session_(sim::LinkedPlugin()) {
    CHECK_IN_CHILD(session_.loaded);
  }

  const std::string& Root() const { return root_; }

  sim::CallOutcome Save(const std::string& name, const std::string& text) {
    auto& ui = sim::SimUiRuntime::Get();
    return session_.movie.Call("saveFile", {ui.String(name.c_str()), ui.String(text.c_str())});
  }

 private:
  std::string root_;
  sim::SimSession session_;
};

// The first save also logs the runtime root it found.
std::string FirstSaveRefused(const std::string& root, const std::string& reason, const std::string& name) {
  return LogLine("SaveFile start") + LogLine("runtime root = " + root) +
         LogLine("SaveFile: " + reason + ", path: " + root + name);
}

void RefusedWhenTheDiskFillsUp() {
  const std::string directory = test_files::MakeScratchDirectory("full");
  CHECK_IN_CHILD(faults::EnterPrivateMountNamespace());
  CHECK_IN_CHILD(faults::MountTmpfs(directory, "size=64k"));
  WriteAll(directory + "/x.txt", kOldBytes);
  Game game(directory);
  LogCapture log;

  CHECK_IN_CHILD(game.Save("x.txt", std::string(1 << 20, 'n')).IsBoolean(false));
  CHECK_EQ_IN_CHILD(log.Text(), FirstSaveRefused(game.Root(), "Could not write file", "x.txt"));
  CHECK_EQ_IN_CHILD(ReadAll(directory + "/x.txt"), kOldBytes);
  CHECK_EQ_IN_CHILD(ListDirectory(directory), "x.txt");

  // The space the failed write took is back: a text that fits is written.
  CHECK_IN_CHILD(game.Save("x.txt", "fits").IsBoolean(true));
  CHECK_EQ_IN_CHILD(ReadAll(directory + "/x.txt"), "fits");
  CHECK_EQ_IN_CHILD(ListDirectory(directory), "x.txt");
}

TEST(SaveFileFaults, DiskFullMidWriteKeepsTheOldFile) {
  SKIP_WITHOUT_PRIVATE_MOUNTS();
  EXPECT_IN_FRESH_PROCESS(RefusedWhenTheDiskFillsUp());
}

void RefusedWhenNoInodeIsLeft() {
  const std::string directory = test_files::MakeScratchDirectory("inodes");
  CHECK_IN_CHILD(faults::EnterPrivateMountNamespace());
  // The root directory and x.txt take both inodes: no new file can be made.
  CHECK_IN_CHILD(faults::MountTmpfs(directory, "size=1m,nr_inodes=2"));
  WriteAll(directory + "/x.txt", kOldBytes);
  Game game(directory);
  LogCapture log;

  CHECK_IN_CHILD(game.Save("x.txt", "new").IsBoolean(false));
  CHECK_EQ_IN_CHILD(log.Text(), FirstSaveRefused(game.Root(), "Could not open file for writting", "x.txt"));
  CHECK_EQ_IN_CHILD(ReadAll(directory + "/x.txt"), kOldBytes);
  CHECK_EQ_IN_CHILD(ListDirectory(directory), "x.txt");
}

TEST(SaveFileFaults, NoInodeLeftIsAFailedOpen) {
  SKIP_WITHOUT_PRIVATE_MOUNTS();
  EXPECT_IN_FRESH_PROCESS(RefusedWhenNoInodeIsLeft());
}

// Both an existing file and a new name are refused at the open.
void ExpectReadOnlyDirectoryRefusesSaves(const std::string& writable, const std::string& seen) {
  Game game(seen);
  LogCapture log;

  CHECK_IN_CHILD(game.Save("x.txt", "new").IsBoolean(false));
  CHECK_IN_CHILD(game.Save("y.txt", "new").IsBoolean(false));
  CHECK_EQ_IN_CHILD(log.Text(), FirstSaveRefused(game.Root(), "Could not open file for writting", "x.txt") +
                                    LogLine("SaveFile start") +
                                    LogLine("SaveFile: Could not open file for writting, path: " +
                                            game.Root() + "y.txt"));
  CHECK_EQ_IN_CHILD(ReadAll(writable + "/x.txt"), kOldBytes);
  CHECK_EQ_IN_CHILD(ListDirectory(writable), "x.txt");
}

void RefusedOnAReadOnlyTmpfs() {
  const std::string directory = test_files::MakeScratchDirectory("readonly");
  CHECK_IN_CHILD(faults::EnterPrivateMountNamespace());
  CHECK_IN_CHILD(faults::MountTmpfs(directory, "size=1m"));
  WriteAll(directory + "/x.txt", kOldBytes);
  CHECK_IN_CHILD(faults::RemountReadOnly(directory));
  ExpectReadOnlyDirectoryRefusesSaves(directory, directory);
}

TEST(SaveFileFaults, ReadOnlyFileSystemRefusesTheOpen) {
  SKIP_WITHOUT_PRIVATE_MOUNTS();
  EXPECT_IN_FRESH_PROCESS(RefusedOnAReadOnlyTmpfs());
}

void RefusedThroughAReadOnlyBindMount() {
  const std::string writable = test_files::MakeScratchDirectory("writable");
  const std::string view = test_files::MakeScratchDirectory("view");
  WriteAll(writable + "/x.txt", kOldBytes);
  CHECK_IN_CHILD(faults::EnterPrivateMountNamespace());
  CHECK_IN_CHILD(faults::BindMountReadOnly(writable, view));
  ExpectReadOnlyDirectoryRefusesSaves(writable, view);
}

TEST(SaveFileFaults, ReadOnlyBindMountRefusesTheOpen) {
  SKIP_WITHOUT_PRIVATE_MOUNTS();
  EXPECT_IN_FRESH_PROCESS(RefusedThroughAReadOnlyBindMount());
}

}  // namespace
