#include "bench/BenchInputs.h"

#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

constexpr std::size_t kMiB = 1 << 20;

const char kRussianProse[] =
    "Привет! Осенний лес стоял тихо, и только ветер шевелил жёлтые листья на старых берёзах. "
    "Путник шёл по узкой тропе, вспоминая дом, печь и долгие зимние вечера за книгой. "
    "«Далеко ли до деревни?» — спросил он у мальчика, который пас коз у ручья. "
    "Тот подумал и ответил, что к вечеру дойти можно, если не сворачивать у мельницы. ";

const char kEnglishProse[] =
    "The quick brown fox jumps over the lazy dog; meanwhile, 42 programmers argue about "
    "tabs, spaces and whether a log line should end with CR LF. ";

std::string Convert(const char* to, const char* from, const std::string& text) {
  iconv_t descriptor = iconv_open(to, from);
  if (descriptor == reinterpret_cast<iconv_t>(-1)) {
    std::perror("iconv_open");
    std::abort();
  }
  std::string out(text.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* outAt = out.data();
  std::size_t outLeft = out.size();
  if (iconv(descriptor, &in, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1)) {
    std::perror("iconv");
    std::abort();
  }
  iconv_close(descriptor);
  out.resize(out.size() - outLeft);
  return out;
}

// Each Windows-1251 byte read as Latin-1 and written as UTF-8.
std::string Latin1AsUtf8(unsigned char byte) {
  if (byte < 0x80) return std::string(1, static_cast<char>(byte));
  return {static_cast<char>(0xC0 | (byte >> 6)), static_cast<char>(0x80 | (byte & 0x3F))};
}

// Windows-1251 text whose mojibake is exactly `size` bytes: prose and every
// defined upper-half byte, repeated, then spaces.
std::string Windows1251Text(std::size_t mojibakeSize) {
  std::string block = Convert("CP1251", "UTF-8", kRussianProse);
  for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
    if (byte != 0x98) block += static_cast<char>(byte);  // 0x98 has no character
  }
  block += ' ';
  std::string text;
  std::size_t mojibakeLength = 0;
  for (std::size_t at = 0;; at = (at + 1) % block.size()) {
    const std::size_t width = static_cast<unsigned char>(block[at]) < 0x80 ? 1 : 2;
    if (mojibakeLength + width > mojibakeSize) break;
    text += block[at];
    mojibakeLength += width;
  }
  text.append(mojibakeSize - mojibakeLength, ' ');
  return text;
}

std::string Mojibake(const std::string& windows1251) {
  std::string text;
  for (const char c : windows1251) text += Latin1AsUtf8(static_cast<unsigned char>(c));
  return text;
}

// Whole UTF-8 characters of the prose, repeated, then spaces.
std::string RussianUtf8(std::size_t size) {
  const std::string prose = kRussianProse;
  std::string text;
  for (std::size_t at = 0;;) {
    std::size_t width = 1;
    while (at + width < prose.size() && (static_cast<unsigned char>(prose[at + width]) & 0xC0) == 0x80) ++width;
    if (text.size() + width > size) break;
    text.append(prose, at, width);
    at = (at + width) % prose.size();
  }
  text.append(size - text.size(), ' ');
  return text;
}

std::string Ascii(std::size_t size) {
  std::string text;
  while (text.size() < size) text += kEnglishProse;
  text.resize(size);
  return text;
}

struct Built {
  std::vector<BenchInput> inputs;
  std::map<std::string, std::string> expected;
};

const Built& Build() {
  static const Built built = [] {
    Built b;
    const std::string windows1251 = Windows1251Text(kMiB);
    const std::string shortWindows1251 = Windows1251Text(40);
    b.inputs = {
        {"mojibake_1MiB", Mojibake(windows1251), true},
        {"ascii_1MiB", Ascii(kMiB), true},
        {"russian_1MiB", RussianUtf8(kMiB), false},
        {"short_40B", Mojibake(shortWindows1251), true},
    };
    b.expected["mojibake_1MiB"] = Convert("UTF-8", "CP1251", windows1251);
    b.expected["ascii_1MiB"] = b.inputs[1].text;
    b.expected["russian_1MiB"] = b.inputs[2].text;
    b.expected["short_40B"] = Convert("UTF-8", "CP1251", shortWindows1251);
    return b;
  }();
  return built;
}

}  // namespace

const std::vector<BenchInput>& BenchInputs() { return Build().inputs; }

const std::string& ExpectedRepair(const BenchInput& input) { return Build().expected.at(input.label); }
