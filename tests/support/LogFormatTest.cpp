#include "support/LogFormat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr char kGuard = '#';
constexpr std::size_t kGuardBytes = 16;

// Formats into a buffer of `capacity` bytes followed by guard bytes, and
// fails the test if anything was written past the capacity.
std::string FormatWithCapacity(std::size_t capacity, const char* format, ...) {
  std::vector<char> buffer(capacity + kGuardBytes, kGuard);
  va_list args;
  va_start(args, format);
  const std::size_t stored = FormatLogMessage(buffer.data(), capacity, format, args);
  va_end(args);
  for (std::size_t i = capacity; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], kGuard) << "written past the capacity at " << i;
  }
  const std::string text(buffer.data());
  EXPECT_EQ(stored, text.size());
  return text;
}

#define FORMAT(...) FormatWithCapacity(256, __VA_ARGS__)

TEST(LogFormat, I64DirectivesFormatSixtyFourBitIntegers) {
  const std::int64_t big = 4294967296LL;
  EXPECT_EQ(FORMAT("%16I64X (%I64d)", big, big), "       100000000 (4294967296)");
  const std::uint64_t allOnes = ~std::uint64_t{0};
  EXPECT_EQ(FORMAT("%16I64X (%I64d)", allOnes, static_cast<std::int64_t>(-1)),
            "FFFFFFFFFFFFFFFF (-1)");
  EXPECT_EQ(FORMAT("%I64u", allOnes), "18446744073709551615");
  EXPECT_EQ(FORMAT("%-6I64x|%016I64x", std::uint64_t{0xAB}, std::uint64_t{0x1234}),
            "ab    |0000000000001234");
}

TEST(LogFormat, ArgumentsAfterAnI64DirectiveKeepTheirPlaces) {
  EXPECT_EQ(FORMAT("%s %I64d %s %d", "a", std::int64_t{1} << 40, "b", 7),
            "a 1099511627776 b 7");
}

TEST(LogFormat, OtherTextAndDirectivesPassUnchanged) {
  EXPECT_EQ(FORMAT("100%% done, %%I64d stays, PI64 %lld %5.2f %c", 3LL, 2.5, 'z'),
            "100% done, %I64d stays, PI64 3  2.50 z");
  EXPECT_EQ(FORMAT("%s", "I64"), "I64");
  EXPECT_EQ(FORMAT(""), "");
}

TEST(LogFormat, TextLongerThanTheBufferIsCutAndTerminated) {
  EXPECT_EQ(FormatWithCapacity(8, "abcdefghij"), "abcdefg");
  EXPECT_EQ(FormatWithCapacity(8, "%I64d", std::int64_t{123456789012}), "1234567");
  EXPECT_EQ(FormatWithCapacity(1, "abc"), "");
}

TEST(LogFormat, OverlongI64FormatIsCutBeforeADirectiveThatDoesNotFit) {
  // The rewritten format needs 8188 + 4 characters and its terminator: one
  // too many, so the whole directive goes, never half of it.
  const std::string text(kLogFormatCapacity - 4, 'a');
  EXPECT_EQ(FormatWithCapacity(2 * kLogFormatCapacity, (text + "%I64d").c_str(), 5LL), text);
  EXPECT_EQ(FormatWithCapacity(2 * kLogFormatCapacity, (text.substr(1) + "%I64d").c_str(), 5LL),
            text.substr(1) + "5");
  const std::string longText(2 * kLogFormatCapacity, 'b');
  EXPECT_EQ(
      FormatWithCapacity(3 * kLogFormatCapacity, (longText + "%I64d").c_str(), 5LL),
      longText.substr(0, kLogFormatCapacity - 1));
}

}  // namespace
