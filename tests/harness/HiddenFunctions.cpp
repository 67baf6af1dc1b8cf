#include "harness/HiddenFunctions.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace test_windows {

namespace {

using GetProcAddressFunction = FARPROC(WINAPI*)(HMODULE, LPCSTR);

GetProcAddressFunction realGetProcAddress = nullptr;
std::vector<std::string> hiddenNames;

FARPROC WINAPI GetProcAddressHiding(HMODULE module, LPCSTR name) {
  const bool byName = reinterpret_cast<std::uintptr_t>(name) > 0xFFFF;
  if (byName && std::find(hiddenNames.begin(), hiddenNames.end(), name) != hiddenNames.end()) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return realGetProcAddress(module, name);
}

// The executable's import slot for kernel32's GetProcAddress.
void** GetProcAddressSlot() {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import) {
    if (_stricmp(reinterpret_cast<const char*>(base + import->Name), "kernel32.dll") != 0) continue;
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
        base + (import->OriginalFirstThunk != 0 ? import->OriginalFirstThunk : import->FirstThunk));
    auto** slots = reinterpret_cast<void**>(base + import->FirstThunk);
    for (int i = 0; names[i].u1.AddressOfData != 0; ++i) {
      if (IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "GetProcAddress") == 0) return &slots[i];
    }
  }
  return nullptr;
}

bool WriteSlot(void** slot, void* value) {
  DWORD old = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return false;
  *slot = value;
  VirtualProtect(slot, sizeof *slot, old, &old);
  return true;
}

}  // namespace

HiddenFunctions::HiddenFunctions(std::vector<std::string> names) {
  void** slot = GetProcAddressSlot();
  if (slot == nullptr || realGetProcAddress != nullptr) return;
  hiddenNames = std::move(names);
  realGetProcAddress = reinterpret_cast<GetProcAddressFunction>(*slot);
  installed_ = WriteSlot(slot, reinterpret_cast<void*>(&GetProcAddressHiding));
  if (!installed_) realGetProcAddress = nullptr;
}

HiddenFunctions::~HiddenFunctions() {
  if (!installed_) return;
  WriteSlot(GetProcAddressSlot(), reinterpret_cast<void*>(realGetProcAddress));
  realGetProcAddress = nullptr;
  hiddenNames.clear();
}

}  // namespace test_windows
