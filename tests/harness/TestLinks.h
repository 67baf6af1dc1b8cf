#pragma once
// Links for tests that put one where the plug-in expects a plain file.

#include <string>

namespace test_files {

// A symbolic link at `link` whose text is `target` (relative targets resolve
// from the link's folder). Under Wine, which cannot make one for a file
// itself, the system's ln makes it. False when no link could be made.
bool MakeSymbolicLink(const std::string& target, const std::string& link);
// A second name for the file `existing`.
bool MakeHardLink(const std::string& existing, const std::string& link);

}  // namespace test_files
