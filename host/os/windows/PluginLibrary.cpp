#include "host/os/PluginLibrary.h"

#include <windows.h>

namespace host_os {

PluginLibrary::PluginLibrary(const std::string& path) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    error_ = "LoadLibraryA failed with error " + std::to_string(GetLastError());
    return;
  }
  handle_ = module;
}

PluginLibrary::~PluginLibrary() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

ExportedFunction PluginLibrary::Find(const char* name) const {
  if (!handle_) return nullptr;
  return reinterpret_cast<ExportedFunction>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace host_os
