#include "support/IDataStream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>

#include "support/Assertions.h"

namespace {

template <class Value>
Value Reversed(Value value) {
  auto bytes = std::bit_cast<std::array<std::uint8_t, sizeof(Value)>>(value);
  std::reverse(bytes.begin(), bytes.end());
  return std::bit_cast<Value>(bytes);
}

constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kCarriageReturn = 0x0D;

}  // namespace

// --- IDataStream ---------------------------------------------------------

IDataStream::~IDataStream() = default;

template <class Value>
Value IDataStream::ReadValue() {
  // Bytes the stream does not deliver stay zero.
  Value value{};
  ReadBuf(&value, sizeof value);
  return byteSwap ? Reversed(value) : value;
}

template <class Value>
void IDataStream::WriteValue(Value value) {
  if (byteSwap) value = Reversed(value);
  WriteBytes(&value, sizeof value);
}

std::uint8_t IDataStream::ReadU8() { return ReadValue<std::uint8_t>(); }
std::uint16_t IDataStream::ReadU16() { return ReadValue<std::uint16_t>(); }
std::uint32_t IDataStream::ReadU32() { return ReadValue<std::uint32_t>(); }
std::uint64_t IDataStream::ReadU64() { return ReadValue<std::uint64_t>(); }
float IDataStream::ReadF32() { return std::bit_cast<float>(ReadU32()); }

std::uint32_t IDataStream::ReadString(char* destination, std::uint32_t size, char terminator1,
                                      char terminator2) {
  QL_CHECK(size != 0, "IDataStream::ReadString: zero-sized buffer");
  // Compared as unsigned bytes, so terminators from 0x80 up match too.
  const auto first = static_cast<std::uint8_t>(terminator1);
  const auto second = static_cast<std::uint8_t>(terminator2);
  const bool lineEndMode = first == kLineFeed || second == kLineFeed;
  std::uint32_t stored = 0;
  while (stored < size - 1 && !AtEnd()) {
    const std::uint8_t byte = ReadU8();
    if (lineEndMode && byte == kCarriageReturn) {
      if (!AtEnd() && PeekU8() == kLineFeed) SkipBytes(1);
      break;
    }
    if (byte == 0 || byte == first || byte == second) break;
    destination[stored++] = static_cast<char>(byte);
  }
  destination[stored] = '\0';
  return stored;
}

std::uint8_t IDataStream::PeekU8() {
  PositionRestorer restorer(*this);
  return ReadU8();
}

std::uint16_t IDataStream::PeekU16() {
  PositionRestorer restorer(*this);
  return ReadU16();
}

std::uint32_t IDataStream::PeekU32() {
  PositionRestorer restorer(*this);
  return ReadU32();
}

std::uint64_t IDataStream::PeekU64() {
  PositionRestorer restorer(*this);
  return ReadU64();
}

float IDataStream::PeekF32() {
  PositionRestorer restorer(*this);
  return ReadF32();
}

void IDataStream::PeekBytes(void* destination, std::uint32_t count) {
  PositionRestorer restorer(*this);
  ReadBuf(destination, count);
}

void IDataStream::SkipBytes(std::int64_t count) { Seek(Position() + count); }

void IDataStream::WriteU8(std::uint8_t value) { WriteValue(value); }
void IDataStream::WriteU16(std::uint16_t value) { WriteValue(value); }
void IDataStream::WriteU32(std::uint32_t value) { WriteValue(value); }
void IDataStream::WriteU64(std::uint64_t value) { WriteValue(value); }
void IDataStream::WriteF32(float value) { WriteValue(std::bit_cast<std::uint32_t>(value)); }

void IDataStream::WriteCString(const char* text) {
  WriteBytes(text, static_cast<std::uint32_t>(std::strlen(text) + 1));
}

void IDataStream::Seek(std::int64_t newPosition) { position = newPosition; }

std::int64_t IDataStream::ParentPosition() { return position; }

IDataStream* IDataStream::ParentStream() { return nullptr; }

IDataStream* IDataStream::RootStream() {
  IDataStream* parentStream = ParentStream();
  return parentStream != nullptr ? parentStream->RootStream() : this;
}

// --- IDataSubStream ------------------------------------------------------

IDataSubStream::IDataSubStream(IDataStream& parentStream, std::int64_t base,
                               std::int64_t windowLength) {
  Attach(parentStream, base, windowLength);
}

IDataSubStream::~IDataSubStream() = default;

void IDataSubStream::Attach(IDataStream& parentStream, std::int64_t base,
                            std::int64_t windowLength) {
  parent = &parentStream;
  baseOffset = base;
  length = windowLength;
  position = 0;
  parent->Seek(baseOffset);
}

void IDataSubStream::PositionParent() {
  QL_CHECK(parent != nullptr, "IDataSubStream: no parent attached");
  const std::int64_t wanted = baseOffset + position;
  if (parent->Position() != wanted) parent->Seek(wanted);
}

void IDataSubStream::ReadBuf(void* destination, std::uint32_t count) {
  QL_CHECK(std::int64_t{count} <= Remaining(), "IDataSubStream::ReadBuf: hit eof");
  PositionParent();
  parent->ReadBuf(destination, count);
  // The window advances by the count asked for, whatever the parent delivered.
  position += count;
}

void IDataSubStream::WriteBytes(const void* source, std::uint32_t count) {
  PositionParent();
  parent->WriteBytes(source, count);
  position += count;
  if (length < position) length = position;
}

void IDataSubStream::Seek(std::int64_t newPosition) {
  QL_CHECK(parent != nullptr, "IDataSubStream: no parent attached");
  parent->Seek(baseOffset + newPosition);
  position = newPosition;
}

std::int64_t IDataSubStream::ParentPosition() {
  return parent != nullptr ? parent->Position() : position;
}

IDataStream* IDataSubStream::ParentStream() { return parent; }

// --- Copying -------------------------------------------------------------

namespace {

void CopyBlocks(IDataStream& destination, IDataStream& source, std::uint64_t remaining,
                std::uint64_t blockSize, void* buffer) {
  // Out-of-range block sizes are held to what one transfer can move, so the
  // buffer always covers a chunk and a size of 0 cannot loop forever.
  const auto block = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(blockSize, std::numeric_limits<std::uint32_t>::max()));
  if (block == 0) return;
  std::unique_ptr<std::uint8_t[]> ownBuffer;
  if (buffer == nullptr) {
    ownBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(block);
    buffer = ownBuffer.get();
  }
  while (remaining > 0) {
    const auto chunk = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, block));
    source.ReadBuf(buffer, chunk);
    destination.WriteBytes(buffer, chunk);
    remaining -= chunk;
  }
}

}  // namespace

void CopyWholeStream(IDataStream& destination, IDataStream& source, std::uint64_t blockSize,
                     void* buffer) {
  source.SeekToStart();
  CopyBlocks(destination, source, static_cast<std::uint64_t>(source.Length()), blockSize, buffer);
}

void CopyStreamRange(IDataStream& destination, IDataStream& source, std::uint64_t count,
                     std::uint64_t blockSize, void* buffer) {
  CopyBlocks(destination, source, count, blockSize, buffer);
}
