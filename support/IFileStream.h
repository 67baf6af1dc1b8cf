#pragma once
// A byte stream over an operating-system file, opened either for reading or
// for writing, and the path operations that go with it.

#include <cstdint>

#include "os/NativeFile.h"
#include "support/IDataStream.h"

class IFileStream : public IDataStream {
 public:
  IFileStream() = default;
  // Opens the file for reading; a stream whose open failed holds no file.
  explicit IFileStream(const char* name);
  ~IFileStream() override;

  // Each open first closes the held file. On failure the stream holds no file
  // and keeps its length and position.
  // Others may read the file meanwhile, nobody may write it.
  bool OpenForRead(const char* name);
  // Creates the file or empties it, held exclusively. Missing directories are
  // not created (see CreatePathDirectories).
  bool CreateForWrite(const char* name);
  // Let the user choose the file in the standard Open or Save dialog. A
  // cancelled dialog answers false and leaves the held file open. Arguments
  // may be null; a default name is cut to the dialog's 4095 characters.
  bool ChooseAndOpen();
  bool ChooseAndCreate(const char* defaultName, const char* initialDirectory, const char* title);
  void CloseFile();

  // Transfers stop at the end of the file or on the wrong kind of file, moving
  // the position only by the bytes actually transferred; bytes not read are
  // left untouched.
  void ReadBuf(void* destination, std::uint32_t count) override;
  // After a seek beyond the end, the file is first extended to the position.
  void WriteBytes(const void* source, std::uint32_t count) override;
  void Seek(std::int64_t newPosition) override;

  // Creates the directory named by every prefix of the path that ends before
  // a backslash or slash, shortest first; the last component is taken as a
  // file name. Failures are ignored; only the first 1024 characters count.
  static void CreatePathDirectories(const char* path);
  // The text after the last backslash or slash, or null when there is none.
  static const char* FileNamePart(const char* path);

 private:
  os::FileHandle fileHandle = os::kNoFile;
};
