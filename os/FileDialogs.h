#pragma once
// The standard Open and Save dialogs.

#include <cstdint>

namespace os {

// Each shows its modal dialog over fileBuffer (capacity bytes, holding the
// proposed name or empty) and answers true when the user confirmed a name,
// which is then in fileBuffer. POSIX has no dialog service: both answer false,
// as a cancelled dialog does.
bool ChooseFileToOpen(char* fileBuffer, std::uint32_t capacity);
// initialDirectory and title may be null (the system's choice).
bool ChooseFileToSave(char* fileBuffer, std::uint32_t capacity, const char* initialDirectory,
                      const char* title);

}  // namespace os

#if defined(_WIN32)
struct tagOFNA;  // OPENFILENAMEA

namespace os {

// The system calls behind the dialogs (GetOpenFileNameA, GetSaveFileNameA),
// replaceable so that tests can inspect the record and answer for the user
// without opening a window. Nonzero means a name was confirmed.
using DialogCall = int (*)(tagOFNA* record);
struct DialogCalls {
  DialogCall open;
  DialogCall save;
};
// Installs calls and returns those they replace.
DialogCalls ReplaceDialogCalls(DialogCalls calls);

}  // namespace os
#endif
