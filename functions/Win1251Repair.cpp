#include "functions/Win1251Repair.h"

#include "functions/Win1251PairWalk.h"

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
