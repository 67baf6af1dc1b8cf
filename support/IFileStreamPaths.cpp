// Path helpers of the stream family, apart from the stream itself: the log
// uses them without linking file reading and writing.
#include <cstddef>

#include "os/NativeFile.h"
#include "support/IFileStream.h"

namespace {

constexpr std::size_t kPathWorkingSize = 1024;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

void IFileStream::CreatePathDirectories(const char* path) {
  // Each prefix is terminated where its separator will go, so a separator
  // beyond the buffer's last byte ends the work.
  char prefix[kPathWorkingSize];
  for (std::size_t i = 0; i < kPathWorkingSize && path[i] != '\0'; ++i) {
    if (IsSeparator(path[i])) {
      prefix[i] = '\0';
      os::MakeDirectory(prefix);
    }
    prefix[i] = path[i];
  }
}

const char* IFileStream::FileNamePart(const char* path) {
  const char* name = nullptr;
  for (const char* c = path; *c != '\0'; ++c) {
    if (IsSeparator(*c)) name = c + 1;
  }
  return name;
}
