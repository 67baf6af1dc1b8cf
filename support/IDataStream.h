#pragma once
// Random-access byte streams: typed, optionally byte-swapped transfers over
// the block operations of a concrete stream, and a window onto part of
// another stream.

#include <cstdint>

class IDataStream {
 public:
  IDataStream() = default;
  IDataStream(const IDataStream&) = delete;
  IDataStream& operator=(const IDataStream&) = delete;
  virtual ~IDataStream();

  // The virtual operations keep this order: it is the table's slot order.
  // Typed reads and peeks of a value the stream delivers only in part yield
  // zeros for the missing bytes.
  virtual std::uint8_t ReadU8();
  virtual std::uint16_t ReadU16();
  virtual std::uint32_t ReadU32();
  virtual std::uint64_t ReadU64();
  virtual float ReadF32();
  // Reads up to size - 1 bytes into destination and terminates them; stops
  // after a zero byte or either terminator (consumed, not stored), at the
  // end of the stream, or when the buffer is full. When a terminator is a line
  // feed, a carriage return also ends the string and takes a line feed right
  // after it along. Returns the bytes stored. A size of 0 is a failed check.
  virtual std::uint32_t ReadString(char* destination, std::uint32_t size, char terminator1,
                                   char terminator2);
  virtual void ReadBuf(void* destination, std::uint32_t count) = 0;
  virtual std::uint8_t PeekU8();
  virtual std::uint16_t PeekU16();
  virtual std::uint32_t PeekU32();
  virtual std::uint64_t PeekU64();
  virtual float PeekF32();
  virtual void PeekBytes(void* destination, std::uint32_t count);
  virtual void SkipBytes(std::int64_t count);
  virtual void WriteU8(std::uint8_t value);
  virtual void WriteU16(std::uint16_t value);
  virtual void WriteU32(std::uint32_t value);
  virtual void WriteU64(std::uint64_t value);
  virtual void WriteF32(float value);
  // Writes the text with its terminating zero.
  virtual void WriteCString(const char* text);
  virtual void WriteBytes(const void* source, std::uint32_t count) = 0;
  // Any position is accepted, also one beyond the end.
  virtual void Seek(std::int64_t newPosition);
  // Where the underlying stream stands; a stream on no other is its own.
  virtual std::int64_t ParentPosition();
  virtual IDataStream* ParentStream();

  std::int64_t Length() const { return length; }
  // Negative once the position lies beyond the end.
  std::int64_t Remaining() const { return length - position; }
  std::int64_t Position() const { return position; }
  bool AtEnd() const { return position >= length; }
  void SetByteSwap(bool swap) { byteSwap = swap; }
  IDataStream* RootStream();
  void SeekToStart() { Seek(0); }

 protected:
  std::int64_t length = 0;
  std::int64_t position = 0;
  bool byteSwap = false;

 private:
  template <class Value>
  Value ReadValue();
  template <class Value>
  void WriteValue(Value value);
};

// Puts the stream back where it stood at construction, however the scope ends.
class PositionRestorer {
 public:
  explicit PositionRestorer(IDataStream& stream)
      : stream_(stream), savedPosition_(stream.Position()) {}
  ~PositionRestorer() { stream_.Seek(savedPosition_); }
  PositionRestorer(const PositionRestorer&) = delete;
  PositionRestorer& operator=(const PositionRestorer&) = delete;

 private:
  IDataStream& stream_;
  std::int64_t savedPosition_;
};

// A window onto length bytes of a parent stream, starting at the parent's byte
// baseOffset. The parent is not owned. Every transfer first moves the parent
// to the window's spot (only when it stands elsewhere), so several windows and
// other users may share one parent.
class IDataSubStream : public IDataStream {
 public:
  // Needs Attach before any transfer or seek.
  IDataSubStream() = default;
  IDataSubStream(IDataStream& parentStream, std::int64_t base, std::int64_t windowLength);
  ~IDataSubStream() override;

  // Re-targets the window and starts it again at its byte 0.
  void Attach(IDataStream& parentStream, std::int64_t base, std::int64_t windowLength);

  // A read beyond the window's end is a failed check.
  void ReadBuf(void* destination, std::uint32_t count) override;
  // Writes may run past the window's end; the window grows.
  void WriteBytes(const void* source, std::uint32_t count) override;
  void Seek(std::int64_t newPosition) override;
  std::int64_t ParentPosition() override;
  IDataStream* ParentStream() override;

 private:
  void PositionParent();

  IDataStream* parent = nullptr;
  std::int64_t baseOffset = 0;
};

// Copy the whole source (from its first byte), or count bytes from its
// position, to the destination's position in blocks of blockSize bytes
// (1 to 4294967295). buffer, when given, holds at least blockSize bytes;
// otherwise one is allocated for the call.
void CopyWholeStream(IDataStream& destination, IDataStream& source, std::uint64_t blockSize,
                     void* buffer = nullptr);
void CopyStreamRange(IDataStream& destination, IDataStream& source, std::uint64_t count,
                     std::uint64_t blockSize, void* buffer = nullptr);
