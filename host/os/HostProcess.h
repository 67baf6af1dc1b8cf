#pragma once
// What the host needs to know about its own process.

#include <string>
#include <vector>

namespace host_os {

// The directory of the running executable, with a trailing separator; the
// plug-in file is looked for there. Empty when it cannot be found.
std::string ExecutableDirectory();

// The file name of the plug-in as the build leaves it beside the host.
const char* PluginFileName();

// Lets the plug-in's failures come back as results: on POSIX a write past
// the file-size limit would otherwise end the host by signal.
void PrepareProcess();

// The command-line arguments after the program name, as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace host_os
