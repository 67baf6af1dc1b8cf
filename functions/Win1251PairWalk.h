#pragma once
// The table walk that the scalar and the SSE2 repair share: the letter and
// conversion tables, and one step of the pair walk. Internal to the repair.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace win1251 {

// The 64 Russian letters in UTF-8, upper case then lower case, each half in
// keyboard order; a zero pair ends the table. Ё and ё are not letters here.
inline constexpr char kLetterTableText[] =
    "ЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮйцукенгшщзхъфывапролджэячсмитьбю\0";
static_assert(sizeof kLetterTableText == 130, "64 two-byte letters and a zero pair");

// UTF-8 of the Windows-1251 character of byte 0x80 + index, lowest byte
// first; 0 for byte 0x98, which the code page leaves undefined.
inline constexpr std::uint32_t kWin1251UpperHalf[128] = {
    0x000082D0, 0x000083D0, 0x009A80E2, 0x000093D1,  // 0x80 Ђ Ѓ ‚ ѓ
    0x009E80E2, 0x00A680E2, 0x00A080E2, 0x00A180E2,  // 0x84 „ … † ‡
    0x00AC82E2, 0x00B080E2, 0x000089D0, 0x00B980E2,  // 0x88 € ‰ Љ ‹
    0x00008AD0, 0x00008CD0, 0x00008BD0, 0x00008FD0,  // 0x8C Њ Ќ Ћ Џ
    0x000092D1, 0x009880E2, 0x009980E2, 0x009C80E2,  // 0x90 ђ ‘ ’ “
    0x009D80E2, 0x00A280E2, 0x009380E2, 0x009480E2,  // 0x94 ” • – —
    0x00000000, 0x00A284E2, 0x000099D1, 0x00BA80E2,  // 0x98 (none) ™ љ ›
    0x00009AD1, 0x00009CD1, 0x00009BD1, 0x00009FD1,  // 0x9C њ ќ ћ џ
    0x0000A0C2, 0x00008ED0, 0x00009ED1, 0x000088D0,  // 0xA0 nbsp Ў ў Ј
    0x0000A4C2, 0x000090D2, 0x0000A6C2, 0x0000A7C2,  // 0xA4 ¤ Ґ ¦ §
    0x000081D0, 0x0000A9C2, 0x000084D0, 0x0000ABC2,  // 0xA8 Ё © Є «
    0x0000ACC2, 0x0000ADC2, 0x0000AEC2, 0x000087D0,  // 0xAC ¬ shy ® Ї
    0x0000B0C2, 0x0000B1C2, 0x000086D0, 0x000096D1,  // 0xB0 ° ± І і
    0x000091D2, 0x0000B5C2, 0x0000B6C2, 0x0000B7C2,  // 0xB4 ґ µ ¶ ·
    0x000091D1, 0x009684E2, 0x000094D1, 0x0000BBC2,  // 0xB8 ё № є »
    0x000098D1, 0x000085D0, 0x000095D1, 0x000097D1,  // 0xBC ј Ѕ ѕ ї
    0x000090D0, 0x000091D0, 0x000092D0, 0x000093D0,  // 0xC0 А Б В Г
    0x000094D0, 0x000095D0, 0x000096D0, 0x000097D0,  // 0xC4 Д Е Ж З
    0x000098D0, 0x000099D0, 0x00009AD0, 0x00009BD0,  // 0xC8 И Й К Л
    0x00009CD0, 0x00009DD0, 0x00009ED0, 0x00009FD0,  // 0xCC М Н О П
    0x0000A0D0, 0x0000A1D0, 0x0000A2D0, 0x0000A3D0,  // 0xD0 Р С Т У
    0x0000A4D0, 0x0000A5D0, 0x0000A6D0, 0x0000A7D0,  // 0xD4 Ф Х Ц Ч
    0x0000A8D0, 0x0000A9D0, 0x0000AAD0, 0x0000ABD0,  // 0xD8 Ш Щ Ъ Ы
    0x0000ACD0, 0x0000ADD0, 0x0000AED0, 0x0000AFD0,  // 0xDC Ь Э Ю Я
    0x0000B0D0, 0x0000B1D0, 0x0000B2D0, 0x0000B3D0,  // 0xE0 а б в г
    0x0000B4D0, 0x0000B5D0, 0x0000B6D0, 0x0000B7D0,  // 0xE4 д е ж з
    0x0000B8D0, 0x0000B9D0, 0x0000BAD0, 0x0000BBD0,  // 0xE8 и й к л
    0x0000BCD0, 0x0000BDD0, 0x0000BED0, 0x0000BFD0,  // 0xEC м н о п
    0x000080D1, 0x000081D1, 0x000082D1, 0x000083D1,  // 0xF0 р с т у
    0x000084D1, 0x000085D1, 0x000086D1, 0x000087D1,  // 0xF4 ф х ц ч
    0x000088D1, 0x000089D1, 0x00008AD1, 0x00008BD1,  // 0xF8 ш щ ъ ы
    0x00008CD1, 0x00008DD1, 0x00008ED1, 0x00008FD1,  // 0xFC ь э ю я
};

// Both tables are indexed by the low bit of the lead byte and the low six
// bits of the trail byte: for C2/C3 xx that is the Latin-1 code point minus
// 0x80, and for a Cyrillic D0/D1 xx pair it tells the 128 pairs apart.
constexpr std::size_t PairIndex(unsigned lead, unsigned trail) {
  return ((lead & 0x01u) << 6) | (trail & 0x3Fu);
}

constexpr bool IsCyrillicPairShape(unsigned lead, unsigned trail) {
  return (lead & 0xFEu) == 0xD0u && (trail & 0xC0u) == 0x80u;
}

constexpr unsigned char TableByte(std::size_t at) {
  return static_cast<unsigned char>(kLetterTableText[at]);
}

constexpr bool LetterTableHasCyrillicShape() {
  for (std::size_t at = 0; at < 128; at += 2) {
    if (!IsCyrillicPairShape(TableByte(at), TableByte(at + 1))) return false;
  }
  return TableByte(128) == 0 && TableByte(129) == 0;
}
static_assert(LetterTableHasCyrillicShape(), "every letter is D0/D1 followed by 80-BF");

// Membership of a pair in the letter table, one bit per PairIndex; valid
// only for pairs of Cyrillic shape, which IsLetterPair checks first.
struct LetterPairBits {
  std::uint32_t words[4] = {};  // 32-bit words: one shift on IA-32 too

  constexpr bool Has(std::size_t index) const { return (words[index / 32] >> (index % 32)) & 1u; }
  constexpr int Count() const {
    int count = 0;
    for (std::size_t index = 0; index < 128; ++index) count += Has(index) ? 1 : 0;
    return count;
  }
};

constexpr LetterPairBits BuildLetterPairBits() {
  LetterPairBits bits;
  for (std::size_t at = 0; TableByte(at) != 0; at += 2) {
    const std::size_t index = PairIndex(TableByte(at), TableByte(at + 1));
    bits.words[index / 32] |= std::uint32_t{1} << (index % 32);
  }
  return bits;
}

inline constexpr LetterPairBits kLetterPairs = BuildLetterPairBits();
static_assert(kLetterPairs.Count() == 64, "64 distinct letters");

constexpr bool IsLetterPair(unsigned lead, unsigned trail) {
  return IsCyrillicPairShape(lead, trail) && kLetterPairs.Has(PairIndex(lead, trail));
}

// A conversion entry unpacked for a fixed four-byte store: the bytes past
// `length` are zero and get overwritten by whatever comes next.
struct EncodedChar {
  unsigned char bytes[4];
  std::uint32_t length;
};

struct ConversionTable {
  EncodedChar entries[128];
};

constexpr ConversionTable BuildConversionTable() {
  ConversionTable table{};
  for (std::size_t index = 0; index < 128; ++index) {
    const std::uint32_t word = kWin1251UpperHalf[index];
    EncodedChar& entry = table.entries[index];
    for (std::uint32_t at = 0; at < 4; ++at) {
      entry.bytes[at] = static_cast<unsigned char>(word >> (8 * at));
      if (entry.bytes[at] != 0) entry.length = at + 1;
    }
  }
  return table;
}

inline constexpr ConversionTable kConversion = BuildConversionTable();

constexpr int CountEntriesOfLength(std::uint32_t length) {
  int count = 0;
  for (const EncodedChar& entry : kConversion.entries) count += entry.length == length ? 1 : 0;
  return count;
}
static_assert(CountEntriesOfLength(0) == 1 && CountEntriesOfLength(2) == 109 &&
              CountEntriesOfLength(3) == 18);

inline constexpr std::uint64_t kHighBits = 0x8080808080808080u;

inline std::uint64_t Load8(const unsigned char* at) {
  std::uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// How many bytes of `word`, in memory order, come before the first one whose
// bit in `high` is set.
inline std::size_t BytesBeforeFirstHigh(std::uint64_t high) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<std::size_t>(std::countr_zero(high)) / 8;
  } else {
    return static_cast<std::size_t>(std::countl_zero(high)) / 8;
  }
}

// Copies bytes below 0x80 from `src` until a byte at or above 0x80 or `end`.
// A word at a time: each word is stored whole and the copy advances past its
// ASCII bytes only; what lies beyond them is overwritten next.
inline void CopyAsciiRun(const unsigned char*& src, const unsigned char* end, unsigned char*& dst) {
  while (end - src >= 32) {
    const std::uint64_t any = Load8(src) | Load8(src + 8) | Load8(src + 16) | Load8(src + 24);
    if (any & kHighBits) break;
    std::memcpy(dst, src, 32);
    src += 32;
    dst += 32;
  }
  while (end - src >= 8) {
    const std::uint64_t word = Load8(src);
    std::memcpy(dst, &word, 8);
    const std::uint64_t high = word & kHighBits;
    if (high != 0) {
      const std::size_t ascii = BytesBeforeFirstHigh(high);
      src += ascii;
      dst += ascii;
      return;
    }
    src += 8;
    dst += 8;
  }
  while (src < end && *src < 0x80) *dst++ = *src++;
}

// Copies `size` bytes. A string move on IA-32: the C runtime's memcpy may be
// a byte loop, and a string move is fast on every IA-32 processor.
inline void CopyBytes(unsigned char* out, const unsigned char* in, std::size_t size) {
#if defined(__i386__)
  std::size_t words = size / 4, rest = size % 4;
  __asm__ volatile("rep movsl" : "+D"(out), "+S"(in), "+c"(words) : : "memory");
  __asm__ volatile("rep movsb" : "+D"(out), "+S"(in), "+c"(rest) : : "memory");
#else
  std::memcpy(out, in, size);
#endif
}

// One step of the pair walk at `src`, before `stop` (at most the terminator):
// an ASCII byte and the ASCII run after it up to `stop`, or one pair through
// the table. False, with nothing consumed, at a Russian letter pair: the text
// then stays as it is.
inline bool WalkStep(const unsigned char*& src, const unsigned char* stop, unsigned char*& dst) {
  const unsigned lead = src[0];
  if (lead < 0x80) {
    // A lone ASCII byte, as a space between words, costs no run set-up.
    *dst++ = static_cast<unsigned char>(lead);
    ++src;
    if (*src < 0x80) CopyAsciiRun(src, stop, dst);
    return true;
  }
  const unsigned trail = src[1];  // the terminator after a lone lead byte
  if (IsLetterPair(lead, trail)) return false;
  const EncodedChar& entry = kConversion.entries[PairIndex(lead, trail)];
  std::memcpy(dst, entry.bytes, 4);
  dst += entry.length;
  src += 2;
  return true;
}

// Where a walk stands in the input and the output.
struct Cursor {
  const unsigned char* src;
  unsigned char* dst;
};

// Walks from `at` until it reaches `stop` (at most the terminator). A null
// `src` tells it met a Russian letter pair: the text then stays unchanged.
Cursor WalkUntil(Cursor at, const unsigned char* stop) noexcept;

}  // namespace win1251
