#include "os/NativeFile.h"

#include <windows.h>

namespace os {

namespace {

HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

}  // namespace

FileHandle OpenFileForRead(const char* name) {
  return FromHandle(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle CreateFileForWrite(const char* name) {
  return FromHandle(
      CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// kNoFile is INVALID_HANDLE_VALUE, which the system also reads as the current
// process; no call may receive it.
void CloseFile(FileHandle file) {
  if (file != kNoFile) CloseHandle(AsHandle(file));
}

std::int64_t FileSize(FileHandle file) {
  LARGE_INTEGER size{};
  if (file == kNoFile || !GetFileSizeEx(AsHandle(file), &size)) return 0;
  return size.QuadPart;
}

std::uint32_t ReadFromFile(FileHandle file, void* destination, std::uint32_t count) {
  DWORD read = 0;
  if (file != kNoFile) ReadFile(AsHandle(file), destination, count, &read, nullptr);
  return read;
}

std::uint32_t WriteToFile(FileHandle file, const void* source, std::uint32_t count) {
  DWORD written = 0;
  if (file != kNoFile) WriteFile(AsHandle(file), source, count, &written, nullptr);
  return written;
}

void SetFileEndAtPointer(FileHandle file) {
  if (file != kNoFile) SetEndOfFile(AsHandle(file));
}

void SetFilePointerTo(FileHandle file, std::int64_t offset) {
  LARGE_INTEGER distance{};
  distance.QuadPart = offset;
  if (file != kNoFile) SetFilePointerEx(AsHandle(file), distance, nullptr, FILE_BEGIN);
}

}  // namespace os
