#pragma once
// The runtime root: the directory of the host process's executable (the
// game's own directory), with a trailing backslash.

#include <cstdint>
#include <string>

#include "os/ExecutablePath.h"

// The runtime root, or an empty string while it cannot be found. A failed
// lookup is logged and tried again on the next call; once found, the root is
// kept for the rest of the process and never changes.
const std::string& GetRuntimeRoot();

// Where the lookup reads the executable's full file name. It behaves as
// GetModuleFileNameA: a name that does not fit reports `capacity` characters.
using ExecutableNameSource = os::ExecutableName (*)(char* buffer, std::uint32_t capacity);

// Tests present executables of their own; null restores the system's source.
void SetExecutableNameSource(ExecutableNameSource source);
