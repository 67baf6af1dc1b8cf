#pragma once
// A text buffer on the library's own heap that one UI function reuses from
// call to call, so a long session holds one block instead of one per call.

#include <cstddef>

class ResultBuffer {
 public:
  constexpr ResultBuffer() = default;
  ~ResultBuffer();
  ResultBuffer(const ResultBuffer&) = delete;
  ResultBuffer& operator=(const ResultBuffer&) = delete;

  char* Data() const { return data_; }
  std::size_t Capacity() const { return capacity_; }
  // Whether `at` points into the current block.
  bool Contains(const void* at) const;

  // A block of at least `size` bytes; the contents are not kept when it
  // grows. Null, and no block held, when the heap refuses.
  char* Reserve(std::size_t size) noexcept;
  void Swap(ResultBuffer& other) noexcept;

  // Blocks of every ResultBuffer in the process: allocated so far, and
  // still held. For tests.
  static std::size_t AllocationCount() { return allocationCount_; }
  static std::size_t LiveBlockCount() { return liveBlockCount_; }

 private:
  void Release() noexcept;

  char* data_ = nullptr;
  std::size_t capacity_ = 0;

  static inline std::size_t allocationCount_ = 0;
  static inline std::size_t liveBlockCount_ = 0;
};
