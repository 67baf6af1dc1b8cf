// The file-name check of "saveFile" on arbitrary names: a name it accepts
// must resolve below the runtime root, to what a resolver written here from
// the Windows path rules gives, and to no device. Names of plain characters
// that this resolver places below the root must be accepted.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "functions/FileNameCheck.h"
#include "fuzz/FuzzCheck.h"

namespace {

std::vector<std::string> Split(const std::string& name, const std::string& separators) {
  std::vector<std::string> parts(1);
  for (const char c : name) {
    if (separators.find(c) != std::string::npos) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// A component as Windows opens it: trailing dots and spaces are dropped.
std::string AsOpened(std::string component) {
  while (!component.empty() && (component.back() == '.' || component.back() == ' ')) component.pop_back();
  return component;
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9, and COM and LPT
// with a superscript 1, 2 or 3 (code page 1252 or UTF-8), name the device whatever
// follows the first dot, and with trailing spaces before it.
bool NamesADevice(const std::string& component) {
  std::string stem = Upper(component.substr(0, component.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$") {
    return true;
  }
  if (stem.rfind("COM", 0) != 0 && stem.rfind("LPT", 0) != 0) return false;
  const std::string port = stem.substr(3);
  if (port.size() == 1 && port[0] >= '0' && port[0] <= '9') return true;
  const std::string superscript = port.size() == 2 && port[0] == '\xC2' ? port.substr(1) : port;
  return superscript == "\xB9" || superscript == "\xB2" || superscript == "\xB3";
}

// Where a relative name lands, as components below the root; nothing when it
// is rooted, climbs above the root, names the root or a directory, or holds
// a component Windows would not open as a file name.
std::optional<std::vector<std::string>> WhereItLands(const std::string& name) {
  if (name.empty() || name.find(':') != std::string::npos) return std::nullopt;
  if (name.front() == '\\' || name.front() == '/' || name.back() == '\\' || name.back() == '/') return std::nullopt;
  std::vector<std::string> below;
  for (const std::string& component : Split(name, "\\/")) {
    if (component.empty()) continue;
    const std::string opened = AsOpened(component);
    if (!opened.empty()) {
      if (NamesADevice(opened)) return std::nullopt;
      below.push_back(opened);
      continue;
    }
    std::string dots = component;
    while (!dots.empty() && dots.back() == ' ') dots.pop_back();
    if (dots == ".") continue;
    if (dots != ".." || below.empty()) return std::nullopt;
    below.pop_back();
  }
  if (below.empty()) return std::nullopt;
  return below;
}

bool IsPlain(const std::string& name) {
  for (const char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.' ||
                       c == '\\' || c == '/';
    if (!plain) return false;
  }
  return true;
}

// On POSIX the plug-in's backslashes become slashes: the path must stay below
// the root there too.
bool StaysBelowRootOnPosix(const std::string& resolved) {
  std::string relative = resolved;
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
  const std::filesystem::path root = "/game/root";
  const std::string normal = (root / relative).lexically_normal().string();
  return normal.rfind("/game/root/", 0) == 0 && normal.size() > std::strlen("/game/root/");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto* end = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
  const std::string name(reinterpret_cast<const char*>(data), end ? static_cast<std::size_t>(end - data) : size);

  const std::optional<std::string> accepted = ResolveNameBelowRoot(name);
  const std::optional<std::vector<std::string>> landing = WhereItLands(name);
  if (accepted) {
    FUZZ_CHECK(landing.has_value());
    FUZZ_CHECK(Split(*accepted, "\\") == *landing);
    FUZZ_CHECK(accepted->find('/') == std::string::npos && accepted->find(':') == std::string::npos);
    FUZZ_CHECK(StaysBelowRootOnPosix(*accepted));
  } else if (landing && IsPlain(name)) {
    FUZZ_CHECK(!"a plain name that lands below the root was refused");
  }
  return 0;
}
