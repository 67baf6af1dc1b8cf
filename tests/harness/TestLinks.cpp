#include "harness/TestLinks.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>

#include "harness/WineSide.h"
#else
#include <unistd.h>
#endif

namespace test_files {

#ifdef _WIN32

namespace {

using test_windows::RunsUnderWine;

std::string WithSlashes(std::string path) {
  for (char& c : path) c = c == '\\' ? '/' : c;
  return path;
}

}  // namespace

bool MakeSymbolicLink(const std::string& target, const std::string& link) {
  const std::string relativeLink = std::filesystem::relative(link).string();
  if (!RunsUnderWine()) {
    CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  // A link that leads nowhere cannot be seen from Windows code under Wine:
  // the Linux side leaves a mark once the link is made.
  const std::string made = relativeLink + ".made";
  if (!test_windows::StartLinuxProgram("/bin/sh -c \"ln -s '" + WithSlashes(target) + "' '" +
                                       WithSlashes(relativeLink) + "' && : > '" + WithSlashes(made) + "'\"")) {
    return false;
  }
  for (int wait = 0; wait < 500; ++wait) {
    if (DeleteFileA(made.c_str())) return true;
    Sleep(10);
  }
  return false;
}

bool MakeHardLink(const std::string& existing, const std::string& link) {
  return CreateHardLinkA(link.c_str(), existing.c_str(), nullptr) != 0;
}

#else

bool MakeSymbolicLink(const std::string& target, const std::string& link) {
  return symlink(target.c_str(), link.c_str()) == 0;
}

bool MakeHardLink(const std::string& existing, const std::string& link) {
  return ::link(existing.c_str(), link.c_str()) == 0;
}

#endif

}  // namespace test_files
