#include "os/LogFile.h"
#include "os/windows/DirectOpen.h"
#include "os/windows/ExtendedPath.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <new>

namespace os {

namespace {

constexpr int kOpenAttempts = 4;
constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;

// Others may read it, not write it. An existing name is opened as it is, a
// link as itself where the system can, without emptying it, so a file that
// proves not to be a log keeps its bytes; a missing one is created anew.
// Never both in one step: Wine would follow a dangling link at the name and
// make the file it names.
HANDLE OpenExistingOrCreateNew(const std::wstring& path) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    const HANDLE existing = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (existing != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND) return existing;
    const HANDLE created =
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    if (created != INVALID_HANDLE_VALUE || (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) {
      return created;
    }
  }
  return INVALID_HANDLE_VALUE;
}

bool IsPlainFileOfOneName(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & kNotPlain) == 0 && info.nNumberOfLinks == 1;
}

bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// The entry at `path` itself, a link not followed, opened only to be
// compared: no access asked and every sharing allowed, so this works beside
// the log's deny-write handle.
HANDLE OpenToCompare(const std::wstring& path) {
  return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Whether the entry at `path`, a link not followed, is the opened file, with
// one link.
bool IsAtName(const std::wstring& path, const BY_HANDLE_FILE_INFORMATION& opened) {
  const HANDLE named = OpenToCompare(path);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION atName{};
  const bool same =
      GetFileInformationByHandle(named, &atName) && SameIdentity(opened, atName) && IsPlainFileOfOneName(atName);
  CloseHandle(named);
  return same;
}

bool HasOneLink(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION now{};
  return GetFileInformationByHandle(file, &now) && IsPlainFileOfOneName(now);
}

// Only a disk file of one name, reached at its own name, is a log: emptying
// a file that a link leads to, or one with other names, would wipe a file
// that is not ours. Anything else is unusable, so the fallback names apply.
// The deny-write share mode is already held, but Wine lets a Linux process
// remove or add names all the same, and no call shows a name and the link
// count at one moment. So the count is read first and the name looked up
// after, in turn, a few times: a second name taken from an outside file and
// put back would have to come and go in step with each of them.
bool IsPlainFileOfOneName(HANDLE file, const std::wstring& path) {
  constexpr int kRounds = 3;
  BY_HANDLE_FILE_INFORMATION opened{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &opened) ||
      !IsPlainFileOfOneName(opened) || !IsOpenedDirectly(file, path)) {
    return false;
  }
  for (int round = 0; round < kRounds; ++round) {
    if (!IsAtName(path, opened) || !HasOneLink(file)) return false;
  }
  return true;
}

// The one form of the name for every step, so that the open and the checks
// judge the same entry.
std::wstring PathOf(const char* name) noexcept try {
  return ExtendedLengthPath(name);
} catch (const std::bad_alloc&) {
  return {};
}

}  // namespace

LogFile LogFile::OpenDenyWrite(const char* name) {
  const std::wstring path = PathOf(name);
  if (path.empty()) return LogFile();
  const HANDLE file = OpenExistingOrCreateNew(path);
  if (file == INVALID_HANDLE_VALUE) return LogFile();
  if (!IsPlainFileOfOneName(file, path) || !SetEndOfFile(file)) {
    CloseHandle(file);
    return LogFile();
  }
  // Text mode ("t" spelled out, whatever _fmode says) stores each line feed
  // as CR LF.
  const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_WRONLY | _O_TEXT);
  if (descriptor < 0) {
    CloseHandle(file);
    return LogFile();
  }
  std::FILE* stream = _fdopen(descriptor, "wt");
  if (stream == nullptr) _close(descriptor);
  return LogFile(stream);
}

void LogFile::Write(const char* text) {
  if (stream_ == nullptr) return;
  std::fputs(text, stream_);
}

}  // namespace os

namespace os {

bool LogFile::IsSameFileAs(const char* path) const {
  if (stream_ == nullptr) return false;
  const auto logHandle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream_)));
  // The path in the form the save uses. No access asked, every sharing
  // allowed: this works while the log holds the file with its deny-write
  // share mode.
  const std::wstring extended = ExtendedLengthPath(path);
  if (extended.empty()) return false;
  const HANDLE named = CreateFileW(extended.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION logInfo{};
  BY_HANDLE_FILE_INFORMATION namedInfo{};
  const bool same = GetFileInformationByHandle(logHandle, &logInfo) &&
                    GetFileInformationByHandle(named, &namedInfo) && SameIdentity(logInfo, namedInfo);
  CloseHandle(named);
  return same;
}

}  // namespace os
