#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "harness/TestFiles.h"
#include "support/IFileStream.h"

#if defined(_WIN32)
#include <windows.h>
#include <commdlg.h>

#include "os/FileDialogs.h"
#endif

using test_files::Exists;
using test_files::ReadAll;
using test_files::WriteAll;

namespace {

class IFileStreamTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return directory_ + "/" + name; }
  std::string FileWith(const std::string& name, const std::string& bytes) const {
    WriteAll(Path(name), bytes);
    return Path(name);
  }

  std::string directory_ = test_files::MakeScratchDirectory("files");
};

TEST_F(IFileStreamTest, OpenForReadReadsUpToTheEnd) {
  FileWith("ten", "0123456789");
  IFileStream stream((directory_ + "\\ten").c_str());
  EXPECT_EQ(stream.Length(), 10);
  EXPECT_EQ(stream.Position(), 0);
  char buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), '#');
  stream.ReadBuf(buffer, 16);
  EXPECT_EQ(std::string(buffer, 16), "0123456789######");
  EXPECT_EQ(stream.Position(), 10);
  EXPECT_TRUE(stream.AtEnd());
  EXPECT_EQ(stream.ReadU16(), 0) << "nothing left to read";
}

TEST_F(IFileStreamTest, FailedOpenHoldsNoFileButKeepsLengthAndPosition) {
  IFileStream stream(FileWith("four", "abcd").c_str());
  stream.Seek(2);
  EXPECT_FALSE(stream.OpenForRead(Path("missing").c_str()));
  EXPECT_FALSE(stream.OpenForRead(directory_.c_str())) << "a directory is no file";
  EXPECT_EQ(stream.Length(), 4);
  EXPECT_EQ(stream.Position(), 2);
  EXPECT_EQ(stream.ReadU8(), 0);
  EXPECT_EQ(stream.Position(), 2);
  EXPECT_FALSE(stream.CreateForWrite(Path("no-such-dir/file").c_str()));
  EXPECT_EQ(stream.Length(), 4);
}

TEST_F(IFileStreamTest, ReadersShareAndKeepWritersOut) {
  const std::string name = FileWith("shared", "data");
  IFileStream first(name.c_str());
  IFileStream second;
  EXPECT_TRUE(second.OpenForRead(name.c_str()));
  IFileStream writer;
  EXPECT_FALSE(writer.CreateForWrite(name.c_str()));
  first.CloseFile();
  second.CloseFile();
  EXPECT_EQ(ReadAll(name), "data") << "a refused create must not empty the file";
  EXPECT_TRUE(writer.CreateForWrite(name.c_str()));
}

TEST_F(IFileStreamTest, AWriterKeepsEveryoneOutUntilDestroyed) {
  const std::string name = Path("exclusive");
  {
    IFileStream writer;
    ASSERT_TRUE(writer.CreateForWrite(name.c_str()));
    IFileStream other;
    EXPECT_FALSE(other.OpenForRead(name.c_str()));
    EXPECT_FALSE(other.CreateForWrite(name.c_str()));
  }
  IFileStream reader;
  EXPECT_TRUE(reader.OpenForRead(name.c_str()));
}

TEST_F(IFileStreamTest, CreateEmptiesAnExistingFile) {
  const std::string name = FileWith("old", "old contents");
  IFileStream stream;
  ASSERT_TRUE(stream.CreateForWrite(name.c_str()));
  EXPECT_EQ(stream.Length(), 0);
  stream.CloseFile();
  EXPECT_EQ(ReadAll(name), "");
}

TEST_F(IFileStreamTest, WritesGrowTheFileAlsoAfterASeekBeyondTheEnd) {
  const std::string name = Path("grown");
  IFileStream stream;
  ASSERT_TRUE(stream.CreateForWrite(name.c_str()));
  stream.Seek(8);
  stream.WriteU32(0x44332211);
  EXPECT_EQ(stream.Length(), 12);
  EXPECT_EQ(stream.Position(), 12);
  stream.WriteCString("ab");
  EXPECT_EQ(stream.Length(), 15);
  stream.Seek(0);
  stream.WriteU8('z');
  EXPECT_EQ(stream.Length(), 15);
  stream.CloseFile();
  const std::string bytes = ReadAll(name);
  ASSERT_EQ(bytes.size(), 15u);
  EXPECT_EQ(bytes[0], 'z');
  EXPECT_EQ(bytes.substr(8), std::string("\x11\x22\x33\x44" "ab\0", 7));
}

TEST_F(IFileStreamTest, TransfersAgainstTheOpenModeMoveNothing) {
  IFileStream reader(FileWith("read-only", "abc").c_str());
  reader.WriteU16(7);
  EXPECT_EQ(reader.Position(), 0);
  EXPECT_EQ(reader.Length(), 3);

  IFileStream writer;
  ASSERT_TRUE(writer.CreateForWrite(Path("write-only").c_str()));
  writer.WriteU16(7);
  writer.Seek(0);
  EXPECT_EQ(writer.ReadU8(), 0);
  EXPECT_EQ(writer.Position(), 0);
}

TEST_F(IFileStreamTest, CreatePathDirectoriesCreatesEveryDirectoryButTheLastPart) {
  IFileStream::CreatePathDirectories((directory_ + "/a\\b/log.txt").c_str());
  EXPECT_EQ(test_files::ListDirectory(directory_), "a");
  EXPECT_EQ(test_files::ListDirectory(directory_ + "/a"), "b");
  EXPECT_EQ(test_files::ListDirectory(directory_ + "/a/b"), "");

  IFileStream::CreatePathDirectories((directory_ + "\\c/d\\").c_str());
  EXPECT_TRUE(Exists(directory_ + "/c/d"));
  IFileStream::CreatePathDirectories("");
}

TEST_F(IFileStreamTest, CreatePathDirectoriesStopsAtTheWorkingBuffersEnd) {
  // Relative, so the length is ours: the separator at index 1023 is the last
  // one within the first 1024 characters, the one at 1030 lies beyond.
  std::string lastCreated = "long";
  for (int i = 0; i < 9; ++i) lastCreated += "/" + std::string(99, 'x');
  lastCreated += "/" + std::string(118, 'y');
  ASSERT_EQ(lastCreated.size(), 1023u);
  const std::string path = lastCreated + "/zzzzzz/" + std::string(200, 'w') + "/file";
  IFileStream::CreatePathDirectories(path.c_str());
  EXPECT_TRUE(Exists("long"));
#if !defined(_WIN32)  // Windows refuses directories beyond MAX_PATH anyway
  EXPECT_TRUE(Exists(lastCreated));
  EXPECT_EQ(test_files::ListDirectory(lastCreated), "");
#endif
}

TEST(IFileStreamFileNamePart, IsTheTextAfterTheLastSeparator) {
  const char* path = "a\\b/c.txt";
  EXPECT_EQ(IFileStream::FileNamePart(path), path + 4);
  const char* directory = "a/b\\";
  EXPECT_EQ(IFileStream::FileNamePart(directory), directory + 4);
  EXPECT_EQ(IFileStream::FileNamePart("plain.txt"), nullptr);
  EXPECT_EQ(IFileStream::FileNamePart(""), nullptr);
}

#if defined(_WIN32)

// A user who confirms `answer`, or cancels when it is null.
struct DialogUser {
  static inline const char* answer = nullptr;
  static inline std::string proposed;
  static inline int calls = 0;

  static int Answer(tagOFNA* record) {
    ++calls;
    proposed = record->lpstrFile;
    if (answer == nullptr) return 0;
    lstrcpynA(record->lpstrFile, answer, static_cast<int>(record->nMaxFile));
    return 1;
  }
};

class IFileStreamDialogTest : public IFileStreamTest {
 protected:
  void SetUp() override {
    DialogUser::answer = nullptr;
    DialogUser::calls = 0;
    previous_ = os::ReplaceDialogCalls({DialogUser::Answer, DialogUser::Answer});
  }
  void TearDown() override { os::ReplaceDialogCalls(previous_); }

  os::DialogCalls previous_{};
};

TEST_F(IFileStreamDialogTest, ConfirmedNamesAreOpenedOrCreated) {
  const std::string chosen = FileWith("chosen", "hello");
  DialogUser::answer = chosen.c_str();
  IFileStream stream;
  EXPECT_TRUE(stream.ChooseAndOpen());
  EXPECT_EQ(DialogUser::proposed, "");
  EXPECT_EQ(stream.Length(), 5);

  const std::string created = Path("created");
  DialogUser::answer = created.c_str();
  EXPECT_TRUE(stream.ChooseAndCreate("proposal.txt", nullptr, nullptr));
  EXPECT_EQ(DialogUser::proposed, "proposal.txt");
  EXPECT_EQ(stream.Length(), 0);
  stream.WriteU8('!');
  stream.CloseFile();
  EXPECT_EQ(ReadAll(created), "!");

  const std::string unreachable = Path("missing-dir/x");
  DialogUser::answer = unreachable.c_str();
  EXPECT_FALSE(stream.ChooseAndCreate(nullptr, nullptr, nullptr)) << "the create's result";
}

TEST_F(IFileStreamDialogTest, CancelledDialogsKeepTheHeldFile) {
  IFileStream stream(FileWith("held", "kept").c_str());
  EXPECT_FALSE(stream.ChooseAndOpen());
  const std::string longName(5000, 'n');
  EXPECT_FALSE(stream.ChooseAndCreate(longName.c_str(), "C:\\", "Title"));
  EXPECT_EQ(DialogUser::proposed, longName.substr(0, 4095)) << "cut to the dialog's buffer";
  EXPECT_EQ(DialogUser::calls, 2);
  EXPECT_EQ(stream.ReadU32(), 0x7470656Bu);  // "kept"
}

#else

TEST_F(IFileStreamTest, WithoutADialogServiceChoosingIsCancelling) {
  IFileStream stream(FileWith("held", "kept").c_str());
  EXPECT_FALSE(stream.ChooseAndOpen());
  EXPECT_FALSE(stream.ChooseAndCreate(std::string(5000, 'n').c_str(), "/", "Title"));
  EXPECT_EQ(stream.ReadU32(), 0x7470656Bu);  // "kept"
}

#endif

}  // namespace
