// Keeps the DLL's exception handling on its own, statically linked unwinder.
//
// On i686 the MinGW start-up code registers the DLL's unwind tables with
// libgcc_s_dw2-1.dll whenever another module of the game has loaded that DLL,
// while `throw` in this DLL unwinds with the static unwinder, which then
// knows none of our frames: every exception, even a caught std::bad_alloc,
// would end in std::terminate. The start-up code looks for that DLL with
// GetModuleHandleA and is the DLL's only caller of it, so this file defines
// the import slot itself and answers that the shared runtime is absent. The
// tables then go to the static unwinder, and no foreign DLL is pinned.
#if defined(_WIN32) && defined(__i386__)

#include <windows.h>

namespace {

constexpr char kSharedRuntime[] = "libgcc_s_dw2-1.dll";

bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (lower(*a) != lower(*b)) return false;
  }
  return *a == *b;
}

HMODULE WINAPI ModuleHandleWithoutSharedRuntime(LPCSTR name) {
  if (name == nullptr) return GetModuleHandleW(nullptr);
  if (EqualsIgnoringAsciiCase(name, kSharedRuntime)) return nullptr;
  wchar_t wide[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide, MAX_PATH) == 0) return nullptr;
  return GetModuleHandleW(wide);
}

}  // namespace

// The import slot the start-up code calls through; defined here, the linker
// takes no GetModuleHandleA import from kernel32.
extern "C" __attribute__((used)) HMODULE(WINAPI* const ownUnwinderModuleHandleSlot)(LPCSTR) __asm__(
    "__imp__GetModuleHandleA@4") = ModuleHandleWithoutSharedRuntime;

#endif
