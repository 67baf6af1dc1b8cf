// The stream family driven by arbitrary operations: a memory stream, a
// window onto it and a window onto that window. A model written here from the
// documented behaviour predicts every value, position, length and string;
// reads that the windows would refuse (a failed check stops the process) are
// not issued.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "support/IDataStream.h"

namespace {

constexpr std::int64_t kFarthest = 512;  // bounds every offset, so sums cannot overflow

// Delivers what it holds from its position on (nothing before byte 0 or past
// the end, leaving the rest of the destination as it was) and grows on writes.
class MemoryStream : public IDataStream {
 public:
  explicit MemoryStream(std::vector<std::uint8_t> initial) : bytes_(std::move(initial)) {
    length = static_cast<std::int64_t>(bytes_.size());
  }

  void ReadBuf(void* destination, std::uint32_t count) override {
    if (position < 0 || position >= length) return;
    const auto delivered = static_cast<std::size_t>(std::min<std::int64_t>(count, length - position));
    if (delivered == 0) return;  // the destination may be null then
    std::memcpy(destination, bytes_.data() + position, delivered);
    position += static_cast<std::int64_t>(delivered);
  }

  void WriteBytes(const void* source, std::uint32_t count) override {
    if (position >= 0 && count > 0) {
      const auto end = static_cast<std::size_t>(position) + count;
      if (bytes_.size() < end) bytes_.resize(end, 0);
      std::memcpy(bytes_.data() + position, source, count);
      length = std::max<std::int64_t>(length, static_cast<std::int64_t>(end));
    }
    position += count;
  }

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// What each stream should look like, computed without the stream classes.
struct Model {
  Model* parent = nullptr;  // null: the memory stream
  std::vector<std::uint8_t> bytes;
  std::int64_t base = 0;
  std::int64_t length = 0;
  std::int64_t position = 0;
  bool swap = false;

  bool AtEnd() const { return position >= length; }

  // Whether reading `count` bytes at `at` passes every window's check.
  bool CanRead(std::int64_t at, std::uint32_t count) const {
    if (!parent) return true;
    return std::int64_t{count} <= length - at && parent->CanRead(base + at, count);
  }

  std::vector<std::uint8_t> Read(std::uint32_t count) {
    if (!parent) {
      std::vector<std::uint8_t> delivered;
      if (position >= 0 && position < length) {
        const auto n = std::min<std::int64_t>(count, length - position);
        delivered.assign(bytes.begin() + position, bytes.begin() + position + n);
        position += n;
      }
      return delivered;
    }
    parent->position = base + position;
    std::vector<std::uint8_t> delivered = parent->Read(count);
    position += count;
    return delivered;
  }

  void Write(const std::vector<std::uint8_t>& source) {
    const auto count = static_cast<std::int64_t>(source.size());
    if (!parent) {
      if (position >= 0) {
        const auto end = static_cast<std::size_t>(position + count);
        if (bytes.size() < end) bytes.resize(end, 0);
        std::copy(source.begin(), source.end(), bytes.begin() + position);
        length = std::max<std::int64_t>(length, position + count);
      }
      position += count;
      return;
    }
    parent->position = base + position;
    parent->Write(source);
    position += count;
    length = std::max(length, position);
  }

  void Seek(std::int64_t to) {
    if (parent) parent->Seek(base + to);
    position = to;
  }

  // A typed value: the delivered bytes, zeros after them, reversed if swapped.
  std::uint64_t ReadValue(std::uint32_t width) {
    std::array<std::uint8_t, 8> raw{};
    const std::vector<std::uint8_t> delivered = Read(width);
    std::copy(delivered.begin(), delivered.end(), raw.begin());
    if (swap) std::reverse(raw.begin(), raw.begin() + width);
    std::uint64_t value = 0;
    for (std::uint32_t i = width; i-- > 0;) value = (value << 8) | raw[i];
    return value;
  }

  std::vector<std::uint8_t> ReadString(std::uint32_t size, std::uint8_t first, std::uint8_t second) {
    const bool lineEnds = first == 0x0A || second == 0x0A;
    std::vector<std::uint8_t> stored;
    while (stored.size() + 1 < size && !AtEnd()) {
      const std::uint8_t byte = static_cast<std::uint8_t>(ReadValue(1));
      if (lineEnds && byte == 0x0D) {
        if (!AtEnd()) {
          const std::int64_t at = position;
          const bool lineFeed = ReadValue(1) == 0x0A;
          Seek(at);
          if (lineFeed) Seek(at + 1);
        }
        break;
      }
      if (byte == 0 || byte == first || byte == second) break;
      stored.push_back(byte);
    }
    return stored;
  }
};

// Every check a read of `count` bytes through `stream` would make passes.
bool Readable(const Model& model, std::uint32_t count) { return model.CanRead(model.position, count); }

// ReadString reads single bytes up to size, and peeks one more after a CR.
bool StringReadable(const Model& model, std::uint32_t size) {
  for (std::int64_t at = model.position; at <= model.position + size && at < model.length; ++at) {
    if (!model.CanRead(at, 1)) return false;
  }
  return true;
}

void ExpectSame(IDataStream& stream, const Model& model) {
  FUZZ_CHECK(stream.Position() == model.position);
  FUZZ_CHECK(stream.Length() == model.length);
  FUZZ_CHECK(stream.Remaining() == model.length - model.position);
  FUZZ_CHECK(stream.AtEnd() == model.AtEnd());
}

std::uint64_t ReadTyped(IDataStream& stream, int width, bool peek) {
  switch (width) {
    case 1: return peek ? stream.PeekU8() : stream.ReadU8();
    case 2: return peek ? stream.PeekU16() : stream.ReadU16();
    case 4: return peek ? stream.PeekU32() : stream.ReadU32();
    default: return peek ? stream.PeekU64() : stream.ReadU64();
  }
}

void WriteTyped(IDataStream& stream, int width, std::uint64_t value) {
  switch (width) {
    case 1: stream.WriteU8(static_cast<std::uint8_t>(value)); break;
    case 2: stream.WriteU16(static_cast<std::uint16_t>(value)); break;
    case 4: stream.WriteU32(static_cast<std::uint32_t>(value)); break;
    default: stream.WriteU64(value); break;
  }
}

// The bytes a typed write puts into the stream.
std::vector<std::uint8_t> TypedBytes(int width, std::uint64_t value, bool swap) {
  std::vector<std::uint8_t> bytes;
  for (int i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  if (swap) std::reverse(bytes.begin(), bytes.end());
  return bytes;
}

struct Streams {
  MemoryStream memory;
  IDataSubStream window;
  IDataSubStream inner;  // a window onto the window
  Model memoryModel;
  Model windowModel;
  Model innerModel;

  explicit Streams(std::vector<std::uint8_t> initial) : memory(initial) {
    memoryModel.bytes = std::move(initial);
    memoryModel.length = static_cast<std::int64_t>(memoryModel.bytes.size());
    windowModel.parent = &memoryModel;
    innerModel.parent = &windowModel;
  }

  void Attach(FuzzedDataProvider& fuzz) {
    const std::int64_t base = fuzz.ConsumeIntegralInRange<std::int64_t>(0, kFarthest / 4);
    const std::int64_t length = fuzz.ConsumeIntegralInRange<std::int64_t>(0, kFarthest / 4);
    const std::int64_t innerBase = fuzz.ConsumeIntegralInRange<std::int64_t>(0, kFarthest / 4);
    const std::int64_t innerLength = fuzz.ConsumeIntegralInRange<std::int64_t>(0, kFarthest / 4);
    window.Attach(memory, base, length);
    windowModel.base = base;
    windowModel.length = length;
    windowModel.position = 0;
    memoryModel.position = base;
    inner.Attach(window, innerBase, innerLength);
    innerModel.base = innerBase;
    innerModel.length = innerLength;
    innerModel.position = 0;
    windowModel.Seek(innerBase);
  }
};

void RunOperation(FuzzedDataProvider& fuzz, Streams& streams) {
  const int which = fuzz.ConsumeIntegralInRange(0, 2);
  IDataStream& stream = which == 0 ? static_cast<IDataStream&>(streams.memory)
                        : which == 1 ? static_cast<IDataStream&>(streams.window)
                                     : static_cast<IDataStream&>(streams.inner);
  Model& model = which == 0 ? streams.memoryModel : which == 1 ? streams.windowModel : streams.innerModel;
  static constexpr int kWidths[] = {1, 2, 4, 8};

  switch (fuzz.ConsumeIntegralInRange(0, 9)) {
    case 0: {  // typed read or peek
      const int width = kWidths[fuzz.ConsumeIntegralInRange(0, 3)];
      const bool peek = fuzz.ConsumeBool();
      if (!Readable(model, static_cast<std::uint32_t>(width))) return;
      const std::int64_t before = model.position;
      const std::uint64_t expected = model.ReadValue(static_cast<std::uint32_t>(width));
      if (peek) model.Seek(before);
      FUZZ_CHECK(ReadTyped(stream, width, peek) == expected);
      break;
    }
    case 1: {  // float: the bit pattern of the 32-bit read
      const bool peek = fuzz.ConsumeBool();
      if (!Readable(model, 4)) return;
      const std::int64_t before = model.position;
      const auto expected = static_cast<std::uint32_t>(model.ReadValue(4));
      if (peek) model.Seek(before);
      const float value = peek ? stream.PeekF32() : stream.ReadF32();
      std::uint32_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      FUZZ_CHECK(bits == expected);
      break;
    }
    case 2: {  // ReadString
      const auto size = fuzz.ConsumeIntegralInRange<std::uint32_t>(1, 40);
      const char first = static_cast<char>(fuzz.PickValueInArray<std::uint8_t>({0x0A, 0x20, 0x00, 0x0D, 0x80, 0xFF}));
      const char second = static_cast<char>(fuzz.ConsumeIntegral<std::uint8_t>());
      if (!StringReadable(model, size)) return;
      const std::vector<std::uint8_t> expected =
          model.ReadString(size, static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second));
      std::vector<char> destination(size + 8, '\x5A');
      const std::uint32_t stored = stream.ReadString(destination.data(), size, first, second);
      FUZZ_CHECK(stored == expected.size() && stored < size);
      FUZZ_CHECK(std::equal(expected.begin(), expected.end(), destination.begin(),
                            [](std::uint8_t e, char d) { return e == static_cast<std::uint8_t>(d); }));
      FUZZ_CHECK(destination[stored] == '\0');
      FUZZ_CHECK(destination[size] == '\x5A');  // nothing past the buffer
      break;
    }
    case 3: {  // PeekBytes
      const auto count = fuzz.ConsumeIntegralInRange<std::uint32_t>(0, 24);
      if (!Readable(model, count)) return;
      const std::int64_t before = model.position;
      const std::vector<std::uint8_t> expected = model.Read(count);
      model.Seek(before);
      std::vector<std::uint8_t> destination(count, 0x5A);
      stream.PeekBytes(destination.data(), count);
      FUZZ_CHECK(std::equal(expected.begin(), expected.end(), destination.begin()));
      FUZZ_CHECK(std::all_of(destination.begin() + static_cast<std::ptrdiff_t>(expected.size()), destination.end(),
                             [](std::uint8_t b) { return b == 0x5A; }));
      break;
    }
    case 4: {  // Seek, anywhere near
      const std::int64_t to = fuzz.ConsumeIntegralInRange<std::int64_t>(-8, kFarthest / 4);
      stream.Seek(to);
      model.Seek(to);
      break;
    }
    case 5: {  // SkipBytes
      const std::int64_t count = fuzz.ConsumeIntegralInRange<std::int64_t>(-8, 16);
      if (model.position + count > kFarthest / 2 || model.position + count < -16) return;
      stream.SkipBytes(count);
      model.Seek(model.position + count);
      break;
    }
    case 6: {  // byte order
      const bool swap = fuzz.ConsumeBool();
      stream.SetByteSwap(swap);
      model.swap = swap;
      break;
    }
    case 7: {  // typed write
      const int width = kWidths[fuzz.ConsumeIntegralInRange(0, 3)];
      const std::uint64_t value = fuzz.ConsumeIntegral<std::uint64_t>();
      if (model.position < 0 || model.position > kFarthest / 2) return;
      WriteTyped(stream, width, value);
      model.Write(TypedBytes(width, value, model.swap));
      break;
    }
    case 8: {  // a copy of a range into a fresh memory stream
      const auto count = fuzz.ConsumeIntegralInRange<std::uint32_t>(0, 40);
      const auto block = fuzz.ConsumeIntegralInRange<std::uint32_t>(1, 9);
      if (!Readable(model, count)) return;
      // The copy reads in chunks: each must pass the windows' checks too.
      for (std::uint32_t done = 0; done < count; done += block) {
        if (!model.CanRead(model.position + done, std::min(block, count - done))) return;
      }
      MemoryStream sink({});
      CopyStreamRange(sink, stream, count, block);
      // Whole chunks are written; of each, only the bytes the source
      // delivered are defined.
      FUZZ_CHECK(sink.Bytes().size() == count);
      for (std::uint32_t done = 0; done < count; done += block) {
        const std::vector<std::uint8_t> delivered = model.Read(std::min(block, count - done));
        FUZZ_CHECK(std::equal(delivered.begin(), delivered.end(), sink.Bytes().begin() + done));
      }
      break;
    }
    default:
      streams.Attach(fuzz);
      break;
  }
  ExpectSame(stream, model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fuzz(data, size);
  const auto initialSize = fuzz.ConsumeIntegralInRange<std::size_t>(0, 96);
  Streams streams(fuzz.ConsumeBytes<std::uint8_t>(initialSize));
  streams.Attach(fuzz);
  for (int operations = 0; operations < 64 && fuzz.remaining_bytes() > 0; ++operations) {
    RunOperation(fuzz, streams);
  }
  ExpectSame(streams.memory, streams.memoryModel);
  FUZZ_CHECK(streams.memory.Bytes() == streams.memoryModel.bytes);
  FUZZ_CHECK(streams.inner.RootStream() == &streams.memory && streams.window.ParentStream() == &streams.memory);
  FUZZ_CHECK(streams.inner.ParentPosition() == streams.window.Position());
  return 0;
}
