#include "faults/FaultTesting.h"

#include <algorithm>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "sim/SimGameDirectory.h"
#include "sim/SimMovie.h"

namespace faults {

namespace {

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

std::string PointRuntimeRootAt(const std::string& directory) { return sim::PlaceGameIn(directory); }

UiValue CallThroughTable(void* handler, UiValue* args, std::uint32_t argCount,
                         const UiValue& initialResult) {
  UiValue result = initialResult;
  sim::SimMovie::CallHandlerInPlace(handler, args, argCount, result);
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
