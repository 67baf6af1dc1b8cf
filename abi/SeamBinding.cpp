// Builds other than the game's reach the UI runtime through the seam that the
// host executable exports (docs/abi.md).

#include "abi/UiRuntime.h"
#include "abi/UiRuntimeSeam.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

QuiverleafUiRuntimeFn FindSeam() {
#if defined(_WIN32)
  FARPROC found = GetProcAddress(GetModuleHandleA(nullptr), kUiRuntimeSeamSymbol);
#else
  void* found = dlsym(RTLD_DEFAULT, kUiRuntimeSeamSymbol);
#endif
  return reinterpret_cast<QuiverleafUiRuntimeFn>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

UiRuntimeBinding BindUiRuntime() {
  static const QuiverleafUiRuntimeSeam* seam = nullptr;
  if (!seam) {
    if (QuiverleafUiRuntimeFn get = FindSeam()) seam = get();
  }
  if (!seam || seam->size < sizeof(QuiverleafUiRuntimeSeam)) return UiRuntimeBinding{};
  return UiRuntimeBinding{seam->release, seam->setMember, seam->heapWord};
}
