#include "support/IFileStream.h"

#include "os/NativeFile.h"

IFileStream::IFileStream(const char* name) { OpenForRead(name); }

IFileStream::~IFileStream() { CloseFile(); }

bool IFileStream::OpenForRead(const char* name) {
  CloseFile();
  const os::FileHandle file = os::OpenFileForRead(name);
  if (file == os::kNoFile) return false;
  fileHandle = file;
  length = os::FileSize(file);
  position = 0;
  return true;
}

bool IFileStream::CreateForWrite(const char* name) {
  CloseFile();
  const os::FileHandle file = os::CreateFileForWrite(name);
  if (file == os::kNoFile) return false;
  fileHandle = file;
  length = 0;
  position = 0;
  return true;
}

void IFileStream::CloseFile() {
  if (fileHandle == os::kNoFile) return;
  os::CloseFile(fileHandle);
  fileHandle = os::kNoFile;
}

void IFileStream::ReadBuf(void* destination, std::uint32_t count) {
  position += os::ReadFromFile(fileHandle, destination, count);
}

void IFileStream::WriteBytes(const void* source, std::uint32_t count) {
  if (position > length) os::SetFileEndAtPointer(fileHandle);
  position += os::WriteToFile(fileHandle, source, count);
  if (length < position) length = position;
}

void IFileStream::Seek(std::int64_t newPosition) {
  os::SetFilePointerTo(fileHandle, newPosition);
  position = newPosition;
}
