#include "functions/ResultBuffer.h"

#include <new>
#include <utility>

ResultBuffer::~ResultBuffer() { Release(); }

char* ResultBuffer::Grow(std::size_t size) noexcept {
  // Growing by half again at least keeps slowly lengthening texts from
  // reallocating on every call.
  const std::size_t headroom = static_cast<std::size_t>(-1) - capacity_;
  const std::size_t grown = capacity_ / 2 <= headroom ? capacity_ + capacity_ / 2 : size;
  const std::size_t capacity = grown > size ? grown : size;
  Release();  // before allocating, so the old and new blocks never coexist
  data_ = new (std::nothrow) char[capacity];
  if (!data_) return nullptr;
  capacity_ = capacity;
  ++allocationCount_;
  ++liveBlockCount_;
  heldBytes_ += capacity;
  return data_;
}

void ResultBuffer::Swap(ResultBuffer& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(capacity_, other.capacity_);
}

void ResultBuffer::Release() noexcept {
  if (!data_) return;
  delete[] data_;
  heldBytes_ -= capacity_;
  data_ = nullptr;
  capacity_ = 0;
  --liveBlockCount_;
}
