// The log when none of its six file names can be opened: file output is
// dropped, while the console echo, the column counting and every caller go on.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "faults/FaultTesting.h"
#include "faults/PrivateMounts.h"
#include "harness/TestFiles.h"
#include "sim/LinkedPlugin.h"
#include "sim/SimSession.h"
#include "sim/SimUiRuntime.h"
#include "support/IDebugLog.h"

namespace {

namespace fs = std::filesystem;

const char kLogName[] = "skse_quiverleaf_extensions.log";

std::string FileNames(const std::string& stem) {
  std::string names = stem;
  for (int digit = 0; digit < 5; ++digit) names += " " + stem + std::to_string(digit);
  return names;
}

// Reopens the log in `directory`, which refuses every name, and drives the
// plug-in through a whole session with the console going to a file.
void RunWithoutALogFile(const std::string& directory, const std::string& expectedListing) {
  const std::string console = fs::absolute("console.txt").string();
  fs::current_path(directory);
  CHECK_IN_CHILD(std::freopen(console.c_str(), "w", stdout) != nullptr);

  IDebugLog::CloseLogFile();
  IDebugLog::OpenLogFile(kLogName);
  {
    sim::SimSession session(sim::LinkedPlugin());
    CHECK_IN_CHILD(session.loaded);
    auto& ui = sim::SimUiRuntime::Get();
    CHECK_IN_CHILD(session.movie.Call("saveFile", {}).IsBoolean(false));
    CHECK_IN_CHILD(session.movie.Call("Win1251ToUTF8", {ui.String("\xC3\x8F")}).Text() == "\xD0\x9F");
  }
  // The counters run on without a file: a block's header still moves the column.
  IDebugLog::SetSourceTag("abc");
  IDebugLog::BeginBlock();
  CHECK_IN_CHILD(IDebugLog::OutputColumnForTesting() == 12);
  LogInfo("in the block");
  CHECK_IN_CHILD(IDebugLog::OutputColumnForTesting() == 0);
  IDebugLog::EndBlock();
  LogDetail("level 5: the file only, which there is none of");
  std::fflush(stdout);

  // Windows writes the console's line feeds in text mode, as CR LF.
  std::string echoed = test_files::ReadAll(console);
  echoed.erase(std::remove(echoed.begin(), echoed.end(), '\r'), echoed.end());
  CHECK_EQ_IN_CHILD(echoed,
                    "SKSEPlugin_Query start\nSKSEPlugin_Query done\n"
                    "SKSEPlugin_Load start\nSKSEPlugin_Load done\n"
                    "RegisterScaleform start\nRegisterScaleform done\n"
                    "SaveFile start\nSaveFile: Bad number of arguments: 0, expected 2\n"
                    "in the block\n");
  CHECK_EQ_IN_CHILD(test_files::ListDirectory(directory), expectedListing);
}

// Portable: each of the six names is taken by a directory.
void RunWhereEveryNameIsADirectory() {
  const std::string directory = test_files::MakeScratchDirectory("taken");
  fs::create_directory(fs::path(directory) / kLogName);
  for (int digit = 0; digit < 5; ++digit) {
    fs::create_directory(fs::path(directory) / (kLogName + std::to_string(digit)));
  }
  RunWithoutALogFile(directory, FileNames(kLogName));
  for (const auto& entry : fs::directory_iterator(directory)) {
    CHECK_IN_CHILD(fs::is_directory(entry.path()) && fs::is_empty(entry.path()));
  }
}

TEST(LogFaults, EveryNameTakenByADirectoryLeavesTheConsoleGoing) {
  EXPECT_IN_FRESH_PROCESS(RunWhereEveryNameIsADirectory());
}

void RunInAReadOnlyDirectory() {
  const std::string directory = test_files::MakeScratchDirectory("readonly-cwd");
  CHECK_IN_CHILD(faults::EnterPrivateMountNamespace());
  CHECK_IN_CHILD(faults::MountTmpfs(directory, "size=64k"));
  CHECK_IN_CHILD(faults::RemountReadOnly(directory));
  RunWithoutALogFile(directory, "");
}

TEST(LogFaults, ReadOnlyCurrentDirectoryLeavesTheConsoleGoing) {
  SKIP_WITHOUT_PRIVATE_MOUNTS();
  EXPECT_IN_FRESH_PROCESS(RunInAReadOnlyDirectory());
}

}  // namespace
