#pragma once
// A text buffer on the library's own heap that one UI function reuses from
// call to call, so a long session holds one block instead of one per call.

#include <cstddef>
#include <cstdint>

class ResultBuffer {
 public:
  constexpr ResultBuffer() = default;
  ~ResultBuffer();
  ResultBuffer(const ResultBuffer&) = delete;
  ResultBuffer& operator=(const ResultBuffer&) = delete;

  char* Data() const { return data_; }
  std::size_t Capacity() const { return capacity_; }
  // Whether `at` points into the current block.
  bool Contains(const void* at) const {
    // As addresses: one subtraction, and unrelated pointers compare too.
    return reinterpret_cast<std::uintptr_t>(at) - reinterpret_cast<std::uintptr_t>(data_) < capacity_;
  }
  // Whether holding the current block for a text of `size` bytes would keep
  // far more memory than the text needs: a large block kept after one long
  // text would otherwise stay for the whole session.
  bool IsOversizedFor(std::size_t size) const {
    return capacity_ > kShrinkAbove && size < capacity_ / 4;
  }

  // A block of at least `size` bytes; the contents are not kept when it
  // grows. Null, and no block held, when the heap refuses.
  char* Reserve(std::size_t size) noexcept { return size <= capacity_ ? data_ : Grow(size); }
  void Swap(ResultBuffer& other) noexcept;

  // Blocks of every ResultBuffer in the process: allocated so far, and
  // still held. For tests.
  static std::size_t AllocationCount() { return allocationCount_; }
  static std::size_t LiveBlockCount() { return liveBlockCount_; }
  static std::size_t HeldBytes() { return heldBytes_; }

 private:
  char* Grow(std::size_t size) noexcept;
  void Release() noexcept;

  static constexpr std::size_t kShrinkAbove = std::size_t{1} << 20;

  char* data_ = nullptr;
  std::size_t capacity_ = 0;

  static inline std::size_t allocationCount_ = 0;
  static inline std::size_t liveBlockCount_ = 0;
  static inline std::size_t heldBytes_ = 0;
};
