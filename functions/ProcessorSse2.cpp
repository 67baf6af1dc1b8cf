#include "functions/ProcessorSse2.h"

#if defined(__i386__)
#include <cpuid.h>

bool processor_sse2::Detect() noexcept {
  unsigned eax, ebx, ecx, edx;
  // __get_cpuid fails cleanly on a processor without cpuid.
  const bool present = __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (edx & bit_SSE2) != 0;
  state.store(present ? kPresent : kAbsent, std::memory_order_relaxed);
  return present;
}
#endif
