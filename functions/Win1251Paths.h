#pragma once
// The two implementations behind Win1251Repair.h, which picks one per
// processor: the scalar one runs anywhere, the SSE2 one on x86 processors
// that have SSE2. Both give the same bytes; tests call each directly.

#include <cstddef>

struct TextExtent;  // functions/Win1251Repair.h

#if (defined(__i386__) || defined(__x86_64__)) && !defined(QL_WIN1251_SCALAR_ONLY)
#define QL_WIN1251_SSE2 1
#else
#define QL_WIN1251_SSE2 0
#endif

namespace win1251 {

// What a repair that did not take place returns.
inline constexpr std::size_t kNotRepaired = static_cast<std::size_t>(-1);

TextExtent MeasureScalar(const char* text) noexcept;
std::size_t RepairScalar(const char* in, TextExtent extent, char* out) noexcept;

#if QL_WIN1251_SSE2
// These, and the one-pass repair below, are the only functions with SSE2
// instructions; each realigns its own stack and is never inlined
// (scripts/dll-sse2-functions.txt).
TextExtent MeasureSse2(const char* text) noexcept;
std::size_t RepairSse2(const char* in, TextExtent extent, char* out) noexcept;
#endif
#if QL_WIN1251_SSE2 && defined(__i386__)
// Measures and repairs in one pass into `out`, which holds `capacity`
// bytes, at least 16 (kOnePassMinCapacity); it writes nothing past them.
// kNotRepaired, with `out` written over, when the output did not fit there
// (RepairBufferSize of the length always fits). It reads past the terminator
// within its page: the x86_64 build, which valgrind and AddressSanitizer
// watch, leaves it out.
std::size_t RepairSse2InOnePass(const char* in, char* out, std::size_t capacity) noexcept;
#endif
#if QL_WIN1251_SSE2 && defined(__x86_64__)
// On x86_64 the C library's strlen outruns MeasureSse2; the first byte at or
// above 0x80 is then searched within the known length.
TextExtent MeasureWithStrlen(const char* text) noexcept;
#endif

}  // namespace win1251

// The measuring functions read whole aligned blocks, and so the bytes after
// the terminator up to the end of its aligned block (in the IA-32 build, of
// its 128-byte aligned run); neither reaches another page. AddressSanitizer
// would take that for an overflow.
#define QL_READS_WHOLE_ALIGNED_BLOCKS __attribute__((no_sanitize_address))
