#pragma once
// Replacing a file's whole content so that a failure leaves the old file as
// it was: the bytes go to a new temporary file in the target's directory
// (others may read it, not write it), which takes the target's place only
// once all of it was written and closed. Readers see the old file or the new
// one, never a part of it.

#include <cstddef>
#include <span>

namespace os {

enum class ReplaceOutcome {
  kReplaced,
  // Nothing was changed: the target is read-only, the temporary file could
  // not be created (missing directory, access denied, invalid name), or the
  // target could not be replaced (e.g. held open without delete sharing).
  kOpenFailed,
  // Writing or closing the temporary file failed; it was removed.
  kWriteFailed,
  // Something other than the written file took the target's place: another
  // process put its own file or a link at the temporary name just before the
  // rename. The target does not hold the text.
  kOtherFileInPlace,
};

// `path` is in the plug-in's backslash form; on POSIX the backslashes are
// taken as slashes. Missing directories are not created.
ReplaceOutcome ReplaceFileContents(const char* path, std::span<const std::byte> bytes);

}  // namespace os
