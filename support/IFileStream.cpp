#include "support/IFileStream.h"

#include <cstddef>

#include "os/FileDialogs.h"

namespace {

constexpr std::uint32_t kDialogNameSize = 4096;
constexpr std::size_t kPathWorkingSize = 1024;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

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

bool IFileStream::ChooseAndOpen() {
  char name[kDialogNameSize] = {};
  if (!os::ChooseFileToOpen(name, sizeof name)) return false;
  return OpenForRead(name);
}

bool IFileStream::ChooseAndCreate(const char* defaultName, const char* initialDirectory,
                                  const char* title) {
  char name[kDialogNameSize] = {};
  for (std::uint32_t i = 0; defaultName != nullptr && i + 1 < sizeof name && defaultName[i] != '\0';
       ++i) {
    name[i] = defaultName[i];
  }
  if (!os::ChooseFileToSave(name, sizeof name, initialDirectory, title)) return false;
  return CreateForWrite(name);
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

void IFileStream::CreatePathDirectories(const char* path) {
  // Each prefix is terminated where its separator will go, so a separator
  // beyond the buffer's last byte ends the work.
  char prefix[kPathWorkingSize];
  for (std::size_t i = 0; i < kPathWorkingSize && path[i] != '\0'; ++i) {
    if (IsSeparator(path[i])) {
      prefix[i] = '\0';
      os::MakeDirectory(prefix);
    }
    prefix[i] = path[i];
  }
}

const char* IFileStream::FileNamePart(const char* path) {
  const char* name = nullptr;
  for (const char* c = path; *c != '\0'; ++c) {
    if (IsSeparator(*c)) name = c + 1;
  }
  return name;
}
