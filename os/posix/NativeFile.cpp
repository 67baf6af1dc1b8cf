#include "os/NativeFile.h"
#include "os/posix/NativePath.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

// Windows share modes become flock() locks on the open file description:
// reading takes a shared lock, creating for writing an exclusive one, both
// without waiting, so a conflicting open fails as it would on Windows. The
// exclusive lock is taken before the file is emptied, so a refused create
// leaves the other holder's data alone. flock() is advisory: it only keeps
// out processes that lock too (all streams of this library do), and a
// process that merely reads without locking is not stopped.

namespace os {

namespace {

int AsDescriptor(FileHandle file) { return static_cast<int>(file); }

FileHandle OpenLocked(const char* name, int flags, int lock) {
  const NativePath path(name);
  if (!path.c_str()) return kNoFile;
  const int descriptor = open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (descriptor < 0) return kNoFile;
  if (flock(descriptor, lock | LOCK_NB) != 0) {
    close(descriptor);
    return kNoFile;
  }
  return descriptor;
}

}  // namespace

FileHandle OpenFileForRead(const char* name) {
  // Windows opens no directory as a file; POSIX would, with a size of 4096.
  const FileHandle file = OpenLocked(name, O_RDONLY, LOCK_SH);
  struct stat status {};
  if (file != kNoFile && (fstat(AsDescriptor(file), &status) != 0 || S_ISDIR(status.st_mode))) {
    close(AsDescriptor(file));
    return kNoFile;
  }
  return file;
}

FileHandle CreateFileForWrite(const char* name) {
  const FileHandle file = OpenLocked(name, O_WRONLY | O_CREAT, LOCK_EX);
  if (file != kNoFile && ftruncate(AsDescriptor(file), 0) != 0) {
    close(AsDescriptor(file));
    return kNoFile;
  }
  return file;
}

void CloseFile(FileHandle file) {
  if (file != kNoFile) close(AsDescriptor(file));
}

std::int64_t FileSize(FileHandle file) {
  struct stat status {};
  if (file == kNoFile || fstat(AsDescriptor(file), &status) != 0) return 0;
  return status.st_size;
}

// Like ReadFile on a disk file: keeps going until the count is met or the
// file ends; a failure ends the transfer with what had arrived.
std::uint32_t ReadFromFile(FileHandle file, void* destination, std::uint32_t count) {
  auto* bytes = static_cast<char*>(destination);
  std::uint32_t done = 0;
  while (file != kNoFile && done < count) {
    const ssize_t read = ::read(AsDescriptor(file), bytes + done, count - done);
    if (read < 0 && errno == EINTR) continue;
    if (read <= 0) break;
    done += static_cast<std::uint32_t>(read);
  }
  return done;
}

std::uint32_t WriteToFile(FileHandle file, const void* source, std::uint32_t count) {
  const auto* bytes = static_cast<const char*>(source);
  std::uint32_t done = 0;
  while (file != kNoFile && done < count) {
    const ssize_t written = ::write(AsDescriptor(file), bytes + done, count - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<std::uint32_t>(written);
  }
  return done;
}

void SetFileEndAtPointer(FileHandle file) {
  if (file == kNoFile) return;
  const off_t pointer = lseek(AsDescriptor(file), 0, SEEK_CUR);
  if (pointer < 0) return;
  [[maybe_unused]] const int ignored = ftruncate(AsDescriptor(file), pointer);
}

void SetFilePointerTo(FileHandle file, std::int64_t offset) {
  if (file != kNoFile) lseek(AsDescriptor(file), static_cast<off_t>(offset), SEEK_SET);
}

}  // namespace os
