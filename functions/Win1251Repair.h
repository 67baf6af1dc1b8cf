#pragma once
// Repair of Russian text whose Windows-1251 bytes were read as Latin-1 and
// re-encoded as UTF-8 ("Ïðèâåò" back to "Привет").
//
// The walk is pair-aligned from the first byte: a byte below 0x80 stands
// alone, any other byte takes the byte after it as its pair, whatever either
// byte is. Text holding a correctly encoded Russian letter pair is left as it
// is; any other text is converted pair by pair through the Windows-1251 code
// page. Neither step reads past the terminator into another page: MeasureText
// may read the rest of the aligned block holding it (in the IA-32 build, of
// the aligned 128 bytes), and the IA-32 SSE2 repair the rest of a 16-byte
// block that stays in the terminator's page.

#include <cstddef>

#include "functions/ProcessorSse2.h"
#include "functions/Win1251Paths.h"

// True when the pair walk meets the UTF-8 encoding of a Russian letter other
// than Ё and ё.
bool ContainsRussianLetter(const char* text) noexcept;

// Longest input RepairWin1251 accepts: its buffer size must fit in size_t.
inline constexpr std::size_t kMaxRepairLength = (static_cast<std::size_t>(-1) - 2) / 2;

// Bytes RepairWin1251 may write for an input of `length` bytes: no input byte
// yields more than two output bytes, and the terminator needs one more.
constexpr std::size_t RepairBufferSize(std::size_t length) { return 2 * length + 2; }

// What one pass over a terminated text finds: its strlen, and where its first
// byte at or above 0x80 lies (`length` when it is all ASCII).
struct TextExtent {
  std::size_t length;
  std::size_t firstHigh;
};

inline TextExtent MeasureText(const char* text) noexcept {
#if QL_WIN1251_SSE2 && defined(__x86_64__)
  return win1251::MeasureWithStrlen(text);
#elif QL_WIN1251_SSE2
  if (ProcessorHasSse2()) return win1251::MeasureSse2(text);
#endif
  return win1251::MeasureScalar(text);
}

// Writes the repaired form of the text `in`, as MeasureText measured it, and
// a terminator to `out`, which holds RepairBufferSize(extent.length) bytes
// and does not overlap the input. Returns the output length without
// terminator. Uses SSE2 where the processor has it, with the same result.
inline std::size_t RepairWin1251(const char* in, TextExtent extent, char* out) noexcept {
#if QL_WIN1251_SSE2
  if (ProcessorHasSse2()) return win1251::RepairSse2(in, extent, out);
#endif
  return win1251::RepairScalar(in, extent, out);
}

// Least room RepairInOnePass takes.
inline constexpr std::size_t kOnePassMinCapacity = 16;

// Measures and repairs `in` into `out`, which holds `capacity` bytes (at
// least kOnePassMinCapacity), in one pass where the build and processor have
// one (IA-32 with SSE2): the output length, as from RepairWin1251.
// kNotRepaired, `out` perhaps written over, elsewhere or when the output did
// not fit (RepairBufferSize of the length always fits).
inline std::size_t RepairInOnePass([[maybe_unused]] const char* in, [[maybe_unused]] char* out,
                                   [[maybe_unused]] std::size_t capacity) noexcept {
#if QL_WIN1251_SSE2 && defined(__i386__)
  if (ProcessorHasSse2()) return win1251::RepairSse2InOnePass(in, out, capacity);
#endif
  return win1251::kNotRepaired;
}
