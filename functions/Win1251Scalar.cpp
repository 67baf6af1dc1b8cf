// The repair in plain integer code, for processors without SSE2.

#include <cstdint>

#include "functions/Win1251PairWalk.h"
#include "functions/Win1251Repair.h"

namespace win1251 {

namespace {

// A register's worth of bytes: 4 on IA-32, 8 on x86_64.
using Word = std::uintptr_t;
constexpr Word kOnes = ~Word{0} / 0xFF;
constexpr Word kHighs = kOnes * 0x80;

QL_READS_WHOLE_ALIGNED_BLOCKS Word LoadWord(const unsigned char* at) {
  Word word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

bool IsWordAligned(const unsigned char* at) { return reinterpret_cast<std::uintptr_t>(at) % sizeof(Word) == 0; }

bool IsPlainAscii(unsigned char byte) { return static_cast<unsigned char>(byte - 1) < 0x7F; }

// Non-zero when a byte of `word` is zero (exact for the lowest such byte).
Word ZeroBytes(Word word) { return (word - kOnes) & ~word & kHighs; }

// Non-zero when a byte of `word` is zero or at least 0x80.
Word ZeroOrHighBytes(Word word) { return ((word - kOnes) | word) & kHighs; }

// The first word from the aligned `at` on that `hit` accepts, four a step;
// each read only when the one before held no terminator.
template <typename Test>
QL_READS_WHOLE_ALIGNED_BLOCKS const unsigned char* FirstWordWhere(const unsigned char* at, Test hit) {
  for (;; at += 4 * sizeof(Word)) {
    if (hit(LoadWord(at))) return at;
    if (hit(LoadWord(at + sizeof(Word)))) return at + sizeof(Word);
    if (hit(LoadWord(at + 2 * sizeof(Word)))) return at + 2 * sizeof(Word);
    if (hit(LoadWord(at + 3 * sizeof(Word)))) return at + 3 * sizeof(Word);
  }
}

}  // namespace

QL_READS_WHOLE_ALIGNED_BLOCKS TextExtent MeasureScalar(const char* text) noexcept {
  const auto* const start = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* at = start;
  // Up to the first zero or high byte: byte by byte to a word boundary, then
  // by words, then byte by byte inside the word that holds it.
  while (!IsWordAligned(at) && IsPlainAscii(*at)) ++at;
  if (IsPlainAscii(*at)) {
    at = FirstWordWhere(at, ZeroOrHighBytes);
    while (IsPlainAscii(*at)) ++at;
  }
  if (*at == 0) {
    const auto length = static_cast<std::size_t>(at - start);
    return {length, length};
  }
  const auto firstHigh = static_cast<std::size_t>(at - start);
  // Then the terminator alone, the same way.
  ++at;
  while (!IsWordAligned(at) && *at != 0) ++at;
  if (*at != 0) {
    at = FirstWordWhere(at, ZeroBytes);
    while (*at != 0) ++at;
  }
  return {static_cast<std::size_t>(at - start), firstHigh};
}

Cursor WalkUntil(Cursor at, const unsigned char* stop) noexcept {
  while (at.src < stop) {
    if (!WalkStep(at.src, stop, at.dst)) return {nullptr, at.dst};
  }
  return at;
}

std::size_t RepairScalar(const char* in, TextExtent extent, char* out) noexcept {
  const auto* const text = reinterpret_cast<const unsigned char*>(in);
  const unsigned char* src = text + extent.firstHigh;
  const unsigned char* const end = text + extent.length;  // the terminator
  auto* const start = reinterpret_cast<unsigned char*>(out);
  // ASCII, or a correctly encoded letter at the first high byte: unchanged.
  if (src == end || IsLetterPair(src[0], src[1])) {
    CopyBytes(start, text, extent.length + 1);
    return extent.length;
  }
  CopyBytes(start, text, extent.firstHigh);
  const Cursor walked = WalkUntil({src, start + extent.firstHigh}, end);
  if (!walked.src) {
    CopyBytes(start, text, extent.length + 1);
    return extent.length;
  }
  *walked.dst = 0;
  return static_cast<std::size_t>(walked.dst - start);
}

}  // namespace win1251
