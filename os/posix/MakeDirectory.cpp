// Apart from the file functions: the log makes its folders without them.
#include "os/NativeFile.h"
#include "os/posix/NativePath.h"

#include <sys/stat.h>

namespace os {

void MakeDirectory(const char* path) {
  const NativePath native(path);
  if (native.c_str()) mkdir(native.c_str(), 0777);
}

}  // namespace os
