#pragma once
// The test_faults binary replaces the global operator new and delete with
// ones that count, and that can be told to fail one chosen allocation: the
// throwing forms then throw std::bad_alloc, the nothrow forms return null.
// Nothing fails unless asked, so the other tests of the binary run as usual.

#include <cstdint>

namespace failing_allocator {

// Counts the allocations from now on; none fails.
void CountFromNow();
// Counts from now on, and fails the nth allocation (1 for the next one).
void FailAllocationNumber(std::uint64_t nth);
// Ends counting and failing.
void Stop();

// Allocations since CountFromNow or FailAllocationNumber, the failed one included.
std::uint64_t Allocations();
// Whether the chosen allocation was reached and failed.
bool Injected();
// Blocks allocated and not yet freed, over the whole process.
std::int64_t LiveBlocks();

}  // namespace failing_allocator
