#include "functions/Win1251Repair.h"

#include "functions/ProcessorSse2.h"
#include "functions/Win1251PairWalk.h"
#include "functions/Win1251Paths.h"

bool ContainsRussianLetter(const char* text) noexcept {
  const auto* at = reinterpret_cast<const unsigned char*>(text);
  while (*at != 0) {
    if (*at < 0x80) {
      ++at;
      continue;
    }
    const unsigned trail = at[1];
    if (win1251::IsLetterPair(at[0], trail)) return true;
    if (trail == 0) return false;
    at += 2;
  }
  return false;
}

TextExtent MeasureText(const char* text) noexcept {
#if QL_WIN1251_SSE2
  if (ProcessorHasSse2()) return win1251::MeasureSse2(text);
#endif
  return win1251::MeasureScalar(text);
}

std::size_t RepairWin1251(const char* in, TextExtent extent, char* out) noexcept {
#if QL_WIN1251_SSE2
  if (ProcessorHasSse2()) return win1251::RepairSse2(in, extent, out);
#endif
  return win1251::RepairScalar(in, extent, out);
}
