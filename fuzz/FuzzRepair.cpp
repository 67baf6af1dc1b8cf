// "Win1251ToUTF8" on arbitrary bytes: its core and the function as the UI
// runtime calls it must give what the straightforward algorithm gives, read
// nothing past the terminator (the input is an exactly-sized heap copy, so
// AddressSanitizer sees any over-read) and write nothing past 2n + 2 bytes.
// The conversion table here is glibc's CP1251 decoder, not the plug-in's.

#include <iconv.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "functions/UiFunctions.h"
#include "functions/Win1251Repair.h"
#include "fuzz/FuzzCheck.h"

namespace {

// The 64 Russian letters in UTF-8, Ё and ё not among them.
const std::string kLetters =
    "ЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮйцукенгшщзхъфывапролджэячсмитьбю";

// UTF-8 of the character of byte 0x80 + i in Windows-1251; empty for 0x98.
struct Windows1251Table {
  std::string entries[128];

  Windows1251Table() {
    iconv_t decoder = iconv_open("UTF-8", "CP1251");
    FUZZ_CHECK(decoder != reinterpret_cast<iconv_t>(-1));
    for (int i = 0; i < 128; ++i) {
      char byte = static_cast<char>(0x80 + i);
      char out[8];
      char* in = &byte;
      std::size_t inLeft = 1;
      char* outAt = out;
      std::size_t outLeft = sizeof out;
      iconv(decoder, nullptr, nullptr, nullptr, nullptr);
      if (iconv(decoder, &in, &inLeft, &outAt, &outLeft) != static_cast<std::size_t>(-1)) {
        entries[i].assign(out, sizeof out - outLeft);
      }
    }
    iconv_close(decoder);
    FUZZ_CHECK(entries[0x18].empty() && !entries[0x40].empty());
  }
};

const Windows1251Table& Table() {
  static const Windows1251Table table;
  return table;
}

bool IsLetter(unsigned char lead, unsigned char trail) {
  for (std::size_t at = 0; at + 1 < kLetters.size(); at += 2) {
    if (static_cast<unsigned char>(kLetters[at]) == lead && static_cast<unsigned char>(kLetters[at + 1]) == trail) {
      return true;
    }
  }
  return false;
}

// The two passes as plainly as they can be written, over a terminated text.
bool DetectsRussian(const unsigned char* text) {
  for (std::size_t at = 0; text[at] != 0;) {
    if (text[at] < 0x80) {
      ++at;
      continue;
    }
    if (IsLetter(text[at], text[at + 1])) return true;
    if (text[at + 1] == 0) return false;
    at += 2;
  }
  return false;
}

std::string Converted(const unsigned char* text) {
  std::string out;
  for (std::size_t at = 0; text[at] != 0;) {
    const unsigned char lead = text[at];
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++at;
      continue;
    }
    const unsigned char trail = text[at + 1];
    out += Table().entries[((lead & 0x01) << 6) | (trail & 0x3F)];
    if (trail == 0) break;
    at += 2;
  }
  return out;
}

std::string Repaired(const std::string& text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.c_str());
  return DetectsRussian(bytes) ? text : Converted(bytes);
}

std::unique_ptr<char[]> ExactCopy(const std::string& text) {
  auto copy = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

// One call of the function with one string argument.
UiValue CallRepairFunction(SKSEScaleform_ConvertWin1251ToUTF8& function, const char* text) {
  UiValue argument{};
  argument.kindWord = UiValue::kString;
  argument.payload.string = text;
  UiValue result{};
  FunctionCallRecord call{};
  call.result = &result;
  call.args = &argument;
  call.argCount = 1;
  function.HandleCall(call);
  return result;
}

void ExpectFunctionGives(const UiValue& result, const std::string& expected) {
  FUZZ_CHECK(result.kindWord == UiValue::kString);
  FUZZ_CHECK(result.payload.string != nullptr && expected == result.payload.string);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A narrow UI string ends at its first zero byte.
  const auto* end = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
  const std::string text(reinterpret_cast<const char*>(data), end ? static_cast<std::size_t>(end - data) : size);
  const std::string expected = Repaired(text);
  const std::unique_ptr<char[]> input = ExactCopy(text);

  // The core, into a buffer of exactly the documented size.
  FUZZ_CHECK(ContainsRussianLetter(input.get()) ==
             DetectsRussian(reinterpret_cast<const unsigned char*>(input.get())));
  const std::size_t bufferSize = RepairBufferSize(text.size());
  FUZZ_CHECK(bufferSize == 2 * text.size() + 2);
  const auto output = std::make_unique<char[]>(bufferSize);
  const TextExtent extent = MeasureText(input.get());
  std::size_t firstHigh = 0;
  while (firstHigh < text.size() && static_cast<unsigned char>(text[firstHigh]) < 0x80) ++firstHigh;
  FUZZ_CHECK(extent.length == text.size() && extent.firstHigh == firstHigh);
  const std::size_t length = RepairWin1251(input.get(), extent, output.get());
  FUZZ_CHECK(length == expected.size() && length < bufferSize);
  FUZZ_CHECK(std::memcmp(output.get(), expected.data(), length) == 0 && output[length] == '\0');

  // The function; an empty text leaves the result undefined.
  static SKSEScaleform_ConvertWin1251ToUTF8 function;
  const UiValue result = CallRepairFunction(function, input.get());
  if (text.empty()) {
    FUZZ_CHECK(result.kindWord == UiValue::kUndefined);
    return 0;
  }
  ExpectFunctionGives(result, expected);
  // A script may hand the result straight back: it is then read from the
  // block the function writes to.
  if (!expected.empty() && (data[0] & 1) != 0) {
    ExpectFunctionGives(CallRepairFunction(function, result.payload.string), Repaired(expected));
  }
  return 0;
}
