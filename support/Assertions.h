#pragma once
// Reporters for failed internal checks. Each writes one level-0 line through
// the debug log (file and console) and stops the process; none returns.

#include <cstdint>

[[noreturn]] void ReportAssertion(const char* sourceFile, std::int32_t line, const char* message);
// The code appears as "%08X (%d)" of its lower half when its upper half is
// zero, else as "%16I64X (%I64d)" of the whole.
[[noreturn]] void ReportAssertionWithCode(const char* sourceFile, std::int32_t line,
                                          const char* message, std::uint64_t code);
[[noreturn]] void ReportAssertionWithCodeText(const char* sourceFile, std::int32_t line,
                                              const char* message, const char* codeText);
// Flushes the console echo, then ends the process at once and abnormally.
[[noreturn]] void HaltProcess();

// The name a report gives a source file: its path without directories and
// extension ("IDataStream" for .../support/IDataStream.cpp). Only built on the
// failure path.
struct SourceFileName {
  explicit SourceFileName(const char* path);
  char text[128];
};

#define QL_CHECK(condition, message)                                             \
  do {                                                                           \
    if (!(condition)) ReportAssertion(SourceFileName(__FILE__).text, __LINE__, (message)); \
  } while (false)
