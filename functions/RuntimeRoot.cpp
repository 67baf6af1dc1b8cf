#include "functions/RuntimeRoot.h"

#include <string_view>

#include "support/IDebugLog.h"

namespace {

constexpr std::uint32_t kNameBufferSize = 260;

ExecutableNameSource executableNameSource = &os::MainExecutableName;

}  // namespace

void SetExecutableNameSource(ExecutableNameSource source) {
  executableNameSource = source ? source : &os::MainExecutableName;
}

const std::string& GetRuntimeRoot() {
  // Created on the first call; its release runs at exit with the other
  // process-wide objects, in reverse order of construction.
  static std::string runtimeRoot;
  if (!runtimeRoot.empty()) return runtimeRoot;

  char nameBuffer[kNameBufferSize];
  const os::ExecutableName found = executableNameSource(nameBuffer, kNameBufferSize);
  if (found.length == 0 || found.length >= kNameBufferSize) {
    LogProblem("couldn't find runtime path (len = %d, err = %08X)", static_cast<int>(found.length),
               static_cast<unsigned>(found.lastError));
    return runtimeRoot;
  }

  const std::string_view fileName(nameBuffer, found.length);
  const std::size_t lastBackslash = fileName.rfind('\\');
  if (lastBackslash == std::string_view::npos) {
    const std::string wholeName(fileName);
    LogProblem("no slash in runtime path? (%s)", wholeName.c_str());
    return runtimeRoot;
  }

  runtimeRoot.assign(fileName.substr(0, lastBackslash + 1));
  LogDetail("runtime root = %s", runtimeRoot.c_str());
  return runtimeRoot;
}
