#pragma once
// The full file name of the process's main executable (not this library),
// as GetModuleFileNameA reports it.

#include <cstdint>

namespace os {

struct ExecutableName {
  std::uint32_t length;     // characters stored; `capacity` when the name did not fit
  std::uint32_t lastError;  // the system's error code when length is 0 or capacity
};

// Writes the name into buffer (at most capacity characters, terminated when it
// fits). On POSIX the name is presented in backslash form ("\usr\bin\game"),
// the form the rest of the plug-in expects; the file layer turns it back.
ExecutableName MainExecutableName(char* buffer, std::uint32_t capacity);

}  // namespace os
