#include "faults/FailingAllocator.h"

#include <cstdlib>
#include <new>

namespace {

// The tests are single-threaded; the state is plain data.
bool counting = false;
std::uint64_t allocations = 0;
std::uint64_t failAt = 0;  // 0: no failure
bool injected = false;
std::int64_t liveBlocks = 0;

void* Allocate(std::size_t size) noexcept {
  if (counting) {
    ++allocations;
    if (allocations == failAt) {
      injected = true;
      return nullptr;
    }
  }
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block) ++liveBlocks;
  return block;
}

void* AllocateOrThrow(std::size_t size) {
  void* block = Allocate(size);
  if (!block) throw std::bad_alloc();
  return block;
}

void Free(void* block) noexcept {
  if (!block) return;
  --liveBlocks;
  std::free(block);
}

}  // namespace

namespace failing_allocator {

void CountFromNow() { FailAllocationNumber(0); }

void FailAllocationNumber(std::uint64_t nth) {
  allocations = 0;
  failAt = nth;
  injected = false;
  counting = true;
}

void Stop() {
  counting = false;
  failAt = 0;
}

std::uint64_t Allocations() { return allocations; }
bool Injected() { return injected; }
std::int64_t LiveBlocks() { return liveBlocks; }

}  // namespace failing_allocator

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Free(block); }
