#pragma once
// Operating-system files by handle, with Windows share-mode semantics, and
// directory creation. Names are narrow text; either separator is accepted.

#include <cstdint>

namespace os {

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// Opens an existing file for reading. Others may read it meanwhile but not
// write it; fails while someone holds it for writing. kNoFile on failure.
FileHandle OpenFileForRead(const char* name);
// Creates a file for writing, or empties an existing one, held exclusively:
// fails while anyone else holds it, and nobody can open it until it is closed.
// kNoFile on failure.
FileHandle CreateFileForWrite(const char* name);
void CloseFile(FileHandle file);

// Size in bytes; 0 when it cannot be found.
std::int64_t FileSize(FileHandle file);
// Each transfer starts at the file pointer and advances it by the bytes moved,
// which are returned: fewer at the end of the file, 0 on failure.
std::uint32_t ReadFromFile(FileHandle file, void* destination, std::uint32_t count);
std::uint32_t WriteToFile(FileHandle file, const void* source, std::uint32_t count);
// Makes the file end at the file pointer, extending it when the pointer lies
// beyond the end. Failure is ignored.
void SetFileEndAtPointer(FileHandle file);
// Moves the file pointer to an absolute offset. Failure is ignored.
void SetFilePointerTo(FileHandle file, std::int64_t offset);

// Creates one directory; failure (it exists, bad name) is ignored.
void MakeDirectory(const char* path);

}  // namespace os
