#pragma once
// Shared by the fault-injection tests: checks for test bodies that run in a
// child process, the runtime root pointed at a directory of the test's
// choice, and calls through a handler's table that allocate nothing.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "harness/FreshProcess.h"
#include "abi/HostRecords.h"

#define CHECK_EQ_IN_CHILD(actual, expected) \
  faults::CheckEqualInChild((actual), (expected), #actual, __FILE__, __LINE__)

namespace faults {

void CheckEqualInChild(const std::string& actual, const std::string& expected, const char* what,
                       const char* file, int line);

// A line of the log file as the log writes it.
inline std::string LogLine(const std::string& text) { return text + "\r\n"; }

// Makes the runtime root lookup find `directory` (an absolute path) as the
// game's directory. Returns the root as the plug-in writes it: backslashes,
// with a trailing one.
std::string PointRuntimeRootAt(const std::string& directory);

// Calls slot 1 of the handler's table as the game does, and returns the
// result value. Allocates nothing itself.
UiValue CallThroughTable(void* handler, UiValue* args, std::uint32_t argCount,
                         const UiValue& initialResult);

bool IsBoolean(const UiValue& value, bool expected);

// The exit code of a child that EXPECT_EXIT waited for; -1 when it did not
// exit normally.
int ExitCodeOf(int status);

}  // namespace faults
