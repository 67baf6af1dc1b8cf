#include <gtest/gtest.h>

#include <string>

#include "os/FileDialogs.h"

#if defined(_WIN32)
#include <windows.h>
#include <commdlg.h>
#endif

namespace {

#if defined(_WIN32)

// Keeps a copy of the record each dialog received and answers as told.
struct RecordingDialog {
  static inline OPENFILENAMEA record{};
  static inline std::string file;
  static inline int answer = 0;

  static int Show(tagOFNA* received) {
    record = *received;
    file = received->lpstrFile;
    if (answer != 0) lstrcpyA(received->lpstrFile, "chosen.txt");
    return answer;
  }
};

class FileDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RecordingDialog::record = {};
    previous_ = os::ReplaceDialogCalls({RecordingDialog::Show, RecordingDialog::Show});
  }
  void TearDown() override { os::ReplaceDialogCalls(previous_); }

  os::DialogCalls previous_{};
  char buffer_[64] = "proposed.txt";
};

void ExpectCommonRecord(const OPENFILENAMEA& record, char* buffer) {
  EXPECT_EQ(record.lStructSize, sizeof(OPENFILENAMEA));
  EXPECT_EQ(record.lpstrFile, buffer);
  EXPECT_EQ(record.nMaxFile, 64u);
  ASSERT_NE(record.lpfnHook, nullptr);
  EXPECT_EQ(record.lpfnHook(nullptr, WM_INITDIALOG, 0, 0), 0u);
  EXPECT_EQ(record.hwndOwner, nullptr);
  EXPECT_EQ(record.hInstance, nullptr);
  EXPECT_EQ(record.lpstrFilter, nullptr);
  EXPECT_EQ(record.lpstrCustomFilter, nullptr);
  EXPECT_EQ(record.lpstrFileTitle, nullptr);
  EXPECT_EQ(record.lpstrDefExt, nullptr);
  EXPECT_EQ(record.lCustData, 0);
  EXPECT_EQ(record.lpTemplateName, nullptr);
  EXPECT_EQ(record.FlagsEx, 0u);
}

TEST_F(FileDialogsTest, OpenDialogRecord) {
  RecordingDialog::answer = 0;
  EXPECT_FALSE(os::ChooseFileToOpen(buffer_, 64));
  ExpectCommonRecord(RecordingDialog::record, buffer_);
  EXPECT_EQ(RecordingDialog::record.Flags, 0x881028u);
  EXPECT_EQ(RecordingDialog::record.lpstrInitialDir, nullptr);
  EXPECT_EQ(RecordingDialog::record.lpstrTitle, nullptr);
  EXPECT_EQ(RecordingDialog::file, "proposed.txt");
}

TEST_F(FileDialogsTest, SaveDialogRecordAndConfirmedName) {
  RecordingDialog::answer = 1;
  EXPECT_TRUE(os::ChooseFileToSave(buffer_, 64, "C:\\start", "Save as"));
  ExpectCommonRecord(RecordingDialog::record, buffer_);
  EXPECT_EQ(RecordingDialog::record.Flags, 0x88082au);
  EXPECT_STREQ(RecordingDialog::record.lpstrInitialDir, "C:\\start");
  EXPECT_STREQ(RecordingDialog::record.lpstrTitle, "Save as");
  EXPECT_STREQ(buffer_, "chosen.txt");
}

#else

TEST(FileDialogs, WithoutADialogServiceEveryChoiceIsCancelled) {
  char buffer[16] = "proposed";
  EXPECT_FALSE(os::ChooseFileToOpen(buffer, sizeof buffer));
  EXPECT_FALSE(os::ChooseFileToSave(buffer, sizeof buffer, nullptr, nullptr));
  EXPECT_STREQ(buffer, "proposed");
}

#endif

}  // namespace
