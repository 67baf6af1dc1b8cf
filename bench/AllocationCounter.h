#pragma once
// The benchmark binary replaces the global operator new so that a benchmark
// can show how many heap allocations its timed loop made.

#include <cstdint>

namespace allocation_counter {

// Allocations through operator new (every form) since the process started.
std::uint64_t Count();

}  // namespace allocation_counter
