// The repair with SSE2, 16 bytes at a time where the length is kept: ASCII,
// the mis-read letters А..я (C3 80..BF, which become D0 90..D1 8F) and the
// other pairs with two-byte results (C2 xx: ё Ё « » and the like). Pairs
// with three-byte results or none, and bytes that do not pair up as in
// UTF-8, go one at a time through the same table walk as the scalar repair.

#include "functions/Win1251Repair.h"

#if QL_WIN1251_SSE2

#include <emmintrin.h>

#include <cstdint>

#include "functions/Win1251PairWalk.h"

// The game calls in with ESP only 4-byte aligned while the compiler may keep
// 16-byte values on the stack: each function realigns its own. None is ever
// inlined, so no SSE2 instruction lands in code that runs without SSE2.
#if defined(__i386__)
#define QL_SSE2_FUNCTION __attribute__((target("sse2"), force_align_arg_pointer, noinline))
#else
#define QL_SSE2_FUNCTION __attribute__((target("sse2"), noinline))
#endif
// Helpers only ever inlined into those functions.
#define QL_SSE2_INLINE __attribute__((target("sse2"), always_inline)) inline

namespace win1251 {

namespace {

QL_SSE2_INLINE __m128i LoadAligned(const unsigned char* at) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(at));
}
QL_SSE2_INLINE __m128i Load(const unsigned char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
QL_SSE2_INLINE void Store(unsigned char* at, __m128i bytes) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(at), bytes);
}
QL_SSE2_INLINE __m128i Bytes(unsigned value) { return _mm_set1_epi8(static_cast<char>(value)); }

// One bit per byte, lowest bit first in memory order.
QL_SSE2_INLINE unsigned ZeroMask(__m128i bytes) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
}
QL_SSE2_INLINE unsigned HighMask(__m128i bytes) { return static_cast<unsigned>(_mm_movemask_epi8(bytes)); }

// Whether the aligned block at `at` holds a zero byte, or one at or above
// 0x80 (both below 1 as signed bytes).
QL_SSE2_INLINE bool HasZeroOrHigh(const unsigned char* at) {
  return HighMask(_mm_cmpgt_epi8(Bytes(1), LoadAligned(at))) != 0;
}
QL_SSE2_INLINE bool HasZero(const unsigned char* at) { return ZeroMask(LoadAligned(at)) != 0; }

// The first aligned block from `block` on that holds a zero or high byte,
// four blocks a step.
QL_SSE2_INLINE const unsigned char* FirstBlockWithZeroOrHigh(const unsigned char* block) {
  for (;; block += 64) {
    if (HasZeroOrHigh(block)) return block;
    if (HasZeroOrHigh(block + 16)) return block + 16;
    if (HasZeroOrHigh(block + 32)) return block + 32;
    if (HasZeroOrHigh(block + 48)) return block + 48;
  }
}

#if defined(__i386__)
// The bytewise minimum of the four aligned blocks from `at` on.
QL_SSE2_INLINE __m128i Minimum64(const unsigned char* at) {
  return _mm_min_epu8(_mm_min_epu8(LoadAligned(at), LoadAligned(at + 16)),
                      _mm_min_epu8(LoadAligned(at + 32), LoadAligned(at + 48)));
}
#endif

// The first aligned block from `block` on that holds a zero byte. In the
// shipped IA-32 build: single blocks up to a 128-byte boundary, then 128
// bytes a step by their bytewise minimum (128 aligned bytes never span two
// pages). The x86_64 build, which valgrind watches, reads no block wholly
// past the terminator.
QL_SSE2_INLINE const unsigned char* FirstBlockWithZero(const unsigned char* block) {
#if defined(__i386__)
  for (; reinterpret_cast<std::uintptr_t>(block) % 128 != 0; block += 16) {
    if (HasZero(block)) return block;
  }
  for (;; block += 128) {
    if (ZeroMask(_mm_min_epu8(Minimum64(block), Minimum64(block + 64))) != 0) break;
  }
#endif
  while (!HasZero(block)) block += 16;
  return block;
}

// Copies fewer than 16 bytes with at most four moves.
QL_SSE2_INLINE void CopyShort(unsigned char* out, const unsigned char* in, std::size_t size) {
  for (std::size_t piece = 8; piece != 0; piece /= 2) {
    if (size & piece) {
      std::memcpy(out, in, piece);
      out += piece;
      in += piece;
    }
  }
}

#if defined(__i386__)
// Copies `size` bytes, 64 a step, the last piece as one 16-byte move that
// may overlap what was copied before it.
QL_SSE2_INLINE void CopyBlocks(unsigned char* out, const unsigned char* in, std::size_t size) {
  if (size < 16) {
    CopyShort(out, in, size);
    return;
  }
  std::size_t done = 0;
  for (; size - done >= 64; done += 64) {
    const __m128i a = Load(in + done), b = Load(in + done + 16), c = Load(in + done + 32), d = Load(in + done + 48);
    Store(out + done, a);
    Store(out + done + 16, b);
    Store(out + done + 32, c);
    Store(out + done + 48, d);
  }
  for (; size - done >= 16; done += 16) Store(out + done, Load(in + done));
  if (done < size) Store(out + size - 16, Load(in + size - 16));
}
#endif

// Copies a whole text, or the ASCII before its first high byte: by 16-byte
// moves on IA-32, where the C runtime is the game's and may be slow.
QL_SSE2_INLINE void CopyText(unsigned char* out, const unsigned char* in, std::size_t size) {
#if defined(__i386__)
  CopyBlocks(out, in, size);
#else
  std::memcpy(out, in, size);
#endif
}

// One 16-byte block that starts where the pair walk takes its next step,
// converted as far as its bytes are ASCII and pairs that keep their length.
struct Block {
  __m128i converted;  // right for the mis-read letters А..я and ASCII
  unsigned stray;     // bytes that are neither, nor a trail after C3
};

// C3 80..AF gives D0 90..BF and C3 B0..BF gives D1 80..8F: the trail gains
// 0x10 or loses 0x30, the lead gains 0x0D or 0x0E. Any other pair of a lead
// and a trail, and any byte out of place, shows in `stray`.
// With kZeroIsStray a zero byte shows in `stray` too, for a pass that finds
// the terminator as it goes.
template <bool kZeroIsStray = false>
QL_SSE2_INLINE Block ConvertBlock(__m128i bytes) {
  const __m128i leads = _mm_cmpeq_epi8(bytes, Bytes(0xC3));
  const __m128i trails = _mm_slli_si128(leads, 1);  // where C3's trails must stand
  // By sign bit: a byte at or above 0x80 off those places that is not C3, or
  // one below 0x80 on them; then by bit 6, which sets C0..FF apart from a
  // trail, a byte C0..FF on them.
  const __m128i onTrails = _mm_and_si128(trails, bytes);
  const __m128i misplaced = _mm_xor_si128(_mm_xor_si128(bytes, leads), trails);
  __m128i stray = _mm_or_si128(misplaced, _mm_add_epi8(onTrails, onTrails));
  if constexpr (kZeroIsStray) stray = _mm_or_si128(stray, _mm_cmpeq_epi8(bytes, _mm_setzero_si128()));
  const __m128i lower = _mm_cmplt_epi8(bytes, Bytes(0xB0));  // signed: trails 80..AF
  const __m128i leadDelta = _mm_and_si128(leads, _mm_add_epi8(_mm_srli_si128(lower, 1), Bytes(0x0E)));
  const __m128i trailDelta = _mm_and_si128(trails, _mm_add_epi8(_mm_and_si128(lower, Bytes(0x40)), Bytes(0xD0)));
  return {_mm_add_epi8(bytes, _mm_add_epi8(leadDelta, trailDelta)), HighMask(stray)};
}

// The result of C2 and the byte after it when it has two bytes, lowest byte
// first; 0 when the byte is no trail or the result is longer or empty.
struct ShortPairTable {
  std::uint16_t results[256];
};

constexpr ShortPairTable BuildShortPairTable() {
  ShortPairTable table{};
  for (unsigned trail = 0x80; trail < 0xC0; ++trail) {
    const EncodedChar& entry = kConversion.entries[PairIndex(0xC2, trail)];
    if (entry.length == 2) table.results[trail] = static_cast<std::uint16_t>(entry.bytes[0] | entry.bytes[1] << 8);
  }
  return table;
}

inline constexpr ShortPairTable kShortPairs = BuildShortPairTable();

// How many of the 16 bytes at `in` the block conversion took, the output
// at `out` holding the block as ConvertBlock converted it: the stray C2
// pairs that keep their length are written over it here (« » ё Ё and the
// like), and the count ends at the first byte that the table walk must
// take. Reads no byte after that one's successor, and no byte after a
// terminator it stops at.
inline std::size_t TakeBlock(const unsigned char* in, unsigned stray, unsigned char* out) {
  while (stray != 0) {
    const auto at = static_cast<std::size_t>(__builtin_ctz(stray));
    // C3 without its trail: the walk takes the pair from the lead.
    if (at != 0 && in[at - 1] == 0xC3) return at - 1;
    if (in[at] != 0xC2 || at == 15) return at;
    const std::uint16_t result = kShortPairs.results[in[at + 1]];
    if (result == 0) return at;
    std::memcpy(out + at, &result, 2);
    stray &= ~(3u << at);
  }
  return 16;
}

// Whether the stray bytes of a block are one C2 pair with a two-byte result
// and nothing else (ё in prose); if so, writes its result over the block's.
// The common case of TakeBlock, with no bookkeeping for the others.
inline bool TakeShortPair(const unsigned char* in, unsigned stray, unsigned char* out) {
  const auto at = static_cast<unsigned>(__builtin_ctz(stray));
  // Two bits in a 16-bit mask: never a lead in the last byte.
  if (stray != 3u << at || in[at] != 0xC2) return false;
  const std::uint16_t result = kShortPairs.results[in[at + 1]];
  // Not when the C2 is the trail of a C3 before it.
  if (result == 0 || (at != 0 && in[at - 1] == 0xC3)) return false;
  std::memcpy(out + at, &result, 2);
  return true;
}

// Past a block taken whole, but for a lead in its last byte, which is left
// for the next block with the trail it needs.
QL_SSE2_INLINE void StepPastBlock(const unsigned char*& src, unsigned char*& dst) {
  if (src[15] == 0xC3) {
    src += 15;
    dst += 15;
  } else {
    src += 16;
    dst += 16;
  }
}

// The `rest` (below 16) bytes before `end` and zeros after them, from the
// 16 bytes before `end`: no byte past the terminator is read.
QL_SSE2_INLINE __m128i LastBytes(const unsigned char* end, std::size_t rest) {
  __m128i bytes = Load(end - 16);
  const std::size_t shift = 16 - rest;
  if (shift & 8) bytes = _mm_srli_si128(bytes, 8);
  if (shift & 4) bytes = _mm_srli_si128(bytes, 4);
  if (shift & 2) bytes = _mm_srli_si128(bytes, 2);
  if (shift & 1) bytes = _mm_srli_si128(bytes, 1);
  return bytes;
}

#if defined(__i386__)
constexpr std::uintptr_t kPageSize = 4096;

QL_SSE2_INLINE std::uintptr_t Address(const void* at) { return reinterpret_cast<std::uintptr_t>(at); }
#endif

// The 16 bytes from `src` on, of which the `rest` (below 16) before the
// terminator at `end` count. In the shipped IA-32 build a block that stays
// within the page of `src` is read as it lies, terminator and what follows
// it included (memory is mapped by whole pages); otherwise zeros follow the
// `rest` bytes. `textStart` is where the text begins.
QL_SSE2_INLINE __m128i TailBytes(const unsigned char* src, const unsigned char* end, std::size_t rest,
                                 const unsigned char* textStart) {
#if defined(__i386__)
  if (Address(src) % kPageSize <= kPageSize - 16) return Load(src);
#endif
  if (end - textStart >= 16) return LastBytes(end, rest);
  alignas(16) unsigned char padded[16] = {};
  CopyShort(padded, src, rest);
  return LoadAligned(padded);
}

}  // namespace

// Aligned 16-byte blocks, each read only when the one before holds no
// terminator: past the terminator only the rest of its own block is read.
QL_SSE2_FUNCTION QL_READS_WHOLE_ALIGNED_BLOCKS TextExtent MeasureSse2(const char* text) noexcept {
  const auto* const start = reinterpret_cast<const unsigned char*>(text);
  const std::uintptr_t skipped = reinterpret_cast<std::uintptr_t>(text) % 16;
  const unsigned char* block = start - skipped;
  // Up to the first zero or high byte, leaving out the bytes before the text.
  __m128i bytes = LoadAligned(block);
  unsigned zeros = ZeroMask(bytes) >> skipped << skipped;
  unsigned highs = HighMask(bytes) >> skipped << skipped;
  if ((zeros | highs) == 0) {
    block = FirstBlockWithZeroOrHigh(block + 16);
    bytes = LoadAligned(block);
    zeros = ZeroMask(bytes);
    highs = HighMask(bytes);
  }
  if (zeros != 0) {
    const unsigned end = static_cast<unsigned>(__builtin_ctz(zeros));
    highs &= (2u << end) - 1;  // none beyond the terminator
    const auto length = static_cast<std::size_t>(block + end - start);
    if (highs == 0) return {length, length};
    return {length, static_cast<std::size_t>(block + __builtin_ctz(highs) - start)};
  }
  const auto firstHigh = static_cast<std::size_t>(block + __builtin_ctz(highs) - start);
  // Then the terminator alone.
  block = FirstBlockWithZero(block + 16);
  return {static_cast<std::size_t>(block + __builtin_ctz(ZeroMask(LoadAligned(block))) - start), firstHigh};
}

#if defined(__x86_64__)
QL_SSE2_FUNCTION TextExtent MeasureWithStrlen(const char* text) noexcept {
  const auto* const start = reinterpret_cast<const unsigned char*>(text);
  const std::size_t length = std::strlen(text);
  std::size_t at = 0;
  for (; length - at >= 64; at += 64) {
    const __m128i a = Load(start + at), b = Load(start + at + 16), c = Load(start + at + 32), d = Load(start + at + 48);
    if (HighMask(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) != 0) break;
  }
  for (; length - at >= 16; at += 16) {
    if (const unsigned highs = HighMask(Load(start + at))) return {length, at + __builtin_ctz(highs)};
  }
  while (at < length && start[at] < 0x80) ++at;
  return {length, at};
}
#endif

// Converts the text from `src` on into `dst` and returns the output's end
// (before its terminator), or null when the walk meets a Russian letter
// pair. Blocks go 16 bytes a step where the walk would keep their length,
// one step of the table walk where a block stops. The last bytes go as one
// block too, padded with zeros, which pass as ASCII, the first of them
// standing for the terminator.
QL_SSE2_INLINE unsigned char* ConvertFrom(const unsigned char* src, unsigned char* dst, const unsigned char* text,
                                          const unsigned char* end, const unsigned char* outputEnd) {
  // Where the last whole block before the terminator starts, as an address:
  // one comparison a step, and no pointer before a text shorter than a block.
  const std::uintptr_t lastBlock = reinterpret_cast<std::uintptr_t>(end) - 16;
  for (;;) {
    if (reinterpret_cast<std::uintptr_t>(src) <= lastBlock) do {
      const Block block = ConvertBlock(Load(src));
      Store(dst, block.converted);
      if (block.stray != 0 && !TakeShortPair(src, block.stray, dst)) {
        const std::size_t taken = TakeBlock(src, block.stray, dst);
        if (taken != 16) {
          src += taken;
          dst += taken;
          if (taken == 0) {
            // A block that stops at once, as in a run of dashes and quotes:
            // the walk takes all of it.
            const Cursor walked = WalkUntil({src, dst}, src + 16);
            if (!walked.src) return nullptr;
            src = walked.src;
            dst = walked.dst;
          } else if (taken < 15 && !WalkStep(src, end, dst)) {
            return nullptr;
          }
          continue;
        }
      }
      StepPastBlock(src, dst);
    } while (reinterpret_cast<std::uintptr_t>(src) <= lastBlock);
    if (src >= end) return dst;
    const auto rest = static_cast<std::size_t>(end - src);
    if (outputEnd - dst < 16) {
      const Cursor walked = WalkUntil({src, dst}, end);
      return walked.src ? walked.dst : nullptr;
    }
    const Block block = ConvertBlock(TailBytes(src, end, rest, text));
    Store(dst, block.converted);
    // Stray bits beyond the terminator come from bytes that are no text.
    const unsigned stray = block.stray & ((2u << rest) - 1);
    const std::size_t taken = stray == 0 ? 16 : TakeBlock(src, stray, dst);
    if (taken >= rest) return dst + rest;
    src += taken;
    dst += taken;
    if (!WalkStep(src, end, dst)) return nullptr;
  }
}

// Stores stay inside RepairBufferSize(length) as in the table walk: after i
// input bytes at most 1.5 i output bytes are written, and a block is stored
// whole only when its 16 input bytes lie before `end`, or when the buffer's
// end is checked first.
QL_SSE2_FUNCTION std::size_t RepairSse2(const char* in, TextExtent extent, char* out) noexcept {
  const auto* const text = reinterpret_cast<const unsigned char*>(in);
  const unsigned char* const src = text + extent.firstHigh;
  const unsigned char* const end = text + extent.length;  // the terminator
  auto* const start = reinterpret_cast<unsigned char*>(out);
  // ASCII, or a correctly encoded letter at the first high byte: unchanged.
  if (src != end && !IsLetterPair(src[0], src[1])) {
    if (extent.firstHigh != 0) CopyText(start, text, extent.firstHigh);
    unsigned char* const dst = start + extent.firstHigh;
    const unsigned char* const outputEnd = start + RepairBufferSize(extent.length);
    unsigned char* const done = ConvertFrom(src, dst, text, end, outputEnd);
    if (done) {
      *done = 0;
      return static_cast<std::size_t>(done - start);
    }
  }
  CopyText(start, text, extent.length + 1);
  return extent.length;
}

#if defined(__i386__)
// The rest of a one-pass repair from `src` and `dst` on, as RepairSse2 does
// it: with `end` null, measured from `src` and any ASCII from there copied;
// after a Russian letter pair (`unchanged`), the text as it is.
QL_SSE2_FUNCTION std::size_t FinishInOnePass(const unsigned char* text, const unsigned char* src,
                                             const unsigned char* end, unsigned char* start, unsigned char* dst,
                                             std::size_t capacity, bool unchanged) noexcept {
  if (!end) {
    const TextExtent rest = MeasureSse2(reinterpret_cast<const char*>(src));
    end = src + rest.length;
    if (!unchanged && RepairBufferSize(static_cast<std::size_t>(end - text)) <= capacity) {
      CopyText(dst, src, rest.firstHigh);
      src += rest.firstHigh;
      dst += rest.firstHigh;
      if (src != end && IsLetterPair(src[0], src[1])) unchanged = true;
    }
  }
  const auto length = static_cast<std::size_t>(end - text);
  if (RepairBufferSize(length) > capacity) return kNotRepaired;
  if (!unchanged) {
    if (src >= end) {
      *dst = 0;
      return static_cast<std::size_t>(dst - start);
    }
    if (unsigned char* const done = ConvertFrom(src, dst, text, end, start + RepairBufferSize(length))) {
      *done = 0;
      return static_cast<std::size_t>(done - start);
    }
  }
  CopyText(start, text, length + 1);
  return length;
}

// Copies 32 bytes a step from `src` to `dst`, both moving alike, while the
// two blocks read hold no zero byte (with kUpToHigh, no zero or high byte)
// and the step starts at or before `lastStep`; stops before the step that
// would meet one.
template <bool kUpToHigh>
QL_SSE2_INLINE void CopyPairsOfBlocks(const unsigned char*& src, unsigned char*& dst, std::uintptr_t lastStep) {
  for (; Address(src) <= lastStep; src += 32, dst += 32) {
    const __m128i first = Load(src), second = Load(src + 16);
    const __m128i stops = kUpToHigh ? _mm_or_si128(_mm_cmpgt_epi8(Bytes(1), first), _mm_cmpgt_epi8(Bytes(1), second))
                                    : _mm_cmpeq_epi8(_mm_min_epu8(first, second), _mm_setzero_si128());
    if (HighMask(stops) != 0) return;
    Store(dst, first);
    Store(dst + 16, second);
  }
}

// The last start of a 32-byte step from `src` that reads no byte past
// `lastLoad` + 15 and writes none past `lastStore` + 15, `dst` moving alike.
QL_SSE2_INLINE std::uintptr_t LastPairStart(const unsigned char* src, const unsigned char* dst,
                                            std::uintptr_t lastLoad, std::uintptr_t lastStore) {
  if (Address(dst) + 16 > lastStore || Address(src) + 16 > lastLoad) return 0;
  const std::uintptr_t storeLimit = Address(src) + (lastStore - 16 - Address(dst));
  const std::uintptr_t loadLimit = lastLoad - 16;
  return storeLimit < loadLimit ? storeLimit : loadLimit;
}

// Blocks are read where they lie, up to the last one that ends in the page
// of the text's start, and stored while the output has room for them; a
// block with bytes for the walk needs room for what the walk may add too.
// From there on, or from a walk step at the terminator, the rest goes as in
// RepairSse2.
QL_SSE2_FUNCTION std::size_t RepairSse2InOnePass(const char* in, char* out, std::size_t capacity) noexcept {
  constexpr std::size_t kWalkReach = 32;  // a walked block's up to 24 bytes and a 4-byte store
  const auto* const text = reinterpret_cast<const unsigned char*>(in);
  auto* const start = reinterpret_cast<unsigned char*>(out);
  const unsigned char* src = text;
  unsigned char* dst = start;
  const unsigned char* end = nullptr;  // the terminator, once found
  const std::uintptr_t lastLoad = (Address(text) | (kPageSize - 1)) - 15;
  const std::uintptr_t lastStore = Address(start + capacity) - 16;
  // ASCII before the first byte at or above 0x80 goes as it is.
  if (*src < 0x80) {
    CopyPairsOfBlocks<true>(src, dst, LastPairStart(src, dst, lastLoad, lastStore));
  } else if (*src >= 0xD0 && IsLetterPair(src[0], src[1])) {
    goto unchanged;  // correct Russian from the first byte: nothing to convert
  }
  while (*src < 0x80 && Address(src) <= lastLoad && Address(dst) <= lastStore) {
    const __m128i bytes = Load(src);
    if (HighMask(_mm_cmpgt_epi8(Bytes(1), bytes)) != 0) break;  // a zero or high byte
    Store(dst, bytes);
    src += 16;
    dst += 16;
  }
  while (Address(src) <= lastLoad && Address(dst) <= lastStore) {
    const __m128i bytes = Load(src);
    const Block block = ConvertBlock<true>(bytes);
    Store(dst, block.converted);
    if (block.stray == 0 || (ZeroMask(bytes) == 0 && TakeShortPair(src, block.stray, dst))) {
      StepPastBlock(src, dst);
      continue;
    }
    if (const unsigned zeros = ZeroMask(bytes)) {
      // The terminator's block, converted as ConvertFrom converts its last.
      const auto rest = static_cast<std::size_t>(__builtin_ctz(zeros));
      // Done unless a stray byte, or a lead whose pair would be the
      // terminator, comes before it.
      if ((block.stray & ((1u << rest) - 1)) == 0 && (rest == 0 || src[rest - 1] != 0xC3)) {
        dst[rest] = 0;
        return static_cast<std::size_t>(dst + rest - start);
      }
      end = src + rest;
      // The walk step below may write past the block's store; the room a
      // two-pass repair would have is enough for it.
      if (RepairBufferSize(static_cast<std::size_t>(end - text)) > capacity) return kNotRepaired;
      const std::size_t taken = TakeBlock(src, block.stray & ((2u << rest) - 1), dst);
      if (taken >= rest) {
        dst[rest] = 0;
        return static_cast<std::size_t>(dst + rest - start);
      }
      src += taken;
      dst += taken;
      if (!WalkStep(src, end, dst)) goto unchanged;
      break;
    }
    // The walk writes up to kWalkReach bytes; without room for them the
    // block is done again once the terminator is found.
    if (Address(dst) + (kWalkReach - 16) > lastStore) break;
    const unsigned char* const blockEnd = src + 16;
    std::size_t taken = TakeBlock(src, block.stray, dst);
    if (taken == 16 && src[15] == 0xC3) taken = 15;
    src += taken;
    dst += taken;
    if (taken == 0) {
      // A correctly encoded letter, as where Russian text starts: the text
      // stays as it is, and the walk need not find that out.
      if (IsLetterPair(src[0], src[1])) goto unchanged;
      const Cursor walked = WalkUntil({src, dst}, blockEnd);
      if (!walked.src) goto unchanged;
      src = walked.src;
      dst = walked.dst;
      // A lead in the last byte took the byte after the block as its pair.
      if (src > blockEnd && *blockEnd == 0) {
        end = blockEnd;
        break;
      }
    } else if (taken < 15 && !WalkStep(src, blockEnd, dst)) {
      goto unchanged;
    }
  }
  return FinishInOnePass(text, src, end, start, dst, capacity, false);
unchanged:
  // The text as it is, copied block by block as far as the same limits allow.
  src = text;
  dst = start;
  CopyPairsOfBlocks<false>(src, dst, LastPairStart(src, dst, lastLoad, lastStore));
  while (Address(src) <= lastLoad && Address(dst) <= lastStore) {
    const __m128i bytes = Load(src);
    Store(dst, bytes);
    if (const unsigned zeros = ZeroMask(bytes)) return static_cast<std::size_t>(src + __builtin_ctz(zeros) - text);
    src += 16;
    dst += 16;
  }
  return FinishInOnePass(text, src, nullptr, start, dst, capacity, true);
}
#endif

}  // namespace win1251

#endif
