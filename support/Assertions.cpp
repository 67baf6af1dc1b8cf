#include "support/Assertions.h"

#include <cstdio>
#include <cstring>

#include "os/ProcessHalt.h"
#include "support/IDebugLog.h"

SourceFileName::SourceFileName(const char* path) : text{} {
  const char* start = path;
  for (const char* c = path; *c != '\0'; ++c) {
    if (*c == '/' || *c == '\\') start = c + 1;
  }
  const char* dot = std::strrchr(start, '.');
  std::size_t length = dot != nullptr ? static_cast<std::size_t>(dot - start) : std::strlen(start);
  if (length >= sizeof text) length = sizeof text - 1;
  std::memcpy(text, start, length);
}

void ReportAssertion(const char* sourceFile, std::int32_t line, const char* message) {
  LogFatal("Assertion failed in %s (%d): %s", sourceFile, line, message);
  HaltProcess();
}

void ReportAssertionWithCode(const char* sourceFile, std::int32_t line, const char* message,
                             std::uint64_t code) {
  if ((code >> 32) == 0) {
    LogFatal("Assertion failed in %s (%d): %s (code = %08X (%d))", sourceFile, line, message,
             static_cast<std::uint32_t>(code), static_cast<std::int32_t>(code));
  } else {
    LogFatal("Assertion failed in %s (%d): %s (code = %16I64X (%I64d))", sourceFile, line, message,
             code, static_cast<std::int64_t>(code));
  }
  HaltProcess();
}

void ReportAssertionWithCodeText(const char* sourceFile, std::int32_t line, const char* message,
                                 const char* codeText) {
  LogFatal("Assertion failed in %s (%d): %s (code = %s)", sourceFile, line, message, codeText);
  HaltProcess();
}

void HaltProcess() {
  // When standard output is a pipe or a file it is block-buffered, and the
  // halt would drop the report's echo with the buffer.
  std::fflush(stdout);
  os::HaltProcess();
}
