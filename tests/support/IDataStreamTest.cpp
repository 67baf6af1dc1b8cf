#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "harness/TestFiles.h"
#include "support/HaltTesting.h"
#include "support/MemoryStream.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

std::string WrittenBy(bool swap, void (*write)(IDataStream&)) {
  MemoryStream stream;
  stream.SetByteSwap(swap);
  write(stream);
  return stream.bytes;
}

TEST(IDataStreamByteOrder, TypedWritesUseNativeOrderOrItsReversal) {
  EXPECT_EQ(WrittenBy(false, [](IDataStream& s) { s.WriteU8(0xAB); }), "\xAB");
  EXPECT_EQ(WrittenBy(true, [](IDataStream& s) { s.WriteU8(0xAB); }), "\xAB");
  EXPECT_EQ(WrittenBy(false, [](IDataStream& s) { s.WriteU16(0x1234); }), "\x34\x12");
  EXPECT_EQ(WrittenBy(true, [](IDataStream& s) { s.WriteU16(0x1234); }), "\x12\x34");
  EXPECT_EQ(WrittenBy(false, [](IDataStream& s) { s.WriteU32(0x11223344); }), "\x44\x33\x22\x11");
  EXPECT_EQ(WrittenBy(true, [](IDataStream& s) { s.WriteU32(0x11223344); }), "\x11\x22\x33\x44");
  EXPECT_EQ(WrittenBy(false, [](IDataStream& s) { s.WriteU64(0x0102030405060708); }),
            "\x08\x07\x06\x05\x04\x03\x02\x01");
  EXPECT_EQ(WrittenBy(true, [](IDataStream& s) { s.WriteU64(0x0102030405060708); }),
            "\x01\x02\x03\x04\x05\x06\x07\x08");
  EXPECT_EQ(WrittenBy(false, [](IDataStream& s) { s.WriteF32(1.0f); }), std::string("\0\0\x80\x3F", 4));
  EXPECT_EQ(WrittenBy(true, [](IDataStream& s) { s.WriteF32(1.0f); }), std::string("\x3F\x80\0\0", 4));
}

TEST(IDataStreamByteOrder, TypedReadsUndoTheirWrites) {
  for (const bool swap : {false, true}) {
    MemoryStream stream;
    stream.SetByteSwap(swap);
    stream.WriteU8(0xFE);
    stream.WriteU16(0xBEEF);
    stream.WriteU32(0xDEADBEEF);
    stream.WriteU64(0x8877665544332211);
    stream.WriteF32(-2.5f);
    stream.SeekToStart();
    EXPECT_EQ(stream.ReadU8(), 0xFE);
    EXPECT_EQ(stream.ReadU16(), 0xBEEF);
    EXPECT_EQ(stream.ReadU32(), 0xDEADBEEFu);
    EXPECT_EQ(stream.ReadU64(), 0x8877665544332211u);
    EXPECT_EQ(stream.ReadF32(), -2.5f);
    EXPECT_TRUE(stream.AtEnd());
  }
}

TEST(IDataStreamByteOrder, EachTypedTransferIsOneBlockCallOfItsWidth) {
  MemoryStream stream;
  stream.WriteU8(1);
  stream.WriteU16(2);
  stream.WriteU32(3);
  stream.WriteU64(4);
  stream.WriteF32(5.0f);
  stream.WriteCString("abc");
  EXPECT_THAT(stream.writeCounts, ElementsAre(1, 2, 4, 8, 4, 4));
  EXPECT_EQ(stream.bytes.substr(19), std::string("abc\0", 4));
}

TEST(IDataStreamShortReads, MissingBytesReadAsZero) {
  MemoryStream stream("\x11\x22\x33");
  EXPECT_EQ(stream.ReadU32(), 0x00332211u);
  stream.SeekToStart();
  stream.SetByteSwap(true);
  EXPECT_EQ(stream.PeekU32(), 0x11223300u);
  EXPECT_EQ(stream.ReadU64(), 0x1122330000000000u);
  EXPECT_EQ(stream.ReadU16(), 0u);
}

TEST(IDataStreamPeeks, ReturnTheReadValueAndKeepThePosition) {
  MemoryStream stream(std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B", 12));
  stream.Seek(1);
  for (const bool swap : {false, true}) {
    stream.SetByteSwap(swap);
    const std::uint8_t peek8 = stream.PeekU8();
    const std::uint16_t peek16 = stream.PeekU16();
    const std::uint32_t peek32 = stream.PeekU32();
    const std::uint64_t peek64 = stream.PeekU64();
    const float peekF = stream.PeekF32();
    char peekBytes[3] = {};
    stream.PeekBytes(peekBytes, 3);
    EXPECT_EQ(stream.Position(), 1);
    EXPECT_EQ(peek32, swap ? 0x01020304u : 0x04030201u);
    EXPECT_EQ(peek8, stream.ReadU8());
    stream.Seek(1);
    EXPECT_EQ(peek16, stream.ReadU16());
    stream.Seek(1);
    EXPECT_EQ(peek32, stream.ReadU32());
    stream.Seek(1);
    EXPECT_EQ(peek64, stream.ReadU64());
    stream.Seek(1);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(peekF), stream.ReadU32());
    EXPECT_EQ(std::string(peekBytes, 3), "\x01\x02\x03");
    stream.Seek(1);
  }
}

struct StringRead {
  std::uint32_t count;
  std::string text;
  std::int64_t positionAfter;
};

StringRead ReadStringOf(const std::string& bytes, std::uint32_t size, char terminator1,
                        char terminator2) {
  MemoryStream stream(bytes);
  std::vector<char> buffer(size + 1, '#');
  const std::uint32_t count = stream.ReadString(buffer.data(), size, terminator1, terminator2);
  EXPECT_EQ(buffer[count], '\0');
  return {count, std::string(buffer.data(), count), stream.Position()};
}

TEST(IDataStreamReadString, LineEndModeConsumesCarriageReturnAndLineFeed) {
  const StringRead crlf = ReadStringOf("ab\r\ncd", 64, '\n', '\0');
  EXPECT_EQ(crlf.count, 2u);
  EXPECT_EQ(crlf.text, "ab");
  EXPECT_EQ(crlf.positionAfter, 4);

  const StringRead loneCr = ReadStringOf("ab\rcd", 64, '\0', '\n');
  EXPECT_EQ(loneCr.text, "ab");
  EXPECT_EQ(loneCr.positionAfter, 3);

  const StringRead lastCr = ReadStringOf("ab\r", 64, '\n', '\0');
  EXPECT_EQ(lastCr.text, "ab");
  EXPECT_EQ(lastCr.positionAfter, 3);

  const StringRead bareLf = ReadStringOf("ab\ncd", 64, '\n', '\0');
  EXPECT_EQ(bareLf.text, "ab");
  EXPECT_EQ(bareLf.positionAfter, 3);
}

TEST(IDataStreamReadString, OutsideLineEndModeCarriageReturnIsData) {
  const StringRead read = ReadStringOf("ab\r\ncd", 64, ' ', '\0');
  EXPECT_EQ(read.count, 6u);
  EXPECT_EQ(read.text, "ab\r\ncd");
  EXPECT_EQ(read.positionAfter, 6);
}

TEST(IDataStreamReadString, StopsAtEitherTerminatorOrZeroAndConsumesIt) {
  EXPECT_EQ(ReadStringOf("ab,cd", 64, ',', ';').positionAfter, 3);
  EXPECT_EQ(ReadStringOf("ab;cd", 64, ',', ';').text, "ab");
  const StringRead zero = ReadStringOf(std::string("ab\0cd", 5), 64, ',', ';');
  EXPECT_EQ(zero.text, "ab");
  EXPECT_EQ(zero.positionAfter, 3);
}

TEST(IDataStreamReadString, HighTerminatorsMatchTheirBytes) {
  const StringRead ff = ReadStringOf("ab\xFF" "cd", 64, '\xFF', '\0');
  EXPECT_EQ(ff.text, "ab");
  EXPECT_EQ(ff.positionAfter, 3);
  EXPECT_EQ(ReadStringOf("a\x80\x81", 64, '\0', '\x81').text, "a\x80");
}

TEST(IDataStreamReadString, FullBufferLeavesTheNextByteUnread) {
  const StringRead read = ReadStringOf("abcd", 3, '\n', '\0');
  EXPECT_EQ(read.count, 2u);
  EXPECT_EQ(read.text, "ab");
  EXPECT_EQ(read.positionAfter, 2);

  const StringRead single = ReadStringOf("abcd", 1, '\n', '\0');
  EXPECT_EQ(single.count, 0u);
  EXPECT_EQ(single.positionAfter, 0);
}

TEST(IDataStreamReadStringDeathTest, ZeroSizedBufferIsAFailedCheck) {
  MemoryStream stream("abc");
  char buffer[1];
  EXPECT_HALT_WITH_CONSOLE("zero-sized.txt", stream.ReadString(buffer, 0, '\n', '\0'));
  const std::string console = test_files::ReadAll("zero-sized.txt");
  EXPECT_THAT(console, HasSubstr("Assertion failed in IDataStream ("));
  EXPECT_THAT(console, HasSubstr("): IDataStream::ReadString: zero-sized buffer"));
}

TEST(IDataStreamPositions, SeekBeyondTheEndAndTheStreamChain) {
  MemoryStream stream("abc");
  stream.Seek(5);
  EXPECT_TRUE(stream.AtEnd());
  EXPECT_EQ(stream.Remaining(), -2);
  stream.SkipBytes(-4);
  EXPECT_EQ(stream.Position(), 1);
  EXPECT_EQ(stream.Remaining(), 2);
  EXPECT_FALSE(stream.AtEnd());
  EXPECT_EQ(stream.ParentStream(), nullptr);
  EXPECT_EQ(stream.ParentPosition(), 1);
  EXPECT_EQ(stream.RootStream(), &stream);
}

TEST(IDataStreamCopy, WholeStreamMovesBlocksFromTheSourceStart) {
  MemoryStream source("0123456789");
  source.Seek(7);
  MemoryStream destination("xy");
  destination.Seek(1);
  CopyWholeStream(destination, source, 4);
  EXPECT_THAT(source.readCounts, ElementsAre(4, 4, 2));
  EXPECT_THAT(destination.writeCounts, ElementsAre(4, 4, 2));
  EXPECT_EQ(destination.bytes, "x0123456789");

  MemoryStream empty;
  empty.Seek(3);
  MemoryStream target;
  CopyWholeStream(target, empty, 4);
  EXPECT_EQ(empty.Position(), 0);
  EXPECT_THAT(empty.readCounts, IsEmpty());
  EXPECT_THAT(target.writeCounts, IsEmpty());
}

TEST(IDataStreamCopy, RangeStartsAtTheSourcePositionAndUsesTheGivenBuffer) {
  MemoryStream source("0123456789");
  source.Seek(2);
  MemoryStream destination;
  char buffer[3];
  CopyStreamRange(destination, source, 7, 3, buffer);
  EXPECT_THAT(source.readCounts, ElementsAre(3, 3, 1));
  EXPECT_EQ(destination.bytes, "2345678");
  EXPECT_EQ(buffer[0], '8');

  CopyStreamRange(destination, source, 5, 0);
  EXPECT_EQ(destination.bytes, "2345678");
}

}  // namespace
