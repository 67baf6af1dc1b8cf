// Apart from the file functions: the log makes its folders without them.
#include "os/NativeFile.h"
#include <windows.h>

namespace os {

void MakeDirectory(const char* path) { CreateDirectoryA(path, nullptr); }

}  // namespace os
