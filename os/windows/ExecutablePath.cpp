#include "os/ExecutablePath.h"

#include <windows.h>

namespace os {

ExecutableName MainExecutableName(char* buffer, std::uint32_t capacity) {
  const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, capacity);
  ExecutableName name{length, 0};
  if (length == 0 || length >= capacity) name.lastError = GetLastError();
  return name;
}

}  // namespace os
