#pragma once
// An in-memory stream for stream tests: delivers what it holds (fewer bytes at
// its end, leaving the rest of the destination untouched), grows on writes,
// and counts what the stream family asks of it.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/IDataStream.h"

class MemoryStream : public IDataStream {
 public:
  explicit MemoryStream(std::string initial = {}) : bytes(std::move(initial)) {
    length = static_cast<std::int64_t>(bytes.size());
  }

  void ReadBuf(void* destination, std::uint32_t count) override {
    readCounts.push_back(count);
    const auto available = position < length ? static_cast<std::uint64_t>(length - position) : 0;
    const auto delivered = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, available));
    if (delivered == 0) return;
    std::memcpy(destination, bytes.data() + position, delivered);
    position += delivered;
  }

  void WriteBytes(const void* source, std::uint32_t count) override {
    writeCounts.push_back(count);
    const auto end = static_cast<std::size_t>(position) + count;
    if (bytes.size() < end) bytes.resize(end, '\0');
    std::memcpy(bytes.data() + position, source, count);
    position += count;
    length = std::max<std::int64_t>(length, position);
  }

  void Seek(std::int64_t newPosition) override {
    ++seekCount;
    IDataStream::Seek(newPosition);
  }

  std::string bytes;
  std::vector<std::uint32_t> readCounts;
  std::vector<std::uint32_t> writeCounts;
  int seekCount = 0;
};
