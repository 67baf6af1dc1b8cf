#include "sim/SimGameDirectory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "functions/RuntimeRoot.h"

namespace sim {

namespace {

char executableName[4096];

os::ExecutableName PresentExecutable(char* buffer, std::uint32_t capacity) {
  const auto length = static_cast<std::uint32_t>(std::strlen(executableName));
  if (length == 0 || length >= capacity) return {0, 2};  // as a failed lookup reports
  std::memcpy(buffer, executableName, length + 1);
  return {length, 0};
}

}  // namespace

std::string PlaceGameIn(const std::string& directory) {
  std::string root = directory;
  std::replace(root.begin(), root.end(), '/', '\\');
  if (root.empty() || root.back() != '\\') root += '\\';
  const std::string executable = root + "host.exe";
  if (executable.size() >= sizeof executableName) std::abort();
  std::memcpy(executableName, executable.c_str(), executable.size() + 1);
  SetExecutableNameSource(&PresentExecutable);
  return root;
}

}  // namespace sim
