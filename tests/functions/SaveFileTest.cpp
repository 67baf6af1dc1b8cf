// "saveFile" as the game calls it: through the simulated host, on a movie's
// namespace object, with the runtime root pointed at a scratch directory.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#endif

#include "functions/RuntimeRoot.h"
#include "harness/LogCapture.h"
#include "harness/FreshProcess.h"
#include "harness/TestFiles.h"
#include "sim/LinkedPlugin.h"
#include "sim/SimGameDirectory.h"
#include "sim/SimSession.h"
#include "sim/SimUiRuntime.h"
#include "support/IDebugLog.h"

namespace {

namespace fs = std::filesystem;
using test_files::ListDirectory;
using test_files::ReadAll;
using test_files::WriteAll;

sim::SimUiRuntime& Ui() { return sim::SimUiRuntime::Get(); }

// The game's directory, in the plug-in's backslash form.
std::string gameRoot;

os::ExecutableName PresentNoBackslash(char* buffer, std::uint32_t capacity) {
  static const char kName[] = "host.exe";
  if (capacity < sizeof kName) return {0, 2};
  std::memcpy(buffer, kName, sizeof kName);
  return {sizeof kName - 1, 0};
}

// The root is a directory of its own inside the scratch directory, so that
// nothing else appears next to it.
void PointRootAtScratchDirectory() {
  const std::string root = test_files::MakeScratchDirectory("game") + "/play";
  fs::create_directory(root);
  gameRoot = sim::PlaceGameIn(root);
}

// Where a name below the game's directory is on disk.
std::string OnDisk(const std::string& relativeName) {
  std::string path = gameRoot + relativeName;
#if !defined(_WIN32)
  std::replace(path.begin(), path.end(), '\\', '/');
#endif
  return path;
}

// A game session whose movie has "saveFile".
class SavingMovie {
 public:
  sim::CallOutcome Save(std::vector<UiValue> args) { return session_.movie.Call("saveFile", std::move(args)); }
  sim::CallOutcome Save(const std::string& name, const std::string& text) {
    return Save({Ui().ManagedString(name), Ui().ManagedString(text)});
  }
  sim::CallOutcome SaveWithResult(std::vector<UiValue> args, const UiValue& initialResult) {
    return session_.movie.Call("saveFile", std::move(args), initialResult);
  }

 private:
  sim::SimSession session_{sim::LinkedPlugin()};
};

// In a fresh process the exit status decides, not gtest's assertions.
void Require(bool condition, const std::string& failure) {
  if (condition) return;
  std::fprintf(stderr, "%s\n", failure.c_str());
  std::exit(1);
}

void RequireEqual(const std::string& actual, const std::string& expected, const char* what) {
  Require(actual == expected, std::string(what) + ":\n  actual:   [" + actual + "]\n  expected: [" + expected + "]");
}

constexpr char kStart[] = "SaveFile start\r\n";
constexpr char kDone[] = "SaveFile done\r\n";

std::string Line(const std::string& message) { return message + "\r\n"; }

class SaveFileTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    PointRootAtScratchDirectory();
    GetRuntimeRoot();  // its one level-5 line stays out of the tests' logs
  }

  void SetUp() override {
    directory_ = testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directory(OnDisk(directory_));
  }

  // A name below this test's own directory.
  std::string Name(const std::string& file) const { return directory_ + "\\" + file; }
  std::string FilesHere() const { return ListDirectory(OnDisk(directory_)); }

  SavingMovie game_;
  std::string directory_;
};

TEST_F(SaveFileTest, WritesEightBitTextByteForByte) {
  const std::string name = Name("x.txt");
  LogCapture log;
  testing::internal::CaptureStdout();
  const sim::CallOutcome outcome = game_.Save({Ui().String(name.c_str()), Ui().String("abc")});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "SaveFile start\nSaveFile done\n");
  EXPECT_TRUE(outcome.IsBoolean(true));
  EXPECT_EQ(ReadAll(OnDisk(name)), "abc");
  EXPECT_EQ(FilesHere(), "x.txt");  // no temporary file left behind
  EXPECT_EQ(log.Text(), std::string(kStart) + kDone);
}

TEST_F(SaveFileTest, WritesWideTextAsUtf16LeWithoutByteOrderMark) {
  const std::string name = Name("w.txt");
  EXPECT_TRUE(game_.Save({Ui().String(name.c_str()), Ui().WideString(u"ab")}).IsBoolean(true));
  EXPECT_EQ(ReadAll(OnDisk(name)), std::string("a\0b\0", 4));

  EXPECT_TRUE(game_.Save({Ui().ManagedString(Name("m.txt")), Ui().ManagedWideString(u"\u0416\uFEFF\n")})
                  .IsBoolean(true));
  EXPECT_EQ(ReadAll(OnDisk(Name("m.txt"))), std::string("\x16\x04\xFF\xFE\x0A\x00", 6));
}

TEST_F(SaveFileTest, TakesManagedAndUnmanagedArgumentsAlike) {
  const std::string name = Name("t.txt");
  EXPECT_TRUE(game_.Save({Ui().ManagedString(name), Ui().String("one")}).IsBoolean(true));
  EXPECT_EQ(ReadAll(OnDisk(name)), "one");
  EXPECT_TRUE(game_.Save({Ui().String(name.c_str()), Ui().ManagedString("two")}).IsBoolean(true));
  EXPECT_EQ(ReadAll(OnDisk(name)), "two");
}

TEST_F(SaveFileTest, WritesNoTranslationAndReplacesTheWholeFile) {
  const std::string name = Name("f.txt");
  WriteAll(OnDisk(name), "a much longer previous content");
  EXPECT_TRUE(game_.Save(name, "a\nb\r\n\x80\xFF").IsBoolean(true));
  EXPECT_EQ(ReadAll(OnDisk(name)), "a\nb\r\n\x80\xFF");

  EXPECT_TRUE(game_.Save(name, "").IsBoolean(true));
  EXPECT_TRUE(test_files::Exists(OnDisk(name)));
  EXPECT_EQ(fs::file_size(OnDisk(name)), 0u);

  EXPECT_TRUE(game_.Save(Name("new-empty.txt"), "").IsBoolean(true));
  EXPECT_TRUE(test_files::Exists(OnDisk(Name("new-empty.txt"))));
  EXPECT_EQ(FilesHere(), "f.txt new-empty.txt");
}

TEST_F(SaveFileTest, OpensTheResolvedName) {
  // "missing" does not exist: the name is resolved before the system sees it.
  EXPECT_TRUE(game_.Save(Name("missing\\..\\b.txt"), "b").IsBoolean(true));
  EXPECT_TRUE(game_.Save(directory_ + "/sub/../c.txt. ", "c").IsBoolean(true));
  EXPECT_EQ(FilesHere(), "b.txt c.txt");
}

TEST_F(SaveFileTest, RefusesNamesOutsideTheRootBeforeOpeningAnything) {
  for (const std::string name : {"", "..\\escape.txt", "OpensTheResolvedName\\..\\..\\escape.txt", ".. \\escape.txt",
                                 "C:\\escape.txt", "C:escape.txt", "\\\\?\\c:\\escape.txt", "\\escape.txt",
                                 "x.txt:stream", "nul.txt", "a\\COM1\\x", "a\\..", "dir\\"}) {
    SCOPED_TRACE(name);
    LogCapture log;
    EXPECT_TRUE(game_.Save(name, "text").IsBoolean(false));
    EXPECT_EQ(log.Text(), kStart + Line("SaveFile: File name not allowed: " + name));
  }
  EXPECT_EQ(ListDirectory(OnDisk("..\\")), "play");
  EXPECT_EQ(FilesHere(), "");
}

TEST_F(SaveFileTest, ReportsAMissingDirectoryWithTheFullPathAndCreatesNone) {
  LogCapture log;
  EXPECT_TRUE(game_.Save(Name("missing\\x.txt"), "text").IsBoolean(false));
  EXPECT_EQ(log.Text(), kStart + Line("SaveFile: Could not open file for writting, path: " + gameRoot +
                                      Name("missing\\x.txt")));
  EXPECT_EQ(FilesHere(), "");
}

TEST_F(SaveFileTest, ShowsControlBytesOfScriptNamesSoNoLineCanBeForged) {
  {
    LogCapture log;
    EXPECT_TRUE(game_.Save("..\\x\nSaveFile done\r\nruntime root = C:\\Evil\\", "hi").IsBoolean(false));
    EXPECT_EQ(log.Text(), kStart + Line("SaveFile: File name not allowed: ..\\x\\x0ASaveFile done\\x0D\\x0A"
                                        "runtime root = C:\\Evil\\"));
  }
  LogCapture log;
  EXPECT_TRUE(game_.Save(Name("missing\x1B\x7F\\x.txt"), "text").IsBoolean(false));
  EXPECT_EQ(log.Text(), kStart + Line("SaveFile: Could not open file for writting, path: " + gameRoot +
                                      Name("missing\\x1B\\x7F\\x.txt")));
}

TEST_F(SaveFileTest, RefusesTheOpenLogHoweverItIsNamed) {
  IDebugLog::CloseLogFile();
  IDebugLog::OpenLogFile(OnDisk(Name("live.log")).c_str());
  const bool refused = game_.Save(Name("live.log"), "forged").IsBoolean(false) &&
                       game_.Save(Name("sub\\..\\live.log. "), "forged").IsBoolean(false);
  LogInfo("still logged");
  IDebugLog::CloseLogFile();
  EXPECT_TRUE(refused);
  EXPECT_EQ(ReadAll(OnDisk(Name("live.log"))),
            kStart + Line("SaveFile: File name not allowed: " + Name("live.log")) + kStart +
                Line("SaveFile: File name not allowed: " + Name("sub\\..\\live.log. ")) +
                Line("still logged"));
}

TEST_F(SaveFileTest, RefusesADirectoryAsTarget) {
  fs::create_directory(OnDisk(Name("folder")));
  LogCapture log;
  EXPECT_TRUE(game_.Save(Name("folder"), "text").IsBoolean(false));
  EXPECT_EQ(log.Text(),
            kStart + Line("SaveFile: Could not open file for writting, path: " + gameRoot + Name("folder")));
  EXPECT_TRUE(fs::is_directory(OnDisk(Name("folder"))));
  EXPECT_EQ(FilesHere(), "folder");
}

TEST_F(SaveFileTest, RefusesAReadOnlyTargetAndKeepsIt) {
  const std::string name = Name("locked.txt");
  WriteAll(OnDisk(name), "old");
  const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  fs::permissions(OnDisk(name), readOnly);

  LogCapture log;
  EXPECT_TRUE(game_.Save(name, "new").IsBoolean(false));
  EXPECT_EQ(log.Text(), kStart + Line("SaveFile: Could not open file for writting, path: " + gameRoot + name));
  EXPECT_EQ(ReadAll(OnDisk(name)), "old");
  EXPECT_EQ(FilesHere(), "locked.txt");
  fs::permissions(OnDisk(name), fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(SaveFileTest, RefusesAWrongNumberOfArguments) {
  for (std::size_t count : {0u, 1u, 3u}) {
    SCOPED_TRACE(count);
    std::vector<UiValue> args(count, Ui().String(Name("x.txt").c_str()));
    LogCapture log;
    EXPECT_TRUE(game_.Save(args).IsBoolean(false));
    EXPECT_EQ(log.Text(),
              kStart + Line("SaveFile: Bad number of arguments: " + std::to_string(count) + ", expected 2"));
  }
  EXPECT_EQ(FilesHere(), "");
}

TEST_F(SaveFileTest, RefusesArgumentsOfOtherKindsInOrder) {
  struct Case {
    std::vector<UiValue> args;
    std::string message;
  };
  const std::string name = Name("x.txt");
  const Case cases[] = {
      {{Ui().WideString(u"x.txt"), Ui().String("t")}, "SaveFile: First argument is not a string, type: 5"},
      {{Ui().ManagedWideString(u"x.txt"), Ui().String("t")}, "SaveFile: First argument is not a string, type: 69"},
      {{Ui().Boolean(true), Ui().Number(1)}, "SaveFile: First argument is not a string, type: 2"},
      {{Ui().String(name.c_str()), Ui().Boolean(true)}, "SaveFile: Second argument is not a string or wide string"},
      {{Ui().String(name.c_str()), Ui().Number(2)}, "SaveFile: Second argument is not a string or wide string"},
      {{Ui().String(name.c_str()), Ui().Undefined()}, "SaveFile: Second argument is not a string or wide string"},
      {{Ui().String(nullptr), Ui().Undefined()}, "SaveFile: Second argument is not a string or wide string"},
      {{Ui().String(nullptr), Ui().String("t")}, "SaveFile: Argument string is null"},
      {{Ui().String(name.c_str()), Ui().String(nullptr)}, "SaveFile: Argument string is null"},
      {{Ui().String(name.c_str()), Ui().WideString(nullptr)}, "SaveFile: Argument string is null"},
      {{Ui().String("..\\bad"), Ui().WideString(nullptr)}, "SaveFile: Argument string is null"},
  };
  for (const Case& refused : cases) {
    SCOPED_TRACE(refused.message);
    LogCapture log;
    EXPECT_TRUE(game_.Save(refused.args).IsBoolean(false));
    EXPECT_EQ(log.Text(), kStart + Line(refused.message));
  }
  EXPECT_EQ(FilesHere(), "");
}

TEST_F(SaveFileTest, RefusesManagedStringsWithoutText) {
  UiValue nullName = Ui().ManagedString("unused");
  const char* const noText = nullptr;
  nullName.payload.managedString = &noText;
  UiValue nullCell = Ui().ManagedWideString(u"unused");
  nullCell.payload.managedWideString = nullptr;
  for (const auto& args : {std::vector<UiValue>{nullName, Ui().String("t")},
                           std::vector<UiValue>{Ui().String(Name("x.txt").c_str()), nullCell}}) {
    LogCapture log;
    EXPECT_TRUE(game_.Save(args).IsBoolean(false));
    EXPECT_EQ(log.Text(), kStart + Line("SaveFile: Argument string is null"));
  }
}

TEST_F(SaveFileTest, ReleasesAManagedPreviousResultAndWritesOnlyKindAndFlag) {
  const UiValue previous = Ui().ManagedObject();
  const std::size_t releasesBefore = Ui().Releases().size();
  const sim::CallOutcome outcome =
      game_.SaveWithResult({Ui().String(Name("x.txt").c_str()), Ui().String("t")}, previous);
  ASSERT_EQ(Ui().Releases().size(), releasesBefore + 1);
  EXPECT_EQ(Ui().Releases().back().payload, previous.payload.object);
  EXPECT_TRUE(outcome.IsBoolean(true));

  // A plain previous value is overwritten without a release.
  EXPECT_TRUE(game_.SaveWithResult({Ui().String("x")}, Ui().Boolean(true)).IsBoolean(false));
  EXPECT_EQ(Ui().Releases().size(), releasesBefore + 1);

  // The payload's bytes after the flag belong to the runtime.
  const sim::CallOutcome refused = game_.Save({Ui().String("x")});
  EXPECT_TRUE(refused.IsBoolean(false));
  for (std::size_t i = offsetof(UiValue, payload) + 1; i < sizeof(UiValue); ++i) {
    EXPECT_EQ(refused.bytes[i], sim::SimMovie::kUntouched) << "byte " << i;
  }
}

#if !defined(_WIN32)
void FailsToWriteAndKeepsTheOldFile(SavingMovie& game, const std::string& name, const std::string& directory) {
  WriteAll(OnDisk(name), "old bytes");
  LogCapture log;
  const rlimit small{64 * 1024, 64 * 1024};
  Require(setrlimit(RLIMIT_FSIZE, &small) == 0, "setrlimit");
  std::signal(SIGXFSZ, SIG_IGN);

  const sim::CallOutcome outcome = game.Save(name, std::string(1 << 20, 'x'));
  Require(outcome.IsBoolean(false), "result is not false");
  RequireEqual(ReadAll(OnDisk(name)), "old bytes", "old file");
  RequireEqual(ListDirectory(OnDisk(directory)), "x.txt", "files left");
  RequireEqual(log.Text(), kStart + Line("SaveFile: Could not write file, path: " + gameRoot + name), "log");
}

TEST_F(SaveFileTest, ReportsAFailedWriteAndKeepsTheOldFile) {
  EXPECT_IN_FRESH_PROCESS(FailsToWriteAndKeepsTheOldFile(game_, Name("x.txt"), directory_));
}
#endif

#if defined(_WIN32)
TEST_F(SaveFileTest, FailsCleanlyWhileAnotherHandleHoldsTheTarget) {
  const std::string name = Name("held.txt");
  WriteAll(OnDisk(name), "old");
  const HANDLE held = CreateFileA(OnDisk(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  LogCapture log;
  const sim::CallOutcome outcome = game_.Save(name, "new");
  CloseHandle(held);

  EXPECT_TRUE(outcome.IsBoolean(false));
  EXPECT_EQ(log.Text(), kStart + Line("SaveFile: Could not open file for writting, path: " + gameRoot + name));
  EXPECT_EQ(ReadAll(OnDisk(name)), "old");
  EXPECT_EQ(FilesHere(), "held.txt");

  EXPECT_TRUE(game_.Save(name, "new").IsBoolean(true));  // once released
  EXPECT_EQ(ReadAll(OnDisk(name)), "new");
}
#endif

// The runtime root is looked up on the first save that gets that far, so
// these run in fresh processes.

void LogsTheRootOnTheFirstSave() {
  PointRootAtScratchDirectory();
  SavingMovie game;
  LogCapture log;
  Require(game.Save({Ui().String("..\\x"), Ui().String("t")}).IsBoolean(false), "refused name");
  Require(game.Save("first.txt", "t").IsBoolean(true), "first save");
  Require(game.Save("second.txt", "t").IsBoolean(true), "second save");
  RequireEqual(log.Text(),
               kStart + Line("SaveFile: File name not allowed: ..\\x") + kStart + Line("runtime root = " + gameRoot) +
                   kDone + kStart + kDone,
               "log");
  RequireEqual(ListDirectory(OnDisk("")), "first.txt second.txt", "files");
}

void ReportsAMissingRootOnEveryCallUntilFound() {
  SetExecutableNameSource(&PresentNoBackslash);
  SavingMovie game;
  LogCapture log;
  testing::internal::CaptureStdout();
  Require(game.Save("x.txt", "t").IsBoolean(false), "first call");
  Require(game.Save("x.txt", "t").IsBoolean(false), "second call");
  const std::string refusal = "no slash in runtime path? (host.exe)\r\nSaveFile: Could not find runtime path\r\n";
  RequireEqual(log.Text(), kStart + refusal + kStart + refusal, "log");
  RequireEqual(testing::internal::GetCapturedStdout(),
               "SaveFile start\nno slash in runtime path? (host.exe)\nSaveFile: Could not find runtime path\n"
               "SaveFile start\nno slash in runtime path? (host.exe)\nSaveFile: Could not find runtime path\n",
               "console");

  PointRootAtScratchDirectory();
  Require(game.Save("x.txt", "t").IsBoolean(true), "call after the root appeared");
  RequireEqual(ReadAll(OnDisk("x.txt")), "t", "file");
}

TEST(SaveFileRootTest, LogsTheRootBetweenStartAndDoneOfTheFirstSave) {
  EXPECT_IN_FRESH_PROCESS(LogsTheRootOnTheFirstSave());
}

TEST(SaveFileRootTest, ReportsAMissingRootOnEveryCall) {
  EXPECT_IN_FRESH_PROCESS(ReportsAMissingRootOnEveryCallUntilFound());
}

}  // namespace
