#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "os/KnownFolder.h"

namespace {

constexpr std::int32_t kUnknownFolder = 0xFE;

#if defined(_WIN32)

TEST(KnownFolder, LocalAppDataIsAnExistingDirectory) {
  char path[os::kMaxPath];
  ASSERT_TRUE(os::KnownFolderPath(28, path));
  EXPECT_TRUE(std::filesystem::is_directory(path)) << path;
  EXPECT_FALSE(os::KnownFolderPath(kUnknownFolder, path));
}

#else

class KnownFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* home = std::getenv("HOME")) savedHome_ = home;
  }
  void TearDown() override { setenv("HOME", savedHome_.c_str(), 1); }

  static std::string Lookup(std::int32_t folderId) {
    char path[os::kMaxPath];
    return os::KnownFolderPath(folderId, path) ? path : "(failed)";
  }

  std::string savedHome_;
};

TEST_F(KnownFolderTest, FoldersMapBelowAUsableHome) {
  setenv("HOME", "/home/player", 1);
  EXPECT_EQ(Lookup(5), "/home/player/Documents");
  EXPECT_EQ(Lookup(26), "/home/player/.config");
  EXPECT_EQ(Lookup(28), "/home/player/.local/share");
  EXPECT_EQ(Lookup(40), "/home/player");
  EXPECT_EQ(Lookup(kUnknownFolder), "(failed)");
  setenv("HOME", "", 1);
  EXPECT_EQ(Lookup(28), "(failed)");
  setenv("HOME", ("/" + std::string(os::kMaxPath, 'h')).c_str(), 1);
  EXPECT_EQ(Lookup(40), "(failed)");
  unsetenv("HOME");
  EXPECT_EQ(Lookup(28), "(failed)");
}

#endif

}  // namespace
