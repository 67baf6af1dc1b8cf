#include "os/LogFile.h"

#include <io.h>
#include <share.h>
#include <windows.h>

#include <cstdio>

namespace os {

LogFile LogFile::OpenDenyWrite(const char* name) {
  // Text mode ("t" spelled out, whatever _fmode says) stores each line feed as
  // CR LF; _SH_DENYWR lets others read but not write.
  return LogFile(_fsopen(name, "wt", _SH_DENYWR));
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
  // No access asked, every sharing allowed: this works while the log holds
  // the file with its deny-write share mode.
  const HANDLE named = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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
