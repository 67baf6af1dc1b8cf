#include "faults/PrivateMounts.h"

#include <cstdio>

#if !defined(_WIN32)
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace faults {

#if defined(_WIN32)

std::string PrivateMountsUnavailableReason() { return "Windows has no mount namespaces"; }
bool EnterPrivateMountNamespace() { return false; }
bool MountTmpfs(const std::string&, const std::string&) { return false; }
bool RemountReadOnly(const std::string&) { return false; }
bool BindMountReadOnly(const std::string&, const std::string&) { return false; }

#else

namespace {

bool Report(const char* what, const std::string& where) {
  std::fprintf(stderr, "%s %s: %s\n", what, where.c_str(), std::strerror(errno));
  return false;
}

// Step numbers of the probe, as its child's exit code.
enum ProbeStep { kProbeOk = 0, kProbeUnshare = 10, kProbePrivate, kProbeDirectory, kProbeMount };

}  // namespace

std::string PrivateMountsUnavailableReason() {
  static const std::string reason = [] {
    const pid_t child = fork();
    if (child < 0) return std::string("fork failed: ") + std::strerror(errno);
    if (child == 0) {
      if (unshare(CLONE_NEWNS) != 0) _exit(kProbeUnshare);
      if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(kProbePrivate);
      char directory[] = "/tmp/ql-mount-probe-XXXXXX";
      if (mkdtemp(directory) == nullptr) _exit(kProbeDirectory);
      const int mounted = mount("tmpfs", directory, "tmpfs", 0, "size=64k");
      if (mounted == 0) umount(directory);
      rmdir(directory);
      _exit(mounted == 0 ? kProbeOk : kProbeMount);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) return std::string("waitpid failed");
    if (!WIFEXITED(status)) return std::string("the mount probe did not exit");
    switch (WEXITSTATUS(status)) {
      case kProbeOk: return std::string();
      case kProbeUnshare: return std::string("unshare(CLONE_NEWNS) is not permitted here");
      case kProbePrivate: return std::string("cannot make the mount tree private");
      case kProbeDirectory: return std::string("cannot make a probe directory in /tmp");
      default: return std::string("cannot mount a tmpfs here");
    }
  }();
  return reason;
}

bool EnterPrivateMountNamespace() {
  if (unshare(CLONE_NEWNS) != 0) return Report("unshare", "CLONE_NEWNS");
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return Report("mount --make-rprivate", "/");
  return true;
}

bool MountTmpfs(const std::string& directory, const std::string& options) {
  if (mount("tmpfs", directory.c_str(), "tmpfs", 0, options.c_str()) != 0) return Report("mount tmpfs on", directory);
  return true;
}

bool RemountReadOnly(const std::string& directory) {
  if (mount(nullptr, directory.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    return Report("remount read-only", directory);
  }
  return true;
}

bool BindMountReadOnly(const std::string& source, const std::string& target) {
  if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) return Report("bind mount on", target);
  // A bind mount takes read-only only on a remount of its own.
  if (mount(nullptr, target.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
    return Report("remount read-only", target);
  }
  return true;
}

#endif

}  // namespace faults
