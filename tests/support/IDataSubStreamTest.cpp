#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "harness/TestFiles.h"
#include "support/HaltTesting.h"
#include "support/MemoryStream.h"

using ::testing::HasSubstr;

namespace {

// Byte i of the parent is i, for i below 256.
std::string CountingBytes(int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

class IDataSubStreamTest : public ::testing::Test {
 protected:
  MemoryStream parent{CountingBytes(200)};
};

TEST_F(IDataSubStreamTest, WindowByteZeroIsTheParentsBaseByte) {
  IDataSubStream window(parent, 100, 10);
  EXPECT_EQ(parent.Position(), 100);
  EXPECT_EQ(window.Position(), 0);
  EXPECT_EQ(window.Length(), 10);
  EXPECT_EQ(window.ReadU8(), 100);
  EXPECT_EQ(window.Position(), 1);
  EXPECT_EQ(parent.Position(), 101);
  EXPECT_EQ(window.ParentPosition(), 101);
  EXPECT_EQ(window.ParentStream(), &parent);
}

TEST_F(IDataSubStreamTest, SequentialReadsSeekTheParentOnlyWhenMoved) {
  IDataSubStream window(parent, 100, 10);
  const int seeksAfterConstruction = parent.seekCount;
  window.ReadU8();
  window.ReadU8();
  EXPECT_EQ(parent.seekCount, seeksAfterConstruction);
  parent.Seek(0);
  EXPECT_EQ(window.ReadU8(), 102);
  EXPECT_EQ(parent.seekCount, seeksAfterConstruction + 2);
}

TEST_F(IDataSubStreamTest, WindowsSharingAParentInterleave) {
  IDataSubStream first(parent, 10, 5);
  IDataSubStream second(parent, 50, 5);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(first.ReadU8(), 10 + i);
    EXPECT_EQ(second.ReadU8(), 50 + i);
  }
}

TEST_F(IDataSubStreamTest, SeekMovesTheParentAtOncePeekPutsItBack) {
  IDataSubStream window(parent, 100, 10);
  window.Seek(3);
  EXPECT_EQ(parent.Position(), 103);
  window.Seek(2);
  EXPECT_EQ(window.PeekU32(), 0x69686766u);
  EXPECT_EQ(window.Position(), 2);
  EXPECT_EQ(parent.Position(), 102);
}

TEST_F(IDataSubStreamTest, ReadingTheWholeWindowReachesItsEnd) {
  IDataSubStream window(parent, 100, 10);
  char buffer[10];
  window.ReadBuf(buffer, 10);
  EXPECT_TRUE(window.AtEnd());
  EXPECT_EQ(buffer[9], 109);
}

TEST_F(IDataSubStreamTest, WindowAdvancesByTheCountEvenWhenTheParentDeliversLess) {
  IDataSubStream window(parent, 198, 10);
  window.ReadU32();
  EXPECT_EQ(window.Position(), 4);
  EXPECT_EQ(parent.Position(), 200);
}

TEST_F(IDataSubStreamTest, WriteAtTheEndGrowsTheWindow) {
  IDataSubStream window(parent, 100, 10);
  window.Seek(10);
  window.WriteU32(0xAABBCCDD);
  EXPECT_EQ(window.Length(), 14);
  EXPECT_EQ(parent.bytes.substr(110, 4), "\xDD\xCC\xBB\xAA");
}

TEST_F(IDataSubStreamTest, ByteSwapIsTheWindowsOwn) {
  IDataSubStream window(parent, 100, 10);
  window.SetByteSwap(true);
  EXPECT_EQ(window.ReadU16(), 0x6465);
  parent.Seek(100);
  EXPECT_EQ(parent.ReadU16(), 0x6564);
}

TEST_F(IDataSubStreamTest, WindowOnAWindowReachesTheRoot) {
  IDataSubStream outer(parent, 100, 10);
  IDataSubStream inner(outer, 2, 3);
  EXPECT_EQ(inner.ReadU8(), 102);
  EXPECT_EQ(inner.RootStream(), &parent);
  EXPECT_EQ(outer.RootStream(), &parent);
}

TEST_F(IDataSubStreamTest, AttachRetargetsAndRestartsAtByteZero) {
  IDataSubStream window;
  EXPECT_EQ(window.ParentStream(), nullptr);
  window.Attach(parent, 20, 5);
  window.ReadU16();
  window.Attach(parent, 40, 5);
  EXPECT_EQ(window.Position(), 0);
  EXPECT_EQ(window.ReadU8(), 40);
}

using IDataSubStreamDeathTest = IDataSubStreamTest;

TEST_F(IDataSubStreamDeathTest, ReadingPastTheEndIsAFailedCheck) {
  IDataSubStream window(parent, 100, 10);
  char buffer[11];
  EXPECT_HALT_WITH_CONSOLE("hit-eof.txt", window.ReadBuf(buffer, 11));
  const std::string console = test_files::ReadAll("hit-eof.txt");
  EXPECT_THAT(console, HasSubstr("Assertion failed in IDataStream ("));
  EXPECT_THAT(console, HasSubstr("): IDataSubStream::ReadBuf: hit eof"));
}

}  // namespace
