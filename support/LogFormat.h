#pragma once
// printf-style formatting for log messages. Besides the standard directives it
// accepts the "I64" size prefix for 64-bit integers ("%16I64X", "%I64d") on
// every platform, also where the C library does not know it.

#include <cstdarg>
#include <cstddef>

// Formats into buffer (capacity bytes), cutting the text to capacity - 1
// characters; the result is always terminated. Returns the characters stored.
// Allocates nothing. A format that uses "I64" is rewritten in a fixed buffer
// of kLogFormatCapacity bytes; a longer one is cut before the first directive
// that does not fit whole.
std::size_t FormatLogMessage(char* buffer, std::size_t capacity, const char* format,
                             va_list args);

inline constexpr std::size_t kLogFormatCapacity = 8192;
