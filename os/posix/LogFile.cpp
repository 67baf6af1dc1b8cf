#include "os/LogFile.h"
#include "os/posix/NativePath.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace os {

LogFile LogFile::OpenDenyWrite(const char* name) {
  // Stands in for a deny-write share mode: the lock belongs to this open file
  // description, so a second open, also in this process, fails to take it.
  // It is taken before truncating so a refused writer never empties the
  // holder's file.
  const NativePath path(name);
  if (!path.c_str()) return LogFile();
  // Without blocking: a FIFO at the name would otherwise hang the load until
  // a reader came. Only a regular file of one name is a log: emptying a file
  // that a link leads to, or one with other names, would wipe a file that is
  // not ours. Anything else is unusable, so the fallback names apply.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW, 0666);
  if (fd < 0) return LogFile();
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1 || fcntl(fd, F_SETFL, 0) != 0 ||
      flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0) {
    close(fd);
    return LogFile();
  }
  std::FILE* stream = fdopen(fd, "w");
  if (stream == nullptr) {
    close(fd);
    return LogFile();
  }
  return LogFile(stream);
}

void LogFile::Write(const char* text) {
  if (stream_ == nullptr) return;
  // Same bytes as a Windows text-mode stream.
  for (;;) {
    const char* lineFeed = std::strchr(text, '\n');
    if (lineFeed == nullptr) {
      std::fputs(text, stream_);
      return;
    }
    std::fwrite(text, 1, static_cast<std::size_t>(lineFeed - text), stream_);
    std::fputs("\r\n", stream_);
    text = lineFeed + 1;
  }
}

}  // namespace os

namespace os {

bool LogFile::IsSameFileAs(const char* path) const {
  if (stream_ == nullptr) return false;
  const NativePath native(path);
  struct stat named {};
  struct stat open {};
  return native.c_str() && stat(native.c_str(), &named) == 0 && fstat(fileno(stream_), &open) == 0 &&
         named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

}  // namespace os
