#include "host/os/HostProcess.h"

#include <unistd.h>

#include <climits>
#include <csignal>

namespace host_os {

std::string ExecutableDirectory() {
  char name[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", name, sizeof name);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof name) return {};
  const std::string path(name, static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string{} : path.substr(0, slash + 1);
}

const char* PluginFileName() { return "quiverleaf_extensions.so"; }

// Ignored, SIGXFSZ leaves the write failing with EFBIG: saveFile answers false.
void PrepareProcess() { std::signal(SIGXFSZ, SIG_IGN); }

// Arguments are bytes on POSIX; a UTF-8 locale gives UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace host_os
