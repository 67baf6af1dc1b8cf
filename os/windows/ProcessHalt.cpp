#include "os/ProcessHalt.h"

#include <windows.h>

#include <cstdlib>

namespace os {

namespace {
// The status abort() leaves behind, so a halted game looks like an aborted one;
// abort() itself is avoided because the runtime may show a message box first.
constexpr UINT kHaltExitCode = 3;
}  // namespace

void HaltProcess() {
  TerminateProcess(GetCurrentProcess(), kHaltExitCode);
  // Terminating the own process does not come back; should it ever, still
  // leave without clean-up.
  std::_Exit(static_cast<int>(kHaltExitCode));
}

}  // namespace os
