// The file dialogs, apart from the stream itself: only their callers link the
// system's dialog library.
#include "support/IFileStream.h"

#include "os/FileDialogs.h"

namespace {

constexpr std::uint32_t kDialogNameSize = 4096;

}  // namespace

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
