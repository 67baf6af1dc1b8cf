#include "os/KnownFolder.h"

#include <windows.h>
#include <shlobj.h>

namespace os {

static_assert(kMaxPath == MAX_PATH);

bool KnownFolderPath(std::int32_t folderId, char* buffer) {
  return SUCCEEDED(SHGetFolderPathA(nullptr, folderId, nullptr, SHGFP_TYPE_CURRENT, buffer));
}

}  // namespace os
