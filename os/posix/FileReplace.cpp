#include "os/FileReplace.h"
#include "os/TemporaryName.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace os {

namespace {

constexpr int kOpenAttempts = 8;

std::string WithSlashes(std::string_view path) {
  std::string translated(path);
  std::replace(translated.begin(), translated.end(), '\\', '/');
  return translated;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What sits at the temporary name is dealt with by name and never written
// through: a link, FIFO, socket or device is unlinked; a regular file is
// unlinked only when nobody holds its lock (a crashed save's leftover), and
// only while it is still the file at that name; a directory is left alone
// and fails the save. False when the name cannot be cleared.
bool ClearTemporaryName(const std::string& temporary) {
  struct stat named {};
  if (lstat(temporary.c_str(), &named) != 0) return errno == ENOENT;
  if (S_ISDIR(named.st_mode)) return false;
  if (!S_ISREG(named.st_mode) || named.st_nlink != 1) return unlink(temporary.c_str()) == 0 || errno == ENOENT;

  // Opened only to take the lock: a saver that is still writing holds it.
  constexpr int kProbe = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int file = open(temporary.c_str(), O_RDONLY | kProbe);
  if (file < 0 && errno == EACCES) file = open(temporary.c_str(), O_WRONLY | kProbe);
  if (file < 0) return errno == ENOENT || errno == ELOOP;  // gone or replaced: look again
  struct stat opened {};
  const bool ours = flock(file, LOCK_EX | LOCK_NB) == 0 && fstat(file, &opened) == 0;
  // A saver that held the lock before us may have renamed this file into
  // place meanwhile: then it is no longer at the name and stays.
  struct stat now {};
  if (ours && lstat(temporary.c_str(), &now) == 0 && SameFile(now, opened)) unlink(temporary.c_str());
  close(file);
  return ours;
}

// A new temporary file of our own, locked. The lock is held until after the
// rename, so a second saver of the same target fails instead of mixing its
// text into ours. Another saver may take the new file for a leftover and
// remove it before we lock it: then it is no longer at the name, and we
// look again.
int CreateLockedTemporary(const std::string& temporary) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    if (!ClearTemporaryName(temporary)) return -1;
    const int file =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (file < 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    struct stat opened {};
    struct stat named {};
    if (flock(file, LOCK_EX | LOCK_NB) == 0 && fstat(file, &opened) == 0 && opened.st_nlink == 1 &&
        lstat(temporary.c_str(), &named) == 0 && SameFile(opened, named)) {
      return file;
    }
    close(file);
  }
  return -1;
}

bool InEffectiveGroups(gid_t group) {
  if (group == getegid()) return true;
  const int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int filled = getgroups(count, groups.data());
  return filled > 0 && std::find(groups.begin(), groups.begin() + filled, group) != groups.begin() + filled;
}

// As access(W_OK) judges the mode bits, except that root is bound too: a file
// with no write bit at all is read-only for everyone, as the Windows attribute is.
bool IsReadOnlyForUs(const struct stat& status) {
  const uid_t user = geteuid();
  if (user == 0) return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  if (status.st_uid == user) return (status.st_mode & S_IWUSR) == 0;
  if (InEffectiveGroups(status.st_gid)) return (status.st_mode & S_IWGRP) == 0;
  return (status.st_mode & S_IWOTH) == 0;
}

bool WriteAll(int file, std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(file, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

ReplaceOutcome ReplaceFileContents(const char* path, std::span<const std::byte> bytes) {
  const std::string target = WithSlashes(path);

  // rename() would replace a read-only target, and root ignores the mode bits.
  struct stat targetStatus {};
  const bool targetExists = stat(target.c_str(), &targetStatus) == 0;
  if (targetExists && IsReadOnlyForUs(targetStatus)) return ReplaceOutcome::kOpenFailed;

  const std::string temporary = TemporaryNameFor(target, PATH_MAX - 1, NAME_MAX);
  if (temporary.empty()) return ReplaceOutcome::kOpenFailed;
  const int file = CreateLockedTemporary(temporary);
  if (file < 0) return ReplaceOutcome::kOpenFailed;

  // The replacement keeps the old file's permissions, as rewriting it in place would.
  if (targetExists) (void)fchmod(file, targetStatus.st_mode & 0777);

  // Unlinked while still locked, so nobody else picks up a half-written file.
  const auto discard = [&](ReplaceOutcome outcome) {
    unlink(temporary.c_str());
    close(file);
    return outcome;
  };
  if (!WriteAll(file, bytes)) return discard(ReplaceOutcome::kWriteFailed);
  if (rename(temporary.c_str(), target.c_str()) != 0) return discard(ReplaceOutcome::kOpenFailed);
  // The rename moves whatever is at the temporary name by then, which another
  // process may have swapped: only the written file itself counts.
  struct stat written {};
  struct stat placed {};
  const bool inPlace =
      fstat(file, &written) == 0 && lstat(target.c_str(), &placed) == 0 && SameFile(written, placed);
  // Closed only now, releasing the lock: the new file is already in place.
  close(file);
  return inPlace ? ReplaceOutcome::kReplaced : ReplaceOutcome::kOtherFileInPlace;
}

}  // namespace os
