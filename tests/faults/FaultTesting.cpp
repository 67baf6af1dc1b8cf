#include "faults/FaultTesting.h"

#include <algorithm>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "functions/RuntimeRoot.h"
#include "plugin/abi/FunctionHandler.h"

namespace faults {

namespace {

// Fixed storage: the name source may be asked while allocations fail.
char executableName[4096];

os::ExecutableName PresentExecutable(char* buffer, std::uint32_t capacity) {
  const auto length = static_cast<std::uint32_t>(std::char_traits<char>::length(executableName));
  if (length == 0 || length >= capacity) return {0, 2};
  std::copy(executableName, executableName + length + 1, buffer);
  return {length, 0};
}

std::string Printable(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    if (c == '\r') {
      shown += "\\r";
    } else if (c == '\n') {
      shown += "\\n\n";
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace

void CheckEqualInChild(const std::string& actual, const std::string& expected, const char* what,
                       const char* file, int line) {
  if (actual == expected) return;
  std::fprintf(stderr, "%s:%d: %s is\n%s\nexpected\n%s\n", file, line, what,
               Printable(actual).c_str(), Printable(expected).c_str());
  std::exit(1);
}

std::string PointRuntimeRootAt(const std::string& directory) {
  std::string root = directory;
  std::replace(root.begin(), root.end(), '/', '\\');
  if (root.back() != '\\') root += '\\';
  const std::string executable = root + "host.exe";
  CHECK_IN_CHILD(executable.size() < sizeof executableName);
  std::copy(executable.begin(), executable.end(), executableName);
  executableName[executable.size()] = '\0';
  SetExecutableNameSource(&PresentExecutable);
  return root;
}

UiValue CallThroughTable(void* handler, UiValue* args, std::uint32_t argCount,
                         const UiValue& initialResult) {
  UiValue result = initialResult;
  FunctionCallRecord record{};
  record.result = &result;
  record.args = args;
  record.argCount = argCount;
  const auto* table = *static_cast<const FunctionHandlerVtable* const*>(handler);
  table->handleCall(static_cast<GFxFunctionHandler*>(handler), &record);
  return result;
}

bool IsBoolean(const UiValue& value, bool expected) {
  return value.kindWord == UiValue::kBoolean && value.payload.boolean == (expected ? 1 : 0);
}

int ExitCodeOf(int status) {
#if defined(_WIN32)
  return status;
#else
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

}  // namespace faults
