#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "harness/FreshProcess.h"
#include "harness/TestFiles.h"
#include "os/KnownFolder.h"
#include "support/HaltTesting.h"
#include "support/IDebugLog.h"

using ::testing::HasSubstr;
using test_files::Exists;
using test_files::ReadAll;

namespace {

constexpr std::int32_t kLocalAppData = 28;  // CSIDL_LOCAL_APPDATA
constexpr std::int32_t kUnknownFolder = 0xFE;

#if defined(_WIN32)
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// A top directory name for this run. Death-test children run SetUp again:
// they inherit the parent's choice through the environment.
std::string TopDirectoryName() {
  constexpr const char* kVariable = "QL_KNOWN_FOLDER_TEST_TOP";
  if (const char* inherited = std::getenv(kVariable)) return inherited;
  const std::string name = "quiverleaf-test-" + std::to_string(std::random_device()());
#if defined(_WIN32)
  _putenv_s(kVariable, name.c_str());
#else
  setenv(kVariable, name.c_str(), 1);
#endif
  return name;
}

// Below the real folder on Windows; below a $HOME in the working directory
// elsewhere.
class KnownFolderLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
#if !defined(_WIN32)
    const std::string home = (std::filesystem::current_path() / "home").string();
    std::filesystem::create_directories(home);
    setenv("HOME", home.c_str(), 1);
#endif
    char folder[os::kMaxPath];
    ASSERT_TRUE(os::KnownFolderPath(kLocalAppData, folder));
    folder_ = folder;
    top_ = TopDirectoryName();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_ + kSeparator + top_, ignored);
  }

  std::string folder_;
  std::string top_;
};

TEST_F(KnownFolderLogTest, CreatesTheDirectoriesAndOpensTheLogBelowTheFolder) {
  const std::string relative = kSeparator + top_ + kSeparator + "logs" + kSeparator + "x.log";
  EXPECT_IN_FRESH_PROCESS({
    IDebugLog::CloseLogFile();
    IDebugLog::OpenInKnownFolder(kLocalAppData, relative.c_str());
    LogDetail("below the known folder");
  });
  const std::string logs = folder_ + kSeparator + top_ + kSeparator + "logs";
  EXPECT_EQ(test_files::ListDirectory(logs), "x.log");
  EXPECT_EQ(ReadAll(logs + kSeparator + "x.log"), "below the known folder\r\n");
}

TEST_F(KnownFolderLogTest, RelativePathIsGluedOnWithoutASeparator) {
  const std::string relative = top_ + "\\a/b.log";
  EXPECT_IN_FRESH_PROCESS({
    IDebugLog::CloseLogFile();
    IDebugLog::OpenInKnownFolder(kLocalAppData, relative.c_str());
  });
  const std::string glued = folder_ + top_;
  EXPECT_TRUE(Exists(glued + "/a"));
  std::error_code ignored;
  std::filesystem::remove_all(glued, ignored);
}

TEST_F(KnownFolderLogTest, AnOverlongPathIsRefusedAndTheLogStaysAsItWas) {
  const std::string relative = kSeparator + top_ + kSeparator + std::string(os::kMaxPath, 'n');
  EXPECT_IN_FRESH_PROCESS({
    if (std::freopen("overlong.txt", "w", stdout) == nullptr) std::exit(1);
    IDebugLog::CloseLogFile();
    IDebugLog::OpenLogFile("before.log");
    IDebugLog::OpenInKnownFolder(kLocalAppData, relative.c_str());
    LogInfo("still here");
  });
  EXPECT_FALSE(Exists(folder_ + kSeparator + top_));
  const std::string console = ReadAll("overlong.txt");
  EXPECT_THAT(console, HasSubstr("IDebugLog::OpenInKnownFolder: path too long: " + folder_ +
                                 relative));
  EXPECT_EQ(ReadAll("before.log"), "IDebugLog::OpenInKnownFolder: path too long: " + folder_ +
                                       relative + "\r\nstill here\r\n");
}

using KnownFolderLogDeathTest = KnownFolderLogTest;

TEST_F(KnownFolderLogDeathTest, AFailedLookupIsAFailedCheck) {
  EXPECT_HALT_WITH_CONSOLE("unknown-folder.txt",
                           IDebugLog::OpenInKnownFolder(kUnknownFolder, "\\x.log"));
  EXPECT_THAT(ReadAll("unknown-folder.txt"),
              HasSubstr("Assertion failed in IDebugLog ("));
  EXPECT_THAT(ReadAll("unknown-folder.txt"),
              HasSubstr("): SUCCEEDED(SHGetFolderPath(NULL, folderID, NULL, "
                        "SHGFP_TYPE_CURRENT, path))"));
}

}  // namespace
