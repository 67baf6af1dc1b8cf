#include "os/KnownFolder.h"

#include <cstdio>
#include <cstdlib>

namespace os {

namespace {

const char* FolderBelowHome(std::int32_t folderId) {
  switch (folderId) {
    case 5: return "/Documents";
    case 26: return "/.config";
    case 28: return "/.local/share";
    case 40: return "";
    default: return nullptr;
  }
}

}  // namespace

bool KnownFolderPath(std::int32_t folderId, char* buffer) {
  const char* below = FolderBelowHome(folderId);
  const char* home = std::getenv("HOME");
  if (below == nullptr || home == nullptr || *home == '\0') return false;
  const int written = std::snprintf(buffer, kMaxPath, "%s%s", home, below);
  return written >= 0 && static_cast<std::size_t>(written) < kMaxPath;
}

}  // namespace os
