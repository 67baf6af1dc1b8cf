#include "os/windows/LaterKernel32.h"

namespace os {

namespace {

template <typename Function>
Function FindInKernel32(const char* name) {
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) return nullptr;
  // Through the generic function pointer type, which any other converts to.
  const auto found = reinterpret_cast<void (*)()>(GetProcAddress(kernel32, name));
  return reinterpret_cast<Function>(found);
}

}  // namespace

SetFileInformationByHandleFunction FindSetFileInformationByHandle() {
  return FindInKernel32<SetFileInformationByHandleFunction>("SetFileInformationByHandle");
}

GetFinalPathNameByHandleWFunction FindGetFinalPathNameByHandleW() {
  return FindInKernel32<GetFinalPathNameByHandleWFunction>("GetFinalPathNameByHandleW");
}

}  // namespace os
