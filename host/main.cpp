// quiverleaf-host: calls the plug-in's UI functions outside the game, so mod
// authors can try their calls first. quiverleaf-host --help tells how.

#include <cstdio>
#include <exception>

#include "host/ExitCodes.h"
#include "host/HostRun.h"
#include "host/os/HostProcess.h"

int main(int argc, char** argv) {
  host_os::PrepareProcess();
  try {
    return RunHost(host_os::Utf8Arguments(argc, argv));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quiverleaf-host: %s\n", error.what());
  } catch (...) {
    std::fputs("quiverleaf-host: unexpected failure\n", stderr);
  }
  return exit_code::kPluginUnavailable;
}
