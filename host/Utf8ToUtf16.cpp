#include "host/Utf8ToUtf16.h"

namespace {

// Lead byte -> sequence length and the smallest code point it may encode.
struct LeadByte {
  int length;
  char32_t minimum;
  char32_t bits;
};

std::optional<LeadByte> ReadLead(unsigned char byte) {
  if (byte < 0x80) return LeadByte{1, 0, byte};
  if ((byte & 0xE0) == 0xC0) return LeadByte{2, 0x80, static_cast<char32_t>(byte & 0x1F)};
  if ((byte & 0xF0) == 0xE0) return LeadByte{3, 0x800, static_cast<char32_t>(byte & 0x0F)};
  if ((byte & 0xF8) == 0xF0) return LeadByte{4, 0x10000, static_cast<char32_t>(byte & 0x07)};
  return std::nullopt;
}

}  // namespace

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
  std::u16string wide;
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::optional<LeadByte> lead = ReadLead(static_cast<unsigned char>(utf8[i]));
    if (!lead || i + static_cast<std::size_t>(lead->length) > utf8.size()) return std::nullopt;
    char32_t codePoint = lead->bits;
    for (int k = 1; k < lead->length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < lead->minimum || codePoint > 0x10FFFF) return std::nullopt;
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return std::nullopt;
    if (codePoint < 0x10000) {
      wide.push_back(static_cast<char16_t>(codePoint));
    } else {
      const char32_t offset = codePoint - 0x10000;
      wide.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
    }
    i += static_cast<std::size_t>(lead->length);
  }
  return wide;
}
