#include "os/FileReplace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace os {

namespace {

constexpr int kNameAttempts = 16;

std::string WithSlashes(std::string_view path) {
  std::string translated(path);
  std::replace(translated.begin(), translated.end(), '\\', '/');
  return translated;
}

std::string TemporaryNameBeside(const std::string& target, int attempt) {
  const std::size_t separator = target.rfind('/');
  const std::string directory = separator == std::string::npos ? std::string{} : target.substr(0, separator + 1);
  return directory + "~ql" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
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

  std::string temporary;
  int file = -1;
  for (int attempt = 1; attempt <= kNameAttempts && file < 0; ++attempt) {
    temporary = TemporaryNameBeside(target, attempt);
    file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0 && errno != EEXIST) break;
  }
  if (file < 0) return ReplaceOutcome::kOpenFailed;

  // Deny-write by convention: the lock is advisory, and nobody else knows the
  // name yet, so its result does not matter.
  (void)flock(file, LOCK_EX | LOCK_NB);
  // The replacement keeps the old file's permissions, as rewriting it in place would.
  if (targetExists) (void)fchmod(file, targetStatus.st_mode & 0777);

  const bool written = WriteAll(file, bytes);
  const bool closed = close(file) == 0;
  if (!written || !closed) {
    unlink(temporary.c_str());
    return ReplaceOutcome::kWriteFailed;
  }
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    unlink(temporary.c_str());
    return ReplaceOutcome::kOpenFailed;
  }
  return ReplaceOutcome::kReplaced;
}

}  // namespace os
