#include "os/FileDialogs.h"

#include <windows.h>
#include <commdlg.h>

namespace os {

namespace {

#if !defined(_WIN64)
static_assert(sizeof(OPENFILENAMEA) == 88, "the record the dialogs of a 32-bit process expect");
#endif

constexpr DWORD kOpenFlags =
    OFN_ENABLESIZING | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ENABLEHOOK | OFN_NOCHANGEDIR;
constexpr DWORD kSaveFlags = OFN_ENABLESIZING | OFN_EXPLORER | OFN_PATHMUSTEXIST |
                             OFN_ENABLEHOOK | OFN_NOCHANGEDIR | OFN_OVERWRITEPROMPT;
static_assert(kOpenFlags == 0x881028 && kSaveFlags == 0x88082a);

// Hooked so the dialogs take the resizable Explorer look; every message gets
// the default handling.
UINT_PTR CALLBACK DialogHook(HWND, UINT, WPARAM, LPARAM) { return 0; }

int SystemOpenDialog(OPENFILENAMEA* record) { return GetOpenFileNameA(record); }
int SystemSaveDialog(OPENFILENAMEA* record) { return GetSaveFileNameA(record); }

DialogCalls dialogCalls{SystemOpenDialog, SystemSaveDialog};

OPENFILENAMEA DialogRecord(char* fileBuffer, std::uint32_t capacity, DWORD flags) {
  OPENFILENAMEA record{};
  record.lStructSize = sizeof(OPENFILENAMEA);
  record.lpstrFile = fileBuffer;
  record.nMaxFile = capacity;
  record.Flags = flags;
  record.lpfnHook = DialogHook;
  return record;
}

}  // namespace

bool ChooseFileToOpen(char* fileBuffer, std::uint32_t capacity) {
  OPENFILENAMEA record = DialogRecord(fileBuffer, capacity, kOpenFlags);
  return dialogCalls.open(&record) != 0;
}

bool ChooseFileToSave(char* fileBuffer, std::uint32_t capacity, const char* initialDirectory,
                      const char* title) {
  OPENFILENAMEA record = DialogRecord(fileBuffer, capacity, kSaveFlags);
  record.lpstrInitialDir = initialDirectory;
  record.lpstrTitle = title;
  return dialogCalls.save(&record) != 0;
}

DialogCalls ReplaceDialogCalls(DialogCalls calls) {
  const DialogCalls previous = dialogCalls;
  dialogCalls = calls;
  return previous;
}

}  // namespace os
