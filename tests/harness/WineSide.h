#pragma once
// Windows only: what a test under Wine needs from the Linux side, where files
// can be linked and names removed as a Linux process of the same user would.

#include <string>

namespace test_windows {

bool RunsUnderWine();
// Starts a Linux program named by its Linux path; the command line's other
// words are passed as they are. Wine gives no handle that tells when it ends:
// the caller waits for its effect.
bool StartLinuxProgram(std::string commandLine);

}  // namespace test_windows
