#include "os/ExecutablePath.h"

#include <unistd.h>

#include <cerrno>

namespace os {

ExecutableName MainExecutableName(char* buffer, std::uint32_t capacity) {
  if (capacity == 0) return ExecutableName{0, 0};
  const ssize_t read = readlink("/proc/self/exe", buffer, capacity);
  if (read <= 0) return ExecutableName{0, static_cast<std::uint32_t>(errno)};
  const auto length = static_cast<std::uint32_t>(read);
  if (length >= capacity) return ExecutableName{capacity, 0x7A};  // ERROR_INSUFFICIENT_BUFFER
  buffer[length] = '\0';
  for (std::uint32_t i = 0; i < length; ++i) {
    if (buffer[i] == '/') buffer[i] = '\\';
  }
  return ExecutableName{length, 0};
}

}  // namespace os
