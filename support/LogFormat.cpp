#include "support/LogFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// One directive, from its '%' to just past its conversion character.
struct Directive {
  const char* end;
  bool hasI64;  // "I64" stands where the size prefix goes
};

bool IsIn(const char* set, char c) { return c != '\0' && std::strchr(set, c) != nullptr; }

Directive ParseDirective(const char* percent) {
  const char* p = percent + 1;
  while (IsIn("-+ #0'123456789.*$", *p)) ++p;
  const bool hasI64 = std::strncmp(p, "I64", 3) == 0;
  if (hasI64) p += 3;
  while (IsIn("hlLqjzt", *p)) ++p;
  if (*p != '\0') ++p;  // the conversion, '%' of "%%" included
  return Directive{p, hasI64};
}

bool UsesI64(const char* format) {
  for (const char* p = format; *p != '\0';) {
    if (*p != '%') {
      ++p;
      continue;
    }
    const Directive directive = ParseDirective(p);
    if (directive.hasI64) return true;
    p = directive.end;
  }
  return false;
}

// Copies format into out with every "I64" size prefix spelled "ll". Text that
// does not fit is dropped from the first directive or character that does not
// fit whole, so the copy never ends inside a directive.
void SpellI64AsLongLong(const char* format, char* out, std::size_t capacity) {
  std::size_t used = 0;
  for (const char* p = format; *p != '\0';) {
    if (*p != '%') {
      if (used + 1 >= capacity) break;
      out[used++] = *p++;
      continue;
    }
    const Directive directive = ParseDirective(p);
    const auto length = static_cast<std::size_t>(directive.end - p);
    if (used + length - (directive.hasI64 ? 1 : 0) >= capacity) break;
    while (p != directive.end) {
      if (directive.hasI64 && std::strncmp(p, "I64", 3) == 0) {
        out[used++] = 'l';
        out[used++] = 'l';
        p += 3;
      } else {
        out[used++] = *p++;
      }
    }
  }
  out[used] = '\0';
}

}  // namespace

std::size_t FormatLogMessage(char* buffer, std::size_t capacity, const char* format,
                             va_list args) {
  if (capacity == 0) return 0;
  char rewritten[kLogFormatCapacity];
  const char* standardFormat = format;
  if (UsesI64(format)) {
    SpellI64AsLongLong(format, rewritten, sizeof rewritten);
    standardFormat = rewritten;
  }
  const int length = std::vsnprintf(buffer, capacity, standardFormat, args);
  if (length < 0) {
    buffer[0] = '\0';
    return 0;
  }
  buffer[capacity - 1] = '\0';  // not every C library terminates a cut text
  return std::min(static_cast<std::size_t>(length), capacity - 1);
}
