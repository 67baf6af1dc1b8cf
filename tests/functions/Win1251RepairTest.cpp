// The repair core against a model built from the published Windows-1251 code
// page and a plain two-pass reference of the pair walk; every implementation
// (scalar, SSE2 where built, and the one the processor gets) alike.

#include "functions/Win1251Repair.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "functions/Win1251Paths.h"

namespace {

// Windows-1251 bytes 0x80..0xBF as Unicode code points; 0 for 0x98, which
// the code page leaves undefined. 0xC0..0xFF are А..Я and а..я in order.
constexpr char32_t kCp1251UpperHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
};

char32_t Cp1251CodePoint(unsigned byte) {
  if (byte >= 0xC0) return 0x0410 + (byte - 0xC0);
  return kCp1251UpperHalf[byte - 0x80];
}

std::string Utf8(char32_t codePoint) {
  std::string out;
  if (codePoint == 0) return out;
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
  return out;
}

// А..я without Ё and ё, as a well-formed two-byte sequence.
bool IsRussianLetterPair(unsigned char lead, unsigned char trail) {
  if ((lead & 0xE0) != 0xC0 || (trail & 0xC0) != 0x80) return false;
  const unsigned codePoint = ((lead & 0x1Fu) << 6) | (trail & 0x3Fu);
  return codePoint >= 0x0410 && codePoint <= 0x044F;
}

// The two passes exactly as described: a pair-aligned detection walk, then
// either a copy or a pair-aligned conversion walk.
bool ReferenceDetects(const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
      ++at;
      continue;
    }
    const auto trail = at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0;
    if (IsRussianLetterPair(lead, trail)) return true;
    at += 2;
  }
  return false;
}

std::string ReferenceRepair(const std::string& text) {
  if (ReferenceDetects(text)) return text;
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
      out += text[at++];
      continue;
    }
    const auto trail = at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0;
    out += Utf8(Cp1251CodePoint(0x80 + (((lead & 0x01u) << 6) | (trail & 0x3Fu))));
    at += 2;
  }
  return out;
}

std::string Bytes(std::initializer_list<unsigned> bytes) {
  std::string text;
  for (unsigned byte : bytes) text += static_cast<char>(byte);
  return text;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char cell[4];
  for (unsigned char byte : bytes) {
    std::snprintf(cell, sizeof cell, "%02X ", byte);
    out += cell;
  }
  return out;
}

constexpr char kCanary = static_cast<char>(0xEE);
constexpr std::size_t kCanaryLength = 16;

struct Implementation {
  const char* name;
  TextExtent (*measure)(const char*) noexcept;
  std::size_t (*repair)(const char*, TextExtent, char*) noexcept;
};

const Implementation kImplementations[] = {
    {"as dispatched", MeasureText, RepairWin1251},
    {"scalar", win1251::MeasureScalar, win1251::RepairScalar},
#if QL_WIN1251_SSE2
    {"SSE2", win1251::MeasureSse2, win1251::RepairSse2},
#endif
#if QL_WIN1251_SSE2 && defined(__x86_64__)
    {"SSE2 after strlen", win1251::MeasureWithStrlen, win1251::RepairSse2},
#endif
};

struct GuardedRun {
  std::string output;
  std::size_t returnedLength;
  bool detected;
  bool outputOverran;
};

// Runs one implementation on the terminated text at `input`, with canary
// bytes after the output buffer to catch writes past RepairBufferSize, and
// checks what it measured.
GuardedRun RunOne(const Implementation& implementation, const char* input) {
  const std::size_t length = std::strlen(input);
  std::size_t firstHigh = 0;
  while (firstHigh < length && static_cast<unsigned char>(input[firstHigh]) < 0x80) ++firstHigh;
  const TextExtent extent = implementation.measure(input);
  EXPECT_TRUE(extent.length == length && extent.firstHigh == firstHigh)
      << implementation.name << " measures " << extent.length << "/" << extent.firstHigh << ", expected "
      << length << "/" << firstHigh;

  std::vector<char> output(RepairBufferSize(length) + kCanaryLength, kCanary);
  GuardedRun run;
  run.detected = ContainsRussianLetter(input);
  run.returnedLength = implementation.repair(input, {length, firstHigh}, output.data());
  run.output = std::string(output.data());
  run.outputOverran = false;
  for (std::size_t at = RepairBufferSize(length); at < output.size(); ++at) {
    if (output[at] != kCanary) run.outputOverran = true;
  }
  return run;
}

// Every implementation on the text at `input`; each must give what the
// first gives, which is returned.
GuardedRun RunAll(const char* input) {
  const GuardedRun first = RunOne(kImplementations[0], input);
  for (std::size_t at = 1; at < std::size(kImplementations); ++at) {
    const Implementation& implementation = kImplementations[at];
    const GuardedRun run = RunOne(implementation, input);
    EXPECT_TRUE(run.output == first.output && run.returnedLength == first.returnedLength &&
                run.outputOverran == first.outputOverran)
        << implementation.name << " differs from " << kImplementations[0].name << " on " << Hex(input);
  }
  return first;
}

// The input is exactly the text and its terminator in its own heap block,
// so a read past the terminator leaves the block.
GuardedRun RunGuarded(const std::string& text) {
  const std::vector<char> input(text.c_str(), text.c_str() + text.size() + 1);
  return RunAll(input.data());
}

void ExpectMatchesReference(const std::string& text) {
  const GuardedRun run = RunGuarded(text);
  const std::string expected = ReferenceRepair(text);
  ASSERT_EQ(Hex(run.output), Hex(expected)) << "input " << Hex(text);
  ASSERT_EQ(run.returnedLength, expected.size()) << "input " << Hex(text);
  ASSERT_EQ(run.detected, ReferenceDetects(text)) << "input " << Hex(text);
  ASSERT_FALSE(run.outputOverran) << "input " << Hex(text);
}

TEST(Win1251Repair, EveryLatin1CharacterBecomesItsWindows1251Character) {
  for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
    const std::string mojibake = Utf8(byte);  // the byte read as Latin-1
    const std::string expected = Utf8(Cp1251CodePoint(byte));
    EXPECT_EQ(Hex(RunGuarded(mojibake).output), Hex(expected)) << "byte " << byte;
    EXPECT_EQ(Hex(RunGuarded("x" + mojibake + "y").output), Hex("x" + expected + "y"))
        << "byte " << byte;
  }
}

TEST(Win1251Repair, EveryTwoBytePairMatchesTheReference) {
  for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
    for (unsigned trail = 0x01; trail <= 0xFF; ++trail) {
      ExpectMatchesReference(Bytes({lead, trail}));
    }
  }
}

TEST(Win1251Repair, DetectsExactlyTheSixtyFourLetters) {
  int letters = 0;
  for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
    for (unsigned trail = 0x01; trail <= 0xFF; ++trail) {
      const std::string pair = Bytes({lead, trail});
      const bool detected = ContainsRussianLetter(pair.c_str());
      EXPECT_EQ(detected, IsRussianLetterPair(lead, trail)) << Hex(pair);
      letters += detected ? 1 : 0;
    }
  }
  EXPECT_EQ(letters, 64);
}

struct EdgeCase {
  const char* name;
  std::string input;
  std::string expected;
};

TEST(Win1251Repair, DocumentedCases) {
  const std::string privet =
      Bytes({0xD0, 0x9F, 0xD1, 0x80, 0xD0, 0xB8, 0xD0, 0xB2, 0xD0, 0xB5, 0xD1, 0x82});
  const EdgeCase cases[] = {
      {"correct Russian unchanged", privet, privet},
      {"mojibake repaired",
       Bytes({0xC3, 0x8F, 0xC3, 0xB0, 0xC3, 0xA8, 0xC3, 0xA2, 0xC3, 0xA5, 0xC3, 0xB2}), privet},
      {"yo through entry 56", Bytes({0xC3, 0xA5, 0xC3, 0xB9, 0xC2, 0xB8}),
       Bytes({0xD0, 0xB5, 0xD1, 0x89, 0xD1, 0x91})},
      {"ASCII unchanged", "abc", "abc"},
      {"0x98 dropped", Bytes({0x61, 0x62, 0xC2, 0x98, 0x63, 0x64}), "abcd"},
      {"en dash", Bytes({0xC2, 0x96}), Bytes({0xE2, 0x80, 0x93})},
      {"euro sign", Bytes({0xC2, 0x88}), Bytes({0xE2, 0x82, 0xAC})},
      {"numero sign", Bytes({0xC2, 0xB9, 0x35}), Bytes({0xE2, 0x84, 0x96, 0x35})},
      {"capital yo alone is converted", Bytes({0xD0, 0x81}), Bytes({0xD0, 0x83})},
      {"small yo alone is converted", Bytes({0xD1, 0x91}), Bytes({0xD0, 0xA1})},
      {"yo with a letter unchanged", Bytes({0xD0, 0x81, 0xD0, 0xB6}),
       Bytes({0xD0, 0x81, 0xD0, 0xB6})},
      {"dash shifts the walk", Bytes({0xE2, 0x80, 0x94, 0xD0, 0x9F}),
       Bytes({0xD0, 0x82, 0xD1, 0x92, 0xD0, 0x90})},
      {"letter before dash unchanged", Bytes({0xD0, 0x9F, 0xE2, 0x80, 0x94}),
       Bytes({0xD0, 0x9F, 0xE2, 0x80, 0x94})},
      {"lone lead pairs with the terminator", Bytes({0x61, 0xC3}), Bytes({0x61, 0xD0, 0x90})},
      {"lone odd lead takes entry 0", Bytes({0xC2}), Bytes({0xD0, 0x82})},
      {"letter found after a long conversion", std::string(100, 'a') + Bytes({0xC3, 0x8F}) + privet,
       std::string(100, 'a') + Bytes({0xC3, 0x8F}) + privet},
  };
  for (const EdgeCase& edge : cases) {
    const GuardedRun run = RunGuarded(edge.input);
    EXPECT_EQ(Hex(run.output), Hex(edge.expected)) << edge.name;
    EXPECT_EQ(run.returnedLength, edge.expected.size()) << edge.name;
    EXPECT_EQ(Hex(ReferenceRepair(edge.input)), Hex(edge.expected)) << "reference: " << edge.name;
    EXPECT_FALSE(run.outputOverran) << edge.name;
  }
}

TEST(Win1251Repair, WorstCaseGrowthStaysInsideTheBuffer) {
  // Three output bytes for every two input bytes, ending on a lone lead.
  std::string tradeMarks;
  for (int count = 0; count < 300; ++count) {
    tradeMarks += Bytes({0xC2, 0x99});
    ExpectMatchesReference(tradeMarks + Bytes({0xC2}));
    ExpectMatchesReference("a" + tradeMarks);
  }
}

TEST(Win1251Repair, AsciiRunsOfEveryLengthAroundPairs) {
  // Runs are copied a word at a time; the pair after a run must land where
  // the run ends, whatever its length.
  const std::string pair = Bytes({0xC3, 0xA8});
  for (std::size_t length = 0; length <= 70; ++length) {
    const std::string run(length, 'r');
    ExpectMatchesReference(run + "!");
    ExpectMatchesReference(run + pair);
    ExpectMatchesReference(pair + run);
    ExpectMatchesReference(pair + run + pair + run);
    ExpectMatchesReference(run + Bytes({0xC3}));
    ExpectMatchesReference(run + Bytes({0xD0, 0x9F}) + run);
  }
}

// Pseudo-random text mixing every kind of byte the walk treats differently.
class TextGenerator {
 public:
  explicit TextGenerator(std::uint32_t seed) : random_(seed) {}

  std::string Next(std::size_t pieces, bool withLetters) {
    std::string text;
    for (std::size_t piece = 0; piece < pieces; ++piece) Append(text, withLetters);
    if (Below(4) == 0) text += static_cast<char>(0x80 + Below(128));  // lone lead at the end
    return text;
  }

 private:
  unsigned Below(unsigned bound) {
    return std::uniform_int_distribution<unsigned>(0, bound - 1)(random_);
  }

  void Append(std::string& text, bool withLetters) {
    switch (Below(withLetters ? 7 : 6)) {
      case 0: {  // an ASCII run, sometimes long enough for whole-word steps
        const unsigned length = Below(3) == 0 ? 1 + Below(100) : 1 + Below(6);
        for (unsigned at = 0; at < length; ++at) text += static_cast<char>(0x20 + Below(0x5F));
        break;
      }
      case 1:
      case 2:  // Latin-1 mojibake
        text += static_cast<char>(0xC2 + Below(2));
        text += static_cast<char>(0x80 + Below(0x40));
        break;
      case 3:  // three-byte sequences shift the pair walk
        text += Utf8(0x2010 + Below(0x20));
        break;
      case 4:  // Ё and ё, not letters of the table
        text += Utf8(Below(2) == 0 ? 0x0401 : 0x0451);
        break;
      case 5:  // any byte but the terminator
        text += static_cast<char>(1 + Below(255));
        break;
      default:  // a correctly encoded Russian letter
        text += Utf8(0x0410 + Below(64));
        break;
    }
  }

  std::mt19937 random_;
};

TEST(Win1251Repair, RandomTextsMatchTheReference) {
  TextGenerator generator(20240611);
  for (int round = 0; round < 4000; ++round) {
    const bool withLetters = round % 3 == 0;
    ExpectMatchesReference(generator.Next(1 + round % 60, withLetters));
  }
  for (int round = 0; round < 20; ++round) {
    ExpectMatchesReference(generator.Next(5000, round % 2 == 0));
  }
}

// Texts of every length up to 64 that take each way through the 16-byte
// steps: ASCII, mis-read letters between spaces, correct Russian, a letter
// after mis-read ones, and a random mix; every one cut at every length.
std::vector<std::string> TextsOfEveryShape() {
  const std::string letters = Bytes({0xC3, 0x8F, 0xC3, 0xB0, 0xC3, 0xA8, 0xC3, 0xA2, 0xC3, 0xA5, 0xC3, 0xB2}) + " ";
  const std::string russian = Bytes({0xD0, 0x9F, 0xD1, 0x80, 0xD0, 0xB8}) + " ";
  std::string ascii, misread, correct, lateLetter;
  while (misread.size() < 64) misread += letters;
  while (correct.size() < 64) correct += russian;
  for (unsigned at = 0; at < 64; ++at) ascii += static_cast<char>(0x20 + (at * 7) % 0x5F);
  for (unsigned at = 0; lateLetter.size() < 64; ++at) {
    lateLetter += at % 9 == 8 ? Bytes({0xD0, 0x9F}) : Bytes({0xC3, 0x80 + (at * 5) % 0x40});
  }
  TextGenerator generator(7);
  std::vector<std::string> texts;
  for (std::size_t length = 0; length <= 64; ++length) {
    const std::string mixed = generator.Next(40, length % 2 == 0);
    for (const std::string& whole : {ascii, misread, correct, lateLetter, mixed}) texts.push_back(whole.substr(0, length));
  }
  return texts;
}

TEST(Win1251Repair, EveryLengthAtEverySourceAlignment) {
  std::vector<char> buffer(64 + 16 + 16);
  auto* const aligned = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(buffer.data()) + 15) & ~std::uintptr_t{15});
  for (const std::string& text : TextsOfEveryShape()) {
    for (std::size_t offset = 0; offset < 16; ++offset) {
      std::memcpy(aligned + offset, text.c_str(), text.size() + 1);
      const GuardedRun run = RunAll(aligned + offset);
      ASSERT_EQ(Hex(run.output), Hex(ReferenceRepair(text))) << "offset " << offset;
      ASSERT_FALSE(run.outputOverran) << Hex(text);
    }
  }
}

#if __has_include(<sys/mman.h>)
// The measuring reads whole aligned blocks: with the text at the start of a
// page that has none before it, or its terminator on the last byte of a page
// that has none after it, nothing may fault.
TEST(Win1251Repair, TextsAtTheEdgesOfAPageBetweenUnmappedOnes) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* mapping = mmap(nullptr, 3 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapping, MAP_FAILED);
  char* const pageStart = static_cast<char*>(mapping) + page;
  ASSERT_EQ(mprotect(pageStart, page, PROT_READ | PROT_WRITE), 0);
  for (const std::string& text : TextsOfEveryShape()) {
    for (char* const at : {pageStart + text.size() % 16, pageStart + page - text.size() - 1}) {
      std::memcpy(at, text.c_str(), text.size() + 1);
      ASSERT_EQ(Hex(RunAll(at).output), Hex(ReferenceRepair(text)));
    }
  }
  munmap(mapping, 3 * page);
}
#endif

}  // namespace
