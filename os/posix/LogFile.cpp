#include "os/LogFile.h"
#include "os/posix/NativePath.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace os {

namespace {

constexpr int kOpenAttempts = 4;
// Without blocking: a FIFO at the name would otherwise hang the load until a
// reader came. Never through a link at the name.
constexpr int kOpenFlags = O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW;

// An existing name is opened as it is and a missing one created anew, never
// both in one step: that would follow a dangling link at the name and make
// the file it names. -1 when neither works.
int OpenExistingOrCreateNew(const char* path) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    const int existing = open(path, kOpenFlags);
    if (existing >= 0 || errno != ENOENT) return existing;
    const int created = open(path, kOpenFlags | O_CREAT | O_EXCL, 0666);
    if (created >= 0 || errno != EEXIST) return created;
  }
  return -1;
}

// Only a regular file of one name is a log: emptying a file that has other
// names would wipe a file that is not ours.
bool IsPlainFileOfOneName(const struct stat& status) { return S_ISREG(status.st_mode) && status.st_nlink == 1; }

// Whether the entry at `path`, a link not followed, is the opened file and it
// has that one name.
bool IsAtName(const char* path, const struct stat& opened) {
  struct stat named {};
  return lstat(path, &named) == 0 && IsPlainFileOfOneName(named) && named.st_dev == opened.st_dev &&
         named.st_ino == opened.st_ino;
}

}  // namespace

LogFile LogFile::OpenDenyWrite(const char* name) {
  // Stands in for a deny-write share mode: the lock belongs to this open file
  // description, so a second open, also in this process, fails to take it.
  // It is taken before truncating so a refused writer never empties the
  // holder's file. Anything that is not a log is unusable, so the fallback
  // names apply.
  const NativePath path(name);
  if (!path.c_str()) return LogFile();
  const int fd = OpenExistingOrCreateNew(path.c_str());
  if (fd < 0) return LogFile();
  // Checked again after the lock, and by name: another process may have
  // removed the name from a file that still has one outside (leaving it one
  // link), or put something else there. The link count is read first, so a
  // name gone by then must have come back for the lookup to pass. While the
  // kernel removes a name, a lookup can still find it with the link count
  // already lowered; renaming the name onto itself changes nothing but waits
  // for such a removal to end, and the lookup after it tells.
  struct stat opened {};
  if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || fcntl(fd, F_SETFL, 0) != 0 ||
      flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &opened) != 0 || !IsPlainFileOfOneName(opened) ||
      !IsAtName(path.c_str(), opened) || rename(path.c_str(), path.c_str()) != 0 ||
      !IsAtName(path.c_str(), opened) || ftruncate(fd, 0) != 0) {
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
