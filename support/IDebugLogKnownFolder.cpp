#include <cstring>

#include "os/KnownFolder.h"
#include "support/Assertions.h"
#include "support/IDebugLog.h"
#include "support/IFileStream.h"

void IDebugLog::OpenInKnownFolder(std::int32_t folderId, const char* relativePath) {
  char path[os::kMaxPath];
  const bool found = os::KnownFolderPath(folderId, path);
  QL_CHECK(found, "SUCCEEDED(SHGetFolderPath(NULL, folderID, NULL, SHGFP_TYPE_CURRENT, path))");

  // The relative path is glued on unchanged: it brings its own separator.
  const std::size_t folderLength = std::strlen(path);
  const std::size_t relativeLength = std::strlen(relativePath);
  if (folderLength + relativeLength >= sizeof path) {
    LogProblem("IDebugLog::OpenInKnownFolder: path too long: %s%s", path, relativePath);
    return;
  }
  std::memcpy(path + folderLength, relativePath, relativeLength + 1);

  IFileStream::CreatePathDirectories(path);
  OpenLogFile(path);
}
