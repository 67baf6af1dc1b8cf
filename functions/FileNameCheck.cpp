#include "functions/FileNameCheck.h"

#include <array>
#include <vector>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string_view TrimTrailing(std::string_view text, std::string_view characters) {
  const std::size_t last = text.find_last_not_of(characters);
  return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringCase(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (AsciiUpper(text[i]) != upper[i]) return false;
  }
  return true;
}

// Windows opens the device whatever extension follows its name: "nul.txt" is NUL.
bool IsReservedDeviceName(std::string_view component) {
  static constexpr std::array<std::string_view, 6> kPlainDevices{"CON", "PRN",   "AUX",
                                                                 "NUL", "CONIN$", "CONOUT$"};
  const std::string_view stem = TrimTrailing(component.substr(0, component.find('.')), " ");
  for (std::string_view device : kPlainDevices) {
    if (EqualsIgnoringCase(stem, device)) return true;
  }
  if (stem.size() < 4) return false;
  const std::string_view prefix = stem.substr(0, 3);
  if (!EqualsIgnoringCase(prefix, "COM") && !EqualsIgnoringCase(prefix, "LPT")) return false;
  // COM0-COM9, and the superscript digits 1 2 3, which Windows also takes as
  // port numbers: single bytes in code page 1252, two in UTF-8 (a Windows
  // whose ANSI code page is UTF-8 reads the name so).
  static constexpr std::array<std::string_view, 6> kSuperscripts{"\xB9",     "\xB2",     "\xB3",
                                                                 "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
  const std::string_view port = stem.substr(3);
  if (port.size() == 1 && port[0] >= '0' && port[0] <= '9') return true;
  for (std::string_view superscript : kSuperscripts) {
    if (port == superscript) return true;
  }
  return false;
}

std::vector<std::string_view> SplitComponents(std::string_view name) {
  std::vector<std::string_view> components;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || IsSeparator(name[i])) {
      components.push_back(name.substr(start, i - start));
      start = i + 1;
    }
  }
  return components;
}

}  // namespace

std::optional<std::string> ResolveNameBelowRoot(std::string_view name) {
  if (name.empty() || IsSeparator(name.front()) || IsSeparator(name.back())) return std::nullopt;
  if (name.find(':') != std::string_view::npos) return std::nullopt;

  std::vector<std::string_view> resolved;
  for (std::string_view component : SplitComponents(name)) {
    if (component.empty()) continue;  // a doubled separator, as Windows reads it
    const std::string_view asRead = TrimTrailing(component, ". ");
    if (asRead.empty()) {
      const std::string_view dots = TrimTrailing(component, " ");
      if (dots == ".") continue;
      if (dots != "..") return std::nullopt;
      if (resolved.empty()) return std::nullopt;  // above the root
      resolved.pop_back();
      continue;
    }
    if (IsReservedDeviceName(asRead)) return std::nullopt;
    resolved.push_back(asRead);
  }
  if (resolved.empty()) return std::nullopt;

  std::string joined;
  for (std::string_view component : resolved) {
    if (!joined.empty()) joined += '\\';
    joined += component;
  }
  return joined;
}
