#pragma once
// File systems that fail for real, for root too: a small or read-only tmpfs,
// or a read-only bind mount, made in a mount namespace of the calling
// process's own so that they vanish with it. Linux only; where mount
// namespaces are not permitted, or on Windows, the tests skip.

#include <string>

namespace faults {

// Empty when this process may make a private mount namespace and mount a
// tmpfs in it, else why not. Tried once, in a throwaway child.
std::string PrivateMountsUnavailableReason();

// For a test's own child process (single-threaded): a mount namespace of its
// own, whose mounts do not propagate back. Each reports a failure on
// standard error and answers false.
bool EnterPrivateMountNamespace();
bool MountTmpfs(const std::string& directory, const std::string& options);
bool RemountReadOnly(const std::string& directory);
bool BindMountReadOnly(const std::string& source, const std::string& target);

}  // namespace faults

// Skips the current test when private mounts cannot be made here.
#define SKIP_WITHOUT_PRIVATE_MOUNTS()                                     \
  do {                                                                    \
    const std::string reason = faults::PrivateMountsUnavailableReason(); \
    if (!reason.empty()) GTEST_SKIP() << reason;                          \
  } while (0)
