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

// Only a disk file of one name, reached at its own name, is a log: emptying
// a file that a link leads to, or one with other names, would wipe a file
// that is not ours. Anything else is unusable, so the fallback names apply.
bool IsPlainFileOfOneName(HANDLE file, const char* name) noexcept try {
  BY_HANDLE_FILE_INFORMATION info{};
  constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
         (info.dwFileAttributes & kNotPlain) == 0 && info.nNumberOfLinks == 1 &&
         IsOpenedDirectly(file, ExtendedLengthPath(name));
} catch (const std::bad_alloc&) {
  return false;
}

}  // namespace

LogFile LogFile::OpenDenyWrite(const char* name) {
  // Others may read it, not write it. Opened without emptying it, so a file
  // that proves not to be a log keeps its bytes; a link is opened as itself
  // where the system can.
  const HANDLE file = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LogFile();
  if (!IsPlainFileOfOneName(file, name) || !SetEndOfFile(file)) {
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

namespace {

bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

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
