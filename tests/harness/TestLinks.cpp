#include "harness/TestLinks.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace test_files {

#ifdef _WIN32

namespace {

bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Wine starts a Linux program named by its Linux path, without a handle that
// tells when it ends: the caller waits for its effect.
bool RunLinux(std::string commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

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
  if (!RunLinux("/bin/ln -s \"" + WithSlashes(target) + "\" \"" + WithSlashes(relativeLink) + "\"")) return false;
  for (int wait = 0; wait < 500; ++wait) {
    if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
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
