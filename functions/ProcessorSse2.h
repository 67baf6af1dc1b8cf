#pragma once
// Whether the processor runs SSE2 instructions: always on x86_64, asked of
// cpuid once on IA-32 (no import, no work at load), never elsewhere.

#if defined(__i386__)
#include <atomic>

namespace processor_sse2 {

enum : int { kUnknown, kAbsent, kPresent };
// Racing first calls store the same answer.
inline constinit std::atomic<int> state{kUnknown};
bool Detect() noexcept;

}  // namespace processor_sse2

inline bool ProcessorHasSse2() noexcept {
  const int state = processor_sse2::state.load(std::memory_order_relaxed);
  if (state == processor_sse2::kPresent) return true;
  return state == processor_sse2::kUnknown && processor_sse2::Detect();
}
#elif defined(__x86_64__)
inline bool ProcessorHasSse2() noexcept { return true; }
#else
inline bool ProcessorHasSse2() noexcept { return false; }
#endif
